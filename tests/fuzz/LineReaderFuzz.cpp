// The line reader over a file of any bytes. The first byte picks the chunk
// size, 1 to 13 bytes or the default, so that line ends and multi-byte
// characters fall across chunk boundaries; the rest is the file.
//
// Holds: the encoding is the one of the whole file; the lines, each followed
// by its line end (CR LF or a lone CR, none after the last), are the whole
// decoded text, which a leading mark is no part of; no line holds a CR; a
// line end right before the end of the file starts no line; every line uses
// up at least one byte; a finished reader stays finished.
#include "FileLineReader.h"

#include "FuzzSupport.h"
#include "TextEncoding.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype chunk = data[0] < 0xF0 ? data[0] % 13 + 1 : FileLineReader::kChunkSize;
    const QByteArray bytes = Bytes(data + 1, size - 1);
    const QString path = ScratchFile(QStringLiteral("lines.txt"));
    WriteFile(path, bytes);

    FileLineReader reader(path, chunk);
    const TextEncoding encoding = TextCodec::Detect(bytes);
    FUZZ_CHECK(reader.Encoding() == encoding, Shown(bytes));

    const QString text = TextCodec::Decode(bytes, encoding);
    const QStringView rest(text);
    qsizetype pos = 0;
    qsizetype count = 0;
    QString line;
    while (reader.Next(line)) {
        ++count;
        const auto where = [&] {
            return QStringLiteral("line %1 '%2' at %3 of '%4'").arg(count).arg(Shown(line)).arg(pos).arg(Shown(text));
        };
        FUZZ_CHECK(count <= bytes.size(), where());
        FUZZ_CHECK(!line.contains(u'\r'), where());
        FUZZ_CHECK(rest.sliced(pos).startsWith(line), where());
        pos += line.size();
        if (pos == text.size()) {
            FUZZ_CHECK(!line.isEmpty(), where());
            continue;
        }
        FUZZ_CHECK(text[pos] == u'\r', where());
        pos += rest.sliced(pos).startsWith(u"\r\n") ? 2 : 1;
    }
    FUZZ_CHECK(pos == text.size(), QStringLiteral("lines end at %1 of '%2'").arg(pos).arg(Shown(text)));
    FUZZ_CHECK(!reader.Next(line), Shown(text));
    return 0;
}
