#pragma once

#include "Failure.h"
#include "Search.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class WriteJournal;

// The card records as the program reaches them: one record set over the table
// "CARD_DATA" with one cursor shared by the whole program, and the bound
// update box Text3, through which a text becomes a pending change of the
// current record's bound field. Every operation that cannot do its work throws
// StoreFailure; none returns an error code.
//
// The match walk every caller uses:
//   MoveFirst(); while (!IsEOF()) { Find(search); if (!IsEOF()) { ...; MoveNext(); } }
// visits each record that matches the criteria exactly once, in table order.
class CardStore
{
public:
    virtual ~CardStore() = default;

    // Names of all fields in table order. Opens the store on first use.
    virtual QStringList Fields() = 0;

    // Names the bound field of Text3; takes effect at the next Refresh. An
    // empty name binds no field: writes then reach no record.
    virtual void SetDataField(const QString &field) = 0;
    // Re-opens the record set: cursor on the first record (or at the end of an
    // empty table), pending change dropped, the bound field named since the
    // last Refresh in force. Throws when that name is not a field.
    virtual void Refresh() = 0;
    virtual void MoveFirst() = 0;
    // True when there is no current record. (Named so because EOF is a C macro.)
    virtual bool IsEOF() const = 0;
    // Makes the first record from the current one on (itself included) whose
    // search field matches the search value the current record; none: the
    // cursor goes to the end. Throws when the table has no such field.
    virtual void Find(const Search &search) = 0;
    // Commits the pending change of the current record, if any, and moves to
    // the next record or to the end. A refused commit throws, keeps the cursor
    // on the record and keeps the change pending.
    virtual void MoveNext() = 0;
    // Setting Text3's text: a pending change of the current record's bound
    // field. With no current record or no bound field it reaches nothing.
    virtual void SetText(const QString &text) = 0;
    // Discards the pending change; the record keeps its stored value.
    virtual void CancelUpdate() = 0;

    // A hint before a run of walks: the search values, in order, that its
    // Finds will look for in field. A store may find their matches ahead,
    // but each Find still answers by the table as it then stands. Ignored
    // unless a store has a use for it.
    virtual void ExpectSearches(const QString &field, const QStringList &values)
    {
        Q_UNUSED(field);
        Q_UNUSED(values);
    }

    // A hint before an import run: the updates it will make, in order: the
    // records that searches[i] finds get values[i] in field. A store may
    // write them ahead, but each MoveNext still commits what is then
    // pending, or fails there, as if there were no hint. Ignored unless a
    // store has a use for it.
    virtual void ExpectWrites(const QString &field, const QStringList &searches, const QStringList &values)
    {
        Q_UNUSED(field);
        Q_UNUSED(searches);
        Q_UNUSED(values);
    }

    // Makes every committed change durable. Commits are grouped into
    // transactions for speed; callers call this before anything that reports
    // a run's progress outside the program (the run log) and at a run's end.
    // A change counts as done only once a Flush (or a move after the group's
    // interval) has returned: any operation that commits throws LostWrites
    // for the changes it could not make durable.
    virtual void Flush() = 0;

    // What a preview of a run, which writes nothing, reads of the store; a
    // store that cannot tell throws StoreFailure. The current record's key:
    // keys grow in the order in which a walk visits records. Requires a
    // current record.
    virtual qint64 RecordKey() const;
    // What committing text into the bound field would store, without
    // storing it: the texts by which a search of that field would then find
    // the record (none for NULL). Throws the StoreFailure that the commit
    // would throw when the field's declared type refuses the text.
    virtual std::vector<std::string> TextsIfCommitted(const QString &text);

    // The journal told of every field the store writes from now on and of
    // every commit of its writes (none: null); it must outlive its use. A
    // store that keeps no journal of its writes returns false.
    virtual bool SetJournal(WriteJournal *journal);
};

// Updates that the store accepted but that never reached the database: the
// commit of their group failed, and so did writing them again one by one.
// Each names the search value of the update that made it, its field and why
// it was lost; the message says how many were lost and why.
class LostWrites : public StoreFailure
{
public:
    struct Lost
    {
        QString searchValue;
        QString field;
        QString reason;
    };

    explicit LostWrites(std::vector<Lost> lost);

    const std::vector<Lost> &Writes() const { return lost_; }

private:
    std::vector<Lost> lost_;
};

// The connection to the card database's server broke in the middle of a
// run. Nothing more can be done: the run stops, without logging its
// completion; the updates committed before keep their values. The message
// names the server (never its password) and the reason.
class ConnectionLost : public StoreFailure
{
public:
    using StoreFailure::StoreFailure;
};
