#include "CardStores.h"
#include "PgCardStore.h"
#include "SqliteCardStore.h"

#include "CardDb.h"
#include "Failure.h"
#include "FileLimit.h"
#include "LikeCases.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <memory>

namespace {

using namespace std::chrono_literals;

Search Like(const char *pattern, const char *field = "REFERENCE")
{
    return Search(QLatin1String(field), QString::fromUtf8(pattern));
}

// The store tests run over each kind of card database; the server's are
// skipped when KVR_TEST_PG names none. A few hold what only one kind has.
class CardStoreTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        if (!FreshDatabase::Available(GetParam()))
            GTEST_SKIP() << "KVR_TEST_PG names no test server";
        fresh = std::make_unique<FreshDatabase>(GetParam(), folder.Path());
        path = fresh->Location();
    }
    bool OnServer() const { return GetParam() == Backend::Pg; }
    // A card table with the REFERENCE values given as SQL ("('A1'), (NULL)"),
    // after what sql makes.
    void Create(const QString &values, const QString &columns = QStringLiteral("REFERENCE VARCHAR(10), Mark TEXT"), const QString &sql = {})
    {
        db.reset();
        if (OnServer())
            CardDb(path).Exec(QStringLiteral("DROP TABLE IF EXISTS CARD_DATA; DROP TABLE IF EXISTS OWNERS"));
        else
            QFile::remove(path);
        db = std::make_unique<CardDb>(path);
        if (!sql.isEmpty())
            db->Exec(sql);
        db->CreateCardTable(columns);
        db->Exec(QStringLiteral("INSERT INTO CARD_DATA (%1) VALUES %2").arg(columns.section(QLatin1Char(' '), 0, 0), values));
    }
    QString Column(const char *name) { return db->Column(QLatin1String(name)).join(QLatin1Char(',')); }

    // The match walk of the record update: writes tag and the visit's number
    // (tag1, tag2, ...) into field of every record that matches, and once
    // more at the end, where it reaches no record. Gives per record in table
    // order the number of the visit that wrote its Mark, or '.'.
    QString Walk(CardStore &store, const Search &search, QString tag = {}, const QString &field = QStringLiteral("Mark"), bool flush = true)
    {
        tag = tag.isEmpty() ? QStringLiteral("w%1:").arg(++walks_) : tag;
        store.SetDataField(field);
        store.Refresh();
        for (int visit = 1; !store.IsEOF(); ++visit) {
            store.Find(search);
            store.SetText(tag + QString::number(visit));
            if (!store.IsEOF())
                store.MoveNext();
        }
        if (!flush)
            return {};
        store.Flush();
        QString visits;
        for (const QString &mark : db->Column(QStringLiteral("Mark")))
            visits += mark.startsWith(tag) ? mark.mid(tag.size()) : QStringLiteral(".");
        return visits;
    }

    // Walks over each pattern in turn; each must visit exactly the records
    // whose REFERENCE matches, in table order.
    void ExpectWalksFind(CardStore &store, std::initializer_list<const char *> patterns)
    {
        for (const char *pattern : patterns) {
            const LikePattern like(QString::fromUtf8(pattern));
            QString expected;
            int visit = 0;
            for (const QString &value : db->Column(QStringLiteral("REFERENCE")))
                expected += value != QLatin1String("<NULL>") && like.Matches(value) ? QString::number(++visit) : QStringLiteral(".");
            EXPECT_EQ(Walk(store, Like(pattern)), expected) << pattern;
        }
    }

    TempFolder folder;
    std::unique_ptr<FreshDatabase> fresh;
    QString path;
    std::unique_ptr<CardDb> db;
    int walks_ = 0;
};

