// A full disk met by the program's writers: the run log and the card
// database in an unattended run, and the Saves of the list editor and of the
// main window's settings (a file mangled by hand). The disk is made full
// with a file-size limit just below what the new file needs. The old file
// keeps every byte, no temporary file is left beside it, the operator is
// told, naming the file and the reason, and nothing of the run or of the
// window is lost.
#include "CardDb.h"
#include "FileLimit.h"
#include "ProgramUnderTest.h"
#include "WindowOnDisk.h"

#include "frmConfigList.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace std::string_literals;

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

const QString kTooLarge = QStringLiteral("File too large");  // the reason EFBIG gives

// An unattended import run that writes the lines' second items into NOTE of
// the records they name, where no file may grow more than room bytes beyond
// the card database or the run log as the run finds them.
ProgramOutcome ImportWithLittleRoom(ProgramUnderTest &program, const QStringList &references, const QByteArray &import, qint64 room)
{
    CardDb(program.DatabasePath()).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), NOTE TEXT); INSERT INTO CARD_DATA VALUES ('"
                                        + references.join("', ''), ('") + "', '')");
    program.WriteSettings("Replace_Field=NOTE\n");
    program.tmp.Write(program.ImportPath(), import);
    const FileLimit full(rlim_t(std::max(QFileInfo(program.DatabasePath()).size(), QFileInfo(program.LogPath()).size()) + room));
    return program.Run();
}

// An unattended run whose completion cannot be logged has not ended as a
// scheduled job expects: its exit status says so. A log of 90 KB is larger
// than the card database and its journal, so that a limit at its size stops
// only the log. The run's update is kept.
TEST(DiskFullTest, UnattendedRunWhoseCompletionCannotBeLoggedEndsWithStatusOne)
{
    ProgramUnderTest program;
    const QByteArray old = OldEntry(FailedUpdate("OLD", "TITLE")).repeated(1200);
    program.tmp.Write(program.LogPath(), old);
    const ProgramOutcome out = ImportWithLittleRoom(program, {"A1", "A2"}, "A1,out\r\n", 0);
    EXPECT_EQ(out.status, 1) << out.output.toStdString();
    EXPECT_TRUE(out.output.contains(program.LogPath() + ": " + kTooLarge)) << out.output.toStdString();
    EXPECT_EQ(program.tmp.Read(program.LogPath()), old);
    EXPECT_EQ(Entries(QFileInfo(program.LogPath()).absolutePath()), QStringList({"Batch_Log.lst", "undo"}));
    EXPECT_EQ(CardDb(program.DatabasePath()).Column("NOTE"), QStringList({"out", ""}));
}

// An import whose group of updates meets a full disk at its commit: what
// the disk can still take is committed again, in order, and every update
// that is not in the database is logged as failed; the run is not logged
// complete, says how many updates were lost, and ends with status 1.
TEST(DiskFullTest, UpdatesOfAFailedCommitAreCommittedAgainOrLogged)
{
    ProgramUnderTest program;
    QStringList references;
    QByteArray import;
    for (int i = 0; i < 50; ++i) {
        references << QStringLiteral("A%1").arg(i, 2, 10, QLatin1Char('0'));
        import += references.last().toUtf8() + ',' + QByteArray(3000, char('a' + i % 26)) + "\r\n";
    }
    const ProgramOutcome out = ImportWithLittleRoom(program, references, import, 40 * 1024);
    EXPECT_EQ(out.status, 1) << out.output.toStdString();
    const QStringList notes = CardDb(program.DatabasePath()).Column("NOTE"), log = program.LogMessages();
    int written = 0, logged = 0;
    for (int i = 0; i < 50; ++i) {
        const bool isNew = notes[i].size() == 3000, isLogged = log.contains(FailedUpdate(references[i], "NOTE"));
        EXPECT_NE(isNew, isLogged) << i;
        EXPECT_TRUE(!isNew || written == i) << "committed out of order at " << i;
        written += isNew;
        logged += isLogged;
    }
    EXPECT_GT(written, 0);
    EXPECT_GT(logged, 0);
    EXPECT_EQ(log.filter("complete.").size(), 0) << log.join('|').toStdString();
    EXPECT_TRUE(out.output.contains(QStringLiteral("%1 updates of this run were lost").arg(logged))) << out.output.toStdString();
}

// A window's Save over an old file, with an edit that needs more room than
// the file had, and no room for more; then again with room.
void SaveWithNoRoomThenWithRoom(WindowOnDisk &w, QWidget *window, const char *save, const QString &file, const QByteArray &after)
{
    SCOPED_TRACE(file.toStdString());
    const QByteArray old = w.tmp.Read(file);
    const QStringList entries = Entries(w.tmp.Path());
    {
        const FileLimit full(rlim_t(old.size()));
        window->findChild<QAbstractButton *>(save)->click();
    }
    EXPECT_EQ(w.tmp.Read(file), old);
    EXPECT_EQ(Entries(w.tmp.Path()), entries);
    ASSERT_EQ(w.msg.shown.size(), 1u);
    EXPECT_TRUE(w.msg.shown[0].text.contains(w.tmp.File(file) + ": " + kTooLarge)) << w.msg.shown[0].text.toStdString();
    EXPECT_TRUE(window->isVisible());
    window->findChild<QAbstractButton *>(save)->click();  // room again: the edit is still there to be saved
    EXPECT_EQ(w.tmp.Read(file), after);
    EXPECT_EQ(w.msg.shown.size(), 1u);
}

TEST(DiskFullTest, SavesOfTheListEditorAndTheSettingsKeepTheOldFileAndTheEdit)
{
    WindowOnDisk lists;
    const QByteArray list = QByteArray("Fixed Value_,QTY,9\r\n").repeated(100);
    lists.tmp.Write("list.lst", list);
    frmConfigList editor(lists.v, lists.store, lists.fs, lists.msg, lists.services.folder, [] {});
    editor.show();
    editor.findChild<QPlainTextEdit *>("txtList")->insertPlainText("Fixed Value_,TITLE,new\n");
    SaveWithNoRoomThenWithRoom(lists, &editor, "cmdSave", "list.lst", "Fixed Value_,TITLE,new\r\n" + list);

    // A settings file mangled by hand: lines of garbage and NULs, keys twice
    // in other letter case, a value of 1 MiB. The window reads each key's
    // first entry and shows the long value whole; Save writes back what it
    // read, keeping every other byte.
    WindowOnDisk settings;
    const QByteArray ini = QByteArray::fromStdString("garbage without an equals sign\n\0\x01\x7f binary=\xc3\xa9\n=no key\n[Bulkrun\n"
                                                     "[Bulkrun]\nsearch_field=TITLE\nSEARCH_FIELD=REFERENCE\nSearch_Criteria="s)
                           + QByteArray(1024 * 1024, 'q') + "\r\nREPLACE_field=QTY\nReplace_Value=x\nReplace_Col=1\nSearch_Col=0\nImport_File=\n"
                           + "Option=Batch\noption=Import\nData_List=No\n;Data_List=Yes\n[KVRFennic]\nfile_register=1\nFile_Register=\ntrailing garbage";
    settings.tmp.Write("Tavrin.ini", ini);
    settings.Start().findChild<QLineEdit *>("Text2")->setText("x and more");
    SaveWithNoRoomThenWithRoom(settings, settings.window.get(), "Command2", "Tavrin.ini",
                               QByteArray(ini).replace("Replace_Value=x", "Replace_Value=x and more"));
}

} // namespace
