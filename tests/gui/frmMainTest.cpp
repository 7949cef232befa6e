#include "frmMain.h"

#include "CardDb.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FaultyFileSystem.h"
#include "MainForm.h"
#include "MemorySettingsStore.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kApp = QStringLiteral("Tavrin");
const QString kSection = QStringLiteral("Bulkrun");

// Answers the file-open dialog from a script; an exhausted script cancels.
class ScriptedFilePicker final : public FilePicker
{
public:
    QString GetOpenFileName(const QString &title, const QString &filter) override
    {
        asked << title + QLatin1Char('|') + filter;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList answers;
    QStringList asked;
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

// A program folder with a small card database, the main window over it and
// the settings it starts from. Start() runs the window's start-up.
class frmMainTest : public testing::Test
{
protected:
    frmMainTest()
    {
        CardDb db(folder.File(QStringLiteral("card.db")));
        db.Exec(QStringLiteral("CREATE TABLE CARD_DATA(REFERENCE TEXT, NAME TEXT, QTY INTEGER)"));
        db.Exec(QStringLiteral("INSERT INTO CARD_DATA VALUES('R1','Anna',1),('R2','Ben',2),('R3','Alf',3)"));
        importFile = folder.Write(QStringLiteral("import.txt"), "R1,7\r\nR2,8\r\n");
        folder.Write(QStringLiteral("List.lst"), "QTY,QTY,9\r\n");
        settings.Set(kApp, QStringLiteral("KVRFennic"), QStringLiteral("File_register"), QStringLiteral("1"));
        Set("Search_Field", QStringLiteral("NAME"));
        Set("Search_Criteria", QStringLiteral("A*"));
        Set("Replace_Field", QStringLiteral("QTY"));
        Set("Replace_Value", QStringLiteral("5"));
    }

    void Set(const char *key, const QString &value) { settings.Set(kApp, kSection, QLatin1String(key), value); }

    void Build()
    {
        form = std::make_unique<MainForm>(v, store, services, settings, picker, starter);
        window = std::make_unique<frmMain>(v, *form);
    }
    void Start()
    {
        Build();
        window->Start();
    }

    template <typename W = QWidget>
    W *Control(const char *name)
    {
        W *widget = window->findChild<W *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    bool Shown(const char *name) { return Control(name)->isVisibleTo(window.get()); }
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
    ScriptedFilePicker picker;
    RecordingStarter starter;
    SqliteCardStore store{folder.File(QStringLiteral("card.db"))};
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
};

QString CaptionOf(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *frame = qobject_cast<QGroupBox *>(widget))
        return frame->title();
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->currentText();
    if (auto *box = qobject_cast<QLineEdit *>(widget))
        return box->text();
    return {};
}

TEST_F(frmMainTest, ControlsHaveTheirKindCaptionToolTipAndPlace)
{
    Build();  // the design, before start-up loads anything
    const struct
    {
        const char *name, *kind, *parent;
        QString caption, toolTip;
        QRect place;  // pixels; a caption may take more width than designed, never less
    } controls[] = {
        {"Option_Import", "QRadioButton", "client", "Import File", "", {360, 24, 89, 17}},
        {"Frame2", "QGroupBox", "client", "Replace With", "", {288, 48, 273, 115}},
        {"Combo1", "QComboBox", "Frame1", "Combo1", "", {88, 24, 177, 21}},
        {"txtSearch_col", "QLineEdit", "Frame1", "0", "Select item no in import file record for search value.",
         {104, 56, 69, 19}},
        {"txtReplace_col", "QLineEdit", "Frame2", "1", "Select item no in import file record for replace value",
         {104, 56, 65, 19}},
        {"Chk_RepFromLst", "QCheckBox", "Frame2", " List of multiple  Fields and Values to be replaced", "",
         {8, 88, 253, 25}},
        {"cmdexeNow", "QPushButton", "client", "Execute", "Excecute Search and Replace settings", {8, 172, 61, 21}},
        {"txtImportFile", "QLineEdit", "client", "", "File to be imported", {72, 172, 217, 21}},
        {"Command2", "QPushButton", "client", "Save", "Save Settings for auto run", {500, 172, 61, 21}},
        {"txtViewImport", "QPlainTextEdit", "client", "", "", {3, 204, 565, 141}},
        {"ProgressBar1", "QProgressBar", "client", "", "", {0, 203, 571, 17}},
    };
    for (const auto &c : controls) {
        SCOPED_TRACE(c.name);
        QWidget *widget = Control(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.kind);
        EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(c.parent));
        EXPECT_EQ(CaptionOf(widget), c.caption);
        EXPECT_EQ(widget->toolTip(), c.toolTip);
        EXPECT_EQ(widget->pos(), c.place.topLeft());
        EXPECT_EQ(widget->height(), c.place.height());
        const bool captioned = qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget);
        EXPECT_TRUE(captioned ? widget->width() >= c.place.width() : widget->width() == c.place.width())
            << widget->width();
    }
    EXPECT_TRUE(Control("Label5")->font().bold());
    EXPECT_DOUBLE_EQ(Control("Label5")->font().pointSizeF(), 9.75);
    EXPECT_TRUE(Control("Frame1")->font().bold());
    EXPECT_FALSE(Control("Label1")->font().bold());
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(frmMainTest, MenuBarHoldsTheEntriesInOrder)
{
    Start();
    QStringList entries;
    for (QAction *menu : window->menuBar()->actions()) {
        entries << menu->menu()->objectName() + QLatin1Char('=') + menu->text();
        for (QAction *entry : menu->menu()->actions())
            entries << entry->objectName() + QLatin1Char('=')
                           + (entry->isSeparator() ? QStringLiteral("-") : entry->text());
    }
    EXPECT_EQ(entries, QStringList({"mnuFile=File", "mnuOpen=Edit Import File",
                                    "mnuConfigList=Edit Multiple Field List", "mnuLine=-", "mnuSetup=Setup ",
                                    "mnuLog=View Log", "mnuFennic=Fennic", "mnuOpenFennic=Open Fennic",
                                    "mnuTopHelp=Help", "mnuHelp=Open Help"}));

    int helps = 0;
    QObject::connect(window.get(), &frmMain::mnuHelp_Click, [&] { ++helps; });
    window->findChild<QAction *>(QStringLiteral("mnuHelp"))->trigger();
    EXPECT_EQ(helps, 1);
}

TEST_F(frmMainTest, OptionButtonsSwitchTheModeLayout)
{
    Start();
    const struct
    {
        const char *option;
        QStringList shown;
        QStringList hidden;
        QString label2, label4;
    } modes[] = {
        {"Option_Import",
         {"txtSearch_col", "txtReplace_col", "txtImportFile", "cmdFile", "Command3", "Chk_view", "Command2"},
         {"Text1", "Text2", "LBCounter", "LBtext", "cmdexeNow"},
         "Item No From File", "Item No From File"},
        {"Option_Batch",
         {"Text1", "Text2", "LBCounter", "LBtext", "cmdexeNow", "Command2"},
         {"txtSearch_col", "txtReplace_col", "txtImportFile", "cmdFile", "Command3", "Chk_view"},
         "Search Criteria", "Replace Value"},
    };
    for (const auto &mode : modes) {
        SCOPED_TRACE(mode.option);
        Control<QRadioButton>(mode.option)->click();
        for (const QString &name : mode.shown)
            EXPECT_TRUE(Shown(qPrintable(name))) << qPrintable(name);
        for (const QString &name : mode.hidden)
            EXPECT_FALSE(Shown(qPrintable(name))) << qPrintable(name);
        EXPECT_EQ(Control<QLabel>("Label2")->text(), mode.label2);
        EXPECT_EQ(Control<QLabel>("Label4")->text(), mode.label4);
        // A caption is never cut off.
        for (const char *label : {"Label2", "Label4"})
            EXPECT_GE(Control(label)->width(), Control(label)->sizeHint().width()) << label;
    }
    EXPECT_FALSE(Control<QRadioButton>("Option_Import")->isChecked());
}

TEST_F(frmMainTest, HeightsOfTheNormalTallAndAutomaticRunLayouts)
{
    Set("Option", QStringLiteral("Import"));
    Start();
    auto *bar = Control<QProgressBar>("ProgressBar1");
    EXPECT_EQ(ClientHeight(), 220);

    Control<QCheckBox>("Chk_view")->click();
    EXPECT_EQ(v.Height, kTallHeight);
    EXPECT_EQ(ClientHeight(), 361);
    EXPECT_EQ(bar->geometry(), QRect(0, 344, 571, 17));
    EXPECT_TRUE(Shown("txtViewImport"));

    Control<QRadioButton>("Option_Batch")->click();
    EXPECT_EQ(ClientHeight(), 220);
    EXPECT_EQ(bar->geometry(), QRect(0, 203, 571, 17));
    EXPECT_TRUE(Control<QCheckBox>("Chk_view")->isChecked());

    Control<QRadioButton>("Option_Import")->click();
    EXPECT_EQ(ClientHeight(), 361);
    EXPECT_EQ(window->height(), window->menuBar()->sizeHint().height() + 361);

    v.AutoRun = QStringLiteral("1");
    window->Handle([this] { form->Form_Activate(); });
    EXPECT_EQ(ClientHeight(), 17);
    EXPECT_EQ(bar->geometry(), window->centralWidget()->rect());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavrin Automatic Bulkrun/Import in progress"));
    EXPECT_FALSE(Shown("Label5"));
    EXPECT_FALSE(Shown("Option_Batch"));
}

TEST_F(frmMainTest, ListSwitchShowsTheListInPlaceOfTheReplacePair)
{
    Start();
    auto *list = Control<QPlainTextEdit>("txtshowlist");
    Control<QCheckBox>("Chk_RepFromLst")->click();
    EXPECT_TRUE(Shown("txtshowlist"));
    EXPECT_EQ(list->toPlainText(), QStringLiteral("QTY,QTY,9\n"));
    for (const char *name : {"Label3", "Combo2", "Label4", "Text2"})
        EXPECT_FALSE(Shown(name)) << name;

    Control<QCheckBox>("Chk_RepFromLst")->click();
    EXPECT_FALSE(Shown("txtshowlist"));
    for (const char *name : {"Label3", "Combo2", "Label4", "Text2"})
        EXPECT_TRUE(Shown(name)) << name;
}

TEST_F(frmMainTest, PushingValuesFiresNoHandler)
{
    Start();
    // Every handler begins by emptying the progress bar; Chk_view's would
    // also change the height.
    v.ProgressBar1 = {0, 100, 50};
    v.Option_Batch.Value = false;
    v.Option_Import.Value = true;
    v.Chk_view.Value = 1;
    v.Chk_RepFromLst.Value = 1;
    v.txtImportFile.Text = QStringLiteral("/elsewhere/in.txt");
    v.Combo1List = QStringList{"A", "B"};
    v.Combo1.Text = QStringLiteral("typed");
    window->PushValues();

    EXPECT_EQ(v.ProgressBar1.Value, 50);
    EXPECT_EQ(v.Height, kNormalHeight);
    EXPECT_EQ(Control<QProgressBar>("ProgressBar1")->value(), 50);
    EXPECT_TRUE(Control<QRadioButton>("Option_Import")->isChecked());
    EXPECT_EQ(Control<QComboBox>("Combo1")->currentText(), QStringLiteral("typed"));

    // What was pushed reads back unchanged.
    const frmMainValues pushed = v;
    window->PullValues();
    EXPECT_EQ(v.Combo1.Text, pushed.Combo1.Text);
    EXPECT_EQ(v.txtImportFile.Text, pushed.txtImportFile.Text);
    EXPECT_EQ(v.Option_Import.Value, pushed.Option_Import.Value);
    EXPECT_EQ(v.Chk_view.Value, pushed.Chk_view.Value);

    // Neither option: start-up leaves both cleared for an unknown saved mode.
    v.Option_Import.Value = false;
    window->PushValues();
    EXPECT_FALSE(Control<QRadioButton>("Option_Batch")->isChecked());
    EXPECT_FALSE(Control<QRadioButton>("Option_Import")->isChecked());
}

TEST_F(frmMainTest, TypingRunsAHandlerOnlyInTheImportFileBox)
{
    Start();
    auto type = [this](const char *name) {
        v.ProgressBar1.Value = 7;
        window->PushValues();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(Control(name), &key);
        return v.ProgressBar1.Value;
    };
    EXPECT_EQ(type("Text1"), 7);
    EXPECT_EQ(type("txtImportFile"), 0);
    EXPECT_EQ(v.txtImportFile.Text, QStringLiteral("x"));
}

TEST_F(frmMainTest, BrowseShowsTheChosenFile)
{
    Set("Option", QStringLiteral("Import"));
    Start();
    picker.answers = {importFile};
    Control<QPushButton>("cmdFile")->click();
    EXPECT_EQ(picker.asked, QStringList{QStringLiteral("Browse for file...|Import (*.txt *.csv)")});
    EXPECT_EQ(Control<QLineEdit>("txtImportFile")->text(), importFile);
    EXPECT_EQ(Control<QPlainTextEdit>("txtViewImport")->toPlainText(), QStringLiteral("R1,7\nR2,8\n"));
}

TEST_F(frmMainTest, RunProgressReachesTheWidgetsWithoutAPush)
{
    Start();
    auto *bar = Control<QProgressBar>("ProgressBar1");
    const struct
    {
        int min, max, value;
        int shownMax, shownValue;
    } cases[] = {
        {0, 40, 10, 40, 10},
        {0, 0, 0, 1, 0},   // no record to update: an empty bar, not a busy one
        {0, 5, 9, 5, 5},   // beyond the maximum: full
    };
    for (const auto &c : cases) {
        v.ProgressBar1 = {c.min, c.max, c.value};
        v.Notify();
        EXPECT_EQ(bar->maximum(), c.shownMax) << c.max;
        EXPECT_EQ(bar->value(), c.shownValue) << c.max;
    }

    v.lberrcount.Caption = QStringLiteral("Errors 3");
    v.MousePointer = kBusyPointer;
    v.Notify();
    EXPECT_EQ(Control<QLabel>("lberrcount")->text(), QStringLiteral("Errors 3"));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    v.MousePointer = kDefaultPointer;
    v.Notify();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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
    auto *timer = Control<QTimer>("Timer1");
    timer->setInterval(5);

    bool enabledWhileOpen = false;
    int runsWhileOpen = -1;
    msg.whileOpen = [&] {
        ProcessEventsUntil([&] { return !timer->isActive(); });
        enabledWhileOpen = v.Timer1Enabled;
        runsWhileOpen = timerRuns;
    };
    window->Handle([this] { form->Form_Activate(); });

    ASSERT_EQ(msg.shown.size(), 1);
    EXPECT_TRUE(msg.shown[0].startsWith(QStringLiteral("Cannot find import file ")));
    EXPECT_TRUE(enabledWhileOpen);
    EXPECT_EQ(runsWhileOpen, 0);
    EXPECT_EQ(timerRuns, 1);
    EXPECT_FALSE(v.Timer1Enabled);
    ProcessEventsUntil([] { return true; }, 30);
    EXPECT_EQ(timerRuns, 1);
}

TEST_F(frmMainTest, ActivationRunsFormActivateButNotOnReturnFromAMessageBox)
{
    Set("Option", QStringLiteral("Import"));
    Set("Import_File", importFile);
    Start();
    auto reads = [this] { return fs.Calls(FaultyFileSystem::Op::ReadWhole); };
    window->show();
    window->activateWindow();
    ProcessEventsUntil([&] { return window->isActiveWindow(); });
    ASSERT_TRUE(window->isActiveWindow());
    EXPECT_EQ(reads(), 1);
    EXPECT_EQ(Control<QPlainTextEdit>("txtViewImport")->toPlainText(), QStringLiteral("R1,7\nR2,8\n"));

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
    auto activated = [&] {
        ProcessEventsUntil([&] { return window->isActiveWindow(); });
        return window->isActiveWindow();
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
