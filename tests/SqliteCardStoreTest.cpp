#include "SqliteCardStore.h"

#include "CardDb.h"
#include "Failure.h"
#include "LikePattern.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

QStringList List(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

// The record update's walk: writes value into field of every record that
// matches criteria, in table order.
void WriteMatches(CardStore &store, const QString &criteria, const QString &field, const QString &value, bool flush = true)
{
    store.SetDataField(field);
    store.Refresh();
    store.MoveFirst();
    while (!store.IsEOF()) {
        store.Find(criteria);
        store.SetText(value);
        if (store.IsEOF())
            break;
        store.MoveNext();
    }
    if (flush)
        store.Flush();
}

// The walk over the records whose REFERENCE matches pattern, numbering them
// in Mark as "<tag>:1", "<tag>:2", ... in the order it visits them.
void NumberMatches(CardStore &store, const QString &pattern, const QString &tag)
{
    store.SetDataField(QStringLiteral("Mark"));
    store.Refresh();
    store.MoveFirst();
    const QString criteria = UpdateCriteria(QStringLiteral("REFERENCE"), pattern);
    int visited = 0;
    while (!store.IsEOF()) {
        store.Find(criteria);
        store.SetText(QStringLiteral("%1:%2").arg(tag).arg(visited + 1));
        if (store.IsEOF())
            break;
        ++visited;
        store.MoveNext();
    }
    store.Flush();
}

// Per record in table order, the number the walk tagged it with, or ".".
QStringList Visits(const QStringList &marks, const QString &tag)
{
    QStringList visits;
    for (const QString &mark : marks)
        visits << (mark.startsWith(tag + QLatin1Char(':')) ? mark.mid(tag.size() + 1) : QStringLiteral("."));
    return visits;
}

// What Visits must show after a walk over the values given ("<NULL>" for
// NULL): every match once, numbered in table order.
QStringList ExpectedVisits(const QStringList &values, const QString &pattern)
{
    const LikePattern like(pattern);
    QStringList visits;
    int visited = 0;
    for (const QString &value : values)
        visits << (value != QLatin1String("<NULL>") && like.Matches(value) ? QString::number(++visited) : QStringLiteral("."));
    return visits;
}

class SqliteCardStoreTest : public ::testing::Test
{
protected:
    // Creates the database with the statements given; db then looks at it.
    void Create(const QString &sql)
    {
        db = std::make_unique<CardDb>(path);
        db->Exec(sql);
    }

    // A card table whose REFERENCE values are the ones given, as SQL literals.
    void CreateCards(std::initializer_list<const char *> references)
    {
        Create(QStringLiteral("CREATE TABLE CARD_DATA (REFERENCE TEXT(10), Mark TEXT)"));
        for (const char *reference : references)
            db->Exec(QStringLiteral("INSERT INTO CARD_DATA (REFERENCE) VALUES (%1)").arg(QLatin1String(reference)));
    }

    TempFolder folder;
    QString path = folder.File(QStringLiteral("card.db"));
    std::unique_ptr<CardDb> db;
};

TEST_F(SqliteCardStoreTest, FieldsAreTheColumnsInTableOrder)
{
    Create(QStringLiteral("CREATE TABLE CARD_DATA (REFERENCE TEXT(10), Name TEXT, Qty INTEGER, Born DATE, Zeta)"));
    SqliteCardStore store(path);
    EXPECT_EQ(store.Fields(), List({"REFERENCE", "Name", "Qty", "Born", "Zeta"}));
}

TEST_F(SqliteCardStoreTest, WalkVisitsEachMatchOnceInTableOrder)
{
    struct Case
    {
        const char *pattern;
        const char *marks; // x: written, .: untouched, per record in table order
    };
    const Case cases[] = {
        {"Z*",    "......."}, // no match: nothing written
        {"A1",    "x......"}, // the current record matches
        {"1.5",   "......x"}, // the last record matches; a real by its text
        {"A*",    "x.x.x.."}, // several, any letter case
        {"?#",    "xxx.xx."}, // NULL never matches; 42 by its text
        {"*",     "xxx.xxx"},
        {"[!a]*", ".x...xx"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pattern);
        CreateCards({"'A1'", "'B2'", "'A3'", "NULL", "'a5'", "42", "1.5"});
        {
            SqliteCardStore store(path);
            WriteMatches(store, UpdateCriteria(QStringLiteral("REFERENCE"), QLatin1String(c.pattern)), QStringLiteral("Mark"), QStringLiteral("x"));
        }
        const QString marks = db->Column(QStringLiteral("Mark")).join(QString()).replace(QStringLiteral("<NULL>"), QStringLiteral("."));
        EXPECT_EQ(marks, QLatin1String(c.marks));
        db.reset();
        QFile::remove(path);
    }
}

TEST_F(SqliteCardStoreTest, CriteriaIsFieldLikeQuotedValue)
{
    EXPECT_EQ(UpdateCriteria(QStringLiteral("REFERENCE"), QStringLiteral("A*")), QStringLiteral("REFERENCE Like 'A*'"));
    EXPECT_EQ(UpdateCriteria(QStringLiteral("F"), QStringLiteral("O'B")), QStringLiteral("F Like 'O'B'"));
}

TEST_F(SqliteCardStoreTest, FindAcceptsBracketedAndAnyCaseFieldNames)
{
    CreateCards({"'A1'", "'B2'"});
    SqliteCardStore store(path);
    WriteMatches(store, QStringLiteral("[reference] Like 'B2'"), QStringLiteral("mark"), QStringLiteral("x"));
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"<NULL>", "x"}));
}

