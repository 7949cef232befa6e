// The built program killed (SIGKILL) at random moments of unattended runs over
// a card table of 100,000 records: an import and a batch run, each applying a
// two-field replacement list. Whatever the moment, the database must be sound
// and hold exactly the first writes of the run, the run log must be whole
// entries ending at some event, the settings must be untouched, and a new run
// on the killed database must complete.
//
// What the store's grouping of writes guarantees, and so what is asserted:
// the writes in the database are always a prefix of the run's sequence of
// writes. Groups commit in order, at points that do not follow the records
// (a failed update before its log entry, the run's end, a move after about a
// second), so a group may end between the two list entries of one record: a
// kill can leave a record with its first field new and its second old, but
// never the second new without the first, and never a value that is neither
// the old nor the new one. The log never runs ahead of the database.
#include "BigCardTable.h"
#include "ProgramLog.h"
#include "ProgramProgress.h"
#include "ProgramUnderTest.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Mark = ProgramProgress::Mark;

constexpr quint32 kSeed = 20261205;
constexpr int kRecords = 100000;
constexpr int kKills = 50;
// A kill that finds the program ended already is made up for, up to this.
constexpr int kMaxTrials = 75;
// Programs run side by side: each spends its first second waiting for its timer.
constexpr int kStations = 5;
constexpr auto kRunLimit = std::chrono::seconds(120);

// One value a run writes, in the order the run writes them.
struct Write
{
    int record;
    BigCardTable::Field field;
    QString value;
};

// One entry a run adds to its log, once `durable` of its writes are durable.
struct Event
{
    QString message;
    int durable;
};

struct Workload
{
    Workload(const char *name, const QByteArray &settings, const QByteArray &list) : name(name), settings(settings), list(list) {}

    const char *name;
    QByteArray settings;  // the [Bulkrun] keys but Import_File
    QByteArray list;
    QByteArray import;
    std::vector<Write> writes;
    std::vector<Event> events;
    std::unordered_map<qint64, int> index;  // the write of a record's field, by Key

    static qint64 Key(int record, BigCardTable::Field field) { return qint64(record) * BigCardTable::kFields + field; }
    void Add(int record, BigCardTable::Field field, const QString &value)
    {
        index[Key(record, field)] = int(writes.size());
        writes.push_back({record, field, value});
    }
};

// 1,200 lines, each for a different record: item 1 goes to STATUS, item 2 to
// QTY. Every 80th quantity is refused, which logs a failure and makes the
// writes before it durable first.
Workload ImportWorkload(const BigCardTable &table)
{
    Workload w("import",
               "Option=Import\nData_List=Yes\nSearch_Field=REFERENCE\nReplace_Field=STATUS\nSearch_Col=0\nReplace_Col=1\n",
               "File Value__,STATUS,1\r\nFile Value__,QTY,2\r\n");
    std::mt19937 random(kSeed + 1);
    std::vector<int> records(std::size_t(table.Size()), 0);
    std::iota(records.begin(), records.end(), 0);
    for (int line = 0; line < 1200; ++line) {
        std::swap(records[std::size_t(line)], records[line + random() % (records.size() - std::size_t(line))]);
        const int record = records[std::size_t(line)];
        const QString reference = table.Value(record, BigCardTable::Reference);
        const bool refused = line % 80 == 79;
        const QString status = QStringLiteral("OUT %1").arg(line);
        const QString qty = refused ? QStringLiteral("many") : QString::number(1000 + line);
        w.import += QStringLiteral("%1,%2,%3\r\n").arg(reference, status, qty).toUtf8();
        w.Add(record, BigCardTable::Status, status);
        if (refused)
            w.events.push_back({ProgramLog::FailedUpdate(reference, QStringLiteral("QTY")), int(w.writes.size())});
        else
            w.Add(record, BigCardTable::Qty, qty);
    }
    w.events.push_back({ProgramLog::ImportComplete(), int(w.writes.size())});
    return w;
}

// Every record on SHELF 17 (about 1,650) gets STATUS OUT, then every one of
// them QTY -7: one pass over the table per list entry.
Workload BatchWorkload(const BigCardTable &table)
{
    Workload w("batch",
               "Option=Batch\nData_List=Yes\nSearch_Field=LOCATION\nSearch_Criteria=SHELF 17\nReplace_Field=STATUS\nReplace_Value=-\n",
               "Fixed Value_,STATUS,OUT\r\nFixed Value_,QTY,-7\r\n");
    for (const auto &[field, value] : {std::pair{BigCardTable::Status, "OUT"}, std::pair{BigCardTable::Qty, "-7"}}) {
        for (int record = 0; record < table.Size(); ++record) {
            if (table.Value(record, BigCardTable::Location) == QLatin1String("SHELF 17"))
                w.Add(record, field, QString::fromLatin1(value));
        }
    }
    w.events.push_back({ProgramLog::BatchComplete(), int(w.writes.size())});
    return w;
}

