#pragma once

#include "FileSystem.h"
#include "MessageBox.h"
#include "ProgramFolder.h"

#include <QDialog>

class QPlainTextEdit;

// The log viewer: the whole run log "\log\Batch_Log.lst" of the program
// folder, read once when the window is created (a log that cannot be read
// shows as an empty box). Edits in the box are never stored. Clear empties
// the log file, creating the log folder when it is missing, and closes; a log
// that cannot be written is reported. Exit closes. Shown modally. Tab leaves
// the box for Clear and Exit (TabKeys).
class frmLog final : public QDialog
{
    Q_OBJECT

public:
    frmLog(FileSystem &fs, MessageBox &msg, ProgramFolder folder, QWidget *parent = nullptr);

private:
    void Form_Load();
    void cmdClear_Click();

    FileSystem &fs;
    MessageBox &msg;
    const ProgramFolder folder;
    QPlainTextEdit *txtLogview = nullptr;
    // The encoding the log was read in, kept when it is written.
    TextEncoding encoding_ = TextEncoding::Utf8;
};
