// The record update: which records change, how the run is counted down, and
// what reaches the run log.
#include "AutoRun.h"
#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

class LoadDataTest : public ::testing::Test
{
protected:
    LoadDataTest()
    {
        rig.Add("'A1', 'one', 1");
        rig.Add("'B1', 'two', 2");
        rig.Add("'A2', 'three', 3");
        rig.Add("'A3', 'four', 4");
    }
    EngineRig rig;
};

TEST_F(LoadDataTest, EmptySearchValueOnlyComplains)
{
    rig.Batch("REFERENCE", "", "TITLE", "x", 3);
    rig.engine.Load_Data();

    ASSERT_EQ(rig.msg.shown.size(), 1u);
    EXPECT_EQ(rig.msg.shown[0].text, "Search criteria not specified!");
    EXPECT_EQ(rig.msg.shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.progress.recordsLeft, 3);
    EXPECT_EQ(rig.progress.recordsDone, 0);
    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one", "two", "three", "four"}));
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST_F(LoadDataTest, ImportCountsOncePerCallHoweverManyRecordsMatch)
{
    rig.Import("REFERENCE", "A?", "QTY", "9", 5);
    rig.progress.recordsDone = 2;
    rig.progress.loadedShown = true;

    rig.engine.Load_Data();

    EXPECT_EQ(rig.Column("QTY"), QStringList({"9", "2", "9", "9"}));
    EXPECT_EQ(rig.progress.recordsLeft, 4);
    EXPECT_EQ(rig.progress.recordsDone, 3);
    EXPECT_EQ(rig.progress.progressValue, 3);
    EXPECT_EQ(rig.progress.recordsLoaded, 3);
    EXPECT_EQ(rig.progress.loadedCount, 3);
    EXPECT_FALSE(rig.progress.loadedShown);
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

TEST(LoadDataRefusal, RefusedRecordKeepsItsValueAndTheWalkStops)
{
    EngineRig rig(QStringLiteral("REFERENCE TEXT(20), CODE TEXT(5) UNIQUE"));
    rig.Add("'A1', 'c1'");
    rig.Add("'A2', 'c2'");
    rig.Add("'A3', 'c3'");
    rig.Batch("REFERENCE", "A*", "CODE", "same", 3);

    rig.engine.Load_Data();

    // The second record would duplicate the first one's new code.
    EXPECT_EQ(rig.Column("CODE"), QStringList({"same", "c2", "c3"}));
    EXPECT_EQ(rig.progress.recordsLeft, 1);
    EXPECT_EQ(rig.progress.recordsDone, 2);
    EXPECT_EQ(rig.progress.recordsLoaded, 1);  // two visited, one taken off for the failure
    EXPECT_EQ(rig.progress.errorCount, 1);
    EXPECT_FALSE(rig.progress.recordError);
    EXPECT_FALSE(rig.progress.loadedShown);
    EXPECT_FALSE(rig.progress.busy);
    EXPECT_EQ(rig.LogLines(),
              QStringList({"12-04-2026 3:07:09 PM Cancel update - Error in Record A* of field CODE"}));

    // The refused change was discarded: the next walk starts clean.
    rig.Batch("REFERENCE", "A3", "CODE", "c9", 1);
    rig.engine.Load_Data();
    EXPECT_EQ(rig.Column("CODE"), QStringList({"same", "c2", "c9"}));
}

TEST(LoadDataRefusal, BadCriteriaAndUnknownFieldsTakeTheErrorPath)
{
    struct Case
    {
        const char *searchField, *value, *replaceField;
    } cases[] = {
        {"NOSUCH", "A1", "TITLE"},  // Find cannot evaluate the criteria
        {"REFERENCE", "O'Neil", "TITLE"},  // a quote ends the pattern early
        {"REFERENCE", "A1", "NOSUCH"},  // binding fails at Refresh
    };
    for (const Case &c : cases) {
        EngineRig rig;
        rig.Add("'A1', 'one', 1");
        rig.Batch(c.searchField, c.value, c.replaceField, "x", 1);
        rig.engine.Load_Data();
        SCOPED_TRACE(c.value);
        EXPECT_EQ(rig.Column("TITLE"), QStringList({"one"}));
        EXPECT_EQ(rig.progress.errorCount, 1);
        EXPECT_EQ(rig.LogLines(), QStringList({QStringLiteral("12-04-2026 3:07:09 PM Cancel update - Error in Record %1 of field %2")
                                                   .arg(c.value, c.replaceField)}));
    }
}

TEST(LoadDataCounters, SixteenBitLimitFailsTheCallInImportAndIsLoggedInBatch)
{
    EngineRig rig;
    rig.Add("'A1', 'one', 1");

    rig.Import("REFERENCE", "A1", "TITLE", "x", 5);
    rig.progress.recordsDone = 32767;
    EXPECT_THROW(rig.engine.Load_Data(), OverflowFailure);
    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one"}));
    EXPECT_EQ(rig.LogBytes(), "<missing>");

    rig.Batch("REFERENCE", "A1", "TITLE", "x", 5);
    rig.progress.recordsDone = 32767;
    rig.engine.Load_Data();
    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one"}));
    EXPECT_EQ(rig.progress.errorCount, 1);
    EXPECT_EQ(rig.LogLines().size(), 1);
}

TEST(LoadDataAutoRun, OnlyTheNumberOneSwitchesTheAutomaticRunOn)
{
    for (const char *on : {"1", " 1", "01", "1.0", "1 ", "+1", "1e0"})
        EXPECT_TRUE(AutoRunIsOn(on)) << on;
    for (const char *off : {"", "0", "2", "yes", "1x", "0.5", "11", "-1"})
        EXPECT_FALSE(AutoRunIsOn(off)) << off;
}

} // namespace
