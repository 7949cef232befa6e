// Write ahead, confirm behind: how the server store writes a walk's matches
// without a round trip per record and still answers each MoveNext with what
// became of that record's write.
//
// The store can often foresee the next writes. A batch walk commits one
// value into one field of every match of its list (the record update sets
// the same text on each); an import run tells the store its updates before
// its lines (ExpectWrites: each line's search value and text), and the
// store knows each line's matches already (ExpectSearches). So when a
// MoveNext commits value v into field f of a record, and the table is
// reached by a primary key with no trigger or rule (one write changes one
// row, nothing else) and f is no key, the store writes v into f of that
// record and the next foreseen writes (the list's next matches with v; for
// an import, after the line's own matches, the next lines' matches with
// their texts) in ONE statement, inside a savepoint of its own (kvr_ahead),
// and answers this MoveNext from the row it returned for the record. Each
// later MoveNext whose pending value, field and record are those of the
// next write ahead is answered from that same statement, with no round trip
// (confirmed). Anything else first takes the unconfirmed writes back
// (ROLLBACK TO the savepoint, and the confirmed ones written again in one
// statement): a write of another value, field or record (which is also what
// follows a move past a record without a write), a statement of the store
// that names the field written (a read that could see it: the snapshot,
// the catalog and the keys are read without one), a group commit, Flush.
// So a COMMIT never carries a write the walk did not ask for, no read sees
// one, and a write counts, is journalled and can be lost by a failed commit
// exactly when it would be written one at a time: the run log, the counts,
// the commit groups and the journal are what they were. A confirmation
// compares the write itself, not the plan that foresaw it, so a foreseen
// write that does not come only costs the take-back.
//
// An import's chunk ends before a line whose search the expected searches
// do not answer, whose text the field refuses before the server sees it, or
// that names a record the chunk already holds (a statement updates a row
// once; the later line's write then comes in the next chunk). It is not
// made when the run writes its search field (its matches would change).
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

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr std::size_t kLargestChunk = 256;
// How far past the last confirmed update an import's write looks for its own.
constexpr std::size_t kUpdatesLookedAt = 64;

// A PostgreSQL array literal of the texts, each quoted; a null one is NULL.
QByteArray ArrayLiteral(const std::vector<QString> &texts)
{
    QByteArray array = "{";
    for (const QString &text : texts) {
        if (array.size() > 1)
            array += ',';
        if (text.isNull()) {
            array += "NULL";
            continue;
        }
        const QByteArray utf8 = text.toUtf8();
        array += '"';
        for (const char c : utf8) {
            if (c == '\\' || c == '"')
                array += '\\';
            array += c;
        }
        array += '"';
    }
    return array + '}';
}

// The type a text is cast to before it is stored in a column of the
// server's type: the type without its size, which the assignment then
// checks (a cast to varchar(5) would cut a longer text short silently);
// character and bit without a size mean a size of 1, so those become
// bpchar and varbit.
QString CastType(const QString &serverType)
{
    QString type = serverType;
    type.remove(QRegularExpression(QStringLiteral("\\([0-9, ]*\\)")));
    if (type == QLatin1String("character varying"))
        return QStringLiteral("varchar");
    if (type == QLatin1String("character"))
        return QStringLiteral("bpchar");
    if (type == QLatin1String("bit"))
        return QStringLiteral("varbit");
    return type;
}

