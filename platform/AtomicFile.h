#pragma once

#include <QByteArray>
#include <QString>

// Files replaced whole and atomically.
namespace AtomicFile {

// Replaces the file at path with exactly bytes: they go to a temporary file
// beside it, which takes the file's place once every byte is written; on a
// failure the temporary file is removed and the file stays as it was. Every
// write reaches the system at once, so a full disk fails the write that
// meets it and the failure names the system's reason. (A buffered QSaveFile
// does not look at the outcome of its final flush and would put a truncated
// copy in the file's place.) Throws FileFailure("Cannot write <path>:
// <reason>").
void Save(const QString &path, const QByteArray &bytes);

} // namespace AtomicFile
