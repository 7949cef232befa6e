#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file replaced whole and atomically: the bytes go to a temporary file
// beside it, which takes the file's place at Commit; destroyed before that,
// it removes the temporary file and the file stays as it was. Every write
// reaches the system at once, so a full disk fails the write that meets it
// and the failure names the system's reason. (A buffered QSaveFile does not
// look at the outcome of its final flush and would put a truncated copy in
// the file's place.) Every failure throws FileFailure("Cannot write <path>:
// <reason>").
class AtomicFile
{
public:
    explicit AtomicFile(const QString &path);
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    void Write(const char *data, qint64 size);
    void Write(const QByteArray &bytes) { Write(bytes.constData(), bytes.size()); }
    void Commit();

    // Replaces the file at path with exactly bytes.
    static void Save(const QString &path, const QByteArray &bytes);

private:
    [[noreturn]] void Fail() const;

    QString path_;
    QSaveFile file_;
};
