#include "AtomicFile.h"

#include "Failure.h"

AtomicFile::AtomicFile(const QString &path) : path_(path), file_(path)
{
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Fail();
}

void AtomicFile::Fail() const
{
    throw FileFailure(QStringLiteral("Cannot write %1: %2").arg(path_, file_.errorString()));
}

// A short write carries no reason; writing the rest again makes the system
// give it.
void AtomicFile::Write(const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = file_.write(data, size);
        if (written <= 0)
            Fail();
        data += written;
        size -= written;
    }
}

void AtomicFile::Commit()
{
    if (!file_.commit())
        Fail();
}

void AtomicFile::Save(const QString &path, const QByteArray &bytes)
{
    AtomicFile file(path);
    file.Write(bytes);
    file.Commit();
}
