// A full disk met by every writer of the program: the run log in the middle
// of a run (in this process and in the built program), the list editor's and
// the import file editor's Save, and the main window's Save of the settings.
// The disk is made full for this process with a file-size limit just below
// what the new file needs. The old file keeps every byte, no temporary file
// is left beside it, the operator is told once, naming the file and the
// reason, and nothing of the run or of the window is lost.
#include "EngineRig.h"
#include "FileLimit.h"
#include "HostileProgram.h"
#include "HostileWindow.h"

#include "frmConfigList.h"
#include "frmFile.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

const QString kTooLarge = QStringLiteral("File too large");  // the reason EFBIG gives
const QString kDone = QStringLiteral("12-04-2026 3:07:09 PM Card data %1 complete.\r\n");

// A log of about 64 KiB: larger than the card database and its journal, so
// that a limit at its size stops only the log.
QByteArray OldLog()
{
    QByteArray log;
    for (int i = 0; log.size() < 64 * 1024; ++i)
        log += "01-02-2026 1:00:00 AM Cancel update - Error in Record OLD" + QByteArray::number(i) + " of field TITLE\r\n";
    return log;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// The messages that tell of a failure to write path, with the reason.
int Told(const std::vector<RecordingMessageBox::Shown> &shown, const QString &path)
{
    int told = 0;
    for (const auto &m : shown)
        told += m.icon == MsgIcon::Critical && m.text.contains(path) && m.text.contains(kTooLarge);
    return told;
}

std::string Texts(const std::vector<RecordingMessageBox::Shown> &shown)
{
    std::string all;
    for (const auto &m : shown)
        all += "[" + m.text.toStdString() + "] ";
    return all;
}

double Seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

// A run whose log cannot grow: the run's own steps all happen, the log file
// stays as it was, and one message per run tells why.
TEST(DiskFullTest, RunsGoOnWhenTheLogCannotBeWritten)
{
    enum Limit { AtOldSize, Zero };
    const struct
    {
        const char *name;
        bool batch;
        QByteArray import;  // the import file of an import run
        bool oldLog;        // a log of 64 KiB exists, or none
        Limit limit;
        int errors;
        QStringList titles;  // TITLE afterwards
    } cases[] = {
        {"batch, the log cannot grow", true, "", true, AtOldSize, 0, {"new", "new", "three"}},
        {"import with refused values, the log cannot grow", false,
         "A1,far too long 1\r\nA2,ok\r\nB1,far too long 2\r\n", true, AtOldSize, 2, {"one", "ok", "three"}},
        // Nothing can be written at all: the database refuses every update
        // too, and each is a failed update of the run; the one it had
        // accepted is lost, so the run is not complete.
        {"import, no log yet, nothing can be written", false,
         "A1,far too long 1\r\nA2,ok\r\nB1,far too long 2\r\n", false, Zero, 3, {"one", "two", "three"}},
    };
    QElapsedTimer clock;
    clock.start();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig("REFERENCE TEXT(20), TITLE TEXT(10), QTY INTEGER");
        for (const char *values : {"'A1', 'one', 1", "'A2', 'two', 2", "'B1', 'three', 3"})
            rig.Add(values);
        rig.tmp.Write("list.lst", "");
        const QByteArray old = c.oldLog ? OldLog() : QByteArray();
        if (c.oldLog)
            rig.tmp.Write("log/Batch_Log.lst", old);
        rig.run.importFile = rig.tmp.Write("import.csv", c.import);
        const QString done = c.limit == Zero ? QStringLiteral("12-04-2026 3:07:09 PM Card data import incomplete: 1 updates lost.\r\n")
                                             : kDone.arg(c.batch ? "batch load" : "import");
        {
            const FileLimit full(c.limit == Zero ? 0 : rlim_t(old.size()));
            if (c.batch) {
                rig.Batch("REFERENCE", "A*", "TITLE", "new", 0);
                rig.engine.cmdexeNow_Click();
            } else {
                rig.Import("REFERENCE", "", "TITLE", "", 0);
                rig.engine.Command3_Click();
            }
        }
        EXPECT_EQ(rig.Column("TITLE"), c.titles);
        EXPECT_EQ(rig.progress.errorCount, c.errors);
        EXPECT_EQ(rig.progress.recordsLeft, 0);
        EXPECT_EQ(rig.progress.progressValue, 0);
        EXPECT_FALSE(rig.progress.recordError);
        EXPECT_FALSE(rig.progress.busy);
        // The log box is the file as it stands with the event's entry on top.
        EXPECT_EQ(rig.LogBytes(), old);
        EXPECT_EQ(Entries(rig.tmp.File("log")), QStringList({"Batch_Log.lst"}));
        EXPECT_EQ(Told(rig.msg.shown, rig.LogPath()), 1) << Texts(rig.msg.shown);
        EXPECT_EQ(rig.msg.shown.size(), c.limit == Zero ? 2u : 1u) << Texts(rig.msg.shown);

        // Space freed: the next run logs again, above the old log.
        rig.msg.shown.clear();
        rig.Batch("REFERENCE", "B1", "TITLE", "again", 0);
        rig.engine.cmdexeNow_Click();
        EXPECT_EQ(rig.LogBytes(), kDone.arg("batch load").toUtf8() + old);
        EXPECT_TRUE(rig.msg.shown.empty()) << Texts(rig.msg.shown);
    }
    std::printf("[figures] DiskFullTest runs: %zu whole runs against a full disk for the log in %.2f s\n",
                std::size(cases), Seconds(clock));
}

