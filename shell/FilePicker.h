#pragma once

#include <QString>

// The file-open dialog: returns the chosen file's path, or "" when cancelled.
// filter is in Qt's form, e.g. "Import (*.txt *.csv)".
class FilePicker
{
public:
    virtual ~FilePicker() = default;
    virtual QString GetOpenFileName(const QString &title, const QString &filter) = 0;
};