// What a database and a run log left by a run hold.
struct Found
{
    int applied = 0;  // writes the database holds: always the first ones
    int logged = 0;   // events the log holds beyond what it held before the run
    QStringList log;  // the log's messages, oldest first
    QStringList problems;
};

void InspectTable(const Workload &w, const QString &original, const QString &database, Found &found)
{
    const QString integrity = BigCardTable::IntegrityCheck(database);
    if (integrity != QLatin1String("ok"))
        found.problems << QStringLiteral("integrity_check: ") + integrity;
    std::vector<bool> applied(w.writes.size(), false);
    int strays = 0;
    for (const BigCardTable::Cell &cell : BigCardTable::Differences(database, original)) {
        const auto write = w.index.find(Workload::Key(cell.record, cell.field));
        if (write != w.index.end() && cell.value == w.writes[std::size_t(write->second)].value)
            applied[std::size_t(write->second)] = true;
        else if (++strays <= 3)
            found.problems << QStringLiteral("record %1 %2 holds \"%3\", neither its old nor its new value")
                                  .arg(cell.record + 1).arg(BigCardTable::FieldName(cell.field), cell.value);
    }
    found.applied = int(std::find(applied.begin(), applied.end(), false) - applied.begin());
    const auto late = std::find(applied.begin() + found.applied, applied.end(), true);
    if (late != applied.end()) {
        const Write &held = w.writes[std::size_t(late - applied.begin())];
        const Write &missing = w.writes[std::size_t(found.applied)];
        found.problems << QStringLiteral("not a prefix of the run's writes: write %1 (record %2 %3) is there, write %4 (record %5 %6) is not")
                              .arg(late - applied.begin() + 1).arg(held.record + 1).arg(BigCardTable::FieldName(held.field))
                              .arg(found.applied + 1).arg(missing.record + 1).arg(BigCardTable::FieldName(missing.field));
    }
}

void InspectLog(const Workload &w, const QByteArray &bytes, const QStringList &before, Found &found)
{
    const std::optional<QStringList> messages = ProgramLog::Messages(bytes);
    if (!messages) {
        found.problems << QStringLiteral("the run log is not whole entries: ...%1").arg(QString::fromUtf8(bytes.right(200).toPercentEncoding(" ")));
        return;
    }
    found.log = *messages;
    if (found.log.mid(0, before.size()) != before) {
        found.problems << QStringLiteral("the run log lost what it held before the run");
        return;
    }
    const QStringList added = found.log.mid(before.size());
    while (found.logged < added.size() && std::size_t(found.logged) < w.events.size()
           && added[found.logged] == w.events[std::size_t(found.logged)].message)
        ++found.logged;
    if (found.logged < added.size())
        found.problems << QStringLiteral("log entry %1 of the run is \"%2\"").arg(found.logged + 1).arg(added[found.logged]);
    if (found.logged > 0 && w.events[std::size_t(found.logged - 1)].durable > found.applied)
        found.problems << QStringLiteral("the log ran ahead of the database: \"%1\" logged with %2 of the %3 writes before it")
                              .arg(w.events[std::size_t(found.logged - 1)].message).arg(found.applied)
                              .arg(w.events[std::size_t(found.logged - 1)].durable);
}

Found Inspect(const Workload &w, const QString &original, const QString &database, const QByteArray &log,
              const QStringList &logBefore)
{
    Found found;
    try {
        InspectTable(w, original, database, found);
    } catch (const std::exception &e) {
        found.problems << QString::fromUtf8(e.what());
    }
    InspectLog(w, log, logBefore, found);
    return found;
}

// A kill's moment: a random share of one interval of the reference run.
// Interval 0 runs from the start to the first write, interval i from the
// i-th mark of progress to the next one, the last from the completion entry
// to the end.
struct Plan
{
    int interval;
    double share;
};

struct Trial
{
    int index = 0;
    Plan plan{};
    bool landed = false;   // the kill ended the program
    bool journal = false;  // it left a rollback journal: it struck inside a write transaction
    bool rerun = false;
    Found found;
    QStringList problems;
};

// One program folder, used for kill after kill.
struct Station
{
    ProgramUnderTest program;
    QByteArray settings;
};

class KillTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        table_ = std::make_unique<BigCardTable>(BigCardTable::Generate(kRecords, kSeed));
        store_ = std::make_unique<TempFolder>();
        table_->Write(TemplatePath());
    }
    static void TearDownTestSuite()
    {
        table_.reset();
        store_.reset();
    }
    static QString TemplatePath() { return store_->File(QStringLiteral("card.db")); }

    void Campaign(const Workload &w);

    static inline std::unique_ptr<BigCardTable> table_;
    static inline std::unique_ptr<TempFolder> store_;

