#include "ProcessStarter.h"

#include "Failure.h"
#include "StubProgram.h"
#include "TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

// A PATH folder and a program folder whose path holds a blank, as command
// lines from the program folder have it.
class ProcessStarterTest : public testing::Test
{
protected:
    ProcessStarterTest()
    {
        QDir(tmp.Path()).mkpath(QStringLiteral("bin"));
        QDir(tmp.Path()).mkpath(QStringLiteral("prog dir"));
    }

    QString Bin(const QString &name) const { return tmp.File(QStringLiteral("bin/") + name); }
    QString Prog(const QString &name) const { return tmp.File(QStringLiteral("prog dir/") + name); }
    QString ProgFolder() const { return tmp.File(QStringLiteral("prog dir")); }

    TempFolder tmp;
    StubProgram::PathOverride path{tmp.File(QStringLiteral("bin"))};
    ProcessStarter starter;
};

TEST_F(ProcessStarterTest, HelpViewerIsFoundOnThePathWhateverItsCaseAndExe)
{
    const struct
    {
        const char *onPath;  // the help viewer's name in the PATH folder
        const char *helpFile;  // the help file in the program folder, if any
        const char *argument;  // the name of the help file the viewer gets
    } cases[] = {
        {"winhlp32", nullptr, "kvr_Bulkrun.hlp"},
        {"WinHlp32.exe", nullptr, "kvr_Bulkrun.hlp"},
        {"WINHLP32.EXE", "KVR_BULKRUN.HLP", "KVR_BULKRUN.HLP"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.onPath);
        TempFolder run;
        QDir(run.Path()).mkpath(QStringLiteral("bin"));
        QDir(run.Path()).mkpath(QStringLiteral("prog dir"));
        StubProgram::PathOverride path(run.File(QStringLiteral("bin")));
        const QString viewer = run.File(QStringLiteral("bin/") + QLatin1String(c.onPath));
        StubProgram::Write(viewer);
        if (c.helpFile)
            run.Write(QStringLiteral("prog dir/") + QLatin1String(c.helpFile), "help");

        starter.Start(QStringLiteral("winhlp32.EXE ") + run.File(QStringLiteral("prog dir"))
                      + QStringLiteral("\\kvr_Bulkrun.hlp"));
        EXPECT_EQ(StubProgram::WaitForRun(viewer),
                  QStringList({viewer, run.File(QStringLiteral("prog dir/") + QLatin1String(c.argument))}));
    }
}

TEST_F(ProcessStarterTest, SiblingEditorStartsDirectlyOrThroughWine)
{
    // A native program, its name in another case than the command line's.
    StubProgram::Write(Prog(QStringLiteral("KVR_Fennic.EXE")));
    starter.Start(ProgFolder() + QStringLiteral("\\kvr_Fennic.exe"));
    EXPECT_EQ(StubProgram::WaitForRun(Prog(QStringLiteral("KVR_Fennic.EXE"))),
              QStringList{Prog(QStringLiteral("KVR_Fennic.EXE"))});

    // A Windows program goes to wine, found on the PATH.
    tmp.Write(QStringLiteral("prog dir/kvr_Fennic.exe"), "MZ\x90\0windows program");
    QFile::remove(Prog(QStringLiteral("KVR_Fennic.EXE")));
    StubProgram::Write(Bin(QStringLiteral("wine")));
    starter.Start(ProgFolder() + QStringLiteral("\\kvr_Fennic.exe"));
    EXPECT_EQ(StubProgram::WaitForRun(Bin(QStringLiteral("wine"))),
              QStringList({Bin(QStringLiteral("wine")), Prog(QStringLiteral("kvr_Fennic.exe"))}));
}

TEST_F(ProcessStarterTest, StartsThatCannotHappenThrow)
{
    const struct
    {
        const char *name;
        QByteArray content;  // of kvr_Fennic.exe; none when null
        bool executable;
        const char *reason;
    } cases[] = {
        {"missing", QByteArray(), false, "there is no such program"},
        {"script without execute bit", "#!/bin/sh\n", false, "is not executable"},
        {"not a program", "plain text\n", true, "is not a program"},
        {"Windows program without wine", "MZ\x90", false, "no wine on the PATH"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString sibling = Prog(QStringLiteral("kvr_Fennic.exe"));
        QFile::remove(sibling);
        if (!c.content.isNull()) {
            tmp.Write(QStringLiteral("prog dir/kvr_Fennic.exe"), c.content);
            if (c.executable)
                QFile::setPermissions(sibling, QFile::permissions(sibling) | QFile::ExeOwner);
        }
        try {
            starter.Start(ProgFolder() + QStringLiteral("\\kvr_Fennic.exe"));
            ADD_FAILURE() << "started";
        } catch (const Failure &error) {
            EXPECT_TRUE(error.message().contains(QLatin1String(c.reason))) << error.what();
        }
    }

    // No help viewer on the PATH: the rest of the line names no program either.
    EXPECT_THROW(starter.Start(QStringLiteral("winhlp32.EXE ") + ProgFolder() + QStringLiteral("\\kvr_Bulkrun.hlp")),
                 Failure);
    // A file of the name that is not a program is passed over on the PATH.
    tmp.Write(QStringLiteral("bin/winhlp32"), "not a program");
    EXPECT_THROW(starter.Start(QStringLiteral("winhlp32.EXE x")), Failure);
}

} // namespace