TEST_F(SqliteCardStoreTest, FindFailsOnCriteriaItCannotEvaluate)
{
    CreateCards({"'A1'"});
    SqliteCardStore store(path);
    store.MoveFirst();
    for (const char *criteria : {"REFERENCE Like 'O'Brien'", "Nope Like 'A1'", "REFERENCE = 'A1'", "REFERENCE Like '[A'", "REFERENCE Like 'A1"}) {
        SCOPED_TRACE(criteria);
        EXPECT_THROW(store.Find(QLatin1String(criteria)), StoreFailure);
    }
}

// A change the field or the table refuses: MoveNext fails and stays on the
// record; after CancelUpdate the record keeps its old value, while the change
// committed just before it in the same transaction stays.
TEST_F(SqliteCardStoreTest, RefusedChangeKeepsOldValueAndEarlierChanges)
{
    struct Case
    {
        const char *column;
        const char *rows; // values of F for three records
        const char *good; // written into record 1
        const char *bad;  // refused for record 2
        const char *reason;
        QStringList after;
    };
    const Case cases[] = {
        {"BYTE", "1, 2, 3", "10", "300", "outside 0..255", List({"10", "2", "3"})},
        {"TEXT(3)", "'x', 'y', 'z'", "abc", "abcd", "longer than 3", List({"abc", "y", "z"})},
        {"INTEGER NOT NULL", "1, 2, 3", "5", "", "NOT NULL constraint failed", List({"5", "2", "3"})},
        {"TEXT CHECK (F <> 'bad')", "'x', 'y', 'z'", "fine", "bad", "CHECK constraint failed", List({"fine", "y", "z"})},
        {"TEXT UNIQUE", "'x', 'y', 'dup'", "new", "dup", "UNIQUE constraint failed", List({"new", "y", "dup"})},
        {"TEXT UNIQUE ON CONFLICT ROLLBACK", "'x', 'y', 'dup'", "new", "dup", "UNIQUE", List({"new", "y", "dup"})},
        {"TEXT UNIQUE ON CONFLICT REPLACE", "'x', 'y', 'dup'", "new", "dup", "UNIQUE", List({"new", "y", "dup"})},
        {"INTEGER REFERENCES OWNERS(id)", "NULL, NULL, NULL", "1", "99", "FOREIGN KEY", List({"1", "<NULL>", "<NULL>"})},
        {"INTEGER REFERENCES OWNERS(id) DEFERRABLE INITIALLY DEFERRED", "NULL, NULL, NULL", "1", "99", "FOREIGN KEY",
         List({"1", "<NULL>", "<NULL>"})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.column);
        const QStringList rows = QString::fromUtf8(c.rows).split(QStringLiteral(", "));
        Create(QStringLiteral("CREATE TABLE OWNERS (id INTEGER PRIMARY KEY); INSERT INTO OWNERS VALUES (1);"
                              "CREATE TABLE CARD_DATA (Tag TEXT, F %1);"
                              "INSERT INTO CARD_DATA VALUES ('one', %2), ('two', %3), ('three', %4);")
                   .arg(QLatin1String(c.column), rows[0], rows[1], rows[2]));
        {
            SqliteCardStore store(path);
            store.SetDataField(QStringLiteral("F"));
            store.Refresh();
            store.SetText(QLatin1String(c.good));
            store.MoveNext();
            store.SetText(QLatin1String(c.bad));
            try {
                store.MoveNext();
                ADD_FAILURE() << "MoveNext did not fail";
            } catch (const StoreFailure &e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("Field F"))) << e.what();
                EXPECT_TRUE(e.message().contains(QStringLiteral("\"%1\"").arg(QLatin1String(c.bad)))) << e.what();
                EXPECT_TRUE(e.message().contains(QLatin1String(c.reason))) << e.what();
            }
            EXPECT_FALSE(store.IsEOF());
            EXPECT_THROW(store.MoveNext(), StoreFailure); // still pending
            store.CancelUpdate();
            store.MoveNext();
            store.Flush();
        }
        EXPECT_EQ(db->Column(QStringLiteral("F")), c.after);
        EXPECT_EQ(db->Column(QStringLiteral("Tag")), List({"one", "two", "three"}));
        db.reset();
        QFile::remove(path);
    }
}

