// The settings file. The first byte picks the section (bits 0-1), the key
// (bits 2-4) and how the value's bytes become text (bits 5-6: UTF-8,
// Latin-1, or little-endian UTF-16 units with unpaired surrogates); the
// second byte gives the value's length in bytes; the value's bytes follow,
// and the rest is the settings file as it stands before the value is saved.
//
// Holds: reading throws nothing; after the save the key reads the value
// exactly and every other key reads what it read before; the file keeps its
// encoding and mark (Windows-1252 becomes UTF-8) and its text differs from
// the one before in one place: either the key's first entry line, which
// keeps its text up to the '=' and its line end, or added lines that are
// blank, the section's header or the key's entry, each with a line end (a
// last line without line end may gain one); saving the same value again
// changes no byte.
#include "IniSettingsStore.h"

#include "FuzzSupport.h"
#include "TextEncoding.h"

#include <QStringList>
#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace {

const std::array<QString, 4> kSections = {"Bulkrun", "KVRFennic", "bulkrun", "New Part"};
const std::array<QString, 8> kKeys = {"Option", "Delimiter", "Auto_Run", "auto_run",
                                      "Search_Criteria", "Card_Database", "New_Key", "K"};

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

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

// The lines of the text, each with its line end: CR LF, CR or LF.
QStringList Lines(const QString &text)
{
    QStringList lines;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype to = from;
        while (to < text.size() && text[to] != u'\r' && text[to] != u'\n')
            ++to;
        if (to < text.size())
            to += text.mid(to, 2) == QStringLiteral("\r\n") ? 2 : 1;
        lines.append(text.mid(from, to - from));
        from = to;
    }
    return lines;
}

QString LineEnd(const QString &line)
{
    const qsizetype text = line.size() - (line.endsWith(QStringLiteral("\r\n")) ? 2 : line.endsWith(u'\r') || line.endsWith(u'\n') ? 1 : 0);
    return line.mid(text);
}

// The file after the save against the file before: one edit, in one place.
void CheckEdit(const QByteArray &beforeBytes, const QByteArray &afterBytes, const QString &section, const QString &key)
{
    const auto where = [&] { return QStringLiteral("before %1\nafter %2").arg(Shown(beforeBytes), Shown(afterBytes)); };
    TextEncoding encoding = TextCodec::DetectWithUtf16(beforeBytes);
    const QString before = TextCodec::Decode(beforeBytes, encoding);
    if (encoding.charset == TextEncoding::Charset::Windows1252)
        encoding.charset = TextEncoding::Charset::Utf8;
    FUZZ_CHECK(TextCodec::DetectWithUtf16(afterBytes) == encoding, where());
    const QString after = TextCodec::Decode(afterBytes, encoding);

    const QStringList old = Lines(before), now = Lines(after);
    // A last line without line end may have been given one.
    const auto same = [&](qsizetype o, qsizetype n) {
        if (old[o] == now[n])
            return true;
        return o == old.size() - 1 && LineEnd(old[o]).isEmpty() && now[n].startsWith(old[o]) && LineEnd(now[n]) == now[n].mid(old[o].size());
    };
    qsizetype head = 0;
    while (head < old.size() && head < now.size() && same(head, head))
        ++head;
    qsizetype tail = 0;
    while (tail < old.size() - head && tail < now.size() - head && same(old.size() - 1 - tail, now.size() - 1 - tail))
        ++tail;
    const QStringList removed = old.mid(head, old.size() - head - tail);
    const QStringList added = now.mid(head, now.size() - head - tail);

    FUZZ_CHECK(removed.size() <= 1, where());
    if (removed.size() == 1) {
        const QString &was = removed.front();
        FUZZ_CHECK(added.size() == 1, where());
        const qsizetype equals = was.indexOf(u'=');
        FUZZ_CHECK(equals >= 0 && added.front().startsWith(was.left(equals + 1)), where());
        FUZZ_CHECK(LineEnd(added.front()) == LineEnd(was), where());
        return;
    }
    const QString header = u'[' + section + u']';
    const QString entry = key + u'=';
    qsizetype entries = 0;
    for (const QString &line : added) {
        const QString text = line.chopped(LineEnd(line).size());
        FUZZ_CHECK(!LineEnd(line).isEmpty(), where());
        FUZZ_CHECK(text.isEmpty() || text == header || text.startsWith(entry), where());
        entries += text.startsWith(entry) ? 1 : 0;
    }
    FUZZ_CHECK(entries == (added.isEmpty() ? 0 : 1), where());
}

QString ValueText(const QByteArray &bytes, int form)
{
    switch (form) {
    case 1:
        return QString::fromLatin1(bytes);
    case 2:
        return Utf16Units(bytes);
    default:
        return QString::fromUtf8(bytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const QString &section = kSections[data[0] & 3];
    const QString &key = kKeys[(data[0] >> 2) & 7];
    const std::size_t valueBytes = std::min<std::size_t>(data[1], size - 2);
    const QString value = ValueText(Bytes(data + 2, valueBytes), (data[0] >> 5) & 3);
    const QByteArray file = Bytes(data + 2 + valueBytes, size - 2 - valueBytes);
    const auto where = [&] {
        return QStringLiteral("[%1] %2=%3 into %4").arg(section, key, Shown(value), Shown(file));
    };

    const QString path = ScratchFile(QStringLiteral("Tavrin.ini"));
    WriteFile(path, file);
    IniSettingsStore store(path);
    const QStringList before = ReadAll(store);

    store.SaveSetting(QStringLiteral("Tavrin"), section, key, value);
    const QByteArray saved = ReadFile(path);
    CheckEdit(file, saved, section, key);

    const QStringList after = ReadAll(store);
    for (qsizetype s = 0, i = 0; s < qsizetype(kSections.size()); ++s) {
        for (qsizetype k = 0; k < qsizetype(kKeys.size()); ++k, ++i) {
            const bool written = SameName(kSections[s], section) && SameName(kKeys[k], key);
            FUZZ_CHECK(after[i] == (written ? value : before[i]),
                       QStringLiteral("[%1] %2 reads %3\n").arg(kSections[s], kKeys[k], Shown(after[i])) + where());
        }
    }

    store.SaveSetting(QStringLiteral("Tavrin"), section, key, value);
    FUZZ_CHECK(ReadFile(path) == saved, where());
    return 0;
}
