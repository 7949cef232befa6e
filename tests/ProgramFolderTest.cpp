#include "ProgramFolder.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

TEST(ProgramFolder, MatchesEveryPartWithoutRegardToCase)
{
    struct Row
    {
        QStringList existing;  // files; a name ending in '/' is a folder
        QString suffix;
        QString expected;      // relative to the program folder
    };
    const Row rows[] = {
        {{"list.lst"},                  "\\List.lst",          "list.lst"},
        {{"List.lst"},                  "\\list.lst",          "List.lst"},
        {{"LOG/"},                      "\\log\\Batch_Log.lst", "LOG/Batch_Log.lst"},
        {{"LOG/batch_log.LST"},         "\\log\\Batch_Log.lst", "LOG/batch_log.LST"},
        {{},                            "\\log\\Batch_Log.lst", "log/Batch_Log.lst"},
        {{"list.lst", "List.lst"},      "\\List.lst",          "List.lst"},  // exact spelling first
        {{"log/"},                      "\\log",               "log"},
        // past a missing part nothing is looked up: the given spelling stays
        {{"Other/LOG/batch_log.lst"},   "\\other\\x\\log",     "Other/x/log"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.suffix.toStdString() + " among " + row.existing.join(' ').toStdString());
        TempFolder temp;
        for (const QString &name : row.existing) {
            if (name.endsWith('/'))
                QDir(temp.Path()).mkpath(name);
            else
                temp.Write(name, "x");
        }
        EXPECT_EQ(ProgramFolder(temp.Path()).File(row.suffix), temp.Path() + '/' + row.expected);
    }
}

TEST(ProgramFolder, GivesAbsolutePaths)
{
    TempFolder temp;
    temp.Write("LIST.lst", "x");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.Path()));
    const QString path = ProgramFolder(".").File("\\list.lst");
    QDir::setCurrent(before);
    EXPECT_EQ(path, QDir(temp.Path()).canonicalPath() + "/LIST.lst");
}

} // namespace
