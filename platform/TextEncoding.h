#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit text files of the program: a file whose bytes are valid UTF-8 is
// UTF-8, any other is Windows-1252 with every byte kept (the five bytes that
// code page leaves undefined map to the C1 controls U+0081, U+008D, U+008F,
// U+0090 and U+009D, so decoding and encoding again gives the same bytes).
enum class TextEncoding { Utf8, Windows1252 };

namespace TextCodec {

bool IsValidUtf8(const char *data, qsizetype size);
TextEncoding Detect(const QByteArray &bytes);
QString Decode(const QByteArray &bytes, TextEncoding encoding);
// True when every character of text has a byte in the encoding.
bool CanEncode(const QString &text, TextEncoding encoding);
// Characters that have no byte in Windows-1252 become '?'; callers that must
// not lose text check CanEncode first and fall back to UTF-8.
QByteArray Encode(const QString &text, TextEncoding encoding);

} // namespace TextCodec

// A whole text file as read: its characters and the encoding they were read with.
struct TextContent
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};
