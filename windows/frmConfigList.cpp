#include "frmConfigList.h"

#include "BoxText.h"
#include "Design.h"
#include "Failure.h"
#include "TabKeys.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <initializer_list>
#include <utility>

using Design::Place;

namespace {


} // namespace

frmConfigList::frmConfigList(MainValues &v, CardStore &store, FileSystem &fs, MessageBox &msg, ProgramFolder folder,
                             std::function<void()> Chk_RepFromLst_Click, QWidget *parent)
    : QDialog(parent), v(v), store(store), fs(fs), msg(msg), folder(std::move(folder)),
      Chk_RepFromLst_Click(std::move(Chk_RepFromLst_Click))
{
    setObjectName(QStringLiteral("frmConfigList"));
    setWindowTitle(QStringLiteral("Configuration"));
    Design::UseDesignFont(this);
    Design::FixClientArea(this, 6300, 4230);
    BuildControls();
    Form_Load();
}

void frmConfigList::BuildControls()
{
    auto *Frame1 = Place<QGroupBox>(this, "Frame1", 120, 60, 6060, 4050);
    Frame1->setTitle(QStringLiteral("List Data"));

    txtList = Place<QPlainTextEdit>(Frame1, "txtList", 120, 360, 3735, 3540);
    TabKeys::Pass(txtList);
    txtList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *Label1 = Place<QLabel>(Frame1, "Label1", 3975, 360, 1965, 255);
    Label1->setText(QStringLiteral("Field"));
    CmbFields = Place<QComboBox>(Frame1, "CmbFields", 3975, 600, 1965, 315);
    CmbFields->setEditable(true);
    CmbFields->setInsertPolicy(QComboBox::NoInsert);
    CmbFields->setCompleter(nullptr);

    OptionFile = Place<QRadioButton>(Frame1, "OptionFile", 3975, 1035, 1965, 255);
    OptionFile->setText(QStringLiteral("File Item No"));
    OptionFile->setToolTip(QStringLiteral("Item No of record in Imported file."));
    Optionfixed = Place<QRadioButton>(Frame1, "Optionfixed", 3975, 1320, 1965, 255);
    Optionfixed->setText(QStringLiteral("Fixed Value"));

    auto *Label2 = Place<QLabel>(Frame1, "Label2", 3975, 1695, 1965, 255);
    Label2->setText(QStringLiteral("Value"));
    txtValueForList = Place<QLineEdit>(Frame1, "txtValueForList", 3975, 1935, 1965, 285);

    auto *cmdAdd = Place<QPushButton>(Frame1, "cmdAdd", 3975, 2400, 1965, 375);
    cmdAdd->setText(QStringLiteral("Add to List"));
    auto *cmdClear = Place<QPushButton>(Frame1, "cmdClear", 3975, 2880, 1965, 375);
    cmdClear->setText(QStringLiteral("Clear List"));
    auto *cmdSave = Place<QPushButton>(Frame1, "cmdSave", 3975, 3525, 915, 375);
    cmdSave->setText(QStringLiteral("Save List"));
    auto *cmdExit = Place<QPushButton>(Frame1, "cmdExit", 5025, 3525, 915, 375);
    cmdExit->setText(QStringLiteral("Exit"));

    for (QWidget *caption : std::initializer_list<QWidget *>{Label1, Label2, OptionFile, Optionfixed})
        Design::FitCaption(caption, caption->width());
    // Enter in a box adds nothing and closes nothing: no button is a default.
    for (QPushButton *button : {cmdAdd, cmdClear, cmdSave, cmdExit})
        button->setAutoDefault(false);

    connect(OptionFile, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            EntryKind = QStringLiteral("File Value__");
    });
    connect(Optionfixed, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            EntryKind = QStringLiteral("Fixed Value_");
    });
    connect(cmdAdd, &QPushButton::clicked, this, &frmConfigList::cmdAdd_Click);
    connect(cmdClear, &QPushButton::clicked, txtList, &QPlainTextEdit::clear);
    connect(cmdSave, &QPushButton::clicked, this, &frmConfigList::cmdSave_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::reject);
}

void frmConfigList::Form_Load()
{
    CmbFields->clear();
    try {
        CmbFields->addItems(store.Fields());
    } catch (const Failure &error) {
        msg.Show(QStringLiteral("The field names of the card table cannot be read.\r%1").arg(error.message()),
                 MsgIcon::Critical);
    }
    CmbFields->setCurrentIndex(CmbFields->count() > 0 ? 0 : -1);

    // A list that cannot be read opens as an empty text.
    encoding_ = BoxText::Load(txtList, fs, folder.ListFile());
}

void frmConfigList::cmdAdd_Click()
{
    if (EntryKind.isEmpty()) {
        msg.Show(QStringLiteral("Select File or Fixed option to continue"), MsgIcon::None);
        return;
    }
    const QString entry = EntryKind + v.Delimiter + CmbFields->currentText() + v.Delimiter
                          + txtValueForList->text() + QStringLiteral("\r\n");
    // Replaces the selection, if any, and leaves the insertion point after the entry.
    txtList->insertPlainText(BoxText::ToBox(entry));
}

// A list that cannot be written keeps the window open with the text as it
// is, so that no edit is lost.
void frmConfigList::cmdSave_Click()
{
    try {
        const QString text = BoxText::Get(txtList);
        fs.WriteWhole(folder.ListFile(), text, TextCodec::Holding(text, encoding_));
    } catch (const Failure &error) {
        msg.Show(QStringLiteral("The list could not be saved.\r%1").arg(error.message()), MsgIcon::Critical);
        return;
    }
    // The main window shows the list while it is in use: switching the list
    // off and on again makes it show the saved one.
    if (v.txtshowlist.Visible) {
        v.Chk_RepFromLst.Value = 0;
        Chk_RepFromLst_Click();
        v.Chk_RepFromLst.Value = 1;
        Chk_RepFromLst_Click();
    }
    accept();
}
