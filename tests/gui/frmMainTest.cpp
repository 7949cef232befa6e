#include "WindowRig.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <utility>

namespace {

class frmMainTest : public WindowRig
{
protected:
    bool Shown(const QString &name) { return Ctl(qPrintable(name))->isVisibleTo(window.get()); }
    int ClientHeight() { return window->centralWidget()->height(); }
};

TEST_F(frmMainTest, ModeAndViewSwitchTheLayoutCaptionsAndHeight)
{
    Set("Option", QStringLiteral("Import"));
    Start();
    const QStringList batch{"Text1", "Text2", "LBCounter", "LBtext", "cmdexeNow"};
    const QStringList import{"txtSearch_col", "txtReplace_col", "txtImportFile", "cmdFile", "Command3", "Chk_view"};
    const QString fromFile = QStringLiteral("Item No From File");
    const struct
    {
        const char *click;
        int height;
        QStringList shown, hidden;
        QString label2, label4;
    } steps[] = {
        {"Option_Batch", 220, batch + QStringList{"Command2"}, import, "Search Criteria", "Replace Value"},
        {"Option_Import", 220, import + QStringList{"Command2"}, batch, fromFile, fromFile},
        {"Chk_view", 361, import, batch, fromFile, fromFile},
        {"Option_Batch", 220, batch, import, "Search Criteria", "Replace Value"},  // the view stays checked
        {"Option_Import", 361, import, batch, fromFile, fromFile},
    };
    auto *bar = Ctl<QProgressBar>("ProgressBar1");
    for (const auto &s : steps) {
        SCOPED_TRACE(s.click);
        Ctl<QAbstractButton>(s.click)->click();
        EXPECT_EQ(ClientHeight(), s.height);
        EXPECT_EQ(bar->geometry(), QRect(0, s.height - 17, 571, 17));
        for (const QString &name : s.shown)
            EXPECT_TRUE(Shown(name)) << qPrintable(name);
        for (const QString &name : s.hidden)
            EXPECT_FALSE(Shown(name)) << qPrintable(name);
        EXPECT_EQ(Ctl<QLabel>("Label2")->text(), s.label2);
        EXPECT_EQ(Ctl<QLabel>("Label4")->text(), s.label4);
        for (const char *label : {"Label2", "Label4"})  // a caption is never cut off
            EXPECT_GE(Ctl(label)->width(), Ctl(label)->sizeHint().width()) << label;
    }
    EXPECT_EQ(v.Height, kTallHeight);
    EXPECT_EQ(window->height(), window->menuBar()->sizeHint().height() + 361);

    // The automatic run shows the progress bar alone.
    v.AutoRun = QStringLiteral("1");
    window->Handle([this] { form->Form_Activate(); });
    EXPECT_EQ(ClientHeight(), 17);
    EXPECT_EQ(bar->geometry(), window->centralWidget()->rect());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavrin Automatic Bulkrun/Import in progress"));
    EXPECT_FALSE(Shown("Label5"));
}

TEST_F(frmMainTest, ListSwitchShowsTheListInPlaceOfTheReplacePair)
{
    Start();
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        Ctl<QAbstractButton>("Chk_RepFromLst")->click();
        EXPECT_EQ(Shown("txtshowlist"), on);
        for (const char *name : {"Label3", "Combo2", "Label4", "Text2"})
            EXPECT_EQ(Shown(name), !on) << name;
    }
    EXPECT_EQ(Ctl<QPlainTextEdit>("txtshowlist")->toPlainText(), QStringLiteral("Fixed Value_,QTY,9\n"));
}

