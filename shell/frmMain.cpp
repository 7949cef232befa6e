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
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <variant>
#include <vector>

// One control of the window as designed: the widget class it is made of, its
// place in twips (in a frame, or else in the client area), the caption or
// text it starts with, the value it mirrors, the handler that the operator's
// click, pick or typing runs, and its tip.
struct frmMainControl
{
    enum class Kind { Frame, Label, Option, Check, Combo, Edit, View, Button };
    // A combo box mirrors its text and offers a list.
    struct ComboValues
    {
        TextBox frmMainValues::*text;
        QStringList frmMainValues::*items;
    };
    using Bound = std::variant<std::monostate, Label frmMainValues::*, TextBox frmMainValues::*,
                               OptionButton frmMainValues::*, CheckBox frmMainValues::*,
                               CommandButton frmMainValues::*, ComboValues>;

    const char *name;
    Kind kind;
    const char *frame;
    QRect place;  // in twips
    const char *caption;
    Bound bound = {};
    void (MainForm::*handler)() = nullptr;
    const char *toolTip = nullptr;
};

namespace {

using Design::Px;
using K = frmMainControl::Kind;
using V = frmMainValues;
using M = MainForm;
using Combo = frmMainControl::ComboValues;

constexpr int kClientWidthTwips = 8565;
// The outer height less the client area: title bar, menu bar and borders.
constexpr int kNonClientTwips = 780;
constexpr int kProgressBarHeight = 17;

// In the order of the tab chain. Controls that share a place take turns
// through the layouts.
const frmMainControl kControls[] = {
    // name            kind       frame      left  top   width height   caption, bound value, handler, tip
    {"Label5",         K::Label,  nullptr,  {300,  180,  4395, 315},  "Tavrin Card Data Import/Batch loader", &V::Label5},
    {"Option_Batch",   K::Option, nullptr,  {5400, 120,  1335, 195},  "Batch Load", &V::Option_Batch, &M::Option_Batch_Click},
    {"Option_Import",  K::Option, nullptr,  {5400, 360,  1335, 255},  "Import File", &V::Option_Import, &M::Option_Import_Click},
    {"lberrcount",     K::Label,  nullptr,  {7080, 240,  1035, 255},  "Errors 0", &V::lberrcount},
    {"Frame1",         K::Frame,  nullptr,  {120,  720,  4100, 1740}, "Search For"},
    {"Label1",         K::Label,  "Frame1", {120,  360,  975,  255},  "Search Field"},
    {"Combo1",         K::Combo,  "Frame1", {1320, 360,  2655, 315},  "Combo1", Combo{&V::Combo1, &V::Combo1List}, &M::Combo1_Click},
    {"Label2",         K::Label,  "Frame1", {120,  840,  1335, 255},  "Search Criteria", &V::Label2},
    {"Text1",          K::Edit,   "Frame1", {1320, 840,  2650, 285},  "Find", &V::Text1},
    {"txtSearch_col",  K::Edit,   "Frame1", {1560, 840,  1035, 285},  "0", &V::txtSearch_col, nullptr,
     "Select item no in import file record for search value."},
    {"Frame2",         K::Frame,  nullptr,  {4320, 720,  4100, 1725}, "Replace With"},
    {"Label3",         K::Label,  "Frame2", {120,  360,  1095, 255},  "Replace Field", &V::Label3},
    {"Combo2",         K::Combo,  "Frame2", {1320, 360,  2655, 315},  "Combo2", Combo{&V::Combo2, &V::Combo2List}},
    {"Label4",         K::Label,  "Frame2", {120,  840,  1275, 255},  "Replace Value", &V::Label4},
    {"Text2",          K::Edit,   "Frame2", {1320, 840,  2650, 285},  "Replace", &V::Text2},
    {"txtReplace_col", K::Edit,   "Frame2", {1560, 840,  975,  285},  "1", &V::txtReplace_col, nullptr,
     "Select item no in import file record for replace value"},
    {"txtshowlist",    K::View,   "Frame2", {120,  240,  3855, 1035}, "Text4", &V::txtshowlist},
    {"Chk_RepFromLst", K::Check,  "Frame2", {120,  1320, 3795, 375},  " List of multiple  Fields and Values to be replaced",
     &V::Chk_RepFromLst, &M::Chk_RepFromLst_Click},
    {"cmdexeNow",      K::Button, nullptr,  {120,  2580, 915,  315},  "Execute", &V::cmdexeNow, &M::cmdexeNow_Click,
     "Excecute Search and Replace settings"},
    {"Command3",       K::Button, nullptr,  {120,  2580, 915,  315},  "Import", &V::Command3, &M::Command3_Click},
    {"txtImportFile",  K::Edit,   nullptr,  {1080, 2580, 3255, 315},  "", &V::txtImportFile, &M::txtImportFile_Change,
     "File to be imported"},
    {"cmdFile",        K::Button, nullptr,  {4380, 2580, 855,  315},  "Browse", &V::cmdFile, &M::cmdFile_Click},
    {"LBCounter",      K::Label,  nullptr,  {3000, 2580, 735,  255},  "0", &V::LBCounter},
    {"LBtext",         K::Label,  nullptr,  {3900, 2580, 1275, 255},  "Records Loaded", &V::LBtext},
    {"Chk_view",       K::Check,  nullptr,  {5520, 2580, 1575, 255},  "View Import File", &V::Chk_view, &M::Chk_view_Click},
    {"Command2",       K::Button, nullptr,  {7500, 2580, 915,  315},  "Save", {}, &M::Command2_Click,
     "Save Settings for auto run"},
    {"txtViewImport",  K::View,   nullptr,  {40,   3060, 8475, 2115}, "", &V::txtViewImport},
};

// A control's widget, placed and named as designed, with its tip and, where
// it has a text of its own, its caption.
template <typename W>
W *Make(QWidget *parent, const frmMainControl &control)
{
    const QRect &place = control.place;
    W *widget = Design::Place<W>(parent, control.name, place.x(), place.y(), place.width(), place.height());
    if constexpr (requires { widget->setText(QString()); })
        widget->setText(QString::fromUtf8(control.caption));
    if (control.toolTip)
        widget->setToolTip(QString::fromUtf8(control.toolTip));
    return widget;
}

QWidget *Create(const frmMainControl &control, QWidget *parent)
{
    const QString caption = QString::fromUtf8(control.caption);
    switch (control.kind) {
    case K::Label:
        return Make<QLabel>(parent, control);
    case K::Option:
        return Make<QRadioButton>(parent, control);
    case K::Check:
        return Make<QCheckBox>(parent, control);
    case K::Button:
        return Make<QPushButton>(parent, control);
    case K::Edit:
        return Make<QLineEdit>(parent, control);
    case K::Frame: {
        auto *frame = Make<QGroupBox>(parent, control);
        frame->setTitle(caption);
        return frame;
    }
    case K::Combo: {
        // Takes any text; the list offers the card table's fields and never
        // grows by what is typed.
        auto *combo = Make<QComboBox>(parent, control);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setEditText(caption);
        return combo;
    }
    case K::View: {
        auto *view = Make<QPlainTextEdit>(parent, control);
        view->setPlainText(caption);
        view->setReadOnly(true);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return view;
    }
    }
    return nullptr;
}

// Frames draw their caption bold; what they hold keeps the window's font.
void KeepFontOfWindow(QWidget *child)
{
    QFont font = child->font();
    font.setBold(false);
    child->setFont(font);
}

template <typename W>
void SetText(W *widget, const QString &text)
{
    if (widget->text() != text)
        widget->setText(text);
}

// A read-only view is set only when its text changed, so that its scroll
// position survives the pushes that follow every handler, and only once the
// area it lies in holds all of it: the import file's view lies below the
// normal layout, and laying out a large file there is most of what an
// unattended import's window costs.
void SetText(QPlainTextEdit *view, QString &shown, const QString &text)
{
    if (shown == text || view->geometry().bottom() >= view->parentWidget()->height())
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

// Shows a control's value in its widget.
struct Push
{
    const V &v;
    QWidget *widget;
    K kind;
    QString &shown;

    void operator()(std::monostate) const {}
    void operator()(Label V::*label) const
    {
        SetText(static_cast<QLabel *>(widget), (v.*label).Caption);
        widget->setVisible((v.*label).Visible);
    }
    void operator()(TextBox V::*box) const
    {
        if (kind == K::View)
            SetText(static_cast<QPlainTextEdit *>(widget), shown, (v.*box).Text);
        else
            SetText(static_cast<QLineEdit *>(widget), (v.*box).Text);
        widget->setVisible((v.*box).Visible);
    }
    void operator()(Combo combo) const
    {
        SetCombo(static_cast<QComboBox *>(widget), v.*combo.items, (v.*combo.text).Text);
        widget->setVisible((v.*combo.text).Visible);
    }
    // Both options may be cleared (a saved mode that names neither), which
    // an exclusive pair refuses; exclusiveness is lifted while one is set.
    void operator()(OptionButton V::*option) const
    {
        auto *button = static_cast<QRadioButton *>(widget);
        button->setAutoExclusive(false);
        button->setChecked((v.*option).Value);
        button->setAutoExclusive(true);
        widget->setVisible((v.*option).Visible);
    }
    void operator()(CheckBox V::*check) const
    {
        static_cast<QCheckBox *>(widget)->setChecked((v.*check).Value == 1);
        widget->setVisible((v.*check).Visible);
    }
    void operator()(CommandButton V::*button) const { widget->setVisible((v.*button).Visible); }
};

// Copies into a control's value what the operator can change in its widget.
struct Pull
{
    V &v;
    QWidget *widget;
    K kind;

    void operator()(TextBox V::*box) const
    {
        if (kind == K::Edit)
            (v.*box).Text = static_cast<QLineEdit *>(widget)->text();
    }
    void operator()(Combo combo) const { (v.*combo.text).Text = static_cast<QComboBox *>(widget)->currentText(); }
    void operator()(OptionButton V::*option) const
    {
        (v.*option).Value = static_cast<QRadioButton *>(widget)->isChecked();
    }
    void operator()(CheckBox V::*check) const { (v.*check).Value = static_cast<QCheckBox *>(widget)->isChecked() ? 1 : 0; }
    template <typename ShownOnly>
    void operator()(ShownOnly) const
    {
    }
};

// Repaints a widget now; a widget just hidden leaves its place to its parent.
void RepaintNow(QWidget *widget)
{
    if (widget->isVisible())
        widget->repaint();
    else if (QWidget *parent = widget->parentWidget())
        parent->repaint(widget->geometry());
}

// Whether the bar shows value otherwise than its value now: another whole
// per cent, or another pixel of its width. Qt asks the same before it
// repaints, but at the price of formatting the bar's text, which a run that
// moves the bar once per record cannot afford; a value that changes neither
// waits for the next that does (the last value of a run is the bar's
// minimum or maximum, or the push after the run's handler).
bool Moves(const QProgressBar &bar, int value)
{
    const int shown = bar.value();
    if (value == shown || value == bar.minimum() || value == bar.maximum())
        return value != shown;
    const qint64 range = qint64(bar.maximum()) - bar.minimum();
    const auto part = [&](int v, qint64 whole) { return (qint64(v) - bar.minimum()) * whole / range; };
    return part(value, 100) != part(shown, 100) || part(value, bar.width()) != part(shown, bar.width());
}

} // namespace

frmMain::frmMain(frmMainValues &v, MainForm &form, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      v(v), form(form)
{
    setObjectName(QStringLiteral("frmMain"));
    Design::UseDesignFont(this);
    BuildControls();
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

    for (const frmMainControl &control : kControls) {
        QWidget *parent = control.frame ? client->findChild<QWidget *>(QLatin1String(control.frame)) : client;
        controls_.push_back({&control, Create(control, parent), QString()});
    }
    // Saved values may be of any length; a line edit's own limit would cut
    // them to 32,767 characters, and Save would then store the cut text.
    for (QLineEdit *box : client->findChildren<QLineEdit *>())
        box->setMaxLength(std::numeric_limits<int>::max());

    auto *Label5 = client->findChild<QLabel *>(QStringLiteral("Label5"));
    QFont heading = Label5->font();
    heading.setBold(true);
    heading.setPointSizeF(9.75);
    Label5->setFont(heading);
    for (auto *frame : client->findChildren<QGroupBox *>()) {
        QFont bold = frame->font();
        bold.setBold(true);
        frame->setFont(bold);
        for (QWidget *child : frame->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            KeepFontOfWindow(child);
    }
    // The import file's view keeps its lines whole and scrolls both ways.
    auto *txtViewImport = client->findChild<QPlainTextEdit *>(QStringLiteral("txtViewImport"));
    txtViewImport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtViewImport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    lberrcount = client->findChild<QLabel *>(QStringLiteral("lberrcount"));
    LBCounter = client->findChild<QLabel *>(QStringLiteral("LBCounter"));
    LBtext = client->findChild<QLabel *>(QStringLiteral("LBtext"));

    // Docked to the bottom edge (ApplyHeight), above whatever lies there.
    ProgressBar1 = Design::Place<QProgressBar>(client, "ProgressBar1", 0, 3045, kClientWidthTwips, 255);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->raise();

    // Below the designed client area, outside its twips layout.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(false);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
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
    addEntry(mnuFile, "mnuPreview", QStringLiteral("&Preview Run"), &frmMain::mnuPreview_Click);
    addEntry(mnuFile, "mnuUndo", QStringLiteral("&Undo Last Run..."), &frmMain::mnuUndo_Click);
    addEntry(mnuFile, "mnuLog", QStringLiteral("View Log"), &frmMain::mnuLog_Click);

    QMenu *mnuFennic = addMenu("mnuFennic", QStringLiteral("Fennic"));
    addEntry(mnuFennic, "mnuOpenFennic", QStringLiteral("Open Fennic"), &frmMain::mnuOpenFennic_Click);

    QMenu *mnuTopHelp = addMenu("mnuTopHelp", QStringLiteral("Help"));
    addEntry(mnuTopHelp, "mnuHelp", QStringLiteral("Open Help"), &frmMain::mnuHelp_Click);
}

void frmMain::Connect()
{
    for (const Control &control : controls_) {
        const auto handler = control.design->handler;
        if (!handler)
            continue;
        // The nested lambdas reach the form and the values through plain
        // pointers, not a captured `this`: UndefinedBehaviorSanitizer's vptr
        // check reported that `this`, read in the inner lambda, as no frmMain.
        MainForm *const handlers = &form;
        frmMainValues *const values = &v;
        auto run = [this, handlers, handler] { Handle([handlers, handler] { (handlers->*handler)(); }); };
        QWidget *widget = control.widget;
        switch (control.design->kind) {
        case K::Option: {
            // Only the option that becomes chosen runs its handler.
            const auto option = std::get<OptionButton V::*>(control.design->bound);
            connect(static_cast<QRadioButton *>(widget), &QRadioButton::toggled, this, [this, values, handlers, option, handler](bool on) {
                if (on)
                    Handle([values, handlers, option, handler] {
                        (values->*option).Value = true;
                        (handlers->*handler)();
                    });
            });
            break;
        }
        case K::Combo:
            connect(static_cast<QComboBox *>(widget), &QComboBox::activated, this, run);
            break;
        case K::Edit:
            connect(static_cast<QLineEdit *>(widget), &QLineEdit::textEdited, this, run);
            break;
        default:
            connect(static_cast<QAbstractButton *>(widget), &QAbstractButton::clicked, this, run);
            break;
        }
    }
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1Fired);
}

void frmMain::Start(int timerMs)
{
    Handle([this] { form.Form_Load(); });
    if (v.Timer1Enabled)
        Timer1->start(timerMs);
}

void frmMain::Handle(const std::function<void()> &handler)
{
    if (running_)
        return;
    {
        const QScopedValueRollback running(running_, true);
        PullValues();
        const auto push = qScopeGuard([this] { PushValues(); });
        handler();
    }
    if (activationOwed_)
        FirstActivation();
    if (timerFired_) {
        timerFired_ = false;
        Handle([this] { form.Timer1_Timer(); });
    }
}

void frmMain::ShowModal(const std::function<std::unique_ptr<QDialog>()> &create)
{
    PullValues();
    {
        const QScopedValueRollback modalOpen(modalOpen_, true);
        create()->exec();
        TakeActivation();
    }
    PushValues();
    RunActivation();
}

// Without a window manager, and on Qt's offscreen platform, no window is
// active once a modal window has closed, and a window that has just been
// shown may never become active. The activation is taken here, through the
// application, so that one the platform delivers later finds this window
// active already and changes nothing.
void frmMain::TakeActivation()
{
    const QScopedValueRollback taking(modalOpen_, true);
    if (isVisible() && !isActiveWindow()) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(this);
        QT_WARNING_POP
        activateWindow();
    }
}

void frmMain::RunActivation()
{
    activationOwed_ = false;
    Handle([this] { form.Form_Activate(); });
}

void frmMain::FirstActivation()
{
    if (!activationOwed_ || running_ || !isVisible())
        return;
    TakeActivation();
    RunActivation();
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
        RunActivation();
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    // The window system's activation, if it gives one, comes after the show;
    // the first one of this show runs no later than the first pass of events.
    activationOwed_ = true;
    QMetaObject::invokeMethod(this, &frmMain::FirstActivation, Qt::QueuedConnection);
    if (centred_)
        return;
    centred_ = true;
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmMain::PullValues()
{
    for (const Control &control : controls_)
        std::visit(Pull{v, control.widget, control.design->kind}, control.design->bound);
}

void frmMain::PushValues()
{
    std::vector<QSignalBlocker> blockers;
    blockers.reserve(controls_.size());
    for (const Control &control : controls_) {
        const K kind = control.design->kind;
        if (kind != K::Frame && kind != K::Label && kind != K::View)
            blockers.emplace_back(control.widget);
    }

    setWindowTitle(v.Caption);
    ApplyHeight();
    for (Control &control : controls_)
        std::visit(Push{v, control.widget, control.design->kind, control.shown}, control.design->bound);
    FitCaptions();
    ShowProgressBar();
    ShowMousePointer();
    if (statusBar()->currentMessage() != v.StatusText)
        statusBar()->showMessage(v.StatusText);
}

// The client area under the menu bar is the outer height less the window's
// non-client parts; the progress bar stays docked to its bottom edge.
void frmMain::ApplyHeight()
{
    const int width = Px(kClientWidthTwips);
    const int height = std::max(0, Px(v.Height - kNonClientTwips));
    centralWidget()->setFixedSize(width, height);
    ProgressBar1->setGeometry(0, height - kProgressBarHeight, width, kProgressBarHeight);
    setFixedSize(width, menuBar()->sizeHint().height() + height + statusBar()->sizeHint().height());
}

void frmMain::FitCaptions(std::initializer_list<const QWidget *> only)
{
    for (const Control &control : controls_) {
        const K kind = control.design->kind;
        const bool asked = only.size() == 0 || std::find(only.begin(), only.end(), control.widget) != only.end();
        if (asked && (kind == K::Label || kind == K::Option || kind == K::Check))
            Design::FitCaption(control.widget, Px(control.design->place.width()));
    }
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
    } else if (Moves(*ProgressBar1, value)) {
        ProgressBar1->setValue(value);  // repaints by itself
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
        FitCaptions({lberrcount});
        RepaintNow(lberrcount);
    }
    const bool counterChanged = LBCounter->text() != v.LBCounter.Caption
                                || LBCounter->isVisibleTo(this) != v.LBCounter.Visible
                                || LBtext->isVisibleTo(this) != v.LBtext.Visible;
    if (counterChanged) {
        // An import counts each line's records with the counter hidden: a
        // caption that stays hidden is neither fitted nor painted.
        const bool seen = LBCounter->isVisibleTo(this) || LBtext->isVisibleTo(this) || v.LBCounter.Visible || v.LBtext.Visible;
        LBCounter->setText(v.LBCounter.Caption);
        LBCounter->setVisible(v.LBCounter.Visible);
        LBtext->setVisible(v.LBtext.Visible);
        if (seen) {
            FitCaptions({LBCounter, LBtext});
            RepaintNow(LBCounter);
            RepaintNow(LBtext);
        }
    }
    ShowMousePointer();
}
