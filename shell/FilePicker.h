#pragma once

#include <QString>

// The file-open dialog: returns the chosen file's path, or "" when cancelled.
// filter is in Qt's form, e.g. "Import (*.txt *.csv)"; the dialog opens in
// the folder of the file at, or, when at is empty, where it last was.
class FilePicker
{
public:
    virtual ~FilePicker() = default;
    virtual QString GetOpenFileName(const QString &title, const QString &filter, const QString &at) = 0;
};

// Where nobody can choose a file (no screen, or a test): always cancelled.
class NoFilePicker final : public FilePicker
{
public:
    QString GetOpenFileName(const QString &, const QString &, const QString &) override { return {}; }
};
