#include "MenuCommands.h"

#include "WindowRig.h"

#include <QAction>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTimer>

#include <string>
#include <tuple>

namespace {

// The main window in import mode, shown and active, with its menu commands.
class MenuCommandsTest : public WindowRig
{
protected:
    void SetUp() override
    {
        Set("Option", QStringLiteral("Import"));
        Set("Import_File", importFile);
        Start();
        menu = std::make_unique<MenuCommands>(*window, *form, v, store, services, settings);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(Activated());
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

    std::unique_ptr<MenuCommands> menu;
};

TEST_F(MenuCommandsTest, EachWindowOpensModallyAndItsClosingRunsTheActivationOnce)
{
    // The entry, the window it opens and how many whole files that window reads.
    const std::tuple<const char *, const char *, int> entries[] = {
        {"mnuOpen", "frmFile", 1}, {"mnuConfigList", "frmConfigList", 1}, {"mnuSetup", "frmSetup", 0},
        {"mnuLog", "frmLog", 1}};
    for (const auto &[entry, name, reads] : entries) {
        SCOPED_TRACE(entry);
        const int before = ReadWholeCalls();
        const QString changed = QStringLiteral("%1,1\r\n").arg(QLatin1String(entry));
        EXPECT_EQ(Choose(entry, [&](QDialog *) { folder.Write(QStringLiteral("import.txt"), changed.toLatin1()); }),
                  QLatin1String(name));
        // The activation re-read the import file into the main window's view.
        EXPECT_EQ(Ctl<QPlainTextEdit>("txtViewImport")->toPlainText(), QString(changed).remove(QLatin1Char('\r')));
        EXPECT_TRUE(window->findChildren<QDialog *>().isEmpty());
        EXPECT_TRUE(window->isActiveWindow());
        ProcessEventsUntil([] { return true; }, 50);
        EXPECT_EQ(ReadWholeCalls() - before, reads + 1);
    }
    EXPECT_TRUE(msg.shown.empty());
}

TEST_F(MenuCommandsTest, OutsideProgramsStartOrTheirMessageIsShown)
{
    const QString prog = folder.Path() + QLatin1Char('\\');
    const std::tuple<const char *, bool, QString, QString> cases[] = {
        {"mnuHelp", false, "winhlp32.EXE " + prog + "kvr_Bulkrun.hlp", ""},
        {"mnuHelp", true, "", "Cannot find Help file. Make sure file exist."},
        {"mnuOpenFennic", false, prog + "kvr_Fennic.exe", ""},
        {"mnuOpenFennic", true, "", "Can not find KVR_Fennic program!\rMake sure program exist"},
    };
    for (const auto &[entry, missing, started, message] : cases) {
        SCOPED_TRACE(std::string(entry) + (missing ? " missing" : " present"));
        starter.missing = missing;
        starter.started.clear();
        msg.shown.clear();
        EXPECT_TRUE(Choose(entry).isEmpty());
        EXPECT_EQ(starter.started, missing ? QStringList() : QStringList{started});
        EXPECT_EQ(msg.shown, missing ? QStringList{message} : QStringList());
    }
}

} // namespace
