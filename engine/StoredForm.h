#pragma once

#include "FieldConversion.h"
#include "Sqlite.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

// How SQLite stores a value written into a column of a declared type, whose
// affinity may turn a text into a number or a whole number into a real one,
// told as the texts by which a search of the column then finds it
// (SearchTexts): so that a preview matches a value it did not write exactly as
// a search matches the value once written. Works in a private database in
// memory, one table per declared type; never touches a card database.
class StoredForm
{
public:
    // None for NULL. dateField as for SearchTexts. Throws sqlite::Error.
    std::vector<std::string> Texts(const QString &declaredType, bool dateField, const FieldValue &value);

private:
    const QByteArray &Table(const QString &declaredType);

    std::optional<sqlite::Database> db_;
    std::map<QString, QByteArray> tables_; // by declared type
};
