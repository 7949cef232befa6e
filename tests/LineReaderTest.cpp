#include "FileLineReader.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <string>

namespace {

// Small chunks put every line end and every multi-byte character across a
// chunk boundary somewhere; the scan for the encoding reads in the same chunks.
const qsizetype kChunkSizes[] = {1, 2, 3, 4, 5, 7, FileLineReader::kChunkSize};

TEST(FileLineReader, SplitsAndDecodesLinesAcrossChunks)
{
    const auto Utf8 = TextEncoding::Utf8, Cp1252 = TextEncoding::Windows1252;
    const TextEncoding MarkedUtf8{Utf8.charset, true}, MarkedCp1252{Cp1252.charset, true};
    struct Row
    {
        QByteArray bytes;
        TextEncoding encoding;
        QStringList lines;
    };
    const Row rows[] = {
        // a line ends at CR LF or a lone CR; a lone LF is a character
        {"",                 Utf8,   {}},
        {"ab\r\ncd\r\n",     Utf8,   {"ab", "cd"}},   // a trailing line end adds no line
        {"ab\rcd\r",         Utf8,   {"ab", "cd"}},
        {"ab\n",             Utf8,   {"ab\n"}},
        {"\r\r\n",           Utf8,   {"", ""}},
        {"ab\r\n\ncd",       Utf8,   {"ab", "\ncd"}},  // only one LF belongs to the line end
        // one encoding for the whole file, decided by every byte after its mark
        {"\xEF\xBB\xBF" "caf\xC3\xA9\r\n\xE2\x82\xAC\xF0\x9F\x98\x80", MarkedUtf8, {"café", "€😀"}},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" "\r\xEF\xBB\xBF", MarkedUtf8, {QStringLiteral(u"\uFEFF"), QStringLiteral(u"\uFEFF")}},
        {"\xEF\xBB\xBF" "caf\xE9",          MarkedCp1252, {"café"}},
        {"caf\xE9\r\n\x80",                 Cp1252, {"café", "€"}},
        {"\xC3\xA9\r\nlater x\xE9",         Cp1252, {"Ã©", "later xé"}},
        {"\xC3\xA9\r\n\xC3",                Cp1252, {"Ã©", "Ã"}},  // cut at the end
    };
    for (const Row &row : rows) {
        for (const qsizetype chunk : kChunkSizes) {
            SCOPED_TRACE(row.bytes.toHex(' ').toStdString() + " chunk " + std::to_string(chunk));
            TempFolder temp;
            FileLineReader reader(temp.Write("t.txt", row.bytes), chunk);
            EXPECT_EQ(reader.Encoding(), row.encoding);
            QStringList lines;
            QString line;
            while (reader.Next(line))
                lines.append(line);
            EXPECT_EQ(lines, row.lines);
            EXPECT_FALSE(reader.Next(line)) << "a finished reader stays finished";
        }
    }
}

} // namespace
