#include "frmMain.h"

#include "Design.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

using Design::Px;

constexpr int kClientWidthTwips = 8565;
// The outer height less the client area: title bar, menu bar and borders.
constexpr int kNonClientTwips = 780;
constexpr int kProgressBarHeight = 17;

template <typename W>
W *Make(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    return Design::Place<W>(parent, name, left, top, width, height);
}

// Frames draw their caption bold; what they hold keeps the window's font.
void KeepFontOfWindow(QWidget *child)
{
    QFont font = child->font();
    font.setBold(false);
    child->setFont(font);
}

void SetText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

void SetText(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

// A read-only view is set only when its text changed, so that its scroll
// position survives the pushes that follow every handler.
void SetText(QPlainTextEdit *view, QString &shown, const QString &text)
{
    if (shown == text)
        return;
    shown = text;
    view->setPlainText(text);
}

void SetCombo(QComboBox *combo, const QStringList &items, const QString &text)
{
    QStringList current;
    current.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        current << combo->itemText(i);
    if (current != items) {
        combo->clear();
        combo->addItems(items);
    }
    if (combo->currentText() != text)
        combo->setEditText(text);
}

// A caption is never clipped: a label, check box or option button whose text
// needs more than its designed width grows to the right, as far as its parent
// allows, and goes back to the designed width when the text is short again.
void FitCaption(QWidget *widget, int designedWidth)
{
    const int room = widget->parentWidget()->width() - widget->x() - 1;
    const int width = std::max(designedWidth, std::min(widget->sizeHint().width(), room));
    if (width != widget->width())
        widget->resize(width, widget->height());
}

// Repaints a widget now; a widget just hidden leaves its place to its parent.
void RepaintNow(QWidget *widget)
{
    if (widget->isVisible())
        widget->repaint();
    else if (QWidget *parent = widget->parentWidget())
        parent->repaint(widget->geometry());
}

} // namespace

