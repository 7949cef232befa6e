#pragma once

#include "MainForm.h"
#include "frmMainValues.h"

#include <QMainWindow>
#include <QString>

#include <functional>
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
// Handlers are never re-entered. A message box inside a handler runs an event
// loop; meanwhile a window activation is ignored (as is the one that returns
// from the message box), and a firing of the start-up timer is kept and run
// once as soon as the running handler returns.
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

    // Runs Form_Load, then starts Timer1 (once, 1000 ms) if Form_Load enabled it.
    void Start();

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
    void FitCaptions();
    void ShowProgressBar();
    void ShowMousePointer();
    // The v.Changed hook: shows the run's progress at once, without events.
    void ShowRunProgress();
    void Timer1Fired();

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
    // A modal window of ShowModal is open or closing: its activations are ShowModal's.
    bool modalOpen_ = false;
    bool waitCursor_ = false;
    bool centred_ = false;
};
