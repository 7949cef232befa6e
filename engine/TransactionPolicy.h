#pragma once

#include "BeforeImage.h"
#include "CardStore.h"
#include "FieldConversion.h"
#include "Sqlite.h"
#include "WriteJournal.h"

#include <QString>

#include <chrono>
#include <optional>
#include <span>
#include <vector>

// One field written into one record, as the card store wrote it, and the
// search value of the update that wrote it, by which the run log names it.
struct RecordWrite
{
    qint64 rowid = 0;
    QString field;
    FieldValue value;
    QString searchValue;
};

// The card store's transactions. Writes are grouped into write transactions
// for speed: a group begins with its first write and is committed when it has
// been open for the group-commit interval, or when asked. Every write of the
// open group is kept until its commit succeeds, so that a group whose commit
// fails (a full disk, an I/O error, SQLite rolling the transaction back by
// itself) loses nothing unseen: its writes are applied again in smaller
// commits, down to one write a commit, and only those that cannot be
// committed even alone are reported, as LostWrites.
//
// Between writes, a walk's moves share one read transaction instead of
// taking the database's read lock for every move. It ends before the first
// write (so the store never holds a read lock while it waits for the write
// lock), after the interval (so other connections are not kept from
// committing for long), and whenever the store asks, as at a new walk.
class TransactionPolicy
{
public:
    explicit TransactionPolicy(sqlite::Database &db);
    ~TransactionPolicy();
    TransactionPolicy(const TransactionPolicy &) = delete;
    TransactionPolicy &operator=(const TransactionPolicy &) = delete;

    // How the table's rowid is reached; "rowid" unless a column hides it.
    void SetRowidName(const QString &name)
    {
        rowidName_ = name;
        update_ = nullptr;
    }

    // How long a group, or a read transaction, may stay open; one second
    // unless set.
    void SetInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // The journal told of every write and commit; none unless set.
    void SetJournal(WriteJournal *journal)
    {
        journal_ = journal ? journal : &noJournal_;
        beforeImage_.SetTableServed(plainSchema_ && journal);
    }
    // Whether the schema lets a write hand the journal the value it
    // replaced (see BeforeImage); told again whenever the schema is read.
    void SetPlainSchema(bool plain)
    {
        plainSchema_ = plain;
        beforeImage_.SetTableServed(plain && journal_ != &noJournal_);
    }

    bool IsOpen() const { return transaction_.has_value(); }
    // Counts the transactions begun, read or write: another connection can
    // have committed only before the latest began.
    qint64 Begun() const { return transactionsBegun_; }
    // Begins a group unless one is open, ending any read transaction first;
    // throws sqlite::Error when the database's lock cannot be had.
    void Begin();
    // Writes one field of one record inside the open group (nothing else:
    // the caller fences it with a savepoint); throws sqlite::Error. The
    // caller records the write with Add once it keeps it.
    void Execute(const RecordWrite &write);
    // Tells the journal that write stays in the open group.
    void Kept(const RecordWrite &write);
    void Add(RecordWrite write);
    // True when the open group has lasted the interval, or has changed more
    // pages than the page cache holds.
    bool Due() const;

    // Begins a read transaction unless a group or one is open; a read
    // transaction that cannot begin leaves statements to read on their own.
    void KeepReading();
    // Ends the read transaction, if one is open; with `due`, only once it
    // has lasted the interval.
    void EndReading(bool due = false);

    // Commits the open group, if any. Throws LostWrites naming every write
    // of the group that could not be committed.
    void Commit();
    // The open transaction was ended by SQLite itself, taking the group's
    // writes with it, while `current` was being written: applies the group
    // and current again. Throws LostWrites as Commit does.
    void Recover(const RecordWrite &current);

private:
    void Reapply(std::vector<RecordWrite> writes);
    void ReapplyPart(std::span<const RecordWrite> writes, std::vector<LostWrites::Lost> &lost);

    sqlite::Database &db_;
    QString rowidName_ = QStringLiteral("rowid");
    std::optional<sqlite::Transaction> transaction_;
    std::chrono::steady_clock::time_point begun_;
    qint64 transactionsBegun_ = 0;
    qint64 spillsAtBegin_ = 0;
    bool cacheSized_ = false;
    std::optional<sqlite::ReadTransaction> reading_;
    std::chrono::steady_clock::time_point readingBegun_;
    std::chrono::milliseconds interval_{1000};
    std::vector<RecordWrite> writes_;
    // The statement that wrote the last write's field: a run writes one
    // field, or the few of its list, over and over.
    sqlite::Statement *update_ = nullptr;
    QString updateField_;
    // During a recovery: why the database took not even one write alone, or
    // could not be locked; the rest of the group is then lost for the same
    // reason without another try.
    QString refusedAll_;
    bool plainSchema_ = false;
    BeforeImage beforeImage_;
    WriteJournal noJournal_;
    WriteJournal *journal_ = &noJournal_;
};
