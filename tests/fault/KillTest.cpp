// The built program killed (SIGKILL) at moments spread over unattended runs
// over a card table of 100,000 records: an import and a batch run, each
// applying a two-field replacement list. Whatever the moment, the database
// must be sound and hold exactly the run's first writes, the run log must be
// whole entries that never run ahead of the database, the settings must be
// untouched, and a new run on the killed database must complete.
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

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 100000;
constexpr int kKills = 12;     // per run
constexpr int kStations = 3;   // programs side by side, each with a folder of its own
constexpr auto kLimit = 120s;  // far beyond any run here: reaching it means a hang

// Record i (rowid i + 1): a unique reference in shuffled order, one of 60
// shelves, the status "IN" and a quantity from 0 to 499.
const char *const kTable =
    "CREATE TABLE CARD_DATA (REFERENCE TEXT(20), TITLE TEXT(50), LOCATION TEXT(20), STATUS TEXT(12), QTY SHORT);"
    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) INSERT INTO CARD_DATA "
    "SELECT printf('C%06d', i * 7919 % 100000), 'Card number ' || i, 'SHELF ' || (1 + i * 37 % 60), 'IN', i * 13 % 500 FROM n";

struct Write
{
    int record;
    int field;  // 0 STATUS, 1 QTY
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
    Workload w{"import", "Option=Import\nSearch_Field=REFERENCE\nReplace_Field=STATUS\nSearch_Col=0\nReplace_Col=1\n",
               "File Value__,STATUS,1\r\nFile Value__,QTY,2\r\n", {}, {}, {}};
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
    bool journal = false, rerun = false;  // of a kill: it left a rollback journal; a new run followed
};

class KillTest : public ::testing::Test
{
protected:
    KillTest()
    {
        CardDb db(Template());
        db.Exec(kTable);
        old_[0] = db.Column("STATUS");
        old_[1] = db.Column("QTY");
    }
    QString Template() const { return store_.File("card.db"); }
    void Campaign(const Workload &w);

    QStringList Column(const char *field) { return CardDb(Template()).Column(field); }

private:
    Found Inspect(const Workload &w, const QString &database, const ProgramUnderTest &program, const QStringList &before) const;
    Found Kill(ProgramUnderTest &program, const Workload &w, int index, double toWrites, double writing) const;

    TempFolder store_;
    QStringList old_[2];
};

Found KillTest::Inspect(const Workload &w, const QString &database, const ProgramUnderTest &program, const QStringList &before) const
{
    Found f;
    try {
        CardDb db(database);
        if (const QString check = db.IntegrityCheck(); check != QLatin1String("ok"))
            f.problems << "integrity_check: " + check;
        const QStringList now[2] = {db.Column("STATUS"), db.Column("QTY")};
        std::vector<int> writeOf(2 * kRecords, -1);
        for (std::size_t k = 0; k < w.writes.size(); ++k)
            writeOf[2 * w.writes[k].record + w.writes[k].field] = int(k);
        std::vector<bool> held(w.writes.size(), false);
        for (int cell = 0; cell < 2 * kRecords; ++cell) {
            const QString &value = now[cell % 2][cell / 2];
            if (writeOf[cell] >= 0 && value == w.writes[writeOf[cell]].value)
                held[writeOf[cell]] = true;
            else if (value != old_[cell % 2][cell / 2] && f.problems.size() < 3)
                f.problems << QStringLiteral("record %1 holds \"%2\", neither its old nor its new value").arg(cell / 2 + 1).arg(value);
        }
        f.applied = int(std::find(held.begin(), held.end(), false) - held.begin());
        if (std::find(held.begin() + f.applied, held.end(), true) != held.end())
            f.problems << QStringLiteral("write %1 is missing, a later one is there").arg(f.applied + 1);
    } catch (const std::exception &e) {
        f.problems << QString::fromUtf8(e.what());
    }
    const QStringList log = program.LogMessages();
    if (log.mid(0, before.size()) != before) {
        f.problems << "the log is not whole entries after those before the run: " + program.tmp.Read(program.LogPath()).right(200);
        return f;
    }
    f.log = log;
    const QStringList added = log.mid(before.size());
    while (f.logged < added.size() && f.logged < int(w.log.size()) && added[f.logged] == w.log[f.logged].first)
        ++f.logged;
    if (f.logged < added.size())
        f.problems << QStringLiteral("log entry %1 of the run is \"%2\"").arg(f.logged + 1).arg(added[f.logged]);
    if (f.logged > 0 && w.log[f.logged - 1].second > f.applied)
        f.problems << QStringLiteral("the log ran ahead of the database: \"%1\" with %2 writes").arg(w.log[f.logged - 1].first).arg(f.applied);
    return f;
}

