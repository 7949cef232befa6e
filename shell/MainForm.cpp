#include "MainForm.h"

#include "AutoRun.h"
#include "CardStores.h"
#include "Failure.h"
#include "RunSummary.h"
#include "SettingsNames.h"

#include <QDir>
#include <QFileInfo>

namespace {

using SettingsNames::kApp;
using SettingsNames::kRegisterSection;
using SettingsNames::kSection;

// The import file's view is for reading by eye. A larger file is not shown:
// the runs read a file of any size line by line, and the view must not make
// a huge import cost the window its size in memory several times over.
constexpr qint64 kViewBytes = 16 * 1024 * 1024;

// The whole text of the import file for the view; throws Failure when the
// file cannot be read or is too large to show.
QString ImportView(FileSystem &fs, const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile() && info.size() > kViewBytes)
        throw FileFailure(QStringLiteral("%1 is too large to show here: %2 bytes, more than 16 MiB. "
                                         "It can still be imported.")
                              .arg(path)
                              .arg(info.size()));
    return fs.ReadWhole(path).text;
}

} // namespace

MainForm::MainForm(frmMainValues &v, CardStore &store, Services &services, SettingsStore &settings,
                   FilePicker &picker, ProgramStarter &starter)
    : v(v), store(store), s(services), settings(settings), picker(picker), starter(starter),
      engine(run_, progress_, store, services, this)
{
}

void MainForm::Changed(const RunProgress &progress)
{
    v.ProgressBar1.Max = progress.progressMax;
    v.ProgressBar1.Value = progress.progressValue;
    v.MousePointer = progress.busy ? kBusyPointer : kDefaultPointer;
    // A caption is made again only when its count changed: a run reports
    // every step, and most change neither count.
    const auto caption = [](CountCaption &shown, long long count, QLatin1StringView prefix) -> const QString & {
        if (shown.text.isNull() || shown.count != count)
            shown = {count, prefix + QString::number(count)};
        return shown.text;
    };
    v.LBCounter.Caption = caption(loadedCaption_, progress.loadedCount, {});
    v.LBCounter.Visible = v.LBtext.Visible = progress.loadedShown;
    v.lberrcount.Caption = caption(errorCaption_, int(progress.errorCount), QLatin1StringView("Errors "));
    v.Notify();
    if (ProgressWatcher)
        ProgressWatcher->Changed(progress);
}

RunRequest MainForm::Request() const
{
    RunRequest run;
    run.mode = v.Option_Batch.Value ? RunMode::Batch : RunMode::Import;
    run.searchField = v.Combo1.Text;
    run.searchValue = v.Text1.Text;
    run.replaceField = v.Combo2.Text;
    run.replaceValue = v.Text2.Text;
    run.searchItem = v.txtSearch_col.Text;
    run.replaceItem = v.txtReplace_col.Text;
    run.importFile = v.txtImportFile.Text;
    run.useList = v.Chk_RepFromLst.Value == 1;
    run.delimiter = v.Delimiter;
    run.autoRun = AutoRunIsOn(v.AutoRun);
    run.undoJournal = settings.GetSetting(kApp, kSection, QStringLiteral("Undo_Journal")).trimmed() != QLatin1String("0");
    return run;
}

Engine::UndoEnd MainForm::UndoLastRun(const std::function<bool(const QString &)> &confirm)
{
    run_ = Request();
    return engine.UndoLastRun(CardDatabaseSetting(settings), confirm);
}

void MainForm::RunEnded(const RunProgress &progress)
{
    v.StatusText = RunSummary(run_.mode, progress);
    s.msg.Note(v.StatusText);
}

void MainForm::EmptyProgressBar()
{
    progress_.progressValue = 0;
    v.ProgressBar1.Value = 0;
}

void MainForm::ShowLoadedCount(bool shown)
{
    progress_.loadedShown = shown;
    v.LBCounter.Visible = v.LBtext.Visible = shown;
}

// A run works on the window's values as a run request; afterwards the window
// shows the last line's or list entry's values, which the run left in it.
template <typename Command>
void MainForm::Run(Command command)
{
    run_ = Request();
    v.StatusText.clear(); // a run that does not begin has no summary
    (engine.*command)();
    v.Text1.Text = run_.searchValue;
    v.Text2.Text = run_.replaceValue;
    v.Combo2.Text = run_.replaceField;
}

void MainForm::cmdexeNow_Click()
{
    Run(&Engine::cmdexeNow_Click);
}

void MainForm::Command3_Click()
{
    Run(&Engine::Command3_Click);
}

