#include "MatchIndex.h"

#include "Sqlite.h"

#include <algorithm>

namespace {

// kvr_key(value): the LikePattern key of value's text as a BLOB, so that keys
// compare byte by byte; NULL for NULL.
void KeyFunction(sqlite3_context *context, int, sqlite3_value **args)
{
    sqlite3_value *value = args[0];
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const std::optional<std::string_view> text = sqlite::ArgumentText(value);
    if (!text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    try {
        const std::string key = LikePattern::Key(*text);
        sqlite3_result_blob64(context, key.data(), key.size(), SQLITE_TRANSIENT);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

QByteArray Sql(const QString &text)
{
    return text.toUtf8();
}

} // namespace

MatchIndex::MatchIndex(sqlite::Database &db)
    : db_(db)
{
    const int registered = sqlite3_create_function_v2(db.Handle(), "kvr_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                                                      KeyFunction, nullptr, nullptr, nullptr);
    if (registered != SQLITE_OK)
        throw sqlite::Error(registered, QString::fromUtf8(sqlite3_errmsg(db.Handle())), db.Path(), "kvr_key");
}

bool MatchIndex::Covers(const QString &field) const
{
    return !field_.isEmpty() && field_.compare(field, Qt::CaseInsensitive) == 0;
}

void MatchIndex::Build(const QString &field, const QString &rowid)
{
    // A table dropped in a transaction that was then rolled back is back.
    field_.clear();
    stored_ = true;
    db_.Execute("DROP TABLE IF EXISTS temp.kvr_match_key");
    db_.Execute("CREATE TABLE temp.kvr_match_key (k BLOB NOT NULL, rid INTEGER NOT NULL, PRIMARY KEY (k, rid)) WITHOUT ROWID");
    const QString column = sqlite::QuoteIdentifier(field);
    db_.Execute(Sql(QStringLiteral("INSERT INTO temp.kvr_match_key SELECT kvr_key(%1), %2 FROM main.CARD_DATA WHERE %1 IS NOT NULL").arg(column, rowid)));
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
    return rowids;
}

std::optional<std::string> MatchIndex::KeyOf(qint64 rowid)
{
    Q_ASSERT(!field_.isEmpty());
    std::optional<std::string> key;
    db_.Cached(Sql(QStringLiteral("SELECT kvr_key(%1) FROM main.CARD_DATA WHERE %2 = ?1 AND %1 IS NOT NULL").arg(sqlite::QuoteIdentifier(field_), rowid_)))
        .Bind(1, rowid)
        .ForEachRow([&](const sqlite::Statement &row) { key = std::string(row.Blob(0)); });
    return key;
}

void MatchIndex::Rekey(qint64 rowid, const std::optional<std::string> &before)
{
    const std::optional<std::string> after = KeyOf(rowid);
    if (after == before)
        return;
    if (before)
        db_.Cached("DELETE FROM temp.kvr_match_key WHERE k = ?1 AND rid = ?2").BindBlob(1, *before).Bind(2, rowid).Execute();
    if (after)
        db_.Cached("INSERT OR REPLACE INTO temp.kvr_match_key VALUES (?1, ?2)").BindBlob(1, *after).Bind(2, rowid).Execute();
}
