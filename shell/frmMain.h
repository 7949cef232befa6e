#pragma once

#include "MainForm.h"
#include "frmMainValues.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QDialog;
class QLabel;
class QProgressBar;
class QTimer;

struct frmMainControl;

// The main window. It owns no state of its own: the values object is the
// truth, MainForm's handlers change it, and the window mirrors it. Every
// handler runs through Handle, which copies the operator's input into the
// values, runs the handler and shows the result.
//
// Form_Activate runs once for each show of the window, whether or not the
// window system activates it (a bare X server without a window manager
// activates nothing), and once when a modal window of ShowModal closes.
//
// Handlers are never re-entered. A message box inside a handler runs an event
// loop; meanwhile a window activation is ignored (as is the one that returns
// from the message box), and a firing of the start-up timer, or the first
// activation of a show, is kept and run once as soon as the running handler
// returns.
//
// Each control is a child widget whose object name is the control's name,
// made, filled and read back from one table of the design (frmMain.cpp); the
// never-seen working controls (txtLoglist, List1, List2, Text3, DataCombo1,
// Adodc1) have no widget, their contents live in the values only.
class frmMain final : public QMainWindow
{
    Q_OBJECT

public:
    // v and form must outlive the window.
    frmMain(frmMainValues &v, MainForm &form, QWidget *parent = nullptr);
    ~frmMain() override;

    // Timer1's delay after Form_Load as designed.
    static constexpr int kTimer1Ms = 1000;

    // Runs Form_Load, then starts Timer1 (once, after timerMs) if Form_Load enabled it.
    void Start(int timerMs = kTimer1Ms);

    // Runs handler as the window's handlers run: the operator's input is
    // pulled into the values before, the values are pushed into the widgets
    // after. A call while another handler runs is dropped.
    void Handle(const std::function<void()> &handler);

    // Creates one of the program's modal windows with create, shows it over
    // this one and discards it when it has closed. The values are pulled
    // before it is created and pushed after it has closed, since it may read
    // and change them. Closing it hands the activation back to this window,
    // which runs Form_Activate exactly once, whether or not the platform
    // reports the activation (the activation changes it reports meanwhile run
    // nothing).
    void ShowModal(const std::function<std::unique_ptr<QDialog>()> &create);

    // Copies the values into the widgets without firing any handler.
    void PushValues();
    // Copies what the operator can change into the values.
    void PullValues();

signals:
    // The menu commands. They are emitted outside Handle: a modal window
    // opened from them goes through ShowModal, whose closing runs
    // Form_Activate, and a command that only runs a handler calls Handle.
    void mnuOpen_Click();
    void mnuConfigList_Click();
    void mnuSetup_Click();
    void mnuPreview_Click();
    void mnuUndo_Click();
    void mnuLog_Click();
    void mnuOpenFennic_Click();
    void mnuHelp_Click();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void BuildControls();
    void BuildMenu();
    void Connect();

    void ApplyHeight();
    // Fits the captions given, or every one: a caption's size depends on
    // its own text alone.
    void FitCaptions(std::initializer_list<const QWidget *> only = {});
    void ShowProgressBar();
    void ShowMousePointer();
    // The v.Changed hook: shows the run's progress at once, without events.
    void ShowRunProgress();
    void Timer1Fired();
    // Makes this window the active one unless it is, running no handler for it.
    void TakeActivation();
    // Runs Form_Activate for an activation of the window.
    void RunActivation();
    // The first activation of a show, when the window system has not given it.
    void FirstActivation();

    frmMainValues &v;
    MainForm &form;

    // Each control of the design with its widget. shown is the text last put
    // into a read-only view, which is not read back.
    struct Control
    {
        const frmMainControl *design;
        QWidget *widget;
        QString shown;
    };
    std::vector<Control> controls_;
    // What a run shows without a push.
    QLabel *lberrcount = nullptr;
    QLabel *LBCounter = nullptr;
    QLabel *LBtext = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QTimer *Timer1 = nullptr;

    bool running_ = false;
    bool timerFired_ = false;
    // The window lost activation while a handler ran (to one of its message
    // boxes): the activation that comes back is not a new activation.
    bool ignoreActivation_ = false;
    // A modal window of ShowModal is open or closing, or the window takes the
    // activation itself: the activations meanwhile are not new ones.
    bool modalOpen_ = false;
    // Shown, and Form_Activate has not run since.
    bool activationOwed_ = false;
    bool waitCursor_ = false;
    bool centred_ = false;
};
