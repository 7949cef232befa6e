#pragma once

#include "Clock.h"
#include "FileSystem.h"
#include "MessageBox.h"
#include "ProgramExit.h"
#include "ProgramFolder.h"

// The platform services a run uses, owned by whoever builds the engine.
struct Services
{
    MessageBox &msg;
    Clock &clock;
    FileSystem &fs;
    ProgramExit &exit;
    ProgramFolder folder;
};
