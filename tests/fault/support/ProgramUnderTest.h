#pragma once

#include "TempFolder.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <thread>

#include <sys/types.h>

// How one start of the program ended.
struct ProgramOutcome
{
    bool killed = false;  // ended by SIGKILL, the test's or the time limit's
    int status = -1;      // the exit status when it exited
    double seconds = 0;   // from the start to the end
    QString output;       // standard output and error
    // The program's peak resident set. A start copies the resident set of
    // this process, so a test that measures keeps its own memory small.
    long peakRssKb = 0;
};

// A copy of the built program in a temporary folder laid out as on an
// operator's machine: bin/kvr_bulkrun with its list and run log beside it,
// the settings in config/Tavrin.ini, the card database at
// home/tavrin/database/card.db and an import file. It runs unattended, as a
// scheduled run starts it, and can be killed or waited for. Not copyable;
// one object runs one program at a time, from any one thread.
class ProgramUnderTest
{
public:
    enum class As { Self, Unprivileged };

    ProgramUnderTest();
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest &) = delete;
    ProgramUnderTest &operator=(const ProgramUnderTest &) = delete;

    const TempFolder &Folder() const { return tmp_; }
    QString File(const QString &name) const { return tmp_.File(name); }
    QString DatabasePath() const { return File(QStringLiteral("home/tavrin/database/card.db")); }
    QString JournalPath() const { return DatabasePath() + QStringLiteral("-journal"); }
    QString LogPath() const { return File(QStringLiteral("bin/log/Batch_Log.lst")); }
    QString ListPath() const { return File(QStringLiteral("bin/List.lst")); }
    QString ImportPath() const { return File(QStringLiteral("import.csv")); }
    QString SettingsPath() const { return File(QStringLiteral("config/Tavrin.ini")); }

    // Writes the settings of an automatic run: the given [Bulkrun] keys, then
    // Auto_Run=1, and the first start recorded. Returns the file's bytes.
    QByteArray WriteSettings(const QByteArray &bulkrunKeys) const;
    void Write(const QString &path, const QByteArray &bytes) const;
    // The file's bytes; "<missing>" when it cannot be read.
    QByteArray Read(const QString &path) const;

    // Lets every user reach the whole folder and write in all of its folders,
    // so that a program started As::Unprivileged works as its owner would.
    void OpenToEveryone() const;

    // Starts the program; As::Unprivileged runs it as user and group 65534
    // when the test runs as root, where file permissions would not stop it.
    void Start(As as = As::Self);
    bool Running() const { return pid_ > 0; }
    // A descriptor that becomes readable when the started program has ended.
    int ProcessFd() const { return pidfd_; }
    // Waits up to limit for the program to end by itself; true when it has.
    bool WaitForEnd(std::chrono::milliseconds limit) const;
    // Waits up to limit; a program still running then is killed.
    ProgramOutcome Wait(std::chrono::milliseconds limit);
    ProgramOutcome Run(std::chrono::milliseconds limit, As as = As::Self)
    {
        Start(as);
        return Wait(limit);
    }
    // SIGKILL to the started program, unless it has ended already; then the
    // outcome.
    ProgramOutcome Kill();

private:
    ProgramOutcome Reap();

    TempFolder tmp_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    // What the program prints, drained from a pipe as it comes: a file could
    // meet the file-size limit a test puts on the program.
    std::thread reader_;
    QByteArray output_;
    std::chrono::steady_clock::time_point started_;
};
