#include "CardDb.h"

#include <QFile>

CardDb::CardDb(const QString &path)
    : db_(Open(path))
{
}

sqlite::Database CardDb::Open(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        file.open(QIODevice::WriteOnly);  // an empty file is an empty database
    sqlite::Database db = sqlite::Database::OpenExisting(path);
    sqlite3_busy_timeout(db.Handle(), 5000);
    return db;
}

void CardDb::Exec(const QString &sql)
{
    // A ';' ends a statement only where SQLite says the text before it is one
    // (not inside a literal or a trigger's body).
    QByteArray statement;
    for (const QByteArray &piece : sql.toUtf8().split(';')) {
        statement += piece + ';';
        if (!sqlite3_complete(statement.constData()))
            continue;
        if (statement.trimmed() != ";")
            sqlite::Statement(db_.Handle(), db_.Path(), statement).Execute();
        statement.clear();
    }
}

QStringList CardDb::Column(const QString &field, const QString &where)
{
    const QString name = sqlite::QuoteIdentifier(field);
    sqlite::Statement select(db_.Handle(), db_.Path(),
                             QStringLiteral("SELECT %1 IS NULL, %1 FROM CARD_DATA %2 ORDER BY rowid").arg(name, where).toUtf8());
    QStringList values;
    select.ForEachRow([&](sqlite::Statement &row) { values << (row.Int64(0) ? QStringLiteral("<NULL>") : row.Text(1)); });
    return values;
}

QString CardDb::Value(long long rowid, const QString &field)
{
    return Column(field, QStringLiteral("WHERE rowid = %1").arg(rowid)).value(0, QStringLiteral("<no record>"));
}

QString CardDb::IntegrityCheck()
{
    sqlite::Statement check(db_.Handle(), db_.Path(), "PRAGMA integrity_check");
    QStringList findings;
    check.ForEachRow([&](sqlite::Statement &row) { findings << row.Text(0); });
    return findings.join(QStringLiteral("; "));
}
