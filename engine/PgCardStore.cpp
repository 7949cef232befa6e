#include "PgCardStore.h"

#include "CardFields.h"
#include "PgLikeCondition.h"
#include "Pq.h"
#include "Sqlite.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

using card_fields::kTable;
using card_fields::Quoted;
using card_fields::Refusal;

// The declared type by which FieldConversion converts what is written into a
// column of the server's type; a type it does not know converts nothing and
// leaves the value for the server to take or refuse.
QString DeclaredType(const QString &type, int typmod)
{
    const bool sized = typmod >= 4;
    if (type == QLatin1String("varchar"))
        return sized ? QStringLiteral("VARCHAR(%1)").arg(typmod - 4) : QStringLiteral("VARCHAR");
    if (type == QLatin1String("bpchar"))
        return sized ? QStringLiteral("CHAR(%1)").arg(typmod - 4) : QStringLiteral("CHAR");
    const char *const names[][2] = {
        {"text", "TEXT"}, {"int2", "SMALLINT"}, {"int4", "INTEGER"}, {"int8", "BIGINT"},
        {"numeric", "NUMERIC"}, {"float4", "REAL"}, {"float8", "DOUBLE"}, {"bool", "BOOLEAN"},
        {"date", "DATE"}, {"timestamp", "DATETIME"}, {"timestamptz", "DATETIME"}, {"time", "TIME"},
    };
    for (const auto &[name, declared] : names) {
        if (type == QLatin1String(name))
            return QLatin1String(declared);
    }
    return {};
}

QByteArray Sql(const QString &text)
{
    return text.toUtf8();
}

} // namespace

// The input text of a value for the server; NULL: none.
pq::Param PgCardStore::ParamOf(const FieldValue &value)
{
    if (const auto *whole = std::get_if<qint64>(&value))
        return QByteArray::number(*whole);
    if (const auto *real = std::get_if<double>(&value))
        return QByteArray::number(*real, 'g', QLocale::FloatingPointShortest);
    if (const auto *text = std::get_if<QString>(&value))
        return text->toUtf8();
    return std::nullopt;
}

PgCardStore::PgCardStore(const QString &conninfo)
    : conninfo_(conninfo)
    , server_(pq::Describe(conninfo))
{
}

PgCardStore::~PgCardStore()
{
    try {
        Flush();
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
    }
}

void PgCardStore::Open()
{
    if (db_)
        return;
    try {
        db_ = std::make_unique<pq::Connection>(pq::Connection::Open(conninfo_));
        Reopen(false);
    } catch (const pq::Error &e) {
        db_.reset();
        throw StoreFailure(QStringLiteral("Cannot open the card database %1: %2").arg(server_, e.Reason()));
    } catch (const ConnectionLost &) {
        db_.reset();
        throw StoreFailure(QStringLiteral("Cannot open the card database %1: the connection broke").arg(server_));
    } catch (...) {
        db_.reset();
        throw;
    }
}

pq::Connection &PgCardStore::Db()
{
    if (!db_)
        Open();
    return *db_;
}

[[noreturn]] void PgCardStore::Lost(const QString &reason)
{
    const std::size_t uncommitted = inGroup_ ? groupWrites_.size() : 0;
    if (inGroup_)
        journal_->Dropped(); // the server rolls the group back
    db_.reset();
    pin_.reset();
    pinned_ = false;
    inGroup_ = false;
    groupWrites_.clear();
    ahead_.reset();
    aheadSavepoint_ = false;
    cursor_.reset();
    freshFirst_ = false;
    pending_.reset();
    matches_.reset();
    kept_.reset();
    expectedRead_ = false;
    QString message = QStringLiteral("The connection to the card database server %1 was lost: %2").arg(server_, reason);
    if (uncommitted > 0)
        message += QStringLiteral(" (the last %1 updates were not committed)").arg(uncommitted);
    throw ConnectionLost(message);
}

namespace {

std::vector<pq::Param> ParamsOf(const QStringList &params)
{
    std::vector<pq::Param> values;
    for (const QString &p : params)
        values.push_back(p.isNull() ? pq::Param() : pq::Param(p.toUtf8()));
    return values;
}

} // namespace

std::vector<std::vector<QString>> PgCardStore::Query(const QByteArray &sql, const QStringList &params, bool pinned)
{
    return std::move(QueryAll({{sql, params}}, pinned).front());
}

std::vector<PgCardStore::Rows> PgCardStore::QueryAll(const std::vector<std::pair<QByteArray, QStringList>> &queries, bool pinned)
{
    if (!pinned)
        TakeBackBefore(queries); // no read sees a write the walk did not ask for
    std::vector<pq::Statement> statements;
    if (inGroup_ && !pinned)
        statements.push_back({"SAVEPOINT kvr_step", {}});
    for (const auto &[sql, params] : queries)
        statements.push_back({sql, ParamsOf(params)});
    if (inGroup_ && !pinned)
        statements.push_back({"RELEASE SAVEPOINT kvr_step", {}});
    std::vector<Rows> answers;
    const auto take = [&](const pq::Result &result) {
        Rows &rows = answers.emplace_back();
        for (int r = 0; r < result.Rows(); ++r) {
            std::vector<QString> &row = rows.emplace_back();
            for (int c = 0; c < result.Columns(); ++c)
                row.push_back(result.IsNull(r, c) ? QString() : result.Text(r, c));
        }
    };
    pq::Connection &db = pinned ? *pin_ : Db();
    try {
        if (statements.size() == 1) {
            take(db.Exec(statements.front().sql, statements.front().params));
            return answers;
        }
        try {
            const std::vector<pq::Result> results = db.ExecAll(statements);
            const std::size_t first = inGroup_ && !pinned ? 1 : 0;
            for (std::size_t i = 0; i < queries.size(); ++i)
                take(results.at(first + i));
        } catch (const pq::Error &) {
            if (inGroup_ && !pinned)
                db.ExecScript("ROLLBACK TO SAVEPOINT kvr_step; RELEASE SAVEPOINT kvr_step");
            throw;
        }
    } catch (const pq::Broken &e) {
        Lost(e.message());
    }
    return answers;
}