TEST_F(SqliteCardStoreTest, BindingANameThatIsNoFieldFailsAtRefresh)
{
    CreateCards({"'A1'"});
    SqliteCardStore store(path);
    store.SetDataField(QStringLiteral("Nope"));
    EXPECT_THROW(store.Refresh(), StoreFailure);
    EXPECT_FALSE(store.IsEOF());
}

TEST_F(SqliteCardStoreTest, EmptyBindingWritesNothingAndDoesNotFail)
{
    CreateCards({"'A1'", "'A2'"});
    SqliteCardStore store(path);
    EXPECT_NO_THROW(WriteMatches(store, QStringLiteral("REFERENCE Like 'A*'"), QString(), QStringLiteral("x")));
    EXPECT_EQ(db->Column(QStringLiteral("REFERENCE")), List({"A1", "A2"}));
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"<NULL>", "<NULL>"}));
}

TEST_F(SqliteCardStoreTest, EmptyTableLeavesTheCursorAtTheEnd)
{
    CreateCards({});
    SqliteCardStore store(path);
    store.Refresh();
    EXPECT_NO_THROW(store.MoveFirst());
    EXPECT_TRUE(store.IsEOF());
    store.Find(QStringLiteral("REFERENCE Like '*'"));
    EXPECT_TRUE(store.IsEOF());
    EXPECT_THROW(store.MoveNext(), StoreFailure);
}

TEST_F(SqliteCardStoreTest, ValueWrittenAtTheEndReachesNoRecord)
{
    CreateCards({"'A1'"});
    SqliteCardStore store(path);
    store.SetDataField(QStringLiteral("Mark"));
    store.Refresh();
    store.Find(QStringLiteral("REFERENCE Like 'Z'"));
    ASSERT_TRUE(store.IsEOF());
    store.SetText(QStringLiteral("lost"));
    EXPECT_THROW(store.MoveNext(), StoreFailure);
    store.MoveFirst();
    store.MoveNext();
    store.Flush();
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"<NULL>"}));
}

