#pragma once

#include "RunProgress.h"
#include "RunRequest.h"

#include <QString>

// The one line that ends every run, in the main window's status bar and on
// an unattended run's standard error: records changed, import lines with no
// match, refused and lost updates, the time taken and whether the run's
// completion is in the run log. A record written by two updates counts twice.
QString RunSummary(RunMode mode, const RunProgress &progress);
