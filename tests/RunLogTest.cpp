// The run log: exact entries, newest first, the log file kept byte for byte,
// and the event's effect on the run when the file cannot be reached.
#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

void Fail(EngineRig &rig, const QString &value, const QString &field)
{
    rig.run.searchValue = value;
    rig.run.replaceField = field;
    rig.progress.recordError = true;
    rig.engine.Log_event();
}

TEST(RunLogTest, EntriesStandNewestFirstWithTheirClockTimes)
{
    EngineRig rig;
    rig.progress.recordsLeft = 2;
    rig.engine.Log_event();  // neither a failure nor the end: adds nothing
    rig.clock.time = QTime(0, 5, 3);
    Fail(rig, "A1001", "REFERENCE");
    rig.clock.date = QDate(2027, 1, 9);
    rig.clock.time = QTime(12, 0, 0);
    Fail(rig, "", "");
    rig.clock.time = QTime(23, 59, 59);
    rig.run.mode = RunMode::Import;
    rig.progress.recordsLeft = 0;
    rig.engine.Log_event();

    EXPECT_EQ(rig.LogBytes(),
              "01-09-2027 11:59:59 PM Card data import complete.\r\n"
              "01-09-2027 12:00:00 PM Cancel update - Error in Record  of field \r\n"
              "12-04-2026 12:05:03 AM Cancel update - Error in Record A1001 of field REFERENCE\r\n");
    EXPECT_EQ(rig.progress.errorCount, 2);
    EXPECT_EQ(rig.progress.recordsLoaded, -2);

    rig.progress.errorCount = 32767;  // the count stops there
    Fail(rig, "A", "F");
    EXPECT_EQ(rig.progress.errorCount, 32767);
}

TEST(RunLogTest, ExistingLogKeepsItsBytesItsEncodingAndItsLetterCase)
{
    // In a folder spelt in capitals, the new entry goes on top, after the
    // mark if any, with '?' for what the log's encoding cannot hold.
    const QByteArray cp1252("01-02-2026 1:00:00 AM M\xfcller\x81\r\n");  // with a byte the code page leaves undefined
    const QByteArray entry("12-04-2026 3:07:09 PM Cancel update - Error in Record \xCE\xA9mega of field N\r\n");
    const std::pair<QByteArray, QByteArray> rows[] = {  // the log before and after
        {cp1252, QByteArray(entry).replace("\xCE\xA9", "?") + cp1252},
        {"\xEF\xBB\xBF" "old\r\n", "\xEF\xBB\xBF" + entry + "old\r\n"},
    };
    for (const auto &[before, after] : rows) {
        EngineRig rig;
        rig.tmp.Write("LOG/batch_log.LST", before);
        Fail(rig, QStringLiteral(u"\u03A9mega"), "N");
        EXPECT_EQ(rig.tmp.Read("LOG/batch_log.LST"), after);
        EXPECT_FALSE(QFile::exists(rig.LogPath()));
    }
}

TEST(RunLogTest, EachEventIsOneWholeFileWriteUntilSomeoneElseChangesTheFile)
{
    EngineRig rig;
    rig.progress.recordsLeft = 1;
    for (int i = 0; i < 5; ++i)
        Fail(rig, "A", "F");
    EXPECT_EQ(rig.fs.Calls(FaultyFileSystem::Op::WriteWhole), 5);
    EXPECT_EQ(rig.fs.Calls(FaultyFileSystem::Op::ReadWhole), 1);

    rig.tmp.Write("log/Batch_Log.lst", "emptied by the viewer\r\n");
    Fail(rig, "B", "G");
    EXPECT_EQ(rig.fs.Calls(FaultyFileSystem::Op::ReadWhole), 2);
    EXPECT_EQ(rig.LogLines(), QStringList({"12-04-2026 3:07:09 PM Cancel update - Error in Record B of field G",
                                           "emptied by the viewer"}));
}

TEST(RunLogTest, UnreachableLogStillCountsTheErrorAndTellsOncePerRun)
{
    for (auto op : {FaultyFileSystem::Op::CreateFolder, FaultyFileSystem::Op::ReadWhole, FaultyFileSystem::Op::WriteWhole}) {
        EngineRig rig;
        rig.tmp.Write("log/Batch_Log.lst", "old entry\r\n");
        if (op == FaultyFileSystem::Op::CreateFolder)
            QDir(rig.tmp.File("log")).removeRecursively();
        rig.fs.FailOn(op);
        rig.progress.recordsLeft = 1;
        for (int i = 0; i < 3; ++i)
            Fail(rig, "A", "F");
        rig.progress.recordsLeft = 0;
        rig.engine.Log_event();

        EXPECT_EQ(rig.progress.errorCount, 3);
        EXPECT_FALSE(rig.progress.recordError);
        ASSERT_EQ(rig.msg.shown.size(), 1u);
        EXPECT_TRUE(rig.msg.shown[0].text.contains("simulated")) << rig.msg.shown[0].text.toStdString();
        EXPECT_EQ(rig.LogBytes(), op == FaultyFileSystem::Op::CreateFolder ? QByteArray("<missing>") : QByteArray("old entry\r\n"));
    }
}

} // namespace
