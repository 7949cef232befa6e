#pragma once

#include "CardDb.h"
#include "DiskFileSystem.h"
#include "Doubles.h"
#include "FilePicker.h"
#include "IniSettingsStore.h"
#include "MainForm.h"
#include "SqliteCardStore.h"
#include "TempFolder.h"
#include "frmMain.h"

#include <memory>

// The main window in this process over real files in a temporary folder: the
// program folder itself, the card database card.db and the settings file
// Tavrin.ini, read and written by the real settings store. Messages are
// recorded; ending the program throws ProgramEnded.
struct WindowOnDisk
{
    WindowOnDisk() { CardDb(tmp.File("card.db")).Exec("CREATE TABLE CARD_DATA (REFERENCE TEXT, TITLE TEXT, QTY INTEGER)"); }

    // Creates the main window, runs its start-up and shows it.
    frmMain &Start()
    {
        form = std::make_unique<MainForm>(v, store, services, settings, picker, starter);
        window = std::make_unique<frmMain>(v, *form);
        window->Start();
        window->show();
        return *window;
    }

    struct NoPicker final : FilePicker
    {
        QString GetOpenFileName(const QString &, const QString &) override { return {}; }
    };

    TempFolder tmp;
    RecordingMessageBox msg;
    FixedClock clock;
    DiskFileSystem fs;
    ThrowingExit exit;
    Services services{msg, clock, fs, exit, ProgramFolder(tmp.Path())};
    IniSettingsStore settings{tmp.File("Tavrin.ini")};
    SqliteCardStore store{tmp.File("card.db")};
    RecordingStarter starter;
    NoPicker picker;
    frmMainValues v;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<QWidget> dialog;  // another window, opened by the test
};
