// Whole engine runs over a generated card database, one workload per process
// so that each reports its own peak resident memory; scripts/bench.sh drives
// it and sets the figures beside the sqlite3 shell's.
//
//   RunBench generate DATA RECORDS [wide]  card.db, empty.db, import files, list, log
//   RunBench run W1|W2|W3|W4|W6 DATA WORK   a fresh copy of DATA in WORK, one run
//   RunBench run none DATA WORK          the copy alone (what strace -c counts of it
//                                        is taken off a run's count)
//   RunBench compare ORIGINAL A B       the records that both A and B changed
//
// `run` prints one line: "<workload> <seconds> <peak KiB> <detail>".
#include "DiskFileSystem.h"
#include "Engine.h"
#include "Sqlite.h"
#include "SqliteCardStore.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The processor time of the process so far, user and system: on a machine
// that others load too, the figure that their load changes least.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The part of it spent in the kernel (page faults, reads and writes).
double SystemSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
}

// 31 classes of references, so that the prefix "C0" selects about 3.2% of a
// million records (32,258: within one run's 32,767 updates).
const char kClasses[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ12345";
constexpr long long kClassCount = sizeof kClasses - 1;
constexpr long long kImportLines = 32767;
constexpr long long kListImportLines = 10000;
constexpr long long kRefusedLines = 1000;
constexpr long long kLogEntries = 10000;

// The reference of number j; the numbers are a permutation of the rows.
QString Reference(long long j)
{
    return QStringLiteral("%1%2").arg(QLatin1Char(kClasses[j % kClassCount])).arg(j, 7, 10, QLatin1Char('0'));
}

const char kSchema[] = "CREATE TABLE CARD_DATA (REFERENCE TEXT(20), TITLE TEXT(100), AUTHOR TEXT(40), STATUS TEXT(12), "
                       "LOCATION TEXT(12), PRICE CURRENCY, QUANTITY INTEGER, ACQUIRED DATE)";

// 1,000,003 is a prime beyond any table size here, so i -> i * p mod n is a
// permutation of 0..n-1: unique references in a shuffled order.
void CreateCards(const QString &path, long long records)
{
    QFile(path).open(QIODevice::WriteOnly);
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    db.Execute(kSchema);
    if (records == 0)
        return;
    db.Execute("BEGIN");
    db.Cached("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?1), "
              "j(i, j) AS (SELECT i, (i * 1000003) % ?1 FROM n) "
              "INSERT INTO CARD_DATA SELECT substr('ABCDEFGHIJKLMNOPQRSTUVWXYZ12345', j % 31 + 1, 1) || printf('%07d', j), "
              "'Card title ' || i, 'Author ' || (i % 997), 'IN STOCK', 'SHELF ' || (i % 200), "
              "round(4.5 + (i % 400) * 0.25, 2), i % 50, date('2000-01-01', '+' || (i % 9000) || ' days') FROM j")
        .Bind(1, qint64(records))
        .Execute();
    db.Execute("COMMIT");
}

// The second shape, data this program was not designed around: wide
// records (titles of 40 to 100 characters, about 140 bytes a record on disk)
// in random order. A reference is the class letter, the number's million in
// two digits and the rest in six, so that "A00*" selects the 32,258 records
// of class A among the first million at any table size.
QString WideReference(long long j)
{
    return QStringLiteral("%1%2%3")
        .arg(QLatin1Char(kClasses[j % kClassCount]))
        .arg(j / 1000000, 2, 10, QLatin1Char('0'))
        .arg(j % 1000000, 6, 10, QLatin1Char('0'));
}

// A reference no record has: no table here reaches 99 million records.
QString WideMiss(std::mt19937_64 &random)
{
    return QStringLiteral("%1%2").arg(QLatin1Char(kClasses[random() % kClassCount])).arg(99000000 + random() % 1000000);
}

QString Words(std::mt19937_64 &random, long long length)
{
    static const char *const words[] = {"the", "history", "of", "northern", "railways", "and", "their", "engines",
                                        "collected", "letters", "volume", "second", "edition", "with", "maps",
                                        "an", "illustrated", "guide", "to", "garden", "birds", "in", "winter"};
    QString text;
    while (text.size() < length) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QLatin1String(words[random() % std::size(words)]);
    }
    text.truncate(length);
    text[0] = text[0].toUpper();
    return text;
}

