#pragma once

#include "CardStore.h"
#include "ExactMatches.h"
#include "FieldConversion.h"
#include "LikePattern.h"
#include "StoredForm.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace sqlite {
class Statement;
}

// The card store over an SQLite database file holding the table "CARD_DATA".
// The fields are the table's columns in declared order; the records, in
// rowid order. The cursor is the current record's rowid.
//
// The first Find of a walk finds all the records from the cursor on that
// match its criteria, and the walk's further Finds are answered from that
// list of rowids. The store's own writes leave it true for the records after
// the last one written, which is all that a walk's later Finds look at: a
// walk costs one pass over the table, and a second walk with the same
// criteria, as after a batch run's counting walk, none unless the first one
// wrote the search field. Once a second walk over the same search
// field needs a pass, and its pattern begins with a literal character, the
// store indexes that field in a TEMP table of its connection (MatchIndex) and
// from then on reads only the records whose value begins with that text.
// Changes that other connections commit are seen from the store's next
// transaction on (it looks at PRAGMA data_version once in each, and at every
// Find made outside one), so a walk's later Finds see what another
// connection committed while the store held no lock; a table whose triggers
// make one write change other records is searched by a pass for every Find.
//
// Committed changes are grouped into one write transaction, which begins at
// the first change (waiting up to the busy timeout for another connection's
// lock) and ends at Flush, at the first move after it has been open for the
// group-commit interval, when the store builds its index, or when the store
// is destroyed. Between writes, a walk's moves share one read transaction,
// which ends by the same rules and at Refresh, MoveFirst and the first write.
//
// The database is opened on first use; it is never created, and its journal
// mode is left as it is. Foreign-key rules of the table are enforced.
class SqliteCardStore final : public CardStore
{
public:
    explicit SqliteCardStore(const QString &path);
    ~SqliteCardStore() override;
    SqliteCardStore(const SqliteCardStore &) = delete;
    SqliteCardStore &operator=(const SqliteCardStore &) = delete;

    // Opens the database now, if it is not open yet: cursor on the first
    // record. Throws StoreFailure naming the file when it does not exist, is
    // not an SQLite database, or has no table CARD_DATA or one WITHOUT ROWID,
    // whose records the store cannot reach by rowid. The bound field takes
    // effect here only if it names a field; an open never fails for it.
    void Open();

    QStringList Fields() override;
    void SetDataField(const QString &field) override;
    void Refresh() override;
    void MoveFirst() override;
    // Also true before the database is opened.
    bool IsEOF() const override;
    void Find(const Search &search) override;
    void MoveNext() override;
    void SetText(const QString &text) override;
    void CancelUpdate() override;
    void ExpectSearches(const QString &field, const QStringList &values) override;
    void Flush() override;
    qint64 RecordKey() const override;
    std::vector<std::string> TextsIfCommitted(const QString &text) override;
    bool SetJournal(WriteJournal *journal) override;

    // True while the store keeps an index of the field for its searches.
    bool HasIndexOf(const QString &field) const;

    // How long a write waits for another connection's lock; 5 seconds unless set.
    void SetBusyTimeout(std::chrono::milliseconds timeout);
    // How long a write transaction may stay open before a move commits it;
    // about one second unless set.
    void SetGroupCommitInterval(std::chrono::milliseconds interval);

private:
    struct Connection;
    struct Column
    {
        QString name;
        QString declaredType;
    };
    struct BoundField
    {
        QString name; // as the table spells it
        FieldConversion conversion;
    };
    struct Criteria
    {
        QString text; // field and value: what a later Find is compared by
        QString field; // as the table spells it
        LikePattern pattern;
        bool dateField; // by the field's declared type, as FieldConversion has it
        QString narrowing; // SqliteLikeCondition, or empty where it cannot narrow
        bool numbers;      // the field may hold numbers
    };

    Connection &Db();
    void Reopen(bool bindingMustExist);
    const Column *FindColumn(const QString &name) const;
    const Criteria &Resolve(const Search &search);

    // The matches of one criteria from one record on, as found at the start
    // of a walk and kept true since for the records after staleThrough.
    struct MatchList
    {
        QString criteria;
        QString field;
        qint64 from;
        std::vector<qint64> rowids;
        qint64 staleThrough = std::numeric_limits<qint64>::min();

        bool Answers(const QString &text, qint64 rowid) const { return text == criteria && rowid >= from && rowid > staleThrough; }
    };
    // How far one write reached, as the connection reported its changes.
    enum class Reach { Field, Record, Further };

    std::optional<qint64> FirstRecord();
    std::optional<qint64> RecordAfter(qint64 rowid);
    // The first record at or after rowid whose search field matches.
    std::optional<qint64> NextMatch(const Criteria &criteria, qint64 rowid);
    // Every match from `from` on, through the index where it serves.
    std::vector<qint64> FindMatches(const Criteria &criteria, qint64 from);
    // Passes over the table from `from` on: every match, or the first one.
    std::vector<qint64> ScanMatches(const Criteria &criteria, qint64 from);
    std::optional<qint64> ScanFirstMatch(const Criteria &criteria, qint64 from);
    // The statement of such a pass, bound; limit ends its SQL.
    sqlite::Statement &Pass(const Criteria &criteria, qint64 from, const char *limit);
    // Drops what was learnt of the table when another connection changed it.
    void CheckOtherConnections();
    // The same, once in each transaction, and at every call outside one.
    void CheckOtherConnectionsOnce();
    void ForgetMatches();
    void NoteWrite(const QString &field, qint64 rowid, Reach reach);

    // Moves the cursor, committing the pending change when it leaves the record.
    void MoveTo(std::optional<qint64> rowid);
    // Looks up the record the cursor stands on after a MoveNext that did not.
    void Settle();
    void CommitPending();
    void WriteField(const FieldValue &value, qint64 rowid);

    QString path_;
    std::chrono::milliseconds busyTimeout_{5000};
    std::chrono::milliseconds groupCommitInterval_{1000};

    std::unique_ptr<Connection> db_;
    QList<Column> columns_;
    QString dataField_ = QStringLiteral("REFERENCE"); // named, in force after the next Refresh
    std::optional<BoundField> bound_;
    std::optional<qint64> cursor_;
    // The cursor stands on the first record after *cursor_, which exists.
    bool cursorPastRowid_ = false;
    struct Bounds
    {
        qint64 first;
        qint64 last;
    };
    std::optional<Bounds> bounds_; // of the table's rowids, while known
    std::optional<QString> pending_;
    std::unique_ptr<Criteria> criteria_; // the last criteria, compiled

    std::optional<MatchList> matches_;
    qint64 checkedTransaction_ = -1; // the transaction CheckOtherConnectionsOnce last looked in
    ExactMatches exact_;               // the searches of an import run's lines, found in one pass
    QString scannedField_;             // the search field of the last pass over the table
    bool indexFailed_ = false;         // the index could not be built or read: passes only
    bool writesReachFurther_ = false;  // a write changed other records: a pass for every Find
    StoredForm storedForm_;            // what a preview's values would be, once stored
    WriteJournal *journal_ = nullptr;
};
