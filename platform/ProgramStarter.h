#pragma once

#include <QString>

// Starts an outside program from a command line without waiting for it.
// Throws Failure when the program cannot be started.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    virtual void Start(const QString &commandLine) = 0;
};
