#include "ProcessStarter.h"

#include "Failure.h"
#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <optional>

namespace {

enum class Kind { Native, Windows, Other };

[[noreturn]] void Fail(const QString &commandLine, const QString &reason)
{
    throw Failure(QStringLiteral("Cannot start \"%1\": %2.").arg(commandLine, reason));
}

Kind KindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Kind::Other;
    const QByteArray head = file.read(4);
    const QByteArray elf("\x7f" "ELF", 4);
    if (head == elf || head.startsWith("#!"))
        return Kind::Native;
    if (head.startsWith("MZ"))
        return Kind::Windows;
    return Kind::Other;
}

bool Runs(const QString &path)
{
    switch (KindOf(path)) {
    case Kind::Native:
        return QFileInfo(path).isExecutable();
    case Kind::Windows:
        return true;
    case Kind::Other:
        break;
    }
    return false;
}

QString WithoutExe(const QString &name)
{
    return name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) ? name.chopped(4) : name;
}

bool HasSeparator(const QString &text)
{
    return text.contains(QLatin1Char('\\')) || text.contains(QLatin1Char('/'));
}

// The first file in the folders of the PATH that is called name, letter case
// and ".exe" ignored, and that can run; the exact spelling wins within a
// folder. Empty when there is none.
QString FindOnPath(const QString &name)
{
    const QString wanted = WithoutExe(name);
    if (wanted.isEmpty())
        return {};
    const QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &folder : folders) {
        const QDir dir(folder);
        const QString exact = dir.absoluteFilePath(wanted);
        if (QFileInfo(exact).isFile() && Runs(exact))
            return exact;
        for (const QString &entry : dir.entryList(QDir::Files)) {
            const QString path = dir.absoluteFilePath(entry);
            if (WithoutExe(entry).compare(wanted, Qt::CaseInsensitive) == 0 && Runs(path))
                return path;
        }
    }
    return {};
}

// The Linux form of a path written with '\' (or '/') separators.
QString LinuxPath(const QString &path)
{
    QString parts = path;
    parts.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const bool absolute = parts.startsWith(QLatin1Char('\\'));
    return ProgramFolder(absolute ? QStringLiteral("/") : QDir::currentPath()).File(parts);
}

struct Program
{
    QString path;
    QString argument;
};

std::optional<Program> FindProgram(const QString &commandLine)
{
    for (qsizetype end = commandLine.indexOf(QLatin1Char(' '));; end = commandLine.indexOf(QLatin1Char(' '), end + 1)) {
        const QString words = end < 0 ? commandLine : commandLine.left(end);
        QString path;
        if (!HasSeparator(words)) {
            path = FindOnPath(words);
        } else {
            const QString file = LinuxPath(words);
            if (QFileInfo(file).isFile())
                path = file;
        }
        if (!path.isEmpty())
            return Program{path, end < 0 ? QString() : commandLine.mid(end + 1)};
        if (end < 0)
            return std::nullopt;
    }
}

} // namespace

void ProcessStarter::Start(const QString &commandLine)
{
    std::optional<Program> found = FindProgram(commandLine);
    QStringList arguments;
    if (!found) {
        // Windows looks for a program named without a path in its own
        // folders after the PATH; wine carries Windows' own programs there
        // (winhlp32, regsvr32) and runs them by name.
        const QString name = commandLine.section(QLatin1Char(' '), 0, 0);
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (name.isEmpty() || HasSeparator(name) || wine.isEmpty())
            Fail(commandLine, QStringLiteral("there is no such program"));
        found = Program{wine, commandLine.mid(name.size() + 1)};
        arguments << WithoutExe(name) + QStringLiteral(".exe");
    }

    QString program = found->path;
    if (!found->argument.isEmpty())
        arguments << (HasSeparator(found->argument) ? LinuxPath(found->argument) : found->argument);

    switch (KindOf(program)) {
    case Kind::Native:
        if (!QFileInfo(program).isExecutable())
            Fail(commandLine, QStringLiteral("%1 is not executable").arg(program));
        break;
    case Kind::Windows: {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            Fail(commandLine, QStringLiteral("%1 is a Windows program and there is no wine on the PATH").arg(program));
        arguments.prepend(program);
        program = wine;
        break;
    }
    case Kind::Other:
        Fail(commandLine, QStringLiteral("%1 is not a program").arg(program));
    }

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!process.startDetached())
        Fail(commandLine, process.errorString());
}
