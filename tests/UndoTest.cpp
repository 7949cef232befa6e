// Undo Last Run over the undo journals that runs leave.
#include "EngineRig.h"
#include "UndoJournal.h"

#include <gtest/gtest.h>

namespace {

const QStringList kColumns = {"REFERENCE", "T", "I", "S", "R", "D", "N", "DT", "B", "Y", "C", "U"};

// Every field of every record as its storage class and exact value.
QStringList Stored(const QString &database)
{
    QStringList parts, rows;
    for (const QString &column : kColumns)
        parts << QStringLiteral("typeof(%1) || quote(%1) || hex(%1)").arg(column);
    sqlite::Database db = sqlite::Database::OpenExisting(database);
    db.Cached(("SELECT " + parts.join(" || '|' || ") + " FROM CARD_DATA ORDER BY rowid").toUtf8()).ForEachRow([&](const sqlite::Statement &row) {
        rows << row.Text(0);
    });
    return rows;
}

struct UndoTest : ::testing::Test
{
    UndoTest()
    {
        rig.Add("'A', 'text', 5, 3, 1.5, 2.25, '7', '2020-01-01', x'00ff', 1, 3.5, x'01'");
        rig.Add("'B', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL");
        rig.Add("'C', 12, 'abc', 3.0, 'r', -0.5, 1e100, 0.1, 'blobtext', 'no', x'', ''");
        rig.run.searchField = "REFERENCE";
        rig.run.searchValue = "*";
        rig.run.useList = true;
    }
    Engine::UndoEnd Undo() { return rig.engine.UndoLastRun(rig.dbPath, [](const QString &) { return true; }); }

    EngineRig rig{"REFERENCE VARCHAR(20), T TEXT, I INTEGER, S SHORT, R REAL, D DOUBLE, N NUMERIC, DT DATE, B BLOB, Y YESNO, C CURRENCY, U"};
};

TEST_F(UndoTest, EveryTypeComesBackByteForByteAndAnUndoIsUndoableOnce)
{
    const QStringList before = Stored(rig.dbPath);
    QByteArray list;
    for (const QString &column : kColumns.mid(1))
        list += "Fixed Value_," + column.toUtf8() + ",12\r\nFixed Value_," + column.toUtf8() + ",\r\n";
    rig.tmp.Write("list.lst", list);
    rig.engine.cmdexeNow_Click();
    const QStringList after = Stored(rig.dbPath);
    ASSERT_NE(after, before);

    EXPECT_EQ(Undo(), Engine::UndoEnd::Restored);
    EXPECT_EQ(Stored(rig.dbPath), before);
    EXPECT_EQ(Undo(), Engine::UndoEnd::Restored);
    EXPECT_EQ(Stored(rig.dbPath), after);
    EXPECT_EQ(Undo(), Engine::UndoEnd::NotUndone);
    EXPECT_TRUE(rig.msg.shown.back().text.contains("undone already")) << rig.msg.shown.back().text.toStdString();
}

TEST_F(UndoTest, FieldsChangedSinceAreLeftAndCounted)
{
    rig.tmp.Write("list.lst", "Fixed Value_,T,new\r\nFixed Value_,I,9\r\n");
    rig.engine.cmdexeNow_Click();
    rig.db->Exec("UPDATE CARD_DATA SET T = 'theirs' WHERE REFERENCE = 'B'; DELETE FROM CARD_DATA WHERE REFERENCE = 'C'");

    EXPECT_EQ(Undo(), Engine::UndoEnd::Conflicts);
    EXPECT_EQ(rig.db->Column("T"), QStringList({"text", "theirs"}));
    EXPECT_EQ(rig.db->Column("I"), QStringList({"5", "<NULL>"}));
    EXPECT_EQ(rig.LogLines().first(),
              "12-04-2026 3:07:09 PM Undo of the run of 12-04-2026 3:07:09 PM: 3 restored, 3 left because they changed since.");
}

TEST_F(UndoTest, RunsWithoutAJournalAndOldJournalsAreNotUndone)
{
    rig.run.undoJournal = false;
    rig.tmp.Write("list.lst", "Fixed Value_,T,new\r\n");
    rig.engine.cmdexeNow_Click();
    EXPECT_EQ(Undo(), Engine::UndoEnd::NotUndone);

    const QString folder = rig.services.folder.UndoFolder();
    for (int run = 0; run < UndoJournal::kKept + 2; ++run)
        UndoJournal(folder, QDateTime(rig.clock.date, rig.clock.time));
    const QStringList kept = UndoJournal::Files(folder);
    ASSERT_EQ(kept.size(), UndoJournal::kKept);
    EXPECT_TRUE(kept.first().endsWith("_000003.sqlite")) << kept.first().toStdString();
}

} // namespace
