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
    } catch (const Failure &) {
    }
}

} // namespace

void Engine::cmdexeNow_Click()
{
    StartRun();
    if (v.Text1.Text.isEmpty()) {
        s.msg.Show(QStringLiteral("Search data empty, Please enter data to search for."), MsgIcon::Critical);
        return;
    }
    v.RunBegun = true;
    RunEnd runEnd(*this);

    Skip([&] { BindText3(); });
    CountMatches();
    try {
        CountListLines();
    } catch (const OverflowFailure &) {
        v.ListLineCount = Int16::kMax; // each further line's count is skipped
    }
    if (v.Chk_RepFromLst.Value == 1) {
        const Int16 matches = v.RecordsLeft;
        Skip([&] { v.RecordsLeft *= v.ListLineCount; });
        if (v.RecordsLeft == matches && int(v.ListLineCount) > 1 && int(matches) > 0) {
            s.msg.Note(QStringLiteral("%1 records times %2 list entries is more than 32767 updates: the run counts "
                                      "only the records, so it is complete, and an unattended run ends, once the "
                                      "first list entry is written; the other entries' fields are not written.")
                           .arg(int(matches))
                           .arg(int(v.ListLineCount)));
        }
    }
    v.ProgressBar1.Max = v.RecordsLeft;
    v.ProgressBar1.Value = 0;
    v.RecordsDone = 0;
    v.Notify();

    // A failure the record update does not handle itself ends the run quietly.
    Skip([&] {
        if (v.Chk_RepFromLst.Value == 1)
            Check_ReplaceList();
        else
            Load_Data();
    });
}

// The counting pass: RecordsLeft := the number of records the update criteria
// matches, walking the table as the update will. A Find that cannot evaluate
// the criteria counts the record it stands on, so such a run counts every
// record and the update that follows reports the failure. A store that
// cannot move at all ends the pass with nothing counted.
void Engine::CountMatches()
{
    Skip([&] { store.Refresh(); });
    Skip([&] { store.MoveFirst(); });
    v.RecordsLeft = 0;
    std::optional<Search> search;
    Skip([&] { search.emplace(v.Combo1.Text, v.Text1.Text); });
    while (!store.IsEOF()) {
        if (search)
            Skip([&] { store.Find(*search); });
        if (store.IsEOF())
            break;
        try {
            store.MoveNext();
        } catch (const Failure &) {
            v.RecordsLeft = 0;
            return;
        }
        if (v.RecordsLeft < Int16::kMax)
            v.RecordsLeft += 1;
    }
}
