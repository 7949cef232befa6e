// The built program run unattended, as a scheduled run would start it: exit
// statuses, what it prints, the log and the card database afterwards.
#include "CardDb.h"
#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

namespace {

class ProgramTest : public ::testing::Test
{
protected:
    ProgramTest()
    {
        CardDb(program.DatabasePath())
            .Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), STATUS TEXT(10), QTY SHORT);"
                  "INSERT INTO CARD_DATA VALUES ('A1', 'in', 1), ('A2', 'in', 2), ('B1', 'in', 3)");
        program.tmp.Write(program.ImportPath(), "A1,out\r\nA2,gone\r\n");
    }

    // The first of two lines with one key wins, so the case's own lines go first.
    void Settings(const QByteArray &bulkrun, bool registered = true)
    {
        program.WriteSettings(bulkrun + "Search_Field=REFERENCE\nReplace_Field=STATUS\nSearch_Col=0\nReplace_Col=1\nImport_File="
                                  + program.ImportPath().toUtf8() + "\n",
                              registered);
    }
    QStringList Statuses() { return CardDb(program.DatabasePath()).Column("STATUS"); }
    QStringList Log() { return program.LogMessages(); }

    ProgramUnderTest program;
};

TEST_F(ProgramTest, AutomaticRunsEndWithStatusZero)
{
    const struct
    {
        QByteArray settings;
        QStringList statuses;
        QString done;
    } cases[] = {
        {"Option=Import\nAuto_Run=1\n", {"out", "gone", "in"}, kImportDone},
        // A quote in a value is data.
        {"Option=Batch\nSearch_Criteria=a*\nReplace_Value=O'Brien\nAuto_Run= 1\n", {"O'Brien", "O'Brien", "in"}, kBatchDone},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.settings.toStdString());
        CardDb(program.DatabasePath()).Exec("UPDATE CARD_DATA SET STATUS = 'in'");
        Settings(c.settings);
        const ProgramOutcome out = program.Run();
        EXPECT_EQ(out.status, 0) << out.output.toStdString();
        EXPECT_EQ(Statuses(), c.statuses);
        EXPECT_EQ(Log().last(), c.done);
    }
    EXPECT_TRUE(QFile::exists(program.ListPath()));  // start-up creates the missing list
}

TEST_F(ProgramTest, UnattendedStartsThatCannotCompleteSayWhy)
{
    const QString elsewhere = program.tmp.File("elsewhere/card.db"), text = program.tmp.Write("text.db", "not a database");
    const struct
    {
        QByteArray settings;
        int status;
        QString said;
    } cases[] = {
        {"Option=Import\nAuto_Run=\n", 2, "Auto_Run=1"},
        {"Option=Import\nAuto_Run=yes\n", 2, "Auto_Run=1"},
        {"Option=Sideways\nAuto_Run=1\n", 1, "No run started"},
        {"Option=Batch\nSearch_Criteria=\nAuto_Run=1\n", 1, "Search data empty"},
        // An Arabic-Indic three is a digit, but not of an item number.
        {"Option=Import\nSearch_Col=\xd9\xa3\nAuto_Run=1\n", 1, QStringLiteral("Search For, Item No From File: \"\u0663\" is not an item number")},
        {"Option=Import\nAuto_Run=1\nImport_File=" + program.tmp.File("gone.csv").toUtf8() + "\n", 1,
         "Cannot find import file " + program.tmp.File("gone.csv") + "\n Make sure file exist or Import new file."},
        // A missing card database is never created.
        {"Option=Import\nAuto_Run=1\nCard_Database=" + elsewhere.toUtf8() + "\n", 1, elsewhere},
        {"Option=Import\nAuto_Run=1\nCard_Database=" + text.toUtf8() + "\n", 1, text},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.settings.toStdString());
        Settings(c.settings);
        const ProgramOutcome out = program.Run();
        EXPECT_EQ(out.status, c.status);
        EXPECT_TRUE(out.output.contains(c.said)) << out.output.toStdString();
        // A run stopped by its own checks never began, so it did not end early.
        EXPECT_FALSE(out.output.contains("completion entry")) << out.output.toStdString();
        EXPECT_EQ(Statuses(), QStringList({"in", "in", "in"}));
    }
    EXPECT_FALSE(QFile::exists(elsewhere));
}

TEST_F(ProgramTest, FirstStartRecordsItselfAndAsksForANewStart)
{
    Settings("Option=Import\nAuto_Run=1\n", false);
    const ProgramOutcome out = program.Run();
    EXPECT_EQ(out.status, 3);
    EXPECT_TRUE(out.output.contains("This is the first time you run KVR_Bulkrun on this computer.\n"
                                    "Files were registered in windows registry.\nPlease re-start KVR_Bulkrun."))
        << out.output.toStdString();
    EXPECT_TRUE(program.tmp.Read(program.SettingsPath()).contains("File_register=1"));
    EXPECT_EQ(Statuses(), QStringList({"in", "in", "in"}));  // no run on the first start

    EXPECT_EQ(program.Run().status, 0);  // the second start runs
    EXPECT_EQ(Statuses(), QStringList({"out", "gone", "in"}));
}

} // namespace
