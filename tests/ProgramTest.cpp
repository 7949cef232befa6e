// The built program run unattended, as a scheduled run would start it: the
// exit status and what it prints for each way a start ends, with and without
// options. What a run does
// to the records and the log is the engine tests' matter.
#include "CardDb.h"
#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(ProgramTest, UnattendedStartsEndWithAStatusThatSaysHow)
{
    ProgramUnderTest program;
    CardDb(program.DatabasePath())
        .Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), STATUS TEXT(10));"
              "INSERT INTO CARD_DATA VALUES ('A1', 'in'), ('A2', 'in'), ('B1', 'in')");
    program.tmp.Write(program.ImportPath(), "A1,out\r\nA2,gone\r\n");
    const QString elsewhere = program.tmp.File("elsewhere/card.db");
    const QString other = program.tmp.Write("other.ini", "[Bulkrun]\nAuto_Run=1\nOption=Batch\nSearch_Field=REFERENCE\nSearch_Criteria=B*\n"
                                                         "Replace_Field=STATUS\nReplace_Value=other\n[KVRFennic]\nFile_register=1\n");
    const QStringList unchanged = {"in", "in", "in"};
    const struct
    {
        std::optional<QByteArray> settings;  // none: the settings file as the start before left it
        int status;
        QString said;
        QStringList statuses;
        QString options = {};
    } cases[] = {
        // The first start (status 3) finds no record of an earlier one: it
        // records itself and asks for a new start.
        {"", 3, "This is the first time you run KVR_Bulkrun on this computer.\nFiles were registered in windows registry.\n"
                "Please re-start KVR_Bulkrun.", unchanged},
        // Away from a terminal a run prints no progress, only its summary.
        {std::nullopt, 0, "Import ended: 2 records changed, 0 lines with no match, 0 refused updates, ", {"out", "gone", "in"}},
        {"Option=Batch\nSearch_Criteria=a*\nReplace_Value=O'Brien\nAuto_Run= 1\n", 0, "", {"O'Brien", "O'Brien", "in"}},
        {"Auto_Run=\n", 2, "Auto_Run=1", unchanged},
        {"Option=Sideways\n", 1, "No run started", unchanged},
        // An Arabic-Indic three is a digit, but not of an item number.
        {"Search_Col=\xd9\xa3\n", 1, QStringLiteral("Search For, Item No From File: \"\u0663\" is not an item number"), unchanged},
        // A missing card database is never created.
        {"Card_Database=" + elsewhere.toUtf8() + "\n", 1, elsewhere, unchanged},
        // The settings file above, with its missing database, gives way to FILE.
        {std::nullopt, 0, "Batch load ended: 1 record changed", {"in", "in", "other"}, "--settings '" + other + "'"},
        // --run starts the mode it names, whatever Auto_Run and Option say.
        {"Auto_Run=0\nOption=Batch\n", 0, "Import ended: 2 records changed", {"out", "gone", "in"}, "--run import"},
        // --preview prints what the run would do and writes nothing.
        {"Auto_Run=0\n", 0, "Line,Search value,Field,Value,Matches,Changes,Refused because\r\n1,A1,STATUS,out,1,1,", unchanged, "--preview"},
        {std::nullopt, 64, "KVR_Bulkrun: Unknown option 'bogus'.\nUsage: kvr_bulkrun [options]", unchanged, "--bogus"},
        {std::nullopt, 0, "KVR_Bulkrun 3.0.8\n", unchanged, "--version"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.settings.value_or("<as left>").toStdString());
        CardDb(program.DatabasePath()).Exec("UPDATE CARD_DATA SET STATUS = 'in'");
        if (c.settings)
            program.WriteSettings(*c.settings + "Replace_Field=STATUS\n", c.status != 3);
        program.options = c.options;
        const ProgramOutcome out = program.Run();
        EXPECT_EQ(out.status, c.status) << out.output.toStdString();
        EXPECT_TRUE(out.output.contains(c.said)) << out.output.toStdString();
        // A start stopped by its own checks never began a run, so no run ended early.
        EXPECT_FALSE(out.output.contains("completion entry") || out.output.contains("\rKVR")) << out.output.toStdString();
        EXPECT_EQ(CardDb(program.DatabasePath()).Column("STATUS"), c.statuses);
    }
    EXPECT_FALSE(QFile::exists(elsewhere));
    EXPECT_TRUE(QFile::exists(program.ListPath()));  // start-up creates the missing list
}

} // namespace
