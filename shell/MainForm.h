#pragma once

#include "Engine.h"
#include "FilePicker.h"
#include "ProgramStarter.h"
#include "SettingsStore.h"
#include "frmMainValues.h"

#include <functional>

// The main window's handlers, working on its values: start-up, activation,
// the start-up timer, the mode layouts, Browse, Save, the run commands and the
// sibling editor.
// No widget is touched here; the window mirrors the values before and after
// every handler.
class MainForm final : public ProgressReport
{
public:
    MainForm(frmMainValues &v, CardStore &store, Services &services, SettingsStore &settings, FilePicker &picker,
             ProgramStarter &starter);

    void Form_Load();
    void Form_Activate();
    void Timer1_Timer();

    void Option_Batch_Click();
    void Option_Import_Click();
    void Chk_view_Click();
    void cmdFile_Click();
    void Command2_Click();
    void Combo1_Click();
    void txtImportFile_Change();

    void cmdexeNow_Click();
    void Command3_Click();
    // Shows the replacement list in place of the single replace pair, or back.
    void Chk_RepFromLst_Click();

    // Where the last run stands.
    const RunProgress &Progress() const { return progress_; }
    // Shows a run's progress on the window's values, and tells ProgressWatcher.
    void Changed(const RunProgress &progress) override;
    ProgressReport *ProgressWatcher = nullptr;
    // Shows the run's summary in the status bar and, unattended, on
    // standard error (MessageBox::Note).
    void RunEnded(const RunProgress &progress) override;

    // The run that Execute or Import would start now, as the window's values
    // describe it.
    RunRequest Request() const;

    // Undo Last Run on the card database that Card_Database names; confirm
    // is shown what the run changed and says whether to go on.
    Engine::UndoEnd UndoLastRun(const std::function<bool(const QString &)> &confirm);

    // Starts the sibling editor from the program folder, without waiting; a
    // start that cannot happen is reported.
    void mnuOpenFennic_Click();

    // True once the start-up timer has started a run.
    bool RunStarted() const { return runStarted_; }
    // Called when the start-up timer's handler returns (an automatic run that
    // completes never returns: the program ends at its completion entry).
    std::function<void()> TimerDone;

private:
    void LoadSettings();
    template <typename Command>
    void Run(Command command);
    void EmptyProgressBar();
    void ShowLoadedCount(bool shown);
    void RegisterDataLibraries();

    frmMainValues &v;
    CardStore &store;
    Services &s;
    SettingsStore &settings;
    FilePicker &picker;
    ProgramStarter &starter;
    RunRequest run_;
    RunProgress progress_;
    Engine engine;
    bool runStarted_ = false;
    // The captions of the loaded and error counts last reported.
    struct CountCaption
    {
        long long count = 0;
        QString text;
    };
    CountCaption loadedCaption_, errorCaption_;
};
