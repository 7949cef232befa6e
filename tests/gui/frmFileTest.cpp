#include "frmFile.h"

#include "Controls.h"
#include "DiskFileSystem.h"
#include "FaultyFileSystem.h"
#include "TempFolder.h"

#include <QPlainTextEdit>

namespace {

// Save writes the text in the file's encoding, closes even when it cannot, and
// shows the file as it then is in the main window; Exit leaves both alone.
TEST(frmFileTest, SaveWritesTheTextInTheFilesEncodingAndShowsTheFileInTheMainWindow)
{
    TempFolder tmp;
    DiskFileSystem disk;
    const struct
    {
        const char *file;
        QByteArray before;  // empty: no file
        bool failWrite;
        const char *button;
        QByteArray fileAfter;
        QString viewAfter;
    } cases[] = {
        {"in.csv", "caf\xe9,7\r\n", false, "cmdSave", "caf\xe9,7\r\nx\r\ny", "caf\u00e9,7\r\nx\r\ny"},
        {"in.csv", "caf\xe9,7\r\n", false, "cmdExit", "caf\xe9,7\r\n", "as shown before"},
        {"new.txt", "", false, "cmdSave", "x\r\ny", "x\r\ny"},
        {"locked.txt", "", true, "cmdSave", "<missing>", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.button);
        FaultyFileSystem fs{disk};
        if (c.failWrite)
            fs.FailOn(FaultyFileSystem::Op::WriteWhole);
        MainValues v;
        v.txtImportFile.Text = c.before.isEmpty() ? tmp.File(QLatin1String(c.file))
                                                  : tmp.Write(QLatin1String(c.file), c.before);
        v.txtViewImport.Text = QStringLiteral("as shown before");
        frmFile dialog(v, fs);
        dialog.show();
        auto *box = Control<QPlainTextEdit>(&dialog, "txtViewFile");
        EXPECT_EQ(box->toPlainText(), QString::fromLatin1(c.before).remove(QLatin1Char('\r')));
        box->moveCursor(QTextCursor::End);
        box->insertPlainText(QStringLiteral("x\ny"));
        Click(&dialog, c.button);
        EXPECT_EQ(dialog.result(), qstrcmp(c.button, "cmdSave") == 0 ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(tmp.Read(QLatin1String(c.file)), c.fileAfter);
        EXPECT_EQ(v.txtViewImport.Text, c.viewAfter);
    }
}

} // namespace
