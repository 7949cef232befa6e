#pragma once

// The tool's whole life after main: start-up, the main window, the automatic
// run. Returns the process's exit status.
int RunBulkrun(int argc, char *argv[]);
