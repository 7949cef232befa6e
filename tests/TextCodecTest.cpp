#include "TextEncoding.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

namespace {

// Not QString::fromUtf16, which would drop a leading U+FEFF.
QString Chars(const char16_t *text)
{
    return QStringView(text).toString();
}

TEST(TextCodec, DetectsStrictUtf8)
{
    struct Row
    {
        QByteArray bytes;
        TextEncoding expected;
    };
    const auto Utf8 = TextEncoding::Utf8, Cp1252 = TextEncoding::Windows1252;
    const Row rows[] = {
        {"", Utf8},
        {"plain ascii\r\n", Utf8},
        {"\xC3\xA9", Utf8},                // é
        {"\xE0\xA0\x80", Utf8},            // U+0800, smallest three-byte form
        {"\xED\x9F\xBF", Utf8},            // U+D7FF, just below the surrogates
        {"\xEF\xBB\xBF" "abc", Utf8},      // byte order mark
        {"\xF0\x90\x80\x80", Utf8},        // U+10000
        {"\xF4\x8F\xBF\xBF", Utf8},        // U+10FFFF
        {"abcdefghij\xE2\x82\xAC", Utf8},  // after a run of ASCII words
        {"\xC0\x80", Cp1252},              // overlong NUL
        {"\xC1\xBF", Cp1252},              // overlong two-byte
        {"\xE0\x9F\xBF", Cp1252},          // overlong three-byte
        {"\xF0\x8F\xBF\xBF", Cp1252},      // overlong four-byte
        {"\xED\xA0\x80", Cp1252},          // surrogate U+D800
        {"\xF4\x90\x80\x80", Cp1252},      // above U+10FFFF
        {"\xF5\x80\x80\x80", Cp1252},
        {"\xE2\x82", Cp1252},              // cut off at the end
        {"\xE2\x28\xA1", Cp1252},          // bad continuation
        {"\x80", Cp1252},                  // lone continuation
        {"\xFF", Cp1252},
        {"abcdefgh\xE9", Cp1252},          // Windows-1252 é after a whole ASCII word
        {"caf\xE9", Cp1252},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bytes.toHex(' ').toStdString());
        EXPECT_EQ(TextCodec::Detect(row.bytes), row.expected);
    }
}

// A high byte at every place around the 8-byte steps of the ASCII scan.
TEST(TextCodec, FindsAHighByteAnywhere)
{
    for (int at = 0; at < 20; ++at) {
        QByteArray bytes(20, 'a');
        bytes[at] = '\xE9';
        SCOPED_TRACE(at);
        EXPECT_EQ(TextCodec::Detect(bytes), TextEncoding::Windows1252);
        EXPECT_EQ(TextCodec::Decode(bytes, TextEncoding::Windows1252).at(at), QChar(0xE9));
    }
}

TEST(TextCodec, Windows1252KeepsEveryByte)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = TextCodec::Decode(all, TextEncoding::Windows1252);
    ASSERT_EQ(text.size(), 256);
    EXPECT_TRUE(TextCodec::CanEncode(text, TextEncoding::Windows1252));
    EXPECT_EQ(TextCodec::Encode(text, TextEncoding::Windows1252), all);

    struct Row
    {
        int byte;
        char16_t character;
    };
    const Row rows[] = {
        {0x41, u'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x8D, 0x008D},
        {0x8F, 0x008F}, {0x90, 0x0090}, {0x93, 0x201C}, {0x99, 0x2122}, {0x9D, 0x009D},
        {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.byte);
        EXPECT_EQ(text.at(row.byte).unicode(), row.character);
    }
}

TEST(TextCodec, EncodesWindows1252OnlyWhatItHolds)
{
    struct Row
    {
        QString text;
        bool encodable;
        QByteArray bytes;
    };
    const Row rows[] = {
        {Chars(u"caf\u00E9 \u20AC"), true, "caf\xE9 \x80"},
        {Chars(u"\u0081\u009D"), true, "\x81\x9D"},
        {Chars(u"\u0080"), false, "?"},      // 0x80 is the euro sign, not U+0080
        {Chars(u"a\u03A9b"), false, "a?b"},
        {Chars(u"\U0001F600"), false, "?"},  // one mark for a pair of surrogates
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(TextCodec::CanEncode(row.text, TextEncoding::Windows1252), row.encodable);
        EXPECT_EQ(TextCodec::Encode(row.text, TextEncoding::Windows1252), row.bytes);
    }
}

TEST(TextCodec, Utf8RoundTripKeepsByteOrderMarks)
{
    const QByteArray bytes = "\xEF\xBB\xBF\xEF\xBB\xBF" "a\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";
    const QString text = TextCodec::Decode(bytes, TextEncoding::Utf8);
    EXPECT_EQ(text, Chars(u"\uFEFF\uFEFFa\u20AC\U0001F600\r\n"));
    EXPECT_EQ(TextCodec::Encode(text, TextEncoding::Utf8), bytes);
    EXPECT_TRUE(TextCodec::CanEncode(text, TextEncoding::Utf8));
    EXPECT_FALSE(TextCodec::CanEncode(QString(QChar(0xD800)), TextEncoding::Utf8));
}

} // namespace