TEST_F(SqliteCardStoreTest, OpenFailsOnAnythingButACardDatabase)
{
    const QString missing = folder.File(QStringLiteral("missing.db"));
    const QString text = folder.Write(QStringLiteral("text.db"), QByteArray("this is not a database, just some text\n").repeated(100));
    const QString other = folder.File(QStringLiteral("other.db"));
    CardDb(other).Exec(QStringLiteral("CREATE TABLE CARDS (REFERENCE TEXT)"));

    for (const QString &file : {missing, text, other}) {
        SCOPED_TRACE(file.toStdString());
        SqliteCardStore store(file);
        try {
            store.Fields();
            ADD_FAILURE() << "opened";
        } catch (const StoreFailure &e) {
            EXPECT_TRUE(e.message().contains(file)) << e.what();
        }
        EXPECT_THROW(store.Open(), StoreFailure);
    }
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(SqliteCardStoreTest, ChangesReachOtherConnectionsAtFlushOrWhenDestroyed)
{
    CreateCards({"'A1'", "'A2'"});
    {
        SqliteCardStore store(path);
        store.SetDataField(QStringLiteral("Mark"));
        store.Refresh();
        store.SetText(QStringLiteral("first"));
        store.MoveNext();
        EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"<NULL>", "<NULL>"}));
        store.Flush();
        EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"first", "<NULL>"}));
        store.SetText(QStringLiteral("second"));
        store.MoveNext();
    }
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"first", "second"}));
}

TEST_F(SqliteCardStoreTest, LongOpenTransactionIsCommittedByTheNextMove)
{
    CreateCards({"'A1'", "'A2'"});
    SqliteCardStore store(path);
    store.SetGroupCommitInterval(0ms);
    store.SetDataField(QStringLiteral("Mark"));
    store.Refresh();
    store.SetText(QStringLiteral("x"));
    store.MoveNext();
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"x", "<NULL>"}));
}

TEST_F(SqliteCardStoreTest, WriteLockOfAnotherConnectionFailsMoveNextUntilReleased)
{
    CreateCards({"'A1'", "'A2'"});
    SqliteCardStore store(path);
    store.SetBusyTimeout(50ms);
    store.SetDataField(QStringLiteral("Mark"));
    store.Refresh();

    db->Exec(QStringLiteral("BEGIN IMMEDIATE"));
    store.SetText(QStringLiteral("x"));
    try {
        store.MoveNext();
        ADD_FAILURE() << "wrote through a lock";
    } catch (const StoreFailure &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("locked"))) << e.what();
    }
    EXPECT_FALSE(store.IsEOF());
    db->Exec(QStringLiteral("ROLLBACK"));

    store.MoveNext(); // the change stayed pending
    store.Flush();
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"x", "<NULL>"}));
}

// A commit that cannot get its lock (another connection is reading) is rolled
// back rather than left holding the database.
TEST_F(SqliteCardStoreTest, FailedCommitRollsBackAndReleasesTheDatabase)
{
    CreateCards({"'A1'", "'A2'"});
    SqliteCardStore store(path);
    store.SetBusyTimeout(50ms);
    store.SetDataField(QStringLiteral("Mark"));
    store.Refresh();
    store.SetText(QStringLiteral("lost"));
    store.MoveNext();

    db->Exec(QStringLiteral("BEGIN; SELECT count(*) FROM CARD_DATA;"));
    EXPECT_THROW(store.Flush(), StoreFailure);
    db->Exec(QStringLiteral("COMMIT"));
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"<NULL>", "<NULL>"}));

    store.SetText(QStringLiteral("kept"));
    store.MoveNext();
    store.Flush();
    EXPECT_EQ(db->Column(QStringLiteral("Mark")), List({"<NULL>", "kept"}));
}

