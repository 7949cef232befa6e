#include "CardDb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>

namespace {

QString ValueText(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QStringLiteral("<NULL>");
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)));
}

} // namespace

CardDb::CardDb(const QString &path)
{
    if (sqlite3_open(path.toUtf8().constData(), &db_) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db_));
    sqlite3_busy_timeout(db_, 5000);
}

CardDb::~CardDb()
{
    sqlite3_close(db_);
}

void CardDb::Exec(const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + sql.toStdString());
    }
}

QStringList CardDb::Column(const QString &field)
{
    QStringList values;
    const QByteArray sql = QStringLiteral("SELECT \"%1\" FROM CARD_DATA ORDER BY rowid").arg(field).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db_));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        values << ValueText(stmt, 0);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(db_));
    return values;
}

QString CardDb::Value(long long rowid, const QString &field)
{
    const QByteArray sql = QStringLiteral("SELECT \"%1\" FROM CARD_DATA WHERE rowid = ?").arg(field).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db_));
    sqlite3_bind_int64(stmt, 1, rowid);
    QString value = sqlite3_step(stmt) == SQLITE_ROW ? ValueText(stmt, 0) : QStringLiteral("<no record>");
    sqlite3_finalize(stmt);
    return value;
}
