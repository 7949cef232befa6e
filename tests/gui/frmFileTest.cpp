#include "frmFile.h"

#include "Controls.h"
#include "DiskFileSystem.h"
#include "FaultyFileSystem.h"
#include "TempFolder.h"

#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

class frmFileTest : public testing::Test
{
protected:
    QPlainTextEdit *Open(const QString &path)
    {
        v.txtImportFile.Text = path;
        v.txtViewImport.Text = QStringLiteral("as shown before");
        dialog = std::make_unique<frmFile>(v, fs);
        dialog->show();
        return Control<QPlainTextEdit>(dialog.get(), "txtViewFile");
    }

    TempFolder tmp;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RunState v;
    std::unique_ptr<frmFile> dialog;
};

TEST_F(frmFileTest, SaveWritesTheTextInTheFilesEncodingAndShowsItInTheMainWindow)
{
    QPlainTextEdit *box = Open(tmp.Write(QStringLiteral("in.csv"), "caf\xe9,7\r\nR2,8\r\n"));
    EXPECT_EQ(box->toPlainText(), QStringLiteral("caf\u00e9,7\nR2,8\n"));
    box->moveCursor(QTextCursor::End);
    box->insertPlainText(QStringLiteral("th\u00e9,9"));
    Click(dialog.get(), "cmdSave");
    EXPECT_EQ(tmp.Read(QStringLiteral("in.csv")), "caf\xe9,7\r\nR2,8\r\nth\xe9,9");
    EXPECT_EQ(v.txtViewImport.Text, QStringLiteral("caf\u00e9,7\r\nR2,8\r\nth\u00e9,9"));
}

TEST_F(frmFileTest, ExitLeavesFileAndViewAsTheyWere)
{
    Open(tmp.Write(QStringLiteral("in.csv"), "R1,7\r\n"))->setPlainText(QStringLiteral("edited"));
    Click(dialog.get(), "cmdExit");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(tmp.Read(QStringLiteral("in.csv")), "R1,7\r\n");
    EXPECT_EQ(v.txtViewImport.Text, QStringLiteral("as shown before"));
}

TEST_F(frmFileTest, PathsWithoutAReadableFileOpenEmptyAndSaveClosesSilently)
{
    const struct
    {
        const char *file;
        bool failWrite;
        QByteArray fileAfter;
        QString viewAfter;
    } cases[] = {
        {"new.txt", false, "typed\r\ntext", "typed\r\ntext"},
        {"locked.txt", true, "<missing>", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        if (c.failWrite)
            fs.FailOn(FaultyFileSystem::Op::WriteWhole);
        QPlainTextEdit *box = Open(tmp.File(QLatin1String(c.file)));
        EXPECT_EQ(box->toPlainText(), QString());
        box->setPlainText(QStringLiteral("typed\ntext"));
        Click(dialog.get(), "cmdSave");
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(v.txtViewImport.Text, c.viewAfter);
        EXPECT_EQ(tmp.Read(QLatin1String(c.file)), c.fileAfter);
    }
}

} // namespace
