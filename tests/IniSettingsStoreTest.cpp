#include "IniSettingsStore.h"

#include "Failure.h"
#include "TempFolder.h"
#include "TextEncoding.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QByteArray Utf16(const char16_t *text, TextEncoding::Charset charset)
{
    return TextCodec::Encode(QStringView(text).toString(), {charset, true});
}
const auto LE = TextEncoding::Charset::Utf16LE, BE = TextEncoding::Charset::Utf16BE;

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
        {Bytes("[Bulkrun]\n\rOption=1\r\r\n"),                   "1"},  // CR, LF and CR LF end lines
        {Utf16(u"[Bulkrun]\rOption=\U0001F600\n", LE),           QStringLiteral(u"\U0001F600")},
        {Utf16(u"[Bulkrun]\r\nOption=\uFEFF\u00E9", BE),          QStringLiteral(u"\uFEFF\u00E9")},
        // blanks around names go, the value stays as it stands
        {Bytes(" \t[ Bulkrun ] \n Option\t= \"a\"=b ;c #d \n"), " \"a\"=b ;c #d "},
        {Bytes("[Bulkrun]\nO\0=1\nOption=x\0y\n"),              QString::fromUtf8(Bytes("x\0y"))},
        {Bytes("\xEF\xBB\xBF[Bulkrun]\nOption=1\n"),            "1"},
        {Bytes("[Bulkrun]\nOption=caf\xE9\x80\n"),              "café€"},
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
        {"C:\\new\rline\n",                            "@Escaped:C:\\\\new\\rline\\n"},
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
        {Bytes("[Bulkrun]\nOption=1"), Bytes("[Bulkrun]\nOption=2")},
        {Utf16(u"[Bulkrun]\r\nOption=1\r\n", LE), Utf16(u"[Bulkrun]\r\nOption=2\r\n", LE)},
        // a new key follows the last entry of the section's first part
        {Bytes("[Bulkrun]\nA=1\n\n; c\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n"),
         Bytes("[Bulkrun]\nA=1\nOption=2\n\n; c\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n")},
        // new lines end as the line they follow, or the one before that
        {Bytes("[Bulkrun]"), Bytes("[Bulkrun]\nOption=2\n")},
        {Bytes("[Bulkrun]\nA=b\r"), Bytes("[Bulkrun]\nA=b\rOption=2\r")},
        {Bytes("[Bulkrun]\r\nA=b"), Bytes("[Bulkrun]\r\nA=b\r\nOption=2\r\n")},
        // a new section goes at the end, after one blank line
        {Bytes("\xEF\xBB\xBF"), Bytes("\xEF\xBB\xBF[Bulkrun]\nOption=2\n")},
        {Bytes("Option=1"), Bytes("Option=1\n\n[Bulkrun]\nOption=2\n")},
        {Bytes("[KVRFennic]\nA=1\n\n"), Bytes("[KVRFennic]\nA=1\n\n[Bulkrun]\nOption=2\n")},
        {Utf16(u"A=1\r", BE), Utf16(u"A=1\r\r[Bulkrun]\rOption=2\r", BE)},
        // a Windows-1252 file is rewritten as UTF-8, keeping its mark
        {Bytes("\xEF\xBB\xBF[Bulkrun]\nText1=caf\xE9\n"), Bytes("\xEF\xBB\xBF[Bulkrun]\nText1=caf\xC3\xA9\nOption=2\n")},
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

// A file that does not know its size is read as far as it goes, and a value
// that makes the file 64 MiB saves and reads back whole.
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

    const QString big(64 * 1024 * 1024 - 18, u'x');
    store.SaveSetting("Tavrin", "Bulkrun", "Option", big);
    EXPECT_EQ(QFileInfo(store.Path()).size(), 64 * 1024 * 1024);
    EXPECT_TRUE(Get("Bulkrun", "Option") == big);
}

// The folder is a file, the file is a folder, or the file is too large.
TEST_F(IniSettingsStoreTest, FailedSaveThrowsAndLeavesTheFile)
{
    temp.Write("plain", "x");
    QDir(temp.Path()).mkpath("folder/Tavrin.ini");
    QByteArray huge = "[Bulkrun]\nOption=1\n";
    huge.resize(64 * 1024 * 1024 + 1, ';');
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