// Kill `index` strikes at a share of the time before the first write (the
// first two) or of the writing (the rest, spread evenly over it), as the
// reference run took them; every second one is followed by a new run.
Found KillTest::Kill(ProgramUnderTest &program, const Workload &w, int index, double toWrites, double writing) const
{
    fs::copy_file(Template().toStdString(), program.DatabasePath().toStdString(), fs::copy_options::overwrite_existing);
    fs::remove(program.JournalPath().toStdString());
    program.tmp.Write(program.LogPath(), OldEntry(kBatchDone));
    const QByteArray settings = program.tmp.Read(program.SettingsPath());
    program.Start();
    const auto start = Clock::now();
    if (index < 2) {
        std::this_thread::sleep_for(std::chrono::duration<double>(toWrites * (index + 1) / 3));
    } else {
        while (!program.Ended() && !QFileInfo::exists(program.JournalPath()) && Clock::now() < start + kLimit)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(std::chrono::duration<double>(writing * (index - 1.5) / (kKills - 2)));
    }
    const ProgramOutcome out = program.Kill();

    // Looked at in a copy, so that the next run finds what the kill left.
    const QString copy = program.tmp.File("verify/card.db");
    fs::create_directories(QFileInfo(copy).absolutePath().toStdString());
    for (const QString &suffix : {QString(), QStringLiteral("-journal")}) {
        fs::remove((copy + suffix).toStdString());
        if (QFileInfo::exists(program.DatabasePath() + suffix))
            fs::copy_file((program.DatabasePath() + suffix).toStdString(), (copy + suffix).toStdString());
    }
    Found found = Inspect(w, copy, program, {kBatchDone});
    found.journal = QFileInfo(program.JournalPath()).size() > 0;
    if (!out.killed && out.status != 0)
        found.problems << QStringLiteral("the program ended by itself with status %1: %2").arg(out.status).arg(out.output);
    found.rerun = out.killed && index % 2 == 0;
    if (found.rerun) {
        program.Start();
        const ProgramOutcome rerun = program.Wait(kLimit);
        const Found after = Inspect(w, program.DatabasePath(), program, found.log);
        if (rerun.status != 0 || after.applied != int(w.writes.size()) || after.logged != int(w.log.size()))
            found.problems << QStringLiteral("the run after the kill: status %1, %2 writes, %3 log entries: %4")
                                  .arg(rerun.status).arg(after.applied).arg(after.logged).arg(rerun.output);
        found.problems << after.problems;
    }
    if (program.tmp.Read(program.SettingsPath()) != settings)
        found.problems << "the settings file changed";
    return found;
}

void KillTest::Campaign(const Workload &w)
{
    const auto begun = Clock::now();
    std::vector<std::unique_ptr<ProgramUnderTest>> stations;
    for (int i = 0; i < kStations; ++i) {
        stations.push_back(std::make_unique<ProgramUnderTest>());
        ProgramUnderTest &p = *stations.back();
        p.WriteSettings(w.settings + "Auto_Run=1\nData_List=Yes\nImport_File=" + p.ImportPath().toUtf8() + "\n");
        p.tmp.Write(p.ListPath(), w.list);
        p.tmp.Write(p.ImportPath(), w.import);
    }

    // A reference run, unkilled: it completes, and times the kills' moments.
    ProgramUnderTest &reference = *stations.front();
    fs::copy_file(Template().toStdString(), reference.DatabasePath().toStdString());
    reference.tmp.Write(reference.LogPath(), OldEntry(kBatchDone));
    reference.Start();
    const auto start = Clock::now();
    while (!reference.Ended() && !QFileInfo::exists(reference.JournalPath()))
        std::this_thread::sleep_for(1ms);
    const double toWrites = std::chrono::duration<double>(Clock::now() - start).count();
    const ProgramOutcome out = reference.Wait(kLimit);
    const double writing = std::chrono::duration<double>(Clock::now() - start).count() - toWrites;
    const Found full = Inspect(w, reference.DatabasePath(), reference, {kBatchDone});
    ASSERT_EQ(out.status, 0) << out.output.toStdString();
    ASSERT_TRUE(full.problems.isEmpty()) << full.problems.join('\n').toStdString();
    ASSERT_EQ(std::pair(full.applied, full.logged), std::pair(int(w.writes.size()), int(w.log.size())));

    std::atomic<int> next = 0;
    std::mutex mutex;
    int left[3] = {}, journals = 0, midRun = 0, reruns = 0;
    std::vector<std::thread> threads;
    for (auto &station : stations) {
        threads.emplace_back([&, &program = *station] {
            for (int index; (index = next++) < kKills;) {
                const Found found = Kill(program, w, index, toWrites, writing);
                const std::lock_guard lock(mutex);
                EXPECT_TRUE(found.problems.isEmpty()) << w.name << " kill " << index << ":\n" << found.problems.join('\n').toStdString();
                ++left[found.applied == 0 ? 0 : found.applied < int(w.writes.size()) ? 1 : 2];
                journals += found.journal;
                midRun += (found.applied > 0 || found.journal) && found.logged < int(w.log.size());
                reruns += found.rerun;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_GE(midRun, kKills / 3) << "too few kills struck while the run was writing";
    std::printf("KillTest %s: %d records, %zu writes, %zu log entries; reference run %.2f s, first write at %.2f s; %d kills "
                "left none/some/all of the writes %d/%d/%d, %d inside a write transaction, %d mid-run, %d followed by a run; %.1f s\n",
                w.name, kRecords, w.writes.size(), w.log.size(), toWrites + writing, toWrites, kKills, left[0], left[1], left[2],
                journals, midRun, reruns, std::chrono::duration<double>(Clock::now() - begun).count());
}

TEST_F(KillTest, ImportRunSurvivesKillsAtAnyMoment)
{
    Campaign(ImportWorkload(Column("REFERENCE")));
}

TEST_F(KillTest, BatchRunSurvivesKillsAtAnyMoment)
{
    Campaign(BatchWorkload(Column("LOCATION")));
}

} // namespace
