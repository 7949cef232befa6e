#pragma once

#include "RunRequest.h"

#include <QString>

#include <optional>

// The program's options. A start without any works as the program always
// has: the main window, or without a screen the automatic run that
// Auto_Run=1 switches on.
//
//   -h, --help            the usage on standard output; status 0
//   --version             "KVR_Bulkrun 3.0.8" on standard output; status 0
//   --settings FILE       FILE in place of the per-user settings file
//   --run batch|import    the saved run of that mode, now and unattended,
//                         whatever Auto_Run holds; then the program ends
//   --preview             what the saved run would do, as CSV on standard
//                         output, writing nothing; then the program ends
//   --undo-last           takes back the last run without asking; then the
//                         program ends
//
// Anything else (an unknown option, a missing or wrong value, an argument
// that is no option) ends the start with one line saying what is wrong, then
// the usage, on standard error, and status 64 (EX_USAGE). Qt's own options
// (-platform, -style, ...) are not taken: its environment variables are.
class CommandLine
{
public:
    static constexpr int kUsageStatus = 64;

    // Reads the options of argv, argv[0] being the program; prints nothing.
    CommandLine(int argc, char *argv[]);

    // When the command line ends the start (help, version, a usage error):
    // prints what it asks for and returns the status to end with.
    std::optional<int> Answer() const;

    // FILE of --settings made absolute, or else the per-user settings file.
    QString SettingsFile() const;
    // The mode of --run.
    std::optional<RunMode> Run() const { return run_; }
    bool Preview() const { return preview_; }
    bool UndoLast() const { return undoLast_; }
    // A start that works without a window whatever the screen: one with an
    // option that starts a run or a preview now. Options of later run kinds
    // (an undo of the last run) belong beside them: added to the
    // constructor's list, kept here, and counted in this test.
    bool Unattended() const { return run_.has_value() || preview_ || undoLast_; }

private:
    QString usage_;
    QString error_;
    bool help_ = false;
    bool version_ = false;
    QString settingsFile_;
    std::optional<RunMode> run_;
    bool preview_ = false;
    bool undoLast_ = false;
};
