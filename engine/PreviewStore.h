#pragma once

#include "CardStore.h"
#include "LikePattern.h"

#include <QSet>

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// A card store over another one that writes nothing, for a preview of a run.
// A commit is checked as the other store would check it (TextsIfCommitted:
// the same conversion, the same refusal) and then kept in memory only as far
// as later searches need it: the values committed into a field that a walk
// has searched. Later walks of that field see those values in place of the
// stored ones, so a walk here finds exactly what it would find after the
// earlier writes of the same run. The other store never has a change
// pending, so it never takes a write lock.
//
// Not foreseen: what a write changes beyond its own field (triggers), and
// what the database itself refuses (constraints). After MoveNext the cursor
// may stand between records until the next Find or MoveFirst, which is all
// that the match walk asks of it.
class PreviewStore final : public CardStore
{
public:
    explicit PreviewStore(CardStore &inner) : inner_(inner) {}

    // Off: commits are checked but not kept, for a run whose walks never
    // search a field after writing it (a batch run with no list).
    void KeepCommits(bool keep) { keep_ = keep; }

    QStringList Fields() override;
    void SetDataField(const QString &field) override;
    void Refresh() override;
    void MoveFirst() override;
    bool IsEOF() const override;
    void Find(const Search &search) override;
    void MoveNext() override;
    void SetText(const QString &text) override;
    void CancelUpdate() override;
    // Ends the other store's reading; there is nothing to make durable.
    void Flush() override;
    qint64 RecordKey() const override;

private:
    // The values committed into one field, by record, and the records by
    // the LikePattern key of each of their texts.
    struct Committed
    {
        std::unordered_map<qint64, std::vector<std::string>> texts;
        std::multimap<std::string, qint64> byKey;

        void Put(qint64 record, std::vector<std::string> recordTexts);
        // nullopt when nothing was committed into the record's field.
        std::optional<bool> Matches(qint64 record, const LikePattern &pattern) const;
        // The records whose committed value matches, in key order.
        std::vector<qint64> AllMatches(const LikePattern &pattern) const;
    };
    enum class Where { End, On, After };

    QString TableName(const QString &field) const;
    bool Ahead(qint64 key) const;
    void MoveTo(Where where, qint64 key);
    void CommitPending();
    void Restart();

    CardStore &inner_;
    bool keep_ = true;
    QStringList fields_;
    QString named_;               // the bound field as named, in force at the next Refresh
    QString bound_;               // as the table spells it; empty: none
    Where where_ = Where::End;
    qint64 key_ = 0;              // On: the current record; After: the record before the cursor
    std::optional<QString> pending_;
    QSet<QString> searched_;      // fields (as the table spells them) a walk has searched
    std::map<QString, Committed> committed_;
    // The search of the walk under way: the other store's cursor has passed no
    // record ahead of this one that it matches; the committed records that match.
    QString search_;
    std::vector<qint64> committedHits_;
    // The last text checked for the bound field, and what it came to.
    std::optional<QString> checked_;
    std::vector<std::string> checkedTexts_;
    QString checkedRefusal_;
};
