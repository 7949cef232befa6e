// Undo Last Run over the undo journals that runs leave, on an SQLite file
// and on a server's table with and without a primary key.
#include "EngineRig.h"
#include "PgCardStore.h"
#include "Pq.h"
#include "UndoJournal.h"

#include <gtest/gtest.h>

namespace {

const QStringList kColumns = {"REFERENCE", "T", "I", "S", "R", "D", "N", "DT", "B", "Y", "C", "U"};

// Every field of every record exactly: SQLite's storage class and bytes, or
// the server's row text (which tells NULL from "").
QStringList Stored(const EngineRig &rig, Backend backend)
{
    QStringList parts, rows;
    if (backend == Backend::Pg) {
        const pq::Result result = pq::Connection::Open(rig.dbPath).Exec("SELECT card::text FROM card_data card ORDER BY reference");
        for (int r = 0; r < result.Rows(); ++r)
            rows << result.Text(r, 0);
        return rows;
    }
    for (const QString &column : kColumns)
        parts << QStringLiteral("typeof(%1) || quote(%1) || hex(%1)").arg(column);
    sqlite::Database db = sqlite::Database::OpenExisting(rig.dbPath);
    db.Cached(("SELECT " + parts.join(" || '|' || ") + " FROM CARD_DATA ORDER BY rowid").toUtf8()).ForEachRow([&](const sqlite::Statement &row) {
        rows << row.Text(0);
    });
    return rows;
}

// The card database, and for a server whether its table has a primary key.
struct Store
{
    Backend backend;
    bool keyed;
};

struct UndoTest : ::testing::TestWithParam<Store>
{
    UndoTest()
    {
        const bool pg = Pg();
        if (pg && !GetParam().keyed)
            rig.db->Exec("ALTER TABLE CARD_DATA DROP COLUMN kvr_id");
        rig.Add(pg ? "'A', 'text', 5, 3, 1.5, 2.25, 7.1, '2020-01-01', '\\x00ff', true, 'ab', '2020-01-01 10:00'"
                   : "'A', 'text', 5, 3, 1.5, 2.25, '7', '2020-01-01', x'00ff', 1, 3.5, x'01'");
        rig.Add("'B', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL");
        rig.Add(pg ? "'C', '', -1, 0, 0.1, 1e100, -0.5, '1999-12-31', '', false, '', '2000-02-29 23:59:59.5'"
                   : "'C', 12, 'abc', 3.0, 'r', -0.5, 1e100, 0.1, 'blobtext', 'no', x'', ''");
        rig.run.searchField = "REFERENCE";
        rig.run.searchValue = "*";
        rig.run.useList = true;
    }
    void SetUp() override
    {
        if (!FreshDatabase::Available(GetParam().backend))
            GTEST_SKIP() << "KVR_TEST_PG names no test server";
    }
    static bool Pg() { return GetParam().backend == Backend::Pg && FreshDatabase::Available(Backend::Pg); }
    Engine::UndoEnd Undo() { return rig.engine.UndoLastRun(rig.dbPath, [](const QString &) { return true; }); }

    EngineRig rig{Pg() ? "REFERENCE varchar(20), T text, I integer, S smallint, R real, D double precision, N numeric(10, 2), DT date, B bytea, Y boolean, C char(4), U timestamp"
                       : "REFERENCE VARCHAR(20), T TEXT, I INTEGER, S SHORT, R REAL, D DOUBLE, N NUMERIC, DT DATE, B BLOB, Y YESNO, C CURRENCY, U",
                  Pg() ? Backend::Pg : Backend::Sqlite};
};

// Each field is written twice, so a server's table without a key sees its
// rows move under the run and under the undo.
TEST_P(UndoTest, EveryTypeComesBackByteForByteAndAnUndoIsUndoableOnce)
{
    const QStringList before = Stored(rig, GetParam().backend);
    QByteArray list;
    for (const QString &column : kColumns.mid(1))
        list += "Fixed Value_," + column.toUtf8() + ",12\r\nFixed Value_," + column.toUtf8() + ",\r\n";
    rig.tmp.Write("list.lst", list);
    rig.engine.cmdexeNow_Click();
    const QStringList after = Stored(rig, GetParam().backend);
    ASSERT_NE(after, before);

    EXPECT_EQ(Undo(), Engine::UndoEnd::Restored);
    EXPECT_EQ(Stored(rig, GetParam().backend), before);
    EXPECT_EQ(Undo(), Engine::UndoEnd::Restored);
    EXPECT_EQ(Stored(rig, GetParam().backend), after);
    EXPECT_EQ(Undo(), Engine::UndoEnd::NotUndone);
    EXPECT_TRUE(rig.msg.shown.back().text.contains("undone already")) << rig.msg.shown.back().text.toStdString();
}

// Without a key, a record another session wrote is found by none of the
// run's writes.
TEST_P(UndoTest, FieldsChangedSinceAreLeftAndCounted)
{
    rig.tmp.Write("list.lst", "Fixed Value_,T,new\r\nFixed Value_,I,9\r\n");
    rig.engine.cmdexeNow_Click();
    rig.db->Exec("UPDATE CARD_DATA SET T = 'theirs' WHERE REFERENCE = 'B'; DELETE FROM CARD_DATA WHERE REFERENCE = 'C'");

    const bool keyed = GetParam().keyed;
    EXPECT_EQ(Undo(), Engine::UndoEnd::Conflicts);
    EXPECT_EQ(rig.db->Column("T", "WHERE REFERENCE <> 'B'") + rig.db->Column("I", "WHERE REFERENCE = 'B'"), QStringList({"text", keyed ? "<NULL>" : "9"}));
    EXPECT_EQ(rig.LogLines().first(), QStringLiteral("12-04-2026 3:07:09 PM Undo of the run of 12-04-2026 3:07:09 PM: %1 restored, %2 left because they changed since.")
                                          .arg(keyed ? 3 : 2).arg(keyed ? 3 : 4));
}

INSTANTIATE_TEST_SUITE_P(, UndoTest, ::testing::Values(Store{Backend::Sqlite, true}, Store{Backend::Pg, true}, Store{Backend::Pg, false}),
                         [](const auto &info) { return FreshDatabase::Name(info.param.backend) + std::string(info.param.keyed ? "" : "_without_key"); });

TEST(UndoJournalTest, RunsWithoutAJournalOldJournalsAndPasswordsAreNotKept)
{
    EngineRig rig;
    rig.Add("'A', 'one', 1");
    rig.run.undoJournal = false;
    rig.Batch("REFERENCE", "A", "TITLE", "new", 0);
    rig.engine.cmdexeNow_Click();
    EXPECT_EQ(rig.engine.UndoLastRun(rig.dbPath, [](const QString &) { return true; }), Engine::UndoEnd::NotUndone);

    const QString folder = rig.services.folder.UndoFolder();
    for (int run = 0; run < UndoJournal::kKept + 2; ++run)
        UndoJournal(folder, QDateTime(rig.clock.date, rig.clock.time));
    const QStringList kept = UndoJournal::Files(folder);
    ASSERT_EQ(kept.size(), UndoJournal::kKept);
    EXPECT_TRUE(kept.first().endsWith("_000003.sqlite")) << kept.first().toStdString();
    // A server's journal names the connection as one text, never with its password.
    for (const char *server : {"postgresql://u:secret@h:5/d", "host=h port=5 dbname=d user=u password=x"})
        EXPECT_EQ(pq::WithoutPassword(server), "user='u' dbname='d' host='h' port='5'");
}

} // namespace
