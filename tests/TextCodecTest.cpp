#include "TextEncoding.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <utility>

namespace {

// Not QString::fromUtf16, which would drop a leading U+FEFF.
QString Chars(const char16_t *text)
{
    return QStringView(text).toString();
}

// One row per bound of a lead byte or of its first continuation byte, or per mark.
TEST(TextCodec, DetectsStrictUtf8AndMarks)
{
    const auto Utf8 = TextEncoding::Utf8, Cp1252 = TextEncoding::Windows1252;
    const TextEncoding MarkedCp1252{Cp1252.charset, true};
    const TextEncoding Utf16LE{TextEncoding::Charset::Utf16LE, true}, Utf16BE{TextEncoding::Charset::Utf16BE, true};
    const std::pair<QByteArray, TextEncoding> rows[] = {
        {"\xE0\xA0\x80", Utf8},        // U+0800, smallest three-byte form
        {"\xED\x9F\xBF", Utf8},        // U+D7FF, just below the surrogates
        {"\xF0\x90\x80\x80", Utf8},    // U+10000
        {"\xF4\x8F\xBF\xBF", Utf8},    // U+10FFFF
        {"\x80", Cp1252},              // lone continuation
        {"\xC1\xBF", Cp1252},          // overlong two-byte
        {"\xE0\x9F\xBF", Cp1252},      // overlong three-byte
        {"\xED\xA0\x80", Cp1252},      // surrogate U+D800
        {"\xF0\x8F\xBF\xBF", Cp1252},  // overlong four-byte
        {"\xF4\x90\x80\x80", Cp1252},  // above U+10FFFF
        {"\xF5\x80\x80\x80", Cp1252},
        {"\xE2\x82", Cp1252},          // cut off at the end
        {"\xE2\x82\x28", Cp1252},      // bad second continuation
        {"\xEF\xBB\xBF" "caf\xE9", MarkedCp1252},
        {QByteArray("\xFF\xFE\x3D\xD8", 4), Utf16LE},  // an unpaired surrogate
        {QByteArray("\xFE\xFF\0a", 4), Utf16BE},
        {"\xFF\xFE" "a", Cp1252},      // odd size
    };
    for (const auto &[bytes, expected] : rows) {
        SCOPED_TRACE(bytes.toHex(' ').toStdString());
        EXPECT_EQ(TextCodec::DetectWithUtf16(bytes), expected);
        EXPECT_EQ(TextCodec::Encode(TextCodec::Decode(bytes, expected), expected), bytes);
    }
    // A high byte at every place around the 8-byte steps of the ASCII scan.
    for (int at = 0; at < 20; ++at) {
        QByteArray bytes(20, 'a');
        bytes[at] = '\xE9';
        SCOPED_TRACE(at);
        EXPECT_EQ(TextCodec::Detect(bytes), TextEncoding::Windows1252);
        EXPECT_EQ(TextCodec::Decode(bytes, TextEncoding::Windows1252).at(at), QChar(0xE9));
    }
}

TEST(TextCodec, Windows1252KeepsEveryByteAndMarksTheRest)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    // 0x80..0x9F; the five undefined bytes are the C1 controls of the same number.
    QString expected = QString::fromLatin1(all);
    expected.replace(0x80, 32, Chars(u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160"
                                     u"\u2039\u0152\u008D\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022"
                                     u"\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178"));
    const QString text = TextCodec::Decode(all, TextEncoding::Windows1252);
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(TextCodec::CanEncode(text, TextEncoding::Windows1252));
    EXPECT_EQ(TextCodec::Encode(text, TextEncoding::Windows1252), all);

    // What the code page cannot hold becomes '?'.
    const std::pair<QString, QByteArray> rows[] = {
        {Chars(u"\u0080"), "?"},      // 0x80 is the euro sign, not U+0080
        {Chars(u"a\u03A9b"), "a?b"},
        {Chars(u"\U0001F600"), "?"},  // one mark for a pair of surrogates
    };
    for (const auto &[unheld, marked] : rows) {
        SCOPED_TRACE(unheld.toStdString());
        EXPECT_FALSE(TextCodec::CanEncode(unheld, TextEncoding::Windows1252));
        EXPECT_EQ(TextCodec::Holding(unheld, {TextEncoding::Charset::Windows1252, true}),
                  TextEncoding({TextEncoding::Charset::Utf8, true}));
        EXPECT_EQ(TextCodec::Encode(unheld, TextEncoding::Windows1252), marked);
    }
}

} // namespace
