#include "IniSettingsStore.h"

#include "Failure.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <optional>
#include <random>

namespace {

// Literals with embedded NULs keep every byte.
template <qsizetype N>
QByteArray Bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

template <qsizetype N>
QString Text(const char (&s)[N])
{
    return QString::fromUtf8(s, N - 1);
}

class IniSettingsStoreTest : public ::testing::Test
{
protected:
    QString Get(const QString &section, const QString &key) { return store.GetSetting("Tavrin", section, key); }
    void Save(const QString &section, const QString &key, const QString &value)
    {
        store.SaveSetting("Tavrin", section, key, value);
    }

    TempFolder temp;
    IniSettingsStore store{temp.File("Tavrin.ini")};
};

TEST_F(IniSettingsStoreTest, ReadsHandWrittenFiles)
{
    struct Row
    {
        QByteArray file;
        QString section;
        QString key;
        QString expected;
    };
    const Row rows[] = {
        {Bytes("[Bulkrun]\nAuto_Run=1\n"),                    "Bulkrun",   "Auto_Run",      "1"},
        {Bytes("[Bulkrun]\r\nDelimiter=;\r\n"),               "Bulkrun",   "Delimiter",     ";"},
        {Bytes("[BULKRUN]\nauto_RUN=1"),                      "Bulkrun",   "Auto_Run",      "1"},
        {Bytes("[kvrfennic]\nFile_register=1\n"),             "KVRFennic", "File_Register", "1"},
        {Bytes("[Bulkrun]\nImport_File=C:\\data\\new.csv\n"), "Bulkrun",   "Import_File",   "C:\\data\\new.csv"},
        // blanks around names go, the value stays as it stands
        {Bytes(" \t[ Bulkrun ] \n Option\t= a=b \n"),        "Bulkrun",   "Option",        " a=b "},
        {Bytes("[Bulkrun]\nOption=\"x\" ;y #z\n"),            "Bulkrun",   "Option",        "\"x\" ;y #z"},
        {Bytes("[Bulkrun]\nOption=\n"),                       "Bulkrun",   "Option",        ""},
        {Bytes("[Bulkrun]\nOption=1\r\r\n"),                  "Bulkrun",   "Option",        "1\r"},
        {Bytes("[Bulkrun]\nO\0=1\nOption=x\0y\n"),            "Bulkrun",   "Option",        Text("x\0y")},
        {Bytes("\xEF\xBB\xBF[Bulkrun]\nOption=1\n"),          "Bulkrun",   "Option",        "1"},
        {Bytes("[Bulkrun]\nOption=caf\xC3\xA9\n"),            "Bulkrun",   "Option",        "café"},
        {Bytes("[Bulkrun]\nOption=caf\xE9\x80\n"),            "Bulkrun",   "Option",        "café€"},
        // marked values decode only when well formed
        {Bytes("[Bulkrun]\nOption=@Escaped:a\\r\\nb\\\\\n"), "Bulkrun",   "Option",        "a\r\nb\\"},
        {Bytes("[Bulkrun]\nOption=@Escaped:C:\\data\n"),      "Bulkrun",   "Option",        "@Escaped:C:\\data"},
        {Bytes("[Bulkrun]\nOption=@Escaped:a\\\n"),           "Bulkrun",   "Option",        "@Escaped:a\\"},
        {Bytes("[Bulkrun]\nOption=@Escaped:\\u00e9\\u12\n"),  "Bulkrun",   "Option",        "@Escaped:\\u00e9\\u12"},
        // what is not an entry of the section
        {Bytes(""),                                           "Bulkrun",   "Option",        ""},
        {Bytes("Option=1\n[Bulkrun]\n"),                      "Bulkrun",   "Option",        ""},
        {Bytes("[Bulkrun]\n[KVRFennic]\nOption=1\n"),         "Bulkrun",   "Option",        ""},
        {Bytes("[Bulkrun]\n;Option=1\n  #Option=2\nOption=3"), "Bulkrun",  "Option",        "3"},
        {Bytes("[Bulkrun]\nOptions=1\ngarbage\n[Bulkrun\nOption=2"), "Bulkrun", "Option",   "2"},
        // the first entry wins, in whichever part of the section it stands
        {Bytes("[Bulkrun]\noption=1\nOPTION=2\n"),            "Bulkrun",   "Option",        "1"},
        {Bytes("[Bulkrun]\nA=1\n[KVRFennic]\nOption=2\n[bulkrun]\nOption=3\n"), "Bulkrun", "Option", "3"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        temp.Write("Tavrin.ini", row.file);
        EXPECT_EQ(Get(row.section, row.key), row.expected);
    }
}

TEST_F(IniSettingsStoreTest, SavedValuesReadBackExactly)
{
    struct Row
    {
        QString value;
        bool plain;  // written as it is
    };
    const Row rows[] = {
        {"",                     true},
        {"  blanks around  ",    true},
        {"a=b;c#d \"q\" 'r'",    true},
        {"C:\\data\\new.csv",    true},
        {"\\n\\",                true},
        {"café € 😀",            true},
        {Text("x\0y"),           true},
        {"a\nb",                 false},
        {"a\r\nb\r",             false},
        {"\n",                   false},
        {"C:\\new\rline",        false},
        {"@Escaped:",            false},
        {"@Escaped:a\\nb",       false},
        {QChar(0xDC00) + QString("x") + QChar(0xD800), false},
    };
    const QByteArray around = "[Bulkrun]\nA=1\nReplace_Value=old\nZ=2\n";
    for (const Row &row : rows) {
        SCOPED_TRACE(row.value.toStdString());
        temp.Write("Tavrin.ini", around);
        Save("Bulkrun", "Replace_Value", row.value);
        EXPECT_EQ(Get("Bulkrun", "REPLACE_value"), row.value);
        EXPECT_EQ(Get("Bulkrun", "A"), "1");
        EXPECT_EQ(Get("Bulkrun", "Z"), "2");
        const QByteArray file = temp.Read("Tavrin.ini");
        if (row.plain)
            EXPECT_EQ(file, "[Bulkrun]\nA=1\nReplace_Value=" + row.value.toUtf8() + "\nZ=2\n");
        else
            EXPECT_TRUE(file.contains("\nReplace_Value=@Escaped:")) << file.toStdString();
        EXPECT_EQ(file.count('\n'), 4);
        EXPECT_FALSE(file.contains('\r'));
    }
}

TEST_F(IniSettingsStoreTest, SaveChangesOnlyItsOwnEntry)
{
    struct Row
    {
        QByteArray before;
        QString section;
        QString key;
        QString value;
        QByteArray after;
    };
    const Row rows[] = {
        // the first entry is replaced, keeping its key spelling and line end
        {Bytes("; settings\r\nstray=1\r\n[bulkrun]\r\ngarbage\r\n search_COL = 7\r\nSearch_Col=8\r\n[KVRFennic]\r\nX=1"),
         "Bulkrun", "Search_Col", "12",
         Bytes("; settings\r\nstray=1\r\n[bulkrun]\r\ngarbage\r\n search_COL =12\r\nSearch_Col=8\r\n[KVRFennic]\r\nX=1")},
        {Bytes("[Bulkrun]\nOption=Batch"), "Bulkrun", "Option", "Import", Bytes("[Bulkrun]\nOption=Import\n")},
        // a new key follows the last entry of the section's first part
        {Bytes("[Bulkrun]\nA=1\n\n; the editor\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n"), "Bulkrun", "Delimiter", ";",
         Bytes("[Bulkrun]\nA=1\nDelimiter=;\n\n; the editor\n[KVRFennic]\nB=2\n[Bulkrun]\nC=3\n")},
        {Bytes("[Bulkrun]"), "Bulkrun", "Option", "Batch", Bytes("[Bulkrun]\nOption=Batch\n")},
        // a new section goes at the end
        {Bytes(""), "KVRFennic", "File_register", "1", Bytes("[KVRFennic]\nFile_register=1\n")},
        {Bytes("\xEF\xBB\xBF"), "KVRFennic", "File_register", "1", Bytes("\xEF\xBB\xBF[KVRFennic]\nFile_register=1\n")},
        {Bytes("Option=1"), "Bulkrun", "Option", "2", Bytes("Option=1\n\n[Bulkrun]\nOption=2\n")},
        {Bytes("[Bulkrun]\nA=1\n\n"), "KVRFennic", "File_register", "1",
         Bytes("[Bulkrun]\nA=1\n\n[KVRFennic]\nFile_register=1\n")},
        // a Windows-1252 file is rewritten as UTF-8
        {Bytes("[Bulkrun]\nText1=caf\xE9\n"), "Bulkrun", "Text2", "x", Bytes("[Bulkrun]\nText1=caf\xC3\xA9\nText2=x\n")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.before.toStdString());
        temp.Write("Tavrin.ini", row.before);
        Save(row.section, row.key, row.value);
        EXPECT_EQ(temp.Read("Tavrin.ini"), row.after);
    }
}

TEST_F(IniSettingsStoreTest, CreatesTheFileAndItsFolders)
{
    IniSettingsStore deep(temp.File("config/deeper/Tavrin.ini"));
    deep.SaveSetting("Tavrin", "Bulkrun", "Option", "Batch");
    deep.SaveSetting("Tavrin", "KVRFennic", "File_register", "1");
    deep.SaveSetting("Tavrin", "Bulkrun", "Data_List", "No");
    EXPECT_EQ(temp.Read("config/deeper/Tavrin.ini"), "[Bulkrun]\nOption=Batch\nData_List=No\n\n[KVRFennic]\nFile_register=1\n");
    EXPECT_EQ(QDir(temp.File("config/deeper")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.ini"});
}

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

TEST_F(IniSettingsStoreTest, SurvivesLargeValuesAndGarbage)
{
    QString big;
    for (int i = 0; big.size() < 1024 * 1024; ++i)
        big += QString::number(i) + (i % 7 == 0 ? "\n" : i % 5 == 0 ? "=\\" : " ");
    Save("Bulkrun", "Replace_Value", big);
    Save("Bulkrun", "Option", "Batch");
    EXPECT_EQ(Get("Bulkrun", "Replace_Value"), big);
    EXPECT_EQ(Get("Bulkrun", "Option"), "Batch");

    // After any save into any file, the key reads back what was saved.
    const QByteArray alphabet = Bytes("[]=;#\r\n\0 \tKeyOption@\\\xE9\xC3\xA9");
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        QByteArray garbage;
        for (int i = 0; i < 4000; ++i)
            garbage += alphabet[qsizetype(random() % alphabet.size())];
        temp.Write("Tavrin.ini", garbage);
        SCOPED_TRACE(garbage.toHex().toStdString());
        Get("Bulkrun", "Option");
        Save("Bulkrun", "Option", "a\r\nb");
        Save("KVRFennic", "Key", "1");
        EXPECT_EQ(Get("Bulkrun", "Option"), "a\r\nb");
        EXPECT_EQ(Get("KVRFennic", "key"), "1");
    }
}

// Sets (or, given nullptr, unsets) an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const char *value)
        : name_(name), old_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        value ? qputenv(name, value) : qunsetenv(name);
    }
    ~ScopedEnv() { old_ ? qputenv(name_, *old_) : qunsetenv(name_); }

private:
    const char *name_;
    std::optional<QByteArray> old_;
};

TEST(IniSettingsStoreDefaultPath, FollowsXdgConfigHome)
{
    const ScopedEnv home("HOME", "/home/op");
    const struct
    {
        const char *xdg;  // nullptr: unset
        QString expected;
    } rows[] = {
        {nullptr,        "/home/op/.config/Tavrin.ini"},
        {"",             "/home/op/.config/Tavrin.ini"},
        {"relative/cfg", "/home/op/.config/Tavrin.ini"},
        {"/etc/cfg/",    "/etc/cfg/Tavrin.ini"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.xdg ? row.xdg : "unset");
        const ScopedEnv xdg("XDG_CONFIG_HOME", row.xdg);
        EXPECT_EQ(IniSettingsStore::DefaultPath(), row.expected);
    }
}

} // namespace