// A file is never created; it must hold a table CARD_DATA with rowids. A
// server is named by host, port, database and user (LockTest: never by its
// password).
TEST_P(CardStoreTest, OpenFailsOnAnythingButACardDatabase)
{
    const QString file = folder.File(QStringLiteral("missing.db")), other = folder.File(QStringLiteral("other.db"));
    const QString norowid = folder.File(QStringLiteral("norowid.db"));
    CardDb(OnServer() ? path : other).Exec(QStringLiteral("CREATE TABLE CARDS (REFERENCE TEXT)"));
    CardDb(norowid).Exec(QStringLiteral("CREATE TABLE CARD_DATA (R TEXT PRIMARY KEY) WITHOUT ROWID"));
    const QString rows[][3] = {  // Card_Database, how the message names it, why it fails
        {file, file, "does not exist"}, {other, other, "no table CARD_DATA"}, {norowid, norowid, "WITHOUT ROWID"},
        {path, path.section(' ', 0, 0).mid(5), "no table CARD_DATA"},
        {path, path.section(' ', 0, 0).mid(5), "no primary key"}};
    for (const auto &[location, named, reason] : rows) {
        if ((location == path) != OnServer())
            continue;
        if (reason == QLatin1String("no primary key"))  // a place (ctid) names a row in each partition
            CardDb(path).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT) PARTITION BY LIST (REFERENCE); CREATE TABLE CARD_A PARTITION OF CARD_DATA FOR VALUES IN ('A')");
        try {
            CardStoreFor(location)->Fields();
            ADD_FAILURE() << location.toStdString() << " opened";
        } catch (const StoreFailure &e) {
            EXPECT_TRUE(e.message().contains(named) && e.message().contains(reason)) << e.what();
        }
    }
    EXPECT_FALSE(QFile::exists(file));
}

// A change the field or the table refuses: MoveNext fails and stays on the
// record with the change pending; after CancelUpdate the record keeps its old
// value, and the change committed before it in the same transaction stays.
TEST_P(CardStoreTest, RefusedChangeKeepsOldValueAndEarlierChanges)
{
    const char *const cases[][4] = {  // the stores, the column, the text written into record 2 (after 0 into record 1), the reason
        {"s",  "BYTE",                                                        "300",   "outside 0..255"},
        {"p",  "SMALLINT",                                                    "40000", "outside -32768..32767"},
        {"sp", "INTEGER NOT NULL",                                            "",      "not null"},
        {"sp", "INTEGER UNIQUE",                                              "3",     "unique"},
        {"s",  "INTEGER UNIQUE ON CONFLICT ROLLBACK",                         "3",     "unique constraint failed"},
        {"s",  "INTEGER UNIQUE ON CONFLICT REPLACE",                          "3",     "unique constraint failed"},
        {"p",  "INTEGER CHECK (F < 10)",                                      "11",    "violates check constraint"},
        {"sp", "INTEGER REFERENCES OWNERS(id) DEFERRABLE INITIALLY DEFERRED", "99",    "foreign key constraint"},
    };
    for (const auto &[stores, column, bad, reason] : cases) {
        if (!QByteArray(stores).contains(OnServer() ? 'p' : 's'))
            continue;
        Create(QStringLiteral("(1), (2), (3)"), QStringLiteral("F ") + QLatin1String(column),
               QStringLiteral("CREATE TABLE OWNERS (id INTEGER PRIMARY KEY); INSERT INTO OWNERS VALUES (0), (1), (2), (3)"));
        const std::unique_ptr<CardStore> owner = CardStoreFor(path);
        CardStore &store = *owner;
        store.SetDataField(QStringLiteral("F"));
        store.Refresh();
        store.SetText(QStringLiteral("0"));
        store.MoveNext();
        store.SetText(QLatin1String(bad));
        try {
            store.MoveNext();
            ADD_FAILURE() << column << ": MoveNext did not fail";
        } catch (const StoreFailure &e) {
            const QString said = e.message().toLower().replace(QLatin1Char('-'), QLatin1Char(' '));
            EXPECT_TRUE(said.contains(QStringLiteral("field f refuses \"%1\": ").arg(QLatin1String(bad))) && said.contains(QString::fromUtf8(reason).replace(QLatin1Char(0x2d), QLatin1Char(0x20)))) << e.what();
        }
        EXPECT_THROW(store.MoveNext(), StoreFailure) << column; // still pending
        store.CancelUpdate();
        store.MoveNext();
        store.Flush();
        EXPECT_EQ(Column("F"), QStringLiteral("0,2,3")) << column;
    }
}

