// Write ahead, confirm behind: how the server store writes a walk's matches
// without a round trip per record and still answers each MoveNext with what
// became of that record's write.
//
// A batch walk commits one value into one field of every match of its list
// (the record update sets the same text on each). So when a MoveNext commits
// value v into field f of match i, and the table is reached by a primary key
// with no trigger or rule (one write changes one row, nothing else), the
// store writes v into f of matches i .. i+K-1 in ONE statement, inside a
// savepoint of its own (kvr_ahead), and answers this MoveNext from the row it
// returned for match i. Each later MoveNext whose pending value, field and
// record are those of the next write ahead is answered from that same
// statement, with no round trip (confirmed). Anything else (a write of
// another value, field or record, which is also what follows a move past a
// record without a write; any statement the store sends; a group commit,
// Flush) first takes the unconfirmed writes back:
// ROLLBACK TO the savepoint and the confirmed ones written again in one
// statement. So a COMMIT never carries a write the walk did not ask for, a
// read never sees one, and a write counts, is journalled and can be lost by a
// failed commit exactly when it would be written one at a time: the run log,
// the counts, the commit groups and the journal are what they were.
//
// Why not send the writes blind, one after the other, and read the answers
// later: a refusal would then be known only after the walk had gone on (past
// the record where a batch must stop, or after an import line had been logged
// done). Here a refusal is always known before the MoveNext of its record
// returns: when the statement ahead is refused (type, CHECK, NOT NULL,
// UNIQUE), it is rolled back and the current record is written alone, as are
// the chunk's other records (one statement each), so each refusal falls on
// its own record at its own MoveNext. A row another session holds is not
// waited for ahead (SKIP LOCKED): the chunk's confirmable writes end before
// it, and the record's own write then waits for it as it always did, rather
// than the wait happening twice; the chunk's writes after that row are taken
// back at that write. A record another session deleted is missing from the
// statement's answer too, and ends the chunk the same way.
//
// The journal is told of a chunk's writes when they are settled: all
// confirmed, or the confirmed ones written again (with the values that write
// replaced). It never hears of a write the walk did not ask for.
//
// Never for a table reached by place (no primary key): a place changes with
// every write, and its walk's writes are checked one by one (PgCardStore.h).
#include "PgCardStore.h"

#include "Pq.h"

namespace {

constexpr std::size_t kLargestChunk = 256;

// A PostgreSQL array literal of the texts, each quoted.
QString ArrayLiteral(const std::vector<QString> &texts)
{
    QStringList quoted;
    for (QString text : texts)
        quoted << QLatin1Char('"') + text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\"")) + QLatin1Char('"');
    return QLatin1Char('{') + quoted.join(QLatin1Char(',')) + QLatin1Char('}');
}

// A chunk statement's rows in the order of keys, each found by its last
// columns (the key of the version it replaced); a key the statement did not
// write ends them.
std::vector<std::vector<QString>> RowsInOrder(const pq::Result &result, const std::vector<QStringList> &keys)
{
    const int n = keys.empty() ? 0 : int(keys.front().size());
    std::vector<std::vector<QString>> rows;
    for (const QStringList &key : keys) {
        int found = -1;
        for (int r = 0; r < result.Rows() && found < 0; ++r) {
            bool same = true;
            for (int c = 0; c < n && same; ++c)
                same = result.Text(r, result.Columns() - n + c) == key[c];
            if (same)
                found = r;
        }
        if (found < 0)
            break;
        std::vector<QString> &row = rows.emplace_back();
        for (int c = 0; c < result.Columns(); ++c)
            row.push_back(result.IsNull(found, c) ? QString() : result.Text(found, c));
    }
    return rows;
}

} // namespace

