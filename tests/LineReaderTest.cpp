#include "FileLineReader.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

QStringList ReadAll(LineReader &reader)
{
    QStringList lines;
    QString line;
    while (reader.Next(line))
        lines.append(line);
    QString after;
    EXPECT_FALSE(reader.Next(after)) << "a finished reader stays finished";
    return lines;
}

// Small chunks put every line end and every multi-byte character across a
// chunk boundary somewhere.
const qsizetype kChunkSizes[] = {1, 2, 3, 4, 5, 7, FileLineReader::kChunkSize};

TEST(FileLineReader, SplitsLinesAtCrLfAndLoneCr)
{
    struct Row
    {
        QByteArray bytes;
        QStringList lines;
    };
    const Row rows[] = {
        {"",                {}},
        {"a",               {"a"}},
        {"ab\r\ncd",        {"ab", "cd"}},
        {"ab\r\ncd\r\n",    {"ab", "cd"}},   // a trailing line end adds no line
        {"ab\rcd\r",        {"ab", "cd"}},
        {"ab\ncd",          {"ab\ncd"}},     // a lone LF is a character
        {"ab\n",            {"ab\n"}},
        {"\n\r\n",          {"\n"}},
        {"\r\n",            {""}},
        {"\r",              {""}},
        {"\r\n\r\n",        {"", ""}},
        {"\r\r\n",          {"", ""}},
        {"ab\r\r",          {"ab", ""}},
        {"ab\r\n\rcd",      {"ab", "", "cd"}},
        {"ab\r\n\ncd",      {"ab", "\ncd"}},  // only one LF belongs to the line end
        {"\n",              {"\n"}},
    };
    for (const Row &row : rows) {
        for (const qsizetype chunk : kChunkSizes) {
            SCOPED_TRACE(row.bytes.toHex(' ').toStdString() + " chunk " + std::to_string(chunk));
            TempFolder temp;
            FileLineReader reader(temp.Write("t.txt", row.bytes), chunk);
            EXPECT_EQ(ReadAll(reader), row.lines);
        }
    }
}

// One decision for the whole file: a single byte that is not UTF-8 anywhere
// makes every line Windows-1252.
TEST(FileLineReader, DecodesEveryLineWithTheEncodingOfTheWholeFile)
{
    struct Row
    {
        QByteArray bytes;
        TextEncoding encoding;
        QStringList lines;
    };
    const Row rows[] = {
        {"caf\xC3\xA9\r\n\xE2\x82\xAC",     TextEncoding::Utf8,        {"café", "€"}},
        {"\xF0\x9F\x98\x80",                TextEncoding::Utf8,        {"😀"}},
        {"\xEF\xBB\xBF" "a\r\nb",           TextEncoding::Utf8,        {QStringLiteral(u"\uFEFFa"), "b"}},
        {"caf\xE9\r\n\x80",                 TextEncoding::Windows1252, {"café", "€"}},
        {"\xC3\xA9\r\nlater x\xE9",         TextEncoding::Windows1252, {"Ã©", "later xé"}},
        {"\xC3\xA9\r\n\xC3",                TextEncoding::Windows1252, {"Ã©", "Ã"}},  // cut at the end
    };
    for (const Row &row : rows) {
        for (const qsizetype chunk : kChunkSizes) {
            SCOPED_TRACE(row.bytes.toHex(' ').toStdString() + " chunk " + std::to_string(chunk));
            TempFolder temp;
            FileLineReader reader(temp.Write("t.txt", row.bytes), chunk);
            EXPECT_EQ(reader.Encoding(), row.encoding);
            EXPECT_EQ(ReadAll(reader), row.lines);
        }
    }
}

TEST(FileLineReader, ReadsAFileOfManyChunks)
{
    QByteArray bytes;
    QStringList expected;
    for (int i = 0; i < 40000; ++i) {
        const QString line = QStringLiteral("line %1 ").arg(i) + QString(i % 13, QChar(0xE9));
        expected.append(line);
        bytes += line.toUtf8() + (i % 3 == 0 ? "\r" : "\r\n");
    }
    ASSERT_GT(bytes.size(), 4 * FileLineReader::kChunkSize);
    TempFolder temp;
    FileLineReader reader(temp.Write("big.txt", bytes));
    EXPECT_EQ(reader.Encoding(), TextEncoding::Utf8);
    EXPECT_EQ(ReadAll(reader), expected);
}

} // namespace
