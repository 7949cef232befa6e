#pragma once

#include "Sqlite.h"
#include "WriteJournal.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <variant>
#include <vector>

// The undo journal of one run: an SQLite file in the undo folder holding,
// for every field the run wrote, the record's rowid, the field, the value it
// replaced and the value it stored, both copied as SQLite stored them. For a
// run on a server: the record's key texts (a JSON array: see Wrote), and
// the server's texts of both values, or NULL; the run row names the
// connection without its password, the table and the key's expressions.
//
// Why the journal matches what the card database committed, even when the
// program is killed: the rows of a write group are committed to the journal
// (synchronously) just before the card database commits the group, and the
// group is marked committed in the journal just after. A kill between the
// two leaves one unmarked group, whose writes may or may not have been
// committed; an undo tells which by the record itself (it holds the value
// written: committed; the value replaced: not), so it never takes back a
// write that never happened nor misses one that did. The other order (the
// journal after the database) could lose the rows of a committed group, and
// attaching the journal to the card database's own transaction is atomic
// across both files only in rollback-journal mode, not in WAL mode.
//
// The file is named after the run's start, "run_<yyyy-MM-dd_HH-mm-ss>_<n>.sqlite",
// n counting up across runs; a new journal deletes all but the newest kKept.
class UndoJournal final : public WriteJournal
{
public:
    static constexpr int kKept = 20;

    // Creates the journal of the run begun at started in folder (made when
    // missing); undoes names the start of the run that this one, an undo,
    // takes back. Throws StoreFailure when the file cannot be made.
    UndoJournal(const QString &folder, const QDateTime &started, const QDateTime &undoes = {});
    ~UndoJournal() override;
    UndoJournal(const UndoJournal &) = delete;
    UndoJournal &operator=(const UndoJournal &) = delete;

    void Writing(sqlite::Database &db, const QString &rowidName, qint64 rowid, const QString &field) override;
    void Wrote(sqlite::Database &db, const QString &rowidName, qint64 rowid, const QString &field, sqlite::Value old) override;
    void Kept(const FieldValue &written) override;
    void KeptExact(const sqlite::Value &written) override;
    void Wrote(const ServerTable &table, const QStringList &record, const QString &field, const QString &old, const QString &written) override;
    void Committing() override;
    void Committed() override;
    void Dropped() override;
    void Unsettled() override;

    // Why the journal could not be kept; empty while it is whole.
    const QString &Failure() const { return failure_; }
    const QString &Path() const { return path_; }
    // Closes and deletes the file: the run it was made for wrote nothing.
    void Discard();

    // The journal files of folder, oldest first.
    static QStringList Files(const QString &folder);

private:
    // A value as the journal keeps it: a copy of what SQLite stored, or a
    // value given, which the journal's untyped columns store as it is.
    using Held = std::variant<sqlite::Value, FieldValue>;
    struct Entry
    {
        std::variant<qint64, QString> record; // a rowid, or a server's key texts
        QString field;
        Held old;
        // What the write stored: the value given, when the field keeps it
        // as it is, else a copy of its stored form.
        Held stored;
    };

    sqlite::Value Read(sqlite::Database &db, qint64 rowid, const QString &field);
    // The entry of a write; old is read when not given.
    void Note(sqlite::Database &db, const QString &rowidName, qint64 rowid, const QString &field, std::optional<sqlite::Value> old);
    void LearnType(sqlite::Database &db, const QString &field);
    void InsertGroup();
    sqlite::Value Stored(const QString &field, const FieldValue &written);
    void Fail(const QString &reason);

    QString path_;
    std::optional<sqlite::Database> db_;
    QString failure_;
    QString database_; // the card database, once it was written
    std::optional<ServerTable> server_;
    QString serverTable_; // server_'s table and key, as the run row keeps them
    QString rowidName_;
    QString readField_;
    QByteArray readSql_;
    // Per field written, a table in the journal's memory with a column of the
    // field's declared type, where a written value takes its stored form.
    struct Form
    {
        QByteArray table;
        bool keepsText = false; // TEXT affinity: a text is stored as given
        bool keepsAll = false;  // no affinity: every value is
    };
    std::map<QString, Form> formTables_;
    std::optional<Entry> writing_;
    std::vector<Entry> group_;
    qint64 groupNumber_ = 1;
    bool groupSaved_ = false;
    bool databaseSaved_ = false;
};
