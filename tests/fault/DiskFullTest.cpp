// A full disk met by the program's writers: the run log at the end of an
// unattended run, and the Saves of the list editor and of the main window's
// settings. The disk is made full with a file-size limit just below what the
// new file needs. The old file keeps every byte, no temporary file is left
// beside it, the operator is told once, naming the file and the reason, and
// nothing of the run or of the window is lost.
#include "CardDb.h"
#include "FileLimit.h"
#include "ProgramUnderTest.h"
#include "WindowOnDisk.h"

#include "frmConfigList.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kTooLarge = QStringLiteral("File too large");  // the reason EFBIG gives

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QByteArray Repeat(const QByteArray &line, int times)
{
    QByteArray text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

// An unattended run whose completion cannot be logged has not ended as a
// scheduled job expects: its exit status says so, and what it printed names
// the log and the reason, once. The card updates are kept. A log of 64 KiB
// is larger than the card database and its journal, so that a limit at its
// size stops only the log.
TEST(DiskFullTest, UnattendedRunWhoseCompletionCannotBeLoggedEndsWithStatusOne)
{
    ProgramUnderTest program;
    CardDb(program.DatabasePath()).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), STATUS TEXT(10));"
                                        "INSERT INTO CARD_DATA VALUES ('A1', 'in'), ('A2', 'in')");
    program.WriteSettings("Auto_Run=1\nOption=Import\nSearch_Field=REFERENCE\nReplace_Field=STATUS\nSearch_Col=0\nReplace_Col=1\n"
                          "Import_File=" + program.tmp.Write(program.ImportPath(), "A1,out\r\nA2,far too long\r\n").toUtf8() + "\n");
    program.tmp.Write(program.ListPath(), "");
    const QByteArray old = Repeat(OldEntry(FailedUpdate("OLD", "TITLE")), 1200);
    program.tmp.Write(program.LogPath(), old);

    ProgramOutcome out;
    {
        const FileLimit full(rlim_t(old.size()));
        out = program.Run();
    }
    EXPECT_EQ(out.status, 1) << out.output.toStdString();
    EXPECT_TRUE(out.output.contains(program.LogPath() + ": " + kTooLarge)) << out.output.toStdString();
    EXPECT_EQ(out.output.count(kTooLarge), 1) << out.output.toStdString();
    EXPECT_EQ(program.tmp.Read(program.LogPath()), old);
    EXPECT_EQ(Entries(QFileInfo(program.LogPath()).absolutePath()), QStringList({"Batch_Log.lst"}));
    EXPECT_EQ(CardDb(program.DatabasePath()).Column("STATUS"), QStringList({"out", "in"}));
}

// An import whose group of updates meets a full disk at its commit: what
// the disk can still take is committed again, in order, and every update
// that is not in the database is logged as failed; the run is not logged
// complete, says how many updates were lost, and ends with status 1.
TEST(DiskFullTest, UpdatesOfAFailedCommitAreCommittedAgainOrLogged)
{
    ProgramUnderTest program;
    QString records;
    QByteArray import;
    for (int i = 0; i < 50; ++i) {
        const QString reference = QStringLiteral("A%1").arg(i, 2, 10, QLatin1Char('0'));
        records += QStringLiteral("%1('%2', '')").arg(i ? "," : "", reference);
        import += reference.toUtf8() + ',' + QByteArray(3000, char('a' + i % 26)) + "\r\n";
    }
    CardDb(program.DatabasePath()).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT(20), NOTE TEXT); INSERT INTO CARD_DATA VALUES " + records);
    program.WriteSettings("Auto_Run=1\nOption=Import\nSearch_Field=REFERENCE\nReplace_Field=NOTE\nSearch_Col=0\nReplace_Col=1\n"
                          "Import_File=" + program.tmp.Write(program.ImportPath(), import).toUtf8() + "\n");
    program.tmp.Write(program.ListPath(), "");

    ProgramOutcome out;
    {
        const FileLimit full(rlim_t(QFileInfo(program.DatabasePath()).size() + 40 * 1024));
        out = program.Run();
    }
    EXPECT_EQ(out.status, 1) << out.output.toStdString();
    const QStringList notes = CardDb(program.DatabasePath()).Column("NOTE");
    const QStringList log = program.LogMessages();
    int written = 0;
    int logged = 0;
    for (int i = 0; i < 50; ++i) {
        const bool isNew = notes[i].size() == 3000;
        const bool isLogged = log.contains(QStringLiteral(" Cancel update - Error in Record A%1 of field NOTE").arg(i, 2, 10, QLatin1Char('0')));
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

// Each case opens its window over an old file, makes an edit that needs more
// room than the file had, and saves with no room for more; then again with
// room.
TEST(DiskFullTest, SavesKeepTheOldFileAndTheEdit)
{
    const QByteArray settings = "; written by hand\n[Bulkrun]\nSearch_Field=REFERENCE\nSearch_Criteria=A*\nReplace_Field=TITLE\n"
                                "Replace_Value=x\nReplace_Col=1\nSearch_Col=0\nImport_File=\nOption=Batch\nData_List=No\n\n"
                                "[KVRFennic]\nFile_register=1\n";
    const struct
    {
        const char *file;  // in the program folder
        QByteArray old;
        std::function<QWidget *(WindowOnDisk &)> edit;  // opens the window over the old file and makes the edit
        const char *save;
        QByteArray after;  // the file once the edit is saved
    } cases[] = {
        {"list.lst", Repeat("Fixed Value_,QTY,9\r\n", 100),
         [](WindowOnDisk &w) {
             w.dialog = std::make_unique<frmConfigList>(w.v, w.store, w.fs, w.msg, w.services.folder, [] {});
             w.dialog->show();
             w.dialog->findChild<QAbstractButton *>("Optionfixed")->click();
             w.dialog->findChild<QComboBox *>("CmbFields")->setEditText("TITLE");
             w.dialog->findChild<QLineEdit *>("txtValueForList")->setText("new");
             w.dialog->findChild<QAbstractButton *>("cmdAdd")->click();
             return w.dialog.get();
         },
         "cmdSave", "Fixed Value_,TITLE,new\r\n" + Repeat("Fixed Value_,QTY,9\r\n", 100)},
        {"Tavrin.ini", settings,
         [](WindowOnDisk &w) {
             w.Start().findChild<QLineEdit *>("Text1")->setText("A1 and more");
             return w.window.get();
         },
         "Command2", QByteArray(settings).replace("Search_Criteria=A*", "Search_Criteria=A1 and more")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        WindowOnDisk w;
        w.tmp.Write("list.lst", "");
        const QString path = w.tmp.Write(c.file, c.old);
        QWidget *window = c.edit(w);
        const QStringList entries = Entries(w.tmp.Path());
        auto *save = window->findChild<QAbstractButton *>(c.save);
        {
            const FileLimit full(rlim_t(c.old.size()));
            save->click();
        }
        EXPECT_EQ(w.tmp.Read(c.file), c.old);
        EXPECT_EQ(Entries(w.tmp.Path()), entries);
        ASSERT_EQ(w.msg.shown.size(), 1u);
        EXPECT_TRUE(w.msg.shown[0].text.contains(path + ": " + kTooLarge)) << w.msg.shown[0].text.toStdString();
        EXPECT_TRUE(window->isVisible());
        save->click();  // room again: the edit is still there to be saved
        EXPECT_EQ(w.tmp.Read(c.file), c.after);
        EXPECT_EQ(w.msg.shown.size(), 1u);
    }
}

} // namespace
