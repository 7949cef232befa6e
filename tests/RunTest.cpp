// The batch and import runs end to end over a real card database: which
// records change, how the run is counted, what stops a run before it starts,
// and what reaches the run log.
#include "AutoRun.h"
#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

const QString kBatchDone = QStringLiteral("12-04-2026 3:07:09 PM Card data batch load complete.");
const QString kImportDone = QStringLiteral("12-04-2026 3:07:09 PM Card data import complete.");
const QStringList kNoLog = {"<missing>"};

QString Failed(const QString &value, const QString &field)
{
    return QStringLiteral("12-04-2026 3:07:09 PM Cancel update - Error in Record %1 of field %2").arg(value, field);
}

// One run and what it leaves: TITLE and QTY of the five records, the log,
// the count it started with and the updates still expected at its end.
struct Row
{
    const char *name;
    RunMode mode;
    QString value;  // batch: the search value; import: the import file
    const char *list;  // the list file, nullptr for none; the list is used when not empty
    QStringList titles, quantities, log;
    int max, left;
    const char *said = "";  // the one message shown, if any
};

// Each run over each kind of card database; a server's runs are skipped
// when the tests have none.
void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }

class RunTest : public ::testing::TestWithParam<std::tuple<Row, Backend>>
{
protected:
    static Backend Store() { return FreshDatabase::Available(std::get<1>(GetParam())) ? std::get<1>(GetParam()) : Backend::Sqlite; }
    void SetUp() override
    {
        if (!FreshDatabase::Available(std::get<1>(GetParam())))
            GTEST_SKIP() << "KVR_TEST_PG names no test server";
    }
    RunTest()
    {
        for (const char *values : {"'A1', 'one', 1", "'B1', 'two', 2", "'A2', 'three', 3", "'a3', 'four', 4", "NULL, 'five', 5"})
            rig.Add(values);
    }
    void Run(const Row &row)
    {
        if (row.list)
            rig.tmp.Write("list.lst", row.list);
        rig.run.mode = row.mode;
        rig.run.searchField = "REFERENCE";
        rig.run.replaceField = "TITLE";
        rig.run.replaceValue = "new";
        rig.run.useList = row.list && *row.list;
        rig.progress.errorCount = 4;
        if (row.mode == RunMode::Batch) {
            rig.run.searchValue = row.value;
            rig.engine.cmdexeNow_Click();
        } else {
            rig.run.importFile = rig.tmp.Write("import.csv", row.value.toUtf8());
            rig.engine.Command3_Click();
        }
    }
    EngineRig rig{QStringLiteral("REFERENCE VARCHAR(20), TITLE VARCHAR(50), QTY INTEGER CHECK (QTY <> 3 OR TITLE <> 'refused')"), Store()};
};

const QStringList kTitles = {"one", "two", "three", "four", "five"};
const QStringList kQty = {"1", "2", "3", "4", "5"};
const char *const kList = "Fixed Value_,TITLE,listed\r\nFixed Value_,QTY,7\r\nFile Value__,TITLE,2\r\n";