namespace {

// The key columns' texts under names of their own: an output column named
// as a key column would take its place in ORDER BY, which would then sort
// the keys as text (10 before 9).
QString KeyTexts(const QStringList &columns)
{
    QStringList texts;
    for (int i = 0; i < columns.size(); ++i)
        texts << QStringLiteral("%1::text AS kvr_key%2").arg(columns[i]).arg(i);
    return texts.join(QStringLiteral(", "));
}

std::optional<QStringList> FirstKey(const std::vector<std::vector<QString>> &rows)
{
    if (rows.empty())
        return std::nullopt;
    return QStringList(rows.front().begin(), rows.front().end());
}

// The text of a column's value as the search compares it; a yes/no field
// as the 1 or 0 the file store holds.
QString ValueText(const QString &column, bool yesNo)
{
    return yesNo ? QStringLiteral("(%1)::int::text").arg(column) : QStringLiteral("(%1)::text").arg(column);
}

} // namespace

void PgCardStore::Reopen(bool bindingMustExist)
{
    Db();
    pending_.reset();
    bound_.reset();
    criteria_.reset();
    cursor_.reset();
    freshFirst_ = false;
    matches_.reset();
    placesWritten_.clear();

    // While the store's own open group has written the table, its
    // transaction holds the table's ROW EXCLUSIVE lock, and every change of
    // what the catalog says of the table (columns, types, keys, triggers,
    // rules, its name) needs a lock that conflicts with it: none can commit
    // before the group does. Other sessions' commits of records since the
    // last look at the server are left out, as if they came after the
    // group's commit (the file store's writers do wait for it); the store's
    // own writes are in what it remembers.
    if (HoldsTable()) {
        ReopenWith(first_ ? Rows{std::vector<QString>(first_->begin(), first_->end())} : Rows{}, bindingMustExist);
        return;
    }

    // The first table of the search path named CARD_DATA in any case, an
    // unquoted (folded) name before a quoted one; its columns, and the place
    // of each in its primary key; with the server's snapshot. The catalog is
    // read only when that is not $1: while the snapshot stays the same, no
    // transaction has ended, so nothing can have changed it; one row of
    // NULLs but the snapshot answers then.
    const QByteArray catalog = R"(
        WITH s AS (SELECT txid_current_snapshot()::text AS snapshot),
        t AS (
            SELECT c.oid, quote_ident(n.nspname) || '.' || quote_ident(c.relname) AS name, c.relhasrules,
                c.relkind = 'p' OR c.relhassubclass AS spread
            FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace
            WHERE upper(c.relname) = 'CARD_DATA' AND c.relkind IN ('r', 'p') AND n.nspname = ANY (current_schemas(false))
            ORDER BY array_position(current_schemas(false), n.nspname), c.relname <> 'card_data', c.relname
            LIMIT 1),
        c AS (
            SELECT t.name, a.attname, ty.typname, a.atttypmod, array_position(i.indkey::int2[], a.attnum) AS keypos,
                format_type(a.atttypid, a.atttypmod) AS format, a.attnum,
                NOT t.relhasrules AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_trigger g WHERE g.tgrelid = t.oid AND NOT g.tgisinternal) AS plain,
                t.spread
            FROM t JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped
            JOIN pg_catalog.pg_type ty ON ty.oid = a.atttypid
            LEFT JOIN pg_catalog.pg_index i ON i.indrelid = t.oid AND i.indisprimary
            WHERE $1::text IS DISTINCT FROM (SELECT snapshot FROM s))
        SELECT c.name, c.attname, c.typname, c.atttypmod, c.keypos, c.format, s.snapshot, c.plain, c.spread
        FROM s LEFT JOIN c ON true
        ORDER BY c.attnum)";
    // The first record of the table as it was is asked for in the same round
    // trip: it holds unless the catalog now names another table or key.
    const QString wasTable = table_;
    const QStringList wasKey = keyColumns_;
    std::vector<Rows> answers;
    try {
        if (!wasTable.isEmpty())
            answers = QueryAll({{catalog, {snapshot_}}, {FirstRecordSql(), {}}});
    } catch (const pq::Error &) {
        answers.clear(); // the table is gone: the catalog alone says what is there now
    }
    if (!answers.empty() && answers[0].at(0)[0].isNull() && answers[0][0][6] == snapshot_) {
        ReopenWith(std::move(answers[1]), bindingMustExist);
        return;
    }
    if (answers.empty())
        answers.push_back(Query(catalog, {QString()}));
    const Rows &rows = answers.front();
    if (rows.front()[0].isNull())
        throw StoreFailure(QStringLiteral("The card database %1 has no table %2").arg(server_, kTable));
    table_ = rows.front()[0];
    snapshot_ = rows.front()[6];
    plainTable_ = rows.front()[7] == QLatin1String("t");
    if (table_ != wasTable) {
        expectedRead_ = false;
        kept_.reset();
    }
    columns_.clear();
    aheadSql_.clear();
    wholeKey_ = false;
    std::vector<std::pair<int, QString>> key;
    for (const auto &row : rows) {
        const QString declared = DeclaredType(row[2], row[3].toInt());
        columns_.append({row[1], declared, row[2] == QLatin1String("bool"), row[2] == QLatin1String("float4") || row[2] == QLatin1String("float8"),
                         row[5], FieldConversion(declared)});
        if (!row[4].isNull())
            key.emplace_back(row[4].toInt(), pq::QuoteIdentifier(row[1]));
        if (!row[4].isNull())
            wholeKey_ = wholeKey_ || QStringList{QStringLiteral("int2"), QStringLiteral("int4"), QStringLiteral("int8")}.contains(row[2]);
    }
    std::sort(key.begin(), key.end());
    keyColumns_.clear();
    for (const auto &column : key)
        keyColumns_ << column.second;
    // A place (ctid) names a row only within one table: in a table whose
    // rows lie in partitions or inheriting tables, the same place holds a row
    // in each of them, and a write by place would reach them all.
    if (keyColumns_.isEmpty() && rows.front()[8] == QLatin1String("t")) {
        table_.clear();
        throw StoreFailure(QStringLiteral("The table %1 of the card database %2 has no primary key and its rows lie in several tables "
                                          "(partitions or inheriting tables): the program cannot tell its records apart. Give it a primary key.")
                               .arg(kTable, server_));
    }
    if (keyColumns_.isEmpty())
        keyColumns_ << QStringLiteral("ctid");
    wholeKey_ = wholeKey_ && keyColumns_.size() == 1;
    if (keyColumns_ != wasKey)
        kept_.reset();

    ReopenWith(answers.size() > 1 && table_ == wasTable && keyColumns_ == wasKey ? std::optional(std::move(answers[1])) : std::nullopt,
               bindingMustExist);
}

