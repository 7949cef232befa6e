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
        rig.v.Option_Batch.Value = true;
        rig.v.Combo1.Text = "REFERENCE";
        rig.v.Text1.Text = value;
        rig.v.Combo2.Text = "TITLE";
        rig.v.Text2.Text = "new";
        rig.v.Chk_RepFromLst.Value = list ? 1 : 0;
        rig.engine.cmdexeNow_Click();
    }
    EngineRig rig;
};

TEST_F(BatchRunTest, EmptySearchValueResetsTheErrorsAndComplainsOnly)
{
    rig.v.ErrorCount = 4;
    rig.v.lberrcount.Caption = "Errors 4";
    rig.v.RecordsLeft = 7;
    rig.v.ProgressBar1.Max = 9;
    Execute("", false);

    EXPECT_EQ(rig.v.lberrcount.Caption, "Errors 0");
    EXPECT_EQ(rig.v.ErrorCount, 0);
    ASSERT_EQ(rig.msg.shown.size(), 1u);
    EXPECT_EQ(rig.msg.shown[0].text, "Search data empty, Please enter data to search for.");
    EXPECT_EQ(rig.v.RecordsLeft, 7);
    EXPECT_EQ(rig.v.ProgressBar1.Max, 9);
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(BatchRunTest, SinglePairUpdatesEveryMatchAndCountsTheListAnyway)
{
    QList<int> shown;  // what the window would repaint as the run goes
    rig.v.Changed = [&] { shown << rig.v.ProgressBar1.Value; };
    Execute("a*", false);

    EXPECT_EQ(rig.Column("TITLE"), QStringList({"new", "two", "new", "new", "five"}));
    EXPECT_EQ(rig.v.ListLineCount, 3);
    EXPECT_EQ(rig.v.ProgressBar1.Max, 3);
    EXPECT_EQ(rig.v.RecordsDone, 3);
    EXPECT_EQ(rig.v.RecordsLeft, 0);
    EXPECT_EQ(rig.v.LBCounter.Caption, "3");
    EXPECT_TRUE(rig.v.LBCounter.Visible && rig.v.LBtext.Visible);
    EXPECT_EQ(rig.v.ProgressBar1.Value, 0);  // emptied by the completion entry
    EXPECT_TRUE(shown.contains(1) && shown.contains(2) && shown.contains(3));
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(BatchRunTest, NoMatchIsAnEmptyRunThatStillEnds)
{
    Execute("Z*", false);
    EXPECT_EQ(rig.v.ProgressBar1.Max, 0);
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(BatchRunTest, ListAppliesFixedEntriesAndSkipsFileEntriesWhichStillCount)
{
    Execute("A?", true);

    EXPECT_EQ(rig.Column("TITLE"), QStringList({"listed", "two", "listed", "listed", "five"}));
    EXPECT_EQ(rig.Column("QTY"), QStringList({"7", "2", "7", "7", "5"}));
    EXPECT_EQ(rig.v.ProgressBar1.Max, 9);
    EXPECT_EQ(rig.v.RecordsLeft, 3);  // the skipped entry's updates never come
    EXPECT_EQ(rig.v.Combo2.Text, "QTY");
    EXPECT_EQ(rig.v.Text2.Text, "7");
    EXPECT_TRUE(rig.v.List1.isEmpty());
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
    EXPECT_EQ(rig.v.ProgressBar1.Max, 0);
    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one", "two", "three", "four", "five"}));
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(BatchRunTest, MissingListCountsNothing)
{
    QFile::remove(rig.tmp.File("list.lst"));
    Execute("A1", false);
    EXPECT_EQ(rig.v.ListLineCount, 0);
    EXPECT_EQ(rig.Column("TITLE").first(), "new");
}

TEST_F(BatchRunTest, QuoteInTheSearchValueCountsEveryRecordAndLogsTheFailure)
{
    Execute("O'Neil", false);
    EXPECT_EQ(rig.v.ProgressBar1.Max, 5);
    EXPECT_EQ(rig.v.RecordsLeft, 5);
    EXPECT_EQ(rig.v.ErrorCount, 1);
    EXPECT_EQ(rig.v.lberrcount.Caption, "Errors 1");
    EXPECT_EQ(rig.LogLines(), QStringList({"12-04-2026 3:07:09 PM Cancel update - Error in Record O'Neil of field TITLE"}));
}

TEST_F(BatchRunTest, ProductBeyondSixteenBitsKeepsTheMatchCount)
{
    QByteArray list;  // entries a batch run passes over, but counts
    for (int i = 0; i < 20000; ++i)
        list += "File Value__,QTY,1\r\n";
    rig.tmp.Write("list.lst", list);
    Execute("A*", true);  // 3 matches x 20000 entries
    EXPECT_EQ(rig.v.ListLineCount, 20000);
    EXPECT_EQ(rig.v.ProgressBar1.Max, 3);
    ASSERT_EQ(rig.msg.notes.size(), 1u);  // an unattended run says what that means
    EXPECT_TRUE(rig.msg.notes[0].contains("3 records times 20000 list entries"));
}

TEST_F(BatchRunTest, ListSwitchSwapsTheReplacePairForTheListView)
{
    rig.v.Chk_RepFromLst.Value = 1;
    rig.v.ProgressBar1.Value = 5;
    rig.engine.Chk_RepFromLst_Click();
    EXPECT_EQ(rig.v.ProgressBar1.Value, 0);
    EXPECT_FALSE(rig.v.Label3.Visible || rig.v.Label4.Visible || rig.v.Combo2.Visible || rig.v.Text2.Visible
                 || rig.v.txtReplace_col.Visible);
    EXPECT_TRUE(rig.v.txtshowlist.Visible);
    EXPECT_EQ(rig.v.txtshowlist.Text, "Fixed Value_,TITLE,listed\r\nFixed Value_,QTY,7\r\nFile Value__,TITLE,2\r\n");

    for (bool import : {false, true}) {
        rig.v.Text2.Visible = rig.v.txtReplace_col.Visible = false;
        rig.v.Option_Import.Value = import;
        rig.v.Chk_RepFromLst.Value = 0;
        rig.engine.Chk_RepFromLst_Click();
        EXPECT_TRUE(rig.v.Label3.Visible && rig.v.Label4.Visible && rig.v.Combo2.Visible);
        EXPECT_EQ(rig.v.Text2.Visible, !import);
        EXPECT_EQ(rig.v.txtReplace_col.Visible, import);
        EXPECT_FALSE(rig.v.txtshowlist.Visible);
    }

    QFile::remove(rig.tmp.File("list.lst"));
    rig.v.Chk_RepFromLst.Value = 1;
    rig.engine.Chk_RepFromLst_Click();
    EXPECT_TRUE(rig.v.txtshowlist.Visible);
    EXPECT_EQ(rig.v.txtshowlist.Text, "");
}

} // namespace
