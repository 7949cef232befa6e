#include "Sqlite.h"

#include "SqlitePageMemory.h"
#include "SqliteWriteBuffer.h"

#include <QFileInfo>

#include <mutex>
#include <utility>

namespace sqlite {

namespace {

QString Describe(const QString &reason, const QString &path, const QByteArray &sql)
{
    QString message = reason + QStringLiteral(" (database ") + path;
    if (!sql.isEmpty())
        message += QStringLiteral("; statement ") + QString::fromUtf8(sql);
    return message + QLatin1Char(')');
}

QString ErrorMessage(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// SQLite's memory and the gathering VFS, set up once before the first
// connection.
void Setup()
{
    static std::once_flag done;
    std::call_once(done, [] {
        UsePageRegion();
        sqlite3_initialize();
        RegisterWriteBufferVfs();
    });
}

// Runs sql without a prepared statement and without reporting errors: for
// clean-up in destructors, where the outcome cannot be acted on.
void ExecuteQuietly(sqlite3 *db, const char *sql) noexcept
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

} // namespace

Error::Error(int code, const QString &reason, const QString &path, const QByteArray &sql)
    : StoreFailure(Describe(reason, path, sql))
    , code_(code)
    , reason_(reason)
{
}

Statement::Statement(sqlite3 *db, const QString &path, const QByteArray &sql)
    : db_(db)
    , path_(path)
    , sql_(sql)
{
    sqlite3_stmt *stmt = nullptr;
    const int result = sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    stmt_.reset(stmt);
    if (result != SQLITE_OK)
        throw Error(result, ErrorMessage(db), path, sql);
}

void Statement::CheckBind(int result) const
{
    if (result != SQLITE_OK)
        throw Error(result, ErrorMessage(db_), path_, sql_);
}

Statement &Statement::Bind(int index, std::nullptr_t)
{
    CheckBind(sqlite3_bind_null(stmt_.get(), index));
    return *this;
}

Statement &Statement::Bind(int index, qint64 value)
{
    CheckBind(sqlite3_bind_int64(stmt_.get(), index, value));
    return *this;
}

Statement &Statement::Bind(int index, double value)
{
    CheckBind(sqlite3_bind_double(stmt_.get(), index, value));
    return *this;
}

Statement &Statement::Bind(int index, const QString &value)
{
    // Most values are short and ASCII: no conversion of their own on the heap.
    constexpr qsizetype kShort = 64;
    if (value.size() <= kShort) {
        char ascii[kShort];
        const QChar *text = value.constData();
        qsizetype n = 0;
        while (n < value.size() && text[n].unicode() < 0x80) {
            ascii[n] = char(text[n].unicode());
            ++n;
        }
        if (n == value.size()) {
            CheckBind(sqlite3_bind_text64(stmt_.get(), index, ascii, sqlite3_uint64(n), SQLITE_TRANSIENT, SQLITE_UTF8));
            return *this;
        }
    }
    const QByteArray utf8 = value.toUtf8();
    CheckBind(sqlite3_bind_text64(stmt_.get(), index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

Statement &Statement::BindBlob(int index, std::string_view bytes)
{
    // A null pointer would bind NULL, not the empty blob.
    if (bytes.empty())
        CheckBind(sqlite3_bind_zeroblob(stmt_.get(), index, 0));
    else
        CheckBind(sqlite3_bind_blob64(stmt_.get(), index, bytes.data(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement &Statement::Bind(int index, const Value &value)
{
    CheckBind(value ? sqlite3_bind_value(stmt_.get(), index, value.get()) : sqlite3_bind_null(stmt_.get(), index));
    return *this;
}

Statement &Statement::Bind(int index, const std::variant<std::monostate, qint64, double, QString> &value)
{
    return std::visit([&](const auto &alternative) -> Statement & {
        if constexpr (std::is_same_v<std::decay_t<decltype(alternative)>, std::monostate>)
            return Bind(index, nullptr);
        else
            return Bind(index, alternative);
    }, value);
}

bool Statement::Step()
{
    const int result = sqlite3_step(stmt_.get());
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    // Take the message before the reset, which may replace it.
    Error error(result, ErrorMessage(db_), path_, sql_);
    Reset();
    throw error;
}

void Statement::Reset() noexcept
{
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
}

void Statement::Execute()
{
    const Resetter resetter{this};
    while (Step()) {
    }
}

std::optional<qint64> Statement::QueryInt64()
{
    const Resetter resetter{this};
    if (!Step())
        return std::nullopt;
    return Int64(0);
}

qint64 Statement::Int64(int column) const
{
    return sqlite3_column_int64(stmt_.get(), column);
}

QString Statement::Text(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt_.get(), column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt_.get(), column));
}

std::string_view Statement::Blob(int column) const
{
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(stmt_.get(), column));
    return std::string_view(bytes ? bytes : "", std::size_t(sqlite3_column_bytes(stmt_.get(), column)));
}

Value Statement::Copy(int column) const
{
    Value value(sqlite3_value_dup(sqlite3_column_value(stmt_.get(), column)));
    if (!value)
        throw Error(SQLITE_NOMEM, QStringLiteral("out of memory"), path_, sql_);
    return value;
}

Database::Database(ConnectionHandle db, const QString &path)
    : db_(std::move(db))
    , path_(path)
{
}

Database Database::OpenExisting(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw Error(SQLITE_CANTOPEN, QStringLiteral("the file does not exist"), path, {});
    Setup();
    sqlite3 *raw = nullptr;
    // A connection is only ever used by the thread that opened it: no mutex.
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, kWriteBufferVfs);
    ConnectionHandle db(raw);
    if (result != SQLITE_OK) {
        const QString reason = db ? ErrorMessage(db.get()) : QString::fromUtf8(sqlite3_errstr(result));
        throw Error(result, reason, path, {});
    }
    sqlite3_extended_result_codes(db.get(), 1);
    // The gathering VFS relies on the syncs (SQLite's default, stated for a
    // build whose default differs).
    Database opened(std::move(db), path);
    opened.Execute("PRAGMA synchronous = FULL");
    return opened;
}

Database Database::OpenOrCreate(const QString &path)
{
    Setup();
    sqlite3 *raw = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    ConnectionHandle db(raw);
    if (result != SQLITE_OK)
        throw Error(result, db ? ErrorMessage(db.get()) : QString::fromUtf8(sqlite3_errstr(result)), path, {});
    sqlite3_extended_result_codes(db.get(), 1);
    return Database(std::move(db), path);
}

Database Database::OpenMemory()
{
    return OpenOrCreate(QStringLiteral(":memory:"));
}

Statement &Database::Cached(const QByteArray &sql)
{
    auto found = statements_.find(sql);
    if (found == statements_.end())
        found = statements_.emplace(sql, std::make_unique<Statement>(db_.get(), path_, sql)).first;
    return *found->second;
}

bool Database::HasDeferredViolations() const
{
    int current = 0;
    int highest = 0;
    sqlite3_db_status(db_.get(), SQLITE_DBSTATUS_DEFERRED_FKS, &current, &highest, 0);
    return current > 0;
}

qint64 Database::CacheSpills() const
{
    int current = 0;
    int highest = 0;
    sqlite3_db_status(db_.get(), SQLITE_DBSTATUS_CACHE_SPILL, &current, &highest, 0);
    return current;
}

Transaction::Transaction(Database &db)
    : db_(db)
{
    db_.Execute("BEGIN EXCLUSIVE");
}

Transaction::~Transaction()
{
    // SQLite may already have rolled the transaction back by itself after
    // an I/O or memory error.
    if (open_ && db_.InTransaction())
        ExecuteQuietly(db_.Handle(), "ROLLBACK");
}

void Transaction::Commit()
{
    open_ = false;
    try {
        db_.Execute("COMMIT");
    } catch (const Error &) {
        if (db_.InTransaction())
            ExecuteQuietly(db_.Handle(), "ROLLBACK");
        throw;
    }
}

void Database::CreateFunction(const char *name, int arguments, void *userData, Function function)
{
    const int result = sqlite3_create_function_v2(db_.get(), name, arguments, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                                                  userData, function, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK)
        throw Error(result, QString::fromUtf8(sqlite3_errmsg(db_.get())), path_, name);
}

ReadTransaction::ReadTransaction(Database &db)
    : db_(db)
{
    db_.Execute("BEGIN DEFERRED");
}

ReadTransaction::~ReadTransaction()
{
    if (!db_.InTransaction())
        return;
    ExecuteQuietly(db_.Handle(), "COMMIT");
    if (db_.InTransaction())
        ExecuteQuietly(db_.Handle(), "ROLLBACK");
}

Savepoint::Savepoint(Database &db, const QByteArray &name)
    : db_(db)
    , name_(name)
{
    db_.Execute("SAVEPOINT " + name_);
}

Savepoint::~Savepoint()
{
    if (!open_ || !db_.InTransaction())
        return;
    ExecuteQuietly(db_.Handle(), ("ROLLBACK TO " + name_).constData());
    ExecuteQuietly(db_.Handle(), ("RELEASE " + name_).constData());
}

void Savepoint::Release()
{
    db_.Execute("RELEASE " + name_);
    open_ = false;
}

QString QuoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString RealText(double value)
{
    char *text = sqlite3_mprintf("%!.15g", value);
    const QString result = QString::fromUtf8(text);
    sqlite3_free(text);
    return result;
}

} // namespace sqlite
