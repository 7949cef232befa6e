#include "MenuCommands.h"

#include "CardDb.h"
#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "MemorySettingsStore.h"
#include "SqliteCardStore.h"
#include "Failure.h"
#include "TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QString kApp = QStringLiteral("Tavrin");
const QString kSection = QStringLiteral("Bulkrun");

class NoFilePicker final : public FilePicker
{
public:
    QString GetOpenFileName(const QString &, const QString &) override { return {}; }
};

// Records the command lines; a missing program fails the start.
class Starter final : public ProgramStarter
{
public:
    void Start(const QString &commandLine) override
    {
        if (missing)
            throw Failure(QStringLiteral("not found"));
        started << commandLine;
    }
    bool missing = false;
    QStringList started;
};

// The main window in import mode over a program folder, shown and active,
// with its menu commands and the real program starter.
class MenuCommandsTest : public testing::Test
{
protected:
    MenuCommandsTest()
    {
        CardDb(folder.File(QStringLiteral("card.db")))
            .Exec(QStringLiteral("CREATE TABLE CARD_DATA(REFERENCE TEXT, QTY INTEGER)"));
        importFile = folder.Write(QStringLiteral("import.txt"), "R1,7\r\n");
        folder.Write(QStringLiteral("list.lst"), "Fixed Value_,QTY,9\r\n");
        settings.Set(kApp, QStringLiteral("KVRFennic"), QStringLiteral("File_register"), QStringLiteral("1"));
        settings.Set(kApp, kSection, QStringLiteral("Option"), QStringLiteral("Import"));
        settings.Set(kApp, kSection, QStringLiteral("Import_File"), importFile);
    }

    void Start()
    {
        form = std::make_unique<MainForm>(v, store, services, settings, picker, starter);
        window = std::make_unique<frmMain>(v, *form);
        menu = std::make_unique<MenuCommands>(*window, *form, v, store, services, settings);
        window->Start();
        window->show();
        window->activateWindow();
        RunEvents(2000, [this] { return window->isActiveWindow(); });
        ASSERT_TRUE(window->isActiveWindow());
    }

    static void RunEvents(int ms, const std::function<bool()> &done = [] { return false; })
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    // Chooses a menu entry; while the modal window it opens is up, runs
    // inside on it and then closes it unless inside did. Returns the name of
    // the window that was opened.
    QString Choose(const char *entry, const std::function<void(QDialog *)> &inside = {})
    {
        QString opened;
        QTimer::singleShot(0, window.get(), [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            opened = dialog->objectName();
            EXPECT_EQ(dialog->parentWidget(), window.get());
            if (inside)
                inside(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        window->findChild<QAction *>(QLatin1String(entry))->trigger();
        return opened;
    }

    TempFolder folder;
    QString importFile;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RecordingMessageBox msg;
    FixedClock clock;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(folder.Path())};
    MemorySettingsStore settings;
    NoFilePicker picker;
    Starter starter;
    SqliteCardStore store{folder.File(QStringLiteral("card.db"))};
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<MenuCommands> menu;
};

TEST_F(MenuCommandsTest, EachWindowOpensModallyAndItsClosingRunsTheActivationOnce)
{
    Start();
    const struct
    {
        const char *entry, *window;
        int reads;  // whole-file reads of the window itself
    } entries[] = {
        {"mnuOpen", "frmFile", 1},
        {"mnuConfigList", "frmConfigList", 1},
        {"mnuSetup", "frmSetup", 0},
        {"mnuLog", "frmLog", 1},
    };
    for (const auto &e : entries) {
        SCOPED_TRACE(e.entry);
        const int before = fs.Calls(FaultyFileSystem::Op::ReadWhole);
        const QString changed = QStringLiteral("%1,1\r\n").arg(QLatin1String(e.entry));
        EXPECT_EQ(Choose(e.entry, [&](QDialog *) { folder.Write(QStringLiteral("import.txt"), changed.toLatin1()); }),
                  QLatin1String(e.window));
        // The activation re-read the import file into the main window's view.
        EXPECT_EQ(Control<QPlainTextEdit>(window.get(), "txtViewImport")->toPlainText(),
                  QString(changed).remove(QLatin1Char('\r')));
        EXPECT_TRUE(window->findChildren<QDialog *>().isEmpty());
        EXPECT_TRUE(window->isActiveWindow());
        RunEvents(50);
        EXPECT_EQ(fs.Calls(FaultyFileSystem::Op::ReadWhole) - before, e.reads + 1);
    }
    EXPECT_TRUE(msg.shown.empty());
}

TEST_F(MenuCommandsTest, OutsideProgramsStartOrTheirMessageIsShown)
{
    Start();
    const QString prog = folder.Path() + QLatin1Char('\\');
    const struct
    {
        const char *entry;
        bool missing;
        QString started, message;
    } cases[] = {
        {"mnuHelp", false, "winhlp32.EXE " + prog + "kvr_Bulkrun.hlp", ""},
        {"mnuHelp", true, "", "Cannot find Help file. Make sure file exist."},
        {"mnuOpenFennic", false, prog + "kvr_Fennic.exe", ""},
        {"mnuOpenFennic", true, "", "Can not find KVR_Fennic program!\rMake sure program exist"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.entry) + (c.missing ? " missing" : " present"));
        starter.missing = c.missing;
        starter.started.clear();
        msg.shown.clear();
        EXPECT_TRUE(Choose(c.entry).isEmpty());
        EXPECT_EQ(starter.started, c.missing ? QStringList() : QStringList{c.started});
        ASSERT_EQ(msg.shown.size(), c.missing ? 1u : 0u);
        if (c.missing) {
            EXPECT_EQ(msg.shown[0].text, c.message);
        }
    }
}

} // namespace