frmMain::frmMain(frmMainValues &v, MainForm &form, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      v(v), form(form)
{
    setObjectName(QStringLiteral("frmMain"));
    Design::UseDesignFont(this);
    BuildControls();
    for (QWidget *child : centralWidget()->findChildren<QWidget *>()) {
        if (qobject_cast<QLabel *>(child) || qobject_cast<QCheckBox *>(child) || qobject_cast<QRadioButton *>(child))
            captions_.push_back({child, child->width()});
    }
    FitCaptions();
    BuildMenu();
    Connect();
    ApplyHeight();
    v.Changed = [this] { ShowRunProgress(); };
}

frmMain::~frmMain()
{
    v.Changed = nullptr;
    if (waitCursor_)
        QApplication::restoreOverrideCursor();
}

void frmMain::BuildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Label5 = Make<QLabel>(client, "Label5", 300, 180, 4395, 315);
    Label5->setText(QStringLiteral("Tavrin Card Data Import/Batch loader"));
    QFont heading = Label5->font();
    heading.setBold(true);
    heading.setPointSizeF(9.75);
    Label5->setFont(heading);

    Option_Batch = Make<QRadioButton>(client, "Option_Batch", 5400, 120, 1335, 195);
    Option_Batch->setText(QStringLiteral("Batch Load"));
    Option_Import = Make<QRadioButton>(client, "Option_Import", 5400, 360, 1335, 255);
    Option_Import->setText(QStringLiteral("Import File"));
    lberrcount = Make<QLabel>(client, "lberrcount", 7080, 240, 1035, 255);
    lberrcount->setText(QStringLiteral("Errors 0"));

    auto *Frame1 = Make<QGroupBox>(client, "Frame1", 120, 720, 4100, 1740);
    Frame1->setTitle(QStringLiteral("Search For"));
    auto *Label1 = Make<QLabel>(Frame1, "Label1", 120, 360, 975, 255);
    Label1->setText(QStringLiteral("Search Field"));
    Combo1 = Make<QComboBox>(Frame1, "Combo1", 1320, 360, 2655, 315);
    Label2 = Make<QLabel>(Frame1, "Label2", 120, 840, 1335, 255);
    Label2->setText(QStringLiteral("Search Criteria"));
    Text1 = Make<QLineEdit>(Frame1, "Text1", 1320, 840, 2650, 285);
    Text1->setText(QStringLiteral("Find"));
    txtSearch_col = Make<QLineEdit>(Frame1, "txtSearch_col", 1560, 840, 1035, 285);
    txtSearch_col->setText(QStringLiteral("0"));
    txtSearch_col->setToolTip(QStringLiteral("Select item no in import file record for search value."));

    auto *Frame2 = Make<QGroupBox>(client, "Frame2", 4320, 720, 4100, 1725);
    Frame2->setTitle(QStringLiteral("Replace With"));
    Label3 = Make<QLabel>(Frame2, "Label3", 120, 360, 1095, 255);
    Label3->setText(QStringLiteral("Replace Field"));
    Combo2 = Make<QComboBox>(Frame2, "Combo2", 1320, 360, 2655, 315);
    Label4 = Make<QLabel>(Frame2, "Label4", 120, 840, 1275, 255);
    Label4->setText(QStringLiteral("Replace Value"));
    Text2 = Make<QLineEdit>(Frame2, "Text2", 1320, 840, 2650, 285);
    Text2->setText(QStringLiteral("Replace"));
    txtReplace_col = Make<QLineEdit>(Frame2, "txtReplace_col", 1560, 840, 975, 285);
    txtReplace_col->setText(QStringLiteral("1"));
    txtReplace_col->setToolTip(QStringLiteral("Select item no in import file record for replace value"));
    txtshowlist = Make<QPlainTextEdit>(Frame2, "txtshowlist", 120, 240, 3855, 1035);
    txtshowlist->setPlainText(QStringLiteral("Text4"));
    txtshowlist->setReadOnly(true);
    txtshowlist->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtshowlist->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Chk_RepFromLst = Make<QCheckBox>(Frame2, "Chk_RepFromLst", 120, 1320, 3795, 375);
    Chk_RepFromLst->setText(QStringLiteral(" List of multiple  Fields and Values to be replaced"));

    for (QGroupBox *frame : {Frame1, Frame2}) {
        QFont bold = frame->font();
        bold.setBold(true);
        frame->setFont(bold);
        for (QWidget *child : frame->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            KeepFontOfWindow(child);
    }
    // Combo1 and Combo2 take any text; their lists offer the card table's
    // fields and never grow by what is typed.
    for (QComboBox *combo : {Combo1, Combo2}) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setEditText(combo->objectName());
    }

    cmdexeNow = Make<QPushButton>(client, "cmdexeNow", 120, 2580, 915, 315);
    cmdexeNow->setText(QStringLiteral("Execute"));
    cmdexeNow->setToolTip(QStringLiteral("Excecute Search and Replace settings"));
    Command3 = Make<QPushButton>(client, "Command3", 120, 2580, 915, 315);
    Command3->setText(QStringLiteral("Import"));
    txtImportFile = Make<QLineEdit>(client, "txtImportFile", 1080, 2580, 3255, 315);
    txtImportFile->setToolTip(QStringLiteral("File to be imported"));
    cmdFile = Make<QPushButton>(client, "cmdFile", 4380, 2580, 855, 315);
    cmdFile->setText(QStringLiteral("Browse"));
    LBCounter = Make<QLabel>(client, "LBCounter", 3000, 2580, 735, 255);
    LBCounter->setText(QStringLiteral("0"));
    LBtext = Make<QLabel>(client, "LBtext", 3900, 2580, 1275, 255);
    LBtext->setText(QStringLiteral("Records Loaded"));
    Chk_view = Make<QCheckBox>(client, "Chk_view", 5520, 2580, 1575, 255);
    Chk_view->setText(QStringLiteral("View Import File"));
    Command2 = Make<QPushButton>(client, "Command2", 7500, 2580, 915, 315);
    Command2->setText(QStringLiteral("Save"));
    Command2->setToolTip(QStringLiteral("Save Settings for auto run"));

    // Saved values may be of any length; a line edit's own limit would cut
    // them to 32,767 characters, and Save would then store the cut text.
    for (QLineEdit *box : {Text1, Text2, txtSearch_col, txtReplace_col, txtImportFile, Combo1->lineEdit(), Combo2->lineEdit()})
        box->setMaxLength(std::numeric_limits<int>::max());

    txtViewImport = Make<QPlainTextEdit>(client, "txtViewImport", 40, 3060, 8475, 2115);
    txtViewImport->setReadOnly(true);
    txtViewImport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtViewImport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtViewImport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // Docked to the bottom edge (ApplyHeight), above whatever lies there.
    ProgressBar1 = Make<QProgressBar>(client, "ProgressBar1", 0, 3045, kClientWidthTwips, 255);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1000);
}

