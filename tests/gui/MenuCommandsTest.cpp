#include "MenuCommands.h"

#include "WindowRig.h"

#include <QAction>
#include <QDialog>
#include <QTimer>

namespace {

using MenuCommandsTest = WindowRig;

// The main window in import mode with its menu, shown and active. Form_Activate
// (which reads the import file) runs once for each show, whether or not the
// window system activates the window, and once each time another window of
// the program hands the activation back, but not on the return from a box
// that a handler showed. Each entry opens its window over the main one,
// starts its outside program or shows the manual.
TEST_F(MenuCommandsTest, EntriesOpenTheirWindowAndClosingItRunsTheActivationOnce)
{
    Set("Option", "Import");
    Set("Import_File", folder.Write("import.txt", "R1,7\r\n"));
    Start();
    RecordingViewer manual;
    MenuCommands menu(*window, *form, v, store, services, settings, starter, manual);
    auto reads = [this] { return fs.Calls(FaultyFileSystem::Op::ReadWhole); };
    QWidget box;
    auto takeAndGiveBack = [&] {
        box.show();
        box.activateWindow();
        ProcessEventsUntil([&] { return box.isActiveWindow(); }, 0);
        box.hide();
        window->activateWindow();
    };
    // A window system that reports no activation, as a bare X server does.
    struct : QObject { bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::ActivationChange; } } bare;
    // The first show, which the platform activates after the window's own first activation; the return from a handler's
    // box (which may arrive only after the handler has ended); the return from another window; a show on a bare display.
    const std::pair<std::function<void()>, int> activations[] = {
        {[this] { window->show(); }, 1}, {[&] { window->Handle(takeAndGiveBack); }, 1}, {takeAndGiveBack, 2},
        {[&] { window->hide(); window->installEventFilter(&bare); window->show(); }, 3}};
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
        EXPECT_EQ(v.txtViewImport.Text, QString(changed));
        EXPECT_TRUE(window->findChildren<QDialog *>().isEmpty() && window->isActiveWindow()) << entry;
        ProcessEventsUntil([] { return true; }, 50);
        EXPECT_EQ(reads() - before, ownReads + 1) << entry;
    }
    // Exit stored no edit: nor the import file, the delimiter or a log.
    EXPECT_TRUE(msg.shown.empty() && settings.saved.empty() && !QDir(folder.File("log")).exists());

    window->findChild<QAction *>("mnuOpenFennic")->trigger();
    EXPECT_EQ(starter.started, QStringList(folder.Path() + "\\kvr_Fennic.exe"));

    // Help: the help file in its viewer when both are there, otherwise the
    // program's own manual (<f> stands for the program folder).
    const struct { const char *files; bool viewer; const char *outcome; } helps[] = {
        {"kvr_Bulkrun.hlp manual/index.html", true,  "winhlp32.EXE <f>\\kvr_Bulkrun.hlp"},
        {"kvr_Bulkrun.hlp manual/index.html", false, "<f>/manual/index.html"},
        {"manual/index.html",                 true,  "<f>/manual/index.html"},
        {"",                                  true,  "Cannot find Help file. Make sure file exist."},
    };
    for (const auto &help : helps) {
        for (const char *file : {"kvr_Bulkrun.hlp", "manual/index.html"})
            QFile::remove(folder.File(file));
        for (const QString &file : QString(help.files).split(' ', Qt::SkipEmptyParts))
            folder.Write(file, "x");
        starter.started.clear(), manual.shown.clear(), msg.shown.clear();
        starter.refusing = !help.viewer;
        window->findChild<QAction *>("mnuHelp")->trigger();
        const QStringList outcome = starter.started + manual.shown + (msg.shown.empty() ? QStringList() : QStringList(msg.shown[0].text));
        EXPECT_EQ(outcome, QStringList(QString(help.outcome).replace("<f>", folder.Path()))) << help.files;
    }
}

} // namespace
