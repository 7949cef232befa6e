#pragma once

#include "CardStore.h"
#include "RunRequest.h"
#include "Services.h"

#include <QString>
#include <QStringList>

#include <vector>

// One record update that a run would make: one per import line, or per line
// and list entry when the list is used; one per list entry, or one, in a
// batch run.
struct PreviewRow
{
    qint64 line = 0; // the import line, from 1; in a batch run the update's number
    QString searchValue;
    QString field;
    QString value;
    qint64 matches = 0; // records the search matches when the update begins
    qint64 changes = 0; // records it would write
    QString refusal;    // why it would fail; empty when it would not
};

// What a run would do. Lines are import lines; the first update of a line
// tells whether the line matches no record or several.
struct PreviewReport
{
    RunMode mode = RunMode::Batch;
    std::vector<PreviewRow> rows;
    qint64 lines = 0;
    qint64 skipped = 0; // lines without a search value, which the run passes over
    qint64 noMatch = 0;
    qint64 several = 0;
    qint64 matched = 0;  // a batch run: the records its search matches
    qint64 refusals = 0; // updates that would fail
    qint64 changes = 0;  // record writes; a record written twice counts twice
    bool overLimit = false; // more than 32,767 updates
    // What the run would tell the operator, in order.
    QStringList messages;
};

// Walks the run that `run` describes exactly as its command (Execute for a
// batch, Import for an import) runs it, over store, and writes nothing: not
// the card database (PreviewStore), not the run log (UnwrittenFiles). The
// messages the run would show are collected instead; where an automatic run
// would end the program, the preview ends. Throws only what the run would.
PreviewReport PreviewRun(RunRequest run, CardStore &store, Services &services);
