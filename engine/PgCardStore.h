#pragma once

#include "CardStore.h"
#include "FieldConversion.h"
#include "LikePattern.h"
#include "WriteJournal.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pq {
class Connection;
struct Statement;
}

// The card store over a table CARD_DATA on a PostgreSQL server, reached
// through a libpq connection string. The table is the first one of the
// connection's search path whose name is CARD_DATA in any letter case; the
// fields are its columns in declared order.
//
// Which record a write reaches. A record is reached by its primary key when
// the table has one, else by its ctid. A key stays the record's while other
// sessions write it, so a write by key meets the record as the last commit
// left it (after waiting for a row lock, the server reads the key again on
// the newest version). A server-side cursor with WHERE CURRENT OF would
// reach the record exactly too, but it lives only as long as its
// transaction, and writes are committed in groups while a walk goes on. A
// ctid is the place of one version of a row: the store's own write moves
// the record to a new place, and so does another session's. So in a walk
// over ctids, a write reaches the version the walk found (or, when another
// session's write of it is in progress, the version that write makes); when
// another session committed a change of the record first, the write follows
// the record's versions to the newest (currtid2) and reaches it if it still
// matches, else it is refused and logged, never applied elsewhere; a place
// the store's own write filled is never visited again in the same walk, nor
// is any place after the walk's last match; and the write also asks that the
// row still passes the search's condition on the server, so that a place
// freed and filled by another session meanwhile is written only if its row
// matches as well.
//
// Records are walked in key order (ctid order: the order the rows lie in).
// The first Find of a walk asks the server once for the matches from the
// cursor on, ServerRegex narrowing them (or, for a value without wildcards,
// ServerValues, which an index of the field answers) and LikePattern
// deciding each, and the walk's further Finds are answered from that list.
// By a primary key, the list comes with the table's last record, so a move
// past the last match asks nothing, and a list from the walk's start is
// kept: the next walk of the same search after a Refresh answers from it (a
// batch's counting pass, then its writes). A Refresh reads the server's
// snapshot and the first record in one round trip, and the catalog with
// them only when the snapshot moved (a transaction ended) since the catalog
// was last read; a MoveFirst right after it asks nothing. An import run's
// literal search values (ExpectSearches) are looked up together by one
// query, their case forms narrowing it; its lines' Finds then answer from
// that, unless the table has a trigger or rule or the record is reached by
// place. A kept list and the expected matches are read again when a Refresh
// finds that a transaction other than the store's own groups ended since
// they were read, and forgotten once the run writes the field they search
// or a key.
//
// What a walk sees of other sessions' commits. While a group of the
// store's own writes is open, a Refresh asks the server nothing: the
// group's transaction holds the table's lock against any change of its
// columns, keys, triggers or rules, and other sessions' commits of records
// since the store last asked are left out of the answers it remembers, as
// if they came after the group's commit (on the file, other writers wait
// for it). Its own writes are in every answer: a remembered one is
// forgotten when the run writes a field it searches, and a search sent to
// the server sees them. A Refresh outside a group asks, so every commit
// before it is seen from that walk on.
//
// Writes that the store can foresee (a batch walk's next matches, an import
// run's next lines) go out together in one statement and are confirmed
// write by write (PgWriteAhead.cpp). A batch walk thus costs about one round
// trip per chunk of up to 256 written records, an import about one per chunk
// of lines and one per group.
//
// Writes are grouped into one transaction, committed at Flush, at the first
// move after the group-commit interval, and when the store is destroyed.
// Each write, and each read while a group is open, runs in a savepoint, so
// that a refusal by the server (a type, CHECK, NOT NULL, UNIQUE or foreign
// key violation, checked at the statement even where declared deferrable,
// or a row lock that another session held for longer than lock_timeout,
// 5 seconds) undoes that statement alone. A lost connection throws
// ConnectionLost; the next use of the store connects again.
class PgCardStore final : public CardStore
{
public:
    explicit PgCardStore(const QString &conninfo);
    ~PgCardStore() override;
    PgCardStore(const PgCardStore &) = delete;
    PgCardStore &operator=(const PgCardStore &) = delete;

    // Connects now, if not yet connected: cursor on the first record. Throws
    // StoreFailure naming the server (never the password) when it cannot be
    // reached or the table is not there.
    void Open();

    QStringList Fields() override;
    void SetDataField(const QString &field) override;
    void Refresh() override;
    void MoveFirst() override;
    bool IsEOF() const override;
    void Find(const Search &search) override;
    void MoveNext() override;
    void SetText(const QString &text) override;
    void CancelUpdate() override;
    void ExpectSearches(const QString &field, const QStringList &values) override;
    void ExpectWrites(const QString &field, const QStringList &searches, const QStringList &values) override;
    void Flush() override;
    // A preview needs a table with one whole-number primary key column, or
    // none.
    qint64 RecordKey() const override;
    std::vector<std::string> TextsIfCommitted(const QString &text) override;
    bool SetJournal(WriteJournal *journal) override;