// The rest of Reopen, with the table's first record as read (none: ask).
// The expected searches' matches and the kept match list hold while no
// other session's transaction has ended since they were read (or, while
// the group holds the table, since the group's last look at the server),
// and while the run writes no field their searches read (SetText).
void PgCardStore::ReopenWith(std::optional<Rows> first, bool bindingMustExist)
{
    const bool looked = !HoldsTable();
    first_ = first ? FirstKey(*first) : FirstRecord();
    cursor_ = At(first_);
    freshFirst_ = true;
    walkStart_ = true;
    if (looked && !NothingEndedSince(expectedSnapshot_))
        expectedRead_ = false;
    if (looked && kept_ && !NothingEndedSince(kept_->snapshot))
        kept_.reset();

    if (dataField_.isEmpty())
        return;
    if (const Column *column = FindColumn(dataField_))
        bound_ = *column;
    else if (bindingMustExist)
        throw card_fields::NoSuchField("bind", dataField_);
}

bool PgCardStore::HoldsTable() const
{
    return db_ && inGroup_ && !groupWrites_.empty() && !table_.isEmpty();
}

// True when a write of the field written may change which records a search
// of the field searched finds, or what walks over them: the field or a key,
// or any field where a trigger or rule may carry a write further.
bool PgCardStore::Touches(const QString &written, const QString &searched) const
{
    return !plainTable_ || written.compare(searched, Qt::CaseInsensitive) == 0 || keyColumns_.contains(QuotedField(written));
}

const QString &PgCardStore::QuotedField(const QString &name) const
{
    if (quotedField_.isEmpty() || quotedName_ != name) {
        quotedName_ = name;
        quotedField_ = pq::QuoteIdentifier(name);
    }
    return quotedField_;
}

const PgCardStore::Column *PgCardStore::FindColumn(const QString &name) const
{
    return card_fields::Find(columns_, name);
}

QStringList PgCardStore::Fields()
{
    Db();
    return card_fields::Names(columns_);
}

void PgCardStore::SetDataField(const QString &field)
{
    dataField_ = field;
}

void PgCardStore::Refresh()
{
    Reopen(true);
}

void PgCardStore::MoveFirst()
{
    Db();
    matches_.reset();
    placesWritten_.clear();
    // Right after a Refresh, the cursor stands on the first record it found.
    if (std::exchange(freshFirst_, false)) {
        walkStart_ = cursor_.has_value();
        return;
    }
    expectedRead_ = false; // no snapshot was asked for: read the matches again
    kept_.reset();
    MoveTo(At(FirstRecord()));
    walkStart_ = true;
}

bool PgCardStore::IsEOF() const
{
    return !cursor_.has_value();
}

void PgCardStore::Find(const Search &search)
{
    Db();
    const Criteria &criteria = Resolve(search);
    if (!cursor_)
        return;
    std::size_t next = 0;
    if (matches_ && matches_->criteria == criteria.text && cursor_->entry) {
        next = *cursor_->entry + (cursor_->after ? 1 : 0);
    } else if (ServesExpected(criteria)) {
        if (!expectedRead_)
            ReadExpected();
        const auto found = expected_.find(criteria.pattern.KeyPrefix());
        matches_.emplace(MatchList{criteria.text, found->second, true, expectedLast_});
    } else if (walkStart_ && kept_ && kept_->list.criteria == criteria.text) {
        matches_ = kept_->list;
    } else {
        FetchMatches(criteria, *cursor_);
    }
    const std::vector<QStringList> &keys = matches_->keys;
    while (next < keys.size() && keyColumns_.front() == QLatin1String("ctid") && placesWritten_.contains(keys[next].front()))
        ++next;
    if (next >= keys.size())
        Unpin();
    MoveTo(next < keys.size() ? std::optional<Cursor>(Cursor{keys[next], false, next}) : std::nullopt);
}

