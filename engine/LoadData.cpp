// The record update: the one procedure that changes card records.
#include "Engine.h"

#include "Failure.h"

#include <QScopeGuard>

void Engine::Changed()
{
    if (report)
        report->Changed(progress);
}

void Engine::Load_Data()
{
    if (run.searchValue.isEmpty()) {
        s.msg.Show(QStringLiteral("Search criteria not specified!"), MsgIcon::Critical);
        return;
    }
    const bool batch = run.mode == RunMode::Batch;

    // Import mode counts once per call, before any record is touched; a
    // counter step out of range here fails the call without logging.
    if (!batch) {
        progress.recordsLeft -= 1;
        progress.recordsDone += 1;
        progress.progressValue = progress.recordsDone;
        Changed();
    }

    store.SetDataField(run.replaceField);
    UpdateOutcome outcome{run.searchValue, run.replaceField, run.replaceValue, 0, 0, QString()};
    update_ = &outcome;
    const auto ended = qScopeGuard([this] { update_ = nullptr; });

    try {
        progress.loadedShown = false;
        progress.recordsLoaded = 0;
        progress.busy = true;
        Changed();

        store.Refresh();
        store.MoveFirst();
        const Search search(run.searchField, run.searchValue);
        while (!store.IsEOF()) {
            store.Find(search);
            store.SetText(run.replaceValue);
            if (store.IsEOF())
                break;
            if (batch) {
                progress.recordsLeft -= 1;
                progress.recordsDone += 1;
                progress.progressValue = progress.recordsDone;
                Changed();
            }
            ++progress.recordsLoaded;
            ++outcome.found;
            store.MoveNext();
            ++outcome.written;
        }

        progress.busy = false;
        progress.loadedCount = progress.recordsLoaded;
        progress.loadedShown = batch;
        Changed();
        EndUpdate();
        if (progress.recordsLeft == 0) {
            store.Flush();
            Log_event();
        }
    } catch (const ConnectionLost &) {
        throw; // the run stops: neither this update nor the run's end can be logged
    } catch (const LostWrites &lost) {
        outcome.failure = lost.message();
        LoadDataFailed(&lost);
    } catch (const Failure &error) {
        outcome.failure = error.message();
        LoadDataFailed(nullptr);
    }
}

void Engine::EndUpdate()
{
    if (!update_)
        return;
    UpdateOutcome &outcome = *update_;
    update_ = nullptr;
    progress.recordsChanged += outcome.written;
    line_.updated = true;
    line_.matched = line_.matched || outcome.found > 0 || !outcome.failure.isEmpty();
    if (report)
        report->UpdateEnded(outcome);
}

// The error path: log the failed update, and the run's end when it was the
// last update expected. The rest of the match walk is abandoned. When the
// failure was a commit that lost updates (lost), those are the failed ones,
// each logged under its own search value and field.
void Engine::LoadDataFailed(const LostWrites *lost)
{
    // The log must never run ahead of the database: make what was committed
    // before the failure durable first, logging what even that loses.
    try {
        store.Flush();
    } catch (const LostWrites &flushLost) {
        LogLostWrites(flushLost);
    }
    if (lost) {
        LogLostWrites(*lost);
    } else {
        progress.recordError = true;
        Log_event();
    }
    EndUpdate();
    if (progress.recordsLeft == 0)
        Log_event();
    progress.busy = false;
    Changed();
}
