#include "MatchIndex.h"

#include "SearchTexts.h"
#include "Sqlite.h"

#include <QScopeGuard>

#include <algorithm>

namespace {

// kvr_key(value, which, dateField): as a BLOB, so that keys compare byte by
// byte, the LikePattern key of the value's own SearchText (which 0) or of its
// other one (which 1); NULL for NULL and for another text the value has not.
void KeyFunction(sqlite3_context *context, int, sqlite3_value **args)
{
    try {
        const SearchTexts texts(args[0], sqlite3_value_int(args[2]) != 0);
        const bool own = sqlite3_value_int(args[1]) == 0;
        if (texts.IsNull() || (!own && texts.Other().empty())) {
            sqlite3_result_null(context);
            return;
        }
        const std::string key = LikePattern::Key(own ? texts.Own() : std::string_view(texts.Other()));
        sqlite3_result_blob64(context, key.data(), key.size(), SQLITE_TRANSIENT);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

constexpr char kKeySeparator = '\xFF';

std::vector<std::string_view> SplitKeys(std::string_view keys)
{
    std::vector<std::string_view> split;
    for (std::size_t end = keys.find(kKeySeparator); end != std::string_view::npos; end = keys.find(kKeySeparator)) {
        split.push_back(keys.substr(0, end));
        keys.remove_prefix(end + 1);
    }
    split.push_back(keys);
    return split;
}

QByteArray Sql(const QString &text)
{
    return text.toUtf8();
}

} // namespace

MatchIndex::MatchIndex(sqlite::Database &db)
    : db_(db)
{
    db.CreateFunction("kvr_key", 3, nullptr, KeyFunction);
}

bool MatchIndex::Covers(const QString &field) const
{
    return !field_.isEmpty() && field_.compare(field, Qt::CaseInsensitive) == 0;
}

// The entries are inserted in key order: SQLite sorts them once, and each
// page of the index is written once. Inserted in table order they land at
// random places of a b-tree many times the size of the TEMP database's page
// cache, whose pages are then read and written over and over: a build took
// 2.5 s of processor time for 1,000,000 records this way, 1.6 s sorted (the
// key function itself is about a twentieth of either). kvr_key is called for
// the other text only where a value can have one: a real number, or any
// value of a date field.
//
// SQLite lets a sort hold as much as the main database's page cache may, and
// a run's write groups raise that to 128 MiB: the build lowers it to
// SQLite's default while it runs, which drops the cache's pages (all clean:
// the store commits before it builds), so that the cache and the sort never
// hold 128 MiB each. The sort takes as long in 2 MB.
void MatchIndex::Build(const QString &field, bool dateField, const QString &rowid)
{
    const std::optional<qint64> cacheSize = db_.Cached("PRAGMA main.cache_size").QueryInt64();
    db_.Execute("PRAGMA main.cache_size = -2000");
    const auto restore = qScopeGuard([&] {
        try {
            db_.Execute("PRAGMA main.cache_size = " + QByteArray::number(cacheSize.value_or(-2000)));
        } catch (const sqlite::Error &) {
            // The cache stays small: slower writes, nothing wrong.
        }
    });
    // A table dropped in a transaction that was then rolled back is back.
    field_.clear();
    stored_ = true;
    db_.Execute("DROP TABLE IF EXISTS temp.kvr_match_key");
    db_.Execute("CREATE TABLE temp.kvr_match_key (k BLOB NOT NULL, rid INTEGER NOT NULL, PRIMARY KEY (k, rid)) WITHOUT ROWID");
    dateField_ = dateField ? QStringLiteral("1") : QStringLiteral("0");
    const QString column = sqlite::QuoteIdentifier(field);
    const QString other = dateField ? QStringLiteral("1") : QStringLiteral("typeof(c.%1) = 'real'").arg(column);
    db_.Execute(Sql(QStringLiteral("INSERT OR IGNORE INTO temp.kvr_match_key SELECT k, rid FROM (SELECT kvr_key(c.%1, n.column1, %3) AS k, c.%2 AS rid "
                                   "FROM main.CARD_DATA AS c CROSS JOIN (VALUES (0), (1)) AS n WHERE c.%1 IS NOT NULL AND (n.column1 = 0 OR %4)) "
                                   "WHERE k IS NOT NULL ORDER BY 1, 2")
                        .arg(column, rowid, dateField_, other)));
    field_ = field;
    rowid_ = rowid;
}

void MatchIndex::Forget() noexcept
{
    field_.clear();
    if (!stored_)
        return;
    try {
        db_.Execute("DROP TABLE IF EXISTS temp.kvr_match_key");
        stored_ = false;
    } catch (...) {
        // Left behind, it is dropped by the next Build.
    }
}

// The entries that can match are those whose key lies in [prefix, prefix
// followed by 0xFF): no key holds that byte.
std::vector<qint64> MatchIndex::Matches(const LikePattern &pattern, qint64 from)
{
    const std::string &prefix = pattern.KeyPrefix();
    Q_ASSERT(!field_.isEmpty() && !prefix.empty());
    std::vector<qint64> rowids;
    db_.Cached("SELECT rid, k FROM temp.kvr_match_key WHERE k >= ?1 AND k < ?2")
        .BindBlob(1, prefix)
        .BindBlob(2, prefix + '\xFF')
        .ForEachRow([&](const sqlite::Statement &row) {
            const qint64 rowid = row.Int64(0);
            if (rowid >= from && pattern.MatchesKey(row.Blob(1)))
                rowids.push_back(rowid);
        });
    std::sort(rowids.begin(), rowids.end());
    rowids.erase(std::unique(rowids.begin(), rowids.end()), rowids.end());
    return rowids;
}

std::optional<std::string> MatchIndex::KeyOf(qint64 rowid)
{
    Q_ASSERT(!field_.isEmpty());
    std::optional<std::string> keys;
    db_.Cached(Sql(QStringLiteral("SELECT kvr_key(%1, 0, %3), kvr_key(%1, 1, %3) FROM main.CARD_DATA WHERE %2 = ?1 AND %1 IS NOT NULL")
                       .arg(sqlite::QuoteIdentifier(field_), rowid_, dateField_)))
        .Bind(1, rowid)
        .ForEachRow([&](const sqlite::Statement &row) {
            keys = std::string(row.Blob(0));
            // The other text's key is never empty; NULL reads as empty.
            if (const std::string_view other = row.Blob(1); !other.empty() && other != *keys)
                *keys += kKeySeparator + std::string(other);
        });
    return keys;
}

void MatchIndex::Rekey(qint64 rowid, const std::optional<std::string> &before)
{
    const std::optional<std::string> after = KeyOf(rowid);
    if (after == before)
        return;
    if (before) {
        for (const std::string_view key : SplitKeys(*before))
            db_.Cached("DELETE FROM temp.kvr_match_key WHERE k = ?1 AND rid = ?2").BindBlob(1, key).Bind(2, rowid).Execute();
    }
    if (after) {
        for (const std::string_view key : SplitKeys(*after))
            db_.Cached("INSERT OR REPLACE INTO temp.kvr_match_key VALUES (?1, ?2)").BindBlob(1, key).Bind(2, rowid).Execute();
    }
}
