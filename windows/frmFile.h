#pragma once

#include "FileSystem.h"
#include "MainValues.h"

#include <QDialog>

class QPlainTextEdit;

// The import file editor: the whole file named by the main window's
// txtImportFile as free text. Save writes the text back (keeping the file's
// encoding, adding no line end), shows the file as it then reads in the main
// window's txtViewImport and closes; Exit closes. No failure is reported: a
// file that cannot be read opens as an empty text, one that cannot be written
// keeps what it held, and the window closes either way. Shown modally. Tab
// leaves the box for Save and Exit (TabKeys).
class frmFile final : public QDialog
{
    Q_OBJECT

public:
    frmFile(MainValues &v, FileSystem &fs, QWidget *parent = nullptr);

private:
    void Form_Load();
    void cmdSave_Click();

    MainValues &v;
    FileSystem &fs;
    QPlainTextEdit *txtViewFile = nullptr;
    // The encoding the file was read in, kept when it is written.
    TextEncoding encoding_ = TextEncoding::Utf8;
};