// A chunk statement's rows in the order of keys (which a chunk holds once
// each), each found by its last columns (the key of the version it
// replaced); a key the statement did not write ends them. The first column,
// the version's place, is left out (null): a table written ahead is reached
// by its key.
std::vector<std::vector<QString>> RowsInOrder(const pq::Result &result, const std::vector<QStringList> &keys)
{
    if (keys.empty())
        return {};
    const qsizetype n = keys.front().size();
    // Each row read once, and found by its replaced key; the first row of a key counts.
    std::vector<std::vector<QString>> all(std::size_t(result.Rows()));
    QHash<QStringList, std::size_t> byKey;
    byKey.reserve(result.Rows());
    for (int r = 0; r < result.Rows(); ++r) {
        std::vector<QString> &row = all[std::size_t(r)];
        row.reserve(std::size_t(result.Columns()));
        row.emplace_back();
        for (int c = 1; c < result.Columns(); ++c)
            row.push_back(result.IsNull(r, c) ? QString() : result.Text(r, c));
        QStringList key(row.end() - n, row.end());
        if (!byKey.contains(key))
            byKey.insert(key, std::size_t(r));
    }
    std::vector<std::vector<QString>> rows;
    rows.reserve(keys.size());
    for (const QStringList &key : keys) {
        const auto found = byKey.constFind(key);
        if (found == byKey.constEnd())
            break;
        rows.push_back(std::move(all[*found]));
    }
    return rows;
}

} // namespace
// The write of a chunk: the rows of the keys given with their values ($1,
// then one array per key column) that can be locked (all of them, waiting
// as any write does, unless skipLocked) get their value; each returns, as
// UpdateSql's journal form does, the version's ctid, xmin, the
// transaction's id, the old and the stored text, and the key's texts for
// the new version and for the old one (by which the store tells the rows
// apart).
const QByteArray &PgCardStore::AheadSql(const QString &name, bool skipLocked)
{
    QByteArray &sql = aheadSql_[{name, skipLocked}];
    if (!sql.isEmpty())
        return sql;
    const QString field = pq::QuoteIdentifier(name);
    QString valueType = QStringLiteral("text");
    QStringList keyTexts, made, replaced, outer, inner, source, arrays, names{QStringLiteral("kvr_val")};
    for (const Column &c : columns_) {
        if (c.name == name)
            valueType = CastType(c.serverType);
    }
    for (qsizetype i = 0; i < keyColumns_.size(); ++i) {
        const QString &column = keyColumns_[i];
        keyTexts << QStringLiteral("(kvr_s.%1)::text AS kvr_r%2").arg(column).arg(i);
        made << QStringLiteral("(kvr_t.%1)::text").arg(column);
        replaced << QStringLiteral("kvr_o.kvr_r%1").arg(i);
        outer << QStringLiteral("kvr_t.") + column;
        inner << QStringLiteral("kvr_o.") + column;
        source << QStringLiteral("kvr_s.") + column;
        names << QStringLiteral("kvr_k%1").arg(i);
        QString type = QStringLiteral("text");
        for (const Column &c : columns_) {
            if (pq::QuoteIdentifier(c.name) == column)
                type = CastType(c.serverType);
        }
        arrays << QStringLiteral("$%1::%2[]").arg(i + 2).arg(type);
    }
    const QString comma = QStringLiteral(", ");
    sql = QStringLiteral("WITH kvr_o AS (SELECT %1, %2, (kvr_s.%3)::text AS kvr_old, kvr_v.kvr_val FROM %4 AS kvr_s "
                          "JOIN unnest($1::text[], %5) AS kvr_v(%6) ON (%1) = (%7) FOR NO KEY UPDATE OF kvr_s%8) "
                          "UPDATE %4 AS kvr_t SET %3 = kvr_o.kvr_val::%9 FROM kvr_o WHERE (%10) = (%11) "
                          "RETURNING kvr_t.ctid::text, kvr_t.xmin::text, txid_current()::text, kvr_o.kvr_old, (kvr_t.%3)::text, %12, %13")
        .arg(source.join(comma), keyTexts.join(comma), field, table_, arrays.join(comma), names.join(comma), names.mid(1).join(comma),
             skipLocked ? QStringLiteral(" SKIP LOCKED") : QString(), valueType)
        .arg(outer.join(comma), inner.join(comma), made.join(comma), replaced.join(comma)).toUtf8();
    return sql;
}