private:
    const QByteArray seedLog_ = ProgramLog::OldEntry(ProgramLog::BatchComplete());
    const QStringList seedMessages_{ProgramLog::BatchComplete()};

    void Prepare(Station &s, const Workload &w) const
    {
        s.settings = s.program.WriteSettings(w.settings + "Import_File=" + s.program.ImportPath().toUtf8() + "\n");
        s.program.Write(s.program.ListPath(), w.list);
        s.program.Write(s.program.ImportPath(), w.import);
    }
    // A fresh copy of the database and the log of an earlier run.
    void Reset(Station &s) const
    {
        namespace fs = std::filesystem;
        fs::copy_file(TemplatePath().toStdString(), s.program.DatabasePath().toStdString(), fs::copy_options::overwrite_existing);
        fs::remove(s.program.JournalPath().toStdString());
        s.program.Write(s.program.LogPath(), seedLog_);
    }
    std::vector<double> Reference(Station &s, const Workload &w) const;
    Trial Kill(Station &s, const Workload &w, const std::vector<double> &gaps, int index, Plan plan, std::atomic<int> &journalReruns) const;
};

// An unkilled run: it must complete normally. Gives the seconds between its
// marks of progress: the start, the first write, every log entry, the end.
std::vector<double> KillTest::Reference(Station &s, const Workload &w) const
{
    Reset(s);
    ProgramProgress progress(s.program.DatabasePath(), s.program.LogPath());
    s.program.Start();
    std::vector<double> gaps;
    auto last = Clock::now();
    for (Mark mark = Mark::WritesBegan; mark == Mark::WritesBegan || mark == Mark::LogWritten;) {
        mark = progress.Next(s.program.ProcessFd(), Clock::now() + kRunLimit);
        gaps.push_back(std::chrono::duration<double>(Clock::now() - last).count());
        last = Clock::now();
    }
    const ProgramOutcome out = s.program.Wait(kRunLimit);
    EXPECT_EQ(out.status, 0) << out.output.toStdString();
    const Found found = Inspect(w, TemplatePath(), s.program.DatabasePath(), s.program.Read(s.program.LogPath()), seedMessages_);
    EXPECT_TRUE(found.problems.isEmpty()) << found.problems.join('\n').toStdString();
    EXPECT_EQ(found.applied, int(w.writes.size()));
    EXPECT_EQ(found.logged, int(w.events.size()));
    return gaps;
}

Trial KillTest::Kill(Station &s, const Workload &w, const std::vector<double> &gaps, int index, Plan plan,
                     std::atomic<int> &journalReruns) const
{
    Trial t;
    t.index = index;
    t.plan = plan;
    Reset(s);
    ProgramProgress progress(s.program.DatabasePath(), s.program.LogPath());
    s.program.Start();
    const auto deadline = Clock::now() + kRunLimit;
    for (int reached = 0; reached < plan.interval; ++reached) {
        const Mark mark = progress.Next(s.program.ProcessFd(), deadline);
        if (mark != Mark::WritesBegan && mark != Mark::LogWritten)
            break;
    }
    s.program.WaitForEnd(std::chrono::milliseconds(qint64(gaps[std::size_t(plan.interval)] * plan.share * 1000)));
    const ProgramOutcome out = s.program.Kill();
    t.landed = out.killed;
    if (!out.killed && out.status != 0)
        t.problems << QStringLiteral("the program ended by itself with status %1: %2").arg(out.status).arg(out.output);
    t.journal = QFileInfo(s.program.JournalPath()).size() > 0;

    // Looked at in a copy, so that the next run finds the journal the kill left.
    namespace fs = std::filesystem;
    const QString copy = s.program.File(QStringLiteral("verify/card.db"));
    fs::create_directories(QFileInfo(copy).absolutePath().toStdString());
    fs::copy_file(s.program.DatabasePath().toStdString(), copy.toStdString(), fs::copy_options::overwrite_existing);
    fs::remove((copy + QStringLiteral("-journal")).toStdString());
    if (fs::exists(s.program.JournalPath().toStdString()))
        fs::copy_file(s.program.JournalPath().toStdString(), (copy + QStringLiteral("-journal")).toStdString());
    t.found = Inspect(w, TemplatePath(), copy, s.program.Read(s.program.LogPath()), seedMessages_);
    t.problems << t.found.problems;
    if (s.program.Read(s.program.SettingsPath()) != s.settings)
        t.problems << QStringLiteral("the settings file changed");

    // Every sixth kill, and the first two that left a journal, are followed
    // by a new run on the killed database.
    t.rerun = t.landed && (index % 6 == 0 || (t.journal && journalReruns++ < 2));
    if (!t.rerun)
        return t;
    const ProgramOutcome again = s.program.Run(kRunLimit);
    if (again.status != 0)
        t.problems << QStringLiteral("the run after the kill ended with status %1: %2").arg(again.status).arg(again.output);
    const Found after = Inspect(w, TemplatePath(), s.program.DatabasePath(), s.program.Read(s.program.LogPath()), t.found.log);
    for (const QString &problem : after.problems)
        t.problems << QStringLiteral("after the run after the kill: ") + problem;
    if (after.applied != int(w.writes.size()) || after.logged != int(w.events.size()))
        t.problems << QStringLiteral("the run after the kill left %1 of %2 writes and %3 of %4 log entries")
                          .arg(after.applied).arg(w.writes.size()).arg(after.logged).arg(w.events.size());
    if (s.program.Read(s.program.SettingsPath()) != s.settings)
        t.problems << QStringLiteral("the settings file changed in the run after the kill");
    return t;
}

