// The cost of the record update's match walk over a large card table: one
// batch walk with a prefix pattern, a whole batch run (counting walk and
// update walk), and import runs of one walk per line for a literal value.
//
//   MatchWalkBench [records = 200000] [import lines = 5000]
#include "CardStore.h"
#include "Sqlite.h"
#include "SqliteCardStore.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// 33 classes of references, so that "C*" selects about 3% of the records.
const char kClasses[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567";
constexpr long long kClassCount = sizeof kClasses - 1;

QString Reference(long long j)
{
    return QStringLiteral("%1%2").arg(QLatin1Char(kClasses[j % kClassCount])).arg(j, 7, 10, QLatin1Char('0'));
}

void CreateTable(const QString &path, long long records)
{
    QFile(path).open(QIODevice::WriteOnly);
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    db.Execute("CREATE TABLE CARD_DATA (REFERENCE TEXT(10), NAME TEXT(50), QTY INTEGER, MARK TEXT(10))");
    // Reference numbers in scrambled order: a prime beyond any table size
    // makes i -> i * p mod n a permutation.
    db.Execute("BEGIN");
    db.Cached("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?1), "
              "j(i, j) AS (SELECT i, (i * 1000003) % ?1 FROM n) "
              "INSERT INTO CARD_DATA SELECT substr('ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567', j % 33 + 1, 1) || printf('%07d', j), "
              "'Card holder ' || i, i % 100, NULL FROM j")
        .Bind(1, qint64(records))
        .Execute();
    db.Execute("COMMIT");
}

// The record update's walk; returns the records written.
long long Walk(CardStore &store, const QString &field, const QString &value, const QString &writeField, const QString &text)
{
    store.SetDataField(writeField);
    store.Refresh();
    store.MoveFirst();
    const QString criteria = UpdateCriteria(field, value);
    long long written = 0;
    while (!store.IsEOF()) {
        store.Find(criteria);
        store.SetText(text);
        if (store.IsEOF())
            break;
        ++written;
        store.MoveNext();
    }
    return written;
}

long long Count(CardStore &store, const QString &field, const QString &value)
{
    store.Refresh();
    store.MoveFirst();
    const QString criteria = UpdateCriteria(field, value);
    long long count = 0;
    while (!store.IsEOF()) {
        store.Find(criteria);
        if (store.IsEOF())
            break;
        ++count;
        store.MoveNext();
    }
    return count;
}

// Import lines: 95% the reference of a record, 5% a value no record has.
std::vector<QString> ImportValues(long long records, long long lines)
{
    std::mt19937_64 random(20240611);
    std::uniform_int_distribution<long long> pick(0, records - 1);
    std::vector<QString> values;
    for (long long i = 0; i < lines; ++i)
        values.push_back(i % 20 == 7 ? QStringLiteral("A9%1").arg(pick(random), 7, 10, QLatin1Char('0')) : Reference(pick(random)));
    return values;
}

void Import(const QString &path, const std::vector<QString> &values, const QString &writeField, const char *label)
{
    SqliteCardStore store(path);
    const auto start = Clock::now();
    long long written = 0;
    double firstTwo = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const QString text = writeField == QLatin1String("REFERENCE") ? values[i] + QLatin1Char('r') : QStringLiteral("line %1").arg(i);
        written += Walk(store, QStringLiteral("REFERENCE"), values[i], writeField, text);
        if (i == 1)
            firstTwo = Seconds(start);
    }
    store.Flush();
    const double total = Seconds(start);
    const double rest = values.size() > 2 ? (total - firstTwo) / double(values.size() - 2) : 0;
    std::printf("%-34s %9.3f s  %5zu walks, %lld written; first two walks %.3f s, then %.1f us per walk\n", label, total, values.size(),
                written, firstTwo, rest * 1e6);
}

long long PeakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    const long long records = argc > 1 ? std::atoll(argv[1]) : 200000;
    const long long lines = argc > 2 ? std::atoll(argv[2]) : 5000;
    if (records <= 0 || lines < 0) {
        std::fprintf(stderr, "usage: %s [records] [import lines]\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("card.db"));

    auto start = Clock::now();
    CreateTable(path, records);
    std::printf("%lld records generated in %.3f s\n", records, Seconds(start));

    {
        sqlite::Database db = sqlite::Database::OpenExisting(path);
        db.Cached("SELECT count(*) FROM CARD_DATA WHERE MARK IS NULL").QueryInt64(); // warm the file cache
        start = Clock::now();
        db.Execute("BEGIN");
        db.Execute("UPDATE CARD_DATA SET MARK = 'sql' WHERE REFERENCE LIKE 'C%'");
        db.Execute("COMMIT");
        std::printf("%-34s %9.3f s  (%lld records)\n", "sqlite3 UPDATE ... LIKE 'C%'", Seconds(start), db.Changes());
    }
    {
        SqliteCardStore store(path);
        start = Clock::now();
        const long long written = Walk(store, QStringLiteral("REFERENCE"), QStringLiteral("C*"), QStringLiteral("MARK"), QStringLiteral("walk"));
        store.Flush();
        std::printf("%-34s %9.3f s  (%lld records)\n", "one batch walk 'C*'", Seconds(start), written);
    }
    {
        SqliteCardStore store(path);
        start = Clock::now();
        const long long counted = Count(store, QStringLiteral("REFERENCE"), QStringLiteral("C*"));
        const long long written = Walk(store, QStringLiteral("REFERENCE"), QStringLiteral("C*"), QStringLiteral("MARK"), QStringLiteral("run"));
        store.Flush();
        std::printf("%-34s %9.3f s  (%lld counted, %lld written)\n", "batch run 'C*' (count + update)", Seconds(start), counted, written);
    }

    const std::vector<QString> values = ImportValues(records, lines);
    Import(path, values, QStringLiteral("NAME"), "import, writing NAME");
    Import(path, values, QStringLiteral("REFERENCE"), "import, renaming REFERENCE");

    std::printf("peak resident memory %lld KiB\n", PeakRssKiB());
    return 0;
}