void MainForm::Chk_RepFromLst_Click()
{
    EmptyProgressBar();
    const bool list = v.Chk_RepFromLst.Value == 1;
    v.Label3.Visible = v.Label4.Visible = v.Combo2.Visible = !list;
    if (list) {
        v.txtReplace_col.Visible = v.Text2.Visible = false;
        // A list that cannot be read shows as an empty view.
        try {
            v.txtshowlist.Text = s.fs.ReadWhole(s.folder.ListFile()).text;
        } catch (const Failure &) {
            v.txtshowlist.Text.clear();
        }
    } else if (v.Option_Import.Value) {
        v.txtReplace_col.Visible = true;
    } else {
        v.Text2.Visible = true;
    }
    v.txtshowlist.Visible = list;
    v.Notify();
}

void MainForm::Form_Load()
{
    // A list that cannot be created reads as empty, as a missing one does;
    // the operator is told why.
    const QString list = s.folder.ListFile();
    try {
        if (!s.fs.FileExists(list))
            s.fs.CreateTextFile(list);
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The replacement list cannot be created.\r%1").arg(error.message()), MsgIcon::Critical);
    }

    v.Caption = QStringLiteral("KVR_Bulkrun - Version " KVR_VERSION ".");
    v.Combo1List.clear();
    v.Combo2List.clear();
    LoadSettings();
}

// Reads every key in a fixed order and applies them to the window. The mode
// goes before the list switch, whose handling looks at the mode.
void MainForm::LoadSettings()
{
    auto get = [&](const char *key) { return settings.GetSetting(kApp, kSection, QLatin1String(key)); };
    const QString searchField = get("Search_Field");
    const QString searchCriteria = get("Search_Criteria");
    const QString replaceField = get("Replace_Field");
    const QString replaceValue = get("Replace_Value");
    v.AutoRun = get("Auto_Run");
    const QString replaceCol = get("Replace_col");
    const QString searchCol = get("Search_col");
    const QString importFile = get("Import_File");
    const QString option = get("Option");
    const QString dataList = get("Data_List");
    v.Delimiter = get("Delimiter");
    const QString registered = settings.GetSetting(kApp, kRegisterSection, QStringLiteral("File_register"));
    if (v.Delimiter.isEmpty())
        v.Delimiter = QStringLiteral(",");

    progress_.errorCount = 0;
    v.Combo1.Text = searchField;
    v.Combo2.Text = replaceField;
    v.Text1.Text = searchCriteria;
    v.Text2.Text = replaceValue;
    v.txtSearch_col.Text = searchCol;
    v.txtReplace_col.Text = replaceCol;
    v.txtImportFile.Text = importFile;

    ShowLoadedCount(false);
    v.txtshowlist.Visible = false;

    if (option == QLatin1String("Batch") || option.isEmpty()) {
        v.Option_Batch.Value = true;
        Option_Batch_Click();
    } else if (option == QLatin1String("Import")) {
        v.Option_Import.Value = true;
        Option_Import_Click();
    } else {
        v.Option_Batch.Value = false;
        v.Option_Import.Value = false;
    }

    v.Chk_RepFromLst.Value = dataList == QLatin1String("Yes") ? 1 : 0;
    Chk_RepFromLst_Click();

    if (registered.isEmpty())
        RegisterDataLibraries();

    QStringList fields;
    try {
        fields = store.Fields();
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The card database cannot be opened.\r%1").arg(error.message()), MsgIcon::Critical);
        s.exit.End(1);
    }
    for (const QString &field : fields) {
        v.Combo1List << field;
        v.Combo2List << field;
    }
    v.Timer1Enabled = true;
}

// The data binding of this build needs no libraries, so the first start only
// records that it has run, asks for a new start and ends.
void MainForm::RegisterDataLibraries()
{
    try {
        settings.SaveSetting(kApp, kRegisterSection, QStringLiteral("File_register"), QStringLiteral("1"));
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The first start of KVR_Bulkrun could not be recorded.\r%1").arg(error.message()),
                   MsgIcon::Critical);
        s.exit.End(1);
    }
    s.msg.Show(QStringLiteral("This is the first time you run KVR_Bulkrun on this computer.\r"
                              "Files were registered in windows registry.\r"
                              "Please re-start KVR_Bulkrun."),
               MsgIcon::Information);
    // Status 3 tells a scheduler that nothing ran and a new start is needed.
    s.exit.End(3);
}

void MainForm::Form_Activate()
{
    const QString path = v.txtImportFile.Text;
    try {
        v.txtViewImport.Text = ImportView(s.fs, path);
    } catch (const Failure &) {
        // Only a file missing from a folder that exists is worth telling:
        // an empty path or a missing folder names no file.
        const QFileInfo info(path);
        if (!path.isEmpty() && !info.exists() && info.absoluteDir().exists()) {
            s.msg.Show(QStringLiteral("Cannot find import file ") + path
                           + QStringLiteral("\r Make sure file exist or Import new file."),
                       MsgIcon::Information);
            v.txtImportFile.Text.clear();
            txtImportFile_Change();
        }
        v.txtViewImport.Text.clear();
    }
    v.ProgressBar1.Min = 0;
    if (AutoRunIsOn(v.AutoRun)) {
        v.Caption = QStringLiteral("Tavrin Automatic Bulkrun/Import in progress");
        v.Height = kAutoRunHeight;
        v.Label5.Visible = false;
        v.Option_Batch.Visible = false;
    }
}