// The statement that writes the first count writes of the chunk.
pq::Statement PgCardStore::AheadStatement(const Ahead &chunk, std::size_t count, bool skipLocked)
{
    pq::Statement update{AheadSql(chunk.field, skipLocked), {ArrayLiteral({chunk.values.begin(), chunk.values.begin() + qsizetype(count)})}};
    for (qsizetype c = 0; c < keyColumns_.size(); ++c) {
        std::vector<QString> texts;
        for (std::size_t i = 0; i < count; ++i)
            texts.push_back(chunk.keys[i].at(c));
        update.params.push_back(ArrayLiteral(texts));
    }
    return update;
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
    const std::size_t next = ahead.confirmed;
    const bool same = next < ahead.keys.size() && ahead.keys[next] == cursor_->key && ahead.field == bound_->name
        && ahead.values[next].isNull() == text.isNull() && ahead.values[next] == text;
    if (!same) {
        oneByOne_ = ahead.planned - next;
        TakeBack();
        return false;
    }
    ++ahead.confirmed;
    if (ahead.updates[next] != std::size_t(-1))
        nextWrite_ = ahead.updates[next] + (next + 1 < ahead.updates.size() && ahead.updates[next + 1] == ahead.updates[next] ? 0 : 1);
    groupWrites_.push_back({criteria_ ? criteria_->pattern.Text() : QString(), bound_->name, QString()});
    if (ahead.confirmed == ahead.written) {
        Settled(ahead.field, ahead.rows);
        aheadSize_ = std::min(kLargestChunk, aheadSize_ * 2);
    }
    return true;
}

// What the walk will write next, as far as it can be foreseen: the current
// match list's next matches with the same text; for an import run whose
// updates are expected, after the line's own matches, the next lines'
// matches with their texts, up to a line whose search the expected searches
// do not answer, whose text the field refuses, or that names a record the
// chunk already holds (a statement updates a row once).
void PgCardStore::PlanChunk(const QString &text, Ahead &chunk)
{
    const std::size_t first = *cursor_->entry;
    const std::vector<QStringList> &listed = matches_->keys;
    std::size_t update = std::size_t(-1);
    const std::string key = criteria_->pattern.IsLiteral() ? criteria_->pattern.KeyPrefix() : std::string();
    const bool expected = !key.empty() && bound_->name.compare(writesField_, Qt::CaseInsensitive) == 0
        && bound_->name.compare(expectField_, Qt::CaseInsensitive) != 0 && expected_.contains(key) && expected_.at(key).size() == listed.size();
    for (std::size_t u = nextWrite_; expected && u < std::min(writes_.size(), nextWrite_ + kUpdatesLookedAt) && update == std::size_t(-1); ++u) {
        if (writes_[u].key == key && writes_[u].value == *pending_)
            update = u;
    }
    QSet<QStringList> held;
    held.reserve(qsizetype(aheadSize_));
    chunk.keys.reserve(aheadSize_);
    chunk.values.reserve(aheadSize_);
    chunk.updates.reserve(aheadSize_);
    const auto add = [&](const QStringList &record, const QString &value, std::size_t u) {
        if (chunk.keys.size() >= aheadSize_)
            return false;
        const qsizetype before = held.size();
        held.insert(record); // one look-up: a record held already leaves the size as it was
        if (held.size() == before)
            return false;
        chunk.keys.push_back(record);
        chunk.values.push_back(value);
        chunk.updates.push_back(u);
        return true;
    };
    for (std::size_t e = first; e < listed.size(); ++e) {
        if (!add(listed[e], text, update))
            return;
    }
    const FieldConversion &conversion = bound_->conversion;
    for (std::size_t u = update + 1; update != std::size_t(-1) && u < writes_.size(); ++u) {
        const auto found = expected_.find(writes_[u].key);
        const FieldConversion::Result converted = conversion.Convert(writes_[u].value);
        if (writes_[u].key.empty() || found == expected_.end() || converted.Refused())
            return;
        const pq::Param param = ParamOf(converted.value);
        for (const QStringList &record : found->second) {
            if (!add(record, param ? QString::fromUtf8(*param) : QString(), u))
                return;
        }
    }
}

