#include "UnwrittenFiles.h"

#include "Failure.h"

bool UnwrittenFiles::FolderExists(const QString &path)
{
    return folders_.contains(path) || disk_.FolderExists(path);
}

void UnwrittenFiles::CreateFolder(const QString &path)
{
    folders_.insert(path);
}

bool UnwrittenFiles::FileExists(const QString &path)
{
    return files_.contains(path) || disk_.FileExists(path);
}

void UnwrittenFiles::CreateTextFile(const QString &path)
{
    WriteWhole(path, QString(), TextEncoding::Utf8);
}

std::unique_ptr<LineReader> UnwrittenFiles::OpenLines(const QString &path)
{
    if (files_.contains(path))
        throw FileFailure(QStringLiteral("Cannot read %1 by lines: it was only written in memory").arg(path));
    return disk_.OpenLines(path);
}

TextContent UnwrittenFiles::ReadWhole(const QString &path)
{
    const auto found = files_.constFind(path);
    return found != files_.constEnd() ? *found : disk_.ReadWhole(path);
}

void UnwrittenFiles::WriteWhole(const QString &path, const QString &text, TextEncoding encoding)
{
    files_.insert(path, TextContent{text, encoding});
    ++versions_[path];
}

QString UnwrittenFiles::Version(const QString &path)
{
    const auto found = versions_.constFind(path);
    return found != versions_.constEnd() ? QStringLiteral("memory %1").arg(*found) : disk_.Version(path);
}
