#include "DiskFileSystem.h"

#include "Failure.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>

namespace {

class DiskFileSystemTest : public ::testing::Test
{
protected:
    QStringList Entries(const QString &folder = {}) const
    {
        return QDir(temp.File(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    TempFolder temp;
    DiskFileSystem fs;
};

TEST_F(DiskFileSystemTest, TellsFilesFromFolders)
{
    temp.Write("folder/file.txt", "x");
    EXPECT_TRUE(fs.FolderExists(temp.File("folder")));
    EXPECT_FALSE(fs.FileExists(temp.File("folder")));
    EXPECT_TRUE(fs.FileExists(temp.File("folder/file.txt")));
    EXPECT_FALSE(fs.FolderExists(temp.File("folder/file.txt")));
    EXPECT_FALSE(fs.FileExists(temp.File("missing")));
    EXPECT_FALSE(fs.FolderExists(temp.File("missing")));
}

TEST_F(DiskFileSystemTest, CreatesFoldersAndEmptyFiles)
{
    fs.CreateFolder(temp.File("log"));
    EXPECT_TRUE(fs.FolderExists(temp.File("log")));

    temp.Write("log/old.lst", "old content");
    fs.CreateTextFile(temp.File("log/old.lst"));
    fs.CreateTextFile(temp.File("log/new.lst"));
    EXPECT_EQ(temp.Read("log/old.lst"), QByteArray());
    EXPECT_EQ(temp.Read("log/new.lst"), QByteArray());
}

TEST_F(DiskFileSystemTest, CopyReplacesTheTarget)
{
    const QByteArray bytes("a\r\nb\xE9\x00z", 7);
    temp.Write("from.dll", bytes);
    temp.Write("to.dll", "a much longer old content");
    fs.CopyFile(temp.File("from.dll"), temp.File("to.dll"));
    EXPECT_EQ(temp.Read("to.dll"), bytes);
    EXPECT_EQ(Entries(), QStringList({"from.dll", "to.dll"}));
}

TEST_F(DiskFileSystemTest, ReadsWholeFilesWithEveryLineEnd)
{
    struct Row
    {
        QByteArray bytes;
        QString text;
        TextEncoding encoding;
    };
    const Row rows[] = {
        {"",                          "",              TextEncoding::Utf8},
        {"a\r\nb\rc\nd\r\n",          "a\r\nb\rc\nd\r\n", TextEncoding::Utf8},
        {"\xEF\xBB\xBF" "caf\xC3\xA9", QStringLiteral(u"\uFEFFcafé"), TextEncoding::Utf8},
        {"caf\xE9\r\n\x81",           "café\r\n\u0081", TextEncoding::Windows1252},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bytes.toHex(' ').toStdString());
        const TextContent content = fs.ReadWhole(temp.Write("t.txt", row.bytes));
        EXPECT_EQ(content.text, row.text);
        EXPECT_EQ(content.encoding, row.encoding);
    }
}

TEST_F(DiskFileSystemTest, WritesExactlyTheTextInItsEncoding)
{
    struct Row
    {
        QString text;
        TextEncoding encoding;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"",                TextEncoding::Windows1252, ""},
        {"a\r\nb",          TextEncoding::Utf8,        "a\r\nb"},   // no line end added
        {"café\r\n",        TextEncoding::Windows1252, "caf\xE9\r\n"},
        {"café\r\n",        TextEncoding::Utf8,        "caf\xC3\xA9\r\n"},
        {"\u0081€",         TextEncoding::Windows1252, "\x81\x80"},
        {"café Ω",          TextEncoding::Windows1252, "caf\xC3\xA9 \xCE\xA9"},  // not lost: UTF-8
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        temp.Write("t.txt", "old content that is longer than any new one");
        fs.WriteWhole(temp.File("t.txt"), row.text, row.encoding);
        EXPECT_EQ(temp.Read("t.txt"), row.bytes);
        EXPECT_EQ(fs.ReadWhole(temp.File("t.txt")).text, row.text);
        EXPECT_EQ(Entries(), QStringList{"t.txt"}) << "the temporary file is gone";
    }
}

// Tests run as root, whom permissions do not stop: failures come from a
// regular file where a folder must be, a folder where a file must be, or a
// missing file.
TEST_F(DiskFileSystemTest, FailuresNameThePath)
{
    temp.Write("file.txt", "x");
    temp.Write("folder/inside.txt", "x");
    const QString file = temp.File("file.txt");
    const QString folder = temp.File("folder");
    const QString missing = temp.File("missing.txt");
    const QString underFile = temp.File("file.txt/below");

    struct Row
    {
        const char *what;
        QString path;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"create existing folder",   folder,    [&] { fs.CreateFolder(folder); }},
        {"create folder, no parent", underFile, [&] { fs.CreateFolder(underFile + "/x"); }},
        {"create file on folder",    folder,    [&] { fs.CreateTextFile(folder); }},
        {"create file under file",   underFile, [&] { fs.CreateTextFile(underFile); }},
        {"copy from missing",        missing,   [&] { fs.CopyFile(missing, temp.File("to")); }},
        {"copy onto folder",         folder,    [&] { fs.CopyFile(file, folder); }},
        {"lines of folder",          folder,    [&] { fs.OpenLines(folder); }},
        {"lines of missing",         missing,   [&] { fs.OpenLines(missing); }},
        {"read folder",              folder,    [&] { fs.ReadWhole(folder); }},
        {"read missing",             missing,   [&] { fs.ReadWhole(missing); }},
        {"write folder",             folder,    [&] { fs.WriteWhole(folder, "x", TextEncoding::Utf8); }},
        {"write under file",         underFile, [&] { fs.WriteWhole(underFile, "x", TextEncoding::Utf8); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        try {
            row.call();
            ADD_FAILURE() << "no failure";
        } catch (const FileFailure &failure) {
            EXPECT_TRUE(failure.message().contains(row.path)) << failure.what();
        }
    }
    EXPECT_EQ(temp.Read("file.txt"), "x");
    EXPECT_EQ(Entries(), QStringList({"file.txt", "folder"}));
    EXPECT_EQ(Entries("folder"), QStringList{"inside.txt"});
}

} // namespace
