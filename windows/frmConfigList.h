#pragma once

#include "CardStore.h"
#include "FileSystem.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "MainValues.h"

#include <QDialog>
#include <QString>

#include <functional>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

// The replacement list editor: the list file "\list.lst" of the program
// folder as free text, and a composer that inserts entries (kind, delimiter,
// field, delimiter, value, CR LF) at the text's insertion point. The file and
// the card table's field names are read when the window is created; the file
// is written only by Save List, which keeps the file's encoding and adds no
// line end. Shown modally; Save List and Exit close it. Tab leaves the text
// for the composer (TabKeys).
class frmConfigList final : public QDialog
{
    Q_OBJECT

public:
    // v gives the delimiter and the main window's list view and switch;
    // Chk_RepFromLst_Click is the main window's handling of that switch.
    frmConfigList(MainValues &v, CardStore &store, FileSystem &fs, MessageBox &msg, ProgramFolder folder,
                  std::function<void()> Chk_RepFromLst_Click, QWidget *parent = nullptr);

private:
    void BuildControls();
    void Form_Load();
    void cmdAdd_Click();
    void cmdSave_Click();

    MainValues &v;
    CardStore &store;
    FileSystem &fs;
    MessageBox &msg;
    const ProgramFolder folder;
    const std::function<void()> Chk_RepFromLst_Click;

    QPlainTextEdit *txtList = nullptr;
    QComboBox *CmbFields = nullptr;
    QRadioButton *OptionFile = nullptr;
    QRadioButton *Optionfixed = nullptr;
    QLineEdit *txtValueForList = nullptr;

    // The kind marker of the next entry; empty until an option is chosen.
    QString EntryKind;
    // The encoding the list file was read in, kept when it is written.
    TextEncoding encoding_ = TextEncoding::Utf8;
};
