#pragma once

#include "CardStore.h"
#include "MainForm.h"
#include "Services.h"

// The unattended preview: walks the run that the loaded settings describe
// (as the main window's values hold them after start-up), writing nothing,
// and prints its report as CSV on standard output and its totals and the
// run's messages on standard error. Returns the exit status: 0, or 1 when
// the preview itself failed (the reason on standard error).
int RunPreviewUnattended(const MainForm &form, CardStore &store, Services &services);