// An import whose group of updates meets a full disk at its commit: the
// updates are committed again in smaller groups as far as the disk allows,
// in order, and every one that is not in the database is logged as failed;
// the run is not logged complete and the operator is told how many were lost.
TEST(DiskFullTest, UpdatesOfAFailedCommitAreCommittedAgainOrLogged)
{
    EngineRig rig("REFERENCE TEXT(20), NOTE TEXT");
    QByteArray import;
    for (int i = 0; i < 50; ++i) {
        rig.Add(QStringLiteral("'A%1', ''").arg(i, 2, 10, QLatin1Char('0')));
        import += QStringLiteral("A%1,").arg(i, 2, 10, QLatin1Char('0')).toUtf8() + QByteArray(3000, char('a' + i % 26)) + "\r\n";
    }
    rig.tmp.Write("list.lst", "");
    rig.run.importFile = rig.tmp.Write("import.csv", import);
    rig.store.SetGroupCommitInterval(std::chrono::hours(1));
    rig.Column("NOTE");
    {
        const FileLimit full(rlim_t(QFileInfo(rig.dbPath).size() + 40 * 1024));
        rig.Import("REFERENCE", "", "NOTE", "", 0);
        rig.engine.Command3_Click();
    }
    const QStringList notes = rig.Column("NOTE");
    const QString log = QString::fromUtf8(rig.LogBytes());
    int written = 0;
    int logged = 0;
    for (int i = 0; i < 50; ++i) {
        const bool isNew = notes[i].size() == 3000;
        const bool isLogged = log.contains(QStringLiteral("Error in Record A%1 of field NOTE").arg(i, 2, 10, QLatin1Char('0')));
        EXPECT_NE(isNew, isLogged) << i;
        EXPECT_TRUE(!isNew || written == i) << "committed out of order at " << i;
        written += isNew;
        logged += isLogged;
    }
    EXPECT_GT(written, 0);
    EXPECT_GT(logged, 0);
    EXPECT_FALSE(log.contains(QStringLiteral("complete."))) << log.left(300).toStdString();
    EXPECT_EQ(rig.progress.errorCount, logged);
    ASSERT_FALSE(rig.msg.shown.empty());
    EXPECT_TRUE(rig.msg.shown.back().text.startsWith(QStringLiteral("%1 updates of this run were lost").arg(logged)))
        << Texts(rig.msg.shown);
}

// An unattended run whose completion cannot be logged has not ended as a
// scheduled job expects: its exit status says so, and what it printed names
// the log and the reason. The card updates are kept.
TEST(DiskFullTest, UnattendedRunWhoseCompletionCannotBeLoggedEndsWithStatusOne)
{
    HostileProgram program("REFERENCE TEXT(20), STATUS TEXT(10)");
    program.db->Exec("INSERT INTO CARD_DATA VALUES ('A1', 'in'), ('A2', 'in')");
    program.Settings("Option=Import\nSearch_Field=REFERENCE\nReplace_Field=STATUS\nSearch_Col=0\nReplace_Col=1\nImport_File="
                     + program.tmp.Write("import.csv", "A1,out\r\n").toUtf8() + "\n");
    program.tmp.Write("bin/List.lst", "");
    const QByteArray old = OldLog();
    program.tmp.Write("bin/log/Batch_Log.lst", old);

    HostileProgram::Outcome out;
    {
        const FileLimit full(rlim_t(old.size()));
        out = program.Run();
    }
    EXPECT_EQ(out.status, 1) << out.err.toStdString();
    EXPECT_TRUE(out.err.contains(program.LogPath()) && out.err.contains(kTooLarge)) << out.err.toStdString();
    EXPECT_EQ(out.err.count(kTooLarge), 1) << out.err.toStdString();
    EXPECT_EQ(program.LogBytes(), old);
    EXPECT_EQ(Entries(program.Bin("log")), QStringList({"Batch_Log.lst"}));
    EXPECT_EQ(program.db->Column("STATUS"), QStringList({"out", "in"}));
    std::printf("[figures] DiskFullTest program: unattended run with a full disk for its log ended in %.2f s, status %d\n",
                out.seconds, out.status);
}