// A batch's walk writes one value into each match and stops at the first
// refusal: the records before it keep the value, the refused one and the
// rest their own; so too where the server store writes the next matches
// ahead of the walk, and the walk then refuses at the third match, meets a
// row another session holds (server), changes the value, passes a match, or
// ends.
TEST_P(CardStoreTest, BatchWalkKeepsWhatItWroteUpToTheRefusal)
{
    const char *const cases[][3] = {  // Mark's check, the value of each visit (-: none, !: x into a held row), the marks after
        {"Mark <> 'x' OR REFERENCE <> 'A3'", "xxxxx", "x,x,<NULL>,<NULL>,<NULL>"},
        {"1 = 1", "xx!xx", "x,x,<NULL>,<NULL>,<NULL>"},
        {"1 = 1", "xxxyy", "x,x,x,y,y"},
        {"1 = 1", "xx-xx", "x,x,<NULL>,x,x"},
        {"1 = 1", "xx", "x,x,<NULL>,<NULL>,<NULL>"},
    };
    for (const auto &[check, values, marks] : cases) {
        Create(QStringLiteral("('A1'), ('A2'), ('A3'), ('A4'), ('A5')"), QStringLiteral("REFERENCE VARCHAR(10), Mark TEXT CHECK (%1)").arg(check));
        if (QByteArray(values).contains('!') && !OnServer())
            continue;
        CardDb holder(path);
        if (QByteArray(values).contains('!'))
            holder.Exec(QStringLiteral("BEGIN; SELECT * FROM CARD_DATA WHERE REFERENCE = 'A3' FOR UPDATE"));
        const std::unique_ptr<CardStore> store = CardStoreFor(path);
        store->SetDataField(QStringLiteral("Mark"));
        store->Refresh();
        for (const char *visit = values; *visit && (store->Find(Like("A*")), !store->IsEOF()); ++visit) {
            if (*visit != '-')
                store->SetText(*visit == 'y' ? QStringLiteral("y") : QStringLiteral("x"));
            try {
                store->MoveNext();
            } catch (const StoreFailure &) {
                break;
            }
        }
        int seen = 0; // a walk over the field written sees the writes asked for, no more
        for (store->Refresh(); store->Find(Like("x", "Mark")), !store->IsEOF(); store->MoveNext())
            ++seen;
        EXPECT_EQ(seen, QString(marks).count(QLatin1Char('x'))) << values;
        store->Flush();
        EXPECT_EQ(Column("Mark"), marks) << values;
    }
}

// What only the file store has.
using FileStoreTest = CardStoreTest;

