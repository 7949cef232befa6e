// The built program killed (SIGKILL) at moments spread over unattended runs
// over a card table of 100,000 records, in an SQLite file and on a server
// (KVR_TEST_PG): an import and a batch run, each applying a two-field
// replacement list. The moments: in the counting pass, spread over the
// writing (most while a group of writes waits for its commit), and at the
// run's first log entry, which comes right after the commit of the writes
// before it. Whatever the moment, the database must be sound and hold
// exactly the run's first writes, the run log must be whole entries that
// never run ahead of the database, the settings must be untouched, and
// either a new run on the killed database must complete or an undo (itself
// killed once) must give the old table back.
//
// Groups of writes commit in order, at points that do not follow the records
// (a failed update before its log entry, the run's end, a move after about a
// second), so a kill may leave a record with its first list field new and its
// second old, but never the second new without the first, and never a value
// that is neither the old nor the new one.
#include "CardDb.h"
#include "ProgramUnderTest.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;
constexpr int kKills = 8;      // per run, timed; one more at the first log entry
constexpr auto kLimit = 120s;  // far beyond any run here: reaching it means a hang

// Record i (rowid i + 1; on the server, primary key kvr_id i): a unique
// reference in shuffled order, one of 60 shelves, the status "IN" and a
// quantity from 0 to 499. A server run gets a fresh copy of card_template.
const char *const kTable[] = {
    "CREATE TABLE CARD_DATA (REFERENCE TEXT(20), TITLE TEXT(50), LOCATION TEXT(20), STATUS TEXT(12), QTY SHORT);"
    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) INSERT INTO CARD_DATA "
    "SELECT printf('C%06d', i * 7919 % 100000), 'Card number ' || i, 'SHELF ' || (1 + i * 37 % 60), 'IN', i * 13 % 500 FROM n",
    "CREATE TABLE CARD_DATA AS SELECT 'C' || lpad((i * 7919 % 100000)::text, 6, '0') AS REFERENCE, 'Card number ' || i AS TITLE, "
    "('SHELF ' || (1 + i * 37 % 60))::varchar(20) AS LOCATION, 'IN'::varchar(12) AS STATUS, (i * 13 % 500)::smallint AS QTY, i AS kvr_id "
    "FROM generate_series(0, 99999) i; ALTER TABLE CARD_DATA ADD PRIMARY KEY (kvr_id); CREATE TABLE card_template AS TABLE CARD_DATA"};

struct Write
{
    int record, field;  // field 0 is STATUS, 1 QTY
    QString value;
};

struct Workload
{
    const char *name;
    QByteArray settings, list, import;
    std::vector<Write> writes;                 // in the order the run makes them
    std::vector<std::pair<QString, int>> log;  // each entry the run adds, and the writes durable before it
};

// 1,200 lines, each for a record of its own: item 1 to STATUS, item 2 to QTY.
// Every 80th quantity is refused, which logs a failure once the writes
// before it are durable.
Workload ImportWorkload(const QStringList &references)
{
    Workload w{"import", "Replace_Field=STATUS\n", "File Value__,STATUS,1\r\nFile Value__,QTY,2\r\n", {}, {}, {}};
    for (int line = 0; line < 1200; ++line) {
        const int record = (line * 7717 + 3) % kRecords;
        const QString status = QStringLiteral("OUT %1").arg(line), qty = line % 80 == 79 ? "many" : QString::number(1000 + line);
        w.import += (references[record] + ',' + status + ',' + qty + "\r\n").toUtf8();
        w.writes.push_back({record, 0, status});
        if (qty == QLatin1String("many"))
            w.log.push_back({FailedUpdate(references[record], "QTY"), int(w.writes.size())});
        else
            w.writes.push_back({record, 1, qty});
    }
    w.log.push_back({kImportDone, int(w.writes.size())});
    return w;
}

// Every record on SHELF 17 (1,667) gets STATUS OUT, then every one of them
// QTY -7: one pass over the table per list entry.
Workload BatchWorkload(const QStringList &locations)
{
    Workload w{"batch", "Option=Batch\nSearch_Field=LOCATION\nSearch_Criteria=SHELF 17\nReplace_Field=STATUS\nReplace_Value=-\n",
               "Fixed Value_,STATUS,OUT\r\nFixed Value_,QTY,-7\r\n", {}, {}, {}};
    for (const auto &[field, value] : {std::pair{0, "OUT"}, std::pair{1, "-7"}}) {
        for (int record = 0; record < kRecords; ++record) {
            if (locations[record] == QLatin1String("SHELF 17"))
                w.writes.push_back({record, field, QString::fromLatin1(value)});
        }
    }
    w.log.push_back({kBatchDone, int(w.writes.size())});
    return w;
}

// What a run left: how many of its first writes the database holds, how many
// of its entries the log holds, and what is wrong.
struct Found
{
    int applied = 0, logged = 0;
    QStringList log, problems;
};

class KillTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        if (!FreshDatabase::Available(GetParam()))
            GTEST_SKIP() << "KVR_TEST_PG names no test server";
        template_.emplace(GetParam(), store_.Path());
        db_ = std::make_unique<CardDb>(Template());
        db_->Exec(kTable[Server()]);
        old_ = {db_->Column("STATUS"), db_->Column("QTY")};
    }
    bool Server() const { return GetParam() == Backend::Pg; }
    // The template file; or the server's schema, whose card_template each
    // run's CARD_DATA is a fresh copy of.
    QString Template() const { return template_->Location(); }

    // True while a group of the program's writes is open: the file's journal
    // is there, or its session holds the table's write lock.
    bool GroupOpen(const ProgramUnderTest &program) const
    {
        const char *const locks = "(SELECT count(*) FROM pg_locks WHERE relation = 'card_data'::regclass AND mode = 'RowExclusiveLock')";
        return Server() ? db_->Column(locks, "WHERE kvr_id = 0")[0] != "0" : QFileInfo::exists(program.JournalPath());
    }

    // Waits for the started program's first write, or its end; gives the
    // seconds since start.
    double FirstWrite(ProgramUnderTest &program, Clock::time_point start) const
    {
        while (!program.Ended() && !GroupOpen(program) && Clock::now() < start + kLimit)
            std::this_thread::sleep_for(1ms);
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // Puts the workload's files, a log of one old entry (or, atLog, a FIFO
    // at which the program stops at its first log entry) and a fresh card
    // database in the program's folder; gives the settings written.
    QByteArray Prepare(ProgramUnderTest &program, const Workload &w, bool atLog = false) const
    {
        program.WriteSettings(w.settings + "Data_List=Yes\nCard_Database=" + (Server() ? Template() : program.DatabasePath()).toUtf8() + "\n");
        program.tmp.Write(program.ListPath(), w.list);
        program.tmp.Write(program.ImportPath(), w.import);
        fs::remove(program.LogPath().toStdString());
        if (!atLog)
            program.tmp.Write(program.LogPath(), OldEntry(kBatchDone));
        else if (::mkfifo(QFile::encodeName(program.LogPath()).constData(), 0666) != 0)
            throw std::runtime_error("cannot make the log a FIFO");
        if (Server())
            db_->Exec("DROP TABLE CARD_DATA; CREATE TABLE CARD_DATA AS TABLE card_template; ALTER TABLE CARD_DATA ADD PRIMARY KEY (kvr_id)");
        else
            fs::copy_file(Template().toStdString(), program.DatabasePath().toStdString(), fs::copy_options::overwrite_existing);
        fs::remove(program.JournalPath().toStdString());
        return program.tmp.Read(program.SettingsPath());
    }

    // Each write changes a field of its own to a value other than the old one,
    // so the database holds exactly the run's first writes when it holds a
    // prefix of them and no other field differs from the old card table.
    Found Inspect(const Workload &w, const QString &database, const ProgramUnderTest &program, const QStringList &before) const
    {
        Found f;
        try {
            CardDb db(database);
            if (const QString check = Server() ? "ok" : db.IntegrityCheck(); check != QLatin1String("ok"))
                f.problems << "integrity_check: " + check;
            const QStringList now[2] = {db.Column("STATUS"), db.Column("QTY")};
            while (f.applied < int(w.writes.size()) && now[w.writes[f.applied].field][w.writes[f.applied].record] == w.writes[f.applied].value)
                ++f.applied;
            int changed = 0;
            for (int cell = 0; cell < 2 * kRecords; ++cell)
                changed += now[cell % 2][cell / 2] != old_[cell % 2][cell / 2];
            if (changed != f.applied)
                f.problems << QStringLiteral("%1 fields changed, but the run's first writes are %2").arg(changed).arg(f.applied);
        } catch (const std::exception &e) {
            f.problems << QString::fromUtf8(e.what());
        }
        f.log = program.LogMessages();
        f.logged = int(f.log.size() - before.size());
        QStringList expected = before;
        for (int i = 0; i < f.logged && i < int(w.log.size()); ++i)
            expected << w.log[i].first;
        if (f.log != expected)
            f.problems << "the log is not whole entries of the run after those before it: " + f.log.join('|');
        else if (f.logged > 0 && w.log[f.logged - 1].second > f.applied)
            f.problems << QStringLiteral("the log ran ahead of the database: \"%1\" with %2 writes").arg(w.log[f.logged - 1].first).arg(f.applied);
        return f;
    }

    // Waits for the started program's end, which must leave every write of the
    // run done and every entry logged.
    QStringList Complete(ProgramUnderTest &program, const Workload &w, const QStringList &before) const
    {
        const ProgramOutcome out = program.Wait(kLimit);
        Found after = Inspect(w, Server() ? Template() : program.DatabasePath(), program, before);
        if (out.status != 0 || after.applied != int(w.writes.size()) || after.logged != int(w.log.size()))
            after.problems << QStringLiteral("a run to the end: status %1, %2 writes, %3 log entries: %4")
                                  .arg(out.status).arg(after.applied).arg(after.logged).arg(out.output);
        return after.problems;
    }

    // An unkilled run times the kills: kill 0 strikes halfway to the first
    // write, the others spread evenly over the writing, each at the moment
    // due or, when no group of writes is open then, at the next one's first
    // write (so that a run faster than the unkilled one is still struck while
    // it writes), and the last once the program reads its log, before its
    // first entry, with every write before that committed. Every odd one is
    // followed by a new run, which must complete; every even one by an undo,
    // killed at its first write and run again, which must give the old table
    // back. One kill at a time: a copy of the
    // program being written while another forks makes the other's exec fail
    // with "Text file busy".
    void Campaign(const Workload &w) const
    {
        ProgramUnderTest program;
        Prepare(program, w);
        program.Start();
        const auto start = Clock::now();
        const double toWrites = FirstWrite(program, start);
        program.Wait(kLimit);
        const double writing = std::chrono::duration<double>(Clock::now() - start).count() - toWrites;
        const QStringList problems = Complete(program, w, {kBatchDone});
        ASSERT_TRUE(problems.isEmpty()) << w.name << ", the unkilled run: " << problems.join('\n').toStdString();

        int midGroup = 0;
        for (int index = 0; index <= kKills; ++index) {
            const bool atLog = index == kKills;
            const QByteArray settings = Prepare(program, w, atLog), log = QFile::encodeName(program.LogPath());
            program.Start();
            int fifo = -1; // opening a FIFO for writing without blocking succeeds once a reader has it open
            while (atLog && (fifo = ::open(log.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && !program.Ended())
                std::this_thread::sleep_for(1ms);
            for (const double due : {0.0, atLog ? 0 : index ? writing * (index - 0.5) / kKills : toWrites / 2}) {
                std::this_thread::sleep_for(std::chrono::duration<double>(due));
                if (index > 0 && !atLog)
                    FirstWrite(program, Clock::now());
            }
            midGroup += GroupOpen(program);
            const ProgramOutcome out = program.Kill();
            ::close(fifo); // none: -1
            if (atLog && fs::remove(log.toStdString()))
                program.tmp.Write(program.LogPath(), OldEntry(kBatchDone));

            // A file is looked at in a copy, so that the next run finds what the kill left.
            QString database = Template();
            if (!Server()) {
                fs::remove_all((database = program.tmp.File("verify")).toStdString());
                fs::copy(QFileInfo(program.DatabasePath()).absolutePath().toStdString(), database.toStdString());
                database += "/card.db";
            }
            Found found = Inspect(w, database, program, {kBatchDone});
            if (!out.killed && out.status != 0)
                found.problems << QStringLiteral("the program ended by itself with status %1: %2").arg(out.status).arg(out.output);
            if (atLog && (!out.killed || found.applied != w.log[0].second))
                found.problems << QStringLiteral("at the first log entry: %1 writes, not %2").arg(found.applied).arg(w.log[0].second);
            if (out.killed && index % 2 == 1) {
                program.Start();
                found.problems << Complete(program, w, found.log);
            } else if (out.killed) { // the journal holds exactly what was committed: an undo gives the old table back,
                program.options = "--undo-last"; // also after an undo killed at its first write
                program.Start();
                FirstWrite(program, Clock::now());
                program.Kill();
                const ProgramOutcome undo = program.Run();
                program.options.clear();
                Found undone = Inspect(w, Server() ? Template() : program.DatabasePath(), program, found.log);
                undone.problems.removeIf([](const QString &problem) { return problem.startsWith("the log"); });
                if (undone.applied != 0 || !undone.problems.isEmpty() || (undo.status != 0 && found.applied > 0))
                    found.problems << QStringLiteral("the undo after the kill, status %1: %2 %3").arg(undo.status).arg(undo.output, undone.problems.join(' '));
            }
            if (program.tmp.Read(program.SettingsPath()) != settings)
                found.problems << "the settings file changed";
            EXPECT_TRUE(found.problems.isEmpty()) << w.name << " kill " << index << ":\n" << found.problems.join('\n').toStdString();
        }
        EXPECT_GE(midGroup, kKills / 3) << w.name << ": too few kills struck while a group of writes was open";
    }

    TempFolder store_;
    std::optional<FreshDatabase> template_;
    std::unique_ptr<CardDb> db_; // the template's, or the server's
    std::vector<QStringList> old_; // STATUS and QTY
};

TEST_P(KillTest, RunsSurviveKillsAtAnyMoment)
{
    Campaign(ImportWorkload(db_->Column("REFERENCE")));
    Campaign(BatchWorkload(db_->Column("LOCATION")));
}

INSTANTIATE_TEST_SUITE_P(, KillTest, ::testing::Values(Backend::Sqlite, Backend::Pg),
                         [](const auto &info) { return std::string(FreshDatabase::Name(info.param)); });

} // namespace
