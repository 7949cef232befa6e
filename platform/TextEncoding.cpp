#include "TextEncoding.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// Characters of the bytes 0x80..0x9F in Windows-1252. The five bytes the code
// page leaves undefined stand for the C1 control of the same number.
constexpr std::array<char16_t, 32> kCp1252From80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Length of the run of ASCII bytes at the start of data.
qsizetype AsciiPrefix(const unsigned char *data, qsizetype size)
{
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        if (word & kHighBits)
            break;
    }
    while (i < size && data[i] < 0x80)
        ++i;
    return i;
}

// The Windows-1252 byte of c, or -1 when the code page has none.
int Cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(kCp1252From80.size()); ++i) {
        if (kCp1252From80[i] == c)
            return 0x80 + i;
    }
    return -1;
}

QByteArray EncodeCp1252(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    const char16_t *in = reinterpret_cast<const char16_t *>(text.constData());
    char *out = bytes.data();
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            out[n++] = char(c);
            continue;
        }
        const int byte = Cp1252Byte(c);
        out[n++] = byte < 0 ? '?' : char(byte);
        // A character outside the Basic Multilingual Plane is one '?', not two.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(in[i + 1]))
            ++i;
    }
    bytes.truncate(n);
    return bytes;
}

QString DecodeCp1252(QByteArrayView bytes)
{
    QString text = QString::fromLatin1(bytes);
    const qsizetype ascii = AsciiPrefix(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    if (ascii == bytes.size())
        return text;
    char16_t *chars = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = ascii; i < text.size(); ++i) {
        if (chars[i] >= 0x80 && chars[i] < 0xA0)
            chars[i] = kCp1252From80[chars[i] - 0x80];
    }
    return text;
}

// A U+FEFF is text like any other here; a mark has been taken off by the
// caller (QString's own decoder drops marks at the start).
QString DecodeUtf8(QByteArrayView bytes)
{
    QByteArrayView rest(bytes);
    qsizetype marks = 0;
    while (rest.startsWith("\xEF\xBB\xBF")) {
        rest = rest.sliced(3);
        ++marks;
    }
    if (marks == 0)
        return QString::fromUtf8(bytes);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(rest);
}

QString DecodeUtf16(QByteArrayView bytes, bool bigEndian)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    QString text(bytes.size() / 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const int high = bigEndian ? 0 : 1;
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = char16_t(in[2 * i + high] << 8 | in[2 * i + 1 - high]);
    return text;
}

QByteArray EncodeUtf16(const QString &text, bool bigEndian)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    const char16_t *in = reinterpret_cast<const char16_t *>(text.constData());
    char *out = bytes.data();
    const int high = bigEndian ? 0 : 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        out[2 * i + high] = char(in[i] >> 8);
        out[2 * i + 1 - high] = char(in[i] & 0xFF);
    }
    return bytes;
}

} // namespace

namespace TextCodec {

// Well-formed UTF-8 as the Unicode standard defines it: no overlong forms, no
// surrogates, nothing above U+10FFFF, no truncated sequence.
bool IsValidUtf8(const char *data, qsizetype size)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size) {
        i += AsciiPrefix(bytes + i, size - i);
        if (i == size)
            return true;

        const unsigned char lead = bytes[i];
        int trailing;
        unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailing = 2;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailing = 3;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (size - i - 1 < trailing)
            return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high)
            return false;
        for (int k = 2; k <= trailing; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += trailing + 1;
    }
    return true;
}

QByteArrayView Mark(TextEncoding encoding)
{
    if (!encoding.mark)
        return {};
    switch (encoding.charset) {
    case TextEncoding::Charset::Utf16LE: return "\xFF\xFE";
    case TextEncoding::Charset::Utf16BE: return "\xFE\xFF";
    default: return "\xEF\xBB\xBF";
    }
}

TextEncoding Detect(const QByteArray &bytes)
{
    const bool mark = bytes.startsWith("\xEF\xBB\xBF");
    const qsizetype from = mark ? 3 : 0;
    const bool utf8 = IsValidUtf8(bytes.constData() + from, bytes.size() - from);
    return {utf8 ? TextEncoding::Charset::Utf8 : TextEncoding::Charset::Windows1252, mark};
}

TextEncoding DetectWithUtf16(const QByteArray &bytes)
{
    if (bytes.size() % 2 == 0) {
        if (bytes.startsWith("\xFF\xFE"))
            return {TextEncoding::Charset::Utf16LE, true};
        if (bytes.startsWith("\xFE\xFF"))
            return {TextEncoding::Charset::Utf16BE, true};
    }
    return Detect(bytes);
}

QString Decode(const QByteArray &bytes, TextEncoding encoding)
{
    QByteArrayView rest(bytes);
    const QByteArrayView mark = Mark(encoding);
    if (!mark.isEmpty() && rest.startsWith(mark))
        rest = rest.sliced(mark.size());
    switch (encoding.charset) {
    case TextEncoding::Charset::Utf8: return DecodeUtf8(rest);
    case TextEncoding::Charset::Windows1252: return DecodeCp1252(rest);
    case TextEncoding::Charset::Utf16LE: return DecodeUtf16(rest, false);
    case TextEncoding::Charset::Utf16BE: return DecodeUtf16(rest, true);
    }
    return {};
}

bool CanEncode(const QString &text, TextEncoding encoding)
{
    switch (encoding.charset) {
    case TextEncoding::Charset::Utf8: return text.isValidUtf16();
    case TextEncoding::Charset::Utf16LE:
    case TextEncoding::Charset::Utf16BE: return true;
    case TextEncoding::Charset::Windows1252: break;
    }
    const char16_t *chars = reinterpret_cast<const char16_t *>(text.constData());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (chars[i] >= 0x80 && Cp1252Byte(chars[i]) < 0)
            return false;
    }
    return true;
}

QByteArray Encode(const QString &text, TextEncoding encoding)
{
    QByteArray bytes;
    switch (encoding.charset) {
    case TextEncoding::Charset::Utf8: bytes = text.toUtf8(); break;
    case TextEncoding::Charset::Windows1252: bytes = EncodeCp1252(text); break;
    case TextEncoding::Charset::Utf16LE: bytes = EncodeUtf16(text, false); break;
    case TextEncoding::Charset::Utf16BE: bytes = EncodeUtf16(text, true); break;
    }
    return bytes.prepend(Mark(encoding));
}

TextEncoding Holding(const QString &text, TextEncoding encoding)
{
    if (CanEncode(text, encoding))
        return encoding;
    return {TextEncoding::Charset::Utf8, encoding.mark};
}

} // namespace TextCodec
