#pragma once

#include "Failure.h"
#include "Sqlite.h"
#include "WriteJournal.h"

#include <QString>

#include <memory>

struct JournalSummary;

// One write of an undo journal as an undo takes it back.
struct JournalWrite
{
    sqlite::Value record; // a rowid, or a server's key texts (see UndoJournal)
    QString field;
    sqlite::Value old;    // the value the write replaced
    sqlite::Value stored; // the value it stored
};

// The card database an undo writes to, in one transaction that begins when
// the target is opened and is rolled back unless Commit ends it. The SQLite
// file and the server each compare a record's field with the journal's value
// in the form they keep it: SQLite by storage class and bytes, the server by
// the text of the value (NULL only equals NULL).
class UndoTarget
{
public:
    virtual ~UndoTarget() = default;

    // Gives the field its old value back when the record still holds what
    // the write stored, and tells own; false when it holds something else or
    // is gone. Throws RestoreRefused when the database refuses the restore
    // (a constraint, a row lock held too long): that write alone is undone.
    // Any other Failure ends the undo.
    virtual bool Restore(const JournalWrite &write, WriteJournal &own) = 0;
    // Whether the record holds, where the write left it, the value it
    // stored; or, where the write found it, the value it replaced.
    virtual bool HoldsStored(const JournalWrite &write) = 0;
    virtual bool HoldsOld(const JournalWrite &write) = 0;
    // Commits the restores. Throws ConnectionLost when the connection broke
    // during the commit (it may or may not have happened), another Failure
    // when it did not happen.
    virtual void Commit() = 0;
    // The record as a conflict names it.
    virtual QString Name(const JournalWrite &write) const = 0;
};

class RestoreRefused : public StoreFailure
{
public:
    using StoreFailure::StoreFailure;
};

// The journal's card database: its SQLite file, or its server, reached by
// cardDatabase (the setting now, which may hold the password the journal
// does not keep) when that names the same server. Throws StoreFailure.
std::unique_ptr<UndoTarget> OpenUndoTarget(const JournalSummary &journal, const QString &cardDatabase);
std::unique_ptr<UndoTarget> OpenSqliteUndoTarget(const JournalSummary &journal);
std::unique_ptr<UndoTarget> OpenPgUndoTarget(const JournalSummary &journal, const QString &connection);

// Whether the journal's card database is the one cardDatabase names: the
// same file, or the same connection but for the password (SameServer).
bool SameCardDatabase(const JournalSummary &journal, const QString &cardDatabase);
bool SameServer(const JournalSummary &journal, const QString &cardDatabase);
// The card database as the undo names it to the operator: a server by host,
// port, database and user.
QString ShownCardDatabase(const QString &cardDatabase, bool server);
