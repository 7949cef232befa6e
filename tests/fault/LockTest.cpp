// The built program, run unattended, against a card database that it cannot
// write: locked by another process when the run starts or while it writes,
// or read-only. Every update it cannot make must fail through the record
// update's error path into the run log, the waits must be bounded by the
// busy timeout (5 seconds), and nothing else may change.
#include "CardDb.h"
#include "ProgramLog.h"
#include "ProgramUnderTest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr double kBusyTimeout = 5.0;
// Far beyond any wait the program may make here: reaching it means a hang.
constexpr auto kLimit = 60s;

class LockTest : public ::testing::Test
{
protected:
    LockTest()
    {
        CardDb db(program.DatabasePath());
        db.Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), STATUS TEXT(10), QTY SHORT)");
        db.Exec("INSERT INTO CARD_DATA VALUES ('A1', 'in', 1), ('A2', 'in', 2), ('A3', 'in', 3), ('B1', 'in', 4)");
        program.Write(program.LogPath(), ProgramLog::OldEntry(ProgramLog::BatchComplete()));
        program.Write(program.ListPath(), {});
    }

    static void SetUpTestSuite() { suite_.start(); }
    static void TearDownTestSuite()
    {
        std::printf("LockTest: %s; %.1f s\n", figures_.join(QStringLiteral("; ")).toUtf8().constData(), suite_.elapsed() / 1000.0);
    }

    void Batch(const QByteArray &criteria)
    {
        program.WriteSettings("Option=Batch\nData_List=No\nSearch_Field=REFERENCE\nSearch_Criteria=" + criteria
                              + "\nReplace_Field=STATUS\nReplace_Value=out\n");
    }
    void Import(const QByteArray &replaceField, const QByteArray &lines)
    {
        program.Write(program.ImportPath(), lines);
        program.WriteSettings("Option=Import\nData_List=No\nSearch_Field=REFERENCE\nReplace_Field=" + replaceField
                              + "\nSearch_Col=0\nReplace_Col=1\nImport_File=" + program.ImportPath().toUtf8() + "\n");
    }

    QStringList Rows()
    {
        CardDb db(program.DatabasePath());
        const QStringList references = db.Column("REFERENCE"), statuses = db.Column("STATUS"), quantities = db.Column("QTY");
        QStringList rows;
        for (qsizetype i = 0; i < references.size(); ++i)
            rows << references[i] + ' ' + statuses[i] + ' ' + quantities[i];
        return rows;
    }

    // The entries the runs added to the log, oldest first.
    QStringList Logged()
    {
        const std::optional<QStringList> messages = ProgramLog::Messages(program.Read(program.LogPath()));
        if (!messages || messages->value(0) != ProgramLog::BatchComplete())
            return {QStringLiteral("<not the old log and whole entries>")};
        return messages->mid(1);
    }

    ProgramUnderTest program;
    const QStringList unchanged{"A1 in 1", "A2 in 2", "A3 in 3", "B1 in 4"};
    static inline QElapsedTimer suite_;
    static inline QStringList figures_;
};

// A write transaction of another process is open before the program starts:
// its reads go on, its first write waits out the busy timeout and fails.
TEST_F(LockTest, LockHeldWhenTheRunStartsFailsTheUpdateAfterTheBusyTimeout)
{
    Batch("A1");
    const QByteArray database = program.Read(program.DatabasePath());
    const ProgramOutcome unlocked = program.Run(kLimit);
    ASSERT_EQ(unlocked.status, 0) << unlocked.output.toStdString();
    program.Write(program.DatabasePath(), database);
    program.Write(program.LogPath(), ProgramLog::OldEntry(ProgramLog::BatchComplete()));

    CardDb holder(program.DatabasePath());
    holder.Exec("BEGIN IMMEDIATE");
    holder.Exec("UPDATE CARD_DATA SET STATUS = 'held' WHERE REFERENCE = 'B1'");
    const ProgramOutcome locked = program.Run(kLimit);
    holder.Exec("ROLLBACK");

    EXPECT_EQ(locked.status, 0) << locked.output.toStdString();
    EXPECT_GE(locked.seconds, 1 + kBusyTimeout);  // the start-up timer, then the wait
    EXPECT_LT(locked.seconds, unlocked.seconds + kBusyTimeout + 10);
    EXPECT_EQ(Logged(), QStringList({ProgramLog::FailedUpdate("A1", "STATUS"), ProgramLog::BatchComplete()}));
    EXPECT_EQ(Rows(), unchanged);
    figures_ << QStringLiteral("locked at the start: waited %1 s (run %2 s, unlocked %3 s)")
                    .arg(locked.seconds - unlocked.seconds, 0, 'f', 1).arg(locked.seconds, 0, 'f', 1).arg(unlocked.seconds, 0, 'f', 1);
}

