#pragma once

#include "MainForm.h"
#include "frmMainValues.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

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
// Each control is a child widget whose object name is the control's name; the
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

    // Frame1 and Frame2 rows, the mode row and the bottom row.
    QLabel *Label5 = nullptr;
    QRadioButton *Option_Batch = nullptr;
    QRadioButton *Option_Import = nullptr;
    QLabel *lberrcount = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *txtSearch_col = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *Combo2 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *txtReplace_col = nullptr;
    QPlainTextEdit *txtshowlist = nullptr;
    QCheckBox *Chk_RepFromLst = nullptr;
    QPushButton *cmdexeNow = nullptr;
    QPushButton *Command3 = nullptr;
    QLineEdit *txtImportFile = nullptr;
    QPushButton *cmdFile = nullptr;
    QLabel *LBCounter = nullptr;
    QLabel *LBtext = nullptr;
    QCheckBox *Chk_view = nullptr;
    QPushButton *Command2 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QPlainTextEdit *txtViewImport = nullptr;
    QTimer *Timer1 = nullptr;

    // The controls that show a caption, with their designed widths.
    struct Caption
    {
        QWidget *widget;
        int designedWidth;
    };
    std::vector<Caption> captions_;

    // The texts last put into the read-only views, which are not read back.
    QString shownViewImport_;
    QString shownList_;

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
