#include "JournalUndo.h"

#include "CardStore.h"
#include "Sqlite.h"
#include "UndoTarget.h"

namespace {

QDateTime Stamp(const QString &text)
{
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODateWithMs);
}

JournalWrite WriteOf(const sqlite::Statement &row)
{
    return {row.Copy(0), row.Text(1), row.Copy(2), row.Copy(3)};
}

} // namespace

JournalSummary ReadJournal(const QString &path)
{
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    JournalSummary journal;
    journal.path = path;
    // Journals made before runs on a server kept one have no card_table.
    const bool tables = db.Cached("SELECT count(*) FROM pragma_table_info('run') WHERE name = 'card_table'").QueryInt64().value_or(0) > 0;
    db.Cached(tables ? "SELECT started, undoes, card_database, rowid_name, undone, failure, card_table FROM run"
                     : "SELECT started, undoes, card_database, rowid_name, undone, failure, NULL FROM run")
        .ForEachRow([&](const sqlite::Statement &row) {
            journal.started = Stamp(row.Text(0));
            journal.undoes = Stamp(row.Text(1));
            journal.cardDatabase = row.Text(2);
            journal.rowidName = row.Text(3);
            journal.undone = Stamp(row.Text(4));
            journal.failure = row.Text(5);
            journal.cardTable = row.Text(6);
        });
    journal.writes = db.Cached("SELECT count(*) FROM writes").QueryInt64().value_or(0);
    journal.committedGroups = db.Cached("SELECT count(*) FROM committed").QueryInt64().value_or(0);
    db.Cached("SELECT DISTINCT field FROM writes ORDER BY field").ForEachRow([&](const sqlite::Statement &row) {
        journal.fields << row.Text(0);
    });
    return journal;
}

UndoTally RestoreJournal(const JournalSummary &journal, const QString &cardDatabase, WriteJournal &own)
{
    sqlite::Database journalDb = sqlite::Database::OpenExisting(journal.path);
    const std::unique_ptr<UndoTarget> card = OpenUndoTarget(journal, cardDatabase);
    UndoTally tally;
    journalDb.Cached("SELECT w.record, w.field, w.old, w.new, c.grp IS NOT NULL FROM writes w LEFT JOIN committed c USING (grp) ORDER BY w.seq DESC")
        .ForEachRow([&](const sqlite::Statement &row) {
            const JournalWrite write = WriteOf(row);
            const bool committed = row.Int64(4) != 0;
            try {
                if (card->Restore(write, own)) {
                    ++tally.restored;
                    return;
                }
                if (!committed && card->HoldsOld(write))
                    return; // its group was never committed
                tally.conflicts.push_back({card->Name(write), write.field, QStringLiteral("changed since")});
            } catch (const RestoreRefused &e) {
                tally.conflicts.push_back({card->Name(write), write.field, e.message()});
            }
        });
    try {
        own.Committing();
        card->Commit();
        own.Committed();
    } catch (const ConnectionLost &) {
        own.Unsettled();
        throw;
    } catch (...) {
        own.Dropped();
        throw;
    }
    return tally;
}

// The undo's last write tells: a record holds what the undo's newest write
// of it stored, unless that write was never made.
bool SettleUnmarkedUndo(const JournalSummary &journal, const QString &cardDatabase)
{
    if (journal.writes == 0)
        return false;
    sqlite::Database journalDb = sqlite::Database::OpenExisting(journal.path);
    const std::unique_ptr<UndoTarget> card = OpenUndoTarget(journal, cardDatabase);
    bool made = false;
    journalDb.Cached("SELECT record, field, old, new FROM writes WHERE new IS NOT old ORDER BY seq DESC LIMIT 1").ForEachRow([&](const sqlite::Statement &row) {
        made = card->HoldsStored(WriteOf(row));
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
