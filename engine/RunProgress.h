#pragma once

#include "Int16.h"

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
};

// Told of every change that the main window shows while a run goes on, so
// that the window can repaint without handing the event loop to input.
class ProgressReport
{
public:
    virtual ~ProgressReport() = default;
    virtual void Changed(const RunProgress &progress) = 0;
};
