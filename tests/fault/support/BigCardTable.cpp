#include "BigCardTable.h"

#include <sqlite3.h>

#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char *const kNames[BigCardTable::kFields] = {"REFERENCE", "TITLE", "LOCATION", "STATUS", "QTY"};

struct CloseDb
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct FinalizeStatement
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

[[noreturn]] void Fail(sqlite3 *db, const QString &path, const char *what)
{
    throw std::runtime_error(std::string(what) + " " + path.toStdString() + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

Db Open(const QString &path, int flags)
{
    sqlite3 *raw = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
    Db db(raw);
    if (result != SQLITE_OK)
        Fail(db.get(), path, "cannot open");
    sqlite3_busy_timeout(db.get(), 5000);
    return db;
}

Statement Prepare(sqlite3 *db, const QString &path, const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        Fail(db, path, "cannot prepare");
    return Statement(raw);
}

void Execute(sqlite3 *db, const QString &path, const char *sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(db, path, "cannot write");
}

} // namespace

QString BigCardTable::FieldName(Field field)
{
    return QString::fromLatin1(kNames[field]);
}

// Raw engine output only: the distributions of <random> differ between
// standard libraries, the engine does not.
BigCardTable BigCardTable::Generate(int records, quint32 seed)
{
    std::mt19937 random(seed);
    std::vector<int> numbers(std::size_t(records), 0);
    std::iota(numbers.begin(), numbers.end(), 0);
    for (std::size_t i = numbers.size(); i > 1; --i)
        std::swap(numbers[i - 1], numbers[random() % i]);

    BigCardTable table;
    for (int i = 0; i < records; ++i) {
        table.columns_[Reference] << QStringLiteral("C%1").arg(numbers[std::size_t(i)], 6, 10, QLatin1Char('0'));
        table.columns_[Title] << QStringLiteral("Card number %1").arg(i + 1);
        table.columns_[Location] << QStringLiteral("SHELF %1").arg(1 + random() % 60);
        table.columns_[Status] << QStringLiteral("IN");
        table.columns_[Qty] << QString::number(random() % 500);
    }
    return table;
}

std::vector<BigCardTable::Cell> BigCardTable::Differences(const QString &path, const QString &originalPath)
{
    const Db db = Open(path, SQLITE_OPEN_READWRITE);
    const Statement attach = Prepare(db.get(), path, "ATTACH ?1 AS original");
    const QByteArray original = originalPath.toUtf8();
    sqlite3_bind_text(attach.get(), 1, original.constData(), int(original.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(attach.get()) != SQLITE_DONE)
        Fail(db.get(), originalPath, "cannot attach");

    const Statement count = Prepare(db.get(), path,
                                    "SELECT (SELECT count(*) FROM main.CARD_DATA), (SELECT count(*) FROM original.CARD_DATA), "
                                    "(SELECT count(*) FROM main.CARD_DATA m JOIN original.CARD_DATA o ON o.rowid = m.rowid)");
    if (sqlite3_step(count.get()) != SQLITE_ROW)
        Fail(db.get(), path, "cannot count the records of");
    const qint64 records = sqlite3_column_int64(count.get(), 0);
    if (records != sqlite3_column_int64(count.get(), 1) || records != sqlite3_column_int64(count.get(), 2))
        throw std::runtime_error(path.toStdString() + " does not hold the records of " + originalPath.toStdString());

    QByteArray sql = "SELECT m.rowid";
    QByteArray differs;
    for (const char *name : kNames) {
        sql += QByteArray(", m.") + name + QByteArray(" IS NOT o.") + name + ", m." + name;
        differs += (differs.isEmpty() ? " WHERE m." : " OR m.") + QByteArray(name) + " IS NOT o." + name;
    }
    sql += " FROM main.CARD_DATA m JOIN original.CARD_DATA o ON o.rowid = m.rowid" + differs + " ORDER BY m.rowid";
    const Statement select = Prepare(db.get(), path, sql.constData());
    std::vector<Cell> cells;
    int result;
    while ((result = sqlite3_step(select.get())) == SQLITE_ROW) {
        const int record = int(sqlite3_column_int64(select.get(), 0)) - 1;
        for (int field = 0; field < kFields; ++field) {
            if (sqlite3_column_int(select.get(), 1 + 2 * field) == 0)
                continue;
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(select.get(), 2 + 2 * field));
            cells.push_back({record, Field(field),
                             text ? QString::fromUtf8(text, sqlite3_column_bytes(select.get(), 2 + 2 * field)) : QStringLiteral("<NULL>")});
        }
    }
    if (result != SQLITE_DONE)
        Fail(db.get(), path, "cannot read");
    return cells;
}

QString BigCardTable::IntegrityCheck(const QString &path)
{
    const Db db = Open(path, SQLITE_OPEN_READWRITE);
    const Statement check = Prepare(db.get(), path, "PRAGMA integrity_check");
    QStringList findings;
    int result;
    while ((result = sqlite3_step(check.get())) == SQLITE_ROW)
        findings << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check.get(), 0)));
    if (result != SQLITE_DONE)
        findings << QString::fromUtf8(sqlite3_errmsg(db.get()));
    return findings.join(QStringLiteral("; "));
}

void BigCardTable::Write(const QString &path) const
{
    const Db db = Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Execute(db.get(), path, "CREATE TABLE CARD_DATA (REFERENCE TEXT(20), TITLE TEXT(50), LOCATION TEXT(20), STATUS TEXT(12), QTY SHORT)");
    Execute(db.get(), path, "BEGIN");
    const Statement insert = Prepare(db.get(), path, "INSERT INTO CARD_DATA VALUES (?1, ?2, ?3, ?4, ?5)");
    for (int i = 0; i < Size(); ++i) {
        for (int field = Reference; field < Qty; ++field) {
            const QByteArray text = columns_[std::size_t(field)][i].toUtf8();
            sqlite3_bind_text(insert.get(), field + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        sqlite3_bind_int64(insert.get(), Qty + 1, columns_[Qty][i].toLongLong());
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            Fail(db.get(), path, "cannot insert into");
        sqlite3_reset(insert.get());
    }
    Execute(db.get(), path, "COMMIT");
}