// Field names in any case; with no field bound, or no current record, a text
// written reaches no record. A walk's moves share one read lock, which ends at
// Flush and before the store waits for the write lock. A write waits for
// another connection's lock only up to the busy timeout, and meets it before
// it changes anything. Committed changes are grouped, and other connections
// see them once the group ends: at Flush, at the first move after the
// group-commit interval, or when the store is destroyed.
TEST_P(FileStoreTest, WritesMeetLocksFirstAndAreSeenOnceTheirGroupEnds)
{
    Create(QStringLiteral("('A1'), ('A2'), ('A3')"));
    db->Exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    const QString otherWrites = QStringLiteral("BEGIN IMMEDIATE; UPDATE CARD_DATA SET Mark = 'other' WHERE rowid = 1");
    {
        SqliteCardStore store(path);
        EXPECT_EQ(store.Fields().join(QLatin1Char(',')), QStringLiteral("REFERENCE,Mark"));
        EXPECT_THROW(store.Find(Like("A1", "Nope")), StoreFailure);
        EXPECT_THROW(Like("O'Brien"), StoreFailure);
        EXPECT_EQ(Walk(store, Like("a2", "reference"), QStringLiteral("w"), QString()), QStringLiteral("..."));
        EXPECT_EQ(Walk(store, Like("a2", "reference"), QStringLiteral("w"), QStringLiteral("mark")), QStringLiteral(".1."));
        EXPECT_THROW(store.MoveNext(), StoreFailure); // at the end
        store.SetBusyTimeout(50ms);
        store.MoveFirst();
        store.MoveNext();
        db->Exec(otherWrites);
        store.Flush();
        db->Exec(QStringLiteral("COMMIT"));
        store.MoveNext();
        db->Exec(otherWrites);
        store.SetText(QStringLiteral("own"));
        EXPECT_THROW(store.MoveNext(), StoreFailure);
        db->Exec(QStringLiteral("COMMIT"));
        db->Exec(QStringLiteral("BEGIN; SELECT count(*) FROM CARD_DATA"));
        EXPECT_THROW(store.MoveNext(), StoreFailure); // a reader's lock is met before anything changes
        db->Exec(QStringLiteral("COMMIT"));
        store.MoveNext(); // the change stayed pending
        store.Flush();
        EXPECT_EQ(Column("Mark"), QStringLiteral("other,w1,own"));
        store.SetGroupCommitInterval(0ms);
        store.MoveFirst();
        store.SetText(QStringLiteral("1"));
        store.MoveNext();
        EXPECT_EQ(Column("Mark"), QStringLiteral("1,w1,own"));
        store.SetGroupCommitInterval(1h);
        store.SetText(QStringLiteral("2"));
        store.MoveNext();
    }
    EXPECT_EQ(Column("Mark"), QStringLiteral("1,2,own"));
    { // another connection commits while a write waits: the walk's next Find sees it
        SqliteCardStore store(path);
        store.SetBusyTimeout(50ms);
        store.SetDataField(QStringLiteral("Mark"));
        store.Refresh();
        store.Find(Like("A*"));
        store.SetText(QStringLiteral("b"));
        db->Exec(QStringLiteral("BEGIN IMMEDIATE; UPDATE CARD_DATA SET REFERENCE = 'Z' WHERE rowid = 2"));
        EXPECT_THROW(store.MoveNext(), StoreFailure);
        db->Exec(QStringLiteral("COMMIT"));
        store.MoveNext();
        store.Find(Like("A*"));
        EXPECT_EQ(store.RecordKey(), 3);
    }

    // A released savepoint is gone: a savepoint per write must not pile up.
    sqlite::Database raw = sqlite::Database::OpenExisting(path);
    raw.Execute("BEGIN");
    sqlite::Savepoint(raw, "w").Release();
    EXPECT_THROW(raw.Execute("RELEASE w"), sqlite::Error);
    raw.Execute("COMMIT");
}

