#include "SqliteCardStore.h"

#include "CardDb.h"
#include "Failure.h"
#include "FileLimit.h"
#include "LikePattern.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace std::chrono_literals;

Search Like(const char *pattern)
{
    return Search(QStringLiteral("REFERENCE"), QString::fromUtf8(pattern));
}

// The match walk of the record update: writes tag and the visit's number
// (tag1, tag2, ...) into field of every record that matches criteria.
void Walk(CardStore &store, const Search &criteria, const QString &tag, const QString &field = QStringLiteral("Mark"),
          bool flush = true)
{
    store.SetDataField(field);
    store.Refresh();
    store.MoveFirst();
    for (int visit = 1; !store.IsEOF(); ++visit) {
        store.Find(criteria);
        store.SetText(tag + QString::number(visit));
        if (store.IsEOF())
            break;
        store.MoveNext();
    }
    if (flush)
        store.Flush();
}

class SqliteCardStoreTest : public ::testing::Test
{
protected:
    void Create(const QString &sql)
    {
        db.reset();
        QFile::remove(path);
        db = std::make_unique<CardDb>(path);
        db->Exec(sql);
    }

    // A card table with the REFERENCE values given as SQL: "('A1'), (NULL)".
    void CreateCards(const char *references)
    {
        Create(QStringLiteral("CREATE TABLE CARD_DATA (REFERENCE TEXT(10), Mark TEXT); INSERT INTO CARD_DATA (REFERENCE) VALUES %1")
                   .arg(QString::fromUtf8(references)));
    }

    // The values of a column in table order, "<NULL>" for NULL.
    QStringList Values(const char *name) { return db->Column(QLatin1String(name)); }
    QString Column(const char *name) { return Values(name).join(QLatin1Char(',')); }

    // Per record in table order, the visit number the walk tagged tag wrote
    // into Mark, or ".".
    QString Visits(const QString &tag)
    {
        QString visits;
        for (const QString &mark : Values("Mark"))
            visits += mark.startsWith(tag) ? mark.mid(tag.size()) : QStringLiteral(".");
        return visits;
    }

    // Walks over each pattern in turn; each must visit exactly the records
    // whose REFERENCE matches, in table order.
    void ExpectWalksFind(SqliteCardStore &store, std::initializer_list<const char *> patterns)
    {
        const QStringList references = Values("REFERENCE");
        for (const char *pattern : patterns) {
            const QString tag = QStringLiteral("w%1:").arg(++walks_);
            SCOPED_TRACE((tag + QString::fromUtf8(pattern)).toStdString());
            Walk(store, Like(pattern), tag);
            const LikePattern like(QString::fromUtf8(pattern));
            QString expected;
            int visit = 0;
            for (const QString &value : references)
                expected += value != QLatin1String("<NULL>") && like.Matches(value) ? QString::number(++visit) : QStringLiteral(".");
            EXPECT_EQ(Visits(tag), expected);
        }
    }

    // Two walks over field, after which the store searches it by an index.
    void IndexReference(SqliteCardStore &store, const QString &field = QStringLiteral("REFERENCE"))
    {
        Walk(store, Search(field, QStringLiteral("Z*")), QStringLiteral("i0:"));
        Walk(store, Search(field, QStringLiteral("Q*")), QStringLiteral("i1:"));
        EXPECT_TRUE(store.HasIndexOf(field));
    }

    TempFolder folder;
    QString path = folder.File(QStringLiteral("card.db"));
    std::unique_ptr<CardDb> db;
    int walks_ = 0;
};

TEST_F(SqliteCardStoreTest, FindTakesFieldNamesInAnyCaseAndRefusesWhatCannotBeSearched)
{
    CreateCards("('A1')");
    SqliteCardStore store(path);
    EXPECT_EQ(store.Fields().join(QLatin1Char(',')), QStringLiteral("REFERENCE,Mark"));
    store.Find(Search(QStringLiteral("reference"), QStringLiteral("a1")));
    EXPECT_FALSE(store.IsEOF());
    EXPECT_THROW(store.Find(Search(QStringLiteral("Nope"), QStringLiteral("A1"))), StoreFailure);
    for (const char *value : {"O'Brien", "[A", "[z-a]"}) {
        SCOPED_TRACE(value);
        EXPECT_THROW(Search(QStringLiteral("REFERENCE"), QLatin1String(value)), StoreFailure);
    }
}