void frmMain::BuildMenu()
{
    auto addMenu = [this](const char *name, const QString &caption) {
        QMenu *menu = menuBar()->addMenu(caption);
        menu->setObjectName(QLatin1String(name));
        return menu;
    };
    auto addEntry = [this](QMenu *menu, const char *name, const QString &caption, void (frmMain::*command)()) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, command] { emit(this->*command)(); });
    };

    QMenu *mnuFile = addMenu("mnuFile", QStringLiteral("File"));
    addEntry(mnuFile, "mnuOpen", QStringLiteral("Edit Import File"), &frmMain::mnuOpen_Click);
    addEntry(mnuFile, "mnuConfigList", QStringLiteral("Edit Multiple Field List"), &frmMain::mnuConfigList_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuLine"));
    addEntry(mnuFile, "mnuSetup", QStringLiteral("Setup "), &frmMain::mnuSetup_Click);
    addEntry(mnuFile, "mnuLog", QStringLiteral("View Log"), &frmMain::mnuLog_Click);

    QMenu *mnuFennic = addMenu("mnuFennic", QStringLiteral("Fennic"));
    addEntry(mnuFennic, "mnuOpenFennic", QStringLiteral("Open Fennic"), &frmMain::mnuOpenFennic_Click);

    QMenu *mnuTopHelp = addMenu("mnuTopHelp", QStringLiteral("Help"));
    addEntry(mnuTopHelp, "mnuHelp", QStringLiteral("Open Help"), &frmMain::mnuHelp_Click);
}

void frmMain::Connect()
{
    frmMain *const self = this;
    MainForm *const handlers = &form;
    auto handle = [self, handlers](void (MainForm::*handler)()) {
        return [self, handlers, handler] { self->Handle([handlers, handler] { (handlers->*handler)(); }); };
    };

    connect(Option_Batch, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Handle([this] {
                v.Option_Batch.Value = true;
                form.Option_Batch_Click();
            });
    });
    connect(Option_Import, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Handle([this] {
                v.Option_Import.Value = true;
                form.Option_Import_Click();
            });
    });
    connect(Chk_view, &QCheckBox::clicked, this, handle(&MainForm::Chk_view_Click));
    connect(Chk_RepFromLst, &QCheckBox::clicked, this, handle(&MainForm::Chk_RepFromLst_Click));
    connect(cmdFile, &QPushButton::clicked, this, handle(&MainForm::cmdFile_Click));
    connect(Command2, &QPushButton::clicked, this, handle(&MainForm::Command2_Click));
    connect(cmdexeNow, &QPushButton::clicked, this, handle(&MainForm::cmdexeNow_Click));
    connect(Command3, &QPushButton::clicked, this, handle(&MainForm::Command3_Click));
    connect(Combo1, &QComboBox::activated, this, handle(&MainForm::Combo1_Click));
    connect(txtImportFile, &QLineEdit::textEdited, this, handle(&MainForm::txtImportFile_Change));
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1Fired);
}

void frmMain::Start()
{
    Handle([this] { form.Form_Load(); });
    if (v.Timer1Enabled)
        Timer1->start();
}

void frmMain::Handle(const std::function<void()> &handler)
{
    if (running_)
        return;
    {
        struct Running
        {
            bool &flag;
            explicit Running(bool &flag) : flag(flag) { flag = true; }
            ~Running() { flag = false; }
        } running{running_};

        PullValues();
        try {
            handler();
        } catch (...) {
            PushValues();
            throw;
        }
        PushValues();
    }
    if (timerFired_) {
        timerFired_ = false;
        Handle([this] { form.Timer1_Timer(); });
    }
}

