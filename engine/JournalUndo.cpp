#include "JournalUndo.h"

#include "Sqlite.h"

#include <QFileInfo>

namespace {

QDateTime Stamp(const QString &text)
{
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODateWithMs);
}

// A stored value equal to ?n in storage class and bytes (text compared
// without the column's collation).
QString Holds(const QString &field, int n)
{
    return QStringLiteral("typeof(%1) = typeof(?%2) AND %1 IS ?%2 COLLATE BINARY").arg(field).arg(n);
}

} // namespace

JournalSummary ReadJournal(const QString &path)
{
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    JournalSummary journal;
    journal.path = path;
    db.Cached("SELECT started, undoes, card_database, rowid_name, undone, failure FROM run").ForEachRow([&](const sqlite::Statement &row) {
        journal.started = Stamp(row.Text(0));
        journal.undoes = Stamp(row.Text(1));
        journal.cardDatabase = row.Text(2);
        journal.rowidName = row.Text(3);
        journal.undone = Stamp(row.Text(4));
        journal.failure = row.Text(5);
    });
    journal.writes = db.Cached("SELECT count(*) FROM writes").QueryInt64().value_or(0);
    journal.committedGroups = db.Cached("SELECT count(*) FROM committed").QueryInt64().value_or(0);
    db.Cached("SELECT DISTINCT field FROM writes ORDER BY field").ForEachRow([&](const sqlite::Statement &row) {
        journal.fields << row.Text(0);
    });
    return journal;
}

UndoTally RestoreJournal(const JournalSummary &journal, WriteJournal &own)
{
    sqlite::Database journalDb = sqlite::Database::OpenExisting(journal.path);
    sqlite::Database card = sqlite::Database::OpenExisting(journal.cardDatabase);
    card.Execute("PRAGMA busy_timeout = 5000");
    card.Execute("PRAGMA foreign_keys = ON");
    const QString &rowid = journal.rowidName;

    UndoTally tally;
    sqlite::Transaction transaction(card);
    journalDb.Cached("SELECT w.record, w.field, w.old, w.new, c.grp IS NOT NULL FROM writes w LEFT JOIN committed c USING (grp) ORDER BY w.seq DESC")
        .ForEachRow([&](const sqlite::Statement &row) {
            const qint64 record = row.Int64(0);
            const QString field = row.Text(1);
            const QString quoted = sqlite::QuoteIdentifier(field);
            const sqlite::Value old = row.Copy(2);
            const sqlite::Value stored = row.Copy(3);
            const bool committed = row.Int64(4) != 0;
            try {
                own.Writing(card, rowid, record, field);
                card.Cached(QStringLiteral("UPDATE OR ABORT CARD_DATA SET %1 = ?1 WHERE %2 = ?2 AND %3").arg(quoted, rowid, Holds(quoted, 3)).toUtf8())
                    .Bind(1, old).Bind(2, record).Bind(3, stored).Execute();
                if (card.Changes() > 0) {
                    own.KeptExact(old);
                    ++tally.restored;
                    return;
                }
                const bool holdsOld = card.Cached(QStringLiteral("SELECT %1 FROM CARD_DATA WHERE %2 = ?2").arg(Holds(quoted, 1), rowid).toUtf8())
                                          .Bind(1, old).Bind(2, record).QueryInt64().value_or(0) != 0;
                if (!committed && holdsOld)
                    return; // its group was never committed
                tally.conflicts.push_back({record, field, QStringLiteral("changed since")});
            } catch (const sqlite::Error &e) {
                if (!card.InTransaction())
                    throw;
                tally.conflicts.push_back({record, field, e.Reason()});
            }
        });
    try {
        own.Committing();
        transaction.Commit();
        own.Committed();
    } catch (...) {
        own.Dropped();
        throw;
    }
    return tally;
}

bool SettleUnmarkedUndo(const JournalSummary &journal)
{
    if (journal.writes == 0)
        return false;
    sqlite::Database journalDb = sqlite::Database::OpenExisting(journal.path);
    sqlite::Database card = sqlite::Database::OpenExisting(journal.cardDatabase);
    card.Execute("PRAGMA busy_timeout = 5000");
    // A write that changed its field tells: the record holds what it wrote, or what it replaced.
    bool made = false;
    journalDb.Cached("SELECT record, field, new FROM writes WHERE new IS NOT old ORDER BY seq LIMIT 1").ForEachRow([&](const sqlite::Statement &row) {
        const QString quoted = sqlite::QuoteIdentifier(row.Text(1));
        made = card.Cached(QStringLiteral("SELECT %1 FROM CARD_DATA WHERE %2 = ?2").arg(Holds(quoted, 1), journal.rowidName).toUtf8())
                   .Bind(1, row.Copy(2)).Bind(2, row.Int64(0)).QueryInt64().value_or(0) != 0;
    });
    if (made)
        journalDb.Execute("INSERT OR IGNORE INTO committed SELECT DISTINCT grp FROM writes");
    return made;
}

void MarkUndone(const QString &path, const QDateTime &when)
{
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    db.Cached("UPDATE run SET undone = ?1").Bind(1, when.toString(Qt::ISODateWithMs)).Execute();
}
