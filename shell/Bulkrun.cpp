#include "Bulkrun.h"

#include "AutoRun.h"
#include "ConsoleMessageBox.h"
#include "DiskFileSystem.h"
#include "IniSettingsStore.h"
#include "MainForm.h"
#include "MenuCommands.h"
#include "ProcessStarter.h"
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
    // A password in the settings file is kept from other users: the file is
    // saved readable by its owner only, and a start-up says when it is not.
    if (HoldsPassword(database)) {
        settings.SetOwnerOnly(true);
        if (QFile::permissions(settings.Path()) & (QFile::ReadGroup | QFile::ReadOther))
            Say(QStringLiteral("%1 holds a password in Card_Database and other users can read it; "
                               "make it readable by its owner only (chmod 600), or keep the password in ~/.pgpass.")
                    .arg(settings.Path()));
    }
    const std::unique_ptr<CardStore> cardStore = CardStoreFor(database);
    CardStore &store = *cardStore;

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
    if (headless && !AutoRunIsOn(v.AutoRun)) {
        Say(QStringLiteral("An unattended start needs Auto_Run=1 in the [Bulkrun] section of %1.")
                .arg(IniSettingsStore::DefaultPath()));
        return 2;
    }
    window.show();
    return app.exec();
}