const Row kRows[] = {
    {"batch_pattern_ignores_case_and_NULL", RunMode::Batch, "a*", "", {"new", "two", "new", "new", "five"}, kQty, {kBatchDone}, 3, 0},
    {"batch_no_match_still_ends", RunMode::Batch, "Z*", "", kTitles, kQty, {kBatchDone}, 0, 0},
    {"batch_empty_search_value", RunMode::Batch, "", "", kTitles, kQty, kNoLog, 0, 0, "Search data empty, Please enter data to search for."},
    {"batch_quote_counts_every_record_and_fails", RunMode::Batch, "O'Neil", "", kTitles, kQty, {Failed("O'Neil", "TITLE")}, 5, 5},
    // File entries mean nothing in a batch: passed over, but counted.
    {"batch_list", RunMode::Batch, "A?", kList, {"listed", "two", "listed", "listed", "five"}, {"7", "2", "7", "7", "5"}, kNoLog, 9, 3},
    // Walks after one that wrote the search field, in one group: line 2 finds Z9 by what line 1 wrote.
    {"batch_list_writes_search_field", RunMode::Batch, "A?", "Fixed Value_,REFERENCE,Z\r\nFixed Value_,QTY,7\r\n", kTitles, kQty, kNoLog, 6, 3},
    {"import_list_writes_search_field", RunMode::Import, "A1,Z9,8\r\nZ9,Y,9\r\n", "File Value__,QTY,2\r\nFile Value__,REFERENCE,1\r\n", kTitles, {"9", "2", "3", "4", "5"}, {kImportDone}, 4, 0},
    {"batch_stops_at_the_refused_third_match", RunMode::Batch, "*", "Fixed Value_,TITLE,refused\r\n", {"refused", "refused", "three", "four", "five"}, kQty,
     {Failed("*", "TITLE")}, 4, 1},
    {"batch_list_in_file_order_marker_exact", RunMode::Batch, "B1", "file value__,QTY,3\r\nFixed Value_,TITLE,first\r\nFixed Value_,TITLE,second",
     {"one", "second", "three", "four", "five"}, {"1", "3", "3", "4", "5"}, {kBatchDone}, 3, 0},
    {"import_lines_items_and_quotes", RunMode::Import, "A1,X\r\nb?,\"Y,Z\"\r\n", "", {"X", "\"Y", "three", "four", "five"}, kQty, {kImportDone}, 2, 0},
    {"import_lone_LF_is_text", RunMode::Import, "A1,X\nA2,Y\n", "", {"X\nA2", "two", "three", "four", "five"}, kQty, {kImportDone}, 1, 0},
    // Lines without a search value are neither counted nor run; a blank one
    // searches for blanks.
    {"import_empty_search_items", RunMode::Import, ",X\r\n\rA1,Y\r   ", "", {"Y", "two", "three", "four", "five"}, kQty, {kImportDone}, 2, 0},
    // Item numbers are numbers rounded to whole ones; a negative one gives "".
    {"import_list_file_values", RunMode::Import, "A1,x,first\r\nA2,x,second\r\n",
     "File Value__,TITLE, 2 \r\nFixed Value_,QTY,9\r\nFile Value__,QTY,-1\r\nFile Value__,TITLE,1.5\r\n",
     {"first", "two", "second", "four", "five"}, {"<NULL>", "2", "<NULL>", "4", "5"}, {kImportDone}, 8, 0},
    {"import_bad_list_item_number_stops", RunMode::Import, "A1,x\r\nA2,y\r\n", "Fixed Value_,QTY,9\r\nFile Value__,TITLE,abc\r\n",
     kTitles, {"9", "2", "3", "4", "5"}, kNoLog, 4, 3, "File Value__,TITLE,abc"},
    {"import_failing_last_update_logs_then_ends", RunMode::Import, "A1,5\r\nA2,x\r\n", "Fixed Value_,QTY,7\r\nFile Value__,QTY,1\r\n",
     kTitles, {"5", "2", "7", "4", "5"}, {kImportDone, Failed("A2", "QTY")}, 4, 0},
    {"import_refused_middle_line", RunMode::Import, "A1,x\r\nA2,refused\r\na3,y\r\n", "", {"x", "two", "three", "y", "five"}, kQty, {kImportDone, Failed("A2", "TITLE")}, 3, 0},
    {"import_record_of_two_lines_keeps_the_last", RunMode::Import, "A1,x\r\nB1,w\r\nA1,z\r\nA2,v\r\n", "", {"z", "w", "v", "four", "five"}, kQty, {kImportDone}, 4, 0},
    {"import_too_many_lines", RunMode::Import, QString("A1,X\r\n").repeated(32768), "", kTitles, kQty, kNoLog, 0, 0, "32767"},
    {"import_too_many_lines_times_entries", RunMode::Import, QString("A1,X\r\n").repeated(16384), "Fixed Value_,QTY,1\r\nFixed Value_,QTY,2\r\n",
     kTitles, kQty, kNoLog, 0, 16384, "32767"},
    {"batch_missing_list_counts_nothing", RunMode::Batch, "A1", nullptr, {"new", "two", "three", "four", "five"}, kQty, {kBatchDone}, 1, 0},
};

