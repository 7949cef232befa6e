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

// The list and the log of a program whose folder cannot be written (here: a
// missing one, since root may write any) go to the operator's data folder.
TEST(ProgramFolder, KeepsItsOwnFilesInTheDataFolderWhenItCannotBeWritten)
{
    TempFolder temp;
    const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(temp.Path()));
    const struct { QString folder, dataHome, data; } rows[] = {
        {temp.Path(),     "",                  temp.Path()},
        {"/missing/bin",  temp.File("xdg"),    temp.File("xdg/KVR_Bulkrun")},
        {"/missing/bin",  "",                  temp.File(".local/share/KVR_Bulkrun")},
    };
    for (const auto &row : rows) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(row.dataHome));
        const ProgramFolder folder = ProgramFolder::ForExecutable(row.folder);
        EXPECT_EQ(folder.Path() + ' ' + folder.LogFile(), row.folder + ' ' + row.data + "/log/Batch_Log.lst");
        EXPECT_TRUE(QFileInfo(row.data).isDir()) << qPrintable(row.data);
    }
    qputenv("HOME", home), qputenv("XDG_DATA_HOME", data);
}

// Each row in a folder of its own with a PATH folder "bin" and a program
// folder "prog dir", whose path holds a blank as command lines from the
// program folder have it ("<prog>" stands for it). A row writes a stub
// program or two (";" between them) and a file, and the command line runs a
// program with its arguments ("<program>|<argument>...") or fails for a
// reason ("!<reason>").
TEST(ProcessStarter, StartsFromThePathOrByPathNativelyOrThroughWine)
{
    const char *const help = "winhlp32.EXE <prog>\\kvr_Bulkrun.hlp", *const fennic = "<prog>\\kvr_Fennic.exe";
    const struct { const char *stub, *file, *content, *command, *outcome; } cases[] = {
        // letter case and ".exe" are ignored on the PATH and in the program folder
        {"bin/wine;bin/WinHlp32.exe", nullptr,                  nullptr,       help,   "bin/WinHlp32.exe|prog dir/kvr_Bulkrun.hlp"},
        {"bin/wine",                nullptr,                    nullptr,       help,   "bin/wine|winhlp32.exe|prog dir/kvr_Bulkrun.hlp"},  // wine's own
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
        for (const QString &stub : QString(c.stub).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            StubProgram::Write(tmp.File(stub));
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
