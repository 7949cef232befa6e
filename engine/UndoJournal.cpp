#include "UndoJournal.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
// it is given: the storage class and bytes the card database held. A
// server's key texts are a JSON array, which the record column's integer
// affinity leaves a text ("012" stays "012").
const char *const kSchema[] = {
    "CREATE TABLE run(started TEXT NOT NULL, undoes TEXT, card_database TEXT, rowid_name TEXT, undone TEXT, failure TEXT, card_table TEXT)",
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
    // One sync per commit (of the write-ahead log) instead of the three or
    // four of a rollback journal; a killed program loses no committed
    // transaction of either.
    db_->Execute("PRAGMA journal_mode = WAL");
    db_->Execute("PRAGMA synchronous = FULL");
    db_->Execute("PRAGMA temp_store = MEMORY");
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
        for (const char *companion : {"-journal", "-wal", "-shm"})
            QFile::remove(old + QLatin1String(companion));
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
    Note(db, rowidName, rowid, field, std::nullopt);
}

void UndoJournal::Wrote(sqlite::Database &db, const QString &rowidName, qint64 rowid, const QString &field, sqlite::Value old)
{
    if (!old)
        Fail(QStringLiteral("the value a write replaced could not be read"));
    Note(db, rowidName, rowid, field, std::move(old));
}

void UndoJournal::Note(sqlite::Database &db, const QString &rowidName, qint64 rowid, const QString &field, std::optional<sqlite::Value> old)
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
        writing_.emplace(Entry{rowid, field, old ? std::move(*old) : Read(db, rowid, field), sqlite::Value()});
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
    // SQLite's rules of affinity: a column of TEXT affinity keeps a text as
    // it is, one of none (BLOB, or no type) keeps every value as it is.
    const QString upper = type.toUpper();
    const bool integer = upper.contains(QLatin1String("INT"));
    const bool text = !integer && (upper.contains(QLatin1String("CHAR")) || upper.contains(QLatin1String("CLOB")) || upper.contains(QLatin1String("TEXT")));
    const bool none = !integer && !text && (upper.isEmpty() || upper.contains(QLatin1String("BLOB")));
    Form form{"form_" + QByteArray::number(qsizetype(formTables_.size())), text, none};
    // The declared type stands as the card table's own schema spells it.
    db_->Execute("CREATE TEMP TABLE " + form.table + " (v " + type.toUtf8() + ")");
    formTables_.emplace(field, std::move(form));
}

sqlite::Value UndoJournal::Stored(const QString &field, const FieldValue &written)
{
    const QByteArray &table = formTables_.at(field).table;
    db_->Cached("INSERT INTO temp." + table + " (v) VALUES (?1)").Bind(1, written).Execute();
    sqlite::Value value;
    db_->Cached("SELECT v FROM temp." + table).ForEachRow([&](const sqlite::Statement &row) { value = row.Copy(0); });
    db_->Cached("DELETE FROM temp." + table).Execute();
    return value;
}

void UndoJournal::Kept(const FieldValue &written)
{
    if (!writing_)
        return;
    try {
        const Form &form = formTables_.at(writing_->field);
        if (form.keepsAll || std::holds_alternative<std::monostate>(written) || (form.keepsText && std::holds_alternative<QString>(written)))
            writing_->stored = written;
        else
            writing_->stored = Stored(writing_->field, written);
        group_.push_back(std::move(*writing_));
    } catch (const ::Failure &e) {
        Fail(e.message());
    }
    writing_.reset();
}

void UndoJournal::KeptExact(const sqlite::Value &written)
{
    if (!writing_)
        return;
    sqlite::Value copy(written ? sqlite3_value_dup(written.get()) : nullptr);
    const bool copied = copy || !written;
    writing_->stored = std::move(copy);
    if (!copied)
        Fail(QStringLiteral("out of memory"));
    else
        group_.push_back(std::move(*writing_));
    writing_.reset();
}