// The write of a chunk: the rows of the given keys that can be locked (all
// of them, waiting as any write does, unless skipLocked) get $1; each
// returns, as UpdateSql's journal form does, the version's ctid, xmin, the
// transaction's id, the old and the stored text, the key's texts for the
// new version and for the old one (by which the store tells the rows apart).
QString PgCardStore::AheadSql(const QString &name, bool skipLocked)
{
    const QString field = pq::QuoteIdentifier(name);
    QStringList keyTexts, made, replaced, outer, inner, arrays;
    for (qsizetype i = 0; i < keyColumns_.size(); ++i) {
        const QString &column = keyColumns_[i];
        keyTexts << QStringLiteral("(%1)::text AS kvr_r%2").arg(column).arg(i);
        made << QStringLiteral("(kvr_t.%1)::text").arg(column);
        replaced << QStringLiteral("kvr_o.kvr_r%1").arg(i);
        outer << QStringLiteral("kvr_t.") + column;
        inner << QStringLiteral("kvr_o.") + column;
        QString type = QStringLiteral("text");
        for (const Column &c : columns_) {
            if (pq::QuoteIdentifier(c.name) == column)
                type = c.serverType;
        }
        arrays << QStringLiteral("$%1::%2[]").arg(i + 2).arg(type);
    }
    const QString comma = QStringLiteral(", ");
    return QStringLiteral("WITH kvr_o AS (SELECT %1, %2, (%3)::text AS kvr_old FROM %4 WHERE (%1) IN (SELECT * FROM unnest(%5)) "
                          "FOR NO KEY UPDATE%6) "
                          "UPDATE %4 AS kvr_t SET %3 = $1 FROM kvr_o WHERE (%7) = (%8) "
                          "RETURNING kvr_t.ctid::text, kvr_t.xmin::text, txid_current()::text, kvr_o.kvr_old, (kvr_t.%3)::text, %9, %10")
        .arg(KeyList(), keyTexts.join(comma), field, table_, arrays.join(comma), skipLocked ? QStringLiteral(" SKIP LOCKED") : QString(),
             outer.join(comma), inner.join(comma))
        .arg(made.join(comma), replaced.join(comma));
}

// One array parameter per key column.
std::vector<QString> PgCardStore::KeyArrays(const std::vector<QStringList> &keys) const
{
    std::vector<QString> arrays;
    for (qsizetype c = 0; c < keyColumns_.size(); ++c) {
        std::vector<QString> texts;
        for (const QStringList &key : keys)
            texts.push_back(key.at(c));
        arrays.push_back(ArrayLiteral(texts));
    }
    return arrays;
}

// The ids of the transaction and the savepoint a write ran in (the
// expected searches' matches stay true across the store's own writes).
void PgCardStore::OwnWrite(const QString &field, const std::vector<QString> &row)
{
    const bool leavesMatches = plainTable_ && field.compare(expectField_, Qt::CaseInsensitive) != 0;
    if (!leavesMatches)
        return;
    const quint64 top = row[2].toULongLong();
    const quint64 sub = (top & ~quint64(0xFFFFFFFF)) | row[1].toULongLong();
    ownXids_.insert(top);
    ownXids_.insert(sub < top ? sub + (quint64(1) << 32) : sub);
}

bool PgCardStore::ConfirmAhead(const QString &text)
{
    if (!Unconfirmed())
        return false;
    Ahead &ahead = *ahead_;
    const bool same = ahead.confirmed < ahead.keys.size() && ahead.keys[ahead.confirmed] == cursor_->key && ahead.field == bound_->name && ahead.value.isNull() == text.isNull() && ahead.value == text;
    if (!same) {
        oneByOne_ = {ahead.criteria, ahead.end};
        TakeBack();
        return false;
    }
    ++ahead.confirmed;
    groupWrites_.push_back({criteria_ ? criteria_->pattern.Text() : QString(), bound_->name, QString()});
    if (ahead.confirmed == ahead.written) {
        Settled(ahead.field, ahead.rows);
        aheadSize_ = std::min(kLargestChunk, aheadSize_ * 2);
    }
    return true;
}

