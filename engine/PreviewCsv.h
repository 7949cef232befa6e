#pragma once

#include "PreviewRun.h"

#include <QString>
#include <QStringList>

// The report's rows as CSV: a header line, then one line per row; a field
// that holds a comma, a quote or a line break is quoted, its quotes doubled;
// lines end in CR LF.
QString PreviewCsv(const PreviewReport &report);

// The report's totals, one line each, then what the run would tell the
// operator.
QStringList PreviewTotals(const PreviewReport &report);