void CreateWideCards(const QString &path, const std::vector<long long> &order)
{
    QFile(path).open(QIODevice::WriteOnly);
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    db.Execute(kSchema);
    std::mt19937_64 random(7);
    db.Execute("BEGIN");
    sqlite::Statement &insert = db.Cached("INSERT INTO CARD_DATA VALUES (?1, ?2, ?3, 'IN STOCK', ?4, ?5, ?6, "
                                          "date('2000-01-01', '+' || ?7 || ' days'))");
    for (std::size_t i = 0; i < order.size(); ++i) {
        insert.Bind(1, WideReference(order[i]))
            .Bind(2, Words(random, 40 + qint64(random() % 61)))
            .Bind(3, Words(random, 8 + qint64(random() % 9)))
            .Bind(4, QStringLiteral("SHELF %1").arg(random() % 200))
            .Bind(5, double(random() % 40000) / 100)
            .Bind(6, qint64(random() % 50))
            .Bind(7, qint64(random() % 9000))
            .Execute();
    }
    db.Execute("COMMIT");
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// Lines "REFERENCE,NEWSTATUS": distinct records (an affine map mod n with a
// prime factor is one to one), every 20th line a reference no record has.
QByteArray ImportLines(long long records, long long lines, long long multiplier, const char *status)
{
    QByteArray text;
    for (long long k = 0; k < lines; ++k) {
        const QString reference = k % 20 == 7 ? QStringLiteral("9%1N").arg(k, 7, 10, QLatin1Char('0'))
                                              : Reference((k * multiplier + 12345) % records);
        text += reference.toLatin1() + ',' + status + QByteArray::number(k % 97) + "\r\n";
    }
    return text;
}

// Lines "REFERENCE,NEWSTATUS" of distinct records in random order, a 20th
// of them, at random places, references no record has.
QByteArray WideImportLines(long long records, long long lines, std::mt19937_64 &random, const char *status)
{
    std::vector<long long> picked(static_cast<std::size_t>(records));
    std::iota(picked.begin(), picked.end(), 0);
    std::shuffle(picked.begin(), picked.end(), random);
    QByteArray text;
    for (long long k = 0; k < lines; ++k) {
        const QString reference = random() % 20 == 0 ? WideMiss(random) : WideReference(picked[std::size_t(k)]);
        text += reference.toLatin1() + ',' + status + QByteArray::number(k % 97) + "\r\n";
    }
    return text;
}

int Generate(const QString &data, long long records, bool wide)
{
    QDir().mkpath(data);
    for (const char *name : {"card.db", "empty.db"})
        QFile::remove(data + QLatin1Char('/') + QLatin1String(name));
    const auto start = Clock::now();
    CreateCards(data + QStringLiteral("/empty.db"), 0);
    QByteArray refused;
    if (wide) {
        std::mt19937_64 random(13);
        std::vector<long long> order(static_cast<std::size_t>(records));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), random);
        CreateWideCards(data + QStringLiteral("/card.db"), order);
        WriteFile(data + QStringLiteral("/import.csv"), WideImportLines(records, kImportLines, random, "ST"));
        WriteFile(data + QStringLiteral("/import10k.csv"), WideImportLines(records, kListImportLines, random, "LS"));
        for (long long k = 0; k < kRefusedLines; ++k)
            refused += WideReference(order[std::size_t(random() % records)]).toLatin1() + ",many\r\n";
    } else {
        CreateCards(data + QStringLiteral("/card.db"), records);
        WriteFile(data + QStringLiteral("/import.csv"), ImportLines(records, kImportLines, 7919, "ST"));
        WriteFile(data + QStringLiteral("/import10k.csv"), ImportLines(records, kListImportLines, 104729, "LS"));
        for (long long k = 0; k < kRefusedLines; ++k)
            refused += Reference((k * 7 + 11) % records).toLatin1() + ",many\r\n";
    }
    // The batch run's search value: class C or A among the first million
    // records, 32,258 of them at any table size from 1,000,000 on.
    WriteFile(data + QStringLiteral("/batch.txt"), wide ? "A00*" : "C0*");
    // A quantity field takes whole numbers only: every update is refused.
    WriteFile(data + QStringLiteral("/refused.csv"), refused);
    WriteFile(data + QStringLiteral("/list.lst"),
              "Fixed Value_,TITLE,RELISTED\r\nFixed Value_,AUTHOR,CATALOGUED\r\nFile Value__,STATUS,1\r\n");
    QByteArray log;
    for (long long k = 0; k < kLogEntries; ++k)
        log += "12-04-2026 3:07:09 PM  Cancel update - Error in Record A" + QByteArray::number(k) + " of field QUANTITY\r\n";
    WriteFile(data + QStringLiteral("/Batch_Log.lst"), log);
    std::printf("generated %lld %s records and the import files in %.1f s\n", records, wide ? "wide" : "plain", Seconds(start));
    return 0;
}

