#pragma once

#include <QByteArray>
#include <QString>

// How the characters of a text file are stored. The program's text files are
// 8-bit: a file whose bytes are valid UTF-8 is UTF-8, any other is
// Windows-1252 with every byte kept (the five bytes that code page leaves
// undefined map to the C1 controls U+0081, U+008D, U+008F, U+0090 and U+009D,
// so decoding and encoding again gives the same bytes). A file may start with
// a byte order mark, which marks the encoding and is not text: the UTF-8 mark
// EF BB BF before either 8-bit charset, FF FE or FE FF before UTF-16 (which
// only the settings file is read in). Any further U+FEFF is text.
struct TextEncoding
{
    enum class Charset : unsigned char { Utf8, Windows1252, Utf16LE, Utf16BE };

    Charset charset = Charset::Utf8;
    bool mark = false;  // the bytes start with the mark

    static const TextEncoding Utf8;
    static const TextEncoding Windows1252;

    friend bool operator==(const TextEncoding &, const TextEncoding &) = default;
};

inline constexpr TextEncoding TextEncoding::Utf8{TextEncoding::Charset::Utf8, false};
inline constexpr TextEncoding TextEncoding::Windows1252{TextEncoding::Charset::Windows1252, false};

namespace TextCodec {

bool IsValidUtf8(const char *data, qsizetype size);
// The mark of the encoding, empty when it has none.
QByteArrayView Mark(TextEncoding encoding);
// The encoding of an 8-bit text file: its UTF-8 mark, if any, and then
// UTF-8 when the rest is valid UTF-8, Windows-1252 otherwise.
TextEncoding Detect(const QByteArray &bytes);
// As Detect, but bytes that start with a UTF-16 mark and have an even size
// are UTF-16 in that byte order.
TextEncoding DetectWithUtf16(const QByteArray &bytes);
// The text of bytes; a leading mark is dropped when the encoding has one.
// UTF-16 keeps every unit, unpaired surrogates included; an odd last byte is
// dropped.
QString Decode(const QByteArray &bytes, TextEncoding encoding);
// True when every character of text has bytes in the encoding.
bool CanEncode(const QString &text, TextEncoding encoding);
// The mark of the encoding, if any, followed by the text. Characters that
// have no byte in Windows-1252 become '?'.
QByteArray Encode(const QString &text, TextEncoding encoding);
// The encoding to write text in so that nothing is lost: encoding itself when
// it can hold text, else UTF-8 with the same mark.
TextEncoding Holding(const QString &text, TextEncoding encoding);

} // namespace TextCodec

// A whole text file as read: its characters and the encoding they were read with.
struct TextContent
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};
