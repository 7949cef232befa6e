#pragma once

#include "QtPrinters.h"
#include "Sqlite.h"

#include <QString>
#include <QStringList>

// A second, independent connection to a card database file through the
// program's own SQLite layer, for tests to build tables and look at what the
// program wrote. Creates the file when it is missing; errors throw
// sqlite::Error, a std::runtime_error.
class CardDb
{
public:
    explicit CardDb(const QString &path);

    // Runs each statement of sql in turn.
    void Exec(const QString &sql);
    // The field's values in rowid order, of the records that where selects;
    // NULL reads as "<NULL>". Throws when the table cannot be read, e.g.
    // while another connection holds it locked.
    QStringList Column(const QString &field, const QString &where = {});
    // One value by rowid; "<no record>" when there is no such record.
    QString Value(long long rowid, const QString &field);
    // The findings of PRAGMA integrity_check: "ok" for a sound file.
    QString IntegrityCheck();

private:
    static sqlite::Database Open(const QString &path);

    sqlite::Database db_;
};
