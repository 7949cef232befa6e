// The auxiliary windows: the list editor, the import file editor, the log
// viewer and the delimiter setup, each over the rig's program folder.
#include "frmConfigList.h"
#include "frmFile.h"
#include "frmLog.h"
#include "frmSetup.h"

#include "WindowRig.h"

namespace {

using AuxWindowsTest = WindowRig;

const QByteArray kList = "Fixed Value_,QTY,9\r\n";

class frmConfigListTest : public AuxWindowsTest
{
protected:
    // Opens the editor; the list switch's handling records the switch's value.
    QWidget *Open()
    {
        dialog = std::make_unique<frmConfigList>(v, store, fs, msg, services.folder,
                                                 [this] { switchValues.push_back(v.Chk_RepFromLst.Value); });
        dialog->show();
        return dialog.get();
    }
    void Add(const char *option, const QString &field, const QString &value)
    {
        Click(dialog.get(), option);
        Control<QComboBox>(dialog.get(), "CmbFields")->setEditText(field);
        Control<QLineEdit>(dialog.get(), "txtValueForList")->setText(value);
        Click(dialog.get(), "cmdAdd");
    }
    QByteArray File() const { return folder.Read(QStringLiteral("list.lst")); }

    std::vector<int> switchValues;
    std::unique_ptr<frmConfigList> dialog;
};

// Add to List inserts at the insertion point with the running delimiter; Save
// writes the text in the list's encoding, every untouched byte as it was, and
// refreshes the main window's list view while it is shown.
TEST_F(frmConfigListTest, AddInsertsAtTheInsertionPointAndSaveWritesTheTextAndRefreshesAShownList)
{
    // Windows-1252 with a no-break space, a lone LF and a lone CR.
    const QByteArray cp1252 = "Fixed Value_,QTY,caf\xe9\xa0x\r\nx\ny\rz\r\n";
    const QByteArray added = "Fixed Value_||REFERENCE||v\r\nFile Value__||QTY||\r\n";
    const std::tuple<const char *, QByteArray, std::function<void(QPlainTextEdit *)>, bool, QByteArray> cases[] = {
        {"right after opening", kList, [](QPlainTextEdit *) {}, true, added + kList},
        {"at the end", cp1252, [](QPlainTextEdit *box) { box->moveCursor(QTextCursor::End); }, false, cp1252 + added},
        {"over a selection", kList, [](QPlainTextEdit *box) { box->selectAll(); }, false, added},
        {"after Clear List", kList, [](QPlainTextEdit *box) { Click(box->window(), "cmdClear"); }, false, added},
    };
    v.Delimiter = QStringLiteral("||");
    for (const auto &[name, before, place, shown, saved] : cases) {
        SCOPED_TRACE(name);
        folder.Write(QStringLiteral("list.lst"), before);
        v.txtshowlist.Visible = shown;
        v.Chk_RepFromLst.Value = shown ? 1 : 0;
        switchValues.clear();
        place(Control<QPlainTextEdit>(Open(), "txtList"));
        Add("Optionfixed", QStringLiteral("REFERENCE"), QStringLiteral("v"));
        Add("OptionFile", QStringLiteral("QTY"), QString());
        Click(dialog.get(), "cmdSave");
        EXPECT_EQ(File(), saved);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(switchValues, shown ? std::vector<int>({0, 1}) : std::vector<int>());
    }
    EXPECT_EQ(Control<QComboBox>(dialog.get(), "CmbFields")->count(), 2);  // the table's fields
    EXPECT_TRUE(msg.shown.empty());
}

TEST_F(frmConfigListTest, ExitOrAddWithoutAKindChangeNothing)
{
    Click(Open(), "Optionfixed");
    Click(dialog.get(), "cmdClear");
    Click(dialog.get(), "cmdExit");
    EXPECT_FALSE(dialog->isVisible());
    Click(Open(), "cmdAdd");  // the kind chosen in an earlier opening is gone
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("Select File or Fixed option to continue")});
    Click(dialog.get(), "cmdSave");
    EXPECT_EQ(File(), kList);
}