// The walks of an import: many over the same search field, so that the store
// indexes it. Each pattern is walked after others and then twice in a row, so
// that Finds are answered by a pass, by the index and by the matches of the
// walk before.
TEST_F(SqliteCardStoreTest, ManyWalksVisitEachMatchOnceInTableOrder)
{
    CreateCards({"'A1'", "'a2'", "'B1'", "NULL", "'A1'", "'Ärger'", "'ärger2'", "'ÄRGER'", "'straße'", "'STRASSE'", "42", "1.5", "'[x]'",
                 "'A[1]'", "'K'", "char(8490)", "'a#1'", "'a11'", "''", "x'41ff31'"});
    const QStringList references = db->Column(QStringLiteral("REFERENCE"));
    const char *const patterns[] = {"Z*",   "A1",   "a*",  "A?",  "A#",  "a[1-2]*", "*1",    "ä*",      "ÄRGER", "STRAẞE",
                                    "k",    "K", "4*", "42", "1.5", "#.#",     "[[]x]", "A[[]1]*", "a#1",   "A?1", "*"};
    SqliteCardStore store(path);
    int walk = 0;
    for (int round = 1; round <= 2; ++round) {
        for (const char *pattern : patterns) {
            for (int repeat = 0; repeat < round; ++repeat) {
                SCOPED_TRACE(QStringLiteral("walk %1, pattern %2").arg(walk + 1).arg(QString::fromUtf8(pattern)).toStdString());
                const QString tag = QStringLiteral("w%1").arg(++walk);
                NumberMatches(store, QString::fromUtf8(pattern), tag);
                EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), tag), ExpectedVisits(references, QString::fromUtf8(pattern)));
            }
        }
    }
    EXPECT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));
}

// A walk that writes the search field itself (renaming A* to B1), first with
// the matches of a counting walk over the same criteria, then walks after it.
TEST_F(SqliteCardStoreTest, WalksAfterRenamingTheSearchFieldFindTheNewValues)
{
    CreateCards({"'A1'", "'b2'", "'A3'", "'c4'", "'a5'"});
    SqliteCardStore store(path);
    NumberMatches(store, QStringLiteral("Z*"), QStringLiteral("w0"));
    NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w1"));
    ASSERT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));
    WriteMatches(store, QStringLiteral("REFERENCE Like 'A*'"), QStringLiteral("REFERENCE"), QStringLiteral("B1"));
    EXPECT_EQ(db->Column(QStringLiteral("REFERENCE")), List({"B1", "b2", "B1", "c4", "B1"}));

    const QStringList references = db->Column(QStringLiteral("REFERENCE"));
    int walk = 1;
    for (const char *pattern : {"A*", "B1", "b*", "B?", "A1", "b1"}) {
        SCOPED_TRACE(pattern);
        const QString tag = QStringLiteral("w%1").arg(++walk);
        NumberMatches(store, QLatin1String(pattern), tag);
        EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), tag), ExpectedVisits(references, QLatin1String(pattern)));
    }
    EXPECT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));
}

TEST_F(SqliteCardStoreTest, WalkSeesWhatOtherConnectionsChangedSinceTheLastWalk)
{
    CreateCards({"'A1'", "'b2'", "'A3'"});
    SqliteCardStore store(path);
    NumberMatches(store, QStringLiteral("Z*"), QStringLiteral("w0"));
    NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w1"));
    ASSERT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));

    db->Exec(QStringLiteral("UPDATE CARD_DATA SET REFERENCE = 'a2' WHERE rowid = 2; DELETE FROM CARD_DATA WHERE rowid = 1;"
                            "INSERT INTO CARD_DATA (REFERENCE) VALUES ('A4');"));
    NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w2"));
    EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w2")), List({"1", "2", "3"}));
    NumberMatches(store, QStringLiteral("a4"), QStringLiteral("w3"));
    EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w3")), List({".", ".", "1"}));
}

