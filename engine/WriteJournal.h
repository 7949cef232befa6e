#pragma once

#include "FieldConversion.h"
#include "Sqlite.h"

#include <QString>
#include <QStringList>

// What a card store over SQLite tells a journal of its writes, in the order
// it makes them: each field it is about to write (inside its open write
// transaction, so that the journal reads the value the write replaces in that
// same transaction), whether the write was kept in the open group or undone
// to its savepoint, with the value it wrote, and when the group's commit is
// about to happen, happened or failed. No field is read back after a write.
// A group whose commit fails is dropped whole; the writes that the store then
// applies again are told again, group by group.
//
// A card store over a server tells its writes otherwise (Wrote): once made,
// with the value each replaced and the value it stored, both as the server's
// text of the value, which its statement returns with the write itself.
//
// This base class journals nothing: it stands for "no journal".
class WriteJournal
{
public:
    virtual ~WriteJournal() = default;

    // `field` of the record `rowid` (reached by the name rowidName) is about
    // to be written on db, inside the open write transaction. Replaces any
    // write told before that was not kept.
    virtual void Writing(sqlite::Database &, const QString &rowidName, qint64 rowid, const QString &field)
    {
        (void)rowidName, (void)rowid, (void)field;
    }
    // Instead of Writing, once the write was made: the value old that it
    // replaced, as the write's own statement found it (null when it could
    // not be had).
    virtual void Wrote(sqlite::Database &, const QString &rowidName, qint64 rowid, const QString &field, sqlite::Value old)
    {
        (void)rowidName, (void)rowid, (void)field, (void)old;
    }
    // The last write told was made, giving its field the value written, and
    // stays in the open group; KeptExact when the value written is a copy of
    // a stored one.
    virtual void Kept(const FieldValue &written) { (void)written; }
    virtual void KeptExact(const sqlite::Value &written) { (void)written; }
    // How an undo reaches a server's records again: the connection (never
    // its password), the table as the store found it, and the expressions
    // whose texts name one version of one record.
    struct ServerTable
    {
        QString connection;
        QString table;
        QStringList key;
    };
    // A write of field on the server, kept in the open group: record is the
    // texts of the key for the version the write made, then for the version
    // it replaced; old and written are the server's texts of the values (a
    // null QString: NULL).
    virtual void Wrote(const ServerTable &table, const QStringList &record, const QString &field, const QString &old, const QString &written)
    {
        (void)table, (void)record, (void)field, (void)old, (void)written;
    }

    // The group's kept writes are about to be committed, are, or were not;
    // or the connection broke during the commit, which then may or may not
    // have happened (Unsettled).
    // None of the calls throws: a journal that cannot be kept says so itself.
    virtual void Committing() {}
    virtual void Committed() {}
    virtual void Dropped() {}
    virtual void Unsettled() {}
};
