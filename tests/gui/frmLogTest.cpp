#include "frmLog.h"

#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "TempFolder.h"

#include <QPlainTextEdit>

#include <string>
#include <tuple>

namespace {

const QByteArray kLog = "12-04-2026 3:07:09 PM Card data batch load complete.\r\n"
                        "12-03-2026 9:00:00 AM Card data import complete.\r\n";

TEST(frmLogTest, ShowsTheWholeLogAndClearEmptiesItCreatingTheFolderButExitStoresNoEdit)
{
    TempFolder tmp;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RecordingMessageBox msg;
    const std::tuple<bool, const char *, QByteArray> cases[] = {
        {true, "cmdExit", kLog}, {true, "cmdClear", ""}, {false, "cmdClear", ""}};
    for (const auto &[folder, button, after] : cases) {
        SCOPED_TRACE(button + std::string(folder ? "" : " without the folder"));
        QDir(tmp.File(QStringLiteral("log"))).removeRecursively();
        if (folder)
            tmp.Write(QStringLiteral("log/Batch_Log.lst"), kLog);
        frmLog dialog(fs, msg, ProgramFolder(tmp.Path()));
        dialog.show();
        auto *box = Control<QPlainTextEdit>(&dialog, "txtLogview");
        EXPECT_EQ(box->toPlainText(), folder ? QString::fromLatin1(kLog).remove(QLatin1Char('\r')) : QString());
        box->setPlainText(QStringLiteral("typed"));
        Click(&dialog, button);
        EXPECT_EQ(tmp.Read(QStringLiteral("log/Batch_Log.lst")), after);
    }
    EXPECT_TRUE(msg.shown.empty());
}

} // namespace