// The import file editor and the log viewer show their file whole. The import
// file's Save writes the text in the file's encoding, closes even when it
// cannot, and shows the file as it then is in the main window; the log's Clear
// empties it, creating its folder. Exit stores no edit.
TEST_F(AuxWindowsTest, ImportFileAndLogWindowsShowTheirFileAndTheirButtonWritesItButExitStoresNoEdit)
{
    const QByteArray log = "12-04-2026 3:07:09 PM Card data batch load complete.\r\n12-03-2026 9:00:00 AM\r\n";
    const struct
    {
        bool isLog;
        const char *file;
        QByteArray before;  // empty: no file, nor a log folder
        bool failWrite;
        const char *button;
        QByteArray fileAfter;
        QString viewAfter;
    } cases[] = {
        {false, "in.csv", "caf\xe9,7\r\n", false, "cmdSave", "caf\xe9,7\r\nx\r\ny", "caf\u00e9,7\r\nx\r\ny"},
        {false, "in.csv", "caf\xe9,7\r\n", false, "cmdExit", "caf\xe9,7\r\n", "as shown before"},
        {false, "new.txt", "", false, "cmdSave", "x\r\ny", "x\r\ny"},
        {false, "locked.txt", "", true, "cmdSave", "<missing>", ""},
        {true, "log/Batch_Log.lst", log, false, "cmdExit", log, "as shown before"},
        {true, "log/Batch_Log.lst", "", false, "cmdClear", "", "as shown before"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.button + (c.before.isEmpty() ? " absent" : ""));
        QDir(folder.File(QStringLiteral("log"))).removeRecursively();
        fs.Heal();
        if (c.failWrite)
            fs.FailOn(FaultyFileSystem::Op::WriteWhole);
        const QString path = c.before.isEmpty() ? folder.File(QLatin1String(c.file)) : folder.Write(QLatin1String(c.file), c.before);
        v.txtImportFile.Text = path;
        v.txtViewImport.Text = QStringLiteral("as shown before");
        std::unique_ptr<QDialog> dialog;
        if (c.isLog)
            dialog = std::make_unique<frmLog>(fs, msg, services.folder);
        else
            dialog = std::make_unique<frmFile>(v, fs);
        auto *box = dialog->findChild<QPlainTextEdit *>();
        EXPECT_EQ(box->toPlainText(), QString::fromLatin1(c.before).remove(QLatin1Char('\r')));
        box->moveCursor(QTextCursor::End);
        box->insertPlainText(QStringLiteral("x\ny"));
        Click(dialog.get(), c.button);
        EXPECT_EQ(dialog->result(), qstrcmp(c.button, "cmdExit") == 0 ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(folder.Read(QLatin1String(c.file)), c.fileAfter);
        EXPECT_EQ(v.txtViewImport.Text, c.viewAfter);
    }
    EXPECT_TRUE(msg.shown.empty());
}

// Opening makes the stored delimiter, as it stands, the running one; Save
// stores the text for the next load only; closing stores nothing; a save that
// fails is told and keeps the window open.
TEST_F(AuxWindowsTest, SetupTakesTheStoredDelimiterAndSaveStoresTheTextForTheNextLoad)
{
    for (const QString &stored : {QString(), QStringLiteral("||")}) {
        SCOPED_TRACE(stored.toStdString());
        Set("Delimiter", stored);
        v.Delimiter = QStringLiteral(",");
        frmSetup dialog(v, settings, msg);
        dialog.show();
        auto *box = Control<QLineEdit>(&dialog, "txtDelimiter");
        EXPECT_EQ(std::pair(box->text(), v.Delimiter), std::pair(stored, stored));
        box->setText(QStringLiteral(";"));
        dialog.close();
        EXPECT_TRUE(settings.saved.empty());
        dialog.show();
        Click(&dialog, "cmdSave");
        EXPECT_EQ(settings.GetSetting("Tavrin", "Bulkrun", "Delimiter"), QStringLiteral(";"));
        EXPECT_EQ(std::pair(v.Delimiter, dialog.isVisible()), std::pair(stored, false));
        settings.FailSaves();
        dialog.show();
        Click(&dialog, "cmdSave");
        EXPECT_EQ(std::pair(msg.shown.size(), dialog.isVisible()), std::pair(std::size_t(1), true));
        settings = MemorySettingsStore();
        msg.shown.clear();
    }
}

} // namespace
