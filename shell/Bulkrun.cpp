#include "Bulkrun.h"

#include "AutoRun.h"
#include "CommandLine.h"
#include "ConsoleMessageBox.h"
#include "DiskFileSystem.h"
#include "GuardedApplication.h"
#include "IniSettingsStore.h"
#include "MainForm.h"
#include "MenuCommands.h"
#include "PreviewCommand.h"
#include "ProcessStarter.h"
#include "ProgressLine.h"
#include "QtDocumentViewer.h"
#include "QtFilePicker.h"
#include "QtMessageBox.h"
#include "SettingsNames.h"
#include "CardStores.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

// No screen to show a window on, or Qt told to draw nowhere: the tool then
// works unattended, its messages going to standard error.
bool IsHeadless()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform == "offscreen" || platform == "minimal")
        return true;
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QtMessageHandler qtDefaultHandler = nullptr;

// Qt's own notes about the offscreen platform mean nothing to an operator
// reading the output of a scheduled run.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) || message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    qtDefaultHandler(type, context, message);
}

// Standard error of an unattended run: a message or a remark of the program
// takes the place of the progress line, and the end prints the run's summary.
class UnattendedConsole final : public MessageBox, public ProgramExit
{
public:
    UnattendedConsole() : line_(stderr, ::isatty(STDERR_FILENO) == 1) {}

    ProgressLine &Line() { return line_; }
    void Show(const QString &text, MsgIcon icon) override
    {
        line_.Clear();
        console_.Show(text, icon);
    }
    void Note(const QString &text) override
    {
        line_.Clear();
        console_.Note(text);
    }
    void Say(const QString &text)
    {
        line_.Clear();
        std::fprintf(stderr, "%s: %s\n", kAppTitle, text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    [[noreturn]] void End(int status) override
    {
        line_.Clear();
        exit_.End(status);
    }

private:
    ProgressLine line_;
    ConsoleMessageBox console_;
    ProcessExit exit_;
};

} // namespace

int RunBulkrun(int argc, char *argv[])
{
    // A file that reaches the size limit must fail its write like a full
    // disk does, which every writer of the program handles, rather than end
    // the program mid-run with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);

    const CommandLine line(argc, argv);
    if (const std::optional<int> status = line.Answer())
        return *status;

    const bool headless = line.Unattended() || IsHeadless();
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtDefaultHandler = qInstallMessageHandler(QuietOffscreenNotes);
    }
    // The options are the command line's; Qt is given none to read.
    int qtArgc = 1;
    GuardedApplication app(qtArgc, argv, headless);

    UnattendedConsole console;
    IniSettingsStore settings(line.SettingsFile());
    const QString database = CardDatabaseSetting(settings);
    // A password in the settings file is kept from other users: the file is
    // saved readable by its owner only, and a start-up says when it is not.
    if (HoldsPassword(database)) {
        settings.SetOwnerOnly(true);
        if (QFile::permissions(settings.Path()) & (QFile::ReadGroup | QFile::ReadOther))
            console.Say(QStringLiteral("%1 holds a password in Card_Database and other users can read it; "
                               "make it readable by its owner only (chmod 600), or keep the password in ~/.pgpass.")
                    .arg(settings.Path()));
    }
    const std::unique_ptr<CardStore> cardStore = CardStoreFor(database);
    CardStore &store = *cardStore;

    QtMessageBox dialogs;
    SystemClock clock;
    DiskFileSystem fs;
    ProcessExit exit;
    Services services{headless ? static_cast<MessageBox &>(console) : dialogs, clock, fs,
                      headless ? static_cast<ProgramExit &>(console) : exit,
                      ProgramFolder::ForExecutable(QCoreApplication::applicationDirPath())};
    NoFilePicker noPicker;
    QtFilePicker picker;
    ProcessStarter starter;
    QtDocumentViewer manual;

    frmMainValues v;
    MainForm form(v, store, services, settings, headless ? static_cast<FilePicker &>(noPicker) : picker, starter);
    frmMain window(v, form);
    MenuCommands menu(window, form, v, store, services, settings, starter, manual);

    if (headless) {
        form.ProgressWatcher = &console.Line();
        form.TimerDone = [&] {
            if (!form.RunStarted())
                console.Say(QStringLiteral("No run started: the saved Option is \"%1\", neither Batch nor Import.")
                        .arg(settings.GetSetting(SettingsNames::kApp, SettingsNames::kSection, QStringLiteral("Option"))));
            else if (!form.Progress().begun)
                console.Say(QStringLiteral("No run started: see the message above."));
            else
                console.Say(QStringLiteral("The run ended without its completion entry; see the run log %1.")
                        .arg(services.folder.LogFile()));
            console.End(1);
        };
    }

    // A run asked for on the command line starts at the first pass of events,
    // right after the window's first activation, in place of the one that
    // Auto_Run=1 starts a second after loading.
    window.Start(line.Run() ? 0 : frmMain::kTimer1Ms);
    if (const std::optional<RunMode> mode = line.Run()) {
        v.AutoRun = QStringLiteral("1");
        if (*mode == RunMode::Batch)
            window.Handle([&] { v.Option_Batch.Value = true; form.Option_Batch_Click(); });
        else
            window.Handle([&] { v.Option_Import.Value = true; form.Option_Import_Click(); });
    }
    // --preview: prints what the saved run would do, writes nothing, and ends.
    if (line.Preview())
        return RunPreviewUnattended(form, store, services);
    // --undo-last: takes back the last run without asking, and ends.
    if (line.UndoLast()) {
        const Engine::UndoEnd end = form.UndoLastRun([&](const QString &text) {
            console.Say(text);
            return true;
        });
        return end == Engine::UndoEnd::Restored ? 0 : end == Engine::UndoEnd::Conflicts ? 4 : 1;
    }
    if (headless && !AutoRunIsOn(v.AutoRun)) {
        console.Say(QStringLiteral("An unattended start needs Auto_Run=1 in the [Bulkrun] section of %1, or --run batch|import.")
                .arg(settings.Path()));
        return 2;
    }
    window.show();
    return app.exec();
}