TEST_F(frmMainTest, PushingValuesFiresNoHandlerButTypingAnImportFileDoes)
{
    Start();
    // Every handler begins by emptying the progress bar; Chk_view's would
    // also change the height.
    v.ProgressBar1 = {0, 100, 50};
    v.Option_Import.Value = true;
    v.Chk_view.Value = v.Chk_RepFromLst.Value = 1;
    v.txtImportFile.Text = QStringLiteral("/elsewhere/in.txt");
    v.Combo1List = QStringList{"A", "B"};
    v.Combo1.Text = QStringLiteral("typed");
    window->PushValues();
    EXPECT_EQ(std::pair(v.ProgressBar1.Value, v.Height), std::pair(50, kNormalHeight));
    window->PullValues();  // what was pushed reads back unchanged
    EXPECT_TRUE(v.Combo1.Text == QStringLiteral("typed") && v.Option_Import.Value && v.Chk_view.Value == 1);

    for (const auto &[name, value] : {std::pair{"Text1", 50}, std::pair{"txtImportFile", 0}}) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(Ctl(name), &key);
        EXPECT_EQ(v.ProgressBar1.Value, value) << name;
    }
}

TEST_F(frmMainTest, RunProgressReachesTheWidgetsWithoutAPush)
{
    Start();
    auto *bar = Ctl<QProgressBar>("ProgressBar1");
    // No record to update shows an empty bar, not a busy one; beyond the maximum, a full one.
    const int cases[][4] = {{40, 10, 40, 10}, {0, 0, 1, 0}, {5, 9, 5, 5}};
    for (const auto &[max, value, shownMax, shownValue] : cases) {
        v.ProgressBar1 = {0, max, value};
        v.Notify();
        EXPECT_EQ(std::pair(bar->maximum(), bar->value()), std::pair(shownMax, shownValue)) << max;
    }
}

TEST_F(frmMainTest, TimerFiringDuringAHandlerRunsOnceAfterIt)
{
    // An automatic run whose saved mode names neither option: the timer's
    // handler starts no run and reports back through TimerDone.
    Set("Auto_Run", QStringLiteral("1"));
    Set("Option", QStringLiteral("Neither"));
    Set("Import_File", folder.File(QStringLiteral("missing.txt")));
    Start();
    int timerRuns = 0, runsWhileOpen = -1;
    form->TimerDone = [&] { ++timerRuns; };
    auto *timer = Ctl<QTimer>("Timer1");
    timer->setInterval(5);
    msg.whileOpen = [&] {
        ProcessEventsUntil([&] { return !timer->isActive(); });
        runsWhileOpen = timerRuns;
    };
    window->Handle([this] { form->Form_Activate(); });

    ASSERT_EQ(msg.shown.size(), 1);
    EXPECT_TRUE(msg.shown[0].startsWith(QStringLiteral("Cannot find import file ")));
    EXPECT_EQ(runsWhileOpen, 0);
    EXPECT_EQ(timerRuns, 1);
    ProcessEventsUntil([] { return true; }, 30);
    EXPECT_EQ(timerRuns, 1);
}

TEST_F(frmMainTest, ActivationRunsFormActivateButNotOnReturnFromAMessageBox)
{
    Set("Option", QStringLiteral("Import"));
    Set("Import_File", importFile);
    Start();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(Activated());
    EXPECT_EQ(ReadWholeCalls(), 1);
    EXPECT_EQ(Ctl<QPlainTextEdit>("txtViewImport")->toPlainText(), QStringLiteral("R1,7\nR2,8\n"));

    // A box shown by a handler takes the activation and hands it back; the
    // return may arrive only after the handler has ended.
    QWidget box;
    auto takeAndGiveBack = [&] {
        box.show();
        box.activateWindow();
        ProcessEventsUntil([&] { return box.isActiveWindow(); }, 0);
        box.hide();
        window->activateWindow();
    };
    window->Handle(takeAndGiveBack);
    ASSERT_TRUE(Activated());
    EXPECT_EQ(ReadWholeCalls(), 1);

    // Another window of the program closing hands the activation back too.
    takeAndGiveBack();
    ASSERT_TRUE(Activated());
    EXPECT_EQ(ReadWholeCalls(), 2);
}

} // namespace
