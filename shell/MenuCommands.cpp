#include "MenuCommands.h"

#include "frmConfigList.h"
#include "frmFile.h"
#include "frmLog.h"
#include "frmSetup.h"

#include <memory>

MenuCommands::MenuCommands(frmMain &window, MainForm &form, frmMainValues &v, CardStore &store, Services &services,
                           SettingsStore &settings)
    : window(window), form(form), v(v), store(store), s(services), settings(settings)
{
    QObject::connect(&window, &frmMain::mnuOpen_Click, &window, [this] { mnuOpen_Click(); });
    QObject::connect(&window, &frmMain::mnuConfigList_Click, &window, [this] { mnuConfigList_Click(); });
    QObject::connect(&window, &frmMain::mnuSetup_Click, &window, [this] { mnuSetup_Click(); });
    QObject::connect(&window, &frmMain::mnuLog_Click, &window, [this] { mnuLog_Click(); });
    QObject::connect(&window, &frmMain::mnuOpenFennic_Click, &window,
                     [this] { this->window.Handle([this] { this->form.mnuOpenFennic_Click(); }); });
    QObject::connect(&window, &frmMain::mnuHelp_Click, &window,
                     [this] { this->window.Handle([this] { this->form.mnuHelp_Click(); }); });
}

void MenuCommands::mnuOpen_Click()
{
    window.ShowModal([this] { return std::make_unique<frmFile>(v, s.fs, &window); });
}

void MenuCommands::mnuConfigList_Click()
{
    window.ShowModal([this] {
        return std::make_unique<frmConfigList>(v, store, s.fs, s.msg, s.folder, [this] { form.Chk_RepFromLst_Click(); },
                                               &window);
    });
}

void MenuCommands::mnuSetup_Click()
{
    window.ShowModal([this] { return std::make_unique<frmSetup>(v, settings, s.msg, &window); });
}

void MenuCommands::mnuLog_Click()
{
    window.ShowModal([this] { return std::make_unique<frmLog>(s.fs, s.msg, s.folder, &window); });
}