void frmMain::ShowModal(const std::function<std::unique_ptr<QDialog>()> &create)
{
    PullValues();
    {
        struct ModalOpen
        {
            bool &flag;
            explicit ModalOpen(bool &flag) : flag(flag) { flag = true; }
            ~ModalOpen() { flag = false; }
        } modalOpen{modalOpen_};

        create()->exec();
        // Without a window manager, and on Qt's offscreen platform, no window
        // is active once a modal window has closed. The activation is taken
        // here, through the application, so that one the platform delivers
        // later finds this window active already and changes nothing.
        if (isVisible() && !isActiveWindow()) {
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            QApplication::setActiveWindow(this);
            QT_WARNING_POP
            activateWindow();
        }
    }
    PushValues();
    Handle([this] { form.Form_Activate(); });
}

void frmMain::Timer1Fired()
{
    if (!v.Timer1Enabled)
        return;
    if (running_)
        timerFired_ = true;
    else
        Handle([this] { form.Timer1_Timer(); });
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow()) {
        if (running_)
            ignoreActivation_ = true;
        return;
    }
    const bool returned = running_ || ignoreActivation_ || modalOpen_;
    ignoreActivation_ = false;
    if (!returned)
        Handle([this] { form.Form_Activate(); });
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (centred_ || event->spontaneous())
        return;
    centred_ = true;
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmMain::PullValues()
{
    v.Combo1.Text = Combo1->currentText();
    v.Combo2.Text = Combo2->currentText();
    v.Text1.Text = Text1->text();
    v.Text2.Text = Text2->text();
    v.txtSearch_col.Text = txtSearch_col->text();
    v.txtReplace_col.Text = txtReplace_col->text();
    v.txtImportFile.Text = txtImportFile->text();
    v.Option_Batch.Value = Option_Batch->isChecked();
    v.Option_Import.Value = Option_Import->isChecked();
    v.Chk_view.Value = Chk_view->isChecked() ? 1 : 0;
    v.Chk_RepFromLst.Value = Chk_RepFromLst->isChecked() ? 1 : 0;
}

void frmMain::PushValues()
{
    const std::initializer_list<QObject *> inputs{
        Option_Batch, Option_Import, Combo1,   Combo2,    Text1,    Text2,   txtSearch_col, txtReplace_col,
        txtImportFile, Chk_RepFromLst, Chk_view, cmdexeNow, Command3, cmdFile, Command2};
    std::vector<QSignalBlocker> blockers;
    blockers.reserve(inputs.size());
    for (QObject *input : inputs)
        blockers.emplace_back(input);

    setWindowTitle(v.Caption);
    ApplyHeight();

    Label5->setVisible(v.Label5.Visible);
    SetText(Label5, v.Label5.Caption);

    // Both options may be cleared (a saved mode that names neither), which
    // an exclusive pair refuses; exclusiveness is lifted while they are set.
    Option_Batch->setAutoExclusive(false);
    Option_Import->setAutoExclusive(false);
    Option_Batch->setChecked(v.Option_Batch.Value);
    Option_Import->setChecked(v.Option_Import.Value);
    Option_Batch->setAutoExclusive(true);
    Option_Import->setAutoExclusive(true);
    Option_Batch->setVisible(v.Option_Batch.Visible);
    Option_Import->setVisible(v.Option_Import.Visible);

    SetCombo(Combo1, v.Combo1List, v.Combo1.Text);
    Combo1->setVisible(v.Combo1.Visible);
    SetText(Label2, v.Label2.Caption);
    SetText(Text1, v.Text1.Text);
    Text1->setVisible(v.Text1.Visible);
    SetText(txtSearch_col, v.txtSearch_col.Text);
    txtSearch_col->setVisible(v.txtSearch_col.Visible);

    SetText(Label3, v.Label3.Caption);
    Label3->setVisible(v.Label3.Visible);
    SetCombo(Combo2, v.Combo2List, v.Combo2.Text);
    Combo2->setVisible(v.Combo2.Visible);
    SetText(Label4, v.Label4.Caption);
    Label4->setVisible(v.Label4.Visible);
    SetText(Text2, v.Text2.Text);
    Text2->setVisible(v.Text2.Visible);
    SetText(txtReplace_col, v.txtReplace_col.Text);
    txtReplace_col->setVisible(v.txtReplace_col.Visible);
    SetText(txtshowlist, shownList_, v.txtshowlist.Text);
    txtshowlist->setVisible(v.txtshowlist.Visible);
    Chk_RepFromLst->setChecked(v.Chk_RepFromLst.Value == 1);
    Chk_RepFromLst->setVisible(v.Chk_RepFromLst.Visible);

    cmdexeNow->setVisible(v.cmdexeNow.Visible);
    Command3->setVisible(v.Command3.Visible);
    SetText(txtImportFile, v.txtImportFile.Text);
    txtImportFile->setVisible(v.txtImportFile.Visible);
    cmdFile->setVisible(v.cmdFile.Visible);
    SetText(LBCounter, v.LBCounter.Caption);
    LBCounter->setVisible(v.LBCounter.Visible);
    SetText(LBtext, v.LBtext.Caption);
    LBtext->setVisible(v.LBtext.Visible);
    Chk_view->setChecked(v.Chk_view.Value == 1);
    Chk_view->setVisible(v.Chk_view.Visible);
    SetText(lberrcount, v.lberrcount.Caption);
    lberrcount->setVisible(v.lberrcount.Visible);

    SetText(txtViewImport, shownViewImport_, v.txtViewImport.Text);
    FitCaptions();
    ShowProgressBar();
    ShowMousePointer();
}

