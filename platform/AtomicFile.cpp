#include "AtomicFile.h"

#include "Failure.h"

#include <QSaveFile>

void AtomicFile::Save(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    const auto fail = [&] { throw FileFailure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString())); };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail();
    // A short write carries no reason; writing the rest again makes the
    // system give it.
    for (qint64 at = 0; at < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + at, bytes.size() - at);
        if (written <= 0)
            fail();
        at += written;
    }
    if (!file.commit())
        fail();
}
