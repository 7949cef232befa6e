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

#include <cstdio>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double kBusyTimeout = 5.0;

class LockTest : public ::testing::Test
{
protected:
    // An import run over A1, A2 and B1 that writes QTY.
    LockTest()
    {
        CardDb(program.DatabasePath())
            .Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), QTY SHORT);"
                  "INSERT INTO CARD_DATA VALUES ('A1', 1), ('A2', 2), ('B1', 3)");
        program.tmp.Write(program.LogPath(), OldEntry(kBatchDone));
        program.tmp.Write(program.ListPath(), {});
        program.WriteSettings("Auto_Run=1\nOption=Import\nSearch_Field=REFERENCE\nReplace_Field=QTY\nSearch_Col=0\nReplace_Col=1\n"
                              "Import_File=" + program.ImportPath().toUtf8() + "\n");
    }
    // The entries the run added to the log, oldest first.
    QStringList Logged() const
    {
        const QStringList all = program.LogMessages();
        return all.value(0) == kBatchDone ? all.mid(1) : QStringList{"<not the old log and whole entries>"};
    }

    ProgramUnderTest program;
};

TEST_F(LockTest, UnwritableDatabaseFailsTheUpdateIntoTheLog)
{
    const struct
    {
        const char *name;
        const char *holder;  // the transaction another connection holds open during the run
        int readOnly;        // 1: the file, 2: its folder, for a user other than the owner
        int status;
        QStringList logged;
    } cases[] = {
        // The program reads on, and its first write waits out the timeout.
        {"write lock held from the start", "BEGIN IMMEDIATE; UPDATE CARD_DATA SET QTY = 0 WHERE REFERENCE = 'B1'", 0, 0,
         {FailedUpdate("A1", "QTY"), kImportDone}},
        // Not even readers get in: the program cannot open the database.
        {"exclusive lock from the start", "BEGIN EXCLUSIVE", 0, 1, {}},
        {"read-only file", "BEGIN", 1, 0, {FailedUpdate("A1", "QTY"), kImportDone}},
        {"read-only folder", "BEGIN", 2, 0, {FailedUpdate("A1", "QTY"), kImportDone}},
    };
    QStringList figures;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        program.tmp.Write(program.LogPath(), OldEntry(kBatchDone));
        program.tmp.Write(program.ImportPath(), "A1,5\r\n");
        const QByteArray database = program.tmp.Read(program.DatabasePath());
        const QString path = c.readOnly == 1 ? program.DatabasePath() : QFileInfo(program.DatabasePath()).absolutePath();
        if (c.readOnly) {
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.readOnly == 1 ? 0444 : 0555), 0);
        }
        CardDb holder(program.DatabasePath());
        holder.Exec(c.holder);
        const ProgramOutcome out = program.Run(true);
        holder.Exec("ROLLBACK");
        ::chmod(QFile::encodeName(path).constData(), 0777);

        EXPECT_EQ(out.status, c.status) << out.output.toStdString();
        EXPECT_EQ(out.status == 1, out.output.contains("The card database cannot be opened.") && out.output.contains("locked"))
            << out.output.toStdString();
        EXPECT_EQ(Logged(), c.logged);
        EXPECT_EQ(program.tmp.Read(program.DatabasePath()), database);
        EXPECT_FALSE(QFileInfo::exists(program.JournalPath()));
        figures << QStringLiteral("%1: status %2").arg(QLatin1String(c.name)).arg(out.status);
    }
    std::printf("LockTest: %s\n", qPrintable(figures.join(QStringLiteral("; "))));
}

// The moment: the run log is a FIFO, so the program stops at its first log
// event, which a refused value on the third line causes (past the second,
// where the import indexes the search field and commits); the records
// written before it must be durable, and the program must hold no lock while
// it waits there. The test then takes the lock and lets the program go on.
TEST_F(LockTest, LockTakenWhileTheRunWritesFailsTheNextUpdate)
{
    program.tmp.Write(program.ImportPath(), "A1,5\r\nA2,6\r\nB1,many\r\nA1,7\r\n");
    const QByteArray log = QFile::encodeName(program.LogPath());
    QFile::remove(program.LogPath());
    ASSERT_EQ(::mkfifo(log.constData(), 0666), 0);
    program.Start();

    // Opening a FIFO for writing returns once a reader has opened it.
    std::future<int> writer = std::async(std::launch::async, [&] { return ::open(log.constData(), O_WRONLY | O_CLOEXEC); });
    if (writer.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ::close(::open(log.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        ::close(writer.get());
        FAIL() << "the program never read its log: " << program.Kill().output.toStdString();
    }
    const int fifo = writer.get();
    CardDb holder(program.DatabasePath());
    holder.Exec("PRAGMA busy_timeout = 0; BEGIN IMMEDIATE");  // throws if the program held its lock while it logged
    EXPECT_EQ(holder.Column("QTY"), QStringList({"5", "6", "3"})) << "written records were not durable before the log entry";
    const QByteArray before = OldEntry(kBatchDone);
    EXPECT_EQ(::write(fifo, before.constData(), std::size_t(before.size())), before.size());
    ::close(fifo);
    QElapsedTimer released;
    released.start();
    const ProgramOutcome out = program.Wait();
    holder.Exec("ROLLBACK");

    EXPECT_EQ(out.status, 0) << out.output.toStdString();
    EXPECT_GE(released.elapsed(), kBusyTimeout * 1000);
    EXPECT_EQ(Logged(), QStringList({FailedUpdate("B1", "QTY"), FailedUpdate("A1", "QTY"), kImportDone}));
    EXPECT_EQ(CardDb(program.DatabasePath()).Column("QTY"), QStringList({"5", "6", "3"}));
    std::printf("LockTest: locked while writing, the next update failed %.1f s after the lock\n", released.elapsed() / 1000.0);
}

} // namespace
