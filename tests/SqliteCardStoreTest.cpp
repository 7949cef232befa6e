#include "SqliteCardStore.h"

#include "CardDb.h"
#include "Failure.h"
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
void WriteMatches(CardStore &store, const QString &criteria, const QString &field, const QString &value)
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
    store.Flush();
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

} // namespace
