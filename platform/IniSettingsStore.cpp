#include "IniSettingsStore.h"

#include "AtomicFile.h"
#include "Failure.h"
#include "TextEncoding.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace {

constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;
constexpr QLatin1String kMarker("@Escaped:");

[[noreturn]] void Fail(const QString &what, const QString &path, const QString &reason)
{
    throw FileFailure(QStringLiteral("%1 %2: %3").arg(what, path, reason));
}

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool IsLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// Characters [begin, end) of the file.
struct Span
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

// One line: its text [begin, end) without the line end, and where the next
// line begins (end itself when the line has no line end).
struct Line
{
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

// The lines of the text from a position on; CR LF, a lone CR and a lone LF
// each end a line.
class LineCursor
{
public:
    LineCursor(QStringView text, qsizetype from) : text_(text), pos_(from) {}

    bool Next(Line &line)
    {
        const qsizetype size = text_.size();
        if (pos_ >= size)
            return false;
        qsizetype end = pos_;
        while (end < size && !IsLineEnd(text_[end]))
            ++end;
        line.begin = pos_;
        line.end = end;
        line.next = end == size ? end : end + (text_[end] == u'\r' && end + 1 < size && text_[end + 1] == u'\n' ? 2 : 1);
        pos_ = line.next;
        return true;
    }

private:
    QStringView text_;
    qsizetype pos_;
};

Span TrimBlanks(QStringView text, Span span)
{
    while (span.begin < span.end && IsBlank(text[span.begin]))
        ++span.begin;
    while (span.end > span.begin && IsBlank(text[span.end - 1]))
        --span.end;
    return span;
}

enum class Kind { Header, Entry, Other };

struct Parsed
{
    Kind kind = Kind::Other;
    Span name;             // section name or key, without blanks
    qsizetype equals = 0;  // the '=' of an entry
};

Parsed Classify(QStringView text, const Line &line)
{
    const Span trimmed = TrimBlanks(text, {line.begin, line.end});
    if (trimmed.begin == trimmed.end)
        return {};
    const QChar first = text[trimmed.begin];
    if (first == u'[' && text[trimmed.end - 1] == u']')
        return {Kind::Header, TrimBlanks(text, {trimmed.begin + 1, trimmed.end - 1}), 0};
    if (first == u';' || first == u'#')
        return {};
    const qsizetype equals = text.sliced(trimmed.begin, trimmed.end - trimmed.begin).indexOf(u'=');
    if (equals < 0)
        return {};
    return {Kind::Entry, TrimBlanks(text, {trimmed.begin, trimmed.begin + equals}), trimmed.begin + equals};
}

QStringView TextOf(QStringView text, Span span)
{
    return text.sliced(span.begin, span.end - span.begin);
}

bool NameIs(QStringView text, Span span, const QString &name)
{
    return TextOf(text, span).compare(name, Qt::CaseInsensitive) == 0;
}

// The line end of line, or for a last line without one, the line end of the
// line before it (LF when there is none): the line end new lines take after it.
QString LineEndAfter(QStringView text, const Line &line)
{
    if (line.next > line.end)
        return text.sliced(line.end, line.next - line.end).toString();
    if (line.begin == 0)
        return QStringLiteral("\n");
    if (text[line.begin - 1] == u'\r')
        return QStringLiteral("\r");
    return line.begin >= 2 && text[line.begin - 2] == u'\r' ? QStringLiteral("\r\n") : QStringLiteral("\n");
}

// Where a key stands in the file, or where it would go.
struct Place
{
    // The first entry of the key in the section, and its value.
    bool found = false;
    Line line;
    Span value;
    // The last entry (or the header) of the section's first part.
    bool sectionFound = false;
    Line lastOfSection;
    // The last line of the file.
    bool anyLine = false;
    Line last;
};

Place Find(QStringView text, const QString &section, const QString &key)
{
    Place place;
    bool inSection = false;
    bool inFirstPart = false;
    LineCursor cursor(text, 0);
    Line line;
    while (cursor.Next(line)) {
        place.anyLine = true;
        place.last = line;
        const Parsed parsed = Classify(text, line);
        if (parsed.kind == Kind::Header) {
            inSection = NameIs(text, parsed.name, section);
            inFirstPart = inSection && !place.sectionFound;
            if (inFirstPart) {
                place.sectionFound = true;
                place.lastOfSection = line;
            }
        } else if (parsed.kind == Kind::Entry && inSection) {
            if (NameIs(text, parsed.name, key)) {
                place.found = true;
                place.line = line;
                place.value = {parsed.equals + 1, line.end};
                return place;
            }
            if (inFirstPart)
                place.lastOfSection = line;
        }
    }
    return place;
}

// The settings file's text, without its mark, and the encoding it was read in.
struct SettingsText
{
    QString text;
    TextEncoding encoding;
};

// The file's text, or nothing when there is no file. Throws FileFailure when
// it exists but cannot be read or is too large.
std::optional<SettingsText> ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            return std::nullopt;
        Fail(QStringLiteral("Cannot read"), path, file.errorString());
    }
    // Reading one byte beyond the limit tells a file at the limit from a
    // larger one, also for files that do not know their size. The buffer
    // starts at the file's size and grows only for a file that grows.
    QByteArray bytes(std::min<qint64>(file.size(), kMaxFileBytes) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        const qint64 n = file.read(bytes.data() + used, bytes.size() - used);
        if (n <= 0)
            break;
        used += n;
        if (used > kMaxFileBytes)
            break;
        if (used == bytes.size())
            bytes.resize(std::min<qsizetype>(used * 2, kMaxFileBytes + 1));
    }
    bytes.truncate(used);
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Cannot read"), path, file.errorString());
    if (bytes.size() > kMaxFileBytes)
        Fail(QStringLiteral("Cannot read"), path, QStringLiteral("the file is larger than 64 MiB"));
    const TextEncoding encoding = TextCodec::DetectWithUtf16(bytes);
    return SettingsText{TextCodec::Decode(bytes, encoding), encoding};
}

