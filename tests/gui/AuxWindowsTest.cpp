// The auxiliary windows: the list editor, the import file editor, the log
// viewer and the delimiter setup, each over the rig's program folder.
#include "frmConfigList.h"
#include "frmFile.h"
#include "frmLog.h"
#include "frmPreview.h"
#include "frmSetup.h"
#include "PreviewCsv.h"

#include "WindowRig.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QTableView>

namespace {

using AuxWindowsTest = WindowRig;

// Add to List asks for a kind, then inserts at the insertion point with the
// running delimiter; Save writes the text in the list's encoding, every
// untouched byte as it was, and refreshes the main window's list view while
// it is shown; Exit writes nothing.
TEST_F(AuxWindowsTest, ListEditorInsertsAtTheInsertionPointAndSavesInTheListsEncoding)
{
    const QByteArray list = "Fixed Value_,QTY,9\r\n", added = "Fixed Value_||REFERENCE||v\r\nFile Value__||QTY||\r\n";
    const QByteArray cp1252 = "Fixed Value_,QTY,caf\xe9\xa0x\r\nx\ny\rz\r\n";  // a no-break space, a lone LF and a lone CR
    const std::tuple<const char *, QByteArray, std::function<void(QPlainTextEdit *)>, bool, const char *, QByteArray> cases[] = {
        {"right after opening", list, [](QPlainTextEdit *) {}, true, "cmdSave", added + list},
        {"at the end", cp1252, [](QPlainTextEdit *box) { box->moveCursor(QTextCursor::End); }, false, "cmdSave", cp1252 + added},
        {"after Clear List", list, [](QPlainTextEdit *box) { Click(box->window(), "cmdClear"); }, false, "cmdSave", added},
        {"then Exit", list, [](QPlainTextEdit *) {}, false, "cmdExit", list},
    };
    v.Delimiter = "||";
    for (const auto &[name, before, place, shown, button, saved] : cases) {
        SCOPED_TRACE(name);
        folder.Write("list.lst", before);
        v.Chk_RepFromLst.Value = v.txtshowlist.Visible = shown;
        std::vector<int> switches;  // the list switch's value at each handling
        frmConfigList dialog(v, store, fs, msg, services.folder, [&] { switches.push_back(v.Chk_RepFromLst.Value); });
        dialog.show();
        Click(&dialog, "cmdAdd");
        place(Control<QPlainTextEdit>(&dialog, "txtList"));
        for (const auto &[kind, field, value] : {std::tuple{"Optionfixed", "REFERENCE", "v"}, {"OptionFile", "QTY", ""}}) {
            Click(&dialog, kind);
            Control<QComboBox>(&dialog, "CmbFields")->setEditText(field);
            Control<QLineEdit>(&dialog, "txtValueForList")->setText(value);
            Click(&dialog, "cmdAdd");
        }
        Click(&dialog, button);
        EXPECT_EQ(folder.Read("list.lst"), saved);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(switches, shown ? std::vector<int>({0, 1}) : std::vector<int>());
        EXPECT_EQ(Control<QComboBox>(&dialog, "CmbFields")->count(), 3);  // the table's fields
    }
    EXPECT_EQ(msg.shown.size(), std::size(cases));  // each Add without a kind was told
}

// The import file editor shows the file whole; its Save writes the text in
// the file's encoding and shows the file as it then is in the main window. The
// log viewer's Clear empties the log, creating its folder.
TEST_F(AuxWindowsTest, ImportFileSaveKeepsTheEncodingAndLogClearCreatesTheLogFolder)
{
    v.txtImportFile.Text = folder.Write("in.csv", "caf\xe9,7\r\n");
    frmFile file(v, fs);
    auto *box = Control<QPlainTextEdit>(&file, "txtViewFile");
    EXPECT_EQ(box->toPlainText(), "caf\u00e9,7\n");
    box->appendPlainText("x");
    Click(&file, "cmdSave");
    EXPECT_EQ(folder.Read("in.csv"), "caf\xe9,7\r\n\r\nx");
    EXPECT_EQ(std::pair(v.txtViewImport.Text, file.result()), std::pair(QString("caf\u00e9,7\r\n\r\nx"), int(QDialog::Accepted)));
    frmLog log(fs, msg, services.folder);
    Click(&log, "cmdClear");
    EXPECT_EQ(std::pair(folder.Read("log/Batch_Log.lst"), log.result()), std::pair(QByteArray(), int(QDialog::Accepted)));
}

// In each window's multi-line box, Tab and Shift+Tab move the focus along
// the tab order, so a keyboard reaches the buttons; Ctrl+Tab types a tab.
TEST_F(AuxWindowsTest, TabLeavesAMultiLineBoxAndCtrlTabTypesATab)
{
    frmConfigList list(v, store, fs, msg, services.folder, [] {});
    frmFile file(v, fs);
    frmLog log(fs, msg, services.folder);
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, "\t");
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    };
    for (const auto &[window, box, next] : {std::tuple<QWidget *, const char *, const char *>{&list, "txtList", "CmbFields"},
                                            {&file, "txtViewFile", "cmdSave"}, {&log, "txtLogview", "cmdClear"}}) {
        window->show();
        ProcessEventsUntil([&] { return window->isActiveWindow(); }, 0);
        Control(window, box)->setFocus();
        press(Qt::Key_Tab, Qt::NoModifier);
        EXPECT_TRUE(Control(window, next)->hasFocus()) << box;
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        press(Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(std::pair(Control(window, box)->hasFocus(), Control<QPlainTextEdit>(window, box)->toPlainText()), std::pair(true, QString("\t")));
    }
}

