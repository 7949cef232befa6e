#include "frmSetup.h"

#include "SettingsNames.h"

#include "Design.h"
#include "Failure.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

using Design::Place;

namespace {

const QString kKey = QStringLiteral("Delimiter");

} // namespace

frmSetup::frmSetup(MainValues &v, SettingsStore &settings, MessageBox &msg, QWidget *parent)
    : QDialog(parent), v(v), settings(settings), msg(msg)
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Setup"));
    Design::UseDesignFont(this);
    Design::FixClientArea(this, 3165, 1515);

    auto *Frame1 = Place<QGroupBox>(this, "Frame1", 120, 120, 2895, 1215);
    Frame1->setTitle(QStringLiteral("Delimiter"));
    auto *Label1 = Place<QLabel>(Frame1, "Label1", 180, 300, 2415, 255);
    Label1->setText(QStringLiteral("Select Delimiter used in import file"));
    Design::FitCaption(Label1, Label1->width());
    txtDelimiter = Place<QLineEdit>(Frame1, "txtDelimiter", 180, 660, 1035, 360);
    txtDelimiter->setMaxLength(std::numeric_limits<int>::max());
    QFont bold = txtDelimiter->font();
    bold.setBold(true);
    bold.setPointSizeF(12);
    txtDelimiter->setFont(bold);
    auto *cmdSave = Place<QPushButton>(Frame1, "cmdSave", 1380, 660, 1155, 375);
    cmdSave->setText(QStringLiteral("Save"));
    cmdSave->setAutoDefault(false);

    connect(cmdSave, &QPushButton::clicked, this, &frmSetup::cmdSave_Click);
    Form_Load();
}

void frmSetup::Form_Load()
{
    v.Delimiter = settings.GetSetting(SettingsNames::kApp, SettingsNames::kSection, kKey);
    txtDelimiter->setText(v.Delimiter);
}

void frmSetup::cmdSave_Click()
{
    try {
        settings.SaveSetting(SettingsNames::kApp, SettingsNames::kSection, kKey, txtDelimiter->text());
    } catch (const Failure &error) {
        msg.Show(QStringLiteral("The delimiter could not be saved.\r%1").arg(error.message()), MsgIcon::Critical);
        return;
    }
    accept();
}
