#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <deque>

// A run's progress as seen from outside the program, without touching its
// files: the first creation of the card database's rollback journal (the
// run's first write transaction has begun to change the file), every rewrite
// of the run log (its replacement by a complete new file), and the end of
// the program. Create it before the program starts, so that no mark is
// missed.
class ProgramProgress
{
public:
    enum class Mark { WritesBegan, LogWritten, Ended, TimedOut };

    ProgramProgress(const QString &databasePath, const QString &logPath);
    ~ProgramProgress();
    ProgramProgress(const ProgramProgress &) = delete;
    ProgramProgress &operator=(const ProgramProgress &) = delete;

    // The next mark; Ended once processFd is readable and no mark is left.
    Mark Next(int processFd, std::chrono::steady_clock::time_point deadline);

private:
    void ReadEvents();

    int fd_ = -1;
    int databaseWatch_ = -1;
    int logWatch_ = -1;
    QByteArray journalName_;
    QByteArray logName_;
    bool writesBegan_ = false;
    std::deque<Mark> marks_;
};
