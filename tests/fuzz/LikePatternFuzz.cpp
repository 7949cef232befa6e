// The Like matcher. The first byte gives the pattern's length in bytes; the
// pattern's UTF-8 follows, then the value's bytes (any bytes: a malformed one
// counts as one character).
//
// Holds: only a pattern with a '[' is refused, and only with StoreFailure;
// matching ends and throws nothing; "*" matches every value and n times "?"
// every value of n characters; ASCII letter case of the value does not
// count; a valid UTF-8 value matches as its text does; a pattern wrapped in
// stars matches the value with anything around it; a pattern with no
// wildcard and no list matches its own text, and its KeyPrefix is its key
// up to any 0xFE; the value's key holds no 0xFF, is the key of the
// case-swapped value too, matches as the value does, and begins with
// KeyPrefix when it matches.
#include "LikePattern.h"

#include "Failure.h"
#include "FuzzSupport.h"
#include "TextEncoding.h"

#include <algorithm>
#include <optional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t patternBytes = std::min<std::size_t>(data[0], size - 1);
    const QString text = TextCodec::Decode(Bytes(data + 1, patternBytes), TextEncoding::Utf8);
    const std::string value(reinterpret_cast<const char *>(data + 1 + patternBytes), size - 1 - patternBytes);
    const QByteArray valueBytes = QByteArray::fromStdString(value);
    const auto where = [&] { return QStringLiteral("pattern '%1' value %2").arg(Shown(text), Shown(valueBytes)); };

    static const LikePattern any(QStringLiteral("*"));
    FUZZ_CHECK(any.Matches(value), where());

    std::optional<LikePattern> pattern;
    try {
        pattern.emplace(text);
    } catch (const StoreFailure &) {
        FUZZ_CHECK(text.contains(u'['), where());
        return 0;
    }

    const bool matches = pattern->Matches(value);
    const std::string key = LikePattern::Key(value);
    FUZZ_CHECK(key.find('\xFF') == std::string::npos, where());
    FUZZ_CHECK(pattern->MatchesKey(key) == matches, where());
    FUZZ_CHECK(!matches || key.compare(0, pattern->KeyPrefix().size(), pattern->KeyPrefix()) == 0, where());

    std::string swapped = value;
    std::transform(swapped.begin(), swapped.end(), swapped.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    FUZZ_CHECK(pattern->Matches(swapped) == matches, where());
    FUZZ_CHECK(LikePattern::Key(swapped) == key, where());

    if (TextCodec::IsValidUtf8(value.data(), qsizetype(value.size()))) {
        const QString valueText = TextCodec::Decode(valueBytes, TextEncoding::Utf8);
        FUZZ_CHECK(pattern->Matches(valueText) == matches, where());
        const qsizetype characters = valueText.toUcs4().size();
        FUZZ_CHECK(LikePattern(QString(characters, u'?')).Matches(valueText), where());
        FUZZ_CHECK(!LikePattern(QString(characters + 1, u'?')).Matches(valueText), where());
    }
    if (matches)
        FUZZ_CHECK(LikePattern(QStringLiteral("*") + text + QStringLiteral("%")).Matches("x" + value + "yz"), where());

    if (std::none_of(text.begin(), text.end(), [](QChar c) { return QStringLiteral("*%?#[").contains(c); })) {
        FUZZ_CHECK(pattern->Matches(text), where());
        const std::string ownKey = LikePattern::Key(text.toStdString());
        FUZZ_CHECK(pattern->KeyPrefix() == ownKey.substr(0, ownKey.find('\xFE')), where());
    }
    return 0;
}
