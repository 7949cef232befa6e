// The hook's functions are declared only on request; the system's SQLite
// (Debian, Ubuntu, Fedora) is built with them.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1

#include "BeforeImage.h"

BeforeImage::BeforeImage(sqlite::Database &db)
    : db_(db)
{
}

BeforeImage::~BeforeImage()
{
    if (tableServed_)
        sqlite3_preupdate_hook(db_.Handle(), nullptr, nullptr);
}

void BeforeImage::SetTableServed(bool served)
{
    columns_.clear();
    column_ = -1;
    if (served != tableServed_)
        sqlite3_preupdate_hook(db_.Handle(), served ? Hook : nullptr, served ? this : nullptr);
    tableServed_ = served;
}

bool BeforeImage::Serves(const QString &field)
{
    if (!tableServed_)
        return false;
    auto known = columns_.find(field);
    if (known == columns_.end()) {
        int column = -1;
        db_.Cached("SELECT c.cid, c.dflt_value IS NULL AND NOT EXISTS (SELECT 1 FROM pragma_table_xinfo('CARD_DATA') WHERE hidden != 0) "
                   "FROM pragma_table_xinfo('CARD_DATA') AS c WHERE c.name = ?1 COLLATE NOCASE")
            .Bind(1, field)
            .ForEachRow([&](const sqlite::Statement &row) { column = row.Int64(1) != 0 ? int(row.Int64(0)) : -1; });
        known = columns_.emplace(field, column).first;
    }
    return known->second >= 0;
}

void BeforeImage::Expect(qint64 rowid, const QString &field)
{
    rowid_ = rowid;
    column_ = columns_.at(field);
    taken_.reset();
}

sqlite::Value BeforeImage::Take()
{
    column_ = -1;
    return std::move(taken_);
}

// Only the written row itself, at the statement's own level, not a row that
// a foreign-key action changes.
void BeforeImage::Hook(void *self, sqlite3 *db, int op, const char *database, const char *table, sqlite3_int64 rowid, sqlite3_int64)
{
    auto &image = *static_cast<BeforeImage *>(self);
    if (image.column_ < 0 || op != SQLITE_UPDATE || rowid != image.rowid_ || image.taken_ || sqlite3_preupdate_depth(db) != 0
        || sqlite3_stricmp(database, "main") != 0 || sqlite3_stricmp(table, "CARD_DATA") != 0)
        return;
    sqlite3_value *old = nullptr;
    if (sqlite3_preupdate_old(db, image.column_, &old) == SQLITE_OK && old)
        image.taken_.reset(sqlite3_value_dup(old));
}