bool PgCardStore::WriteAhead(const QString &text)
{
    if (keyColumns_.front() == QLatin1String("ctid") || !plainTable_ || !OnMatch() || cursor_->after || keyColumns_.contains(pq::QuoteIdentifier(bound_->name))
        || matches_->keys[*cursor_->entry] != cursor_->key)
        return false;
    if (oneByOne_ > 0) {
        --oneByOne_;
        return false;
    }
    Ahead chunk{bound_->name, {}, {}, {}, {}, 0, 0, 0};
    PlanChunk(text, chunk);
    chunk.planned = chunk.keys.size();
    if (chunk.planned < 2)
        return false;
    std::vector<pq::Statement> statements;
    if (std::exchange(aheadSavepoint_, false))
        statements.push_back({"RELEASE SAVEPOINT kvr_ahead", {}});
    statements.push_back({"SAVEPOINT kvr_ahead", {}});
    statements.push_back(AheadStatement(chunk, chunk.planned, true));
    pq::Connection &db = Db();
    std::optional<pq::Result> result;
    try {
        result.emplace(std::move(db.ExecAll(statements).back()));
    } catch (const pq::Broken &e) {
        Lost(e.message());
    } catch (const pq::Error &) {
        // Refused: the chunk's writes are made one at a time, so that the
        // refusal falls on its own record.
        try {
            db.ExecScript("ROLLBACK TO SAVEPOINT kvr_ahead; RELEASE SAVEPOINT kvr_ahead");
        } catch (const pq::Broken &e) {
            Lost(e.message());
        }
        oneByOne_ = chunk.planned - 1;
        aheadSize_ = 4;
        return false;
    }
    aheadSavepoint_ = true;
    // The rows in walk order, up to the first record the statement did not
    // write (locked by another session, or deleted).
    chunk.rows = RowsInOrder(*result, chunk.keys);
    chunk.written = std::size_t(result->Rows());
    chunk.keys.resize(chunk.rows.size());
    if (result->Rows() > 0)
        OwnWrite(chunk.field, {QString(), result->Text(0, 1), result->Text(0, 2)});
    ahead_ = std::move(chunk);
    if (ahead_->keys.empty()) {
        oneByOne_ = ahead_->planned - 1;
        TakeBack();
        return false;
    }
    return ConfirmAhead(text);
}

void PgCardStore::TakeBackBefore(const std::vector<std::pair<QByteArray, QStringList>> &queries)
{
    if (!Unconfirmed())
        return;
    const QByteArray field = pq::QuoteIdentifier(ahead_->field).toUtf8();
    for (const auto &query : queries) {
        if (query.first.contains(field)) {
            TakeBack();
            return;
        }
    }
}

void PgCardStore::TakeBack()
{
    if (!ahead_)
        return;
    const Ahead ahead = *std::exchange(ahead_, std::nullopt);
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
        std::vector<std::vector<QString>> rows;
        try {
            const std::vector<pq::Result> results = db.ExecAll({{"ROLLBACK TO SAVEPOINT kvr_ahead", {}}, {"RELEASE SAVEPOINT kvr_ahead", {}},
                                                                {"SAVEPOINT kvr_step", {}}, AheadStatement(ahead, ahead.confirmed, false)});
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

void PgCardStore::ExpectWrites(const QString &field, const QStringList &searches, const QStringList &values)
{
    writesField_ = field;
    writes_.clear();
    nextWrite_ = 0;
    for (qsizetype i = 0; i < searches.size() && i < values.size(); ++i) {
        std::string key;
        try {
            const LikePattern pattern(searches[i]);
            if (pattern.IsLiteral())
                key = pattern.KeyPrefix();
        } catch (const StoreFailure &) {
            // Not a pattern: its line's search fails before it writes.
        }
        writes_.push_back({std::move(key), values[i]});
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
