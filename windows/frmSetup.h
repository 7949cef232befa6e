#pragma once

#include "MessageBox.h"
#include "MainValues.h"
#include "SettingsStore.h"

#include <QDialog>

class QLineEdit;

// The delimiter setup. Creating the window makes the stored "Delimiter"
// setting the program-wide delimiter, as it stands (an empty one included),
// and shows it. Save stores the box's text exactly as typed and closes; the
// program-wide delimiter changes only at the next load. The close box stores
// nothing. A setting that cannot be stored is reported and the window stays
// open. Shown modally.
class frmSetup final : public QDialog
{
    Q_OBJECT

public:
    frmSetup(MainValues &v, SettingsStore &settings, MessageBox &msg, QWidget *parent = nullptr);

private:
    void Form_Load();
    void cmdSave_Click();

    MainValues &v;
    SettingsStore &settings;
    MessageBox &msg;
    QLineEdit *txtDelimiter = nullptr;
};