// The store's writes, and what its walks learnt after them, go with a
// transaction that fails to commit.
TEST_F(SqliteCardStoreTest, WalksAfterAFailedCommitSeeTheOldValues)
{
    CreateCards({"'A1'", "'b2'", "'A3'"});
    SqliteCardStore store(path);
    store.SetBusyTimeout(50ms);
    NumberMatches(store, QStringLiteral("Z*"), QStringLiteral("w0"));
    NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w1"));
    ASSERT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));

    WriteMatches(store, QStringLiteral("REFERENCE Like 'A*'"), QStringLiteral("REFERENCE"), QStringLiteral("B1"), false);
    WriteMatches(store, QStringLiteral("REFERENCE Like 'B*'"), QString(), QString(), false);
    db->Exec(QStringLiteral("BEGIN; SELECT count(*) FROM CARD_DATA;"));
    EXPECT_THROW(store.Flush(), StoreFailure);
    db->Exec(QStringLiteral("COMMIT"));

    NumberMatches(store, QStringLiteral("B*"), QStringLiteral("w2"));
    EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w2")), List({".", "1", "."}));
    NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w3"));
    EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w3")), List({"1", ".", "2"}));
}

// Triggers that change more than the written field: an audit table, the
// written record's search field, the search field of the record after it
// (which the same walk must then find). The walk over A* that writes Mark is
// walked again, then another pattern.
TEST_F(SqliteCardStoreTest, WalksStayTrueWhenTriggersChangeRecords)
{
    struct Case
    {
        const char *name;
        const char *trigger;
        QStringList walk;     // visits of the walk over A*
        QStringList again;    // and of the same walk again
        const char *then;     // a pattern walked after them
        QStringList thenWalk; // its visits
        bool indexKept;
    };
    const Case cases[] = {
        {"audit", "CREATE TABLE LOG (rid INTEGER); CREATE TRIGGER t AFTER UPDATE ON CARD_DATA BEGIN INSERT INTO LOG VALUES (NEW.rowid); END",
         List({"1", ".", "2"}), List({"1", ".", "2"}), "A3", List({".", ".", "1"}), true},
        {"own record", "CREATE TRIGGER t AFTER UPDATE OF Mark ON CARD_DATA BEGIN UPDATE CARD_DATA SET REFERENCE = 'Z' || REFERENCE WHERE rowid = NEW.rowid; END",
         List({"1", ".", "2"}), List({".", ".", "."}), "za*", List({"1", ".", "2"}), true},
        {"next record", "CREATE TRIGGER t AFTER UPDATE OF Mark ON CARD_DATA BEGIN UPDATE CARD_DATA SET REFERENCE = 'A' || REFERENCE WHERE rowid = NEW.rowid + 1; END",
         List({"1", "2", "3"}), List({"1", "2", "3"}), "aab2", List({".", "1", "."}), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CreateCards({"'A1'", "'b2'", "'A3'"});
        db->Exec(QLatin1String(c.trigger));
        {
            SqliteCardStore store(path);
            NumberMatches(store, QStringLiteral("Z*"), QStringLiteral("w0"));
            NumberMatches(store, QStringLiteral("Q*"), QStringLiteral("w1"));
            ASSERT_TRUE(store.HasIndexOf(QStringLiteral("REFERENCE")));
            NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w2"));
            EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w2")), c.walk);
            NumberMatches(store, QStringLiteral("A*"), QStringLiteral("w3"));
            EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w3")), c.again);
            NumberMatches(store, QLatin1String(c.then), QStringLiteral("w4"));
            EXPECT_EQ(Visits(db->Column(QStringLiteral("Mark")), QStringLiteral("w4")), c.thenWalk);
            EXPECT_EQ(store.HasIndexOf(QStringLiteral("REFERENCE")), c.indexKept);
        }
        db.reset();
        QFile::remove(path);
    }
}

} // namespace
