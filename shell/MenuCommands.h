#pragma once

#include "CardStore.h"
#include "DocumentViewer.h"
#include "MainForm.h"
#include "ProgramStarter.h"
#include "Services.h"
#include "SettingsStore.h"
#include "frmMain.h"
#include "frmMainValues.h"

// The main window's menu commands. Each auxiliary window is created when its
// entry is chosen, shown modally over the main window and discarded when it
// closes, after which the main window's activation runs again. The two
// outside programs start inside a handler of the main window, so that closing
// their message runs no activation. Connects itself to the window's menu and
// must live as long as the window.
//
// Help shows the help file "kvr_Bulkrun.hlp" of the program folder in the
// Windows help viewer (winhlp32 from the PATH, or wine's own) when both are
// there, and otherwise the program's own HTML manual.
class MenuCommands
{
public:
    MenuCommands(frmMain &window, MainForm &form, frmMainValues &v, CardStore &store, Services &services,
                 SettingsStore &settings, ProgramStarter &starter, DocumentViewer &manual);

    void mnuOpen_Click();
    void mnuConfigList_Click();
    void mnuSetup_Click();
    // Walks the run that Execute or Import would start, writing nothing,
    // and shows what it would do.
    void mnuPreview_Click();
    // Takes back the last run, once the operator said Yes to what it changed.
    void mnuUndo_Click();
    void mnuLog_Click();
    void mnuHelp_Click();

private:
    frmMain &window;
    MainForm &form;
    frmMainValues &v;
    CardStore &store;
    Services &s;
    SettingsStore &settings;
    ProgramStarter &starter;
    DocumentViewer &manual;
};
