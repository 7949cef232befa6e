#pragma once

#include "TempFolder.h"

#include <QStringList>

#include <chrono>

#include <sys/types.h>

// How one start of the program ended.
struct ProgramOutcome
{
    bool killed = false;  // by SIGKILL: the test's or the time limit's
    int status = -1;      // the exit status, when it exited
    QString output;       // standard output and error
    long peakRssKb = 0;   // a start copies this process's: a test that measures keeps its own small
};

// A copy of the built program in a temporary folder laid out as on an
// operator's machine: bin/kvr_bulkrun with its list and run log beside it,
// the settings in config/Tavrin.ini, the card database at
// home/tavrin/database/card.db. It runs unattended on the offscreen
// platform, as a scheduled job starts it; one start at a time.
class ProgramUnderTest
{
public:
    ProgramUnderTest();
    ~ProgramUnderTest() { Kill(); }

    QString DatabasePath() const { return tmp.File(QStringLiteral("home/tavrin/database/card.db")); }
    QString JournalPath() const { return DatabasePath() + QStringLiteral("-journal"); }
    QString LogPath() const { return tmp.File(QStringLiteral("bin/log/Batch_Log.lst")); }
    QString ListPath() const { return tmp.File(QStringLiteral("bin/list.lst")); }
    QString ImportPath() const { return tmp.File(QStringLiteral("import.csv")); }
    QString SettingsPath() const { return tmp.File(QStringLiteral("config/Tavrin.ini")); }

    // Writes the settings: [Bulkrun] with the given lines, then those of an
    // unattended import run that searches REFERENCE for item 0 of the import
    // file's lines and writes item 1 (of two lines with one key, the first
    // wins); and, unless the start is to be the very first, [KVRFennic]
    // File_register=1.
    void WriteSettings(const QByteArray &bulkrun, bool registered = true) const;
    // The messages of the run log's entries, oldest first, each with the
    // blank before it (none when there is no log); unless the log is whole
    // entries and nothing else, just "<not whole entries>".
    QStringList LogMessages() const;

    // Starts the program; unprivileged runs it as user and group 65534 when
    // the test runs as root, whom file permissions would not stop, with the
    // folder opened to every user as far as its owner may use it.
    void Start(bool unprivileged = false);
    bool Ended();
    // Waits up to limit for the end; a program still running then is killed.
    ProgramOutcome Wait(std::chrono::seconds limit = std::chrono::minutes(5));
    ProgramOutcome Kill() { return Wait(std::chrono::seconds(0)); }
    ProgramOutcome Run(bool unprivileged = false) { Start(unprivileged); return Wait(); }

    TempFolder tmp;
    // Put on the program's command line as they stand: shell words.
    QString options;

private:
    pid_t pid_ = -1;
    ProgramOutcome outcome_;
};

// Messages of the run log as LogMessages gives them.
inline const QString kImportDone = QStringLiteral(" Card data import complete.");
inline const QString kBatchDone = QStringLiteral(" Card data batch load complete.");
inline QString FailedUpdate(const QString &searchValue, const QString &field)
{
    return QStringLiteral(" Cancel update - Error in Record %1 of field %2").arg(searchValue, field);
}
// An entry of an earlier day, for a log that a run finds already there.
inline QByteArray OldEntry(const QString &message)
{
    return QStringLiteral("01-02-2025 9:15:00 AM%1\r\n").arg(message).toUtf8();
}
