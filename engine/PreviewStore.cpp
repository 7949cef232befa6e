#include "PreviewStore.h"

#include "Search.h"

#include <algorithm>

void PreviewStore::Committed::Put(qint64 record, std::vector<std::string> recordTexts)
{
    if (auto old = texts.find(record); old != texts.end()) {
        for (const std::string &text : old->second) {
            auto [first, last] = byKey.equal_range(LikePattern::Key(text));
            const auto entry = std::find_if(first, last, [&](const auto &keyed) { return keyed.second == record; });
            if (entry != last)
                byKey.erase(entry);
        }
    }
    for (const std::string &text : recordTexts)
        byKey.emplace(LikePattern::Key(text), record);
    texts[record] = std::move(recordTexts);
}

std::optional<bool> PreviewStore::Committed::Matches(qint64 record, const LikePattern &pattern) const
{
    const auto found = texts.find(record);
    if (found == texts.end())
        return std::nullopt;
    return std::any_of(found->second.begin(), found->second.end(), [&](const std::string &text) { return pattern.Matches(text); });
}

// Every key that matches begins with the pattern's key prefix.
std::vector<qint64> PreviewStore::Committed::AllMatches(const LikePattern &pattern) const
{
    const std::string &prefix = pattern.KeyPrefix();
    std::vector<qint64> records;
    for (auto entry = byKey.lower_bound(prefix); entry != byKey.end() && entry->first.starts_with(prefix); ++entry) {
        if (pattern.MatchesKey(entry->first))
            records.push_back(entry->second);
    }
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    return records;
}

QStringList PreviewStore::Fields()
{
    return inner_.Fields();
}

QString PreviewStore::TableName(const QString &field) const
{
    for (const QString &name : fields_) {
        if (name.compare(field, Qt::CaseInsensitive) == 0)
            return name;
    }
    return QString();
}

void PreviewStore::SetDataField(const QString &field)
{
    named_ = field;
    inner_.SetDataField(field);
}

void PreviewStore::Refresh()
{
    inner_.Refresh();
    fields_ = inner_.Fields();
    bound_ = named_.isEmpty() ? QString() : TableName(named_);
    pending_.reset();
    checked_.reset();
    Restart();
    where_ = inner_.IsEOF() ? Where::End : Where::On;
    key_ = inner_.IsEOF() ? 0 : inner_.RecordKey();
}

void PreviewStore::Restart()
{
    search_.clear();
    committedHits_.clear();
}

void PreviewStore::MoveFirst()
{
    inner_.MoveFirst();
    Restart();
    if (inner_.IsEOF())
        MoveTo(Where::End, 0);
    else
        MoveTo(Where::On, inner_.RecordKey());
}

bool PreviewStore::IsEOF() const
{
    return where_ == Where::End;
}

bool PreviewStore::Ahead(qint64 key) const
{
    return where_ == Where::On ? key >= key_ : where_ == Where::After && key > key_;
}

// The next match is the first of two: the other store's next match whose
// value no commit has changed since, or failing that still matches; and the
// next record whose committed value matches.
void PreviewStore::Find(const Search &search)
{
    if (where_ == Where::End) {
        inner_.Find(search); // at the end too, a search of no such field throws
        return;
    }
    const QString text = search.Field() + QChar(0) + search.Value();
    const QString field = TableName(search.Field());
    const LikePattern &pattern = search.Pattern();
    if (text != search_) {
        if (!search_.isEmpty())
            inner_.MoveFirst(); // it may have passed matches of the new search
        search_ = text;
        const auto committed = committed_.find(field);
        committedHits_ = committed == committed_.end() ? std::vector<qint64>() : committed->second.AllMatches(pattern);
    }
    const auto committed = committed_.find(field);
    const Committed *changed = committed == committed_.end() ? nullptr : &committed->second;

    std::optional<qint64> next;
    for (;;) {
        inner_.Find(search);
        if (inner_.IsEOF())
            break;
        const qint64 key = inner_.RecordKey();
        if (Ahead(key) && (!changed || changed->Matches(key, pattern).value_or(true))) {
            next = key;
            break;
        }
        inner_.MoveNext();
    }
    if (!field.isEmpty())
        searched_.insert(field);
    const auto hit = where_ == Where::On ? std::lower_bound(committedHits_.begin(), committedHits_.end(), key_)
                                         : std::upper_bound(committedHits_.begin(), committedHits_.end(), key_);
    if (hit != committedHits_.end() && (!next || *hit < *next))
        next = *hit;
    if (next)
        MoveTo(Where::On, *next);
    else
        MoveTo(Where::End, 0);
}

void PreviewStore::MoveNext()
{
    if (where_ == Where::End)
        throw StoreFailure(QStringLiteral("MoveNext: there is no current record"));
    CommitPending();
    if (where_ != Where::On)
        return;
    if (inner_.IsEOF() || inner_.RecordKey() != key_) {
        // A record that only its committed value made a match: the other
        // store's cursor is already past it.
        where_ = Where::After;
        return;
    }
    inner_.MoveNext();
    where_ = inner_.IsEOF() ? Where::End : Where::On;
    key_ = inner_.IsEOF() ? 0 : inner_.RecordKey();
}

void PreviewStore::SetText(const QString &text)
{
    if (where_ == Where::On && !bound_.isEmpty())
        pending_ = text;
}

void PreviewStore::CancelUpdate()
{
    pending_.reset();
}

void PreviewStore::Flush()
{
    try {
        inner_.Flush();
    } catch (const Failure &) {
        // Only reading ends here: a failure to end it loses nothing.
    }
}

qint64 PreviewStore::RecordKey() const
{
    if (where_ != Where::On)
        throw StoreFailure(QStringLiteral("RecordKey: there is no current record"));
    return key_;
}

void PreviewStore::MoveTo(Where where, qint64 key)
{
    if (where != where_ || key != key_)
        CommitPending();
    where_ = where;
    key_ = key;
}

// A commit as the other store would make it, refused by the same check; its
// value is kept while a search may look at the field.
void PreviewStore::CommitPending()
{
    if (!pending_)
        return;
    if (where_ != Where::On || bound_.isEmpty()) {
        pending_.reset();
        return;
    }
    if (checked_ != pending_) {
        checked_ = pending_;
        checkedTexts_.clear();
        checkedRefusal_.clear();
        try {
            checkedTexts_ = inner_.TextsIfCommitted(*pending_);
        } catch (const StoreFailure &refusal) {
            checkedRefusal_ = refusal.message();
        }
    }
    if (!checkedRefusal_.isEmpty())
        throw StoreFailure(checkedRefusal_);
    if (keep_ && searched_.contains(bound_))
        committed_[bound_].Put(key_, checkedTexts_);
    pending_.reset();
}
