#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <libpq-fe.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

// A thin owning layer over libpq, the only header of the program that
// includes <libpq-fe.h>. Connections and results are released by their
// owners; every error carries the server's own message and says which server
// it came from, by host, port, database and user, never by the connection
// string, which may hold a password.
namespace pq {

struct FinishConnection
{
    void operator()(PGconn *conn) const noexcept { PQfinish(conn); }
};

struct ClearResult
{
    void operator()(PGresult *result) const noexcept { PQclear(result); }
};

using ConnectionHandle = std::unique_ptr<PGconn, FinishConnection>;
using ResultHandle = std::unique_ptr<PGresult, ClearResult>;

// True when a Card_Database setting names a server rather than a file: a
// postgresql:// or postgres:// URI, or a keyword string that begins with
// host=, dbname= or service=.
bool IsConnectionString(const QString &setting);
// True when the connection string holds a password.
bool HoldsPassword(const QString &conninfo);
// The connection string as keywords, every one that is set but the password,
// in libpq's order: the same text for the same connection however it was
// written (URI or keywords). Empty when libpq cannot parse it.
QString WithoutPassword(const QString &conninfo);
// "host H port P database D user U", as libpq resolves them with its
// defaults and environment: what messages name a server by.
QString Describe(const QString &conninfo);

// An error reported by the server for one statement.
class Error : public StoreFailure
{
public:
    Error(const QString &sqlState, const QString &reason);

    // The five-character SQLSTATE, e.g. "55P03" for a lock not available.
    const QString &SqlState() const { return sqlState_; }
    // The server's own message, without the statement.
    const QString &Reason() const { return reason_; }

private:
    QString sqlState_;
    QString reason_;
};

// The connection broke: the server went away, or the network did. Nothing
// more can be done on the connection.
class Broken : public StoreFailure
{
public:
    using StoreFailure::StoreFailure;
};

// The rows of one statement's result, as text.
class Result
{
public:
    explicit Result(ResultHandle result) : result_(std::move(result)) {}

    int Rows() const { return PQntuples(result_.get()); }
    int Columns() const { return PQnfields(result_.get()); }
    bool IsNull(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
    QString Text(int row, int column) const { return QString::fromUtf8(PQgetvalue(result_.get(), row, column)); }
    QByteArray Bytes(int row, int column) const { return QByteArray(PQgetvalue(result_.get(), row, column), PQgetlength(result_.get(), row, column)); }
    // Rows changed by an UPDATE.
    qint64 Changed() const { return QByteArray(PQcmdTuples(result_.get())).toLongLong(); }

private:
    ResultHandle result_;
};

// A parameter: text in the server's input form, or NULL.
using Param = std::optional<QByteArray>;

// One statement with its parameters.
struct Statement
{
    QByteArray sql;
    std::vector<Param> params;
};

// An open connection. Statements with parameters are prepared once per
// connection and run by name after that.
class Connection
{
public:
    // Connects and sets the session up; throws Error naming the server.
    static Connection Open(const QString &conninfo);

    const QString &Server() const { return server_; }

    // Runs one statement; throws Error, or Broken when the connection is gone.
    Result Exec(const QByteArray &sql, const std::vector<Param> &params = {});
    // Runs statements without parameters in one round trip; the command
    // status of the last one ("COMMIT", "ROLLBACK", ...).
    QByteArray ExecScript(const QByteArray &sql);
    // Runs statements in one round trip (a pipeline): each result in order.
    // The first that fails throws, and the ones after it are not run.
    std::vector<Result> ExecAll(const std::vector<Statement> &statements);

private:
    Connection(ConnectionHandle conn, QString server);
    QByteArray Prepared(const QByteArray &sql);
    [[noreturn]] void Fail(const PGresult *result);

    ConnectionHandle conn_;
    QString server_;
    std::map<QByteArray, QByteArray> prepared_;
};

// name as an SQL identifier in double quotes.
QString QuoteIdentifier(const QString &name);

} // namespace pq
