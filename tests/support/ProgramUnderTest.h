#pragma once

#include "TempFolder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

#include <sys/types.h>

// How one start of the program ended.
struct ProgramOutcome
{
    bool killed = false;  // by SIGKILL: the test's or the time limit's
    int status = -1;      // the exit status, when it exited
    double seconds = 0;   // from the start to the end
    QString output;       // standard output and error
    // The program's peak resident set. A start copies this process's, so a
    // test that measures keeps its own small.
    long peakRssKb = 0;
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
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest &) = delete;
    ProgramUnderTest &operator=(const ProgramUnderTest &) = delete;

    QString DatabasePath() const { return tmp.File(QStringLiteral("home/tavrin/database/card.db")); }
    QString JournalPath() const { return DatabasePath() + QStringLiteral("-journal"); }
    QString LogPath() const { return tmp.File(QStringLiteral("bin/log/Batch_Log.lst")); }
    QString ListPath() const { return tmp.File(QStringLiteral("bin/list.lst")); }
    QString ImportPath() const { return tmp.File(QStringLiteral("import.csv")); }
    QString SettingsPath() const { return tmp.File(QStringLiteral("config/Tavrin.ini")); }

    // Writes the settings: [Bulkrun] with the given lines and, unless the
    // start is to be the very first, [KVRFennic] File_register=1.
    QByteArray WriteSettings(const QByteArray &bulkrun, bool registered = true) const;
    // The messages of the run log's entries, oldest first, each with the
    // blank before it (none when there is no log); nullopt unless the log is
    // whole entries and nothing else.
    std::optional<QStringList> LogMessages() const;
    // Lets every user reach and write the whole folder, so that a start as
    // another user works as the owner's would.
    void OpenToEveryone() const;

    // Starts the program; unprivileged runs it as user and group 65534 when
    // the test runs as root, whom file permissions would not stop.
    void Start(bool unprivileged = false);
    // True once the started program has ended.
    bool Ended();
    // Waits up to limit for the end; a program still running then is killed.
    ProgramOutcome Wait(std::chrono::milliseconds limit = std::chrono::minutes(5));
    ProgramOutcome Kill();
    ProgramOutcome Run(bool unprivileged = false)
    {
        Start(unprivileged);
        return Wait();
    }

    TempFolder tmp;

private:
    void Drain();
    void Reap(int options);
    ProgramOutcome Finish();

    pid_t pid_ = -1;
    int output_ = -1;  // drained as the program writes: a file could meet a test's file-size limit
    QByteArray printed_;
    ProgramOutcome outcome_;
    std::chrono::steady_clock::time_point started_;
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
