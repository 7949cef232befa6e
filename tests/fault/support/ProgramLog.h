#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The run log as a test reads it: whole entries, newest first, each of them
// "mm-dd-yyyy", a blank, the time of day ("h:mm:ss AM"), one of the log's
// messages and CR LF.
namespace ProgramLog {

// The messages of the entries, oldest first, each with the blank that begins
// it; nullopt unless bytes are whole entries and nothing else.
std::optional<QStringList> Messages(const QByteArray &bytes);

QString FailedUpdate(const QString &searchValue, const QString &field);
QString ImportComplete();
QString BatchComplete();

// An entry of an earlier day, for a log that a run finds already there.
QByteArray OldEntry(const QString &message);

} // namespace ProgramLog
