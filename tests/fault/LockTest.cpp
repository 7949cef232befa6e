// The built program, run unattended, against a card database that it cannot
// write: locked by another process when the run starts or while it writes,
// or read-only. Every update it cannot make fails through the record
// update's error path into the run log after the busy timeout (5 seconds) at
// most, and nothing else changes.
#include "CardDb.h"
#include "ProgramUnderTest.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An import run that writes QTY of A1, A2 and B1, started as a user other
// than the owner of its folder.
TEST(LockTest, UnwritableDatabaseFailsTheUpdateIntoTheLog)
{
    ProgramUnderTest program;
    CardDb(program.DatabasePath()).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), QTY SHORT); INSERT INTO CARD_DATA VALUES ('A1', 1), ('A2', 2), ('B1', 3)");
    program.WriteSettings("Replace_Field=QTY\n");
    const QStringList failed = {FailedUpdate("A1", "QTY"), kImportDone}, unchanged = {"1", "2", "3"};
    const struct
    {
        const char *name;
        QByteArray import;
        const char *holder;  // the transaction another connection holds open
        bool atLog;          // from the run's first log event on, else from its start
        int readOnly;        // 1: the file, 2: its folder
        int status;
        QStringList logged, quantities;
    } cases[] = {
        // The program reads on, and its first write waits out the timeout.
        {"write lock held from the start", "A1,5\r\n", "BEGIN IMMEDIATE; UPDATE CARD_DATA SET QTY = 0 WHERE REFERENCE = 'B1'", false, 0, 0, failed, unchanged},
        // Not even readers get in: the program cannot open the database.
        {"exclusive lock from the start", "A1,5\r\n", "BEGIN EXCLUSIVE", false, 0, 1, {}, unchanged},
        {"read-only file", "A1,5\r\n", "BEGIN", false, 1, 0, failed, unchanged},
        {"read-only folder", "A1,5\r\n", "BEGIN", false, 2, 0, failed, unchanged},
        // The log is a FIFO, so the program stops at its first log event,
        // which the refused value on the third line causes (past the second,
        // where the import indexes the search field and commits). The records
        // written before it must be durable, and the program must hold no lock
        // while it waits there (else taking the lock throws). The next update
        // waits out the timeout from the moment the test lets the program go on.
        {"lock taken while the run writes", "A1,5\r\nA2,6\r\nB1,many\r\nA1,7\r\n", "PRAGMA busy_timeout = 0; BEGIN IMMEDIATE", true, 0, 0,
         {FailedUpdate("B1", "QTY"), FailedUpdate("A1", "QTY"), kImportDone}, {"5", "6", "3"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        program.tmp.Write(program.ImportPath(), c.import);
        const QByteArray log = QFile::encodeName(program.LogPath()), before = OldEntry(kBatchDone);
        QFile::remove(program.LogPath());
        if (c.atLog)
            ASSERT_EQ(::mkfifo(log.constData(), 0666), 0);
        else
            program.tmp.Write(program.LogPath(), before);
        const QByteArray path = QFile::encodeName(c.readOnly == 1 ? program.DatabasePath() : QFileInfo(program.DatabasePath()).absolutePath());
        ASSERT_EQ(::chmod(path.constData(), c.readOnly == 1 ? 0444 : c.readOnly == 2 ? 0555 : 0777), 0);
        CardDb holder(program.DatabasePath());
        if (!c.atLog)
            holder.Exec(c.holder);
        program.Start(true);
        if (c.atLog) {
            int fifo;  // opening a FIFO for writing without blocking succeeds once a reader has it open
            while ((fifo = ::open(log.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && !program.Ended())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_GE(fifo, 0) << "the program never read its log: " << program.Kill().output.toStdString();
            holder.Exec(c.holder);
            EXPECT_EQ(holder.Column("QTY"), QStringList({"5", "6", "3"})) << "written records were not durable before the log entry";
            EXPECT_EQ(::write(fifo, before.constData(), std::size_t(before.size())), before.size());
            ::close(fifo);
        }
        QElapsedTimer released;
        released.start();
        const ProgramOutcome out = program.Wait();
        holder.Exec("ROLLBACK");
        ::chmod(path.constData(), 0777);

        EXPECT_EQ(out.status, c.status) << out.output.toStdString();
        EXPECT_EQ(out.status == 1, out.output.contains("The card database cannot be opened.") && out.output.contains("locked"))
            << out.output.toStdString();
        EXPECT_EQ(program.LogMessages(), QStringList{kBatchDone} + c.logged);
        EXPECT_EQ(CardDb(program.DatabasePath()).Column("QTY"), c.quantities);
        EXPECT_TRUE(!c.atLog || released.elapsed() >= 5000) << released.elapsed() << " ms";
    }
}

// The same over a server (KVR_TEST_PG): another session holds A2's row lock
// while an import writes A1 (committed when B1's value is refused), then A2.
// The lock is waited out; or, once the program waits, the server ends its
// connection; or the server refuses the connection. (KillTest kills runs on
// the server.)
TEST(LockTest, ServerLocksAndLostConnections)
{
    if (!FreshDatabase::Available(Backend::Pg))
        GTEST_SKIP() << "KVR_TEST_PG names no test server";
    const QStringList written = {"A1=5", "A2=2", "B1=3"};
    const struct
    {
        const char *name, *during;  // once the program waits for the lock: SQL of another session
        int status;
        QStringList logged, fields;
        const char *said;
    } cases[] = {
        {"lock waited out", "", 0, {FailedUpdate("B1", "QTY"), FailedUpdate("A2", "QTY"), kImportDone}, written, ""},
        {"connection ended", "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE wait_event_type = 'Lock'", 1,
         {FailedUpdate("B1", "QTY")}, written, "was lost: "},
        {"connection refused", nullptr, 1, {}, {"A1=1", "A2=2", "B1=3"}, "cannot be opened.\nCannot open the card database host 127.0.0.1 port 1 database x user u: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ProgramUnderTest program;
        const FreshDatabase fresh(Backend::Pg, {});
        CardDb holder(fresh.Location()), watcher(fresh.Location());
        holder.Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT, QTY SMALLINT); INSERT INTO CARD_DATA VALUES ('A1', 1), ('A2', 2), ('B1', 3)");
        holder.Exec("BEGIN; SELECT * FROM CARD_DATA WHERE REFERENCE = 'A2' FOR UPDATE");
        program.WriteSettings("Replace_Field=QTY\nCard_Database=" + (c.during ? fresh.Location() : "host=127.0.0.1 port=1 dbname=x user=u password=secret").toUtf8() + "\n");
        program.tmp.Write(program.ImportPath(), "A1,5\r\nB1,many\r\nA2,6\r\n");
        program.Start();
        while (c.during && *c.during && !program.Ended() && watcher.Column("(SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock')")[0] == "0")
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (c.during && *c.during)
            watcher.Exec(c.during);
        const ProgramOutcome out = program.Wait();
        holder.Exec("ROLLBACK");
        QStringList fields = watcher.Column("REFERENCE || '=' || QTY");
        fields.sort();
        EXPECT_EQ(out.status, c.status);
        EXPECT_TRUE(out.output.contains(c.said) && !out.output.contains("secret")) << out.output.toStdString();
        EXPECT_EQ(program.LogMessages(), c.logged);
        EXPECT_EQ(fields, c.fields);
    }
}

} // namespace
