// A preview walks the run that follows without writing anything and finds
// what that run then does, update by update: the records it matches and
// writes, and why it fails; also where earlier lines rewrote the search field.
#include "EngineRig.h"
#include "PreviewCsv.h"
#include "RunSummary.h"

#include <gtest/gtest.h>

namespace {

// "search: field=value matches/changes refusal"; a failed update's matches
// are the preview's own count, which the run never makes.
QString Shown(const QString &search, const QString &field, const QString &value, qint64 matches, qint64 changes, const QString &refusal)
{
    return QStringLiteral("%1: %2=%3 %4/%5 %6").arg(search, field, value, refusal.isEmpty() ? QString::number(matches) : "-").arg(changes).arg(refusal);
}

QStringList Previewed(const PreviewReport &preview)
{
    QStringList rows;
    for (const PreviewRow &row : preview.rows)
        rows << Shown(row.searchValue, row.field, row.value, row.matches, row.changes, row.refusal);
    return rows;
}

struct Updates final : ProgressReport
{
    void Changed(const RunProgress &) override {}
    void UpdateEnded(const UpdateOutcome &u) override { seen << Shown(u.searchValue, u.field, u.value, u.found, u.written, u.failure); }
    QStringList seen;
};

// Previews rig's run, which writes neither a record nor the log, then runs
// it: the preview's updates are the run's.
PreviewReport PreviewThenRun(EngineRig &rig, void (Engine::*command)())
{
    const auto before = std::pair(rig.Column("REFERENCE"), rig.LogBytes());
    const PreviewReport preview = PreviewRun(rig.run, rig.store, rig.services);
    EXPECT_EQ(std::pair(rig.Column("REFERENCE"), rig.LogBytes()), before);
    Updates run;
    (Engine(rig.run, rig.progress, rig.store, rig.services, &run).*command)();
    EXPECT_EQ(Previewed(preview), run.seen);
    return preview;
}

// Over each kind of card database; a server's is skipped when the tests have none.
class PreviewTest : public ::testing::TestWithParam<Backend>
{
};

TEST_P(PreviewTest, PreviewFindsWhatTheRunThenDoesAndWritesNothing)
{
    if (!FreshDatabase::Available(GetParam()))
        GTEST_SKIP() << "KVR_TEST_PG names no test server";
    EngineRig rig(QStringLiteral("REFERENCE VARCHAR(20), QTY INTEGER"), GetParam());
    for (const char *values : {"'A1', 1", "'B1', 2", "'A2', 3", "NULL, 4"})
        rig.Add(values);
    rig.tmp.Write("list.lst", "File Value__,QTY,2\r\nFile Value__,REFERENCE,1\r\n");
    rig.Import("REFERENCE", "", "", "", 0);
    rig.run.useList = true;
    // Line 2 matches the record line 1 renamed and is refused for QTY; line 4
    // finds line 2's writes; line 5 what line 1 renamed away.
    rig.run.importFile = rig.tmp.Write("import.csv", "A1,B1,5\r\nB1,C1,x\r\n,Z,1\r\nc1,D1,7\r\nA1,E1,1\r\nA?,A9,8\r\n");

    const PreviewReport preview = PreviewThenRun(rig, &Engine::Command3_Click);
    EXPECT_EQ(PreviewTotals(preview), QStringList({"Lines: 6", "Lines skipped (no search value): 1", "Lines matching no record: 1",
                                                   "Lines matching several records: 2", "Refused updates: 1",
                                                   "Records that would change: 10", "More than 32767 updates: no"}));
    EXPECT_EQ(PreviewCsv(preview).split("\r\n")[3].toLower(), "2,b1,qty,x,2,0,\"field qty refuses \"\"x\"\": not a whole number\""); // a server folds QTY
    EXPECT_EQ(RunSummary(RunMode::Import, rig.progress),
              "Import ended: 10 records changed, 1 line with no match, 1 refused update, 0.0 s, logged complete.");

    // A batch run whose first list entry renames its matches: the second
    // entry finds none of them.
    rig.tmp.Write("list.lst", "Fixed Value_,REFERENCE,Z1\r\nFixed Value_,QTY,9\r\n");
    rig.Batch("REFERENCE", "d*", "", "", 0);
    EXPECT_EQ(Previewed(PreviewThenRun(rig, &Engine::cmdexeNow_Click)), QStringList({"d*: REFERENCE=Z1 2/2 ", "d*: QTY=9 0/0 "}));
}

INSTANTIATE_TEST_SUITE_P(, PreviewTest, ::testing::Values(Backend::Sqlite, Backend::Pg),
                         [](const auto &info) { return std::string(FreshDatabase::Name(info.param)); });

} // namespace
