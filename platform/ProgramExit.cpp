#include "ProgramExit.h"

#include <cstdio>
#include <cstdlib>

void ProcessExit::End(int status)
{
    std::fflush(nullptr);
    std::exit(status);
}