void MainForm::Timer1_Timer()
{
    v.Timer1Enabled = false;
    if (!AutoRunIsOn(v.AutoRun))
        return;
    if (v.Option_Batch.Value) {
        runStarted_ = true;
        cmdexeNow_Click();
    } else if (v.Option_Import.Value) {
        runStarted_ = true;
        Command3_Click();
    }
    if (TimerDone)
        TimerDone();
}

void MainForm::Option_Batch_Click()
{
    EmptyProgressBar();
    v.Option_Import.Value = false;
    v.Text1.Visible = true;
    v.txtSearch_col.Visible = false;
    v.txtReplace_col.Visible = false;
    ShowLoadedCount(true);
    v.txtImportFile.Visible = false;
    v.cmdexeNow.Visible = true;
    v.cmdFile.Visible = false;
    v.Command3.Visible = false;
    v.Chk_view.Visible = false;
    v.Label2.Caption = QStringLiteral("Search Criteria");
    v.Label4.Caption = QStringLiteral("Replace Value");
    v.Height = kNormalHeight;
    if (v.Chk_RepFromLst.Value != 1)
        v.Text2.Visible = true;
}

void MainForm::Option_Import_Click()
{
    EmptyProgressBar();
    v.Option_Batch.Value = false;
    v.Text1.Visible = false;
    v.Text2.Visible = false;
    v.txtSearch_col.Visible = true;
    ShowLoadedCount(false);
    v.txtImportFile.Visible = true;
    v.cmdexeNow.Visible = false;
    v.cmdFile.Visible = true;
    v.Command3.Visible = true;
    v.Chk_view.Visible = true;
    v.Label2.Caption = QStringLiteral("Item No From File");
    v.Label4.Caption = QStringLiteral("Item No From File");
    if (v.Chk_view.Value == 1)
        Chk_view_Click();
    if (v.Chk_RepFromLst.Value != 1)
        v.txtReplace_col.Visible = true;
}

void MainForm::Chk_view_Click()
{
    EmptyProgressBar();
    v.Height = v.Chk_view.Value == 1 ? kTallHeight : kNormalHeight;
}

// The dialog opens where the import file in the box is; a cancelled dialog
// leaves the box as it was, a path typed into it included.
void MainForm::cmdFile_Click()
{
    EmptyProgressBar();
    const QString chosen = picker.GetOpenFileName(QStringLiteral("Browse for file..."),
                                                  QStringLiteral("Import (*.txt *.csv)"), v.txtImportFile.Text);
    if (chosen.isEmpty())
        return;
    v.txtImportFile.Text = chosen;
    txtImportFile_Change();
    try {
        v.txtViewImport.Text = ImportView(s.fs, v.txtImportFile.Text);
    } catch (const Failure &error) {
        v.txtViewImport.Text.clear();
        s.msg.Show(error.message(), MsgIcon::Critical);
    }
}

void MainForm::Command2_Click()
{
    EmptyProgressBar();
    const struct
    {
        const char *key;
        QString value;
    } saves[] = {
        {"Search_Field", v.Combo1.Text},
        {"Search_Criteria", v.Text1.Text},
        {"Replace_Field", v.Combo2.Text},
        {"Replace_Value", v.Text2.Text},
        {"Replace_Col", v.txtReplace_col.Text},
        {"Search_Col", v.txtSearch_col.Text},
        {"Import_File", v.txtImportFile.Text},
        {"Option", v.Option_Batch.Value ? QStringLiteral("Batch") : QStringLiteral("Import")},
        {"Data_List", v.Chk_RepFromLst.Value == 1 ? QStringLiteral("Yes") : QStringLiteral("No")},
    };
    // Nothing is confirmed, but a configuration that did not reach the disk
    // must not look saved.
    try {
        for (const auto &save : saves)
            settings.SaveSetting(kApp, kSection, QLatin1String(save.key), save.value);
    } catch (const Failure &error) {
        s.msg.Show(QStringLiteral("The settings could not be saved.\r%1").arg(error.message()), MsgIcon::Critical);
    }
}

void MainForm::Combo1_Click()
{
    EmptyProgressBar();
}

void MainForm::txtImportFile_Change()
{
    EmptyProgressBar();
}

// The command lines join their parts as they stand, without quotes, so a
// program folder with blanks in its path gives a line with blanks.
void MainForm::mnuOpenFennic_Click()
{
    try {
        starter.Start(s.folder.Path() + QStringLiteral("\\kvr_Fennic.exe"));
    } catch (const Failure &) {
        s.msg.Show(QStringLiteral("Can not find KVR_Fennic program!\rMake sure program exist"), MsgIcon::Critical);
    }
}
