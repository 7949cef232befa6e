#include "WindowRig.h"

#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

namespace {

using frmMainTest = WindowRig;

// After each click: the height of the client area, which of the controls
// that come and go are shown, and whether the captions ask for item numbers.
TEST_F(frmMainTest, ModeViewAndListSwitchTheLayoutCaptionsAndHeight)
{
    folder.Write("list.lst", "Fixed Value_,QTY,9\r\n");
    Start();
    const std::tuple<const char *, int, QString, bool> steps[] = {
        {"Option_Import", 220, "txtSearch_col Label3 Combo2 Label4 txtReplace_col Command3 txtImportFile cmdFile Chk_view", true},
        {"Chk_view", 361, "txtSearch_col Label3 Combo2 Label4 txtReplace_col Command3 txtImportFile cmdFile Chk_view", true},
        {"Option_Batch", 220, "Text1 Label3 Combo2 Label4 Text2 cmdexeNow LBCounter LBtext", false},  // the view stays checked
        {"Chk_RepFromLst", 220, "Text1 txtshowlist cmdexeNow LBCounter LBtext", false},
        {"Option_Import", 361, "txtSearch_col txtshowlist Command3 txtImportFile cmdFile Chk_view", true},
    };
    for (const auto &[click, height, shown, items] : steps) {
        SCOPED_TRACE(click);
        Click(window.get(), click);
        EXPECT_EQ(window->centralWidget()->height(), height);
        QStringList layout;
        for (const char *name : {"Text1", "txtSearch_col", "Label3", "Combo2", "Label4", "Text2", "txtReplace_col", "txtshowlist",
                                 "cmdexeNow", "Command3", "txtImportFile", "cmdFile", "LBCounter", "LBtext", "Chk_view"})
            if (Ctl(name)->isVisibleTo(window.get()))
                layout << name;
        EXPECT_EQ(layout.join(' '), shown);
        EXPECT_EQ(Ctl<QLabel>("Label4")->text(), items ? "Item No From File" : "Replace Value");
        EXPECT_GE(Ctl("Label4")->width(), Ctl("Label4")->sizeHint().width());  // a caption is never cut off
    }
    EXPECT_EQ(Ctl<QPlainTextEdit>("txtshowlist")->toPlainText(), "Fixed Value_,QTY,9\n");
    EXPECT_EQ(window->height(), window->menuBar()->sizeHint().height() + 361 + window->statusBar()->sizeHint().height());

    // The automatic run shows the progress bar alone, docked to the bottom edge.
    v.AutoRun = "1";
    window->Handle([this] { form->Form_Activate(); });
    EXPECT_EQ(Ctl("ProgressBar1")->geometry(), QRect(0, 0, 571, 17));
}

// A push sets every control yet runs no handler (each would empty the
// progress bar, Chk_view's would change the height); a pull reads what the
// operator typed.
TEST_F(frmMainTest, PushRunsNoHandlerAndPullReadsWhatWasTyped)
{
    Start();
    v.ProgressBar1 = {0, 100, 50};
    std::swap(v.Option_Batch.Value, v.Option_Import.Value);  // import mode, whose handler would empty the bar
    v.Chk_view.Value = v.Chk_RepFromLst.Value = 1;
    window->PushValues();
    EXPECT_EQ(std::tuple(v.ProgressBar1.Value, v.Height, Ctl<QAbstractButton>("Option_Import")->isChecked()), std::tuple(50, kNormalHeight, true));
    const std::pair<const char *, TextBox *> boxes[] = {
        {"Combo1", &v.Combo1}, {"Combo2", &v.Combo2}, {"Text1", &v.Text1}, {"Text2", &v.Text2},
        {"txtSearch_col", &v.txtSearch_col}, {"txtReplace_col", &v.txtReplace_col}, {"txtImportFile", &v.txtImportFile}};
    for (const auto &[name, box] : boxes)  // a combo box is typed in its own line edit
        (Ctl(name)->inherits("QLineEdit") ? Ctl<QLineEdit>(name) : Ctl(name)->findChild<QLineEdit *>())->setText(name);
    window->PullValues();
    for (const auto &[name, box] : boxes)
        EXPECT_EQ(box->Text, name);
}

TEST_F(frmMainTest, RunProgressReachesTheWidgetsWithoutAPush)
{
    Start();
    const auto *bar = Ctl<QProgressBar>("ProgressBar1");
    // No record to update shows an empty bar, not a busy one; beyond the maximum, a full one.
    for (const auto &[max, value, shownMax, shownValue] : {std::array{40, 10, 40, 10}, {0, 0, 1, 0}, {5, 9, 5, 5}}) {
        v.ProgressBar1 = {0, max, value};
        v.Notify();
        EXPECT_EQ(std::pair(bar->maximum(), bar->value()), std::pair(shownMax, shownValue)) << max;
    }
    // A run's end shows its summary in the status bar.
    v.Combo1.Text = "REFERENCE";
    v.Text1.Text = "Z*";
    form->cmdexeNow_Click();
    window->PushValues();
    EXPECT_EQ(window->statusBar()->currentMessage(), "Batch load ended: 0 records changed, 0 refused updates, 0.0 s, logged complete.");
}

// Browse opens at the file in the box, puts the chosen file in the box and
// its text in the view; a cancelled dialog changes nothing, a path typed
// after an earlier choice included; a file over 16 MiB is taken but not
// shown, and the refusal named.
TEST_F(frmMainTest, BrowseTakesTheChosenFileAndShowsItUnlessTooLarge)
{
    Set("Option", "Import");
    Start();
    Click(window.get(), "Chk_view");  // the view is filled once it is seen
    const QString big = folder.Write("big.txt", QByteArray(16 * 1024 * 1024 + 1, 'x')), other = folder.Write("other.csv", "X,1\r\n");
    const std::tuple<QString, QString, QString> steps[] = {{"", "typed", ""}, {other, other, "X,1\n"}, {"", "typed", "X,1\n"}, {big, big, ""}};
    for (const auto &[chosen, box, view] : steps) {
        Ctl<QLineEdit>("txtImportFile")->setText("typed");
        picker.chosen = chosen;
        Click(window.get(), "cmdFile");
        EXPECT_EQ(std::tuple(picker.openedAt, Ctl<QLineEdit>("txtImportFile")->text(), Ctl<QPlainTextEdit>("txtViewImport")->toPlainText()),
                  std::tuple(QString("typed"), box, view)) << chosen.toStdString();
    }
    EXPECT_TRUE(msg.shown.size() == 1 && msg.shown[0].text.startsWith(big + " is too large to show"));
}

// The timer fires while a handler's box is open; the timer's handler runs
// once, after the box has closed.
TEST_F(frmMainTest, TimerFiringDuringAHandlerRunsOnceAfterIt)
{
    // An automatic run whose saved mode names neither option: the timer's
    // handler starts no run and reports back through TimerDone.
    Set("Auto_Run", "1");
    Set("Option", "Neither");
    Start();
    int timerRuns = 0, runsWhileOpen = -1;
    form->TimerDone = [&] { ++timerRuns; };
    Ctl<QTimer>("Timer1")->setInterval(5);
    window->Handle([&] {
        form->Form_Activate();
        ProcessEventsUntil([&] { return !Ctl<QTimer>("Timer1")->isActive(); });  // as the box's event loop would
        runsWhileOpen = timerRuns;
    });
    EXPECT_EQ(std::pair(runsWhileOpen, timerRuns), std::pair(0, 1));
}

} // namespace