void PgCardStore::MoveNext()
{
    Db();
    freshFirst_ = false;
    walkStart_ = false;
    if (cursor_ && cursor_->after)
        ResolveAfter();
    if (!cursor_)
        throw StoreFailure(QStringLiteral("MoveNext: there is no current record"));
    CommitPending();
    if (inGroup_ && std::chrono::steady_clock::now() - groupBegun_ >= groupCommitInterval_)
        Flush();
    const Cursor &at = *cursor_;
    if (at.entry && matches_ && *at.entry + 1 < matches_->keys.size()) {
        cursor_ = Cursor{at.key, true, at.entry};
        return;
    }
    // Past the list's last match, the walk's Finds answer "no more" without
    // asking the server again: rows that other sessions' writes moved to
    // later places are not visited a second time. When the list came with
    // the table's last record, the end or a record after this one is known
    // without asking.
    if (at.entry && matches_ && matches_->knowsLast && *at.entry + 1 == matches_->keys.size()) {
        if (at.key == matches_->last)
            cursor_.reset();
        else
            cursor_ = Cursor{at.key, true, at.entry};
        return;
    }
    const std::optional<std::size_t> pastList = at.entry && matches_ ? std::optional(matches_->keys.size()) : std::nullopt;
    cursor_ = At(RecordAfter(at.key));
    if (cursor_)
        cursor_->entry = pastList;
}

void PgCardStore::SetText(const QString &text)
{
    if (!cursor_ || !bound_)
        return;
    pending_ = text;
    // The run may now write a field that a remembered answer's search reads.
    if (kept_ && Touches(bound_->name, kept_->field))
        kept_.reset();
    if (Touches(bound_->name, expectField_))
        expected_.clear();
}

void PgCardStore::CancelUpdate()
{
    pending_.reset();
}

void PgCardStore::Flush()
{
    if (!db_ || !inGroup_)
        return;
    TakeBack(); // a commit never carries a write the walk did not ask for
    aheadSavepoint_ = false;
    inGroup_ = false;
    std::vector<LostWrites::Lost> writes = std::exchange(groupWrites_, {});
    QString refusal;
    journal_->Committing();
    try {
        if (db_->ExecScript("COMMIT") != "COMMIT")
            refusal = QStringLiteral("the server rolled the transaction back");
    } catch (const pq::Broken &e) {
        journal_->Unsettled();
        groupWrites_ = std::move(writes);
        inGroup_ = true;
        Lost(e.message());
    } catch (const pq::Error &e) {
        refusal = e.Reason();
    }
    if (refusal.isEmpty()) {
        journal_->Committed();
        return;
    }
    journal_->Dropped();
    expectedRead_ = false;
    for (LostWrites::Lost &lost : writes)
        lost.reason = refusal;
    throw LostWrites(std::move(writes));
}

const PgCardStore::Criteria &PgCardStore::Resolve(const Search &search)
{
    // The text is the field, a NUL and the value; compared in place, as a
    // walk's every Find asks again for the same.
    const QString &field = search.Field(), &value = search.Value();
    if (criteria_) {
        const QStringView text = criteria_->text;
        if (text.size() == field.size() + 1 + value.size() && text.first(field.size()) == field && text[field.size()] == QChar(0)
            && text.sliced(field.size() + 1) == value)
            return *criteria_;
    }
    QString text;
    text.reserve(field.size() + 1 + value.size());
    text.append(field).append(QChar(0)).append(value);
    const Column *column = FindColumn(search.Field());
    if (!column)
        throw card_fields::NoSuchField("search", search.Field());
    criteria_.reset();
    const FieldConversion::Kind kind = column->conversion.TypeKind();
    // A number's or a date's text differs between the server and the file
    // store, which also finds them by the text that wrote them: the tool
    // compares those itself.
    const bool narrowed = kind != FieldConversion::Kind::Number && kind != FieldConversion::Kind::Date;
    criteria_ = std::make_unique<Criteria>(Criteria{text, column, search.Pattern(), kind, narrowed, std::nullopt, std::nullopt});
    return *criteria_;
}

const QByteArray &PgCardStore::Criteria::Regex() const
{
    if (!regex)
        regex = narrowed ? ServerRegex(pattern) : QByteArray();
    return *regex;
}

const QByteArray &PgCardStore::Criteria::Values() const
{
    if (!values)
        values = narrowed ? ServerValues(pattern) : QByteArray();
    return *values;
}

// Values() is not empty.
bool PgCardStore::Criteria::HasValues() const
{
    return values ? !values->isEmpty() : narrowed && HasServerValues(pattern);
}

