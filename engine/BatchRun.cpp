// The Execute command: a batch search-and-replace over the whole card table.
#include "Engine.h"

#include "Failure.h"

namespace {

// The batch run's skip rule: a step that fails is passed over and the next
// one runs.
template <typename Step>
void Skip(Step step)
{
    try {
        step();
    } catch (const ConnectionLost &) {
        throw; // nothing more can be done: the run stops
    } catch (const Failure &) {
        // Passed over by design: the count or binding it would have set keeps
        // its value, and a failing update is logged by the record update.
    }
}

} // namespace

void Engine::cmdexeNow_Click()
{
    StartRun();
    if (run.searchValue.isEmpty()) {
        s.msg.Show(QStringLiteral("Search data empty, Please enter data to search for."), MsgIcon::Critical);
        return;
    }
    progress.begun = true;
    RunEnd runEnd(*this);
    try {
        BatchRun();
    } catch (const ConnectionLost &lost) {
        RunStopped(lost);
    }
}

void Engine::BatchRun()
{
    Skip([&] { store.SetDataField(run.replaceField); });
    CountMatches();
    try {
        CountListLines();
    } catch (const OverflowFailure &) {
        progress.listLineCount = Int16::kMax; // each further line's count is skipped
    }
    if (run.useList) {
        const Int16 matches = progress.recordsLeft;
        Skip([&] { progress.recordsLeft *= progress.listLineCount; });
        if (progress.recordsLeft == matches && int(progress.listLineCount) > 1 && int(matches) > 0) {
            progress.overLimit = true;
            s.msg.Note(QStringLiteral("%1 records times %2 list entries is more than 32767 updates: the run counts "
                                      "only the records, so it is complete, and an unattended run ends, once the "
                                      "first list entry is written; the other entries' fields are not written.")
                           .arg(int(matches))
                           .arg(int(progress.listLineCount)));
        }
    }
    progress.progressMax = progress.recordsLeft;
    progress.progressValue = 0;
    progress.recordsDone = 0;
    Changed();

    // A failure the record update does not handle itself ends the run quietly.
    Skip([&] {
        if (run.useList)
            Check_ReplaceList();
        else
            Load_Data();
    });
}

// The counting pass: records left := the number of records the search
// matches, walking the table as the update will. A search that cannot be
// made or evaluated counts the record the walk stands on, so such a run counts every
// record and the update that follows reports the failure. A store that
// cannot move at all ends the pass with nothing counted.
void Engine::CountMatches()
{
    Skip([&] { store.Refresh(); });
    Skip([&] { store.MoveFirst(); });
    progress.recordsLeft = 0;
    std::optional<Search> search;
    Skip([&] { search.emplace(run.searchField, run.searchValue); });
    while (!store.IsEOF()) {
        if (search)
            Skip([&] { store.Find(*search); });
        if (store.IsEOF())
            break;
        try {
            store.MoveNext();
        } catch (const ConnectionLost &) {
            throw;
        } catch (const Failure &) {
            progress.recordsLeft = 0;
            return;
        }
        if (progress.recordsLeft < Int16::kMax)
            progress.recordsLeft += 1;
    }
}