// The client area under the menu bar is the outer height less the window's
// non-client parts; the progress bar stays docked to its bottom edge.
void frmMain::ApplyHeight()
{
    const int width = Px(kClientWidthTwips);
    const int height = std::max(0, Px(v.Height - kNonClientTwips));
    centralWidget()->setFixedSize(width, height);
    ProgressBar1->setGeometry(0, height - kProgressBarHeight, width, kProgressBarHeight);
    setFixedSize(width, menuBar()->sizeHint().height() + height);
}

void frmMain::FitCaptions()
{
    for (const Caption &caption : captions_)
        FitCaption(caption.widget, caption.designedWidth);
}

void frmMain::ShowProgressBar()
{
    // A range without width (no record to update) shows an empty bar rather
    // than the busy indicator that Qt draws for it.
    const ProgressBar &bar = v.ProgressBar1;
    const int max = std::max(bar.Max, bar.Min + 1);
    const int value = bar.Max > bar.Min ? std::clamp(bar.Value, bar.Min, bar.Max) : bar.Min;
    if (ProgressBar1->minimum() != bar.Min || ProgressBar1->maximum() != max) {
        ProgressBar1->setRange(bar.Min, max);
        ProgressBar1->setValue(value);
        RepaintNow(ProgressBar1);
    } else {
        ProgressBar1->setValue(value);  // repaints by itself when the bar moves
    }
}

void frmMain::ShowMousePointer()
{
    const bool wait = v.MousePointer == kBusyPointer;
    if (wait == waitCursor_)
        return;
    waitCursor_ = wait;
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmMain::ShowRunProgress()
{
    ShowProgressBar();
    if (lberrcount->text() != v.lberrcount.Caption) {
        lberrcount->setText(v.lberrcount.Caption);
        FitCaptions();
        RepaintNow(lberrcount);
    }
    const bool counterChanged = LBCounter->text() != v.LBCounter.Caption
                                || LBCounter->isVisibleTo(this) != v.LBCounter.Visible
                                || LBtext->isVisibleTo(this) != v.LBtext.Visible;
    if (counterChanged) {
        LBCounter->setText(v.LBCounter.Caption);
        LBCounter->setVisible(v.LBCounter.Visible);
        LBtext->setVisible(v.LBtext.Visible);
        FitCaptions();
        RepaintNow(LBCounter);
        RepaintNow(LBtext);
    }
    ShowMousePointer();
}
