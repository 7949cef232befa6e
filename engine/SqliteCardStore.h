#pragma once

#include "CardStore.h"
#include "FieldConversion.h"
#include "LikePattern.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

// The card store over an SQLite database file holding the table "CARD_DATA".
// The fields are the table's columns in declared order; the records, in
// rowid order. The cursor is the current record's rowid: nothing of the table
// is held in memory, and each operation reads what it needs, so a walk over
// all matches costs one pass over the table.
//
// Committed changes are grouped into one write transaction, which begins at
// the first change (waiting up to the busy timeout for another connection's
// lock) and ends at Flush, at the first move after it has been open for the
// group-commit interval, or when the store is destroyed.
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
    // not an SQLite database or has no table CARD_DATA. The bound field takes
    // effect here only if it names a field; an open never fails for it.
    void Open();

    QStringList Fields() override;
    void SetDataField(const QString &field) override;
    void Refresh() override;
    void MoveFirst() override;
    // Also true before the database is opened.
    bool IsEOF() const override;
    void Find(const QString &criteria) override;
    void MoveNext() override;
    void SetText(const QString &text) override;
    void CancelUpdate() override;
    void Flush() override;

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
        QString text;
        QString field; // as the table spells it
        LikePattern pattern;
    };

    Connection &Db();
    void Reopen(bool bindingMustExist);
    const Column *FindColumn(const QString &name) const;
    const Criteria &ParseCriteria(const QString &text);

    std::optional<qint64> FirstRecord();
    std::optional<qint64> RecordAfter(qint64 rowid);
    // The first record at or after rowid whose search field matches.
    std::optional<qint64> NextMatch(const Criteria &criteria, qint64 rowid);

    // Moves the cursor, committing the pending change when it leaves the record.
    void MoveTo(std::optional<qint64> rowid);
    void CommitPending();
    void WriteField(const FieldValue &value, qint64 rowid);
    void FlushIfDue();

    QString path_;
    std::chrono::milliseconds busyTimeout_{5000};
    std::chrono::milliseconds groupCommitInterval_{1000};

    std::unique_ptr<Connection> db_;
    QList<Column> columns_;
    QString dataField_ = QStringLiteral("REFERENCE"); // named, in force after the next Refresh
    std::optional<BoundField> bound_;
    std::optional<qint64> cursor_;
    std::optional<QString> pending_;
    std::unique_ptr<Criteria> criteria_; // the last criteria, compiled
};
