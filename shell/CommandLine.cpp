#include "CommandLine.h"

#include "IniSettingsStore.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

CommandLine::CommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Updates records of the table CARD_DATA in bulk. Without options it opens its window, or, "
                       "without a screen, starts the run that Auto_Run=1 switches on."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("Uses FILE as the settings file in place of "
                                                     "${XDG_CONFIG_HOME:-$HOME/.config}/Tavrin.ini."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption run(QStringLiteral("run"),
                                 QStringLiteral("Runs the saved batch or import run now, unattended, whatever "
                                                "Auto_Run holds, and ends: status 0 when its completion is "
                                                "logged, 1 when it did not complete or start, 3 on the first start."),
                                 QStringLiteral("batch|import"));
    const QCommandLineOption preview(QStringLiteral("preview"),
                                     QStringLiteral("Prints what the saved run would do as CSV on standard output, "
                                                    "its totals on standard error, writes nothing, and ends."));
    const QCommandLineOption undoLast(QStringLiteral("undo-last"),
                                      QStringLiteral("Takes back the last run without asking: status 0 when every field "
                                                     "it changed got its old value back, 4 when some were left because "
                                                     "they changed since, 1 when nothing was undone."));
    // Options that start a run of another kind go here, beside --run.
    parser.addOptions({help, version, settings, run, preview, undoLast});

    const QString program = arguments.isEmpty() ? QStringLiteral("kvr_bulkrun") : QFileInfo(arguments[0]).fileName();
    usage_ = parser.helpText().replace(QLatin1String("<executable_name>"), program);

    if (!parser.parse(arguments)) {
        error_ = parser.errorText();
        return;
    }
    help_ = parser.isSet(help);
    version_ = parser.isSet(version);
    if (parser.isSet(settings))
        settingsFile_ = QFileInfo(parser.value(settings)).absoluteFilePath();
    preview_ = parser.isSet(preview);
    undoLast_ = parser.isSet(undoLast);
    if (int(preview_) + int(undoLast_) + int(parser.isSet(run)) > 1)
        error_ = QStringLiteral("Only one of the options 'run', 'preview' and 'undo-last' can be given.");
    if (parser.isSet(run)) {
        const QString mode = parser.value(run);
        if (mode.compare(QLatin1String("batch"), Qt::CaseInsensitive) == 0)
            run_ = RunMode::Batch;
        else if (mode.compare(QLatin1String("import"), Qt::CaseInsensitive) == 0)
            run_ = RunMode::Import;
        else
            error_ = QStringLiteral("Option 'run' takes batch or import, not '%1'.").arg(mode);
    }
    if (!parser.positionalArguments().isEmpty())
        error_ = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
}

std::optional<int> CommandLine::Answer() const
{
    if (!error_.isEmpty()) {
        std::fprintf(stderr, "KVR_Bulkrun: %s\n%s", error_.toLocal8Bit().constData(), usage_.toLocal8Bit().constData());
        return kUsageStatus;
    }
    if (help_)
        std::fputs(usage_.toLocal8Bit().constData(), stdout);
    else if (version_)
        std::puts("KVR_Bulkrun " KVR_VERSION);
    else
        return std::nullopt;
    return 0;
}

QString CommandLine::SettingsFile() const
{
    return settingsFile_.isEmpty() ? IniSettingsStore::DefaultPath() : settingsFile_;
}