long long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The most memory SQLite had allocated at once, its page caches included.
long long SqlitePeakKiB()
{
    sqlite3_int64 current = 0;
    sqlite3_int64 highest = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &highest, 0);
    return highest / 1024;
}

// Counts the messages a run shows instead of showing them.
class CountingMessageBox final : public MessageBox
{
public:
    void Show(const QString &, MsgIcon) override { ++shown; }
    int shown = 0;
};

void Copy(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(from), qPrintable(to));
        std::exit(1);
    }
}

int Run(const QString &workload, const QString &data, const QString &work)
{
    QDir(work).removeRecursively();
    QDir().mkpath(work + QStringLiteral("/log"));
    Copy(data + QStringLiteral("/card.db"), work + QStringLiteral("/card.db"));
    Copy(data + QStringLiteral("/list.lst"), work + QStringLiteral("/list.lst"));
    if (workload == QLatin1String("W6"))
        Copy(data + QStringLiteral("/Batch_Log.lst"), work + QStringLiteral("/log/Batch_Log.lst"));

    CountingMessageBox msg;
    SystemClock clock;
    DiskFileSystem fs;
    ProcessExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(work)};
    SqliteCardStore store(work + QStringLiteral("/card.db"));
    RunRequest run;
    RunProgress progress;
    Engine engine(run, progress, store, services);

    run.searchField = QStringLiteral("REFERENCE");
    run.replaceField = QStringLiteral("STATUS");
    // Runs keep their undo journal, as the program's do unless Undo_Journal=0.
    run.undoJournal = qgetenv("KVR_BENCH_UNDO_JOURNAL") != "0";
    const bool batch = workload == QLatin1String("W1") || workload == QLatin1String("W2");
    run.mode = batch ? RunMode::Batch : RunMode::Import;
    if (workload == QLatin1String("W1")) {
        QFile batch(data + QStringLiteral("/batch.txt"));
        batch.open(QIODevice::ReadOnly);
        run.searchValue = QString::fromLatin1(batch.readAll());
        run.replaceValue = QStringLiteral("X");
    } else if (workload == QLatin1String("W2")) {
        run.searchField = QStringLiteral("LOCATION");
        run.searchValue = QStringLiteral("SHELF 17");
        run.useList = true;
    } else if (workload == QLatin1String("W3")) {
        run.importFile = data + QStringLiteral("/import.csv");
    } else if (workload == QLatin1String("W4")) {
        run.importFile = data + QStringLiteral("/import10k.csv");
        run.useList = true;
    } else if (workload == QLatin1String("W6")) {
        run.importFile = data + QStringLiteral("/refused.csv");
        run.replaceField = QStringLiteral("QUANTITY");
    } else if (workload == QLatin1String("none")) {
        return 0;
    } else {
        std::fprintf(stderr, "unknown workload %s\n", qPrintable(workload));
        return 2;
    }

    // The fresh copy's pages reach the disk before the run: its writeback
    // is not the run's, and would fall on the run's own syncs.
    ::sync();
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    const double systemStart = SystemSeconds();
    if (batch)
        engine.cmdexeNow_Click();
    else
        engine.Command3_Click();
    const double seconds = Seconds(start);
    const double cpu = CpuSeconds() - cpuStart;
    const double system = SystemSeconds() - systemStart;
    const long long peak = PeakRssKiB();

    // For the refusals, the cost of the file writes alone: one whole-file
    // write of the final log per refused update, as the program writes it
    // (a temporary file synced, then renamed over the log), and the same
    // without the sync.
    QString detail = QStringLiteral("cpu_s=%1 sys_s=%6 sqlite_peak_kib=%2 records_left=%3 errors=%4 messages=%5")
                         .arg(cpu, 0, 'f', 3)
                         .arg(SqlitePeakKiB())
                         .arg(int(progress.recordsLeft))
                         .arg(int(progress.errorCount))
                         .arg(msg.shown)
                         .arg(system, 0, 'f', 3);
    if (workload == QLatin1String("W6")) {
        const QString log = work + QStringLiteral("/log/Batch_Log.lst");
        const TextContent content = fs.ReadWhole(log);
        const QString copy = work + QStringLiteral("/log/write_cost.lst");
        const auto writes = Clock::now();
        for (long long k = 0; k < kRefusedLines; ++k)
            fs.WriteWhole(copy, content.text, content.encoding);
        const double synced = Seconds(writes);
        const QByteArray bytes = content.text.toUtf8();
        const QString temporary = copy + QStringLiteral(".new");
        const auto unsynced = Clock::now();
        for (long long k = 0; k < kRefusedLines; ++k) {
            QFile file(temporary);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                return 1;
            file.close();
            std::rename(qPrintable(temporary), qPrintable(copy));
        }
        detail += QStringLiteral(" log_lines=%1 writes_only_s=%2 unsynced_s=%3")
                      .arg(content.text.count(QStringLiteral("\r\n")))
                      .arg(synced, 0, 'f', 3)
                      .arg(Seconds(unsynced), 0, 'f', 3);
    }
    std::printf("%s %.3f %lld %s\n", qPrintable(workload), seconds, peak, qPrintable(detail));
    return 0;
}