// The moment: the run log is a FIFO, so the program stops at its first log
// event, which a refused value causes after the first record was written and
// made durable; it holds no lock while it waits there. The test then takes
// the lock and lets the program go on to its next write.
TEST_F(LockTest, LockTakenWhileTheRunWritesFailsTheNextUpdateAfterTheBusyTimeout)
{
    Import("QTY", "A1,5\r\nA2,many\r\nA3,7\r\n");
    const QByteArray log = QFile::encodeName(program.LogPath());
    QFile::remove(program.LogPath());
    ASSERT_EQ(::mkfifo(log.constData(), 0666), 0);
    program.Start();

    // Opening a FIFO for writing returns once a reader has opened it.
    std::future<int> writer = std::async(std::launch::async, [&] { return ::open(log.constData(), O_WRONLY | O_CLOEXEC); });
    if (writer.wait_for(kLimit) != std::future_status::ready) {
        const int release = ::open(log.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ::close(writer.get());
        ::close(release);
        FAIL() << "the program never read its log: " << program.Wait(0ms).output.toStdString();
    }
    const int fifo = writer.get();
    ASSERT_GE(fifo, 0);

    CardDb holder(program.DatabasePath());
    QElapsedTimer lockTaken;
    lockTaken.start();
    holder.Exec("BEGIN IMMEDIATE");
    EXPECT_LT(lockTaken.elapsed(), 1000) << "the program held its lock while it logged";
    EXPECT_EQ(holder.Value(1, "QTY"), "5") << "the first record was not written before the lock";
    const QByteArray before = ProgramLog::OldEntry(ProgramLog::BatchComplete());
    EXPECT_EQ(::write(fifo, before.constData(), std::size_t(before.size())), before.size());
    ::close(fifo);
    QElapsedTimer released;
    released.start();
    const ProgramOutcome out = program.Wait(kLimit);
    const double waited = released.elapsed() / 1000.0;
    holder.Exec("ROLLBACK");

    EXPECT_EQ(out.status, 0) << out.output.toStdString();
    EXPECT_GE(waited, kBusyTimeout);
    EXPECT_LT(waited, kBusyTimeout + 10);
    EXPECT_EQ(Logged(), QStringList({ProgramLog::FailedUpdate("A2", "QTY"), ProgramLog::FailedUpdate("A3", "QTY"),
                                     ProgramLog::ImportComplete()}));
    EXPECT_EQ(Rows(), QStringList({"A1 in 5", "A2 in 2", "A3 in 3", "B1 in 4"}));
    figures_ << QStringLiteral("locked while writing: waited %1 s after 1 record written").arg(waited, 0, 'f', 1);
}

// A reader's open transaction lets a writer that has not excluded readers
// change pages but not commit them, so a group of updates can be lost at its
// commit, well after those updates were counted as made. Whatever the program
// does about it, an update that does not reach the database must be in the
// log as failed.
TEST_F(LockTest, ReaderHoldingTheDatabaseLeavesNoUpdateLostUnlogged)
{
    Import("QTY", "A1,11\r\nA2,12\r\n");
    CardDb reader(program.DatabasePath());
    reader.Exec("BEGIN");
    ASSERT_EQ(reader.Column("QTY"), QStringList({"1", "2", "3", "4"}));  // takes the shared lock
    const ProgramOutcome out = program.Run(kLimit);
    reader.Exec("COMMIT");

    EXPECT_EQ(out.status, 0) << out.output.toStdString();
    const QStringList rows = Rows();
    QStringList lost;
    for (const auto &[reference, row] : {std::pair{"A1", "A1 in 11"}, std::pair{"A2", "A2 in 12"}}) {
        if (!rows.contains(QLatin1String(row)))
            lost << ProgramLog::FailedUpdate(QLatin1String(reference), QStringLiteral("QTY"));
    }
    EXPECT_EQ(Logged(), lost + QStringList{ProgramLog::ImportComplete()}) << rows.join(", ").toStdString();
    EXPECT_LT(out.seconds, 1 + 2 * kBusyTimeout + 10);
    figures_ << QStringLiteral("reader holding the database: %1 of 2 updates not made, %2 failures logged, %3 s")
                    .arg(lost.size()).arg(Logged().size() - 1).arg(out.seconds, 0, 'f', 1);
}

// An exclusive lock keeps even readers out: the program cannot open the
// database, says so and ends without touching the log.
TEST_F(LockTest, ExclusiveLockAtStartEndsTheProgramAfterTheBusyTimeout)
{
    Batch("A1");
    CardDb holder(program.DatabasePath());
    holder.Exec("BEGIN EXCLUSIVE");
    const ProgramOutcome out = program.Run(kLimit);
    holder.Exec("ROLLBACK");

    EXPECT_EQ(out.status, 1);
    EXPECT_TRUE(out.output.contains("The card database cannot be opened.") && out.output.contains("locked"))
        << out.output.toStdString();
    EXPECT_GE(out.seconds, kBusyTimeout);
    EXPECT_LT(out.seconds, kBusyTimeout + 10);
    EXPECT_EQ(Logged(), QStringList());
    EXPECT_EQ(Rows(), unchanged);
    figures_ << QStringLiteral("exclusive lock at start: status 1 after %1 s").arg(out.seconds, 0, 'f', 1);
}

// Run as a user who may not write the file, or may not create the journal
// beside it: SQLite opens the file read-only or fails the first change.
TEST_F(LockTest, ReadOnlyDatabaseRefusesAndLogsEveryUpdate)
{
    struct Case
    {
        const char *name;
        QString path;
        mode_t mode;
    } cases[] = {
        {"read-only file", program.DatabasePath(), 0444},
        {"read-only folder", QFileInfo(program.DatabasePath()).absolutePath(), 0555},
    };
    Import("STATUS", "A1,out\r\nA2,out\r\nA3,out\r\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        program.Write(program.LogPath(), ProgramLog::OldEntry(ProgramLog::BatchComplete()));
        program.OpenToEveryone();
        const QByteArray database = program.Read(program.DatabasePath());
        ASSERT_EQ(::chmod(QFile::encodeName(c.path).constData(), c.mode), 0);
        const ProgramOutcome out = program.Run(kLimit, ProgramUnderTest::As::Unprivileged);
        ::chmod(QFile::encodeName(c.path).constData(), QFileInfo(c.path).isDir() ? 0777 : 0666);

        EXPECT_EQ(out.status, 0) << out.output.toStdString();
        const QStringList logged = Logged();
        EXPECT_EQ(logged, QStringList({ProgramLog::FailedUpdate("A1", "STATUS"), ProgramLog::FailedUpdate("A2", "STATUS"),
                                       ProgramLog::FailedUpdate("A3", "STATUS"), ProgramLog::ImportComplete()}));
        EXPECT_EQ(program.Read(program.DatabasePath()), database);
        EXPECT_FALSE(QFile::exists(program.JournalPath()));
        figures_ << QStringLiteral("%1: %2 of 3 updates refused and logged, status %3")
                        .arg(QLatin1String(c.name)).arg(logged.size() - 1).arg(out.status);
    }
}

} // namespace
