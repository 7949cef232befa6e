// What every run does at its start and its end.
#include "Engine.h"

#include "Failure.h"
#include "UndoJournal.h"

Engine::Engine(RunRequest &run, RunProgress &progress, CardStore &store, Services &services, ProgressReport *report)
    : run(run), progress(progress), store(store), s(services), report(report)
{
}

Engine::~Engine() = default;

void Engine::OpenJournal()
{
    journal_.reset();
    if (!run.undoJournal || !store.SetJournal(nullptr))
        return;
    try {
        journal_ = std::make_unique<UndoJournal>(s.folder.UndoFolder(), progress.startedAt);
        store.SetJournal(journal_.get());
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The undo journal of this run cannot be made (%1): Undo Last Run cannot take the run back.")
                       .arg(error.message()),
                   MsgIcon::Critical);
    }
}

void Engine::CloseJournal()
{
    if (!journal_)
        return;
    store.SetJournal(nullptr);
    if (!journal_->Failure().isEmpty())
        s.msg.Show(QStringLiteral("The undo journal of this run could not be kept (%1): Undo Last Run cannot take the run back.")
                       .arg(journal_->Failure()),
                   MsgIcon::Critical);
    journal_.reset();
}

void Engine::StartRun()
{
    progress.errorCount = 0;
    progress.logFailureShown = false;
    progress.begun = false;
    progress.lostUpdates = 0;
    progress.lostReason.clear();
    progress.recordsChanged = 0;
    progress.linesWithoutMatch = 0;
    progress.overLimit = false;
    progress.loggedComplete = false;
    progress.startedAt = QDateTime(s.clock.Date(), s.clock.Time());
    progress.elapsedMs = 0;
    progress.endReported = false;
    Changed();
}

void Engine::ReportRunEnd()
{
    if (progress.endReported)
        return;
    progress.endReported = true;
    EndLine();
    progress.elapsedMs = progress.startedAt.msecsTo(QDateTime(s.clock.Date(), s.clock.Time()));
    if (report)
        report->RunEnded(progress);
}

// Whatever ends a run, the updates it made are made durable, and updates
// that the card database could not keep are logged and reported: they must
// never be lost unseen.
Engine::RunEnd::~RunEnd()
{
    RunProgress &progress = engine.progress;
    try {
        engine.store.Flush();
    } catch (const LostWrites &lost) {
        engine.LogLostWrites(lost);
    } catch (const ConnectionLost &lost) {
        engine.RunStopped(lost);
    }
    engine.CloseJournal();
    if (progress.lostUpdates > 0) {
        engine.s.msg.Show(QStringLiteral("%1 updates of this run were lost: the card database could not commit them (%2).\r"
                                         "Each one is logged as a failed update, and the run's completion was not logged.")
                              .arg(progress.lostUpdates)
                              .arg(progress.lostReason),
                          MsgIcon::Critical);
    }
    progress.busy = false;
    engine.Changed();
    engine.ReportRunEnd();
}

void Engine::RunStopped(const ConnectionLost &lost)
{
    s.msg.Show(lost.message() + QStringLiteral(".\rThe run stopped; the records updated before it keep their new values."),
               MsgIcon::Critical);
}
