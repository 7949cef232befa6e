#pragma once

#include "QtPrinters.h"
#include "Sqlite.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace pq {
class Connection;
}

// The two kinds of card database the program works on.
enum class Backend { Sqlite, Pg };

// A new, empty card database for one test: a file in a temporary folder, or
// a schema of its own on the test server that KVR_TEST_PG (a libpq keyword
// string) names, dropped at the end. Location() is what Card_Database holds.
class FreshDatabase
{
public:
    FreshDatabase(Backend backend, const QString &folder);
    ~FreshDatabase();
    FreshDatabase(const FreshDatabase &) = delete;
    FreshDatabase &operator=(const FreshDatabase &) = delete;

    // False for a server when KVR_TEST_PG is not set: such tests are skipped.
    static bool Available(Backend backend);
    static const char *Name(Backend backend) { return backend == Backend::Pg ? "pg" : "sqlite"; }

    const QString &Location() const { return location_; }

private:
    QString location_;
    QString schema_;
};

// A second, independent connection to a card database, through the
// program's own SQLite or libpq layer, for tests to build tables and look at
// what the program wrote. Creates a missing file; errors throw a
// std::runtime_error.
class CardDb
{
public:
    explicit CardDb(const QString &location);
    ~CardDb();

    // CARD_DATA with the columns given; on a server with a primary key
    // kvr_id after them, which keeps the records in the order they were
    // added (as SQLite's rowid does), for Column and for the store's walks.
    void CreateCardTable(const QString &columns);
    // Runs each statement of sql in turn.
    void Exec(const QString &sql);
    // The field's values in the order the records were added, of the records
    // that where selects; NULL reads as "<NULL>". Throws when the table
    // cannot be read, e.g. while another connection holds it locked.
    QStringList Column(const QString &field, const QString &where = {});
    // The findings of PRAGMA integrity_check: "ok" for a sound file.
    QString IntegrityCheck();

private:
    static sqlite::Database Open(const QString &path);

    std::optional<sqlite::Database> db_;
    std::unique_ptr<pq::Connection> server_;
};
