#include "frmMain.h"

#include "CardDb.h"
#include "Controls.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "MainForm.h"
#include "MemorySettingsStore.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kApp = QStringLiteral("Tavrin");
const QString kSection = QStringLiteral("Bulkrun");

class NoFilePicker final : public FilePicker
{
public:
    QString GetOpenFileName(const QString &, const QString &) override { return {}; }
};

// A message box that runs a piece of code while it is "open", as a modal
// box's event loop would run events.
class LoopingMessageBox final : public MessageBox
{
public:
    void Show(const QString &text, MsgIcon) override
    {
        shown << text;
        if (whileOpen)
            whileOpen();
    }
    QStringList shown;
    std::function<void()> whileOpen;
};

// Runs events until done() holds (at most two seconds), then for settleMs more.
void ProcessEventsUntil(const std::function<bool()> &done, int settleMs = 20)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    clock.restart();
    while (clock.elapsed() < settleMs)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A program folder with a small card database and the main window over it.
class frmMainTest : public testing::Test
{
protected:
    frmMainTest()
    {
        CardDb(folder.File(QStringLiteral("card.db")))
            .Exec(QStringLiteral("CREATE TABLE CARD_DATA(REFERENCE TEXT, NAME TEXT, QTY INTEGER)"));
        importFile = folder.Write(QStringLiteral("import.txt"), "R1,7\r\nR2,8\r\n");
        folder.Write(QStringLiteral("List.lst"), "QTY,QTY,9\r\n");
        settings.Set(kApp, QStringLiteral("KVRFennic"), QStringLiteral("File_register"), QStringLiteral("1"));
    }

    void Set(const char *key, const QString &value) { settings.Set(kApp, kSection, QLatin1String(key), value); }
    void Start(bool run = true)
    {
        form = std::make_unique<MainForm>(v, store, services, settings, picker, starter);
        window = std::make_unique<frmMain>(v, *form);
        if (run)
            window->Start();
    }
    template <typename W = QWidget>
    W *Ctl(const char *name) { return Control<W>(window.get(), name); }
    bool Shown(const char *name) { return Ctl(name)->isVisibleTo(window.get()); }
    int ClientHeight() { return window->centralWidget()->height(); }

    TempFolder folder;
    QString importFile;
    DiskFileSystem disk;
    FaultyFileSystem fs{disk};
    LoopingMessageBox msg;
    FixedClock clock;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(folder.Path())};
    MemorySettingsStore settings;
    NoFilePicker picker;
    RecordingStarter starter;
    SqliteCardStore store{folder.File(QStringLiteral("card.db"))};
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
};

TEST_F(frmMainTest, ModeAndViewSwitchTheLayoutCaptionsAndHeight)
{
    Set("Option", QStringLiteral("Import"));
    Start();
    const QStringList batch{"Text1", "Text2", "LBCounter", "LBtext", "cmdexeNow"};
    const QStringList import{"txtSearch_col", "txtReplace_col", "txtImportFile", "cmdFile", "Command3", "Chk_view"};
    const struct
    {
        const char *click;
        int height;
        QStringList shown, hidden;
        QString label2, label4;
    } steps[] = {
        {"Option_Batch", 220, batch + QStringList{"Command2"}, import, "Search Criteria", "Replace Value"},
        {"Option_Import", 220, import + QStringList{"Command2"}, batch, "Item No From File", "Item No From File"},
        {"Chk_view", 361, import, batch, "Item No From File", "Item No From File"},
        {"Option_Batch", 220, batch, import, "Search Criteria", "Replace Value"},  // the view stays checked
        {"Option_Import", 361, import, batch, "Item No From File", "Item No From File"},
    };
    auto *bar = Ctl<QProgressBar>("ProgressBar1");
    for (const auto &s : steps) {
        SCOPED_TRACE(s.click);
        Ctl<QAbstractButton>(s.click)->click();
        EXPECT_EQ(ClientHeight(), s.height);
        EXPECT_EQ(bar->geometry(), QRect(0, s.height - 17, 571, 17));
        for (const QString &name : s.shown)
            EXPECT_TRUE(Shown(qPrintable(name))) << qPrintable(name);
        for (const QString &name : s.hidden)
            EXPECT_FALSE(Shown(qPrintable(name))) << qPrintable(name);
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
        Ctl<QCheckBox>("Chk_RepFromLst")->click();
        EXPECT_EQ(Shown("txtshowlist"), on);
        for (const char *name : {"Label3", "Combo2", "Label4", "Text2"})
            EXPECT_EQ(Shown(name), !on) << name;
    }
    EXPECT_EQ(Ctl<QPlainTextEdit>("txtshowlist")->toPlainText(), QStringLiteral("QTY,QTY,9\n"));
}

TEST_F(frmMainTest, PushingValuesFiresNoHandlerButTypingAnImportFileDoes)
{
    Start();
    // Every handler begins by emptying the progress bar; Chk_view's would
    // also change the height.
    v.ProgressBar1 = {0, 100, 50};
    v.Option_Import.Value = true;
    v.Chk_view.Value = 1;
    v.Chk_RepFromLst.Value = 1;
    v.txtImportFile.Text = QStringLiteral("/elsewhere/in.txt");
    v.Combo1List = QStringList{"A", "B"};
    v.Combo1.Text = QStringLiteral("typed");
    window->PushValues();
    EXPECT_EQ(v.ProgressBar1.Value, 50);
    EXPECT_EQ(v.Height, kNormalHeight);

    window->PullValues();  // what was pushed reads back unchanged
    EXPECT_EQ(v.Combo1.Text, QStringLiteral("typed"));
    EXPECT_TRUE(v.Option_Import.Value && v.Chk_view.Value == 1);

    auto type = [this](const char *name) {
        v.ProgressBar1.Value = 7;
        window->PushValues();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(Ctl(name), &key);
        return v.ProgressBar1.Value;
    };
    EXPECT_EQ(type("Text1"), 7);
    EXPECT_EQ(type("txtImportFile"), 0);
}

TEST_F(frmMainTest, RunProgressReachesTheWidgetsWithoutAPush)
{
    Start();
    auto *bar = Ctl<QProgressBar>("ProgressBar1");
    const struct
    {
        int max, value, shownMax, shownValue;
    } cases[] = {
        {40, 10, 40, 10},
        {0, 0, 1, 0},  // no record to update: an empty bar, not a busy one
        {5, 9, 5, 5},  // beyond the maximum: full
    };
    for (const auto &c : cases) {
        v.ProgressBar1 = {0, c.max, c.value};
        v.Notify();
        EXPECT_EQ(bar->maximum(), c.shownMax) << c.max;
        EXPECT_EQ(bar->value(), c.shownValue) << c.max;
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
    int timerRuns = 0;
    form->TimerDone = [&] { ++timerRuns; };
    auto *timer = Ctl<QTimer>("Timer1");
    timer->setInterval(5);

    int runsWhileOpen = -1;
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
    auto reads = [this] { return fs.Calls(FaultyFileSystem::Op::ReadWhole); };
    auto activated = [&] {
        ProcessEventsUntil([&] { return window->isActiveWindow(); });
        return window->isActiveWindow();
    };
    window->show();
    window->activateWindow();
    ASSERT_TRUE(activated());
    EXPECT_EQ(reads(), 1);
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
    ASSERT_TRUE(activated());
    EXPECT_EQ(reads(), 1);

    // Another window of the program closing hands the activation back too.
    takeAndGiveBack();
    ASSERT_TRUE(activated());
    EXPECT_EQ(reads(), 2);
}

} // namespace
