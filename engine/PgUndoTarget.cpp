// An undo's writes to a card table on a PostgreSQL server.
#include "UndoTarget.h"

#include "CardStore.h"
#include "JournalUndo.h"
#include "Pq.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <optional>

namespace {

QString TextOf(const sqlite::Value &value)
{
    if (sqlite3_value_type(value.get()) == SQLITE_NULL)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value.get()));
    return QString::fromUtf8(text ? text : "", sqlite3_value_bytes(value.get())); // "" stays a text, not NULL
}

pq::Param ParamOf(const QString &text)
{
    return text.isNull() ? pq::Param() : pq::Param(text.toUtf8());
}

// A record is reached by the key's texts, which the server reads back into
// the key's own types, so a key compares as the table's key does (and its
// index answers). A table without a primary key is reached by the place and
// transaction id of the row version the write made (ctid, xmin): any later
// write of the record, by anyone, makes a new version elsewhere, and the
// journal's version is then "changed since". The undo's own writes move rows
// too: a version that a restore replaced is then found where that restore
// put it (moved_), so a record the run wrote twice is taken back twice. A
// VACUUM FULL or CLUSTER moves every row while keeping its xmin: no version
// is found where the journal says, every write is left as a conflict, and
// none can reach another record, since no other row carries the
// transaction id of the run's write.
class PgUndoTarget final : public UndoTarget
{
public:
    PgUndoTarget(const JournalSummary &journal, const QString &connection)
    {
        const QJsonObject table = QJsonDocument::fromJson(journal.cardTable.toUtf8()).object();
        server_.connection = journal.cardDatabase;
        server_.table = table.value(QStringLiteral("table")).toString();
        for (const QJsonValue &key : table.value(QStringLiteral("key")).toArray())
            server_.key << key.toString();
        if (server_.table.isEmpty() || server_.key.isEmpty())
            throw StoreFailure(QStringLiteral("the undo journal names no table of the server"));
        try {
            db_.emplace(pq::Connection::Open(connection));
        } catch (const pq::Error &e) {
            throw StoreFailure(QStringLiteral("Cannot open the card database %1: %2").arg(pq::Describe(connection), e.Reason()));
        }
        // Each part compared on its own: xid has no ordering, which a row
        // comparison needs.
        QStringList texts, equal;
        for (qsizetype i = 0; i < server_.key.size(); ++i) {
            texts << QStringLiteral("(%1)::text").arg(server_.key[i]);
            equal << QStringLiteral("%1 = $%2").arg(server_.key[i]).arg(i + 2);
        }
        keyTexts_ = texts.join(QStringLiteral(", "));
        reach_ = equal.join(QStringLiteral(" AND "));
    }

    bool Restore(const JournalWrite &write, WriteJournal &own) override
    {
        if (!begun_) {
            Run({{"BEGIN", {}}, {"SET CONSTRAINTS ALL IMMEDIATE", {}}});
            begun_ = true;
        }
        const QStringList record = Now(write, 0);
        const QString field = pq::QuoteIdentifier(write.field);
        std::vector<pq::Param> params = Params(TextOf(write.old), record);
        params.push_back(ParamOf(TextOf(write.stored)));
        const QByteArray sql = QStringLiteral("UPDATE %1 SET %2 = $1 WHERE %3 AND (%2)::text IS NOT DISTINCT FROM $%4 RETURNING (%2)::text, %5")
                                   .arg(server_.table, field, reach_)
                                   .arg(params.size())
                                   .arg(keyTexts_)
                                   .toUtf8();
        std::vector<pq::Result> results;
        try {
            results = Run({{"SAVEPOINT kvr_undo", {}}, {sql, params}, {"RELEASE SAVEPOINT kvr_undo", {}}});
        } catch (const pq::Error &e) {
            Run({{"ROLLBACK TO SAVEPOINT kvr_undo", {}}, {"RELEASE SAVEPOINT kvr_undo", {}}});
            throw RestoreRefused(e.Reason());
        }
        const pq::Result &row = results.at(1);
        if (row.Rows() == 0)
            return false;
        QStringList made;
        for (int c = 1; c < row.Columns(); ++c)
            made << row.Text(0, c);
        moved_[Identity(write, 1)] = made;
        own.Wrote(server_, made + record, write.field, TextOf(write.stored), row.IsNull(0, 0) ? QString() : row.Text(0, 0));
        return true;
    }