// A statement per row spent about as much on starting it as on the row:
// full runs of kRowsPerInsert rows go in by one statement each.
void UndoJournal::InsertGroup()
{
    constexpr int kRowsPerInsert = 32;
    QByteArray many = "INSERT INTO writes(grp, record, field, old, new) VALUES (?1, ?, ?, ?, ?)";
    for (int row = 1; row < kRowsPerInsert; ++row)
        many += ", (?1, ?, ?, ?, ?)";
    const auto bind = [](sqlite::Statement &insert, int first, const Entry &entry) {
        std::visit([&](const auto &record) { insert.Bind(first, record); }, entry.record);
        insert.Bind(first + 1, entry.field);
        std::visit([&](const auto &old) { insert.Bind(first + 2, old); }, entry.old);
        std::visit([&](const auto &stored) { insert.Bind(first + 3, stored); }, entry.stored);
    };
    std::size_t done = 0;
    for (; group_.size() - done >= kRowsPerInsert; done += kRowsPerInsert) {
        sqlite::Statement &insert = db_->Cached(many);
        insert.Bind(1, groupNumber_);
        for (int row = 0; row < kRowsPerInsert; ++row)
            bind(insert, 2 + 4 * row, group_[done + std::size_t(row)]);
        insert.Execute();
    }
    for (; done < group_.size(); ++done) {
        sqlite::Statement &insert = db_->Cached("INSERT INTO writes(grp, record, field, old, new) VALUES (?1, ?2, ?3, ?4, ?5)");
        insert.Bind(1, groupNumber_);
        bind(insert, 2, group_[done]);
        insert.Execute();
    }
}

void UndoJournal::Committing()
{
    groupSaved_ = false;
    if (!failure_.isEmpty() || group_.empty())
        return;
    try {
        sqlite::Transaction transaction(*db_);
        if (!databaseSaved_) {
            sqlite::Statement &run = db_->Cached("UPDATE run SET card_database = ?1, rowid_name = ?2, card_table = ?3");
            run.Bind(1, database_).Bind(2, rowidName_);
            server_ ? run.Bind(3, serverTable_) : run.Bind(3, nullptr);
            run.Execute();
            databaseSaved_ = true;
        }
        InsertGroup();
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
            // Unsynced: a mark lost to a power cut is settled at undo time by
            // the records themselves, as for a program killed before it.
            db_->Execute("PRAGMA synchronous = OFF");
            db_->Cached("INSERT INTO committed(grp) VALUES(?1)").Bind(1, groupNumber_).Execute();
            db_->Execute("PRAGMA synchronous = FULL");
        } catch (const ::Failure &e) {
            Fail(e.message());
        }
    }
    groupSaved_ = false;
    ++groupNumber_;
}

namespace {

FieldValue ServerValue(const QString &text)
{
    return text.isNull() ? FieldValue() : FieldValue(text);
}

QString JsonText(const QJsonDocument &document)
{
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

// A record's key texts as a compact JSON array, once per write. Texts of
// printable ASCII other than the double quote and the backslash, as most
// keys are, stand in it as they are, which is how QJsonDocument writes them;
// any other text is left to QJsonDocument.
QString JsonArray(const QStringList &texts)
{
    qsizetype size = 2;
    for (const QString &text : texts)
        size += text.size() + 3;
    QString json;
    json.reserve(size);
    json += QLatin1Char('[');
    for (const QString &text : texts) {
        const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u' ' && c <= u'~' && c != u'"' && c != u'\\'; });
        if (!plain)
            return JsonText(QJsonDocument(QJsonArray::fromStringList(texts)));
        if (json.size() > 1)
            json += QLatin1Char(',');
        json += QLatin1Char('"');
        json += text;
        json += QLatin1Char('"');
    }
    json += QLatin1Char(']');
    return json;
}

} // namespace

// The journal names one table of one server: a run whose store found
// another table, or another key, midway cannot be taken back as one.
void UndoJournal::Wrote(const ServerTable &table, const QStringList &record, const QString &field, const QString &old, const QString &written)
{
    if (!failure_.isEmpty())
        return;
    if (!server_) {
        server_ = table;
        database_ = table.connection;
        serverTable_ = JsonText(QJsonDocument(QJsonObject{{QStringLiteral("table"), table.table}, {QStringLiteral("key"), QJsonArray::fromStringList(table.key)}}));
    } else if (server_->connection != table.connection || server_->table != table.table || server_->key != table.key) {
        Fail(QStringLiteral("the card table or its key changed during the run"));
        return;
    }
    group_.push_back(Entry{JsonArray(record), field, ServerValue(old), ServerValue(written)});
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

// The connection broke while the group was being committed: it stays in the
// journal unmarked, and an undo tells by the records whether it was made.
void UndoJournal::Unsettled()
{
    group_.clear();
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