bool IsStorableName(const QString &name)
{
    if (name.isEmpty() || name.front().isSpace() || name.back().isSpace())
        return false;
    if (name.startsWith(u';') || name.startsWith(u'#'))
        return false;
    for (const QChar c : name) {
        if (c == u'=' || c == u'[' || c == u']' || c == u'\r' || c == u'\n')
            return false;
    }
    return true;
}

QString EncodeValue(const QString &value)
{
    if (!value.startsWith(kMarker) && !value.contains(u'\r') && !value.contains(u'\n') && value.isValidUtf16())
        return value;
    QString encoded = kMarker;
    encoded.reserve(kMarker.size() + value.size() + value.size() / 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\') {
            encoded += QLatin1String("\\\\");
        } else if (c == u'\r') {
            encoded += QLatin1String("\\r");
        } else if (c == u'\n') {
            encoded += QLatin1String("\\n");
        } else if (c.isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate()) {
            encoded += c;
            encoded += value[++i];
        } else if (c.isSurrogate()) {
            encoded += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            encoded += c;
        }
    }
    return encoded;
}

int HexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The value a stored text encodes; the text itself when it is not a
// well-formed marked value.
QString DecodeValue(const QString &stored)
{
    if (!stored.startsWith(kMarker))
        return stored;
    QString value;
    value.reserve(stored.size());
    const qsizetype size = stored.size();
    for (qsizetype i = kMarker.size(); i < size; ++i) {
        const QChar c = stored[i];
        if (c != u'\\') {
            value += c;
            continue;
        }
        if (++i == size)
            return stored;
        switch (stored[i].unicode()) {
        case u'\\': value += u'\\'; break;
        case u'r': value += u'\r'; break;
        case u'n': value += u'\n'; break;
        case u'u': {
            if (size - i <= 4)
                return stored;
            char16_t unit = 0;
            for (int k = 1; k <= 4; ++k) {
                const int digit = HexDigit(stored[i + k]);
                if (digit < 0)
                    return stored;
                unit = char16_t(unit * 16 + digit);
            }
            value += QChar(unit);
            i += 4;
            break;
        }
        default:
            return stored;
        }
    }
    return value;
}

void CreateFolderOf(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error) {
        Fail(QStringLiteral("Cannot write"), path,
             QStringLiteral("cannot create folder %1: %2").arg(folder, QString::fromStdString(error.message())));
    }
}

} // namespace

IniSettingsStore::IniSettingsStore(QString path) : path_(std::move(path)) {}

QString IniSettingsStore::DefaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/Tavrin.ini"));
}

QString IniSettingsStore::GetSetting(const QString &, const QString &section, const QString &key)
{
    Q_ASSERT(IsStorableName(section) && IsStorableName(key));
    std::optional<SettingsText> file;
    try {
        file = ReadFile(path_);
    } catch (const FileFailure &) {
        // Reading reports nothing; the next save names the problem.
        return {};
    }
    if (!file)
        return {};
    const Place place = Find(file->text, section, key);
    if (!place.found)
        return {};
    return DecodeValue(TextOf(file->text, place.value).toString());
}

void IniSettingsStore::SaveSetting(const QString &, const QString &section, const QString &key,
                                   const QString &value)
{
    Q_ASSERT(IsStorableName(section) && IsStorableName(key));
    const SettingsText old = ReadFile(path_).value_or(SettingsText{});
    const QString &text = old.text;
    const QString stored = EncodeValue(value);
    const Place place = Find(text, section, key);

    QString updated;
    if (place.found) {
        updated = text.left(place.value.begin) + stored + text.mid(place.line.end);
    } else if (place.sectionFound) {
        const Line &after = place.lastOfSection;
        const QString end = LineEndAfter(text, after);
        updated = text.left(after.end) + end + key + u'=' + stored + end + text.mid(after.next);
    } else {
        updated = text;
        QString end = QStringLiteral("\n");
        if (place.anyLine) {
            end = LineEndAfter(text, place.last);
            if (place.last.next == place.last.end)
                updated += end;
            const Span last = TrimBlanks(text, {place.last.begin, place.last.end});
            if (last.begin < last.end)
                updated += end;
        }
        updated += u'[' + section + u']' + end + key + u'=' + stored + end;
    }
    TextEncoding encoding = old.encoding;
    if (encoding.charset == TextEncoding::Charset::Windows1252)
        encoding.charset = TextEncoding::Charset::Utf8;
    const QByteArray bytes = TextCodec::Encode(updated, encoding);
    if (bytes.size() > kMaxFileBytes)
        Fail(QStringLiteral("Cannot write"), path_, QStringLiteral("the settings would be larger than 64 MiB"));

    CreateFolderOf(path_);
    AtomicFile::Save(path_, bytes);
    if (ownerOnly_ && !QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner))
        Fail(QStringLiteral("Cannot make readable by its owner only"), path_, QStringLiteral("permissions not changed"));
}
