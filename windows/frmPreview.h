#pragma once

#include "FileSystem.h"
#include "MessageBox.h"
#include "PreviewModel.h"
#include "PreviewRun.h"

#include <QDialog>

#include <functional>

// The preview of a run: its totals and what the run would tell the operator,
// over a table of its updates, sortable by any column, with filters for the
// updates that match no record, several records, or would be refused. Save
// Report... writes every row as CSV to a file the operator picks (a file that
// cannot be written is reported); Exit closes. Holds the report, never card
// records. Shown modally.
class frmPreview final : public QDialog
{
    Q_OBJECT

public:
    // chooseFile returns the report file's path, or "" when cancelled.
    frmPreview(PreviewReport report, FileSystem &fs, MessageBox &msg, std::function<QString()> chooseFile,
               QWidget *parent = nullptr);

private:
    void Filter_Click();
    void cmdSave_Click();

    const PreviewReport report_;
    FileSystem &fs;
    MessageBox &msg;
    std::function<QString()> chooseFile_;
    PreviewModel model_;
    PreviewFilter filter_;
};
