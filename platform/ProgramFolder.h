#pragma once

#include <QString>

#include <utility>

// The folder that holds the program's executable, and the program's files in
// it, named by Windows-style suffixes such as "\list.lst" or
// "\log\Batch_Log.lst". Backslashes become path separators and every name is
// matched without regard to case against what exists, so "\List.lst" and
// "\list.lst" find one file; a part that does not exist keeps the spelling given.
//
// The files the program writes itself (the list and the run log) live in its
// data folder, which is the program folder unless told otherwise.
class ProgramFolder
{
public:
    explicit ProgramFolder(QString folder, QString dataFolder = {})
        : folder_(std::move(folder)), data_(dataFolder.isEmpty() ? folder_ : std::move(dataFolder))
    {
    }

    // The program folder of an executable in folder. An installed program's
    // folder cannot be written: its data folder is then the operator's own,
    // ${XDG_DATA_HOME:-$HOME/.local/share}/KVR_Bulkrun, created when missing
    // (a folder that cannot be created fails the first write in it).
    static ProgramFolder ForExecutable(const QString &folder);

    const QString &Path() const { return folder_; }
    QString File(const QString &suffix) const { return Resolve(folder_, suffix); }

    // The program's own files.
    QString ListFile() const { return Resolve(data_, QStringLiteral("\\list.lst")); }
    QString LogFolder() const { return Resolve(data_, QStringLiteral("\\log")); }
    // The undo journals of the last runs.
    QString UndoFolder() const { return Resolve(data_, QStringLiteral("\\log\\undo")); }
    QString LogFile() const { return Resolve(data_, QStringLiteral("\\log\\Batch_Log.lst")); }

private:
    static QString Resolve(const QString &folder, const QString &suffix);

    QString folder_;
    QString data_;
};
