#pragma once

#include <QString>

enum class RunMode { Batch, Import };

// A run as the operator set it up: which records, what to write into them
// and from where. The main window fills one from its controls and hands it
// to the engine's commands. The runs also set the per-line and per-entry
// values in it as they go (searchValue and replaceValue for each import
// line, replaceField and replaceValue for each list entry), so that after a
// run it holds the last ones applied, which the window then shows.
struct RunRequest
{
    RunMode mode = RunMode::Batch;
    QString searchField;
    // A Like pattern: the search criteria of a batch run, an import line's
    // search item.
    QString searchValue;
    QString replaceField;
    QString replaceValue;
    // Item numbers of an import line's search and replace values, as typed:
    // a run refuses what is not a whole number of 0 or more.
    QString searchItem = QStringLiteral("0");
    QString replaceItem = QStringLiteral("1");
    QString importFile;
    // The replacement list's field/value entries instead of the single pair.
    bool useList = false;
    // Splits import lines and list entries.
    QString delimiter = QStringLiteral(",");
    // An automatic run: logging its completion ends the program.
    bool autoRun = false;
    // The run's writes are journaled so that Undo Last Run can take them back.
    bool undoJournal = true;
};
