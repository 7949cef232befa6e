#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// A deterministic CARD_DATA of many records for runs of the whole program:
// unique references ("C" and six digits) in shuffled order, a title, one of
// 60 shelves ("SHELF 1" to "SHELF 60"), the status "IN" and a quantity from 0
// to 499. Record i has rowid i + 1. Values are held as the text SQLite gives
// for them, NULL as "<NULL>".
class BigCardTable
{
public:
    enum Field { Reference, Title, Location, Status, Qty };
    static constexpr int kFields = 5;

    static QString FieldName(Field field);

    struct Cell
    {
        int record;
        Field field;
        QString value;
    };

    static BigCardTable Generate(int records, quint32 seed);
    // The values of the database file at path that differ from those of the
    // file at originalPath, in record order, once SQLite has rolled back what
    // a killed writer left in a journal. Throws std::runtime_error, also when
    // the two files do not hold the same records.
    static std::vector<Cell> Differences(const QString &path, const QString &originalPath);
    // The findings of PRAGMA integrity_check: "ok" for a sound file.
    static QString IntegrityCheck(const QString &path);

    // Creates the database file at path holding this table.
    void Write(const QString &path) const;

    int Size() const { return int(columns_[0].size()); }
    const QString &Value(int record, Field field) const { return columns_[field][record]; }

private:
    std::array<QStringList, kFields> columns_;
};