// The windows' Saves against a full disk. Each case opens its window over an
// old file, makes an edit that needs more room than the file had, and saves
// with no room for more.
struct Scene
{
    HostileWindow w{QStringLiteral("REFERENCE TEXT, TITLE TEXT, QTY INTEGER")};
    std::unique_ptr<QDialog> dialog;
};

QByteArray Repeat(const QByteArray &line, int times)
{
    QByteArray text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

const QByteArray kSettings =
    "; written by hand\n[Bulkrun]\nSearch_Field=REFERENCE\nSearch_Criteria=A*\nReplace_Field=TITLE\nReplace_Value=x\n"
    "Replace_Col=1\nSearch_Col=0\nImport_File=\nOption=Batch\nData_List=No\n\n[KVRFennic]\nFile_register=1\n";

TEST(DiskFullTest, SavesKeepTheOldFileAndTheEdit)
{
    const struct
    {
        const char *name;
        const char *file;  // in the program folder
        QByteArray old;
        // Opens the window over the old file and makes the edit.
        std::function<QWidget *(Scene &)> open;
        const char *save;
        bool tells;      // a failed Save is told, naming the file and the reason
        bool keepsEdit;  // the window stays open with the edit, to be saved later
        QByteArray after;  // the file once the edit is saved
    } cases[] = {
        {"list editor", "list.lst", Repeat("Fixed Value_,QTY,9\r\n", 100),
         [](Scene &s) {
             s.dialog = std::make_unique<frmConfigList>(s.w.v, s.w.store, s.w.fs, s.w.msg, s.w.services.folder, [] {});
             s.dialog->show();
             s.dialog->findChild<QAbstractButton *>("Optionfixed")->click();
             s.dialog->findChild<QComboBox *>("CmbFields")->setEditText("TITLE");
             s.dialog->findChild<QLineEdit *>("txtValueForList")->setText("new");
             s.dialog->findChild<QAbstractButton *>("cmdAdd")->click();
             return s.dialog.get();
         },
         "cmdSave", true, true, "Fixed Value_,TITLE,new\r\n" + Repeat("Fixed Value_,QTY,9\r\n", 100)},
        // The import file editor reports nothing and closes whatever happens:
        // the edit is lost, the file and the main window's view of it stay.
        {"import file editor", "import.csv", Repeat("A1,x\r\n", 100),
         [](Scene &s) {
             s.w.v.txtImportFile.Text = s.w.tmp.File("import.csv");
             s.dialog = std::make_unique<frmFile>(s.w.v, s.w.fs);
             s.dialog->show();
             auto *box = s.dialog->findChild<QPlainTextEdit *>("txtViewFile");
             box->moveCursor(QTextCursor::End);
             box->insertPlainText("A3,z\n");
             return s.dialog.get();
         },
         "cmdSave", false, false, ""},
        {"settings", "Tavrin.ini", kSettings,
         [](Scene &s) {
             s.w.Start();
             s.w.window->show();
             s.w.Ctl<QLineEdit>("Text1")->setText("A1 and more");
             return s.w.window.get();
         },
         "Command2", true, true, QByteArray(kSettings).replace("Search_Criteria=A*", "Search_Criteria=A1 and more")},
    };
    QElapsedTimer clock;
    clock.start();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Scene s;
        s.w.tmp.Write("list.lst", "");
        const QString path = s.w.tmp.Write(c.file, c.old);
        QWidget *window = c.open(s);
        const QStringList entries = Entries(s.w.tmp.Path());
        auto *save = window->findChild<QAbstractButton *>(c.save);
        {
            const FileLimit full(rlim_t(c.old.size()));
            save->click();
        }
        EXPECT_EQ(s.w.tmp.Read(c.file), c.old);
        EXPECT_EQ(Entries(s.w.tmp.Path()), entries);
        EXPECT_EQ(Told(s.w.msg.shown, path), c.tells ? 1 : 0) << Texts(s.w.msg.shown);
        EXPECT_EQ(s.w.msg.shown.size(), c.tells ? 1u : 0u) << Texts(s.w.msg.shown);
        EXPECT_EQ(window->isVisible(), c.keepsEdit);
        if (!c.keepsEdit) {
            EXPECT_EQ(s.w.v.txtViewImport.Text, QString::fromUtf8(c.old));
            continue;
        }
        // Space freed: the same Save now writes the edit.
        save->click();
        EXPECT_EQ(s.w.tmp.Read(c.file), c.after);
        EXPECT_EQ(s.w.msg.shown.size(), 1u) << Texts(s.w.msg.shown);
    }
    std::printf("[figures] DiskFullTest saves: %zu windows saved against a full disk and again after it in %.2f s\n",
                std::size(cases), Seconds(clock));
}

} // namespace
