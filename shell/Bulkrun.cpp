#include "Bulkrun.h"

#include "AutoRun.h"
#include "ConsoleMessageBox.h"
#include "DiskFileSystem.h"
#include "IniSettingsStore.h"
#include "MainForm.h"
#include "MenuCommands.h"
#include "PreviewCommand.h"
#include "ProcessStarter.h"
#include "QtFilePicker.h"
#include "QtMessageBox.h"
#include "SettingsNames.h"
#include "SqliteCardStore.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>

#include <csignal>
#include <cstdio>

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

void Say(const QString &text)
{
    std::fprintf(stderr, "KVR_Bulkrun: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

int RunBulkrun(int argc, char *argv[])
{
    // A file that reaches the size limit must fail its write like a full
    // disk does, which every writer of the program handles, rather than end
    // the program mid-run with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);

    const bool headless = IsHeadless();
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtDefaultHandler = qInstallMessageHandler(QuietOffscreenNotes);
    }
    QApplication app(argc, argv);

    IniSettingsStore settings(IniSettingsStore::DefaultPath());
    QString database = settings.GetSetting(SettingsNames::kApp, SettingsNames::kSection,
                                           QStringLiteral("Card_Database"));
    if (database.isEmpty())
        database = QDir::homePath() + QStringLiteral("/tavrin/database/card.db");
    SqliteCardStore store(database);

    ConsoleMessageBox console;
    QtMessageBox dialogs;
    SystemClock clock;
    DiskFileSystem fs;
    ProcessExit exit;
    Services services{headless ? static_cast<MessageBox &>(console) : dialogs, clock, fs, exit,
                      ProgramFolder(QCoreApplication::applicationDirPath())};
    NoFilePicker noPicker;
    QtFilePicker picker;
    ProcessStarter starter;

    frmMainValues v;
    MainForm form(v, store, services, settings, headless ? static_cast<FilePicker &>(noPicker) : picker, starter);
    frmMain window(v, form);
    MenuCommands menu(window, form, v, store, services, settings);

    if (headless) {
        form.TimerDone = [&] {
            if (!form.RunStarted())
                Say(QStringLiteral("No run started: the saved Option is \"%1\", neither Batch nor Import.")
                        .arg(settings.GetSetting(SettingsNames::kApp, SettingsNames::kSection, QStringLiteral("Option"))));
            else if (!form.Progress().begun)
                Say(QStringLiteral("No run started: see the message above."));
            else
                Say(QStringLiteral("The run ended without its completion entry; see the run log %1.")
                        .arg(services.folder.LogFile()));
            exit.End(1);
        };
    }

    window.Start();
    // --preview: print what the saved run would do, write nothing, and end.
    if (QCoreApplication::arguments().contains(QStringLiteral("--preview")))
        return RunPreviewUnattended(form, store, services);
    if (headless && !AutoRunIsOn(v.AutoRun)) {
        Say(QStringLiteral("An unattended start needs Auto_Run=1 in the [Bulkrun] section of %1.")
                .arg(IniSettingsStore::DefaultPath()));
        return 2;
    }
    window.show();
    return app.exec();
}
