#pragma once

// Ends the program at once: no window is asked to close and nothing runs
// after it. Implementations never return.
class ProgramExit
{
public:
    virtual ~ProgramExit() = default;
    [[noreturn]] virtual void End(int status) = 0;
};

// Flushes the standard streams and leaves the process with the status.
class ProcessExit final : public ProgramExit
{
public:
    [[noreturn]] void End(int status) override;
};
