#include "frmLog.h"

#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "TempFolder.h"

#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray kLog = "12-04-2026 3:07:09 PM Card data batch load complete.\r\n"
                        "12-04-2026 3:05:00 PM Cancel update - Error in Record A* of field QTY\r\n"
                        "12-03-2026 9:00:00 AM Card data import complete.\r\n";

class frmLogTest : public testing::Test
{
protected:
    QPlainTextEdit *Open()
    {
        dialog = std::make_unique<frmLog>(fs, msg, ProgramFolder(tmp.Path()));
        dialog->show();
        return Control<QPlainTextEdit>(dialog.get(), "txtLogview");
    }
    QByteArray Log() const { return tmp.Read(QStringLiteral("log/Batch_Log.lst")); }

    TempFolder tmp;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RecordingMessageBox msg;
    std::unique_ptr<frmLog> dialog;
};

TEST_F(frmLogTest, ShowsTheWholeLogAndExitStoresNoEdit)
{
    tmp.Write(QStringLiteral("Log/batch_log.LST"), kLog);
    QPlainTextEdit *box = Open();
    EXPECT_EQ(box->toPlainText(), QString::fromLatin1(kLog).remove(QLatin1Char('\r')));
    box->setPlainText(QStringLiteral("typed"));
    Click(dialog.get(), "cmdExit");
    EXPECT_EQ(tmp.Read(QStringLiteral("Log/batch_log.LST")), kLog);
}

TEST_F(frmLogTest, ClearEmptiesTheLogCreatingItsFolderWhenMissing)
{
    for (const bool folderExists : {true, false}) {
        SCOPED_TRACE(folderExists);
        if (folderExists)
            tmp.Write(QStringLiteral("log/Batch_Log.lst"), kLog);
        else
            QDir(tmp.File(QStringLiteral("log"))).removeRecursively();
        Open();
        Click(dialog.get(), "cmdClear");
        EXPECT_EQ(Log(), QByteArray());
        EXPECT_EQ(Open()->toPlainText(), QString());
    }
    EXPECT_TRUE(msg.shown.empty());
}

} // namespace
