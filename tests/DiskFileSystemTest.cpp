#include "DiskFileSystem.h"

#include "Failure.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

class DiskFileSystemTest : public ::testing::Test
{
protected:
    TempFolder temp;
    DiskFileSystem fs;
};

TEST_F(DiskFileSystemTest, CreatesAndCopies)
{
    fs.CreateFolder(temp.File("log"));
    temp.Write("log/old.lst", "a much longer old content");
    const QByteArray bytes("a\r\nb\xE9\x00z", 7);
    fs.CopyFile(temp.Write("log/from.dll", bytes), temp.File("log/old.lst"));
    EXPECT_EQ(temp.Read("log/old.lst"), bytes);

    fs.CreateTextFile(temp.File("log/old.lst"));
    fs.CreateTextFile(temp.File("log/new.lst"));
    EXPECT_EQ(temp.Read("log/old.lst"), QByteArray());
    EXPECT_EQ(temp.Read("log/new.lst"), QByteArray());

    EXPECT_TRUE(fs.FolderExists(temp.File("log")));
    EXPECT_FALSE(fs.FileExists(temp.File("log")));
    EXPECT_TRUE(fs.FileExists(temp.File("log/new.lst")));
    EXPECT_FALSE(fs.FileExists(temp.File("missing")));
}

// What is written comes back as the same text, read in the encoding its
// bytes show: the mark is kept apart from the text, a U+FEFF after it is text.
TEST_F(DiskFileSystemTest, WritesAndReadsExactBytes)
{
    const TextEncoding Utf8{TextEncoding::Charset::Utf8, true}, Cp1252 = TextEncoding::Windows1252;
    const std::tuple<QString, TextEncoding, QByteArray> rows[] = {  // written, bytes
        // no line end is added
        {QStringLiteral(u"\uFEFFcafé\r\nb\rc\nd"), Utf8, "\xEF\xBB\xBF\xEF\xBB\xBF" "caf\xC3\xA9\r\nb\rc\nd"},
        {"café\r\n\u0081", Cp1252, "caf\xE9\r\n\x81"},
    };
    for (const auto &[text, encoding, bytes] : rows) {
        SCOPED_TRACE(text.toStdString());
        temp.Write("t.txt", "old content that is longer than any new one");
        fs.WriteWhole(temp.File("t.txt"), text, encoding);
        EXPECT_EQ(temp.Read("t.txt"), bytes);
        const TextContent content = fs.ReadWhole(temp.File("t.txt"));
        EXPECT_EQ(content.text, text);
        EXPECT_EQ(content.encoding, encoding);
    }
}

// Tests run as root, whom permissions do not stop: failures come from a
// folder where a file must be, a file where a folder must be, or a missing file.
TEST_F(DiskFileSystemTest, FailuresNameThePath)
{
    const QString file = temp.Write("file.txt", "x");
    const QString folder = temp.File("folder");
    const QString missing = temp.File("missing.txt");
    fs.CreateFolder(folder);

    const std::tuple<const char *, QString, std::function<void()>> rows[] = {
        {"create existing folder", folder,  [&] { fs.CreateFolder(folder); }},
        {"create file on folder",  folder,  [&] { fs.CreateTextFile(folder); }},
        {"copy from missing",      missing, [&] { fs.CopyFile(missing, temp.File("to")); }},
        {"copy onto folder",       folder,  [&] { fs.CopyFile(file, folder); }},
        {"lines of missing",       missing, [&] { fs.OpenLines(missing); }},
        {"read missing",           missing, [&] { fs.ReadWhole(missing); }},
        {"write under file",       file,    [&] { fs.WriteWhole(file + "/below", "x", TextEncoding::Utf8); }},
    };
    for (const auto &[what, path, call] : rows) {
        SCOPED_TRACE(what);
        try {
            call();
            ADD_FAILURE() << "no failure";
        } catch (const FileFailure &failure) {
            EXPECT_TRUE(failure.message().contains(path)) << failure.what();
        }
    }
}

} // namespace