    // How long a write transaction may stay open before a move commits it;
    // about one second unless set.
    void SetGroupCommitInterval(std::chrono::milliseconds interval) { groupCommitInterval_ = interval; }

private:
    struct Column
    {
        QString name;
        QString declaredType; // as FieldConversion reads it
        bool yesNo = false;
        bool floating = false;
        QString serverType; // as the server names it, with its size
        FieldConversion conversion{declaredType};
    };
    struct Criteria
    {
        QString text;
        const Column *column;
        LikePattern pattern;
        FieldConversion::Kind kind;
        bool narrowed; // the server narrows the search (no number or date)
        // ServerRegex, empty when the server does not narrow; and
        // ServerValues, which the server looks up instead where there are
        // any. Worked out when a statement first needs them: most of an
        // import run's searches are answered from the expected matches.
        const QByteArray &Regex() const;
        const QByteArray &Values() const;
        bool HasValues() const;
        mutable std::optional<QByteArray> regex;
        mutable std::optional<QByteArray> values;
    };
    // Where the cursor stands: on the record key, or, with after, past the
    // record key of the match list and before a record known to follow it.
    struct Cursor
    {
        QStringList key;
        bool after = false;
        std::optional<std::size_t> entry; // the record's place in the match list
    };
    struct MatchList
    {
        QString criteria;
        std::vector<QStringList> keys;
        bool knowsLast = false;          // last holds the table's last record as the list was read
        std::optional<QStringList> last; // none: the table was empty
    };

    pq::Connection &Db();
    void Reopen(bool bindingMustExist);
    using Rows = std::vector<std::vector<QString>>;
    void ReopenWith(std::optional<Rows> first, bool bindingMustExist);
    const Column *FindColumn(const QString &name) const;
    const Criteria &Resolve(const Search &search);
    static std::vector<QString> SearchTexts(const Column &column, FieldConversion::Kind kind, const QString &value);
    bool Matches(const Criteria &criteria, const QString &value) const;

    // Runs one statement, inside a savepoint while a group is open; or,
    // pinned, in the pin's transaction.
    std::vector<std::vector<QString>> Query(const QByteArray &sql, const QStringList &params, bool pinned = false);
    // Runs statements in one round trip, in one savepoint while a group is
    // open; the rows of each.
    std::vector<Rows> QueryAll(const std::vector<std::pair<QByteArray, QStringList>> &queries, bool pinned = false);
    // A walk over places (ctids) reads its match list on a second connection,
    // in a transaction held until the walk ends: while it lasts, the server
    // keeps every row version the list names, so the chain from each to its
    // newest version can be followed (the server prunes versions no snapshot
    // needs, which ends a chain).
    void Pin();
    void Unpin();
    QString KeyList() const;
    QString KeyParams(int first) const;
    QByteArray FirstRecordSql() const;
    QByteArray LastRecordSql() const;
    std::optional<QStringList> FirstRecord();
    std::optional<QStringList> RecordAfter(const QStringList &key);
    void FetchMatches(const Criteria &criteria, const Cursor &from);
    // True when the walk's Find can answer from the expected searches' matches.
    bool ServesExpected(const Criteria &criteria) const;
    void ReadExpected();
    bool NothingEndedSince(QString &then);
    // True while the store's open group has written the table.
    bool HoldsTable() const;
    bool Touches(const QString &written, const QString &searched) const;
    // The field's name quoted, remembered for the last field asked for.
    const QString &QuotedField(const QString &name) const;
    // The cursor on the record key, if there is one.
    static std::optional<Cursor> At(const std::optional<QStringList> &key);
    void ResolveAfter();

    void MoveTo(std::optional<Cursor> cursor);
    void CommitPending();
    void Write(const FieldValue &value);
    // True when the cursor stands on an entry of the current match list.
    bool OnMatch() const;
    // What a journalled write tells its journal (WriteJournal::Wrote).
    struct Written
    {
        QStringList record;
        QString old;
        QString stored;
    };
    // The write's statement: with a journal, the same UPDATE, which returns
    // the value it replaced and the key of the version it made.
    QString UpdateSql(const QString &field, const QString &condition);
    const WriteJournal::ServerTable &JournalTable();
    // Writes text into the newest version of the record whose place the
    // walk found; the rows written, and with a journal what it is told.
    std::vector<std::vector<QString>> WriteMoved(const QString &text, bool onMatch, std::optional<Written> &written);
    [[noreturn]] void Lost(const QString &reason);

