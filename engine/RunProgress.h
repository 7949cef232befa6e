#pragma once

#include "Int16.h"

#include <QDateTime>
#include <QString>

// Where a run stands: what the main window shows while it goes on, and the
// counters the run log and an unattended start read.
struct RunProgress
{
    // Updates still expected; the run is complete when it reaches 0.
    Int16 recordsLeft;
    // Updates made so far: the progress bar's value until the completion
    // entry empties the bar.
    Int16 recordsDone;
    int progressMax = 0;
    int progressValue = 0;
    // Lines of the replacement list, counted at every run's start.
    Int16 listLineCount;
    // Records loaded by the current record update, and the count the last
    // one showed when it ended (shown after a batch update only).
    long long recordsLoaded = 0;
    long long loadedCount = 0;
    bool loadedShown = false;
    // Failed updates of the run; the count stops at 32,767.
    Int16 errorCount;
    // A record update, or an import's line pass, is under way.
    bool busy = false;
    // The run passed its checks and may write; a run that stopped before
    // did not end early, it never began.
    bool begun = false;
    // Updates that the card database accepted but could not commit, and why
    // the last of them was lost. A run that lost any is not complete.
    int lostUpdates = 0;
    QString lostReason;
    // Set while a failed update is being reported to the run log.
    bool recordError = false;
    // A run log that cannot be written is reported once per run.
    bool logFailureShown = false;

    // The run's tally, which its summary reports. Records written by its
    // updates (lost ones included: lostUpdates says how many).
    long long recordsChanged = 0;
    // Import lines with a search value whose updates found no record and
    // failed none.
    long long linesWithoutMatch = 0;
    // The run would make more than 32,767 updates: an import then does not
    // begin, a batch run with the list counts only its records.
    bool overLimit = false;
    // The completion entry is in the run log.
    bool loggedComplete = false;
    // When the run began, and how long it took once it has ended.
    QDateTime startedAt;
    long long elapsedMs = 0;
    // The run's end has been reported.
    bool endReported = false;
};

// One record update (Load_Data) as it ended: what it searched for and
// wrote, how many records it reached and wrote, and why it failed.
struct UpdateOutcome
{
    QString searchValue;
    QString field;
    QString value;
    long long found = 0;
    long long written = 0;
    // The failure's message; empty when the update did not fail.
    QString failure;
};

// Told of every change that the main window shows while a run goes on, so
// that the window can repaint without handing the event loop to input, and of
// the steps of a run that a summary or a preview counts.
class ProgressReport
{
public:
    virtual ~ProgressReport() = default;
    virtual void Changed(const RunProgress &progress) = 0;
    // An import line was read; its updates follow, none when its search
    // value (given) is empty.
    virtual void LineRead(const QString &) {}
    // A record update ended, before any log entry of the run's completion.
    virtual void UpdateEnded(const UpdateOutcome &) {}
    // A run that began has ended, logged complete or not: once per run,
    // before an automatic run ends the program.
    virtual void RunEnded(const RunProgress &) {}
};
