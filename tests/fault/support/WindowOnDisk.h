#pragma once

#include "../../gui/WindowRig.h"
#include "IniSettingsStore.h"

// The window rig's main window over real files only: the settings file
// Tavrin.ini in the program folder is read and written by the real settings
// store.
struct WindowOnDisk : WindowParts
{
    // Creates the main window, runs its start-up and shows it.
    frmMain &Start()
    {
        WindowParts::Start(settings);
        window->show();
        return *window;
    }

    TempFolder &tmp = folder;  // the program folder, by the name the fault tests use
    IniSettingsStore settings{folder.File("Tavrin.ini")};
    std::unique_ptr<QWidget> dialog;  // another window, opened by the test
};
