// Whole engine runs over a generated card database, one workload per process
// so that each reports its own peak resident memory; scripts/bench.sh drives
// it and sets the figures beside the sqlite3 shell's.
//
//   RunBench generate DATA RECORDS      card.db, empty.db, import files, list, log
//   RunBench run W1|W2|W3|W4|W6 DATA WORK   a fresh copy of DATA in WORK, one run
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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// 31 classes of references, so that the prefix "C" selects about 3.2% of the
// records (32,258 of 1,000,000: within one run's 32,767 updates).
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

// 1,000,003 is a prime beyond any table size here, so i -> i * p mod n is a
// permutation of 0..n-1: unique references in a shuffled order.
void CreateCards(const QString &path, long long records)
{
    QFile(path).open(QIODevice::WriteOnly);
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    db.Execute("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), TITLE TEXT(60), AUTHOR TEXT(40), STATUS TEXT(12), "
               "LOCATION TEXT(12), PRICE CURRENCY, QUANTITY INTEGER, ACQUIRED DATE)");
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

int Generate(const QString &data, long long records)
{
    QDir().mkpath(data);
    for (const char *name : {"card.db", "empty.db"})
        QFile::remove(data + QLatin1Char('/') + QLatin1String(name));
    const auto start = Clock::now();
    CreateCards(data + QStringLiteral("/card.db"), records);
    CreateCards(data + QStringLiteral("/empty.db"), 0);
    WriteFile(data + QStringLiteral("/import.csv"), ImportLines(records, kImportLines, 7919, "ST"));
    WriteFile(data + QStringLiteral("/import10k.csv"), ImportLines(records, kListImportLines, 104729, "LS"));
    // A quantity field takes whole numbers only: every update is refused.
    QByteArray refused;
    for (long long k = 0; k < kRefusedLines; ++k)
        refused += Reference((k * 7 + 11) % records).toLatin1() + ",many\r\n";
    WriteFile(data + QStringLiteral("/refused.csv"), refused);
    WriteFile(data + QStringLiteral("/list.lst"),
              "Fixed Value_,TITLE,RELISTED\r\nFixed Value_,AUTHOR,CATALOGUED\r\nFile Value__,STATUS,1\r\n");
    QByteArray log;
    for (long long k = 0; k < kLogEntries; ++k)
        log += "12-04-2026 3:07:09 PM  Cancel update - Error in Record A" + QByteArray::number(k) + " of field QUANTITY\r\n";
    WriteFile(data + QStringLiteral("/Batch_Log.lst"), log);
    std::printf("generated %lld records and the import files in %.1f s\n", records, Seconds(start));
    return 0;
}

long long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
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
    const bool batch = workload == QLatin1String("W1") || workload == QLatin1String("W2");
    run.mode = batch ? RunMode::Batch : RunMode::Import;
    if (workload == QLatin1String("W1")) {
        run.searchValue = QStringLiteral("C*");
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
    } else {
        std::fprintf(stderr, "unknown workload %s\n", qPrintable(workload));
        return 2;
    }

    const auto start = Clock::now();
    if (batch)
        engine.cmdexeNow_Click();
    else
        engine.Command3_Click();
    const double seconds = Seconds(start);
    const long long peak = PeakRssKiB();

    // For the refusals, the cost of the file writes alone: one whole-file
    // write of the final log per refused update.
    QString detail = QStringLiteral("records_left=%1 errors=%2 messages=%3")
                         .arg(int(progress.recordsLeft)).arg(int(progress.errorCount)).arg(msg.shown);
    if (workload == QLatin1String("W6")) {
        const QString log = work + QStringLiteral("/log/Batch_Log.lst");
        const TextContent content = fs.ReadWhole(log);
        const QString copy = work + QStringLiteral("/log/write_cost.lst");
        const auto writes = Clock::now();
        for (long long k = 0; k < kRefusedLines; ++k)
            fs.WriteWhole(copy, content.text, content.encoding);
        detail += QStringLiteral(" log_lines=%1 writes_only_s=%2")
                      .arg(content.text.count(QStringLiteral("\r\n")))
                      .arg(Seconds(writes), 0, 'f', 3);
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
    if (argc == 4 && std::strcmp(argv[1], "generate") == 0)
        return Generate(QString::fromLocal8Bit(argv[2]), std::atoll(argv[3]));
    if (argc == 5 && std::strcmp(argv[1], "run") == 0)
        return Run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "compare") == 0)
        return Compare(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    std::fprintf(stderr, "usage: %s generate DATA RECORDS | run W1|W2|W3|W4|W6 DATA WORK | compare ORIGINAL A B\n", argv[0]);
    return 2;
}
