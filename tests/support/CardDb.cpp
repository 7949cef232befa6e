#include "CardDb.h"

#include "Pq.h"
#include "TempFolder.h"

#include <QCoreApplication>
#include <QFile>

#include <atomic>

namespace {

QString TestServer()
{
    return qEnvironmentVariable("KVR_TEST_PG");
}

} // namespace

bool FreshDatabase::Available(Backend backend)
{
    return backend == Backend::Sqlite || !TestServer().isEmpty();
}

FreshDatabase::FreshDatabase(Backend backend, const QString &folder)
{
    if (backend == Backend::Sqlite) {
        location_ = folder + QStringLiteral("/card.db");
        return;
    }
    static std::atomic<int> made{0};
    schema_ = QStringLiteral("kvr_t%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    pq::Connection::Open(TestServer()).ExecScript(QStringLiteral("CREATE SCHEMA %1").arg(schema_).toUtf8());
    location_ = TestServer() + QStringLiteral(" options='-csearch_path=%1'").arg(schema_);
}

FreshDatabase::~FreshDatabase()
{
    if (!schema_.isEmpty())
        pq::Connection::Open(TestServer()).ExecScript(QStringLiteral("SET client_min_messages = warning; DROP SCHEMA %1 CASCADE").arg(schema_).toUtf8());
}

CardDb::CardDb(const QString &location)
{
    if (pq::IsConnectionString(location))
        server_ = std::make_unique<pq::Connection>(pq::Connection::Open(location));
    else
        db_.emplace(Open(location));
}

CardDb::~CardDb() = default;

sqlite::Database CardDb::Open(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        file.open(QIODevice::WriteOnly);  // an empty file is an empty database
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    sqlite3_busy_timeout(db.Handle(), 5000);
    return db;
}

void CardDb::CreateCardTable(const QString &columns)
{
    Exec(QStringLiteral("CREATE TABLE CARD_DATA (%1%2)").arg(columns, server_ ? QStringLiteral(", kvr_id serial PRIMARY KEY") : QString()));
}

void CardDb::Exec(const QString &sql)
{
    if (server_) {
        server_->ExecScript(sql.toUtf8());
        return;
    }
    // A ';' ends a statement only where SQLite says the text before it is one
    // (not inside a literal or a trigger's body).
    QByteArray statement;
    for (const QByteArray &piece : sql.toUtf8().split(';')) {
        statement += piece + ';';
        if (!sqlite3_complete(statement.constData()))
            continue;
        if (statement.trimmed() != ";")
            sqlite::Statement(db_->Handle(), db_->Path(), statement).Execute();
        statement.clear();
    }
}

QStringList CardDb::Column(const QString &field, const QString &where)
{
    const QString name = sqlite::QuoteIdentifier(field);
    QStringList values;
    if (server_) {
        const bool keyed = server_->Exec("SELECT 1 FROM information_schema.columns WHERE table_schema = current_schema() "
                                         "AND lower(table_name) = 'card_data' AND column_name = 'kvr_id'").Rows() > 0;
        const pq::Result rows = server_->Exec(QStringLiteral("SELECT (%1)::text FROM CARD_DATA %2 ORDER BY %3")
                                                  .arg(field, where, keyed ? QStringLiteral("kvr_id") : QStringLiteral("ctid")).toUtf8());
        for (int r = 0; r < rows.Rows(); ++r)
            values << (rows.IsNull(r, 0) ? QStringLiteral("<NULL>") : rows.Text(r, 0));
        return values;
    }
    sqlite::Statement select(db_->Handle(), db_->Path(),
                             QStringLiteral("SELECT %1 IS NULL, %1 FROM CARD_DATA %2 ORDER BY rowid").arg(name, where).toUtf8());
    select.ForEachRow([&](sqlite::Statement &row) { values << (row.Int64(0) ? QStringLiteral("<NULL>") : row.Text(1)); });
    return values;
}

QString CardDb::IntegrityCheck()
{
    sqlite::Statement check(db_->Handle(), db_->Path(), "PRAGMA integrity_check");
    QStringList findings;
    check.ForEachRow([&](sqlite::Statement &row) { findings << row.Text(0); });
    return findings.join(QStringLiteral("; "));
}
