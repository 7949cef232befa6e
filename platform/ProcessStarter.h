#pragma once

#include "ProgramStarter.h"

#include <QString>

// Starts command lines written in the Windows form on this system, detached:
// nothing waits for the started program and its result is never looked at.
//
// A command line carries no quotes. The program is the shortest run of its
// words, ended by a blank or by the end of the line, that names a program, as
// Windows reads such a line; the text after that blank, when there is any,
// goes to the program as one argument. A run of words names
// - when it holds no '\' or '/': a file of that name in a folder of the PATH,
//   letter case and a trailing ".exe" ignored ("winhlp32.EXE" finds winhlp32);
// - otherwise: the existing file at that path, '\' standing for '/', every
//   part matched without regard to case, a relative path taken from the
//   current folder.
// An argument that holds a '\' or '/' is a path and is handed on in that
// same form, with '/' separators and the spelling of the parts that exist.
//
// A name without a path that no folder of the PATH holds is one of Windows'
// own programs, run as "wine NAME.exe" when wine is on the PATH.
//
// The file is started directly when it is a native program (an ELF file or a
// "#!" script) with the execute bit set, and through "wine" from the PATH
// when it is a Windows program (it begins with "MZ").
class ProcessStarter final : public ProgramStarter
{
public:
    // Throws Failure naming the command line and the reason when nothing can
    // be started: no such program (nor wine for a name without a path), a
    // Windows program without wine, a file that is not a program or not
    // executable, or a start that the system refused.
    void Start(const QString &commandLine) override;
};
