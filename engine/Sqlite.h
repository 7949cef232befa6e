#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <string_view>

// A thin owning layer over the SQLite C API, the only header of the program
// that includes <sqlite3.h>. Handles are released by their owners, statements
// are reset after every use so that none holds a lock between calls, and every
// error carries SQLite's own message, the database file and the statement.
namespace sqlite {

// An error reported by SQLite.
class Error : public StoreFailure
{
public:
    Error(int code, const QString &reason, const QString &path, const QByteArray &sql);

    int Code() const { return code_; }
    // SQLite's own message (sqlite3_errmsg), without the file and statement.
    const QString &Reason() const { return reason_; }

private:
    int code_;
    QString reason_;
};

struct CloseConnection
{
    void operator()(sqlite3 *db) const noexcept { sqlite3_close_v2(db); }
};

struct FinalizeStatement
{
    void operator()(sqlite3_stmt *stmt) const noexcept { sqlite3_finalize(stmt); }
};

struct FreeValue
{
    void operator()(sqlite3_value *value) const noexcept { sqlite3_value_free(value); }
};

using ConnectionHandle = std::unique_ptr<sqlite3, CloseConnection>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;
// A copy of one stored value, its storage class and bytes exactly.
using Value = std::unique_ptr<sqlite3_value, FreeValue>;

// A prepared statement. Parameters are numbered from 1, columns from 0.
// Every run leaves the statement reset with its parameters cleared.
class Statement
{
public:
    Statement(sqlite3 *db, const QString &path, const QByteArray &sql);

    Statement &Bind(int index, std::nullptr_t);
    Statement &Bind(int index, qint64 value);
    Statement &Bind(int index, double value);
    Statement &Bind(int index, const QString &value);
    Statement &BindBlob(int index, std::string_view bytes);
    // Binds the value as it is; a null handle binds NULL.
    Statement &Bind(int index, const Value &value);
    // Binds the alternative the variant holds; monostate binds NULL.
    Statement &Bind(int index, const std::variant<std::monostate, qint64, double, QString> &value);

    // Runs the statement to its end, ignoring any rows.
    void Execute();
    // The first column of the first row, if there is a row.
    std::optional<qint64> QueryInt64();
    // Calls row(*this) for each row; read the row with Int64 and Text.
    template <typename RowFunction>
    void ForEachRow(RowFunction row)
    {
        const Resetter resetter{this};
        while (Step())
            row(*this);
    }

    qint64 Int64(int column) const;
    QString Text(int column) const;
    // Valid until the next step or reset of the statement.
    std::string_view Blob(int column) const;
    // A copy of the column's value that outlives the row. Throws Error when
    // memory runs out.
    Value Copy(int column) const;

    const QByteArray &Sql() const { return sql_; }
    // For readers of a row that need SQLite's own column functions.
    sqlite3_stmt *Handle() const { return stmt_.get(); }

private:
    struct Resetter
    {
        Statement *statement;
        ~Resetter() { statement->Reset(); }
    };

    // True while a row is available. An error resets the statement and throws.
    bool Step();
    void Reset() noexcept;
    void CheckBind(int result) const;

    sqlite3 *db_;
    QString path_;
    QByteArray sql_;
    StatementHandle stmt_;
};

// An open connection to an existing database file.
class Database
{
public:
    // Opens the file for reading and writing; never creates it. Its writes
    // and its rollback journal's go through the gathering VFS of
    // SqliteWriteBuffer.h, which relies on the syncs: the connection runs
    // with synchronous FULL and must never turn it off. Throws Error.
    static Database OpenExisting(const QString &path);
    // Opens the file for reading and writing, creating it when missing. Throws Error.
    static Database OpenOrCreate(const QString &path);
    // A new, private database in memory. Throws Error.
    static Database OpenMemory();

    sqlite3 *Handle() const { return db_.get(); }
    const QString &Path() const { return path_; }

    // The statement for sql, prepared on first use and kept while the
    // connection is open.
    Statement &Cached(const QByteArray &sql);
    // Runs one cached statement to its end.
    void Execute(const QByteArray &sql) { Cached(sql).Execute(); }

    using Function = void (*)(sqlite3_context *, int, sqlite3_value **);
    // Adds a deterministic SQL function of this connection's statements
    // (never of the schema's), with userData for sqlite3_user_data. Throws Error.
    void CreateFunction(const char *name, int arguments, void *userData, Function function);

    // Rows changed by the last INSERT, UPDATE or DELETE, triggers not counted.
    qint64 Changes() const { return sqlite3_changes64(db_.get()); }
    // Rows changed since the connection was opened, those of triggers and
    // foreign-key actions included.
    qint64 TotalChanges() const { return sqlite3_total_changes64(db_.get()); }
    // True while a transaction is open on this connection.
    bool InTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }
    // True while the open transaction holds foreign-key violations whose
    // check is deferred to the commit.
    bool HasDeferredViolations() const;
    // Dirty pages written to the database file before their transaction's
    // commit, since the connection was opened, because the page cache was
    // full of them.
    qint64 CacheSpills() const;

private:
    Database(ConnectionHandle db, const QString &path);

    ConnectionHandle db_;
    QString path_;
    std::map<QByteArray, std::unique_ptr<Statement>> statements_;
};

// A write transaction, begun EXCLUSIVE so that any lock held by another
// connection, a reader's included, is met (after the busy timeout) when the
// transaction begins, before it changes anything: its commit then never
// waits for readers, nor fails for them and takes changes already made with
// it. Other connections cannot read while it is open (except in WAL mode,
// where readers go on). Rolled back on destruction unless committed.
class Transaction
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Commits; when the commit fails the transaction is rolled back and the
    // error thrown.
    void Commit();

private:
    Database &db_;
    bool open_ = true;
};

// A read transaction: the statements run inside it see one snapshot and
// share one read lock instead of taking and dropping it each. Begun
// deferred, so the lock is taken by the first read; ended on destruction.
// Nothing may be written inside it.
class ReadTransaction
{
public:
    explicit ReadTransaction(Database &db);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;

private:
    Database &db_;
};

// A savepoint inside the open transaction: everything done after it is
// undone on destruction unless it was released.
class Savepoint
{
public:
    Savepoint(Database &db, const QByteArray &name);
    ~Savepoint();
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;

    void Release();

private:
    Database &db_;
    QByteArray name_;
    bool open_ = true;
};

// name as an SQL identifier in double quotes.
QString QuoteIdentifier(const QString &name);

// SQLite's own text of a real number ("100.0", "2.5", "1.0e+21").
QString RealText(double value);

// The text form of a non-NULL argument of an SQL function; nullopt when
// SQLite could not make it (out of memory).
inline std::optional<std::string_view> ArgumentText(sqlite3_value *value)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    const int bytes = sqlite3_value_bytes(value);
    if (!text && bytes > 0)
        return std::nullopt;
    return std::string_view(text ? text : "", std::size_t(bytes));
}

// The same of a column of a statement's current row.
inline std::optional<std::string_view> ColumnText(sqlite3_stmt *row, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    const int bytes = sqlite3_column_bytes(row, column);
    if (!text && bytes > 0)
        return std::nullopt;
    return std::string_view(text ? text : "", std::size_t(bytes));
}

} // namespace sqlite