// Walks over one store, each pattern after others, so that Finds are answered
// by passes over the table, by the index the store builds, by the matches
// of the walk before and, for the literal searches it is told to expect, by
// one pass for them all. Then walks that write the search
// field (A* becomes B1, B2, ...): first in a commit that fails (no file can be
// written) and is rolled back with what the walks learnt from its writes,
// then for good; then another connection changes records, and then the table.
TEST_P(CardStoreTest, WalksVisitEachMatchOnceInTableOrder)
{
    Create(QStringLiteral("('A1'), ('a2'), ('B1'), (NULL), ('A1'), ('Ärger'), ('ÄRGER'), ('straße'), ('STRASSE'), ('xſ'), "
                          "('[x]'), ('A[1]'), ('K'), ('\u212A'), (''), %1, ('b2')").arg(OnServer() ? "('A-1')" : "(x'41ff31')"));
    // none, the first, the last, several
    const auto patterns = {"Z*", "A1", "a*", "ä*", "STRAẞE", "k", "X[a-z]", "x*", "[[]x]", "A[[]1]*", "A?1", "*"};
    const std::unique_ptr<CardStore> owner = CardStoreFor(path);
    CardStore &store = *owner;
    store.ExpectSearches(QStringLiteral("reference"), {"A1", "STRAẞE", "k", "X[a-z]", "[[]x]", "B2", "B5"});
    ExpectWalksFind(store, patterns);
    if (auto *file = dynamic_cast<SqliteCardStore *>(&store)) {
        EXPECT_TRUE(file->HasIndexOf(QStringLiteral("REFERENCE")));
        const QString before = Column("REFERENCE");
        ExpectWalksFind(store, {"A*"});
        Walk(store, Like("A*"), QStringLiteral("B"), QStringLiteral("REFERENCE"), false);
        Walk(store, Like("B*"), QStringLiteral("w"), QString(), false);
        {
            const FileLimit diskFull(0);
            EXPECT_THROW(store.Flush(), StoreFailure);
        }
        EXPECT_EQ(Column("REFERENCE"), before);
        ExpectWalksFind(store, {"B*", "A*"});
    }
    Walk(store, Like("A*"), QStringLiteral("B"), QStringLiteral("REFERENCE"));
    EXPECT_EQ(Column("REFERENCE"), QStringLiteral(u"B1,B2,B1,<NULL>,B3,Ärger,ÄRGER,straße,STRASSE,xſ,[x],B4,K,\u212A,,B5,b2"));
    ExpectWalksFind(store, {"A*", "B2", "b#", "B5"});
    store.ExpectSearches(QStringLiteral("REFERENCE"), {"B2", "a4"});
    ExpectWalksFind(store, {"B2", "A*", "A*"}); // the second A* by the first one's matches, which the next change ends
    db->Exec(QStringLiteral("UPDATE CARD_DATA SET REFERENCE = 'a2' WHERE %1 = 2; DELETE FROM CARD_DATA WHERE %1 = 1;"
                            "INSERT INTO CARD_DATA (REFERENCE) VALUES ('A4');").arg(OnServer() ? "kvr_id" : "rowid"));
    ExpectWalksFind(store, {"A*", "a4", "B2", "*"});
    db->Exec(QStringLiteral("ALTER TABLE CARD_DATA ADD COLUMN Extra TEXT")); // a field the next Refresh binds
    Walk(store, Like("a4"), QStringLiteral("x"), QStringLiteral("Extra"));
    EXPECT_EQ(Column("Extra").count(QStringLiteral("x1")), 1);
}

// Every store finds what LikePattern matches, for the patterns and values of
// its rules' table and of its fuzz target's corpus (first byte: the
// pattern's length), which a server cannot hold when they are not UTF-8 text:
// by a new store's first pass, and by what one store learnt before.
TEST_P(CardStoreTest, SearchesAnswerAsTheLikePatternDoes)
{
    std::vector<std::pair<QByteArray, QByteArray>> cases;
    for (const like_cases::Case &c : like_cases::kCases)
        cases.emplace_back(c.pattern, c.value);
    const QDir corpus(QStringLiteral(KVR_SOURCE_DIR "/tests/fuzz/corpus/LikePatternFuzz"));
    for (const QString &name : corpus.entryList(QDir::Files)) {
        QFile file(corpus.filePath(name));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const int length = bytes.isEmpty() ? 0 : std::min<int>(uchar(bytes[0]), bytes.size() - 1);
        cases.emplace_back(bytes.mid(1, length), bytes.mid(1 + length));
    }
    QStringList values;
    std::vector<QByteArray> patterns;
    for (const auto &[pattern, value] : cases) {
        const QString text = QString::fromUtf8(value);
        if (text.toUtf8() == value && !value.contains('\0'))
            values << QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
        patterns.push_back(pattern);
    }
    Create(QLatin1Char('(') + values.join(QStringLiteral("), (")) + QLatin1Char(')'), QStringLiteral("REFERENCE TEXT, Mark TEXT"));
    const std::unique_ptr<CardStore> store = CardStoreFor(path);
    for (const QByteArray &pattern : patterns) {
        try {
            Like(pattern.constData());
        } catch (const StoreFailure &) {
            continue; // an invalid pattern, or one with a quote
        }
        if (!pattern.contains('\0')) {
            ExpectWalksFind(*CardStoreFor(path), {pattern.constData()});
            ExpectWalksFind(*store, {pattern.constData()});
        }
    }
}