    // Write ahead, confirm behind (PgWriteAhead.cpp).
    struct Ahead
    {
        QString field;                          // the bound field's name
        std::vector<QStringList> keys;          // the records written ahead that the walk can confirm, in its order
        std::vector<QString> values;            // the input text written into each (null: NULL)
        std::vector<std::size_t> updates;       // an import's: the expected update each belongs to
        std::vector<std::vector<QString>> rows; // what the statement returned for each
        std::size_t confirmed = 0;              // how many of them the walk has asked for
        std::size_t written = 0;                // how many rows the statement wrote: more than keys past a gap
        std::size_t planned = 0;                // how many writes the chunk was meant to hold
    };
    // A write of text into the current record that a chunk written ahead
    // already made: confirmed, with no round trip. True when it was one.
    bool ConfirmAhead(const QString &text);
    // Writes text into the current match and the walk's next writes, as far
    // as they can be foreseen, in one statement; true when the current
    // record's write was among them.
    bool WriteAhead(const QString &text);
    void PlanChunk(const QString &text, Ahead &chunk);
    // Undoes the writes ahead the walk did not ask for, keeping the rest;
    // Before, only when one of the statements reads the field written.
    void TakeBack();
    void TakeBackBefore(const std::vector<std::pair<QByteArray, QStringList>> &queries);
    bool Unconfirmed() const { return ahead_ && ahead_->confirmed < ahead_->written; }
    // The chunk statement's text, made once per field and catalog read.
    const QByteArray &AheadSql(const QString &field, bool skipLocked);
    pq::Statement AheadStatement(const Ahead &chunk, std::size_t count, bool skipLocked);
    void Settled(const QString &field, const std::vector<std::vector<QString>> &rows);
    void OwnWrite(const QString &field, const std::vector<QString> &row);
    static std::optional<QByteArray> ParamOf(const FieldValue &value);

    QString conninfo_;
    QString server_;
    std::chrono::milliseconds groupCommitInterval_{1000};

    std::unique_ptr<pq::Connection> db_;
    std::unique_ptr<pq::Connection> pin_;
    bool pinned_ = false;
    QString table_;         // schema-qualified and quoted
    QStringList keyColumns_; // quoted; "ctid" when the table has no primary key
    bool wholeKey_ = false;  // the key is one column of a whole-number type
    QList<Column> columns_;
    QString dataField_ = QStringLiteral("REFERENCE");
    mutable QString quotedName_, quotedField_; // QuotedField's last answer
    std::optional<Column> bound_;
    std::optional<Cursor> cursor_;
    bool freshFirst_ = false; // the cursor has not moved since Refresh put it on the first record
    std::optional<QString> pending_;
    std::unique_ptr<Criteria> criteria_;
    std::optional<MatchList> matches_;
    std::optional<QStringList> first_; // the table's first record at the last look at the server
    // A walk's list of every match, with the search field and the server's
    // snapshot it was read in, for the next walk of the same search.
    struct KeptList
    {
        MatchList list;
        QString field;
        QString snapshot;
    };
    std::optional<KeptList> kept_;
    QSet<QString> placesWritten_; // ctid walks: the places this walk's writes filled
    bool walkStart_ = false;      // the cursor stands on the first record, as Refresh or MoveFirst found it

    // An import run's literal searches (ExpectSearches): per folded value,
    // the keys of its matches in table order, read by one query; valid
    // while the server's snapshot is the one they were read in.
    QString expectField_;
    std::unordered_map<std::string, std::vector<QStringList>> expected_;
    QByteArray expectedValues_; // every case form of every value, an array for "= ANY"
    bool expectedRead_ = false;
    QString expectedSnapshot_;
    QSet<quint64> ownXids_; // the ids of the store's own writes' transactions and savepoints
    std::optional<QStringList> expectedLast_; // the table's last record then
    QString snapshot_;        // the server's snapshot at the last Refresh
    bool plainTable_ = false; // no trigger or rule of the table can make one write change another record

    WriteJournal noJournal_;
    WriteJournal *journal_ = &noJournal_;
    WriteJournal::ServerTable journalTable_;

    std::optional<Ahead> ahead_;
    std::map<std::pair<QString, bool>, QByteArray> aheadSql_; // AheadSql's texts, per field and skipLocked
    bool aheadSavepoint_ = false; // the savepoint of the last chunk is not released
    std::size_t aheadSize_ = 4;   // the next chunk's size: grows while chunks are confirmed whole
    std::size_t oneByOne_ = 0;    // writes still to be made one at a time: a chunk was refused or left
    // An import run's updates (ExpectWrites): per line, the folded search
    // value (empty: not one the expected searches answer) and the text.
    struct Expected
    {
        std::string key;
        QString value;
    };
    QString writesField_;
    std::vector<Expected> writes_;
    std::size_t nextWrite_ = 0; // the first expected update not yet confirmed whole

    bool inGroup_ = false;
    std::chrono::steady_clock::time_point groupBegun_;
    std::vector<LostWrites::Lost> groupWrites_; // what a failed commit loses
};
