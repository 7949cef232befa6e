// An undo's writes to an SQLite card database.
#include "UndoTarget.h"

#include "JournalUndo.h"

#include <optional>

namespace {

// A stored value equal to ?n in storage class and bytes (text compared
// without the column's collation).
QString SameValue(const QString &field, int n)
{
    return QStringLiteral("typeof(%1) = typeof(?%2) AND %1 IS ?%2 COLLATE BINARY").arg(field).arg(n);
}

class SqliteUndoTarget final : public UndoTarget
{
public:
    explicit SqliteUndoTarget(const JournalSummary &journal)
        : card_(sqlite::Database::OpenExisting(journal.cardDatabase))
        , rowid_(journal.rowidName)
    {
        card_.Execute("PRAGMA busy_timeout = 5000");
        card_.Execute("PRAGMA foreign_keys = ON");
    }

    bool Restore(const JournalWrite &write, WriteJournal &own) override
    {
        if (!transaction_)
            transaction_.emplace(card_);
        const qint64 record = sqlite3_value_int64(write.record.get());
        const QString quoted = sqlite::QuoteIdentifier(write.field);
        try {
            own.Writing(card_, rowid_, record, write.field);
            card_.Cached(QStringLiteral("UPDATE OR ABORT CARD_DATA SET %1 = ?1 WHERE %2 = ?2 AND %3").arg(quoted, rowid_, SameValue(quoted, 3)).toUtf8())
                .Bind(1, write.old).Bind(2, record).Bind(3, write.stored).Execute();
        } catch (const sqlite::Error &e) {
            if (!card_.InTransaction())
                throw;
            throw RestoreRefused(e.Reason());
        }
        if (card_.Changes() == 0)
            return false;
        own.KeptExact(write.old);
        return true;
    }

    bool HoldsStored(const JournalWrite &write) override { return Holds(write, write.stored); }
    bool HoldsOld(const JournalWrite &write) override { return Holds(write, write.old); }

    void Commit() override
    {
        if (transaction_)
            transaction_->Commit();
    }

    QString Name(const JournalWrite &write) const override { return QString::number(sqlite3_value_int64(write.record.get())); }

private:
    bool Holds(const JournalWrite &write, const sqlite::Value &value)
    {
        const QString quoted = sqlite::QuoteIdentifier(write.field);
        return card_.Cached(QStringLiteral("SELECT %1 FROM CARD_DATA WHERE %2 = ?2").arg(SameValue(quoted, 1), rowid_).toUtf8())
                   .Bind(1, value).Bind(2, sqlite3_value_int64(write.record.get())).QueryInt64().value_or(0) != 0;
    }

    sqlite::Database card_;
    QString rowid_;
    std::optional<sqlite::Transaction> transaction_;
};

} // namespace

std::unique_ptr<UndoTarget> OpenSqliteUndoTarget(const JournalSummary &journal)
{
    return std::make_unique<SqliteUndoTarget>(journal);
}
