#include "frmConfigList.h"

#include "CardDb.h"
#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <functional>
#include <memory>
#include <tuple>

namespace {

const QByteArray kList = "Fixed Value_,QTY,9\r\n";

class frmConfigListTest : public testing::Test
{
protected:
    frmConfigListTest()
    {
        CardDb(tmp.File(QStringLiteral("card.db")))
            .Exec(QStringLiteral("CREATE TABLE CARD_DATA(REFERENCE TEXT, TITLE TEXT, QTY INTEGER)"));
    }

    // Opens the editor; the list switch's handling records the switch's value.
    QWidget *Open()
    {
        dialog = std::make_unique<frmConfigList>(v, store, fs, msg, ProgramFolder(tmp.Path()),
                                                 [this] { switchValues.push_back(v.Chk_RepFromLst.Value); });
        dialog->show();
        return dialog.get();
    }
    QPlainTextEdit *List() { return Control<QPlainTextEdit>(dialog.get(), "txtList"); }
    void Add(const char *option, const QString &field, const QString &value)
    {
        Click(dialog.get(), option);
        Control<QComboBox>(dialog.get(), "CmbFields")->setEditText(field);
        Control<QLineEdit>(dialog.get(), "txtValueForList")->setText(value);
        Click(dialog.get(), "cmdAdd");
    }
    QByteArray File() const { return tmp.Read(QStringLiteral("list.lst")); }

    TempFolder tmp;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    RecordingMessageBox msg;
    SqliteCardStore store{tmp.File(QStringLiteral("card.db"))};
    MainValues v;
    std::vector<int> switchValues;
    std::unique_ptr<frmConfigList> dialog;
};

TEST_F(frmConfigListTest, AddToListInsertsAtTheInsertionPointAndSaveWritesTheText)
{
    // Where the operator leaves the insertion point, the delimiter and the list saved.
    const std::tuple<const char *, QString, std::function<void(QPlainTextEdit *)>, QByteArray> cases[] = {
        {"right after opening", ",", [](QPlainTextEdit *) {}, "Fixed Value_,TITLE,v\r\nFile Value__,QTY,\r\n" + kList},
        {"at the end", ";", [](QPlainTextEdit *box) { box->moveCursor(QTextCursor::End); },
         kList + "Fixed Value_;TITLE;v\r\nFile Value__;QTY;\r\n"},
        {"over a selection", "||", [](QPlainTextEdit *box) { box->selectAll(); },
         "Fixed Value_||TITLE||v\r\nFile Value__||QTY||\r\n"},
        {"after Clear List", ",", [](QPlainTextEdit *box) { Click(box->window(), "cmdClear"); },
         "Fixed Value_,TITLE,v\r\nFile Value__,QTY,\r\n"},
    };
    for (const auto &[name, delimiter, place, saved] : cases) {
        SCOPED_TRACE(name);
        tmp.Write(QStringLiteral("list.lst"), kList);
        v.Delimiter = delimiter;
        Open();
        place(List());
        Add("Optionfixed", QStringLiteral("TITLE"), QStringLiteral("v"));
        Add("OptionFile", QStringLiteral("QTY"), QString());
        Click(dialog.get(), "cmdSave");
        EXPECT_EQ(File(), saved);
    }
    EXPECT_EQ(Control<QComboBox>(dialog.get(), "CmbFields")->count(), 3);  // the table's fields
    EXPECT_TRUE(msg.shown.empty());
}

TEST_F(frmConfigListTest, SaveRefreshesTheMainWindowsListViewOnlyWhenShown)
{
    for (const bool shown : {true, false}) {
        switchValues.clear();
        v.txtshowlist.Visible = shown;
        v.Chk_RepFromLst.Value = shown ? 1 : 0;
        Click(Open(), "cmdSave");
        EXPECT_EQ(switchValues, shown ? std::vector<int>({0, 1}) : std::vector<int>()) << shown;
    }
}

TEST_F(frmConfigListTest, SaveKeepsEveryByteOfAnUneditedTextAndExitOrAddWithoutAKindChangeNothing)
{
    // Windows-1252 with a no-break space, a lone LF and a lone CR.
    const QByteArray text = "Fixed Value_,TITLE,caf\xe9\xa0x\r\nx\ny\rz\r\n";
    tmp.Write(QStringLiteral("list.lst"), text);
    Click(Open(), "Optionfixed");
    Click(dialog.get(), "cmdClear");
    Click(dialog.get(), "cmdExit");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(File(), text);

    Click(Open(), "cmdAdd");  // the kind chosen in an earlier opening is gone
    ASSERT_EQ(msg.shown.size(), 1u);
    EXPECT_EQ(msg.shown[0].text, QStringLiteral("Select File or Fixed option to continue"));
    Click(dialog.get(), "cmdSave");
    EXPECT_EQ(File(), text);
}

} // namespace
