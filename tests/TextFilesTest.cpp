// Text files: the encodings of their bytes, their lines, and whole files on
// disk. TextEncodingFuzz holds any bytes to the rules of strict UTF-8 and of
// reading back what was written, LineReaderFuzz to the rules of line ends
// and of one encoding for the whole file.
#include "DiskFileSystem.h"
#include "FileLineReader.h"
#include "TextEncoding.h"

#include "Failure.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <numeric>
#include <tuple>
#include <utility>

namespace {

const TextEncoding Cp1252 = TextEncoding::Windows1252, MarkedCp1252{Cp1252.charset, true}, MarkedUtf8{TextEncoding::Charset::Utf8, true};

// UTF-16 by its mark and an even size; every byte of Windows-1252, the five
// that the code page leaves undefined as the C1 controls of the same number.
TEST(TextCodec, DetectsUtf16AndKeepsEveryWindows1252Byte)
{
    const std::pair<QByteArray, TextEncoding> utf16[] = {
        {QByteArray("\xFF\xFE\x3D\xD8", 4), {TextEncoding::Charset::Utf16LE, true}},  // an unpaired surrogate
        {QByteArray("\xFE\xFF\0a", 4),      {TextEncoding::Charset::Utf16BE, true}},
        {"\xFF\xFE" "a",                    Cp1252},
    };
    for (const auto &[bytes, expected] : utf16)
        EXPECT_EQ(TextCodec::DetectWithUtf16(bytes), expected) << bytes.toHex(' ').toStdString();

    QByteArray all(256, 0);
    std::iota(all.begin(), all.end(), char(0));
    QString expected = QString::fromLatin1(all);
    expected.replace(0x80, 32, QString::fromUtf16(u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160"
                                                  u"\u2039\u0152\u008D\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022"
                                                  u"\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178"));
    EXPECT_EQ(TextCodec::Decode(all, Cp1252), expected);

    // What the code page cannot hold becomes '?' (0x80 is the euro sign, not
    // U+0080; a pair of surrogates is one character), and makes the text UTF-8.
    const std::pair<QString, QByteArray> rows[] = {{QString::fromUtf16(u"\u0080"), "?"}, {QString::fromUtf16(u"a\u03A9b"), "a?b"},
                                                   {QString::fromUtf16(u"\U0001F600"), "?"}};
    for (const auto &[unheld, marked] : rows) {
        EXPECT_EQ(TextCodec::Holding(unheld, MarkedCp1252), MarkedUtf8);
        EXPECT_EQ(TextCodec::Encode(unheld, Cp1252), marked) << unheld.toStdString();
    }
}

// A line ends at CR LF or a lone CR; a lone LF is a character. Chunks of one
// and three bytes cut a CR LF and a character in two.
TEST(FileLineReader, EndsLinesAtCrLfOrALoneCr)
{
    TempFolder temp;
    const QString path = temp.Write("t.txt", "ab\r\n\ncd\r\xC3\xA9\r\n");
    for (const qsizetype chunk : {1, 3}) {
        FileLineReader reader(path, chunk);
        QStringList lines;
        for (QString line; reader.Next(line);)
            lines << line;
        EXPECT_EQ(lines, QStringList({"ab", "\ncd", "é"})) << chunk;
    }
}

// A new text file replaces what was there. What is written comes
// back as the same text, read in the encoding its bytes show: the mark is
// kept apart from the text, a U+FEFF after it is text, no line end is added.
TEST(DiskFileSystem, CreatesWritesAndReadsExactBytesOrNamesThePath)
{
    TempFolder temp;
    DiskFileSystem fs;
    fs.CreateFolder(temp.File("log"));
    temp.Write("log/old.lst", "a much longer old content");
    fs.CreateTextFile(temp.File("log/old.lst"));
    fs.CreateTextFile(temp.File("log/new.lst"));
    EXPECT_EQ(temp.Read("log/old.lst") + temp.Read("log/new.lst"), QByteArray());
    EXPECT_TRUE(fs.FolderExists(temp.File("log")) && !fs.FileExists(temp.File("log")) && fs.FileExists(temp.File("log/new.lst")));

    const std::tuple<QString, TextEncoding, QByteArray> rows[] = {  // written, one after the other
        {QStringLiteral(u"\uFEFFcafé\r\nb\rc\nd"), MarkedUtf8, "\xEF\xBB\xBF\xEF\xBB\xBF" "caf\xC3\xA9\r\nb\rc\nd"},
        {"café\r\n\u0081", Cp1252, "caf\xE9\r\n\x81"},
    };
    for (const auto &[text, encoding, written] : rows) {
        fs.WriteWhole(temp.File("log/old.lst"), text, encoding);
        EXPECT_EQ(temp.Read("log/old.lst"), written);
        const TextContent content = fs.ReadWhole(temp.File("log/old.lst"));
        EXPECT_TRUE(content.text == text && content.encoding == encoding) << text.toStdString();
    }

    // Tests run as root, whom permissions do not stop: a failure comes from a
    // folder that exists where a folder or a file is to be made.
    for (const bool file : {false, true}) {
        try {
            file ? fs.CreateTextFile(temp.File("log")) : fs.CreateFolder(temp.File("log"));
            ADD_FAILURE() << "no failure";
        } catch (const FileFailure &failure) {
            EXPECT_TRUE(failure.message().contains(temp.File("log"))) << failure.what();
        }
    }
}

} // namespace
