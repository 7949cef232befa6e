#include "MenuCommands.h"

#include "WindowRig.h"

#include <QAction>
#include <QTimer>

namespace {

// The main window in import mode with its menu, shown and active; the first
// activation has read the import file into the view.
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
        ASSERT_EQ(ReadWholeCalls(), 1);
    }

    // Chooses a menu entry; while the modal window it opens is up, runs
    // inside, then closes it. Returns the name of the window opened.
    QString Choose(const char *entry, const std::function<void()> &inside = [] {})
    {
        QString opened;
        QTimer::singleShot(0, window.get(), [&] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                opened = dialog->objectName();
                EXPECT_EQ(dialog->parentWidget(), window.get());
                inside();
                dialog->reject();
            }
        });
        window->findChild<QAction *>(QLatin1String(entry))->trigger();
        return opened;
    }

    std::unique_ptr<MenuCommands> menu;
};

// Form_Activate runs once each time another window of the program hands the
// activation back, but not on the return from a box that a handler showed.
TEST_F(MenuCommandsTest, ClosingAWindowRunsTheActivationOnceButAHandlersBoxDoesNot)
{
    EXPECT_EQ(Ctl<QPlainTextEdit>("txtViewImport")->toPlainText(), QStringLiteral("R1,7\nR2,8\n"));
    QWidget box;
    auto takeAndGiveBack = [&] {
        box.show();
        box.activateWindow();
        ProcessEventsUntil([&] { return box.isActiveWindow(); }, 0);
        box.hide();
        window->activateWindow();
    };
    window->Handle(takeAndGiveBack);  // the return may arrive only after the handler has ended
    ASSERT_TRUE(Activated());
    EXPECT_EQ(ReadWholeCalls(), 1);
    takeAndGiveBack();
    ASSERT_TRUE(Activated());
    EXPECT_EQ(ReadWholeCalls(), 2);

    // The entry, the window it opens and how many whole files that window reads.
    const std::tuple<const char *, const char *, int> entries[] = {
        {"mnuOpen", "frmFile", 1}, {"mnuConfigList", "frmConfigList", 1}, {"mnuSetup", "frmSetup", 0}, {"mnuLog", "frmLog", 1}};
    for (const auto &[entry, name, reads] : entries) {
        SCOPED_TRACE(entry);
        const int before = ReadWholeCalls();
        const QString changed = QStringLiteral("%1,1\r\n").arg(QLatin1String(entry));
        EXPECT_EQ(Choose(entry, [&] { folder.Write(QStringLiteral("import.txt"), changed.toLatin1()); }), QLatin1String(name));
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
    const std::tuple<const char *, QString, QString> entries[] = {
        {"mnuHelp", "winhlp32.EXE " + prog + "kvr_Bulkrun.hlp", "Cannot find Help file. Make sure file exist."},
        {"mnuOpenFennic", prog + "kvr_Fennic.exe", "Can not find KVR_Fennic program!\rMake sure program exist"},
    };
    for (const auto &[entry, started, message] : entries) {
        for (const bool missing : {false, true}) {
            SCOPED_TRACE(std::string(entry) + (missing ? " missing" : " present"));
            starter.missing = missing;
            starter.started.clear();
            msg.shown.clear();
            EXPECT_TRUE(Choose(entry).isEmpty());
            EXPECT_EQ(starter.started, missing ? QStringList() : QStringList{started});
            EXPECT_EQ(Messages(), missing ? QStringList{message} : QStringList());
        }
    }
}

} // namespace