bool PgCardStore::WriteAhead(const QString &text)
{
    if (keyColumns_.front() == QLatin1String("ctid") || !plainTable_ || !OnMatch() || cursor_->after || keyColumns_.contains(pq::QuoteIdentifier(bound_->name)))
        return false;
    const std::size_t first = *cursor_->entry;
    const std::vector<QStringList> &listed = matches_->keys;
    if (listed[first] != cursor_->key || (oneByOne_.criteria == matches_->criteria && first < oneByOne_.end))
        return false;
    const std::size_t end = std::min(listed.size(), first + aheadSize_);
    if (end - first < 2)
        return false;
    const std::vector<QStringList> keys(listed.begin() + first, listed.begin() + end);
    std::vector<pq::Statement> statements;
    if (std::exchange(aheadSavepoint_, false))
        statements.push_back({"RELEASE SAVEPOINT kvr_ahead", {}});
    statements.push_back({"SAVEPOINT kvr_ahead", {}});
    pq::Statement update{AheadSql(bound_->name, true).toUtf8(), {text.isNull() ? pq::Param() : pq::Param(text.toUtf8())}};
    for (const QString &array : KeyArrays(keys))
        update.params.push_back(array.toUtf8());
    statements.push_back(std::move(update));
    pq::Connection &db = Db();
    std::optional<pq::Result> result;
    try {
        result.emplace(std::move(db.ExecAll(statements).back()));
    } catch (const pq::Broken &e) {
        Lost(e.message());
    } catch (const pq::Error &) {
        // Refused: the chunk's records are written one at a time, so that the
        // refusal falls on its own record.
        try {
            db.ExecScript("ROLLBACK TO SAVEPOINT kvr_ahead; RELEASE SAVEPOINT kvr_ahead");
        } catch (const pq::Broken &e) {
            Lost(e.message());
        }
        oneByOne_ = {matches_->criteria, end};
        aheadSize_ = 4;
        return false;
    }
    aheadSavepoint_ = true;
    // The rows in walk order, up to the first record the statement did not
    // write (locked by another session, or deleted).
    Ahead ahead{bound_->name, text, {}, RowsInOrder(*result, keys), 0, std::size_t(result->Rows()), matches_->criteria, first, end};
    ahead.keys.assign(keys.begin(), keys.begin() + qsizetype(ahead.rows.size()));
    if (result->Rows() > 0)
        OwnWrite(ahead.field, {QString(), result->Text(0, 1), result->Text(0, 2)});
    ahead_ = std::move(ahead);
    if (ahead_->keys.empty()) {
        oneByOne_ = {matches_->criteria, end};
        TakeBack();
        return false;
    }
    return ConfirmAhead(text);
}

void PgCardStore::TakeBack()
{
    if (!ahead_)
        return;
    Ahead ahead = *std::exchange(ahead_, std::nullopt);
    if (ahead.confirmed == ahead.written)
        return; // settled already
    aheadSavepoint_ = false;
    aheadSize_ = 4;
    pq::Connection &db = Db();
    try {
        if (ahead.confirmed == 0) {
            db.ExecScript("ROLLBACK TO SAVEPOINT kvr_ahead; RELEASE SAVEPOINT kvr_ahead");
            return;
        }
        const std::vector<QStringList> keys(ahead.keys.begin(), ahead.keys.begin() + qsizetype(ahead.confirmed));
        pq::Statement update{AheadSql(ahead.field, false).toUtf8(), {ahead.value.isNull() ? pq::Param() : pq::Param(ahead.value.toUtf8())}};
        for (const QString &array : KeyArrays(keys))
            update.params.push_back(array.toUtf8());
        std::vector<std::vector<QString>> rows;
        try {
            const std::vector<pq::Result> results = db.ExecAll({{"ROLLBACK TO SAVEPOINT kvr_ahead", {}}, {"RELEASE SAVEPOINT kvr_ahead", {}},
                                                                {"SAVEPOINT kvr_step", {}}, std::move(update)});
            rows = RowsInOrder(results.at(3), keys);
            if (rows.size() < keys.size())
                throw pq::Error(QString(), QStringLiteral("another session deleted the record"));
            db.ExecScript("RELEASE SAVEPOINT kvr_step");
        } catch (const pq::Error &e) {
            // Another session changed or took a confirmed record in the
            // moment the chunk's locks were let go: those writes are lost.
            db.ExecScript("ROLLBACK TO SAVEPOINT kvr_step; RELEASE SAVEPOINT kvr_step");
            std::vector<LostWrites::Lost> lost(groupWrites_.end() - qsizetype(ahead.confirmed), groupWrites_.end());
            groupWrites_.resize(groupWrites_.size() - ahead.confirmed);
            for (LostWrites::Lost &l : lost)
                l.reason = e.Reason();
            throw LostWrites(std::move(lost));
        }
        OwnWrite(ahead.field, rows.front());
        Settled(ahead.field, rows);
    } catch (const pq::Broken &e) {
        Lost(e.message());
    }
}

// The journal hears of the settled writes, in walk order.
void PgCardStore::Settled(const QString &field, const std::vector<std::vector<QString>> &rows)
{
    if (journal_ == &noJournal_)
        return;
    for (const std::vector<QString> &row : rows)
        journal_->Wrote(JournalTable(), QStringList(row.begin() + 5, row.end()), field, row[3], row[4]);
}
