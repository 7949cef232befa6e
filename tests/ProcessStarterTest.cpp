#include "ProcessStarter.h"

#include "Failure.h"
#include "StubProgram.h"
#include "TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

// A PATH folder "bin" and a program folder "prog dir", whose path holds a
// blank as command lines from the program folder have it.
struct Folders
{
    Folders()
    {
        QDir(tmp.Path()).mkpath(QStringLiteral("bin"));
        QDir(tmp.Path()).mkpath(QStringLiteral("prog dir"));
    }
    // A command line with "<prog>" standing for the program folder.
    QString Command(const char *line) const { return QString::fromUtf8(line).replace(QStringLiteral("<prog>"), tmp.File(QStringLiteral("prog dir"))); }

    TempFolder tmp;
    StubProgram::PathOverride path{tmp.File(QStringLiteral("bin"))};
};

TEST(ProcessStarterTest, StartsFromThePathOrByPathNativelyOrThroughWine)
{
    const char *const help = "winhlp32.EXE <prog>\\kvr_Bulkrun.hlp";
    const struct
    {
        const char *stub;
        const char *windowsFile; // a file that begins with "MZ", if any
        const char *command;
        const char *run[2]; // the program started and its argument, if any
    } cases[] = {
        // letter case and ".exe" are ignored on the PATH and in the program folder
        {"bin/winhlp32", nullptr, help, {"bin/winhlp32", "prog dir/kvr_Bulkrun.hlp"}},
        {"bin/WinHlp32.exe", nullptr, help, {"bin/WinHlp32.exe", "prog dir/kvr_Bulkrun.hlp"}},
        {"bin/WINHLP32.EXE", "prog dir/KVR_BULKRUN.HLP", help, {"bin/WINHLP32.EXE", "prog dir/KVR_BULKRUN.HLP"}},
        {"prog dir/KVR_Fennic.EXE", nullptr, "<prog>\\kvr_Fennic.exe", {"prog dir/KVR_Fennic.EXE", nullptr}},
        // a Windows program goes to wine, found on the PATH
        {"bin/wine", "prog dir/kvr_Fennic.exe", "<prog>\\kvr_Fennic.exe", {"bin/wine", "prog dir/kvr_Fennic.exe"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stub);
        const Folders folders;
        StubProgram::Write(folders.tmp.File(QLatin1String(c.stub)));
        if (c.windowsFile)
            folders.tmp.Write(QLatin1String(c.windowsFile), QByteArray("MZ\x90\0windows program", 19));
        ProcessStarter().Start(folders.Command(c.command));
        QStringList run;
        for (const char *part : c.run) {
            if (part)
                run << folders.tmp.File(QLatin1String(part));
        }
        EXPECT_EQ(StubProgram::WaitForRun(run.first()), run);
    }
}

TEST(ProcessStarterTest, StartsThatCannotHappenThrow)
{
    const struct
    {
        const char *content; // of kvr_Fennic.exe, not executable; none when null
        const char *reason;
    } cases[] = {
        {nullptr, "there is no such program"},
        {"#!/bin/sh\n", "is not executable"},
        {"plain text\n", "is not a program"},
        {"MZ\x90", "no wine on the PATH"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        const Folders folders;
        if (c.content)
            folders.tmp.Write(QStringLiteral("prog dir/kvr_Fennic.exe"), c.content);
        try {
            ProcessStarter().Start(folders.Command("<prog>\\kvr_Fennic.exe"));
            ADD_FAILURE() << "started";
        } catch (const Failure &error) {
            EXPECT_TRUE(error.message().contains(QLatin1String(c.reason))) << error.what();
        }
    }
    // A file of the name that is not a program is passed over on the PATH.
    const Folders folders;
    folders.tmp.Write(QStringLiteral("bin/winhlp32"), "not a program");
    EXPECT_THROW(ProcessStarter().Start(folders.Command("winhlp32.EXE <prog>\\kvr_Bulkrun.hlp")), Failure);
}

} // namespace