// A change the field or the table refuses: MoveNext fails and stays on the
// record with the change pending; after CancelUpdate the record keeps its old
// value, and the change committed before it in the same transaction stays.
TEST_F(SqliteCardStoreTest, RefusedChangeKeepsOldValueAndEarlierChanges)
{
    const struct
    {
        const char *column;
        const char *bad; // written into record 2, after 0 into record 1
        const char *reason;
    } cases[] = {
        {"BYTE", "300", "outside 0..255"},
        {"INTEGER NOT NULL", "", "NOT NULL constraint failed"},
        {"INTEGER UNIQUE ON CONFLICT ROLLBACK", "3", "UNIQUE constraint failed"},
        {"INTEGER UNIQUE ON CONFLICT REPLACE", "3", "UNIQUE constraint failed"},
        {"INTEGER REFERENCES OWNERS(id) DEFERRABLE INITIALLY DEFERRED", "99", "FOREIGN KEY constraint failed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.column);
        Create(QStringLiteral("CREATE TABLE OWNERS (id INTEGER PRIMARY KEY); INSERT INTO OWNERS VALUES (0), (1), (2), (3);"
                              "CREATE TABLE CARD_DATA (F %1); INSERT INTO CARD_DATA VALUES (1), (2), (3);")
                   .arg(QLatin1String(c.column)));
        {
            SqliteCardStore store(path);
            store.SetDataField(QStringLiteral("F"));
            store.Refresh();
            store.SetText(QStringLiteral("0"));
            store.MoveNext();
            store.SetText(QLatin1String(c.bad));
            try {
                store.MoveNext();
                ADD_FAILURE() << "MoveNext did not fail";
            } catch (const StoreFailure &e) {
                const QString &message = e.message();
                EXPECT_TRUE(message.contains(QStringLiteral("Field F")) && message.contains(QLatin1String(c.reason))
                            && message.contains(QStringLiteral("\"%1\"").arg(QLatin1String(c.bad))))
                    << e.what();
            }
            EXPECT_THROW(store.MoveNext(), StoreFailure); // still pending
            store.CancelUpdate();
            store.MoveNext();
            store.Flush();
        }
        EXPECT_EQ(Column("F"), QStringLiteral("0,2,3"));
    }
}

// No field bound: writes reach no record. No current record: a text written
// reaches none, and not the next record either.
TEST_F(SqliteCardStoreTest, WritesWithoutFieldOrRecordAreLost)
{
    CreateCards("('A1'), ('A2')");
    SqliteCardStore store(path);
    EXPECT_NO_THROW(Walk(store, Like("A*"), QStringLiteral("w"), QString()));
    EXPECT_EQ(Column("REFERENCE"), QStringLiteral("A1,A2"));

    store.SetDataField(QStringLiteral("mark"));
    store.Refresh();
    store.Find(Like("Z"));
    store.SetText(QStringLiteral("lost"));
    EXPECT_THROW(store.MoveNext(), StoreFailure);
    store.MoveFirst();
    store.MoveNext();
    store.Flush();
    EXPECT_EQ(Column("Mark"), QStringLiteral("<NULL>,<NULL>"));
}

TEST_F(SqliteCardStoreTest, OpenFailsOnAnythingButACardDatabase)
{
    const QString missing = folder.File(QStringLiteral("missing.db"));
    const QString text = folder.Write(QStringLiteral("text.db"), QByteArray("not a database, just text\n").repeated(100));
    const QString other = folder.File(QStringLiteral("other.db"));
    CardDb(other).Exec(QStringLiteral("CREATE TABLE CARDS (REFERENCE TEXT)"));
    const QString noRowid = folder.File(QStringLiteral("norowid.db"));
    CardDb(noRowid).Exec(QStringLiteral("CREATE TABLE CARD_DATA (REFERENCE TEXT PRIMARY KEY) WITHOUT ROWID"));
    for (const QString &file : {missing, text, other, noRowid}) {
        SCOPED_TRACE(file.toStdString());
        try {
            SqliteCardStore(file).Fields();
            ADD_FAILURE() << "opened";
        } catch (const StoreFailure &e) {
            EXPECT_TRUE(e.message().contains(file) && (file != noRowid || e.message().contains(QStringLiteral("WITHOUT ROWID")))) << e.what();
        }
    }
    EXPECT_FALSE(QFile::exists(missing));
}

// A write waits for another connection's lock only up to the busy timeout.
// Committed changes are grouped; other connections cannot read while a
// group is open, and see it once it ends: at Flush, at the first move after
// the group-commit interval, or when the store is destroyed.
TEST_F(SqliteCardStoreTest, CommitsWaitForLocksAndAreGroupedUntilFlushTheIntervalOrTheEnd)
{
    CreateCards("('A1'), ('A2'), ('A3')");
    db->Exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    {
        SqliteCardStore store(path);
        store.SetBusyTimeout(50ms);
        store.SetDataField(QStringLiteral("Mark"));
        store.Refresh();
        db->Exec(QStringLiteral("BEGIN; SELECT count(*) FROM CARD_DATA"));
        store.SetText(QStringLiteral("1"));
        EXPECT_THROW(store.MoveNext(), StoreFailure); // a reader's lock is met before anything changes
        db->Exec(QStringLiteral("COMMIT"));
        store.MoveNext(); // the change stayed pending
        EXPECT_THROW(Column("Mark"), std::runtime_error);
        store.Flush();
        EXPECT_EQ(Column("Mark"), QStringLiteral("1,<NULL>,<NULL>"));
        store.SetGroupCommitInterval(0ms);
        store.SetText(QStringLiteral("2"));
        store.MoveNext();
        EXPECT_EQ(Column("Mark"), QStringLiteral("1,2,<NULL>"));
        store.SetGroupCommitInterval(1h);
        store.SetText(QStringLiteral("3"));
        store.MoveNext();
        EXPECT_THROW(Column("Mark"), std::runtime_error);
    }
    EXPECT_EQ(Column("Mark"), QStringLiteral("1,2,3"));
}

// A walk's moves share one read lock, which other connections' commits wait
// for only until the walk is flushed, and which the store gives up before it
// waits for the write lock.
TEST_F(SqliteCardStoreTest, WalksGiveUpTheirReadLockAtFlushAndBeforeTheirFirstWrite)
{
    CreateCards("('A1'), ('A2'), ('A3')");
    SqliteCardStore store(path);
    store.SetBusyTimeout(50ms);
    store.SetDataField(QStringLiteral("Mark"));
    store.Refresh();
    db->Exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    const auto otherCommitsAfter = [&](const std::function<void()> &release) {
        store.MoveFirst();
        store.MoveNext();
        db->Exec(QStringLiteral("BEGIN IMMEDIATE; UPDATE CARD_DATA SET Mark = 'other' WHERE rowid = 3"));
        EXPECT_THROW(db->Exec(QStringLiteral("COMMIT")), std::runtime_error);
        release();
        db->Exec(QStringLiteral("COMMIT"));
    };
    otherCommitsAfter([&] { store.Flush(); });
    otherCommitsAfter([&] {
        store.SetText(QStringLiteral("own"));
        EXPECT_THROW(store.MoveNext(), StoreFailure);
    });
    store.MoveNext();
    store.Flush();
    EXPECT_EQ(Column("Mark"), QStringLiteral("<NULL>,own,other"));
}

// A commit that fails (no file can be written) is rolled back, with what the
// walks learnt from its writes, and releases the database.
TEST_F(SqliteCardStoreTest, FailedCommitRollsBackAndWalksAfterItSeeTheOldValues)
{
    CreateCards("('A1'), ('b2'), ('A3')");
    SqliteCardStore store(path);
    IndexReference(store);
    Walk(store, Like("A*"), QStringLiteral("B"), QStringLiteral("REFERENCE"), false);
    Walk(store, Like("B*"), QString(), QString(), false);
    {
        const FileLimit diskFull(0);
        EXPECT_THROW(store.Flush(), StoreFailure);
    }
    EXPECT_EQ(Column("REFERENCE"), QStringLiteral("A1,b2,A3"));
    ExpectWalksFind(store, {"B*", "A*"});
}

// Each pattern walked by a store of its own, which searches by passes over
// the table; then by one store, each pattern after others and twice in a row,
// so that Finds are answered by a pass, by the index the store builds and by
// the matches of the walk before.
TEST_F(SqliteCardStoreTest, WalksVisitEachMatchOnceInTableOrder)
{
    CreateCards("('A1'), ('a2'), ('B1'), (NULL), ('A1'), ('Ärger'), ('ÄRGER'), ('straße'), ('STRASSE'), ('xſ'), "
                "('[x]'), ('A[1]'), ('K'), (char(8490)), (''), (x'41ff31')");
    // none, the first, the last, several
    const auto patterns = {"Z*", "A1", "a*", "ä*", "STRAẞE", "k", "X[a-z]", "x*", "[[]x]", "A[[]1]*", "A?1", "*"};
    for (const char *pattern : patterns) {
        SqliteCardStore own(path);
        ExpectWalksFind(own, {pattern});
    }
    SqliteCardStore store(path);
    ExpectWalksFind(store, patterns);
    for (const char *pattern : patterns)
        ExpectWalksFind(store, {pattern, pattern});
    EXPECT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));
}

