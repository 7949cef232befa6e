#pragma once

#include "WriteJournal.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// One run's undo journal as an undo reads it.
struct JournalSummary
{
    QString path;
    QDateTime started;
    // The journal is an undo's: it takes back the run begun then.
    QDateTime undoes;
    QString cardDatabase; // empty when the run wrote nothing
    QString rowidName;
    QString cardTable;    // a server's table and key; empty for an SQLite file
    QDateTime undone;     // when the run was taken back, if it was
    QString failure;      // why the journal is incomplete, if it is
    qint64 writes = 0;
    qint64 committedGroups = 0;
    QStringList fields;
};

// Reads the journal file. Throws StoreFailure when it cannot be read.
JournalSummary ReadJournal(const QString &path);

// A field that an undo left as it is, and why.
struct UndoConflict
{
    QString record;
    QString field;
    QString reason;
};

struct UndoTally
{
    qint64 restored = 0;
    std::vector<UndoConflict> conflicts;
};

// Takes back the journal's writes, newest first, in one write transaction
// of the card database it names (OpenUndoTarget; cardDatabase is the
// setting now): a field gets its old value back only while the record still
// holds the value the run stored; one changed since (or refused by the
// table) is a conflict and is left alone. A write of a group whose commit
// the journal never saw counts as never made when the record holds its old
// value. own is told of every field written. Throws StoreFailure when the
// undo cannot be done: nothing is restored then.
UndoTally RestoreJournal(const JournalSummary &journal, const QString &cardDatabase, WriteJournal &own);

// Whether the writes of an undo's journal whose group was never marked
// committed are in the card database: an undo commits its writes in one
// transaction, so a program ended before that commit left the journal of
// an undo that never happened, and one ended just after it, the journal of
// an undo that did. In the second case the group is marked committed now.
// Throws StoreFailure.
bool SettleUnmarkedUndo(const JournalSummary &journal, const QString &cardDatabase);

// Notes in the journal that its run was taken back at when. Throws StoreFailure.
void MarkUndone(const QString &path, const QDateTime &when);
