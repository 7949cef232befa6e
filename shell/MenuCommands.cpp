#include "MenuCommands.h"

#include "Failure.h"
#include "frmConfigList.h"
#include "frmFile.h"
#include "frmLog.h"
#include "frmPreview.h"
#include "frmSetup.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScopeGuard>

#include <memory>
#include <utility>

namespace {

// The program's own manual: beside the executable in a build tree, in the
// program's shared data once installed. Throws FileFailure when it is in
// neither place.
QString ManualFile(const ProgramFolder &folder)
{
    for (const char *place : {"/manual/index.html", "/" KVR_MANUAL_FROM_BIN "/index.html"}) {
        const QString path = folder.Path() + QLatin1String(place);
        if (QFileInfo(path).isFile())
            return path;
    }
    throw FileFailure(QStringLiteral("The manual is not beside %1").arg(folder.Path()));
}

} // namespace

MenuCommands::MenuCommands(frmMain &window, MainForm &form, frmMainValues &v, CardStore &store, Services &services,
                           SettingsStore &settings, ProgramStarter &starter, DocumentViewer &manual)
    : window(window), form(form), v(v), store(store), s(services), settings(settings), starter(starter), manual(manual)
{
    QObject::connect(&window, &frmMain::mnuOpen_Click, &window, [this] { mnuOpen_Click(); });
    QObject::connect(&window, &frmMain::mnuConfigList_Click, &window, [this] { mnuConfigList_Click(); });
    QObject::connect(&window, &frmMain::mnuSetup_Click, &window, [this] { mnuSetup_Click(); });
    QObject::connect(&window, &frmMain::mnuPreview_Click, &window, [this] { mnuPreview_Click(); });
    QObject::connect(&window, &frmMain::mnuUndo_Click, &window,
                     [this] { this->window.Handle([this] { mnuUndo_Click(); }); });
    QObject::connect(&window, &frmMain::mnuLog_Click, &window, [this] { mnuLog_Click(); });
    QObject::connect(&window, &frmMain::mnuOpenFennic_Click, &window,
                     [this] { this->window.Handle([this] { this->form.mnuOpenFennic_Click(); }); });
    QObject::connect(&window, &frmMain::mnuHelp_Click, &window,
                     [this] { this->window.Handle([this] { mnuHelp_Click(); }); });
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

void MenuCommands::mnuPreview_Click()
{
    window.ShowModal([this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        PreviewReport report;
        {
            const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
            try {
                report = PreviewRun(form.Request(), store, s);
            } catch (const Failure &error) {
                report.messages << QStringLiteral("The preview stopped: %1").arg(error.message());
            }
        }
        return std::make_unique<frmPreview>(std::move(report), s.fs, s.msg, [] {
            return QFileDialog::getSaveFileName(QApplication::activeWindow(), QStringLiteral("Save Report"), QString(),
                                                QStringLiteral("CSV (*.csv)"));
        }, &window);
    });
}

void MenuCommands::mnuUndo_Click()
{
    form.UndoLastRun([this](const QString &text) {
        return QMessageBox::question(&window, QLatin1String(kAppTitle), MessageLines(text + QStringLiteral("\rUndo it? A field changed since by anyone else is left as it is.")), QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
            == QMessageBox::Yes;
    });
}

void MenuCommands::mnuLog_Click()
{
    window.ShowModal([this] { return std::make_unique<frmLog>(s.fs, s.msg, s.folder, &window); });
}

// With no help file or no viewer to show it, the program's own manual stands
// in; only a manual that cannot be shown is reported.
void MenuCommands::mnuHelp_Click()
{
    if (s.fs.FileExists(s.folder.File(QStringLiteral("\\kvr_Bulkrun.hlp")))) {
        try {
            starter.Start(QStringLiteral("winhlp32.EXE ") + s.folder.Path() + QStringLiteral("\\kvr_Bulkrun.hlp"));
            return;
        } catch (const Failure &) {
            // No viewer to run: the manual stands in.
        }
    }
    try {
        manual.Show(ManualFile(s.folder));
    } catch (const Failure &) {
        s.msg.Show(QStringLiteral("Cannot find Help file. Make sure file exist."), MsgIcon::Critical);
    }
}
