#include "MenuCommands.h"

#include "CardDb.h"
#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "MemorySettingsStore.h"
#include "ProcessStarter.h"
#include "SqliteCardStore.h"
#include "StubProgram.h"
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

void ProcessEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

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
        QElapsedTimer clock;
        clock.start();
        while (!window->isActiveWindow() && clock.elapsed() < 2000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(window->isActiveWindow());
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

    int Reads() const { return fs.Calls(FaultyFileSystem::Op::ReadWhole); }

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
    ProcessStarter starter;
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
        const int before = Reads();
        const QString changed = QStringLiteral("%1,1\r\n").arg(QLatin1String(e.entry));
        EXPECT_EQ(Choose(e.entry, [&](QDialog *) { folder.Write(QStringLiteral("import.txt"), changed.toLatin1()); }),
                  QLatin1String(e.window));
        // The activation re-read the import file into the main window's view.
        EXPECT_EQ(Control<QPlainTextEdit>(window.get(), "txtViewImport")->toPlainText(),
                  QString(changed).remove(QLatin1Char('\r')));
        EXPECT_TRUE(window->findChildren<QDialog *>().isEmpty());
        EXPECT_TRUE(window->isActiveWindow());
        ProcessEventsFor(50);
        EXPECT_EQ(Reads() - before, e.reads + 1);
    }
    EXPECT_TRUE(msg.shown.empty());
}

TEST_F(MenuCommandsTest, SavedListReachesTheMainWindowsListView)
{
    settings.Set(kApp, kSection, QStringLiteral("Data_List"), QStringLiteral("Yes"));
    Start();
    Choose("mnuConfigList", [](QDialog *dialog) {
        Control<QPlainTextEdit>(dialog, "txtList")->setPlainText(QStringLiteral("Fixed Value_,QTY,5\n"));
        Click(dialog, "cmdSave");
    });
    EXPECT_EQ(folder.Read(QStringLiteral("list.lst")), "Fixed Value_,QTY,5\r\n");
    EXPECT_EQ(Control<QPlainTextEdit>(window.get(), "txtshowlist")->toPlainText(), QStringLiteral("Fixed Value_,QTY,5\n"));
}

TEST_F(MenuCommandsTest, OutsideProgramsStartOrTheirMessageIsShown)
{
    Start();
    const QString viewer = folder.File(QStringLiteral("bin/winhlp32"));
    const QString sibling = folder.File(QStringLiteral("kvr_Fennic.exe"));
    const struct
    {
        const char *entry;
        bool present;
        QString program;
        QStringList arguments;
        QString message;
    } cases[] = {
        {"mnuHelp", true, viewer, {folder.File(QStringLiteral("kvr_Bulkrun.hlp"))}, ""},
        {"mnuHelp", false, viewer, {}, "Cannot find Help file. Make sure file exist."},
        {"mnuOpenFennic", true, sibling, {}, ""},
        {"mnuOpenFennic", false, sibling, {}, "Can not find KVR_Fennic program!\rMake sure program exist"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.entry) + (c.present ? " present" : " missing"));
        QDir(folder.File(QStringLiteral("bin"))).removeRecursively();
        QDir(folder.Path()).mkpath(QStringLiteral("bin"));
        QFile::remove(sibling);
        StubProgram::PathOverride path(folder.File(QStringLiteral("bin")));
        if (c.present)
            StubProgram::Write(c.program);
        msg.shown.clear();

        EXPECT_TRUE(Choose(c.entry).isEmpty());
        if (c.present) {
            EXPECT_EQ(StubProgram::WaitForRun(c.program), QStringList{c.program} + c.arguments);
            EXPECT_TRUE(msg.shown.empty());
        } else {
            ASSERT_EQ(msg.shown.size(), 1u);
            EXPECT_EQ(msg.shown[0].text, c.message);
            EXPECT_EQ(msg.shown[0].icon, MsgIcon::Critical);
        }
    }
}

} // namespace