// Rows of A that differ from ORIGINAL in any field, and so on; the check
// passes when every record both changed holds the same values in A and B.
int Compare(const QString &original, const QString &a, const QString &b)
{
    sqlite::Database db = sqlite::Database::OpenExisting(original);
    db.Cached("ATTACH ?1 AS a").Bind(1, a).Execute();
    db.Cached("ATTACH ?1 AS b").Bind(1, b).Execute();
    const char *const fields[] = {"REFERENCE", "TITLE", "AUTHOR", "STATUS", "LOCATION", "PRICE", "QUANTITY", "ACQUIRED"};
    auto differs = [&](const char *x, const char *y) {
        QByteArray sql = "(";
        for (const char *field : fields) {
            if (sql.size() > 1)
                sql += " OR ";
            sql += QByteArray(x) + '.' + field + " IS NOT " + y + '.' + field;
        }
        return sql + ')';
    };
    const QByteArray from = "FROM main.CARD_DATA o JOIN a.CARD_DATA x ON x.rowid = o.rowid JOIN b.CARD_DATA y ON y.rowid = o.rowid ";
    const QByteArray sql = "SELECT sum(" + differs("x", "o") + "), sum(" + differs("y", "o") + "), sum(" + differs("x", "o")
                           + " AND " + differs("y", "o") + "), sum(" + differs("x", "o") + " AND " + differs("y", "o")
                           + " AND " + differs("x", "y") + "), count(*) " + from;
    long long changedA = 0, changedB = 0, both = 0, mismatched = 0, rows = 0;
    db.Cached(sql).ForEachRow([&](sqlite::Statement &row) {
        changedA = row.Int64(0);
        changedB = row.Int64(1);
        both = row.Int64(2);
        mismatched = row.Int64(3);
        rows = row.Int64(4);
    });
    const bool equal = mismatched == 0 && both > 0;
    std::printf("%s tool changed %lld, shell changed %lld, both %lld, differing %lld (of %lld rows)\n",
                equal ? "EQUAL" : "DIFFERENT", changedA, changedB, both, mismatched, rows);
    return equal ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if ((argc == 4 || (argc == 5 && std::strcmp(argv[4], "wide") == 0)) && std::strcmp(argv[1], "generate") == 0)
        return Generate(QString::fromLocal8Bit(argv[2]), std::atoll(argv[3]), argc == 5);
    if (argc == 5 && std::strcmp(argv[1], "run") == 0)
        return Run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "compare") == 0)
        return Compare(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    std::fprintf(stderr, "usage: %s generate DATA RECORDS [wide] | run W1|W2|W3|W4|W6|none DATA WORK | compare ORIGINAL A B\n", argv[0]);
    return 2;
}