void KillTest::Campaign(const Workload &w)
{
    QElapsedTimer elapsed;
    elapsed.start();
    std::vector<std::unique_ptr<Station>> stations;
    for (int i = 0; i < kStations; ++i) {
        stations.push_back(std::make_unique<Station>());
        Prepare(*stations.back(), w);
    }
    const std::vector<double> gaps = Reference(*stations.front(), w);
    const int marks = int(w.events.size()) + 1;  // the first write, then every log entry
    ASSERT_EQ(int(gaps.size()), marks + 1) << "the reference run did not show every mark of progress";

    std::mt19937 random(kSeed);
    std::vector<Plan> plans;
    for (int i = 0; i < kMaxTrials; ++i) {
        const unsigned roll = random() % 100;
        const int interval = roll < 15 ? 0 : roll < 25 ? marks : 1 + int(random() % unsigned(marks - 1));
        plans.push_back({interval, random() / 4294967296.0});
    }

    std::mutex mutex;
    std::condition_variable done;
    std::vector<Trial> trials;
    int next = 0, landed = 0, running = 0;
    std::atomic<int> journalReruns = 0;
    const auto work = [&](Station &station) {
        for (;;) {
            int index;
            {
                std::unique_lock lock(mutex);
                done.wait(lock, [&] { return landed + running < kKills || running == 0; });
                if (landed >= kKills || next >= kMaxTrials)
                    return;
                index = next++;
                ++running;
            }
            Trial trial;
            try {
                trial = Kill(station, w, gaps, index, plans[std::size_t(index)], journalReruns);
            } catch (const std::exception &e) {
                if (station.program.Running())
                    station.program.Kill();
                trial.index = index;
                trial.problems << QString::fromUtf8(e.what());
            }
            {
                std::lock_guard lock(mutex);
                --running;
                landed += trial.landed ? 1 : 0;
                trials.push_back(std::move(trial));
            }
            done.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (auto &station : stations)
        threads.emplace_back(work, std::ref(*station));
    for (std::thread &thread : threads)
        thread.join();

    const int total = int(w.writes.size());
    int aimed[3] = {}, left[3] = {}, journals = 0, midRun = 0, reruns = 0;
    for (const Trial &t : trials) {
        EXPECT_TRUE(t.problems.isEmpty()) << w.name << " kill " << t.index << " (interval " << t.plan.interval << ", share "
                                          << t.plan.share << "):\n" << t.problems.join('\n').toStdString();
        if (!t.landed)
            continue;
        ++aimed[t.plan.interval == 0 ? 0 : t.plan.interval < marks ? 1 : 2];
        ++left[t.found.applied == 0 ? 0 : t.found.applied < total ? 1 : 2];
        journals += t.journal;
        midRun += (t.found.applied > 0 || t.journal) && t.found.logged < int(w.events.size());
        reruns += t.rerun;
    }
    EXPECT_EQ(landed, kKills);
    EXPECT_GE(midRun, 3) << "too few kills struck while the run was writing";
    std::printf("KillTest %s: seed %u, %d records, %d writes, %d log entries; %d kills in %d tries; "
                "aimed before/during/after the writes %d/%d/%d; left none/some/all of the writes %d/%d/%d, "
                "%d inside a write transaction, %d mid-run; %d runs after a kill completed; reference run %.2f s; %.1f s\n",
                w.name, kSeed, kRecords, total, int(w.events.size()), landed, int(trials.size()), aimed[0], aimed[1], aimed[2],
                left[0], left[1], left[2], journals, midRun, reruns,
                std::accumulate(gaps.begin(), gaps.end(), 0.0), elapsed.elapsed() / 1000.0);
}

TEST_F(KillTest, ImportRunSurvivesKillsAtAnyMoment)
{
    Campaign(ImportWorkload(*table_));
}

TEST_F(KillTest, BatchRunSurvivesKillsAtAnyMoment)
{
    Campaign(BatchWorkload(*table_));
}

} // namespace
