#pragma once

#include "LikePattern.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sqlite {
class Database;
}

// The records that match each of many literal search values (values with no
// wildcard and no list, which a record matches when its folded text is
// theirs), found for all of them in one pass over the table CARD_DATA, as
// the sqlite3 shell's UPDATE ... FROM matches a staging table: the pass
// looks each record's SearchTexts up in a hash of the values' keys and keeps
// per value the rowids that match, in table order. An import run knows its
// lines' search values before it writes, so its walks need no pass of their
// own and no index.
//
// The answers are only as true as the owner keeps them: they hold while no
// value of the field changes. The owner calls Forget when its own writes may
// change the field (which would make every later answer a new pass), and
// Reset when the table changed in another way (another connection, a
// rolled-back transaction): the next answer then takes a new pass.
class ExactMatches
{
public:
    // The search values that walks over field (named in any letter case)
    // will look for, in place of any expected before; the literal ones are
    // kept.
    void Expect(const QString &field, const QStringList &values);
    void Forget();
    void Reset();

    // True while searches of field (in any letter case) are expected.
    bool Covers(const QString &field) const;
    // True when a search of field for pattern is one of the expected ones.
    bool Serves(const QString &field, const LikePattern &pattern) const;
    // Requires Serves. The rowids from `from` on whose value matches, in
    // table order; the first call makes the pass (dateField as for
    // SearchTexts; rowid names the table's rowid). Throws sqlite::Error and
    // std::bad_alloc.
    std::vector<qint64> Matches(sqlite::Database &db, const LikePattern &pattern, bool dateField, const QString &rowid, qint64 from);

private:
    struct Hash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    void Pass(sqlite::Database &db, bool dateField, const QString &rowid);

    QString field_; // empty: nothing expected
    // Per key of an expected value, the rowids that match it.
    std::unordered_map<std::string, std::vector<qint64>, Hash, std::equal_to<>> matches_;
    // A bit per hash of the keys above: most records match no value, and
    // the bits (a few hundred KiB) turn them away without a look into the
    // much larger table above.
    std::vector<std::uint64_t> filter_;
    bool passed_ = false;
};