// The texts the file store finds a value by (SearchTexts): its own text as
// SQLite would hold it, and the text that wrote it. value is the server's
// text of the value (ValueText).
std::vector<QString> PgCardStore::SearchTexts(const Column &column, FieldConversion::Kind kind, const QString &value)
{
    if (kind == FieldConversion::Kind::Date)
        return {value, QString::fromStdString(FieldConversion::DateSearchText(value.toStdString()))};
    if (kind != FieldConversion::Kind::Number)
        return {value};
    bool number = false;
    const double stored = value.toDouble(&number);
    if (!number || !std::isfinite(stored))
        return {value};
    // A REAL column holds every number as a real one; NUMERIC keeps whole ones whole.
    const bool whole = !column.floating && stored == std::trunc(stored) && std::fabs(stored) < 9.2e18;
    const QString own = whole ? QString::number(qint64(stored)) : sqlite::RealText(stored);
    return {own, QString::fromStdString(FieldConversion::NumberSearchText(stored))};
}

bool PgCardStore::Matches(const Criteria &criteria, const QString &value) const
{
    const std::vector<QString> texts = SearchTexts(*criteria.column, criteria.kind, value);
    return std::any_of(texts.begin(), texts.end(), [&](const QString &text) { return criteria.pattern.Matches(text); });
}

QString PgCardStore::KeyList() const
{
    return keyColumns_.join(QStringLiteral(", "));
}

QString PgCardStore::KeyParams(int first) const
{
    QStringList params;
    for (int i = 0; i < keyColumns_.size(); ++i)
        params << QStringLiteral("$%1").arg(first + i);
    return params.join(QStringLiteral(", "));
}


