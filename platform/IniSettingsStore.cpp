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

constexpr qsizetype kMaxFileBytes = 16 * 1024 * 1024;
constexpr QLatin1String kMarker("@Escaped:");
constexpr char kBom[] = "\xEF\xBB\xBF";

[[noreturn]] void Fail(const QString &what, const QString &path, const QString &reason)
{
    throw FileFailure(QStringLiteral("%1 %2: %3").arg(what, path, reason));
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Bytes [begin, end) of the file.
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

class LineCursor
{
public:
    LineCursor(const QByteArray &bytes, qsizetype from) : bytes_(bytes), pos_(from) {}

    bool Next(Line &line)
    {
        if (pos_ >= bytes_.size())
            return false;
        const qsizetype lf = bytes_.indexOf('\n', pos_);
        line.begin = pos_;
        if (lf < 0) {
            line.end = line.next = bytes_.size();
        } else {
            line.end = lf > pos_ && bytes_[lf - 1] == '\r' ? lf - 1 : lf;
            line.next = lf + 1;
        }
        pos_ = line.next;
        return true;
    }

private:
    const QByteArray &bytes_;
    qsizetype pos_;
};

Span TrimBlanks(const QByteArray &bytes, Span span)
{
    while (span.begin < span.end && IsBlank(bytes[span.begin]))
        ++span.begin;
    while (span.end > span.begin && IsBlank(bytes[span.end - 1]))
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

Parsed Classify(const QByteArray &bytes, const Line &line)
{
    const Span text = TrimBlanks(bytes, {line.begin, line.end});
    if (text.begin == text.end)
        return {};
    const char first = bytes[text.begin];
    if (first == '[' && bytes[text.end - 1] == ']')
        return {Kind::Header, TrimBlanks(bytes, {text.begin + 1, text.end - 1}), 0};
    if (first == ';' || first == '#')
        return {};
    const qsizetype equals = bytes.indexOf('=', text.begin);
    if (equals < 0 || equals >= text.end)
        return {};
    return {Kind::Entry, TrimBlanks(bytes, {text.begin, equals}), equals};
}

// The text of bytes [span), a U+FEFF at its start included (QString's own
// decoder would drop it).
QString TextOf(const QByteArray &bytes, Span span)
{
    return TextCodec::Decode(QByteArray::fromRawData(bytes.constData() + span.begin, span.end - span.begin),
                             TextEncoding::Utf8);
}

bool NameIs(const QByteArray &bytes, Span span, const QString &name)
{
    return TextOf(bytes, span).compare(name, Qt::CaseInsensitive) == 0;
}

// Gives the last line of bytes, which has no line end, one that leaves its
// text as it is: a CR that ends the text would otherwise join an LF.
void EndLastLine(QByteArray &bytes)
{
    bytes += bytes.endsWith('\r') ? "\r\n" : "\n";
}

// True when the text from start has no lines or its last line is blank.
bool LastLineIsBlank(const QByteArray &bytes, qsizetype start)
{
    LineCursor cursor(bytes, start);
    Line line;
    Line last{start, start, start};
    while (cursor.Next(line))
        last = line;
    const Span text = TrimBlanks(bytes, {last.begin, last.end});
    return text.begin == text.end;
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
};

Place Find(const QByteArray &bytes, qsizetype from, const QString &section, const QString &key)
{
    Place place;
    bool inSection = false;
    bool inFirstPart = false;
    LineCursor cursor(bytes, from);
    Line line;
    while (cursor.Next(line)) {
        const Parsed parsed = Classify(bytes, line);
        if (parsed.kind == Kind::Header) {
            inSection = NameIs(bytes, parsed.name, section);
            inFirstPart = inSection && !place.sectionFound;
            if (inFirstPart) {
                place.sectionFound = true;
                place.lastOfSection = line;
            }
        } else if (parsed.kind == Kind::Entry && inSection) {
            if (NameIs(bytes, parsed.name, key)) {
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

// The file as UTF-8 bytes, or nothing when there is no file. Throws
// FileFailure when it exists but cannot be read or is too large.
std::optional<QByteArray> ReadFile(const QString &path)
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
        Fail(QStringLiteral("Cannot read"), path, QStringLiteral("the file is larger than 16 MiB"));
    if (TextCodec::Detect(bytes) == TextEncoding::Windows1252)
        bytes = TextCodec::Decode(bytes, TextEncoding::Windows1252).toUtf8();
    return bytes;
}

qsizetype ContentStart(const QByteArray &bytes)
{
    return bytes.startsWith(kBom) ? qsizetype(sizeof kBom - 1) : 0;
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
    std::optional<QByteArray> bytes;
    try {
        bytes = ReadFile(path_);
    } catch (const FileFailure &) {
        // Reading reports nothing; the next save names the problem.
        return {};
    }
    if (!bytes)
        return {};
    const Place place = Find(*bytes, ContentStart(*bytes), section, key);
    if (!place.found)
        return {};
    return DecodeValue(TextOf(*bytes, place.value));
}

void IniSettingsStore::SaveSetting(const QString &, const QString &section, const QString &key,
                                   const QString &value)
{
    Q_ASSERT(IsStorableName(section) && IsStorableName(key));
    const QByteArray old = ReadFile(path_).value_or(QByteArray());
    const qsizetype start = ContentStart(old);
    const QByteArray stored = EncodeValue(value).toUtf8();
    const Place place = Find(old, start, section, key);

    QByteArray updated;
    if (place.found) {
        updated = old.left(place.value.begin) + stored + old.mid(place.line.end);
        if (place.line.next == place.line.end)
            updated += '\n';
    } else if (place.sectionFound) {
        const Line &after = place.lastOfSection;
        updated = old.left(after.next);
        if (after.next == after.end)
            EndLastLine(updated);
        updated += key.toUtf8() + '=' + stored + '\n' + old.mid(after.next);
    } else {
        updated = old;
        if (updated.size() > start && !updated.endsWith('\n'))
            EndLastLine(updated);
        if (!LastLineIsBlank(old, start))
            updated += '\n';
        updated += '[' + section.toUtf8() + "]\n" + key.toUtf8() + '=' + stored + '\n';
    }
    if (updated.size() > kMaxFileBytes)
        Fail(QStringLiteral("Cannot write"), path_, QStringLiteral("the settings would be larger than 16 MiB"));

    CreateFolderOf(path_);
    AtomicFile::Save(path_, updated);
}
