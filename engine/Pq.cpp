#include "Pq.h"

#include <cstdio>
#include <utility>

namespace pq {

namespace {

using OptionsHandle = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

// The options of a connection string; null when libpq cannot parse it.
OptionsHandle Options(const QString &conninfo)
{
    return OptionsHandle(PQconninfoParse(conninfo.toUtf8().constData(), nullptr), &PQconninfoFree);
}

// libpq's first line: the lines after it are hints for a person at a
// terminal ("This probably means the server terminated abnormally ...").
QString Trimmed(const char *message)
{
    return QString::fromUtf8(message).trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
}

// The waits for a server's answers, on every connection of the process. With
// the environment variable KVR_PG_ROUND_TRIPS set, their number is printed
// on standard error when the process ends: scripts/bench-server.sh reports
// it per record written.
struct RoundTrips
{
    long long count = 0;
    ~RoundTrips()
    {
        if (count > 0 && qEnvironmentVariableIsSet("KVR_PG_ROUND_TRIPS"))
            std::fprintf(stderr, "kvr_bulkrun: %lld round trips to the card database server\n", count);
    }
} roundTrips;

} // namespace

bool IsConnectionString(const QString &setting)
{
    const QString s = setting.trimmed();
    for (const char *start : {"postgresql://", "postgres://", "host=", "dbname=", "service="}) {
        if (s.startsWith(QLatin1String(start), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool HoldsPassword(const QString &conninfo)
{
    const OptionsHandle options = Options(conninfo);
    for (const PQconninfoOption *o = options.get(); o && o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            return true;
    }
    return false;
}

QString WithoutPassword(const QString &conninfo)
{
    const OptionsHandle options = Options(conninfo);
    QStringList keywords;
    for (const PQconninfoOption *o = options.get(); o && o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 || !o->val || !*o->val)
            continue;
        QString value = QString::fromUtf8(o->val);
        value.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
        keywords << QStringLiteral("%1='%2'").arg(QString::fromUtf8(o->keyword), value);
    }
    return keywords.join(QLatin1Char(' '));
}

// Where a keyword is unset, libpq's own default (its environment variables
// included) is what a connection uses: PQconndefaults gives those.
QString Describe(const QString &conninfo)
{
    const OptionsHandle options = Options(conninfo);
    const OptionsHandle defaults(PQconndefaults(), &PQconninfoFree);
    const auto value = [&](const char *keyword) -> QString {
        for (const OptionsHandle *set : {&options, &defaults}) {
            for (const PQconninfoOption *o = set->get(); o && o->keyword; ++o) {
                if (qstrcmp(o->keyword, keyword) == 0 && o->val && *o->val)
                    return QString::fromUtf8(o->val);
            }
        }
        return QStringLiteral("(default)");
    };
    return QStringLiteral("host %1 port %2 database %3 user %4")
        .arg(value("host"), value("port"), value("dbname"), value("user"));
}

Error::Error(const QString &sqlState, const QString &reason)
    : StoreFailure(reason)
    , sqlState_(sqlState)
    , reason_(reason)
{
}

QString QuoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The session's settings: a row lock is waited for 5 seconds at most;
// dates are read and written in ISO form, real numbers in their shortest
// exact text.
Connection Connection::Open(const QString &conninfo)
{
    const QByteArray dbname = conninfo.toUtf8();
    // Earlier keywords are defaults that the connection string overrides; it
    // cannot override the client encoding, which must be UTF-8. The keep-alive
    // settings make a silent network loss an error within a minute.
    const char *const keywords[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count",
                                    "tcp_user_timeout", "fallback_application_name", "dbname", "client_encoding", nullptr};
    const char *const values[] = {"10", "15", "5", "3", "30000", "kvr_bulkrun", dbname.constData(), "UTF8", nullptr};
    ConnectionHandle conn(PQconnectdbParams(keywords, values, 1));
    ++roundTrips.count;
    const QString server = Describe(conninfo);
    if (!conn)
        throw Error(QString(), QStringLiteral("out of memory"));
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw Error(QString(), Trimmed(PQerrorMessage(conn.get())));
    Connection connection(std::move(conn), server);
    connection.ExecScript("SET lock_timeout = '5s'; SET DateStyle = 'ISO, MDY'; SET extra_float_digits = 1;"
                          "SET default_transaction_isolation = 'read committed'");
    return connection;
}

Connection::Connection(ConnectionHandle conn, QString server)
    : conn_(std::move(conn))
    , server_(std::move(server))
{
}

void Connection::Fail(const PGresult *result)
{
    if (PQstatus(conn_.get()) == CONNECTION_BAD || !result)
        throw Broken(Trimmed(PQerrorMessage(conn_.get())));
    const char *state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const char *primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    throw Error(QString::fromLatin1(state ? state : ""), primary ? Trimmed(primary) : Trimmed(PQresultErrorMessage(result)));
}

QByteArray Connection::Prepared(const QByteArray &sql)
{
    const auto found = prepared_.find(sql);
    if (found != prepared_.end())
        return found->second;
    const QByteArray name = "kvr_" + QByteArray::number(qulonglong(prepared_.size()));
    ++roundTrips.count;
    const ResultHandle result(PQprepare(conn_.get(), name.constData(), sql.constData(), 0, nullptr));
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        Fail(result.get());
    prepared_.emplace(sql, name);
    return name;
}

namespace {

// The parameters of a statement as libpq takes them; valid while params lives.
std::vector<const char *> Values(const std::vector<Param> &params)
{
    std::vector<const char *> values;
    for (const Param &p : params)
        values.push_back(p ? p->constData() : nullptr);
    return values;
}

bool Succeeded(const PGresult *result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

} // namespace

Result Connection::Exec(const QByteArray &sql, const std::vector<Param> &params)
{
    const QByteArray name = Prepared(sql);
    const std::vector<const char *> values = Values(params);
    ++roundTrips.count;
    ResultHandle result(PQexecPrepared(conn_.get(), name.constData(), int(values.size()), values.data(), nullptr, nullptr, 0));
    if (!Succeeded(result.get()))
        Fail(result.get());
    return Result(std::move(result));
}

QByteArray Connection::ExecScript(const QByteArray &sql)
{
    ++roundTrips.count;
    const ResultHandle result(PQexec(conn_.get(), sql.constData()));
    if (!Succeeded(result.get()))
        Fail(result.get());
    return QByteArray(PQcmdStatus(result.get()));
}

// The statements go out at once and the server answers them in order; one
// that fails makes the server skip the rest up to the pipeline's end.
std::vector<Result> Connection::ExecAll(const std::vector<Statement> &statements)
{
    PGconn *conn = conn_.get();
    std::vector<QByteArray> names;
    for (const Statement &s : statements)
        names.push_back(Prepared(s.sql));
    if (PQenterPipelineMode(conn) != 1)
        Fail(nullptr);
    std::vector<Result> results;
    std::optional<ResultHandle> failed;
    bool broken = false;
    for (std::size_t i = 0; i < statements.size() && !broken; ++i) {
        const std::vector<const char *> values = Values(statements[i].params);
        broken = PQsendQueryPrepared(conn, names[i].constData(), int(values.size()), values.data(), nullptr, nullptr, 0) != 1;
    }
    broken = broken || PQpipelineSync(conn) != 1;
    ++roundTrips.count;
    // Every statement's result is followed by a null; the sync's ends the pipeline.
    while (!broken) {
        ResultHandle result(PQgetResult(conn));
        if (!result) {
            if (PQstatus(conn) == CONNECTION_BAD)
                broken = true;
            continue;
        }
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_PIPELINE_SYNC)
            break;
        if (status == PGRES_FATAL_ERROR && PQstatus(conn) == CONNECTION_BAD)
            broken = true;
        else if (status == PGRES_FATAL_ERROR && !failed)
            failed.emplace(std::move(result));
        else if (Succeeded(result.get()))
            results.emplace_back(std::move(result));
    }
    if (broken)
        throw Broken(Trimmed(PQerrorMessage(conn)));
    PQexitPipelineMode(conn);
    if (failed)
        Fail(failed->get());
    return results;
}

} // namespace pq
