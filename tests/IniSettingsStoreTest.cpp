#include "IniSettingsStore.h"

#include "Failure.h"
#include "TempFolder.h"
#include "TextEncoding.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <thread>
#include <tuple>
#include <utility>

#include <sys/stat.h>

namespace {

// SettingsFuzz holds any file and value to the rules that a save changes
// only its own entry, in place, keeping the file's encoding, and that every
// key then reads what it read before or the value saved. Here: what files
// read as, and where a save puts its lines.
TEST(IniSettingsStore, ReadsAndSavesHandWrittenFiles)
{
    TempFolder temp;
    IniSettingsStore store(temp.File("Tavrin.ini"));
    const std::pair<QByteArray, QString> rows[] = {  // the file, and what [Bulkrun] Option reads
        // blanks around names go, the value stays as it stands
        {" \t[ Bulkrun ] \n Option\t= \"a\"=b ;c #d \n",          " \"a\"=b ;c #d "},
        // a marked value that is not well formed reads as it stands
        {"[Bulkrun]\nOption=@Escaped:C:\\data\n",                "@Escaped:C:\\data"},
        {"[Bulkrun]\nOption=@Escaped:a\\\n",                     "@Escaped:a\\"},
        {"[Bulkrun]\nOption=@Escaped:\\u00e9\\u123\n",           "@Escaped:\\u00e9\\u123"},
        // what is not an entry of the section; the first entry wins, in whichever part of the section it stands
        {"Option=1\n[Bulkrun]\n",                                ""},
        {"[Bulkrun]\nOptions=1\ngarbage\n[Bulkrun\nOption=2",    "2"},
        {"[Bulkrun]\nA=1\n[KVRFennic]\nOption=2\n[bulkrun]\nOption=3\nOPTION=4\n", "3"},
    };
    for (const auto &[file, expected] : rows) {
        temp.Write("Tavrin.ini", file);
        EXPECT_EQ(store.GetSetting("Tavrin", "Bulkrun", "Option"), expected) << file.toStdString();
    }

    const auto utf16 = [](const char16_t *text) { return TextCodec::Encode(QStringView(text).toString(), {TextEncoding::Charset::Utf16BE, true}); };
    const std::tuple<QByteArray, QString, QByteArray> saves[] = {  // the file before, the value saved as [Bulkrun] Option, the file after
        // a value is stored as it is, unless it holds a line break or an unpaired surrogate, or starts with the marker
        {"[Bulkrun]\nOption=1\n", " a=b;c#d \"q\" C:\\new ", "[Bulkrun]\nOption= a=b;c#d \"q\" C:\\new \n"},
        {"[Bulkrun]\nOption=1\n", "C:\\new\rline\n",         "[Bulkrun]\nOption=@Escaped:C:\\\\new\\rline\\n\n"},
        {"[Bulkrun]\nOption=1\n", "@Escaped:a\\nb",          "[Bulkrun]\nOption=@Escaped:@Escaped:a\\\\nb\n"},
        {"[Bulkrun]\nOption=1\n", QChar(0xDC00) + QString("x") + QChar(0xD800), "[Bulkrun]\nOption=@Escaped:\\udc00x\\ud800\n"},
        // a new key follows the last entry of the section's first part
        {"[Bulkrun]\nA=1\n\n; c=d\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n", "2", "[Bulkrun]\nA=1\nOption=2\n\n; c=d\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n"},
        // new lines end as the line they follow, or the one before that
        {"[Bulkrun]",           "2", "[Bulkrun]\nOption=2\n"},
        {"[Bulkrun]\nA=b\r",    "2", "[Bulkrun]\nA=b\rOption=2\r"},
        {"[Bulkrun]\r\nA=b",    "2", "[Bulkrun]\r\nA=b\r\nOption=2\r\n"},
        // a new section goes at the end, after one blank line
        {"\xEF\xBB\xBF",        "2", "\xEF\xBB\xBF[Bulkrun]\nOption=2\n"},
        {"Option=1",            "2", "Option=1\n\n[Bulkrun]\nOption=2\n"},
        {"[KVRFennic]\nA=1\n\n", "2", "[KVRFennic]\nA=1\n\n[Bulkrun]\nOption=2\n"},
        {utf16(u"A=1\r"),       "2", utf16(u"A=1\r\r[Bulkrun]\rOption=2\r")},
    };
    for (const auto &[before, value, after] : saves) {
        temp.Write("Tavrin.ini", before);
        store.SaveSetting("Tavrin", "Bulkrun", "Option", value);
        EXPECT_EQ(temp.Read("Tavrin.ini"), after) << before.toStdString();
    }
}

// The file and its folders are created. A file that does not know its size
// is read as far as it goes, and a value that makes the file 64 MiB saves and
// reads back whole; a larger file reads as "", and a save fails, naming the
// file and leaving it as it was.
TEST(IniSettingsStore, SavesWholeFilesUpToTheLimit)
{
    TempFolder temp;
    IniSettingsStore store(temp.File("Tavrin.ini"));
    IniSettingsStore deep(temp.File("config/deeper/Tavrin.ini"));
    deep.SaveSetting("Tavrin", "Bulkrun", "Option", "Batch");
    EXPECT_EQ(temp.Read("config/deeper/Tavrin.ini"), "[Bulkrun]\nOption=Batch\n");

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
    EXPECT_TRUE(store.GetSetting("Tavrin", "Bulkrun", "Option") == big);

    QByteArray huge = "[Bulkrun]\nOption=1\n";
    huge.resize(64 * 1024 * 1024 + 1, ';');
    IniSettingsStore failing(temp.Write("huge.ini", huge));
    EXPECT_EQ(failing.GetSetting("Tavrin", "Bulkrun", "Option"), "");
    try {
        failing.SaveSetting("Tavrin", "Bulkrun", "Option", "2");
        ADD_FAILURE() << "no FileFailure";
    } catch (const FileFailure &failure) {
        EXPECT_TRUE(failure.message().contains(failing.Path())) << failure.what();
    }
    EXPECT_TRUE(temp.Read("huge.ini") == huge);
}

// A relative (or empty) XDG_CONFIG_HOME counts as unset.
TEST(IniSettingsStore, DefaultPathFollowsXdgConfigHome)
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