TEST_P(RunTest, Runs)
{
    const Row &row = std::get<0>(GetParam());
    Run(row);
    EXPECT_EQ(rig.Column("TITLE"), row.titles);
    EXPECT_EQ(rig.Column("QTY"), row.quantities);
    EXPECT_EQ(rig.LogBytes() == "<missing>" ? kNoLog : rig.LogLines(), row.log);
    EXPECT_EQ(rig.progress.progressMax, row.max);
    EXPECT_EQ(rig.progress.recordsLeft, row.left);
    EXPECT_EQ(int(rig.progress.errorCount), int(row.log.filter("Cancel update").size()));
    EXPECT_FALSE(rig.progress.busy);
    ASSERT_EQ(rig.msg.shown.size(), *row.said ? 1u : 0u);
    if (*row.said) {
        EXPECT_TRUE(rig.msg.shown[0].text.contains(row.said)) << rig.msg.shown[0].text.toStdString();
    }
    rig.engine.UndoLastRun(rig.dbPath, [](const QString &) { return true; });
    EXPECT_EQ(rig.Column("TITLE"), kTitles);
    EXPECT_EQ(rig.Column("QTY"), kQty);
}

INSTANTIATE_TEST_SUITE_P(, RunTest, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Values(Backend::Sqlite, Backend::Pg)),
                         [](const auto &info) { return std::get<0>(info.param).name + std::string("_") + FreshDatabase::Name(std::get<1>(info.param)); });

TEST(RunProgressTest, BatchShowsEachStepAndCountsTheListAnyway)
{
    EngineRig rig;
    for (const char *values : {"'A1', 'one', 1", "'A2', 'two', 2", "'B1', 'three', 3"})
        rig.Add(values);
    rig.tmp.Write("list.lst", "a\r\nb\r\n");
    QList<int> shown;
    rig.report.seen = [&](const RunProgress &p) { shown << p.progressValue; };
    rig.Batch("REFERENCE", "A*", "TITLE", "new", 0);
    rig.engine.cmdexeNow_Click();
    // The list's lines, the updates, the loaded count shown, the bar emptied by the completion entry.
    EXPECT_EQ(std::tuple(int(rig.progress.listLineCount), int(rig.progress.recordsDone), rig.progress.loadedCount, rig.progress.loadedShown,
                         rig.progress.progressValue), std::tuple(2, 2, 2LL, true, 0));
    EXPECT_TRUE(shown.contains(1) && shown.contains(2));

    // A product beyond 16 bits keeps the match count, and says what it means.
    rig.tmp.Write("list.lst", QByteArray("File Value__,QTY,1\r\n").repeated(20000));
    rig.run.useList = true;
    rig.engine.cmdexeNow_Click();
    EXPECT_EQ(rig.progress.progressMax, 2);
    ASSERT_EQ(rig.msg.notes.size(), 1u);
    EXPECT_TRUE(rig.msg.notes[0].contains("2 records times 20000 list entries"));

    // A list beyond 16 bits refuses an import whether it is used or not.
    rig.tmp.Write("list.lst", QByteArray("Fixed Value_,QTY,1\r\n").repeated(32768));
    rig.run.importFile = rig.tmp.Write("import.csv", "A1,X\r\n");
    for (const bool list : {true, false}) {
        rig.msg.shown.clear();
        rig.run.useList = list;
        rig.engine.Command3_Click();
        ASSERT_EQ(rig.msg.shown.size(), 1u);
        EXPECT_TRUE(rig.msg.shown[0].text.contains("32767"));
    }
    EXPECT_EQ(rig.Column("QTY"), QStringList({"1", "2", "3"}));
}

