#include "WindowRig.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>

#include <utility>

namespace {

class frmMainTest : public WindowRig
{
protected:
    bool Shown(const char *name) { return Ctl(name)->isVisibleTo(window.get()); }
    int ClientHeight() { return window->centralWidget()->height(); }
};

// After each click: the height of the client area, which of the controls
// that come and go are shown, and whether the captions ask for item numbers.
TEST_F(frmMainTest, ModeViewAndListSwitchTheLayoutCaptionsAndHeight)
{
    Start();
    const QString batch = QStringLiteral("Text1 Label3 Combo2 Label4 Text2 cmdexeNow LBCounter LBtext");
    const QString import = QStringLiteral("txtSearch_col Label3 Combo2 Label4 txtReplace_col Command3 txtImportFile cmdFile Chk_view");
    const std::tuple<const char *, int, QString, bool> steps[] = {
        {"Option_Import", 220, import, true},
        {"Chk_view", 361, import, true},
        {"Option_Batch", 220, batch, false},  // the view stays checked
        {"Chk_RepFromLst", 220, "Text1 txtshowlist cmdexeNow LBCounter LBtext", false},
        {"Option_Import", 361, "txtSearch_col txtshowlist Command3 txtImportFile cmdFile Chk_view", true},
    };
    const QString fromFile = QStringLiteral("Item No From File");
    for (const auto &[click, height, shown, items] : steps) {
        SCOPED_TRACE(click);
        Ctl<QAbstractButton>(click)->click();
        EXPECT_EQ(ClientHeight(), height);
        QStringList layout;
        for (const char *name : {"Text1", "txtSearch_col", "Label3", "Combo2", "Label4", "Text2", "txtReplace_col", "txtshowlist",
                                 "cmdexeNow", "Command3", "txtImportFile", "cmdFile", "LBCounter", "LBtext", "Chk_view"})
            if (Shown(name))
                layout << name;
        EXPECT_EQ(layout.join(QLatin1Char(' ')), shown);
        EXPECT_EQ(Ctl<QLabel>("Label2")->text(), items ? fromFile : QStringLiteral("Search Criteria"));
        EXPECT_EQ(Ctl<QLabel>("Label4")->text(), items ? fromFile : QStringLiteral("Replace Value"));
        for (const char *label : {"Label2", "Label4"})  // a caption is never cut off
            EXPECT_GE(Ctl(label)->width(), Ctl(label)->sizeHint().width()) << label;
    }
    EXPECT_EQ(Ctl<QPlainTextEdit>("txtshowlist")->toPlainText(), QStringLiteral("Fixed Value_,QTY,9\n"));
    EXPECT_EQ(window->height(), window->menuBar()->sizeHint().height() + 361);

    // The automatic run shows the progress bar alone, docked to the bottom edge.
    v.AutoRun = QStringLiteral("1");
    window->Handle([this] { form->Form_Activate(); });
    EXPECT_EQ(ClientHeight(), 17);
    EXPECT_EQ(Ctl("ProgressBar1")->geometry(), window->centralWidget()->rect());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavrin Automatic Bulkrun/Import in progress"));
    EXPECT_FALSE(Shown("Label5"));
}

// A push sets every control yet runs no handler (each would empty the
// progress bar, Chk_view's would change the height); a pull reads what the
// operator typed, which runs no handler either, but in txtImportFile.
TEST_F(frmMainTest, PushRunsNoHandlerAndPullReadsWhatWasTyped)
{
    Start();
    v.ProgressBar1 = {0, 100, 50};
    v.Option_Batch.Value = false;  // a saved mode that names neither option
    v.Chk_view.Value = v.Chk_RepFromLst.Value = 1;
    v.Combo1List = QStringList{"A", "B"};
    window->PushValues();
    EXPECT_EQ(std::pair(v.ProgressBar1.Value, v.Height), std::pair(50, kNormalHeight));
    EXPECT_FALSE(Ctl<QAbstractButton>("Option_Batch")->isChecked());
    const std::pair<const char *, TextBox *> boxes[] = {
        {"Combo1", &v.Combo1}, {"Combo2", &v.Combo2}, {"Text1", &v.Text1}, {"Text2", &v.Text2},
        {"txtSearch_col", &v.txtSearch_col}, {"txtReplace_col", &v.txtReplace_col}, {"txtImportFile", &v.txtImportFile}};
    for (const auto &[name, box] : boxes) {
        auto *edit = qobject_cast<QLineEdit *>(Ctl(name));  // else a combo box, typed in its own line edit
        (edit ? edit : Ctl(name)->findChild<QLineEdit *>())->setText(QLatin1String(name));
    }
    window->PullValues();
    for (const auto &[name, box] : boxes)
        EXPECT_EQ(box->Text, QLatin1String(name));
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

// Browse puts the chosen file in the box and its text in the view; a
// cancelled dialog takes the last choice again, or changes nothing when there
// was none; a file over 16 MiB is taken but not shown, and the refusal named.
TEST_F(frmMainTest, BrowseTakesTheChosenFileAndShowsItUnlessTooLarge)
{
    Set("Option", QStringLiteral("Import"));
    Start();
    const QString big = folder.File(QStringLiteral("big.txt")), other = folder.Write(QStringLiteral("other.csv"), "X,1\r\n");
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(16 * 1024 * 1024 + 1));
    const std::tuple<QString, QString, QString> steps[] = {{"", "typed", ""}, {other, other, "X,1\n"}, {"", other, "X,1\n"}, {big, big, ""}};
    for (const auto &[chosen, box, view] : steps) {
        SCOPED_TRACE(chosen.toStdString());
        Ctl<QLineEdit>("txtImportFile")->setText(QStringLiteral("typed"));
        picker.chosen = chosen;
        Ctl<QAbstractButton>("cmdFile")->click();
        EXPECT_EQ(Ctl<QLineEdit>("txtImportFile")->text(), box);
        EXPECT_EQ(Ctl<QPlainTextEdit>("txtViewImport")->toPlainText(), view);
    }
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].startsWith(big + QStringLiteral(" is too large to show"))) << Messages()[0].toStdString();
}

// The handler tells of a missing import file; while its box is open the timer
// fires, and the timer's handler runs once, after the box has closed.
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
    window->Handle([&] {
        form->Form_Activate();
        ProcessEventsUntil([&] { return !timer->isActive(); });  // as the box's event loop would
        runsWhileOpen = timerRuns;
    });
    EXPECT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages().value(0).startsWith(QStringLiteral("Cannot find import file ")));
    EXPECT_EQ(std::pair(runsWhileOpen, timerRuns), std::pair(0, 1));
}

} // namespace