// Numbers and dates are found by the text that wrote them and by the text
// the file holds, alike by passes over the table and by the index, also
// after a write through the index.
TEST_F(SqliteCardStoreTest, NumbersAndDatesAreFoundByTheirWrittenAndTheirStoredText)
{
    Create(QStringLiteral("CREATE TABLE CARD_DATA (N DOUBLE, D DATETIME, Mark TEXT); INSERT INTO CARD_DATA (N, D) VALUES (100, '2024-01-05'),"
                          "(2.5, '2024-12-31 15:07:09'), (-0.25, '14:30:00'), (1e21, 'soon')"));
    using Case = const char *const[3]; // field, pattern, visits
    const Case cases[] = {
        {"N", "100", "1..."}, {"N", "100.0", "1..."}, {"N", "-0.25", "..1."}, {"N", "1*", "1..2"},
        {"D", "1/5/2024", "1..."}, {"D", "2024-01-05", "1..."}, {"D", "1?/*PM", ".1.."}, {"D", "2:30:00 PM", "..1."},
    };
    const Case rewritten[] = {{"D", "1/5/2024", "...."}, {"D", "2/6/2021", "1..."}, {"D", "2021-02-06", "1..."}};
    SqliteCardStore indexed(path); // opened once the walks by passes are done
    const auto expectVisits = [&](SqliteCardStore &store, const Case &c) {
        SCOPED_TRACE(std::string(c[0]) + " Like " + c[1]);
        if (&store == &indexed && !store.HasIndexOf(QLatin1String(c[0])))
            IndexReference(store, QLatin1String(c[0]));
        const QString tag = QStringLiteral("w%1:").arg(++walks_);
        Walk(store, Search(QLatin1String(c[0]), QLatin1String(c[1])), tag);
        EXPECT_EQ(Visits(tag), QLatin1String(c[2]));
    };
    for (const Case &c : cases) {
        SqliteCardStore own(path);
        expectVisits(own, c);
    }
    for (const Case &c : cases)
        expectVisits(indexed, c);
    Walk(indexed, Search(QStringLiteral("D"), QStringLiteral("1/5/2024")), QStringLiteral("2/6/202"), QStringLiteral("D"));
    EXPECT_TRUE(indexed.HasIndexOf(QStringLiteral("D")));
    for (const Case &c : rewritten)
        expectVisits(indexed, c);
}

