// The settings file. The first byte picks the section (bits 0-1), the key
// (bits 2-4) and how the value's bytes become text (bits 5-6: UTF-8,
// Latin-1, or little-endian UTF-16 units with unpaired surrogates); the
// second byte gives the value's length in bytes; the value's bytes follow,
// and the rest is the settings file as it stands before the value is saved.
//
// Holds: reading throws nothing; after the save the key reads the value
// exactly and every other key reads what it read before; the file differs
// from the one before (as UTF-8) in one place: either the key's first entry
// line, which keeps its bytes up to the '=' and its line end, or added lines
// that are blank, the section's header or the key's entry (a last line
// without line end may gain one that leaves its text as it was); the byte
// order mark stays; saving the same value again changes no byte.
#include "IniSettingsStore.h"

#include "FuzzSupport.h"
#include "TextEncoding.h"

#include <QList>

#include <array>

namespace {

const std::array<QString, 4> kSections = {"Bulkrun", "KVRFennic", "bulkrun", "New Part"};
const std::array<QString, 8> kKeys = {"Option", "Delimiter", "Auto_Run", "auto_run", "Search_Criteria", "Card_Database", "New_Key", "K"};
const QByteArray kBom("\xEF\xBB\xBF");

// Every key of every section, in a fixed order.
QStringList ReadAll(IniSettingsStore &store)
{
    QStringList values;
    for (const QString &section : kSections) {
        for (const QString &key : kKeys)
            values.append(store.GetSetting(QStringLiteral("Tavrin"), section, key));
    }
    return values;
}

// The lines of the file, each with its LF (a last line may have none).
QList<QByteArray> Lines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        lines[i] += '\n';
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The file after the save against the file before: one edit, in one place.
void CheckEdit(QByteArray before, QByteArray after, const QString &section, const QString &key)
{
    const auto where = [&] { return QStringLiteral("before %1\nafter %2").arg(Shown(before), Shown(after)); };
    if (TextCodec::Detect(before) == TextEncoding::Windows1252)
        before = TextCodec::Decode(before, TextEncoding::Windows1252).toUtf8();
    if (before.startsWith(kBom)) {
        FUZZ_CHECK(after.startsWith(kBom), where());
        before.remove(0, kBom.size());
        after.remove(0, kBom.size());
    }
    // A last line without line end may have been given one that keeps its text.
    if (!before.isEmpty() && !before.endsWith('\n')) {
        for (QByteArray *file : {&before, &after})
            *file += file->isEmpty() || file->endsWith('\n') ? "" : file->endsWith('\r') ? "\r\n" : "\n";
    }
    const QList<QByteArray> old = Lines(before), now = Lines(after);
    qsizetype head = 0, tail = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head])
        ++head;
    while (tail < old.size() - head && tail < now.size() - head && old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    const QList<QByteArray> removed = old.mid(head, old.size() - head - tail), added = now.mid(head, now.size() - head - tail);

    FUZZ_CHECK(removed.size() <= 1, where());
    if (removed.size() == 1) {
        const qsizetype equals = removed[0].indexOf('=');
        FUZZ_CHECK(added.size() == 1 && equals >= 0 && added[0].startsWith(removed[0].left(equals + 1)), where());
        FUZZ_CHECK(added[0].endsWith(removed[0].endsWith("\r\n") ? "\r\n" : "\n"), where());
        return;
    }
    const QByteArray entry = key.toUtf8() + '=';
    qsizetype entries = 0;
    for (const QByteArray &line : added) {
        FUZZ_CHECK(line == "\n" || line == '[' + section.toUtf8() + "]\n" || line.startsWith(entry), where());
        entries += line.startsWith(entry) ? 1 : 0;
    }
    FUZZ_CHECK(entries == (added.isEmpty() ? 0 : 1), where());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const QString &section = kSections[data[0] & 3];
    const QString &key = kKeys[(data[0] >> 2) & 7];
    const std::size_t valueBytes = std::min<std::size_t>(data[1], size - 2);
    const QByteArray valueData = Bytes(data + 2, valueBytes);
    const int form = (data[0] >> 5) & 3;
    const QString value = form == 1 ? QString::fromLatin1(valueData) : form == 2 ? Utf16Units(valueData) : QString::fromUtf8(valueData);
    const QByteArray file = Bytes(data + 2 + valueBytes, size - 2 - valueBytes);
    const auto where = [&] { return QStringLiteral("[%1] %2=%3 into %4").arg(section, key, Shown(value), Shown(file)); };

    const QString path = ScratchFile(QStringLiteral("Tavrin.ini"));
    WriteFile(path, file);
    IniSettingsStore store(path);
    const QStringList before = ReadAll(store);

    store.SaveSetting(QStringLiteral("Tavrin"), section, key, value);
    const QByteArray saved = ReadFile(path);
    CheckEdit(file, saved, section, key);

    const QStringList after = ReadAll(store);
    for (qsizetype i = 0; i < after.size(); ++i) {
        const bool written = kSections[i / kKeys.size()].compare(section, Qt::CaseInsensitive) == 0
                             && kKeys[i % kKeys.size()].compare(key, Qt::CaseInsensitive) == 0;
        FUZZ_CHECK(after[i] == (written ? value : before[i]),
                   QStringLiteral("[%1] %2 reads %3\n").arg(kSections[i / kKeys.size()], kKeys[i % kKeys.size()], Shown(after[i])) + where());
    }

    store.SaveSetting(QStringLiteral("Tavrin"), section, key, value);
    FUZZ_CHECK(ReadFile(path) == saved, where());
    return 0;
}