    bool HoldsStored(const JournalWrite &write) override { return Holds(write, 0, write.stored); }
    bool HoldsOld(const JournalWrite &write) override { return Holds(write, 1, write.old); }

    void Commit() override
    {
        if (!begun_)
            return;
        QByteArray status;
        try {
            status = db_->ExecScript("COMMIT");
        } catch (const pq::Broken &e) {
            throw ConnectionLost(Broke(e));
        }
        if (status != "COMMIT")
            throw StoreFailure(QStringLiteral("the server rolled the transaction back"));
    }

    QString Name(const JournalWrite &write) const override
    {
        const QStringList record = Identity(write, 0);
        return server_.key.front() == QLatin1String("ctid") ? record.front() : record.join(QStringLiteral(", "));
    }

private:
    // The record's key texts for the version the write made (which 0), or
    // the one it replaced (1).
    QStringList Identity(const JournalWrite &write, int which) const
    {
        QStringList texts;
        for (const QJsonValue &text : QJsonDocument::fromJson(TextOf(write.record).toUtf8()).array())
            texts << text.toString();
        return texts.mid(which * server_.key.size(), server_.key.size());
    }
    // That version, or where a restore of this undo moved it.
    QStringList Now(const JournalWrite &write, int which) const
    {
        const QStringList version = Identity(write, which);
        const auto moved = moved_.find(version);
        return moved == moved_.end() ? version : moved->second;
    }

    std::vector<pq::Param> Params(const QString &first, const QStringList &record) const
    {
        std::vector<pq::Param> params{ParamOf(first)};
        for (const QString &text : record)
            params.push_back(text.toUtf8());
        return params;
    }

    bool Holds(const JournalWrite &write, int which, const sqlite::Value &value)
    {
        const QString field = pq::QuoteIdentifier(write.field);
        const QByteArray sql = QStringLiteral("SELECT 1 FROM %1 WHERE %2 AND (%3)::text IS NOT DISTINCT FROM $1::text")
                                   .arg(server_.table, reach_, field)
                                   .toUtf8();
        return Run({{sql, Params(TextOf(value), Now(write, which))}}).at(0).Rows() > 0;
    }

    std::vector<pq::Result> Run(const std::vector<pq::Statement> &statements)
    {
        try {
            return db_->ExecAll(statements);
        } catch (const pq::Broken &e) {
            throw StoreFailure(Broke(e));
        }
    }

    QString Broke(const pq::Broken &e) const
    {
        return QStringLiteral("The connection to the card database server %1 was lost: %2").arg(db_->Server(), e.message());
    }

    WriteJournal::ServerTable server_;
    std::optional<pq::Connection> db_;
    QString keyTexts_;
    QString reach_; // the key's parts = $2, $3, ...
    bool begun_ = false;
    std::map<QStringList, QStringList> moved_;
};

} // namespace

std::unique_ptr<UndoTarget> OpenPgUndoTarget(const JournalSummary &journal, const QString &connection)
{
    return std::make_unique<PgUndoTarget>(journal, connection);
}

bool SameServer(const JournalSummary &journal, const QString &cardDatabase)
{
    return pq::IsConnectionString(cardDatabase) && pq::WithoutPassword(cardDatabase) == journal.cardDatabase;
}

QString ShownCardDatabase(const QString &cardDatabase, bool server)
{
    return server ? pq::Describe(cardDatabase) : cardDatabase;
}
