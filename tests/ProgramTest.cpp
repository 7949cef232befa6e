// The built program run unattended, as a scheduled run would start it: exit
// statuses, what it prints, the log and the card database afterwards.
#include "CardDb.h"
#include "TempFolder.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int status = -1;
    QString err;
};

class ProgramTest : public ::testing::Test
{
protected:
    ProgramTest()
    {
        // The program keeps its list and log beside itself: run a copy.
        QDir().mkpath(tmp.File("bin"));
        QFile::copy(QStringLiteral(KVR_EXE), Exe());
        QDir().mkpath(tmp.File("home/tavrin/database"));
        CardDb db(tmp.File("home/tavrin/database/card.db"));
        db.Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), STATUS TEXT(10), QTY SHORT)");
        db.Exec("INSERT INTO CARD_DATA VALUES ('A1', 'in', 1), ('A2', 'in', 2), ('B1', 'in', 3)");
        tmp.Write("import.csv", "A1,out\r\nA2,gone\r\n");
    }

    QString Exe() const { return tmp.File("bin/kvr_bulkrun"); }

    void Settings(const QByteArray &bulkrun, bool registered = true)
    {
        // The first of two lines with one key wins, so the case's own lines go first.
        QByteArray ini = "[Bulkrun]\n" + bulkrun + "Search_Field=REFERENCE\nReplace_Field=STATUS\nSearch_Col=0\n"
                         "Replace_Col=1\nImport_File=" + tmp.File("import.csv").toUtf8() + "\n";
        if (registered)
            ini += "\n[KVRFennic]\nFile_register=1\n";
        tmp.Write("config/Tavrin.ini", ini);
    }

    Outcome Run()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", tmp.File("home"));
        env.insert("XDG_CONFIG_HOME", tmp.File("config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // Ending at the completion entry leaves the process without tearing Qt
        // down; the leak checker of a sanitizer build must not count that.
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        process.setProcessEnvironment(env);
        process.start(Exe(), {});
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QStringList Statuses()
    {
        CardDb db(tmp.File("home/tavrin/database/card.db"));
        return db.Column("STATUS");
    }

    QString Log() const { return QString::fromUtf8(tmp.Read("bin/log/Batch_Log.lst")); }

    TempFolder tmp;
};

TEST_F(ProgramTest, AutomaticImportRunsAndEndsWithStatusZero)
{
    Settings("Option=Import\nAuto_Run=1\n");
    const Outcome out = Run();
    EXPECT_EQ(out.status, 0) << out.err.toStdString();
    EXPECT_EQ(Statuses(), QStringList({"out", "gone", "in"}));
    EXPECT_TRUE(Log().endsWith(" Card data import complete.\r\n")) << Log().toStdString();
    EXPECT_TRUE(QFile::exists(tmp.File("bin/list.lst")));  // start-up creates the missing list
}

TEST_F(ProgramTest, AutomaticBatchRunsAndEndsWithStatusZero)
{
    Settings("Option=Batch\nSearch_Criteria=a*\nReplace_Value=checked\nAuto_Run= 1\n");
    const Outcome out = Run();
    EXPECT_EQ(out.status, 0) << out.err.toStdString();
    EXPECT_EQ(Statuses(), QStringList({"checked", "checked", "in"}));
    EXPECT_TRUE(Log().endsWith(" Card data batch load complete.\r\n"));
}

TEST_F(ProgramTest, UnattendedStartsThatCannotCompleteSayWhy)
{
    struct Case
    {
        QByteArray settings;
        int status;
        const char *said;
    } cases[] = {
        {"Option=Import\n", 2, "Auto_Run=1"},
        {"Option=Import\nAuto_Run=yes\n", 2, "Auto_Run=1"},
        {"Option=Sideways\nAuto_Run=1\n", 1, "No run started"},
        {"Option=Batch\nSearch_Criteria=\nAuto_Run=1\n", 1, "Search data empty"},
        {"Option=Import\nSearch_Col=x\nAuto_Run=1\n", 1, "not an item number"},
    };
    for (const Case &c : cases) {
        Settings(c.settings);
        const Outcome out = Run();
        EXPECT_EQ(out.status, c.status) << c.settings.toStdString() << out.err.toStdString();
        EXPECT_TRUE(out.err.contains(c.said)) << out.err.toStdString();
        EXPECT_EQ(c.status == 1, out.err.contains("No run started")) << out.err.toStdString();
        EXPECT_FALSE(out.err.contains("completion entry")) << out.err.toStdString();
        EXPECT_EQ(Statuses(), QStringList({"in", "in", "in"}));
    }
}

TEST_F(ProgramTest, MissingImportFileIsReportedAtActivationAndTheRunDoesNotComplete)
{
    QFile::remove(tmp.File("import.csv"));
    Settings("Option=Import\nAuto_Run=1\n");
    const Outcome out = Run();
    EXPECT_EQ(out.status, 1);
    EXPECT_TRUE(out.err.contains("Cannot find import file " + tmp.File("import.csv") + "\n Make sure file exist or Import new file."))
        << out.err.toStdString();
}

TEST_F(ProgramTest, FirstStartRecordsItselfAndAsksForANewStart)
{
    Settings("Option=Import\nAuto_Run=1\n", false);
    const Outcome out = Run();
    EXPECT_EQ(out.status, 3);
    EXPECT_TRUE(out.err.contains("This is the first time you run KVR_Bulkrun on this computer.\n"
                                 "Files were registered in windows registry.\nPlease re-start KVR_Bulkrun."))
        << out.err.toStdString();
    EXPECT_TRUE(tmp.Read("config/Tavrin.ini").contains("File_register=1"));
    EXPECT_EQ(Statuses(), QStringList({"in", "in", "in"}));  // no run on the first start

    EXPECT_EQ(Run().status, 0);  // the second start runs
    EXPECT_EQ(Statuses(), QStringList({"out", "gone", "in"}));
}

TEST_F(ProgramTest, MissingOrForeignDatabaseEndsWithStatusOneAndIsNeverCreated)
{
    Settings("Option=Import\nAuto_Run=1\nCard_Database=" + tmp.File("elsewhere/card.db").toUtf8() + "\n");
    Outcome out = Run();
    EXPECT_EQ(out.status, 1);
    EXPECT_TRUE(out.err.contains(tmp.File("elsewhere/card.db"))) << out.err.toStdString();
    EXPECT_FALSE(QFile::exists(tmp.File("elsewhere/card.db")));

    tmp.Write("text.db", "this is not a database");
    Settings("Option=Import\nAuto_Run=1\nCard_Database=" + tmp.File("text.db").toUtf8() + "\n");
    out = Run();
    EXPECT_EQ(out.status, 1);
    EXPECT_TRUE(out.err.contains(tmp.File("text.db"))) << out.err.toStdString();
}

} // namespace
