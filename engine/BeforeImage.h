#pragma once

#include "Sqlite.h"

#include <QString>

#include <map>

// The value a write of one field replaced, taken from the write's own
// UPDATE through SQLite's pre-update hook instead of a SELECT of its own
// before each write. The hook sees the row as the statement found it, so it
// serves only a table whose writes change nothing before them: no trigger
// (a BEFORE trigger may change the row first), no generated or hidden
// column (the hook numbers stored columns), and a field without a default
// (SQLite hands NULL for a field that a record made before ALTER TABLE ADD
// COLUMN lacks). Everything else is read by the journal as before.
class BeforeImage
{
public:
    explicit BeforeImage(sqlite::Database &db);
    ~BeforeImage();
    BeforeImage(const BeforeImage &) = delete;
    BeforeImage &operator=(const BeforeImage &) = delete;

    // Whether the table may be served at all (no trigger); what was
    // learnt of its columns is forgotten, as the schema may have changed.
    void SetTableServed(bool served);
    // Whether the next write of field can hand over its replaced value.
    bool Serves(const QString &field);
    // The next write is of field in the record rowid: its replaced value
    // is kept, and Take hands it over (null when the write reached no row).
    void Expect(qint64 rowid, const QString &field);
    sqlite::Value Take();

private:
    static void Hook(void *self, sqlite3 *db, int op, const char *database, const char *table, sqlite3_int64 rowid, sqlite3_int64);

    sqlite::Database &db_;
    bool tableServed_ = false;
    std::map<QString, int> columns_; // per field its column, -1 when not served
    qint64 rowid_ = 0;
    int column_ = -1;
    sqlite::Value taken_;
};