// Numbers and dates are found by the text that wrote them and by the text the
// file holds: the first walk over a field by a pass over the table, the next
// ones by its index, also after a write through the index.
TEST_P(FileStoreTest, NumbersAndDatesAreFoundByTheirWrittenAndTheirStoredText)
{
    db = std::make_unique<CardDb>(path);
    db->Exec(QStringLiteral("CREATE TABLE CARD_DATA (N DOUBLE, D DATETIME, Mark TEXT); INSERT INTO CARD_DATA (N, D) VALUES "
                            "(100, '2024-01-05'), (2.5, '2024-12-31 15:07:09'), (-0.25, '14:30:00'), (1e21, 'soon')"));
    SqliteCardStore store(path);
    store.ExpectSearches(QStringLiteral("D"), {"1/5/2024", "2024-01-05", "2:30:00 PM", "2/6/2021"});
    const char *const cases[][3] = {  // field, pattern, visits
        {"N", "1e*", "...1"}, {"N", "100", "1..."}, {"N", "100.0", "1..."}, {"N", "-0.25", "..1."}, {"N", "1*", "1..2"},
        {"D", "1/5/2024", "1..."}, {"D", "2024-01-05", "1..."}, {"D", "1?/*PM", ".1.."}, {"D", "2:30:00 PM", "..1."},
    };
    for (const auto &[field, pattern, visits] : cases)
        EXPECT_EQ(Walk(store, Like(pattern, field)), QLatin1String(visits)) << field << " Like " << pattern;
    Walk(store, Like("1/5/2024", "D"), QStringLiteral("2/6/202"), QStringLiteral("D"));
    EXPECT_EQ(Walk(store, Like("1/5/2024", "D")) + Walk(store, Like("2/6/2021", "D")) + Walk(store, Like("2021-02-06", "D")),
              QStringLiteral("....1...1..."));
}

// Triggers that make a write of Mark change the search field of the written
// record or of the record after it, or add a record, which the same walk must
// then find. The walk over A* is walked twice, after a literal search that
// one pass for the expected searches answers before the triggers run, then
// another one.
TEST_P(FileStoreTest, WalksStayTrueWhenTriggersChangeRecords)
{
    const char *const cases[][3] = {  // what the trigger does, the other pattern, what the walks see
        {"UPDATE CARD_DATA SET REFERENCE = 'Z' || REFERENCE WHERE rowid = NEW.rowid",     "za1",  "... ... 1.2 ... 1.. index kept"},
        {"UPDATE CARD_DATA SET REFERENCE = 'A' || REFERENCE WHERE rowid = NEW.rowid + 1", "aab2", "... ... 123 123 .1. index dropped"},
        {"INSERT INTO CARD_DATA (REFERENCE) SELECT 'A4' WHERE NEW.rowid = 1",            "a4",   "... ... 1.23 1.234 ...12 index dropped"},
    };
    for (const auto &[trigger, then, seen] : cases) {
        Create(QStringLiteral("('A1'), ('b2'), ('A3')"));
        db->Exec(QStringLiteral("CREATE TRIGGER t AFTER UPDATE OF Mark ON CARD_DATA BEGIN %1; END").arg(QLatin1String(trigger)));
        SqliteCardStore store(path);
        QStringList walks;
        store.ExpectSearches(QStringLiteral("REFERENCE"), {"ZA1", then}); // found by one pass, before the triggers run
        for (const char *pattern : {"ZA1", "Q*", "A*", "A*", then}) // the second pass over REFERENCE makes an index
            walks << Walk(store, Like(pattern));
        walks << (store.HasIndexOf(QStringLiteral("REFERENCE")) ? QStringLiteral("index kept") : QStringLiteral("index dropped"));
        EXPECT_EQ(walks.join(QLatin1Char(' ')), QLatin1String(seen));
    }
}

INSTANTIATE_TEST_SUITE_P(, CardStoreTest, ::testing::Values(Backend::Sqlite, Backend::Pg),
                         [](const auto &info) { return std::string(FreshDatabase::Name(info.param)); });
INSTANTIATE_TEST_SUITE_P(, FileStoreTest, ::testing::Values(Backend::Sqlite));

} // namespace
