#include "MenuCommands.h"

#include "WindowRig.h"

#include <QAction>
#include <QDialog>
#include <QTimer>

namespace {

using MenuCommandsTest = WindowRig;

// The main window in import mode with its menu, shown and active. Form_Activate
// (which reads the import file) runs once each time another window of the
// program hands the activation back, but not on the return from a box that a
// handler showed. Each entry opens its window over the main one, or starts
// its outside program.
TEST_F(MenuCommandsTest, EntriesOpenTheirWindowAndClosingItRunsTheActivationOnce)
{
    Set("Option", "Import");
    Set("Import_File", folder.Write("import.txt", "R1,7\r\n"));
    Start();
    MenuCommands menu(*window, *form, v, store, services, settings);
    auto reads = [this] { return fs.Calls(FaultyFileSystem::Op::ReadWhole); };
    QWidget box;
    auto takeAndGiveBack = [&] {
        box.show();
        box.activateWindow();
        ProcessEventsUntil([&] { return box.isActiveWindow(); }, 0);
        box.hide();
        window->activateWindow();
    };
    // The first activation, the return from a handler's box (which may arrive
    // only after the handler has ended), the return from another window.
    const std::pair<std::function<void()>, int> activations[] = {
        {[this] { window->show(); window->activateWindow(); }, 1}, {[&] { window->Handle(takeAndGiveBack); }, 1}, {takeAndGiveBack, 2}};
    for (const auto &[activate, readsAfter] : activations) {
        activate();
        ProcessEventsUntil([this] { return window->isActiveWindow(); });
        ASSERT_TRUE(window->isActiveWindow());
        EXPECT_EQ(reads(), readsAfter);
    }

    // The entry, the window it opens and how many whole files that window
    // reads; while it is open the import file changes.
    const std::tuple<const char *, const char *, int> entries[] = {
        {"mnuOpen", "frmFile", 1}, {"mnuConfigList", "frmConfigList", 1}, {"mnuSetup", "frmSetup", 0}, {"mnuPreview", "frmPreview", 0}, {"mnuLog", "frmLog", 1}};
    for (const auto &[entry, name, ownReads] : entries) {
        const int before = reads();
        const QByteArray changed = entry + QByteArray(",1\r\n");
        QTimer::singleShot(0, window.get(), [&] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                EXPECT_EQ(dialog->objectName(), name);
                EXPECT_EQ(dialog->parentWidget(), window.get());
                folder.Write("import.txt", changed);
                auto *exit = dialog->findChild<QAbstractButton *>("cmdExit");
                exit ? exit->click() : dialog->reject();
            }
        });
        window->findChild<QAction *>(entry)->trigger();
        EXPECT_EQ(Ctl<QPlainTextEdit>("txtViewImport")->toPlainText(), QString(changed).remove('\r'));
        EXPECT_TRUE(window->findChildren<QDialog *>().isEmpty() && window->isActiveWindow()) << entry;
        ProcessEventsUntil([] { return true; }, 50);
        EXPECT_EQ(reads() - before, ownReads + 1) << entry;
    }
    // Exit stored no edit: nor the import file, the delimiter or a log.
    EXPECT_TRUE(msg.shown.empty() && settings.saved.empty() && !QDir(folder.File("log")).exists());

    for (const char *entry : {"mnuHelp", "mnuOpenFennic"})
        window->findChild<QAction *>(entry)->trigger();
    EXPECT_EQ(starter.started, QStringList({"winhlp32.EXE " + folder.Path() + "\\kvr_Bulkrun.hlp", folder.Path() + "\\kvr_Fennic.exe"}));
}

} // namespace
