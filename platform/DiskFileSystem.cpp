#include "DiskFileSystem.h"

#include "AtomicFile.h"
#include "Failure.h"
#include "FileLineReader.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <system_error>

#include <sys/stat.h>

namespace {

[[noreturn]] void Fail(const QString &what, const QString &path, const QString &reason)
{
    throw FileFailure(QStringLiteral("%1 %2: %3").arg(what, path, reason));
}

// An empty path names no file; saying so here also keeps Qt from warning.
void RequireName(const QString &what, const QString &path)
{
    if (path.isEmpty())
        Fail(what, path, QStringLiteral("no file name given"));
}

} // namespace

bool DiskFileSystem::FolderExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

void DiskFileSystem::CreateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0777) != 0) {
        const int error = errno;
        Fail(QStringLiteral("Cannot create folder"), path,
             QString::fromStdString(std::generic_category().message(error)));
    }
}

bool DiskFileSystem::FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

void DiskFileSystem::CreateTextFile(const QString &path)
{
    RequireName(QStringLiteral("Cannot create"), path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Fail(QStringLiteral("Cannot create"), path, file.errorString());
}

std::unique_ptr<LineReader> DiskFileSystem::OpenLines(const QString &path)
{
    return std::make_unique<FileLineReader>(path);
}

TextContent DiskFileSystem::ReadWhole(const QString &path)
{
    RequireName(QStringLiteral("Cannot open"), path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Cannot open"), path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Cannot read"), path, file.errorString());
    const TextEncoding encoding = TextCodec::Detect(bytes);
    return {TextCodec::Decode(bytes, encoding), encoding};
}

QString DiskFileSystem::Version(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(info.st_dev)
        .arg(info.st_ino)
        .arg(info.st_size)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec);
}

void DiskFileSystem::WriteWhole(const QString &path, const QString &text, TextEncoding encoding)
{
    AtomicFile::Save(path, TextCodec::Encode(text, encoding));
}