QByteArray PgCardStore::FirstRecordSql() const
{
    return Sql(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 LIMIT 1").arg(KeyTexts(keyColumns_), table_, KeyList()));
}

QByteArray PgCardStore::LastRecordSql() const
{
    QStringList descending;
    for (const QString &column : keyColumns_)
        descending << column + QStringLiteral(" DESC");
    return Sql(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 LIMIT 1").arg(KeyTexts(keyColumns_), table_, descending.join(QStringLiteral(", "))));
}

std::optional<QStringList> PgCardStore::FirstRecord()
{
    return FirstKey(Query(FirstRecordSql(), {}));
}

std::optional<QStringList> PgCardStore::RecordAfter(const QStringList &key)
{
    return FirstKey(Query(Sql(QStringLiteral("SELECT %1 FROM %2 WHERE (%3) > (%4) ORDER BY %3 LIMIT 1")
                                  .arg(KeyTexts(keyColumns_), table_, KeyList(), KeyParams(1))),
                          key));
}

std::optional<PgCardStore::Cursor> PgCardStore::At(const std::optional<QStringList> &key)
{
    if (!key)
        return std::nullopt;
    return Cursor{*key, false, std::nullopt};
}

void PgCardStore::ResolveAfter()
{
    freshFirst_ = false;
    const std::optional<std::size_t> entry = cursor_->entry;
    cursor_ = At(RecordAfter(cursor_->key));
    // Past the list's last match, the walk's Finds still answer from the list.
    if (cursor_ && entry && matches_ && *entry + 1 >= matches_->keys.size())
        cursor_->entry = matches_->keys.size();
}

// From the walk's start, every match: the first record as the last look at
// the server found it may have gone or have another before it since.
void PgCardStore::FetchMatches(const Criteria &criteria, const Cursor &from)
{
    const QString value = ValueText(pq::QuoteIdentifier(criteria.column->name), criteria.column->yesNo);
    const bool fromStart = walkStart_ && !from.after;
    QStringList params = fromStart ? QStringList() : from.key;
    QString condition = value + QStringLiteral(" IS NOT NULL");
    if (!fromStart)
        condition += QStringLiteral(" AND (%1) %2 (%3)").arg(KeyList(), from.after ? QStringLiteral(">") : QStringLiteral(">="), KeyParams(1));
    // A search for one value and its case forms: an index of the field, where
    // there is one, finds them without reading the table.
    if (criteria.HasValues()) {
        params << QString::fromUtf8(criteria.Values());
        condition += QStringLiteral(" AND %1 = ANY ($%2::text[])").arg(value).arg(params.size());
    } else if (!criteria.Regex().isEmpty()) {
        params << QString::fromUtf8(criteria.Regex());
        condition += QStringLiteral(" AND %1 COLLATE \"C\" ~ $%2").arg(value).arg(params.size());
    }
    // The second connection sees only committed rows: the open group is
    // committed first, or the list would name the places the store's own
    // writes have left, and the walk would miss those records.
    const bool byPlace = keyColumns_.front() == QLatin1String("ctid");
    if (byPlace) {
        Flush();
        Pin();
    }
    const QByteArray matching = Sql(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 ORDER BY %5")
                                        .arg(KeyTexts(keyColumns_), value, table_, condition, KeyList()));
    // By a primary key, the table's last record comes in the same round
    // trip: a move past the last match then needs none; and, first, the
    // server's snapshot, with which a list from the walk's start is kept for
    // the next walk of the same search.
    const std::vector<Rows> answers = byPlace ? std::vector<Rows>{{}, Query(matching, params, true)}
                                              : QueryAll({{"SELECT txid_current_snapshot()::text", {}}, {matching, params}, {LastRecordSql(), {}}});
    matches_.emplace(MatchList{criteria.text, {}, !byPlace, byPlace ? std::nullopt : FirstKey(answers[2])});
    for (const auto &row : answers[1]) {
        if (Matches(criteria, row.back()))
            matches_->keys.emplace_back(row.begin(), row.end() - 1);
    }
    kept_.reset();
    if (fromStart && !byPlace)
        kept_ = KeptList{*matches_, criteria.column->name, answers[0].at(0).at(0)};
}

void PgCardStore::ExpectSearches(const QString &field, const QStringList &values)
{
    expectField_ = field;
    expected_.clear();
    expectedValues_.clear();
    expectedRead_ = false;
    ownXids_.clear();
    for (const QString &value : values) {
        try {
            const LikePattern pattern(value);
            const QByteArray forms = pattern.IsLiteral() ? ServerValues(pattern) : QByteArray();
            if (forms.isEmpty() || !expected_.try_emplace(pattern.KeyPrefix()).second)
                continue;
            expectedValues_ += expectedValues_.isEmpty() ? '{' : ',';
            expectedValues_.append(forms.constData() + 1, forms.size() - 2);
        } catch (const StoreFailure &) {
            // Not a pattern: its searches fail before they look for records.
        }
    }
    if (!expectedValues_.isEmpty())
        expectedValues_ += '}';
}

// A walk from the first record by a primary key, over the expected field,
// for one of its literal values (of a field the server narrows: no number
// or date), on a table without triggers or rules, while the run has written
// neither that field nor a key (SetText forgets the expected matches when it
// does): the store's own writes then change no match.
bool PgCardStore::ServesExpected(const Criteria &criteria) const
{
    return walkStart_ && cursor_ && !cursor_->after && plainTable_ && !expected_.empty() && keyColumns_.front() != QLatin1String("ctid")
        && criteria.pattern.IsLiteral() && criteria.HasValues() && criteria.column->name.compare(expectField_, Qt::CaseInsensitive) == 0
        && expected_.contains(criteria.pattern.KeyPrefix());
}

// One query finds every expected value's matches, each value's case forms
// narrowing on the server and LikePattern's key deciding each row; the
// table's last record and the snapshot come in the same round trip.
void PgCardStore::ReadExpected()
{
    const Column *column = FindColumn(expectField_);
    const QString value = ValueText(pq::QuoteIdentifier(column->name), column->yesNo);
    // The snapshot first: a transaction that ends before the matches are
    // read makes the next Refresh read them again.
    const std::vector<Rows> answers = QueryAll({
        {"SELECT txid_current_snapshot()::text", {}},
        {Sql(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %2 = ANY ($1::text[]) ORDER BY %4").arg(KeyTexts(keyColumns_), value, table_, KeyList())),
         {QString::fromUtf8(expectedValues_)}},
        {LastRecordSql(), {}},
    });
    for (auto &[key, keys] : expected_)
        keys.clear();
    for (const auto &row : answers[1]) {
        const std::string key = LikePattern::Key(row.back().toStdString());
        const auto found = expected_.find(key.substr(0, key.find('\xFE')));
        if (found != expected_.end())
            found->second.emplace_back(row.begin(), row.end() - 1);
    }
    expectedLast_ = FirstKey(answers[2]);
    expectedSnapshot_ = answers[0].at(0).at(0);
    expectedRead_ = true;
}

// True when every transaction that ended between the snapshot then
// (xmin:xmax:running ids) and the last Refresh's is one of the store's own,
// which change no match: an id below the new xmax that was running or not
// yet given out then and is not running now; then is moved on to the last
// Refresh's snapshot. An own id the store does not know of (a refused write
// may have had one) counts as another session's.
bool PgCardStore::NothingEndedSince(QString &then)
{
    if (snapshot_ == then)
        return true;
    const auto parse = [](const QString &text, quint64 &xmax, QSet<quint64> &running) {
        const QStringList parts = text.split(QLatin1Char(':'));
        if (parts.size() != 3)
            return false;
        xmax = parts[1].toULongLong();
        for (const QString &id : parts[2].split(QLatin1Char(','), Qt::SkipEmptyParts))
            running.insert(id.toULongLong());
        return xmax > 0;
    };
    quint64 wasXmax = 0, xmax = 0;
    QSet<quint64> wasRunning, running;
    if (!parse(then, wasXmax, wasRunning) || !parse(snapshot_, xmax, running) || xmax < wasXmax || xmax - wasXmax > 1000000)
        return false;
    const auto ended = [&](quint64 id) { return id < xmax && !running.contains(id); };
    for (quint64 id = wasXmax; id < xmax; ++id) {
        if (ended(id) && !ownXids_.contains(id))
            return false;
    }
    for (quint64 id : wasRunning) {
        if (ended(id) && !ownXids_.contains(id))
            return false;
    }
    then = snapshot_;
    return true;
}

// The pin's transaction begins before the match list is read, with the
// list's snapshot, and ends with the walk.
void PgCardStore::Pin()
{
    Unpin();
    try {
        if (!pin_)
            pin_ = std::make_unique<pq::Connection>(pq::Connection::Open(conninfo_));
        pin_->ExecScript("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        pinned_ = true;
    } catch (const pq::Broken &e) {
        Lost(e.message());
    }
}

void PgCardStore::Unpin()
{
    if (!pinned_)
        return;
    pinned_ = false;
    try {
        pin_->ExecScript("COMMIT");
    } catch (const StoreFailure &) {
        pin_.reset(); // the next pin connects again
    }
}

void PgCardStore::MoveTo(std::optional<Cursor> cursor)
{
    freshFirst_ = false;
    walkStart_ = false;
    const bool same = cursor && cursor_ && !cursor_->after && cursor_->key == cursor->key;
    if (!same)
        CommitPending();
    cursor_ = std::move(cursor);
}

void PgCardStore::CommitPending()
{
    if (!pending_)
        return;
    if (cursor_ && cursor_->after)
        ResolveAfter();
    if (!cursor_ || !bound_) {
        pending_.reset();
        return;
    }
    const FieldConversion::Result converted = bound_->conversion.Convert(*pending_);
    if (converted.Refused())
        throw Refusal(bound_->name, *pending_, converted.refusal);
    Write(converted.value);
    pending_.reset();
}

void PgCardStore::Write(const FieldValue &value)
{
    pq::Connection &db = Db();
    if (!inGroup_) {
        try {
            db.ExecScript("BEGIN; SET CONSTRAINTS ALL IMMEDIATE");
        } catch (const pq::Broken &e) {
            Lost(e.message());
        } catch (const pq::Error &e) {
            throw StoreFailure(QStringLiteral("Cannot write \"%1\" into field %2: %3").arg(Quoted(*pending_), bound_->name, e.Reason()));
        }
        inGroup_ = true;
        groupBegun_ = std::chrono::steady_clock::now();
    }
    const pq::Param param = ParamOf(value);
    QStringList params{param ? QString::fromUtf8(*param) : QString()};
    if (ConfirmAhead(params.front()) || WriteAhead(params.front()))
        return;
    const QString field = pq::QuoteIdentifier(bound_->name);
    params += cursor_->key;
    QString condition = QStringLiteral("(%1) = (%2)").arg(KeyList(), KeyParams(2));
    const bool byPlace = keyColumns_.front() == QLatin1String("ctid");
    const bool onMatch = OnMatch();
    if (byPlace && onMatch && !criteria_->Regex().isEmpty()) {
        params << QString::fromUtf8(criteria_->Regex());
        condition += QStringLiteral(" AND %1 COLLATE \"C\" ~ $%2").arg(ValueText(pq::QuoteIdentifier(criteria_->column->name), criteria_->column->yesNo)).arg(params.size());
    }
    std::vector<std::vector<QString>> rows;
    try {
        rows = Query(Sql(UpdateSql(field, condition)), params);
    } catch (const pq::Error &e) {
        throw Refusal(bound_->name, *pending_, e.Reason());
    }
    std::optional<Written> written;
    const bool moved = rows.empty() && byPlace;
    if (moved)
        rows = WriteMoved(params.front(), onMatch, written);
    else if (!rows.empty() && journal_ != &noJournal_)
        written = Written{QStringList(rows.front().begin() + 5, rows.front().end()), rows.front()[3], rows.front()[4]};
    if (rows.empty())
        throw StoreFailure(QStringLiteral("Cannot write field %1: the record was changed or removed by another session since the walk found it").arg(bound_->name));
    if (written)
        journal_->Wrote(JournalTable(), written->record, bound_->name, written->old, written->stored);
    if (byPlace)
        placesWritten_.insert(rows.front().front());
    // A write of the expected field or a key, or one that a trigger or rule
    // may carry further, may change a match: its ids stay unknown.
    const bool leavesMatches = plainTable_ && bound_->name.compare(expectField_, Qt::CaseInsensitive) != 0 && !keyColumns_.contains(field);
    if (!moved && leavesMatches) {
        // The transaction's id and the savepoint's, as the snapshot counts them.
        const quint64 top = rows.front()[2].toULongLong();
        quint64 sub = (top & ~quint64(0xFFFFFFFF)) | rows.front()[1].toULongLong();
        ownXids_.insert(top);
        ownXids_.insert(sub < top ? sub + (quint64(1) << 32) : sub);
    }
    groupWrites_.push_back({criteria_ ? criteria_->pattern.Text() : QString(), bound_->name, QString()});
}

// Without a journal: UPDATE ... SET f = $1 WHERE <condition>. With one, the
// record is locked and its old value read by a CTE, and written by the
// UPDATE joined to it on the key, in one statement: one round trip, and the
// value returned is the one the write replaced (the lock holds the record
// between the two; the CTE, like an UPDATE, follows a record that another
// session changed meanwhile to its newest version, and the UPDATE then
// reaches that version through the key, which the join rechecks). The
// statement returns, after the ctid, xmin and transaction id that every
// write returns: the old value's text, the new value's text as the write
// stored it (the write's own result, not a read of the field after it), the
// journal key's texts for the new version and for the one it replaced.
QString PgCardStore::UpdateSql(const QString &field, const QString &condition)
{
    if (journal_ == &noJournal_)
        return QStringLiteral("UPDATE %1 SET %2 = $1 WHERE %3 RETURNING ctid::text, xmin::text, txid_current()::text").arg(table_, field, condition);
    const QStringList &key = JournalTable().key;
    QStringList keyTexts, made, replaced, outer, inner;
    for (qsizetype i = 0; i < key.size(); ++i) {
        keyTexts << QStringLiteral("(%1)::text AS kvr_r%2").arg(key[i]).arg(i);
        made << QStringLiteral("(kvr_t.%1)::text").arg(key[i]);
        replaced << QStringLiteral("kvr_o.kvr_r%1").arg(i);
    }
    for (const QString &column : keyColumns_) {
        outer << QStringLiteral("kvr_t.") + column;
        inner << QStringLiteral("kvr_o.") + column;
    }
    const QString comma = QStringLiteral(", ");
    return QStringLiteral("WITH kvr_o AS (SELECT %1, %2, (%3)::text AS kvr_old FROM %4 WHERE %5 FOR NO KEY UPDATE) "
                          "UPDATE %4 AS kvr_t SET %3 = $1 FROM kvr_o WHERE (%6) = (%7) "
                          "RETURNING kvr_t.ctid::text, kvr_t.xmin::text, txid_current()::text, kvr_o.kvr_old, (kvr_t.%3)::text, %8, %9")
        .arg(KeyList(), keyTexts.join(comma), field, table_, condition, outer.join(comma), inner.join(comma), made.join(comma), replaced.join(comma));
}

// A record is named in the journal by its primary key, or, without one, by
// the place and transaction id of the row version a write made (argued in
// PgUndoTarget.cpp).
const WriteJournal::ServerTable &PgCardStore::JournalTable()
{
    if (journalTable_.connection.isEmpty())
        journalTable_.connection = pq::WithoutPassword(conninfo_);
    const bool byPlace = keyColumns_.front() == QLatin1String("ctid");
    const QStringList key = byPlace ? QStringList{QStringLiteral("ctid"), QStringLiteral("xmin")} : keyColumns_;
    journalTable_.table = table_;
    journalTable_.key = key;
    return journalTable_;
}

bool PgCardStore::SetJournal(WriteJournal *journal)
{
    journal_ = journal ? journal : &noJournal_;
    return true;
}

// Keys of whole-number primary keys are themselves; a place (block, line)
// is block * 65536 + line. Other keys have no number that grows in their
// order.
qint64 PgCardStore::RecordKey() const
{
    if (cursor_ && cursor_->after)
        const_cast<PgCardStore *>(this)->ResolveAfter(); // the record a move went to, found now
    if (!cursor_)
        throw StoreFailure(QStringLiteral("RecordKey: there is no current record"));
    const QString &key = cursor_->key.front();
    if (keyColumns_.front() == QLatin1String("ctid")) {
        const QStringList place = key.mid(1, key.size() - 2).split(QLatin1Char(','));
        return place.value(0).toLongLong() * 65536 + place.value(1).toLongLong();
    }
    if (!wholeKey_)
        throw StoreFailure(QStringLiteral("This card database cannot preview a run: the primary key of its table %1 is not one whole-number column").arg(kTable));
    return key.toLongLong();
}

// The server casts the text as the write would, in a statement that writes
// nothing, so that it refuses what the write would refuse for its type.
std::vector<std::string> PgCardStore::TextsIfCommitted(const QString &text)
{
    Db();
    if (!bound_)
        return {};
    const FieldConversion::Result converted = bound_->conversion.Convert(text);
    if (converted.Refused())
        throw Refusal(bound_->name, text, converted.refusal);
    const pq::Param param = ParamOf(converted.value);
    if (!param)
        return {};
    std::vector<std::vector<QString>> rows;
    try {
        rows = Query(Sql(QStringLiteral("SELECT %1").arg(ValueText(QStringLiteral("CAST($1::text AS %1)").arg(bound_->serverType), bound_->yesNo))),
                     {QString::fromUtf8(*param)});
    } catch (const pq::Error &e) {
        throw Refusal(bound_->name, text, e.Reason());
    }
    std::vector<std::string> texts;
    for (const QString &searchText : SearchTexts(*bound_, bound_->conversion.TypeKind(), rows.at(0).at(0)))
        texts.push_back(searchText.toStdString());
    return texts;
}

bool PgCardStore::OnMatch() const
{
    return cursor_ && cursor_->entry && matches_ && criteria_ && *cursor_->entry < matches_->keys.size();
}

// Another session committed a change of the record since the walk found its
// place: the server's currtid2 follows the record's chain of versions to the
// newest one, which is locked, and written when it still matches (as the
// server itself rechecks a row that a concurrent UPDATE reaches). No newer
// version (the record was deleted), one that no longer matches, or a server
// without currtid2: nothing is written.
std::vector<std::vector<QString>> PgCardStore::WriteMoved(const QString &text, bool onMatch, std::optional<Written> &written)
{
    const QString value = onMatch ? ValueText(pq::QuoteIdentifier(criteria_->column->name), criteria_->column->yesNo) : QStringLiteral("NULL");
    const QString field = pq::QuoteIdentifier(bound_->name);
    std::vector<std::vector<QString>> newest;
    try {
        newest = Query(Sql(QStringLiteral("SELECT ctid::text, %1, xmin::text, (%3)::text FROM %2 WHERE ctid = (SELECT currtid2($1, $2::tid)) FOR UPDATE").arg(value, table_, field)),
                       {table_, cursor_->key.front()});
    } catch (const pq::Error &e) {
        if (e.SqlState() != QLatin1String("42883")) // undefined function
            throw Refusal(bound_->name, *pending_, e.Reason());
    }
    if (newest.empty() || newest.front()[0] == cursor_->key.front() || (onMatch && (newest.front()[1].isNull() || !Matches(*criteria_, newest.front()[1]))))
        return {};
    std::vector<std::vector<QString>> rows;
    try {
        rows = Query(Sql(QStringLiteral("UPDATE %1 SET %2 = $1 WHERE ctid = $2 RETURNING ctid::text, xmin::text, (%2)::text").arg(table_, field)),
                     {text, newest.front()[0]});
    } catch (const pq::Error &e) {
        throw Refusal(bound_->name, *pending_, e.Reason());
    }
    if (!rows.empty() && journal_ != &noJournal_)
        written = Written{{rows.front()[0], rows.front()[1], newest.front()[0], newest.front()[2]}, newest.front()[3], rows.front()[2]};
    return rows;
}
