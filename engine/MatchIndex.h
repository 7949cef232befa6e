#pragma once

#include "LikePattern.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace sqlite {
class Database;
}

// An index of one field of the table CARD_DATA by LikePattern key, kept in a
// TEMP table of the connection so that the database file is never altered:
// one entry (key, rowid) per SearchText of each record's value, so none for
// NULL, which never matches. Searching it for a pattern reads only the
// entries whose key begins with the pattern's KeyPrefix.
//
// The index is only as true as its owner keeps it: the owner calls Rekey for
// every record its own writes may have changed, and Forget when the table
// changed in any other way (another connection, a rolled-back transaction).
// Every operation but Forget throws sqlite::Error; the owner then forgets the
// index and searches without it.
class MatchIndex
{
public:
    // Registers the key function kvr_key on the connection.
    explicit MatchIndex(sqlite::Database &db);

    bool IsBuilt() const { return !field_.isEmpty(); }
    // True while an index of field (as the table spells it) exists.
    bool Covers(const QString &field) const;
    // Indexes field, replacing any other index; dateField as for
    // SearchTexts; rowid is the name by which the table's rowid is reached.
    void Build(const QString &field, bool dateField, const QString &rowid);
    // Drops the index, if any.
    void Forget() noexcept;

    // The rowids from `from` on whose value matches pattern, in table order.
    // Requires an index and a pattern with a KeyPrefix.
    std::vector<qint64> Matches(const LikePattern &pattern, qint64 from);

    // The keys of the record's indexed value now, in one text: separated by
    // the byte 0xFF, which no key holds. None for NULL or no record.
    // Requires an index.
    std::optional<std::string> KeyOf(qint64 rowid);
    // Brings the record's entry up to date after a change; before is its
    // KeyOf from before the change.
    void Rekey(qint64 rowid, const std::optional<std::string> &before);

private:
    sqlite::Database &db_;
    QString field_; // empty: no index
    QString rowid_;
    QString dateField_; // as an SQL argument of kvr_key
    bool stored_ = false; // the TEMP table may exist
};