// The preview shows the rows that any ticked filter takes; Save Report
// writes them all.
TEST_F(AuxWindowsTest, PreviewFiltersItsRowsAndSavesThemAll)
{
    PreviewReport report;
    report.rows = {{1, "A", "F", "x", 0, 0, ""}, {2, "B", "F", "y", 3, 0, "refused"}, {3, "C", "F", "z", 1, 1, ""}};
    frmPreview dialog(report, fs, msg, [this] { return folder.File("report.csv"); });
    const QAbstractItemModel *rows = Control<QTableView>(&dialog, "tblRows")->model();
    for (const auto &[filter, shown] : {std::pair{"chkRefused", 1}, {"chkNoMatch", 2}, {"chkRefused", 1}}) {
        Control<QAbstractButton>(&dialog, filter)->toggle();
        EXPECT_EQ(rows->rowCount(), shown) << filter;
    }
    Click(&dialog, "cmdSave");
    EXPECT_EQ(QString::fromUtf8(folder.Read("report.csv")), PreviewCsv(report));
}

// Opening makes the stored delimiter, as it stands, the running one; Save
// stores the text for the next load only; a save that fails is told and keeps
// the window open.
TEST_F(AuxWindowsTest, SetupTakesTheStoredDelimiterAndSaveStoresTheTextForTheNextLoad)
{
    for (const auto &[stored, failSave] : {std::pair{"", false}, {"||", true}}) {
        Set("Delimiter", stored);
        v.Delimiter = ",";
        settings.FailSaves(failSave);
        frmSetup dialog(v, settings, msg);
        dialog.show();
        auto *box = Control<QLineEdit>(&dialog, "txtDelimiter");
        EXPECT_EQ(std::pair(box->text(), v.Delimiter), std::pair(QString(stored), QString(stored)));
        box->setText(";");
        Click(&dialog, "cmdSave");
        EXPECT_EQ(settings.GetSetting("Tavrin", "Bulkrun", "Delimiter"), failSave ? stored : ";");
        EXPECT_EQ(std::tuple(v.Delimiter, dialog.isVisible(), msg.shown.size()), std::tuple(QString(stored), failSave, std::size_t(failSave)));
    }
}

} // namespace