// A walk that writes the search field (A* becomes B1, B2, ...), starting from
// the matches of a walk over the same criteria, and then another connection.
TEST_F(SqliteCardStoreTest, WalksFindWhatTheirOwnWritesAndOtherConnectionsChanged)
{
    CreateCards("('A1'), ('b2'), ('A3'), ('c4'), ('a5')");
    SqliteCardStore store(path);
    IndexReference(store);
    ExpectWalksFind(store, {"A*"});
    Walk(store, Like("A*"), QStringLiteral("B"), QStringLiteral("REFERENCE"));
    EXPECT_EQ(Column("REFERENCE"), QStringLiteral("B1,b2,B2,c4,B3"));
    ExpectWalksFind(store, {"A*", "B2", "b#", "B3"});
    EXPECT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));
    db->Exec(QStringLiteral("UPDATE CARD_DATA SET REFERENCE = 'a2' WHERE rowid = 2; DELETE FROM CARD_DATA WHERE rowid = 1;"
                            "INSERT INTO CARD_DATA (REFERENCE) VALUES ('A4');"));
    ExpectWalksFind(store, {"A*", "a4", "B2"});
}

// Triggers that make a write of Mark change the search field of the written
// record or of the record after it, which the same walk must then find. The
// walk over A* is walked twice, then another pattern.
TEST_F(SqliteCardStoreTest, WalksStayTrueWhenTriggersChangeRecords)
{
    const struct
    {
        const char *changed; // the record whose REFERENCE the trigger prefixes
        const char *prefix;
        const char *then;
        const char *visits; // of the three walks
        bool indexKept;
    } cases[] = {
        {"NEW.rowid", "Z", "za*", "1.2 ... 1.2", true},
        {"NEW.rowid + 1", "A", "aab2", "123 123 .1.", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.changed);
        CreateCards("('A1'), ('b2'), ('A3')");
        db->Exec(QStringLiteral("CREATE TRIGGER t AFTER UPDATE OF Mark ON CARD_DATA BEGIN UPDATE CARD_DATA SET REFERENCE = '%1' || "
                                "REFERENCE WHERE rowid = %2; END")
                     .arg(QLatin1String(c.prefix), QLatin1String(c.changed)));
        SqliteCardStore store(path);
        IndexReference(store);
        QStringList visits;
        for (const char *pattern : {"A*", "A*", c.then}) {
            const QString tag = QStringLiteral("t%1:").arg(visits.size());
            Walk(store, Like(pattern), tag);
            visits << Visits(tag);
        }
        EXPECT_EQ(visits.join(QLatin1Char(' ')), QLatin1String(c.visits));
        EXPECT_EQ(store.HasIndexOf(QStringLiteral("REFERENCE")), c.indexKept);
    }
}

} // namespace
