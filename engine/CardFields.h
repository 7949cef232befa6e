#pragma once

#include "Failure.h"

#include <QList>
#include <QString>
#include <QStringList>

// What every card store says and does alike about the fields of the table
// CARD_DATA, whatever holds it: a field is found by its name in any letter
// case, and a refused value or a missing field reads the same from each.
namespace card_fields {

inline const QString kTable = QStringLiteral("CARD_DATA");

// A value as a message quotes it: whole up to 100 characters, else its
// start. An import line may hold a value of any length.
inline QString Quoted(const QString &value)
{
    constexpr qsizetype kShown = 100;
    return value.size() <= kShown ? value : value.left(kShown) + QStringLiteral("...");
}

inline StoreFailure Refusal(const QString &field, const QString &value, const QString &reason)
{
    return StoreFailure(QStringLiteral("Field %1 refuses \"%2\": %3").arg(field, Quoted(value), reason));
}

// "Cannot bind field F" or "Cannot search field F": the table has none.
inline StoreFailure NoSuchField(const char *doing, const QString &field)
{
    return StoreFailure(QStringLiteral("Cannot %1 field %2: the table %3 has no such field").arg(QLatin1String(doing), field, kTable));
}

// The column of that name in any letter case; null when there is none.
template <typename Column>
const Column *Find(const QList<Column> &columns, const QString &name)
{
    for (const Column &column : columns) {
        if (column.name.compare(name, Qt::CaseInsensitive) == 0)
            return &column;
    }
    return nullptr;
}

template <typename Column>
QStringList Names(const QList<Column> &columns)
{
    QStringList names;
    for (const Column &column : columns)
        names << column.name;
    return names;
}

} // namespace card_fields
