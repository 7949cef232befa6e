// The encoding of text files. The input is taken both as file bytes and as
// little-endian UTF-16 units of a text to be written.
//
// Holds: bytes are UTF-8 exactly when Qt's decoder reads them back to the
// same bytes, and Detect says so of the bytes after a leading mark; any bytes
// read in the encoding detected (with or without UTF-16) encode back to
// themselves; Windows-1252 gives one character per byte and encodes back to
// every byte; valid UTF-8, byte order marks included, encodes back to the
// same bytes when no mark is taken off; a text encodes to one Windows-1252
// byte per character, and a text that CanEncode says fits reads back
// unchanged from every encoding, with or without its mark.
#include "TextEncoding.h"

#include "FuzzSupport.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = Bytes(data, size);
    const auto where = [&] { return Shown(bytes); };
    const auto Utf8 = TextEncoding::Utf8, Cp1252 = TextEncoding::Windows1252;

    const bool valid = TextCodec::IsValidUtf8(bytes.constData(), bytes.size());
    const bool marked = bytes.startsWith("\xEF\xBB\xBF");
    const bool validAfterMark = !marked ? valid : TextCodec::IsValidUtf8(bytes.constData() + 3, bytes.size() - 3);
    const TextEncoding detected = TextCodec::Detect(bytes);
    FUZZ_CHECK(detected == TextEncoding({(validAfterMark ? Utf8 : Cp1252).charset, marked}), where());
    for (const TextEncoding encoding : {detected, TextCodec::DetectWithUtf16(bytes)})
        FUZZ_CHECK(TextCodec::Encode(TextCodec::Decode(bytes, encoding), encoding) == bytes, where());

    const QString cp1252 = TextCodec::Decode(bytes, Cp1252);
    FUZZ_CHECK(cp1252.size() == bytes.size(), where());
    FUZZ_CHECK(TextCodec::CanEncode(cp1252, Cp1252), where());
    FUZZ_CHECK(TextCodec::Encode(cp1252, Cp1252) == bytes, where());

    // Decoding replaces what is not UTF-8, so only valid bytes come back.
    const QString utf8 = TextCodec::Decode(bytes, Utf8);
    FUZZ_CHECK(TextCodec::CanEncode(utf8, Utf8), where());
    FUZZ_CHECK((TextCodec::Encode(utf8, Utf8) == bytes) == valid, where());

    const QString text = Utf16Units(bytes);
    const auto shownText = [&] { return Shown(text); };
    FUZZ_CHECK(TextCodec::Encode(text, Cp1252).size() == text.toUcs4().size(), shownText());
    FUZZ_CHECK(TextCodec::CanEncode(text, Utf8) == text.isValidUtf16(), shownText());
    if (TextCodec::CanEncode(text, Utf8))
        FUZZ_CHECK(TextCodec::Detect(TextCodec::Encode(text, Utf8)).charset == Utf8.charset, shownText());
    for (const auto charset : {Utf8.charset, Cp1252.charset, TextEncoding::Charset::Utf16LE, TextEncoding::Charset::Utf16BE}) {
        for (const bool mark : {false, true}) {
            const TextEncoding encoding{charset, mark};
            if (TextCodec::CanEncode(text, encoding))
                FUZZ_CHECK(TextCodec::Decode(TextCodec::Encode(text, encoding), encoding) == text, shownText());
        }
    }
    return 0;
}