TEST(ImportChecksTest, MissingFilesAndBadItemNumbersStopBeforeAnything)
{
    EngineRig rig;
    rig.Add("'A1', 'one', 1");
    rig.run.mode = RunMode::Import;
    for (const QString &path : {rig.tmp.File("nope.csv"), rig.tmp.Path(), QString()}) {
        rig.msg.shown.clear();
        rig.run.importFile = path;
        rig.engine.Command3_Click();
        ASSERT_EQ(rig.msg.shown.size(), 1u);
        EXPECT_EQ(rig.msg.shown[0].text, "Cannot find import file " + path + "\r Make sure file exist or Import new file.");
        EXPECT_EQ(rig.msg.shown[0].icon, MsgIcon::Information);
    }
    rig.run.importFile = rig.tmp.Write("import.csv", "A1,X\r\n");
    rig.run.searchItem = " 2";  // blanks around a number are allowed
    for (const char *bad : {"", "-1", "1e3", "x", "1.5"}) {
        rig.msg.shown.clear();
        rig.run.replaceItem = bad;
        rig.engine.Command3_Click();
        ASSERT_EQ(rig.msg.shown.size(), 1u) << bad;
        EXPECT_TRUE(rig.msg.shown[0].text.startsWith(QStringLiteral("Replace With, Item No From File: \"%1\"").arg(bad)));
        EXPECT_FALSE(rig.progress.begun);
    }
    EXPECT_EQ(rig.Column("TITLE"), QStringList({"one"}));
    EXPECT_EQ(rig.LogBytes(), "<missing>");
}

// The record update called on its own, as the runs call it.
TEST(LoadDataTest, CountsRefusalsAndTheSixteenBitLimit)
{
    EngineRig rig(QStringLiteral("REFERENCE VARCHAR(20), CODE VARCHAR(5) UNIQUE"));
    for (const char *values : {"'A1', 'c1'", "'A2', 'c2'", "'A3', 'c3'"})
        rig.Add(values);

    rig.Batch("REFERENCE", "", "CODE", "x", 3);
    rig.engine.Load_Data();
    EXPECT_EQ(rig.msg.shown.at(0).text, "Search criteria not specified!");
    EXPECT_EQ(rig.progress.recordsLeft, 3);

    // Import mode counts once per call however many records match.
    rig.Import("REFERENCE", "A?", "CODE", "c", 5);
    rig.progress.recordsDone = 2;
    rig.engine.Load_Data();  // the second record would duplicate the first one's new code
    EXPECT_EQ(rig.Column("CODE"), QStringList({"c", "c2", "c3"}));
    EXPECT_EQ(rig.progress.recordsLeft, 4);
    EXPECT_EQ(rig.progress.progressValue, 3);
    EXPECT_EQ(rig.progress.recordsLoaded, 1);  // two visited, one taken off for the failure
    EXPECT_EQ(rig.progress.errorCount, 1);
    EXPECT_FALSE(rig.progress.loadedShown || rig.progress.recordError || rig.progress.busy);
    EXPECT_EQ(rig.LogLines(), QStringList({Failed("A?", "CODE")}));

    // The refused change was discarded: the next walk starts clean.
    rig.Batch("REFERENCE", "A3", "CODE", "c9", 1);
    rig.engine.Load_Data();
    EXPECT_EQ(rig.Column("CODE"), QStringList({"c", "c2", "c9"}));

    rig.Import("REFERENCE", "A1", "CODE", "x", 5);
    rig.progress.recordsDone = 32767;
    EXPECT_THROW(rig.engine.Load_Data(), OverflowFailure);  // an import counts before the error path
    rig.Batch("REFERENCE", "A1", "CODE", "x", 5);
    rig.progress.recordsDone = 32767;
    rig.engine.Load_Data();
    EXPECT_EQ(rig.LogLines().first(), Failed("A1", "CODE"));
    EXPECT_EQ(rig.Column("CODE"), QStringList({"c", "c2", "c9"}));
}

TEST(AutoRunTest, OnlyTheNumberOneSwitchesTheAutomaticRunOn)
{
    for (const char *on : {"1", " 1", "01", "1.0", "1 ", "+1", "1e0"})
        EXPECT_TRUE(AutoRunIsOn(on)) << on;
    for (const char *off : {"", "0", "2", "yes", "1x", "0.5", "11", "-1"})
        EXPECT_FALSE(AutoRunIsOn(off)) << off;
}

} // namespace
