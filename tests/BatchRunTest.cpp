// The Execute command end to end: counting, the replacement list, the log.
#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

const QString kDone = QStringLiteral("12-04-2026 3:07:09 PM Card data batch load complete.");

class BatchRunTest : public ::testing::Test
{
protected:
    BatchRunTest()
    {
        for (const char *values : {"'A1', 'one', 1", "'B1', 'two', 2", "'A2', 'three', 3", "'a3', 'four', 4", "NULL, 'five', 5"})
            rig.Add(values);
        rig.tmp.Write("list.lst", "Fixed Value_,TITLE,listed\r\nFixed Value_,QTY,7\r\nFile Value__,TITLE,2\r\n");
    }
    void Execute(const QString &value, bool list)
    {
        rig.run.mode = RunMode::Batch;
        rig.run.searchField = "REFERENCE";
        rig.run.searchValue = value;
        rig.run.replaceField = "TITLE";
        rig.run.replaceValue = "new";
        rig.run.useList = list;
        rig.engine.cmdexeNow_Click();
    }
    EngineRig rig;
};

TEST_F(BatchRunTest, EmptySearchValueResetsTheErrorsAndComplainsOnly)
{
    rig.progress.errorCount = 4;
    rig.progress.recordsLeft = 7;
    rig.progress.progressMax = 9;
    Execute("", false);

    EXPECT_EQ(rig.progress.errorCount, 0);
    ASSERT_EQ(rig.msg.shown.size(), 1u);
    EXPECT_EQ(rig.msg.shown[0].text, "Search data empty, Please enter data to search for.");
    EXPECT_EQ(rig.progress.recordsLeft, 7);
    EXPECT_EQ(rig.progress.progressMax, 9);
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(BatchRunTest, SinglePairUpdatesEveryMatchAndCountsTheListAnyway)
{
    QList<int> shown;  // what the window would repaint as the run goes
    rig.report.seen = [&](const RunProgress &p) { shown << p.progressValue; };
    Execute("a*", false);

    EXPECT_EQ(rig.Column("TITLE"), QStringList({"new", "two", "new", "new", "five"}));
    EXPECT_EQ(rig.progress.listLineCount, 3);
    EXPECT_EQ(rig.progress.progressMax, 3);
    EXPECT_EQ(rig.progress.recordsDone, 3);
    EXPECT_EQ(rig.progress.recordsLeft, 0);
    EXPECT_EQ(rig.progress.loadedCount, 3);
    EXPECT_TRUE(rig.progress.loadedShown);
    EXPECT_EQ(rig.progress.progressValue, 0);  // emptied by the completion entry
    EXPECT_TRUE(shown.contains(1) && shown.contains(2) && shown.contains(3));
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(BatchRunTest, NoMatchIsAnEmptyRunThatStillEnds)
{
    Execute("Z*", false);
    EXPECT_EQ(rig.progress.progressMax, 0);
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(BatchRunTest, ListAppliesFixedEntriesAndSkipsFileEntriesWhichStillCount)
{
    Execute("A?", true);

    EXPECT_EQ(rig.Column("TITLE"), QStringList({"listed", "two", "listed", "listed", "five"}));
    EXPECT_EQ(rig.Column("QTY"), QStringList({"7", "2", "7", "7", "5"}));
    EXPECT_EQ(rig.progress.progressMax, 9);
    EXPECT_EQ(rig.progress.recordsLeft, 3);  // the skipped entry's updates never come
    EXPECT_EQ(rig.run.replaceField, "QTY");
    EXPECT_EQ(rig.run.replaceValue, "7");
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(BatchRunTest, ListEntriesApplyInFileOrderWhateverTheirMarker)
{
    rig.tmp.Write("list.lst", "file value__,QTY,3\r\nFixed Value_,TITLE,first\r\nFixed Value_,TITLE,second");
    Execute("B1", true);

    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one", "second", "three", "four", "five"}));
    EXPECT_EQ(rig.Column("QTY"), QStringList({"1", "3", "3", "4", "5"}));
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(BatchRunTest, EmptyListWithTheListOnUpdatesNothing)
{
    rig.tmp.Write("list.lst", "");
    Execute("A*", true);
    EXPECT_EQ(rig.progress.progressMax, 0);
    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one", "two", "three", "four", "five"}));
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(BatchRunTest, MissingListCountsNothing)
{
    QFile::remove(rig.tmp.File("list.lst"));
    Execute("A1", false);
    EXPECT_EQ(rig.progress.listLineCount, 0);
    EXPECT_EQ(rig.Column("TITLE").first(), "new");
}

TEST_F(BatchRunTest, QuoteInTheSearchValueCountsEveryRecordAndLogsTheFailure)
{
    Execute("O'Neil", false);
    EXPECT_EQ(rig.progress.progressMax, 5);
    EXPECT_EQ(rig.progress.recordsLeft, 5);
    EXPECT_EQ(rig.progress.errorCount, 1);
    EXPECT_EQ(rig.LogLines(), QStringList({"12-04-2026 3:07:09 PM Cancel update - Error in Record O'Neil of field TITLE"}));
}

TEST_F(BatchRunTest, ProductBeyondSixteenBitsKeepsTheMatchCount)
{
    QByteArray list;  // entries a batch run passes over, but counts
    for (int i = 0; i < 20000; ++i)
        list += "File Value__,QTY,1\r\n";
    rig.tmp.Write("list.lst", list);
    Execute("A*", true);  // 3 matches x 20000 entries
    EXPECT_EQ(rig.progress.listLineCount, 20000);
    EXPECT_EQ(rig.progress.progressMax, 3);
    ASSERT_EQ(rig.msg.notes.size(), 1u);  // an unattended run says what that means
    EXPECT_TRUE(rig.msg.notes[0].contains("3 records times 20000 list entries"));
}

} // namespace
