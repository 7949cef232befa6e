#include "UndoJournal.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

const QRegularExpression &JournalName()
{
    static const QRegularExpression name(QStringLiteral("^run_.*_(\\d+)\\.sqlite$"));
    return name;
}

qint64 Number(const QString &file)
{
    return JournalName().match(file).captured(1).toLongLong();
}

// The old and new values have no declared type, so SQLite keeps each as
// it is given: the storage class and bytes the card database held.
const char *const kSchema[] = {
    "CREATE TABLE run(started TEXT NOT NULL, undoes TEXT, card_database TEXT, rowid_name TEXT, undone TEXT, failure TEXT)",
    "CREATE TABLE writes(seq INTEGER PRIMARY KEY, grp INTEGER NOT NULL, record INTEGER NOT NULL, field TEXT NOT NULL, old, new)",
    "CREATE TABLE committed(grp INTEGER PRIMARY KEY)",
};

} // namespace

UndoJournal::UndoJournal(const QString &folder, const QDateTime &started, const QDateTime &undoes)
{
    if (!QDir().mkpath(folder))
        throw StoreFailure(QStringLiteral("Cannot make the undo folder %1").arg(folder));
    const QStringList files = Files(folder);
    const qint64 number = files.isEmpty() ? 1 : Number(files.last()) + 1;
    path_ = QDir(folder).filePath(QStringLiteral("run_%1_%2.sqlite")
                                      .arg(started.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")))
                                      .arg(number, 6, 10, QLatin1Char('0')));
    QFile::remove(path_);
    db_.emplace(sqlite::Database::OpenOrCreate(path_));
    sqlite::Transaction transaction(*db_);
    for (const char *statement : kSchema)
        db_->Execute(statement);
    db_->Cached("INSERT INTO run(started, undoes) VALUES(?1, ?2)")
        .Bind(1, started.toString(Qt::ISODateWithMs))
        .Bind(2, undoes.isValid() ? undoes.toString(Qt::ISODateWithMs) : QString())
        .Execute();
    transaction.Commit();

    for (qsizetype i = 0; i + kKept < files.size() + 1; ++i) {
        const QString old = QDir(folder).filePath(files[i]);
        QFile::remove(old + QStringLiteral("-journal"));
        QFile::remove(old);
    }
}

UndoJournal::~UndoJournal() = default;

QStringList UndoJournal::Files(const QString &folder)
{
    QStringList files = QDir(folder).entryList({QStringLiteral("run_*.sqlite")}, QDir::Files);
    files.removeIf([](const QString &file) { return !JournalName().match(file).hasMatch(); });
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) { return Number(a) < Number(b); });
    return files;
}

void UndoJournal::Discard()
{
    db_.reset();
    QFile::remove(path_);
}

sqlite::Value UndoJournal::Read(sqlite::Database &db, qint64 rowid, const QString &field)
{
    if (field != readField_) {
        readField_ = field;
        readSql_ = QStringLiteral("SELECT %1 FROM CARD_DATA WHERE %2 = ?1").arg(sqlite::QuoteIdentifier(field), rowidName_).toUtf8();
    }
    sqlite::Value value;
    db.Cached(readSql_).Bind(1, rowid).ForEachRow([&](const sqlite::Statement &row) { value = row.Copy(0); });
    return value;
}

void UndoJournal::Writing(sqlite::Database &db, const QString &rowidName, qint64 rowid, const QString &field)
{
    writing_.reset();
    if (!failure_.isEmpty())
        return;
    try {
        if (rowidName != rowidName_) {
            rowidName_ = rowidName;
            readField_.clear();
        }
        if (database_.isEmpty())
            database_ = db.Path();
        LearnType(db, field);
        writing_.emplace(Entry{rowid, field, Read(db, rowid, field), nullptr});
    } catch (const ::Failure &e) {
        Fail(e.message());
    }
}

// The journal keeps the value a write stored, which the column's affinity may
// have turned from the value given (a text into a number, a whole number into
// a real one). Rather than read the field back after writing it, the value is
// put through a column of the same declared type in the journal's memory.
void UndoJournal::LearnType(sqlite::Database &db, const QString &field)
{
    if (formTables_.contains(field))
        return;
    QString type;
    db.Cached("SELECT type FROM pragma_table_xinfo('CARD_DATA') WHERE name = ?1 COLLATE NOCASE")
        .Bind(1, field)
        .ForEachRow([&](const sqlite::Statement &row) { type = row.Text(0); });
    const QByteArray table = "form_" + QByteArray::number(qsizetype(formTables_.size()));
    // The declared type stands as the card table's own schema spells it.
    db_->Execute("CREATE TEMP TABLE " + table + " (v " + type.toUtf8() + ")");
    formTables_.emplace(field, table);
}

sqlite::Value UndoJournal::Stored(const QString &field, const Written &written)
{
    const QByteArray &table = formTables_.at(field);
    sqlite::Statement &insert = db_->Cached("INSERT INTO temp." + table + " (v) VALUES (?1)");
    written(insert, 1);
    insert.Execute();
    sqlite::Value value;
    db_->Cached("SELECT v FROM temp." + table).ForEachRow([&](const sqlite::Statement &row) { value = row.Copy(0); });
    db_->Cached("DELETE FROM temp." + table).Execute();
    return value;
}

void UndoJournal::Kept(const Written &written)
{
    if (!writing_)
        return;
    try {
        writing_->stored = Stored(writing_->field, written);
        group_.push_back(std::move(*writing_));
    } catch (const ::Failure &e) {
        Fail(e.message());
    }
    writing_.reset();
}

void UndoJournal::Committing()
{
    groupSaved_ = false;
    if (!failure_.isEmpty() || group_.empty())
        return;
    try {
        sqlite::Transaction transaction(*db_);
        if (!databaseSaved_) {
            db_->Cached("UPDATE run SET card_database = ?1, rowid_name = ?2").Bind(1, database_).Bind(2, rowidName_).Execute();
            databaseSaved_ = true;
        }
        sqlite::Statement &insert = db_->Cached("INSERT INTO writes(grp, record, field, old, new) VALUES(?1, ?2, ?3, ?4, ?5)");
        for (const Entry &entry : group_)
            insert.Bind(1, groupNumber_).Bind(2, entry.rowid).Bind(3, entry.field).Bind(4, entry.old).Bind(5, entry.stored).Execute();
        transaction.Commit();
        groupSaved_ = true;
    } catch (const ::Failure &e) {
        Fail(e.message());
    }
    group_.clear();
}

void UndoJournal::Committed()
{
    if (groupSaved_ && failure_.isEmpty()) {
        try {
            db_->Cached("INSERT INTO committed(grp) VALUES(?1)").Bind(1, groupNumber_).Execute();
        } catch (const ::Failure &e) {
            Fail(e.message());
        }
    }
    groupSaved_ = false;
    ++groupNumber_;
}

void UndoJournal::Dropped()
{
    writing_.reset();
    group_.clear();
    if (groupSaved_ && failure_.isEmpty()) {
        try {
            db_->Cached("DELETE FROM writes WHERE grp = ?1").Bind(1, groupNumber_).Execute();
        } catch (const ::Failure &e) {
            Fail(e.message());
        }
    }
    groupSaved_ = false;
    ++groupNumber_;
}

// The mark keeps an undo from taking the run back in part; a journal that
// cannot even be marked is deleted.
void UndoJournal::Fail(const QString &reason)
{
    failure_ = reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    group_.clear();
    try {
        db_->Cached("UPDATE run SET failure = ?1").Bind(1, failure_).Execute();
    } catch (const ::Failure &) {
        Discard();
    }
}
