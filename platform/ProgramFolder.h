#pragma once

#include <QString>

// The folder that holds the program's executable, and the program's files in
// it, named by Windows-style suffixes such as "\list.lst" or
// "\log\Batch_Log.lst". Backslashes become path separators and every name is
// matched without regard to case against what exists, so "\List.lst" and
// "\list.lst" find one file; a part that does not exist keeps the spelling given.
class ProgramFolder
{
public:
    explicit ProgramFolder(QString folder) : folder_(std::move(folder)) {}

    const QString &Path() const { return folder_; }
    QString File(const QString &suffix) const;

    // The program's own files.
    QString ListFile() const { return File(QStringLiteral("\\list.lst")); }
    QString LogFolder() const { return File(QStringLiteral("\\log")); }
    QString LogFile() const { return File(QStringLiteral("\\log\\Batch_Log.lst")); }

private:
    QString folder_;
};
