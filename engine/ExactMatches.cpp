#include "ExactMatches.h"

#include "Failure.h"
#include "SearchTexts.h"
#include "Sqlite.h"

#include <algorithm>

namespace {

// The part of a value's key that a literal pattern's KeyPrefix is compared
// with: its folded characters, before any byte 0xFE.
std::string_view Folded(std::string_view key)
{
    return key.substr(0, key.find('\xFE'));
}

// Bits of the filter: 32 for each of the at most 32,767 values of a run.
constexpr std::size_t kFilterBits = std::size_t(1) << 20;

std::size_t FilterBit(std::size_t hash)
{
    return hash & (kFilterBits - 1);
}

} // namespace

void ExactMatches::Expect(const QString &field, const QStringList &values)
{
    Forget();
    for (const QString &value : values) {
        try {
            const LikePattern pattern(value);
            if (pattern.IsLiteral())
                matches_.try_emplace(pattern.KeyPrefix());
        } catch (const StoreFailure &) {
            // Not a pattern: its searches fail before they look for records.
        }
    }
    if (matches_.empty())
        return;
    field_ = field;
    filter_.assign(kFilterBits / 64, 0);
    for (const auto &[key, rowids] : matches_) {
        const std::size_t bit = FilterBit(Hash()(key));
        filter_[bit / 64] |= std::uint64_t(1) << (bit % 64);
    }
}

void ExactMatches::Forget()
{
    field_.clear();
    matches_.clear();
    filter_ = {};
    passed_ = false;
}

void ExactMatches::Reset()
{
    if (!passed_)
        return;
    for (auto &[key, rowids] : matches_)
        rowids.clear();
    passed_ = false;
}

bool ExactMatches::Covers(const QString &field) const
{
    return !field_.isEmpty() && field_.compare(field, Qt::CaseInsensitive) == 0;
}

bool ExactMatches::Serves(const QString &field, const LikePattern &pattern) const
{
    return Covers(field) && pattern.IsLiteral() && matches_.contains(pattern.KeyPrefix());
}

std::vector<qint64> ExactMatches::Matches(sqlite::Database &db, const LikePattern &pattern, bool dateField, const QString &rowid, qint64 from)
{
    if (!passed_) {
        try {
            Pass(db, dateField, rowid);
        } catch (...) {
            Reset();
            throw;
        }
    }
    const std::vector<qint64> &rowids = matches_.find(pattern.KeyPrefix())->second;
    return {std::lower_bound(rowids.begin(), rowids.end(), from), rowids.end()};
}

void ExactMatches::Pass(sqlite::Database &db, bool dateField, const QString &rowid)
{
    const QString column = sqlite::QuoteIdentifier(field_);
    sqlite::Statement &scan = db.Cached(QStringLiteral("SELECT %1, %2 FROM main.CARD_DATA WHERE %2 IS NOT NULL ORDER BY %1")
                                            .arg(rowid, column)
                                            .toUtf8());
    const auto note = [this](std::string_view text, qint64 id) {
        const std::string key = LikePattern::Key(text);
        const std::string_view folded = Folded(key);
        const std::size_t hash = Hash()(folded);
        if ((filter_[FilterBit(hash) / 64] & (std::uint64_t(1) << (FilterBit(hash) % 64))) == 0)
            return;
        const auto found = matches_.find(folded);
        if (found != matches_.end() && (found->second.empty() || found->second.back() != id))
            found->second.push_back(id);
    };
    scan.ForEachRow([&](const sqlite::Statement &row) {
        const SearchTexts texts(row.Handle(), 1, dateField);
        note(texts.Own(), row.Int64(0));
        if (!texts.Other().empty())
            note(texts.Other(), row.Int64(0));
    });
    passed_ = true;
}
