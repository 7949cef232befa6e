#pragma once

#include "QtPrinters.h"

#include <QString>
#include <QStringList>

struct sqlite3;

// A second, independent connection to a card database file, for tests to
// build tables and look at what the program wrote.
class CardDb
{
public:
    explicit CardDb(const QString &path);
    ~CardDb();
    CardDb(const CardDb &) = delete;
    CardDb &operator=(const CardDb &) = delete;

    void Exec(const QString &sql);
    // The field's values in rowid order; NULL reads as "<NULL>". Throws when
    // the table cannot be read, e.g. while another connection holds it locked.
    QStringList Column(const QString &field);
    // One value by rowid; NULL reads as "<NULL>".
    QString Value(long long rowid, const QString &field);

private:
    sqlite3 *db_ = nullptr;
};
