// The Import command end to end: line ends, items, the list's file values,
// the counts and what stops a run before it starts.
#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

const QString kDone = QStringLiteral("12-04-2026 3:07:09 PM Card data import complete.");

class ImportRunTest : public ::testing::Test
{
protected:
    ImportRunTest()
    {
        for (const char *values : {"'A1', 'one', 1", "'A2', 'two', 2", "'B1', 'three', 3", "'b1', 'four', 4"})
            rig.Add(values);
        rig.tmp.Write("list.lst", "");
        rig.run.mode = RunMode::Import;
        rig.run.mode = RunMode::Import;
        rig.run.searchField = "REFERENCE";
        rig.run.replaceField = "TITLE";
    }
    void Import(const QByteArray &file, bool list = false)
    {
        rig.run.importFile = rig.tmp.Write("import.csv", file);
        rig.run.useList = list;
        rig.engine.Command3_Click();
    }
    QStringList Titles() { return rig.Column("TITLE"); }
    EngineRig rig;
};

TEST_F(ImportRunTest, EachLineUpdatesItsMatchesAndTheLastOneEndsTheRun)
{
    Import("A1,X\r\nb?,\"Y,Z\"\r\n");

    EXPECT_EQ(Titles(), QStringList({"X", "two", "\"Y", "\"Y"}));
    EXPECT_EQ(rig.progress.progressMax, 2);
    EXPECT_EQ(rig.progress.recordsLeft, 0);
    EXPECT_EQ(rig.progress.recordsDone, 2);
    EXPECT_EQ(rig.run.searchValue, "b?");
    EXPECT_FALSE(rig.progress.busy);
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(ImportRunTest, LoneLfIsPartOfTheLine)
{
    Import("A1,X\nA2,Y\n");  // one line: search item "A1", replace item "X\nA2"
    EXPECT_EQ(Titles(), QStringList({"X\nA2", "two", "three", "four"}));
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(ImportRunTest, LinesWithoutASearchValueAreNeitherCountedNorRun)
{
    Import(",X\r\n\rA1,Y\r   ");  // the blank line searches for "   ", which matches nothing
    EXPECT_EQ(rig.progress.progressMax, 2);
    EXPECT_EQ(Titles(), QStringList({"Y", "two", "three", "four"}));
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(ImportRunTest, ItemNumbersPickTheItemsAndBeyondTheLineGiveEmptyText)
{
    rig.run.searchItem = " 2";
    rig.run.replaceItem = "5";
    Import("x,y,A2\r\n");
    EXPECT_EQ(Titles(), QStringList({"one", "", "three", "four"}));
}

TEST_F(ImportRunTest, ListAppliesEveryEntryWithFileValuesFromTheLine)
{
    // Item numbers are numbers, rounded to whole ones: " 2 " and "1.5" are item 2.
    rig.tmp.Write("list.lst", "File Value__,TITLE, 2 \r\nFixed Value_,QTY,9\r\nFile Value__,QTY,-1\r\nFile Value__,TITLE,1.5\r\n");
    Import("A1,x,first\r\nA2,x,second\r\n", true);

    EXPECT_EQ(rig.progress.progressMax, 8);
    EXPECT_EQ(Titles(), QStringList({"first", "second", "three", "four"}));
    EXPECT_EQ(rig.Column("QTY"), QStringList({"<NULL>", "<NULL>", "3", "4"}));  // a negative item number gives ""
    EXPECT_EQ(rig.LogLines(), QStringList({kDone}));
}

TEST_F(ImportRunTest, BadFileValueItemNumberStopsTheRunKeepingEarlierUpdates)
{
    rig.tmp.Write("list.lst", "Fixed Value_,QTY,9\r\nFile Value__,TITLE,abc\r\n");
    Import("A1,x\r\nA2,y\r\n", true);

    EXPECT_EQ(rig.Column("QTY"), QStringList({"9", "2", "3", "4"}));
    EXPECT_EQ(Titles(), QStringList({"one", "two", "three", "four"}));
    ASSERT_EQ(rig.msg.shown.size(), 1u);
    EXPECT_EQ(rig.msg.shown[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(rig.msg.shown[0].text.contains("File Value__,TITLE,abc")) << rig.msg.shown[0].text.toStdString();
    EXPECT_FALSE(rig.progress.busy);
}

TEST_F(ImportRunTest, MissingImportFileIsReportedAndNothingRuns)
{
    for (const QString &path : {rig.tmp.File("nope.csv"), rig.tmp.Path(), QString()}) {
        rig.msg.shown.clear();
        rig.run.importFile = path;
        rig.engine.Command3_Click();
        ASSERT_EQ(rig.msg.shown.size(), 1u);
        EXPECT_EQ(rig.msg.shown[0].text, "Cannot find import file " + path + "\r Make sure file exist or Import new file.");
        EXPECT_EQ(rig.msg.shown[0].icon, MsgIcon::Information);
    }
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(ImportRunTest, ItemNumberBoxesMustHoldWholeNumbersOfZeroOrMore)
{
    for (const char *bad : {"", "-1", "1e3", "x", "1.5"}) {
        rig.msg.shown.clear();
        rig.run.replaceItem = bad;
        Import("A1,X\r\n");
        ASSERT_EQ(rig.msg.shown.size(), 1u) << bad;
        EXPECT_EQ(rig.msg.shown[0].icon, MsgIcon::Critical);
        EXPECT_TRUE(rig.msg.shown[0].text.contains("Replace With")) << rig.msg.shown[0].text.toStdString();
        EXPECT_TRUE(rig.msg.shown[0].text.contains(QStringLiteral("\"%1\"").arg(bad)));
    }
    EXPECT_EQ(Titles(), QStringList({"one", "two", "three", "four"}));
}

TEST_F(ImportRunTest, RunsBeyondSixteenBitsAreRefusedBeforeAnyUpdate)
{
    QByteArray big;
    for (int i = 0; i < 32768; ++i)
        big += "A1,X\r\n";
    Import(big);
    ASSERT_EQ(rig.msg.shown.size(), 1u);
    EXPECT_TRUE(rig.msg.shown[0].text.contains("32767"));

    rig.msg.shown.clear();
    rig.tmp.Write("list.lst", "Fixed Value_,QTY,1\r\nFixed Value_,QTY,2\r\n");
    Import(big.left(6 * 16384), true);  // 16384 lines x 2 entries
    ASSERT_EQ(rig.msg.shown.size(), 1u);

    // A list beyond 16 bits refuses the import whether it is used or not.
    rig.tmp.Write("list.lst", QByteArray("Fixed Value_,QTY,1\r\n").repeated(32768));
    for (const bool list : {true, false}) {
        rig.msg.shown.clear();
        Import("A1,X\r\n", list);
        ASSERT_EQ(rig.msg.shown.size(), 1u);
        EXPECT_TRUE(rig.msg.shown[0].text.contains("32767"));
    }
    EXPECT_EQ(rig.Column("QTY"), QStringList({"1", "2", "3", "4"}));
    EXPECT_EQ(Titles(), QStringList({"one", "two", "three", "four"}));
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(ImportRunTest, FailingLastUpdateLogsTheErrorThenTheEnd)
{
    rig.run.replaceField = "QTY";
    Import("A1,5\r\nA2,five\r\n");
    EXPECT_EQ(rig.Column("QTY"), QStringList({"5", "2", "3", "4"}));
    EXPECT_EQ(rig.LogLines(), QStringList({kDone, "12-04-2026 3:07:09 PM Cancel update - Error in Record A2 of field QTY"}));
}

} // namespace
