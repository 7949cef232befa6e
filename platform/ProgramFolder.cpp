#include "ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// The name under which folder holds an entry called name without regard to
// case, the exact spelling first; empty when there is none.
QString ExistingName(const QString &folder, const QString &name)
{
    if (QFileInfo::exists(folder + QLatin1Char('/') + name))
        return name;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

} // namespace

ProgramFolder ProgramFolder::ForExecutable(const QString &folder)
{
    if (QFileInfo(folder).isWritable())
        return ProgramFolder(folder);
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString data = base + QStringLiteral("/KVR_Bulkrun");
    QDir().mkpath(data);
    return ProgramFolder(folder, data);
}

QString ProgramFolder::Resolve(const QString &folder, const QString &suffix)
{
    QString path = QDir(folder).absolutePath();
    bool matching = true;
    for (const QString &part : suffix.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        QString name = part;
        if (matching) {
            const QString existing = ExistingName(path, part);
            if (existing.isEmpty())
                matching = false;
            else
                name = existing;
        }
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += name;
    }
    return path;
}
