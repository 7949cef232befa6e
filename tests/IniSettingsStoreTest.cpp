#include "IniSettingsStore.h"

#include "Failure.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <random>
#include <thread>
#include <utility>

#include <sys/stat.h>

namespace {

// Literals with embedded NULs keep every byte.
template <qsizetype N>
QByteArray Bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

class IniSettingsStoreTest : public ::testing::Test
{
protected:
    QString Get(const QString &section, const QString &key) { return store.GetSetting("Tavrin", section, key); }

    TempFolder temp;
    IniSettingsStore store{temp.File("Tavrin.ini")};
};

TEST_F(IniSettingsStoreTest, ReadsHandWrittenFiles)
{
    const std::pair<QByteArray, QString> rows[] = {  // the file, and what [Bulkrun] Option reads
        {Bytes("[BULKRUN]\noPTION=1"),                          "1"},
        {Bytes("[Bulkrun]\nOption=1\r\r\n"),                    "1\r"},
        // blanks around names go, the value stays as it stands
        {Bytes(" \t[ Bulkrun ] \n Option\t= \"a\"=b ;c #d \n"), " \"a\"=b ;c #d "},
        {Bytes("[Bulkrun]\nO\0=1\nOption=x\0y\n"),              QString::fromUtf8(Bytes("x\0y"))},
        {Bytes("\xEF\xBB\xBF[Bulkrun]\nOption=1\n"),            "1"},
        {Bytes("[Bulkrun]\nOption=caf\xE9\x80\n"),              "café€"},
        {Bytes("[Bulkrun]\nOption=\xEF\xBB\xBFx\n"),            QStringLiteral(u"\uFEFFx")},
        {Bytes("[Bulkrun]\n\xEF\xBB\xBFOption=1\nOption=2\n"),  "2"},  // a mark makes another key
        // a marked value that is not well formed reads as it stands
        {Bytes("[Bulkrun]\nOption=@Escaped:C:\\data\n"),        "@Escaped:C:\\data"},
        {Bytes("[Bulkrun]\nOption=@Escaped:a\\\n"),             "@Escaped:a\\"},
        {Bytes("[Bulkrun]\nOption=@Escaped:\\u00e9\\u123\n"),   "@Escaped:\\u00e9\\u123"},
        // what is not an entry of the section
        {Bytes("Option=1\n[Bulkrun]\n"),                        ""},
        {Bytes("[Bulkrun]\n[KVRFennic]\nOption=1\n"),           ""},
        {Bytes("[Bulkrun]\n;Option=1\n  #Option=2\nOption=3"),  "3"},
        {Bytes("[Bulkrun]\nOptions=1\ngarbage\n[Bulkrun\nOption=2"), "2"},
        // the first entry wins, in whichever part of the section it stands
        {Bytes("[Bulkrun]\noption=1\nOPTION=2\n"),              "1"},
        {Bytes("[Bulkrun]\nA=1\n[KVRFennic]\nOption=2\n[bulkrun]\nOption=3\n"), "3"},
    };
    for (const auto &[file, expected] : rows) {
        SCOPED_TRACE(file.toStdString());
        temp.Write("Tavrin.ini", file);
        EXPECT_EQ(Get("Bulkrun", "Option"), expected);
    }
}

// A value with a line break, a lone surrogate or the marker at its start is
// stored marked and escaped; any other is stored as it is.
TEST_F(IniSettingsStoreTest, SavedValuesReadBackExactly)
{
    const std::pair<QString, QByteArray> rows[] = {  // the value, and how it is stored
        {"  a=b;c#d \"q\"  ",                          "  a=b;c#d \"q\"  "},
        {"C:\\data\\new.csv",                          "C:\\data\\new.csv"},
        {QString::fromUtf8(Bytes("café € 😀 x\0y")),   Bytes("café € 😀 x\0y")},
        {"a\nb",                                       "@Escaped:a\\nb"},
        {"C:\\new\rline",                              "@Escaped:C:\\\\new\\rline"},
        {"@Escaped:a\\nb",                             "@Escaped:@Escaped:a\\\\nb"},
        {QChar(0xDC00) + QString("x") + QChar(0xD800), "@Escaped:\\udc00x\\ud800"},
        {QChar(0xFEFF) + QString("x"),                 "\xEF\xBB\xBFx"},
    };
    for (const auto &[value, stored] : rows) {
        SCOPED_TRACE(stored.toStdString());
        temp.Write("Tavrin.ini", "[Bulkrun]\nA=1\nReplace_Value=old\nZ=2\n");
        store.SaveSetting("Tavrin", "Bulkrun", "Replace_Value", value);
        EXPECT_EQ(temp.Read("Tavrin.ini"), "[Bulkrun]\nA=1\nReplace_Value=" + stored + "\nZ=2\n");
        EXPECT_EQ(Get("Bulkrun", "REPLACE_value"), value);
    }
}

TEST_F(IniSettingsStoreTest, SaveChangesOnlyItsOwnEntry)
{
    const std::pair<QByteArray, QByteArray> rows[] = {  // the file before and after saving [Bulkrun] Option=2
        // the first entry is replaced, keeping its key spelling and line end
        {Bytes("; c\r\nOption=0\r\n[bulkrun]\r\ngarbage\r\n oPTION = 7\r\nOption=8\r\n[KVRFennic]\r\nX=1"),
         Bytes("; c\r\nOption=0\r\n[bulkrun]\r\ngarbage\r\n oPTION =2\r\nOption=8\r\n[KVRFennic]\r\nX=1")},
        {Bytes("[Bulkrun]\nOption=1"), Bytes("[Bulkrun]\nOption=2\n")},
        // a new key follows the last entry of the section's first part
        {Bytes("[Bulkrun]\nA=1\n\n; c\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n"),
         Bytes("[Bulkrun]\nA=1\nOption=2\n\n; c\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n")},
        {Bytes("[Bulkrun]"), Bytes("[Bulkrun]\nOption=2\n")},
        // a CR that ends an unterminated last line stays part of its text
        {Bytes("[Bulkrun]\nA=b\r"), Bytes("[Bulkrun]\nA=b\r\r\nOption=2\n")},
        {Bytes("A=b\r"), Bytes("A=b\r\r\n\n[Bulkrun]\nOption=2\n")},
        // a new section goes at the end, after one blank line
        {Bytes("\xEF\xBB\xBF"), Bytes("\xEF\xBB\xBF[Bulkrun]\nOption=2\n")},
        {Bytes("Option=1"), Bytes("Option=1\n\n[Bulkrun]\nOption=2\n")},
        {Bytes("[KVRFennic]\nA=1\n\n"), Bytes("[KVRFennic]\nA=1\n\n[Bulkrun]\nOption=2\n")},
        // a Windows-1252 file is rewritten as UTF-8
        {Bytes("[Bulkrun]\nText1=caf\xE9\n"), Bytes("[Bulkrun]\nText1=caf\xC3\xA9\nOption=2\n")},
    };
    for (const auto &[before, after] : rows) {
        SCOPED_TRACE(before.toStdString());
        temp.Write("Tavrin.ini", before);
        store.SaveSetting("Tavrin", "Bulkrun", "Option", "2");
        EXPECT_EQ(temp.Read("Tavrin.ini"), after);
    }
}

TEST_F(IniSettingsStoreTest, CreatesTheFileAndItsFolders)
{
    IniSettingsStore deep(temp.File("config/deeper/Tavrin.ini"));
    deep.SaveSetting("Tavrin", "Bulkrun", "Option", "Batch");
    EXPECT_EQ(temp.Read("config/deeper/Tavrin.ini"), "[Bulkrun]\nOption=Batch\n");
}

// A file that does not know its size is read as far as it goes, and a file
// of exactly 16 MiB is read whole.
TEST_F(IniSettingsStoreTest, ReadsWholeFilesUpToTheLimit)
{
    const QString fifo = temp.File("fifo.ini");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread writer([&] {
        QFile out(fifo);
        if (out.open(QIODevice::WriteOnly))
            out.write("[Bulkrun]\n" + QByteArray(100000, ';') + "\nOption=7\n");
    });
    EXPECT_EQ(IniSettingsStore(fifo).GetSetting("Tavrin", "Bulkrun", "Option"), "7");
    writer.join();

    QByteArray limit = "[Bulkrun]\n" + QByteArray(16 * 1024 * 1024 - 20, ';') + "\nOption=1\n";
    ASSERT_EQ(limit.size(), 16 * 1024 * 1024);
    temp.Write("Tavrin.ini", limit);
    EXPECT_EQ(Get("Bulkrun", "Option"), "1");
}

// The folder is a file, the file is a folder, or the file is too large.
TEST_F(IniSettingsStoreTest, FailedSaveThrowsAndLeavesTheFile)
{
    temp.Write("plain", "x");
    QDir(temp.Path()).mkpath("folder/Tavrin.ini");
    QByteArray huge = "[Bulkrun]\nOption=1\n";
    huge.resize(16 * 1024 * 1024 + 1, ';');
    temp.Write("huge.ini", huge);

    for (const QString name : {"plain/Tavrin.ini", "folder/Tavrin.ini", "huge.ini"}) {
        SCOPED_TRACE(name.toStdString());
        IniSettingsStore failing(temp.File(name));
        EXPECT_EQ(failing.GetSetting("Tavrin", "Bulkrun", "Option"), "");
        try {
            failing.SaveSetting("Tavrin", "Bulkrun", "Option", "2");
            ADD_FAILURE() << "no FileFailure";
        } catch (const FileFailure &failure) {
            EXPECT_TRUE(failure.message().contains(temp.File(name))) << failure.what();
        }
    }
    EXPECT_EQ(temp.Read("plain"), "x");
    EXPECT_EQ(temp.Read("huge.ini"), huge);
}

// After any save into any file, the key reads back what was saved.
TEST_F(IniSettingsStoreTest, SurvivesGarbage)
{
    const QByteArray alphabet = Bytes("[]=;#\r\n\0 \tKeyOption@\\\xE9\xC3\xA9");
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        QByteArray garbage;
        for (int i = 0; i < 4000; ++i)
            garbage += alphabet[qsizetype(random() % alphabet.size())];
        temp.Write("Tavrin.ini", garbage);
        SCOPED_TRACE(garbage.toHex().toStdString());
        store.SaveSetting("Tavrin", "Bulkrun", "Option", "a\r\nb");
        store.SaveSetting("Tavrin", "KVRFennic", "Key", "1");
        EXPECT_EQ(Get("Bulkrun", "Option"), "a\r\nb");
        EXPECT_EQ(Get("KVRFennic", "key"), "1");
    }
}

// A relative (or empty) XDG_CONFIG_HOME counts as unset.
TEST(IniSettingsStoreDefaultPath, FollowsXdgConfigHome)
{
    const QByteArray home = qgetenv("HOME"), xdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/op");
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(IniSettingsStore::DefaultPath(), "/home/op/.config/Tavrin.ini");
    qputenv("XDG_CONFIG_HOME", "/etc/cfg/");
    EXPECT_EQ(IniSettingsStore::DefaultPath(), "/etc/cfg/Tavrin.ini");
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", xdg);
}

} // namespace
