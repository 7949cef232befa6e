// The program's files, named by Windows-style paths, and the programs that
// command lines in that form start.
#include "ProcessStarter.h"
#include "ProgramFolder.h"

#include "Failure.h"
#include "StubProgram.h"
#include "TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

// Each row in a folder of its own, given as a path relative to the current
// folder: the result is absolute all the same.
TEST(ProgramFolder, MatchesEveryPartWithoutRegardToCase)
{
    const struct { QStringList existing; const char *suffix, *expected; } rows[] = {  // existing: files; a name ending in '/' is a folder
        {{"list.lst", "List.lst"},    "\\List.lst",           "List.lst"},  // the exact spelling first
        {{"LOG/batch_log.LST"},       "\\log\\Batch_Log.lst", "LOG/batch_log.LST"},
        {{"LOG/"},                    "\\log\\Batch_Log.lst", "LOG/Batch_Log.lst"},  // a missing part keeps its spelling
    };
    TempFolder temp;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.Path()));
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const QString folder = QStringLiteral("row%1/").arg(i);
        for (const QString &name : rows[i].existing)
            name.endsWith('/') ? void(QDir().mkpath(folder + name)) : void(temp.Write(folder + name, "x"));
        EXPECT_EQ(ProgramFolder(folder).File(rows[i].suffix), QDir::currentPath() + '/' + folder + rows[i].expected) << rows[i].suffix;
    }
    QDir::setCurrent(before);
}

// Each row in a folder of its own with a PATH folder "bin" and a program
// folder "prog dir", whose path holds a blank as command lines from the
// program folder have it ("<prog>" stands for it). A row writes a stub
// program and a file, and the command line runs a program with an argument
// ("<program>|<argument>") or fails for a reason ("!<reason>").
TEST(ProcessStarter, StartsFromThePathOrByPathNativelyOrThroughWine)
{
    const char *const help = "winhlp32.EXE <prog>\\kvr_Bulkrun.hlp", *const fennic = "<prog>\\kvr_Fennic.exe";
    const struct { const char *stub, *file, *content, *command, *outcome; } cases[] = {
        // letter case and ".exe" are ignored on the PATH and in the program folder
        {"bin/WinHlp32.exe",        nullptr,                    nullptr,       help,   "bin/WinHlp32.exe|prog dir/kvr_Bulkrun.hlp"},
        {"bin/WINHLP32.EXE",        "prog dir/KVR_BULKRUN.HLP", "help",        help,   "bin/WINHLP32.EXE|prog dir/KVR_BULKRUN.HLP"},
        {"prog dir/KVR_Fennic.EXE", nullptr,                    nullptr,       fennic, "prog dir/KVR_Fennic.EXE"},
        // a Windows program goes to wine, found on the PATH
        {"bin/wine",                "prog dir/kvr_Fennic.exe",  "MZ\x90 exe",  fennic, "bin/wine|prog dir/kvr_Fennic.exe"},
        {nullptr,                   nullptr,                    nullptr,       fennic, "!there is no such program"},
        {nullptr,                   "prog dir/kvr_Fennic.exe",  "#!/bin/sh\n", fennic, "!is not executable"},
        {nullptr,                   "prog dir/kvr_Fennic.exe",  "plain text",  fennic, "!is not a program"},
        {nullptr,                   "prog dir/kvr_Fennic.exe",  "MZ\x90",      fennic, "!no wine on the PATH"},
        {nullptr,                   "bin/winhlp32",             "plain text",  help,   "!there is no such program"},  // passed over on the PATH
    };
    for (const auto &c : cases) {
        const QString expected = QString::fromUtf8(c.outcome);
        TempFolder tmp;
        QDir(tmp.Path()).mkpath(QStringLiteral("bin")), QDir(tmp.Path()).mkpath(QStringLiteral("prog dir"));
        const StubProgram::PathOverride path(tmp.File(QStringLiteral("bin")));
        if (c.stub)
            StubProgram::Write(tmp.File(QLatin1String(c.stub)));
        if (c.file)
            tmp.Write(QLatin1String(c.file), c.content);
        try {
            ProcessStarter().Start(QString::fromUtf8(c.command).replace(QStringLiteral("<prog>"), tmp.File(QStringLiteral("prog dir"))));
            const QString program = tmp.File(expected.section(QLatin1Char('|'), 0, 0));
            EXPECT_EQ(StubProgram::WaitForRun(program).join(QLatin1Char('|')).remove(tmp.Path() + QLatin1Char('/')), expected) << c.command;
        } catch (const Failure &error) {
            EXPECT_TRUE(expected.startsWith(QLatin1Char('!')) && error.message().contains(expected.mid(1))) << error.what();
        }
    }
}

} // namespace
