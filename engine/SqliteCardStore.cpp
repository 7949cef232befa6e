#include "SqliteCardStore.h"

#include "CardFields.h"
#include "MatchIndex.h"
#include "SearchTexts.h"
#include "SqliteLikeCondition.h"
#include "Sqlite.h"
#include "TransactionPolicy.h"

#include <QtGlobal>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

namespace {

using card_fields::kTable;
using card_fields::Quoted;
using card_fields::Refusal;

// The names by which SQLite reaches a table's rowid; a column of the same
// name hides one.
const char *const kRowidNames[] = {"rowid", "_rowid_", "oid"};

// kvr_match(value, dateField): whether value matches the Like pattern that the
// running search has put into the slot given as user data, by any of its
// SearchTexts.
void MatchFunction(sqlite3_context *context, int, sqlite3_value **args)
{
    const auto *pattern = *static_cast<const LikePattern *const *>(sqlite3_user_data(context));
    if (!pattern) {
        sqlite3_result_error(context, "kvr_match is only available to the card store's search", -1);
        return;
    }
    try {
        const SearchTexts texts(args[0], sqlite3_value_int(args[1]) != 0);
        const bool matches = !texts.IsNull() && (pattern->Matches(texts.Own()) || (!texts.Other().empty() && pattern->Matches(texts.Other())));
        sqlite3_result_int(context, matches ? 1 : 0);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

// Puts a pattern into kvr_match's slot for the life of one search.
class PatternInUse
{
public:
    PatternInUse(const LikePattern *&slot, const LikePattern &pattern)
        : slot_(slot)
    {
        slot_ = &pattern;
    }
    ~PatternInUse() { slot_ = nullptr; }
    PatternInUse(const PatternInUse &) = delete;
    PatternInUse &operator=(const PatternInUse &) = delete;

private:
    const LikePattern *&slot_;
};

// The dateField argument of kvr_match, as SQL.
QString DateFlag(bool dateField)
{
    return dateField ? QStringLiteral("1") : QStringLiteral("0");
}

// What a pass over the table asks of a record's value: SQLite's LIKE turns
// away in C, where it can, most of what kvr_match would refuse, and
// kvr_match decides the rest. A real number's other search text is not the
// text LIKE reads: where the field may hold numbers, reals pass.
QString PassCondition(const QString &field, bool dateField, bool narrowed, bool numbers)
{
    const QString column = sqlite::QuoteIdentifier(field);
    const QString match = QStringLiteral("kvr_match(%1, %2)").arg(column, DateFlag(dateField));
    if (!narrowed)
        return match;
    return (numbers ? QStringLiteral("(%1 LIKE ?2 OR typeof(%1) = 'real') AND %2") : QStringLiteral("%1 LIKE ?2 AND %2")).arg(column, match);
}

// The rows that the connection reports changed while one write runs.
struct ChangeWatch
{
    qint64 rowid = 0;    // the record written
    qint64 rows = 0;     // rows of any table
    qint64 own = 0;      // changes of the record written
    bool others = false; // another record of CARD_DATA changed
};

// The connection's update hook; it reports every row of a rowid table that
// a statement, its triggers or its foreign-key actions insert, update or
// delete.
void ChangeHook(void *watch, int, const char *database, const char *table, sqlite3_int64 rowid)
{
    auto &seen = *static_cast<ChangeWatch *>(watch);
    ++seen.rows;
    if (sqlite3_stricmp(database, "main") != 0 || sqlite3_stricmp(table, "CARD_DATA") != 0)
        return;
    if (rowid == seen.rowid)
        ++seen.own;
    else
        seen.others = true;
}

bool SameField(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QByteArray Sql(const QString &text)
{
    return text.toUtf8();
}

} // namespace

// The open database with what lives as long as the connection.
struct SqliteCardStore::Connection
{
    explicit Connection(sqlite::Database database)
        : db(std::move(database))
        , index(db)
        , writes(db)
    {
    }

    sqlite::Database db;
    MatchIndex index;
    QString rowid = QStringLiteral("rowid");
    TransactionPolicy writes;
    // The pattern kvr_match tests against, set only while a search runs.
    const LikePattern *pattern = nullptr;
    ChangeWatch watch;
    // PRAGMA data_version when last looked at: it moves when another
    // connection commits.
    std::optional<qint64> dataVersion;
    // The dataVersion when the table's columns were last read.
    std::optional<qint64> columnsVersion;
    // The schema has a trigger or a foreign key: a write may change more
    // than its field, or leave a violation behind, which only a savepoint
    // around it can take back alone.
    bool writesNeedSavepoint = true;
};

SqliteCardStore::SqliteCardStore(const QString &path)
    : path_(path)
{
}

SqliteCardStore::~SqliteCardStore()
{
    try {
        Flush();
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
    }
}

void SqliteCardStore::Open()
{
    if (db_)
        return;
    const auto cannotOpen = [this](const QString &reason) {
        return StoreFailure(QStringLiteral("Cannot open the card database %1: %2").arg(path_, reason));
    };
    try {
        auto connection = std::make_unique<Connection>(sqlite::Database::OpenExisting(path_));
        sqlite::Database &db = connection->db;
        sqlite3_busy_timeout(db.Handle(), int(busyTimeout_.count()));
        const auto tables = db.Cached("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'CARD_DATA' COLLATE NOCASE").QueryInt64();
        if (tables.value_or(0) == 0)
            throw cannotOpen(QStringLiteral("it has no table %1").arg(kTable));
        // Records are walked and written by rowid.
        const auto withoutRowid = db.Cached("SELECT wr FROM pragma_table_list WHERE schema = 'main' AND name = 'CARD_DATA' COLLATE NOCASE").QueryInt64();
        if (withoutRowid.value_or(0) != 0)
            throw cannotOpen(QStringLiteral("its table %1 is a WITHOUT ROWID table, which the tool cannot update").arg(kTable));
        db.Execute("PRAGMA foreign_keys = ON");
        db.CreateFunction("kvr_match", 2, &connection->pattern, MatchFunction);
        sqlite3_update_hook(db.Handle(), ChangeHook, &connection->watch);
        connection->writes.SetJournal(journal_);
        db_ = std::move(connection);
        Reopen(false);
    } catch (const sqlite::Error &e) {
        db_.reset();
        throw cannotOpen(e.Reason());
    } catch (...) {
        db_.reset();
        throw;
    }
}

SqliteCardStore::Connection &SqliteCardStore::Db()
{
    if (!db_)
        Open();
    return *db_;
}

// The table's columns are read again only when another connection has
// changed the database: SQLite prepares PRAGMA table_info anew at every run,
// which an import run's Refresh per line would pay for each time.
void SqliteCardStore::Reopen(bool bindingMustExist)
{
    Connection &c = Db();
    CheckOtherConnections();
    pending_.reset();
    bound_.reset();
    criteria_.reset();
    cursor_.reset();
    cursorPastRowid_ = false;

    if (c.columnsVersion != c.dataVersion || columns_.isEmpty()) {
        c.columnsVersion = c.dataVersion;
        columns_.clear();
        c.db.Cached("PRAGMA table_info(\"CARD_DATA\")").ForEachRow([this](const sqlite::Statement &row) {
            columns_.append({row.Text(1), row.Text(2)});
        });
        if (columns_.isEmpty())
            throw StoreFailure(QStringLiteral("The card database %1 has no table %2").arg(path_, kTable));

        c.rowid.clear();
        for (const char *name : kRowidNames) {
            if (!FindColumn(QLatin1String(name))) {
                c.rowid = QLatin1String(name);
                break;
            }
        }
        if (c.rowid.isEmpty())
            throw StoreFailure(QStringLiteral("The table %1 of %2 hides its rowid behind columns").arg(kTable, path_));
        c.writes.SetRowidName(c.rowid);
        c.writesNeedSavepoint = c.db.Cached("SELECT EXISTS (SELECT 1 FROM sqlite_schema WHERE type = 'trigger') "
                                            "OR EXISTS (SELECT 1 FROM sqlite_temp_schema WHERE type = 'trigger') "
                                            "OR EXISTS (SELECT 1 FROM sqlite_schema AS t, pragma_foreign_key_list(t.name) AS f WHERE t.type = 'table')")
                                    .QueryInt64()
                                    .value_or(1)
                                    != 0;
        c.writes.SetPlainSchema(!c.writesNeedSavepoint);
    }
    c.writes.SetInterval(groupCommitInterval_);

    cursor_ = FirstRecord();

    if (dataField_.isEmpty())
        return;
    if (const Column *column = FindColumn(dataField_))
        bound_.emplace(BoundField{column->name, FieldConversion(column->declaredType)});
    else if (bindingMustExist)
        throw card_fields::NoSuchField("bind", dataField_);
}

const SqliteCardStore::Column *SqliteCardStore::FindColumn(const QString &name) const
{
    return card_fields::Find(columns_, name);
}

QStringList SqliteCardStore::Fields()
{
    Db();
    return card_fields::Names(columns_);
}

void SqliteCardStore::SetDataField(const QString &field)
{
    dataField_ = field;
}

void SqliteCardStore::Refresh()
{
    Db().writes.EndReading();
    Reopen(true);
}

void SqliteCardStore::MoveFirst()
{
    Db().writes.EndReading();
    CheckOtherConnections();
    MoveTo(FirstRecord());
}

bool SqliteCardStore::IsEOF() const
{
    return !cursor_.has_value();
}

void SqliteCardStore::Find(const Search &search)
{
    Db();
    CheckOtherConnectionsOnce();
    const Criteria &criteria = Resolve(search);
    if (cursor_)
        MoveTo(NextMatch(criteria, cursorPastRowid_ ? *cursor_ + 1 : *cursor_));
}

void SqliteCardStore::MoveNext()
{
    Db();
    if (!cursor_)
        throw StoreFailure(QStringLiteral("MoveNext: there is no current record"));
    Settle();
    CommitPending();
    if (db_->writes.Due())
        Flush();
    db_->writes.EndReading(true);
    db_->writes.KeepReading();
    CheckOtherConnectionsOnce();
    // While the table's last rowid is known, the next record need not be
    // looked up until it is written: a walk's next Find skips it anyway.
    if (!writesReachFurther_ && bounds_) {
        if (*cursor_ < bounds_->last)
            cursorPastRowid_ = true;
        else
            cursor_.reset();
        return;
    }
    cursor_ = RecordAfter(*cursor_);
}

void SqliteCardStore::SetText(const QString &text)
{
    if (cursor_ && bound_)
        pending_ = text;
}

void SqliteCardStore::CancelUpdate()
{
    pending_.reset();
}

void SqliteCardStore::ExpectSearches(const QString &field, const QStringList &values)
{
    exact_.Expect(field, values);
}

void SqliteCardStore::Flush()
{
    if (db_)
        db_->writes.EndReading();
    if (!db_ || !db_->writes.IsOpen())
        return;
    try {
        db_->writes.Commit();
    } catch (const LostWrites &) {
        // What the index and the match lists knew of the rolled-back group
        // may no longer be true.
        ForgetMatches();
        db_->index.Forget();
        exact_.Reset();
        throw;
    }
}

qint64 SqliteCardStore::RecordKey() const
{
    if (!cursor_)
        throw StoreFailure(QStringLiteral("RecordKey: there is no current record"));
    return *cursor_;
}

// The refusal is CommitPending's; the stored form is SQLite's.
std::vector<std::string> SqliteCardStore::TextsIfCommitted(const QString &text)
{
    Db();
    if (!bound_)
        return {};
    const FieldConversion::Result converted = bound_->conversion.Convert(text);
    if (converted.Refused())
        throw Refusal(bound_->name, text, converted.refusal);
    const bool dateField = bound_->conversion.TypeKind() == FieldConversion::Kind::Date;
    return storedForm_.Texts(FindColumn(bound_->name)->declaredType, dateField, converted.value);
}

bool SqliteCardStore::SetJournal(WriteJournal *journal)
{
    journal_ = journal;
    if (db_)
        db_->writes.SetJournal(journal);
    return true;
}

bool SqliteCardStore::HasIndexOf(const QString &field) const
{
    return db_ && db_->index.Covers(field);
}

void SqliteCardStore::SetBusyTimeout(std::chrono::milliseconds timeout)
{
    busyTimeout_ = timeout;
    if (db_)
        sqlite3_busy_timeout(db_->db.Handle(), int(timeout.count()));
}

void SqliteCardStore::SetGroupCommitInterval(std::chrono::milliseconds interval)
{
    groupCommitInterval_ = interval;
    if (db_)
        db_->writes.SetInterval(interval);
}

// The search's field as the table spells it, with what the search needs of
// it; kept for the Finds of the same search that follow.
const SqliteCardStore::Criteria &SqliteCardStore::Resolve(const Search &search)
{
    // Compared in place: a walk asks with the same search for every record.
    if (criteria_) {
        const QStringView known(criteria_->text);
        const qsizetype fieldSize = search.Field().size();
        if (known.size() == fieldSize + 1 + search.Value().size() && known.at(fieldSize) == QChar(0)
            && known.left(fieldSize) == search.Field() && known.mid(fieldSize + 1) == search.Value())
            return *criteria_;
    }
    const QString text = search.Field() + QChar(0) + search.Value();
    const Column *column = FindColumn(search.Field());
    if (!column)
        throw card_fields::NoSuchField("search", search.Field());

    criteria_.reset();
    const bool dateField = FieldConversion(column->declaredType).TypeKind() == FieldConversion::Kind::Date;
    // A date's other search text is not the text LIKE reads.
    const QString narrowing = dateField ? QString() : SqliteLikeCondition(search.Pattern());
    criteria_ = std::make_unique<Criteria>(Criteria{text, column->name, search.Pattern(), dateField, narrowing, !HoldsNoNumbers(column->declaredType)});
    return *criteria_;
}

// The table's first and last rowids are looked up again only when the
// table's records may have changed: when another connection changed it, or
// the store's own writes reached further than their own record.
std::optional<qint64> SqliteCardStore::FirstRecord()
{
    if (bounds_ && !writesReachFurther_)
        return bounds_->first;
    const QString &rowid = db_->rowid;
    const std::optional<qint64> first = db_->db.Cached(Sql(QStringLiteral("SELECT %1 FROM CARD_DATA ORDER BY %1 LIMIT 1").arg(rowid))).QueryInt64();
    const std::optional<qint64> last = db_->db.Cached(Sql(QStringLiteral("SELECT %1 FROM CARD_DATA ORDER BY %1 DESC LIMIT 1").arg(rowid))).QueryInt64();
    if (first && last)
        bounds_ = Bounds{*first, *last};
    else
        bounds_.reset();
    return first;
}

std::optional<qint64> SqliteCardStore::RecordAfter(qint64 rowid)
{
    const QString &name = db_->rowid;
    return db_->db.Cached(Sql(QStringLiteral("SELECT %1 FROM CARD_DATA WHERE %1 > ?1 ORDER BY %1 LIMIT 1").arg(name)))
        .Bind(1, rowid)
        .QueryInt64();
}

std::optional<qint64> SqliteCardStore::NextMatch(const Criteria &criteria, qint64 rowid)
{
    if (writesReachFurther_)
        return ScanFirstMatch(criteria, rowid);
    if (!matches_ || !matches_->Answers(criteria.text, rowid))
        matches_.emplace(MatchList{criteria.text, criteria.field, rowid, FindMatches(criteria, rowid)});
    const std::vector<qint64> &rowids = matches_->rowids;
    const auto next = std::lower_bound(rowids.begin(), rowids.end(), rowid);
    if (next == rowids.end())
        return std::nullopt;
    return *next;
}

// The index pays for itself from the second pass over the same field on. It
// is built outside a write transaction, so that a failure to build it can
// never take that transaction's changes with it.
//
// An expected literal search is answered by the one pass that finds every
// expected search's matches, unless the update at hand writes the search
// field, which would make that pass stale at once.
std::vector<qint64> SqliteCardStore::FindMatches(const Criteria &criteria, qint64 from)
{
    Connection &c = *db_;
    if (exact_.Serves(criteria.field, criteria.pattern) && !(bound_ && SameField(bound_->name, criteria.field))) {
        try {
            return exact_.Matches(c.db, criteria.pattern, criteria.dateField, c.rowid, from);
        } catch (const sqlite::Error &) {
            exact_.Forget();
        } catch (const std::bad_alloc &) {
            exact_.Forget();
        }
    }
    const bool indexable = !indexFailed_ && !criteria.pattern.KeyPrefix().empty();
    try {
        if (indexable && !c.index.Covers(criteria.field) && SameField(scannedField_, criteria.field)) {
            Flush();
            c.index.Build(criteria.field, criteria.dateField, c.rowid);
        }
        if (indexable && c.index.Covers(criteria.field))
            return c.index.Matches(criteria.pattern, from);
    } catch (const sqlite::Error &) {
        c.index.Forget();
        indexFailed_ = true;
    }
    return ScanMatches(criteria, from);
}

std::vector<qint64> SqliteCardStore::ScanMatches(const Criteria &criteria, qint64 from)
{
    Connection &c = *db_;
    scannedField_ = criteria.field;
    sqlite::Statement &scan = Pass(criteria, from, "");
    const PatternInUse inUse(c.pattern, criteria.pattern);
    std::vector<qint64> rowids;
    scan.ForEachRow([&](const sqlite::Statement &row) { rowids.push_back(row.Int64(0)); });
    return rowids;
}

std::optional<qint64> SqliteCardStore::ScanFirstMatch(const Criteria &criteria, qint64 from)
{
    Connection &c = *db_;
    sqlite::Statement &search = Pass(criteria, from, " LIMIT 1");
    const PatternInUse inUse(c.pattern, criteria.pattern);
    return search.QueryInt64();
}

sqlite::Statement &SqliteCardStore::Pass(const Criteria &criteria, qint64 from, const char *limit)
{
    Connection &c = *db_;
    const bool narrowed = !criteria.narrowing.isEmpty();
    sqlite::Statement &pass = c.db.Cached(Sql(QStringLiteral("SELECT %1 FROM CARD_DATA WHERE %1 >= ?1 AND %2 ORDER BY %1%3")
                                                  .arg(c.rowid, PassCondition(criteria.field, criteria.dateField, narrowed, criteria.numbers),
                                                       QLatin1String(limit))));
    if (narrowed)
        pass.Bind(2, criteria.narrowing);
    return pass.Bind(1, from);
}

void SqliteCardStore::CheckOtherConnections()
{
    Connection &c = *db_;
    const std::optional<qint64> version = c.db.Cached("PRAGMA data_version").QueryInt64();
    if (version == c.dataVersion)
        return;
    c.dataVersion = version;
    bounds_.reset();
    ForgetMatches();
    c.index.Forget();
    exact_.Reset();
    scannedField_.clear();
}

// Another connection can commit only while the store holds no lock: between
// its transactions, or while its write waits for the lock. What a walk
// learnt of the table (its matches, the last rowid) is trusted again in a new
// transaction only once data_version shows that nobody else committed.
void SqliteCardStore::CheckOtherConnectionsOnce()
{
    Connection &c = *db_;
    if (c.db.InTransaction() && c.writes.Begun() == checkedTransaction_)
        return;
    checkedTransaction_ = c.writes.Begun();
    CheckOtherConnections();
}

void SqliteCardStore::ForgetMatches()
{
    matches_.reset();
}

// A write that changed its own record only leaves the matches of the records
// after it true, and it is always behind the cursor of the walk that made it.
void SqliteCardStore::NoteWrite(const QString &field, qint64 rowid, Reach reach)
{
    if (reach != Reach::Field || exact_.Covers(field))
        exact_.Forget();
    if (reach == Reach::Further) {
        writesReachFurther_ = true;
        ForgetMatches();
        db_->index.Forget();
        return;
    }
    if (matches_ && (reach == Reach::Record || SameField(matches_->field, field)))
        matches_->staleThrough = std::max(matches_->staleThrough, rowid);
}

void SqliteCardStore::MoveTo(std::optional<qint64> rowid)
{
    if (rowid != cursor_ || cursorPastRowid_)
        CommitPending();
    cursor_ = rowid;
    cursorPastRowid_ = false;
}

void SqliteCardStore::Settle()
{
    if (!cursorPastRowid_)
        return;
    cursorPastRowid_ = false;
    cursor_ = RecordAfter(*cursor_);
}

void SqliteCardStore::CommitPending()
{
    if (!pending_)
        return;
    Settle();
    if (!cursor_ || !bound_) {
        pending_.reset();
        return;
    }
    const FieldConversion::Result converted = bound_->conversion.Convert(*pending_);
    if (converted.Refused())
        throw Refusal(bound_->name, *pending_, converted.refusal);
    WriteField(converted.value, *cursor_);
    pending_.reset();
}

// A refused write undoes itself only, back to its savepoint; the changes
// before it in the same transaction stay. Without triggers and foreign keys
// a write is one statement that changes one row, which SQLite takes back
// whole when it fails, and which can leave no violation behind: the
// savepoint (two statements and a copy of the page per write) is left out.
void SqliteCardStore::WriteField(const FieldValue &value, qint64 rowid)
{
    Connection &c = *db_;
    const QString &field = bound_->name;
    if (!c.writes.IsOpen()) {
        try {
            c.writes.Begin();
        } catch (const sqlite::Error &e) {
            throw StoreFailure(QStringLiteral("Cannot write \"%1\" into field %2: %3").arg(Quoted(*pending_), field, e.message()));
        }
    }

    RecordWrite write{rowid, field, value, criteria_ ? criteria_->pattern.Text() : QString()};
    try {
        std::optional<sqlite::Savepoint> savepoint;
        if (c.writesNeedSavepoint)
            savepoint.emplace(c.db, "kvr_write");
        std::optional<std::string> keyBefore;
        bool keyed = false;
        if (c.index.IsBuilt()) {
            try {
                keyBefore = c.index.KeyOf(rowid);
                keyed = true;
            } catch (const sqlite::Error &) {
                c.index.Forget();
                indexFailed_ = true;
            }
        }

        c.watch = ChangeWatch{rowid};
        const qint64 changesBefore = c.db.TotalChanges();
        c.writes.Execute(write);
        if (c.db.Changes() == 0)
            throw StoreFailure(QStringLiteral("Cannot write field %1: the record no longer exists").arg(field));
        if (c.db.HasDeferredViolations())
            throw Refusal(field, *pending_, QStringLiteral("FOREIGN KEY constraint failed"));

        // Changes the hook cannot see (a table cleared at once, a table
        // without rowid) show as a difference in the count.
        const ChangeWatch &seen = c.watch;
        const bool unseen = seen.rows != c.db.TotalChanges() - changesBefore;
        const Reach reach = seen.others || unseen ? Reach::Further : seen.own > 1 ? Reach::Record : Reach::Field;
        if (keyed && reach != Reach::Further) {
            try {
                c.index.Rekey(rowid, keyBefore);
            } catch (const sqlite::Error &) {
                c.index.Forget();
                indexFailed_ = true;
            }
        }
        if (savepoint)
            savepoint->Release();
        NoteWrite(field, rowid, reach);
        c.writes.Add(std::move(write));
    } catch (const sqlite::Error &e) {
        if (c.db.InTransaction())
            throw Refusal(field, *pending_, e.Reason());
        // SQLite ended the transaction itself (an I/O error, or a trigger's
        // RAISE(ROLLBACK)), taking the group's earlier writes with it: they
        // and this one are written again, and what cannot be is reported.
        ForgetMatches();
        c.index.Forget();
        exact_.Reset();
        c.writes.Recover(write);
    }
}

