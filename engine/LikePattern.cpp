#include "LikePattern.h"

#include "Failure.h"

#include <QChar>
#include <QList>

#include <algorithm>
#include <array>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
// Separates a key's folded characters from the characters as ranges see
// them; no UTF-8 holds it.
constexpr char kKeyCharsFollow = '\xFE';

char32_t Fold(char32_t ch)
{
    return QChar::toCaseFolded(ch);
}

char32_t FoldAscii(unsigned char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? char32_t(ch + ('a' - 'A')) : char32_t(ch);
}

// The characters a range is compared with: ch and its simple case forms.
std::array<char32_t, 3> CaseForms(char32_t ch)
{
    return {ch, QChar::toUpper(ch), QChar::toLower(ch)};
}

bool SameCaseForms(char32_t a, char32_t b)
{
    const auto formsA = CaseForms(a);
    const auto formsB = CaseForms(b);
    const auto within = [](const auto &some, const auto &all) {
        return std::all_of(some.begin(), some.end(), [&](char32_t ch) { return std::find(all.begin(), all.end(), ch) != all.end(); });
    };
    return within(formsA, formsB) && within(formsB, formsA);
}

// A value's character as the comparison sees it: its case fold, which
// stands for every character of the same fold, unless folding changes the
// case forms a range compares (U+017F long s folds to s, yet [a-z] must not
// take it); then the character itself.
char32_t Comparable(char32_t ch)
{
    if (ch < 0x80)
        return FoldAscii(static_cast<unsigned char>(ch));
    const char32_t folded = Fold(ch);
    return folded == ch || SameCaseForms(ch, folded) ? folded : ch;
}

// The fold of a Comparable() character; an ASCII one is its own.
char32_t FoldComparable(char32_t ch)
{
    return ch < 0x80 ? ch : Fold(ch);
}

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char ch) { return (static_cast<unsigned char>(ch) & 0x80) == 0; });
}

// Decodes UTF-8 into code points, made Comparable() when comparable is set; a
// byte that does not begin a well-formed sequence becomes one replacement
// character.
void Decode(std::string_view text, std::vector<char32_t> &out, bool comparable)
{
    out.clear();
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = byteAt(i);
        std::size_t length = 0;
        char32_t ch = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            length = 1, ch = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, ch = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, ch = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, ch = lead & 0x07, smallest = 0x10000;
        }
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            wellFormed = (byteAt(i + k) & 0xC0) == 0x80;
            ch = (ch << 6) | (byteAt(i + k) & 0x3F);
        }
        wellFormed = wellFormed && ch >= smallest && ch <= 0x10FFFF && !(ch >= 0xD800 && ch <= 0xDFFF);
        if (!wellFormed) {
            out.push_back(kReplacementCharacter);
            ++i;
            continue;
        }
        out.push_back(comparable ? Comparable(ch) : ch);
        i += length;
    }
}

void AppendUtf8(std::string &out, char32_t ch)
{
    const auto put = [&](unsigned value) { out.push_back(static_cast<char>(value)); };
    if (ch < 0x80) {
        put(ch);
    } else if (ch < 0x800) {
        put(0xC0 | (ch >> 6));
        put(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        put(0xE0 | (ch >> 12));
        put(0x80 | ((ch >> 6) & 0x3F));
        put(0x80 | (ch & 0x3F));
    } else {
        put(0xF0 | (ch >> 18));
        put(0x80 | ((ch >> 12) & 0x3F));
        put(0x80 | ((ch >> 6) & 0x3F));
        put(0x80 | (ch & 0x3F));
    }
}

[[noreturn]] void Invalid(const QString &pattern, const QString &reason)
{
    throw StoreFailure(QStringLiteral("Invalid Like pattern '%1': %2").arg(pattern, reason));
}

} // namespace

LikePattern::LikePattern(const QString &pattern)
    : text_(pattern)
{
    // A pattern may be as long as an import line: one copy of its code
    // points at a time, and tokens allocated once.
    std::vector<char32_t> points;
    {
        const QList<uint> ucs4 = pattern.toUcs4();
        points.assign(ucs4.begin(), ucs4.end());
    }
    tokens_.reserve(points.size());
    Compile(points);
    for (const Token &token : tokens_) {
        if (token.kind != Kind::Char) {
            literal_ = false;
            break;
        }
        AppendUtf8(keyPrefix_, char32_t(token.value));
    }
}

void LikePattern::Compile(const std::vector<char32_t> &p)
{
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char32_t ch = p[i];
        switch (ch) {
        case U'*':
        case U'%':
            if (tokens_.empty() || tokens_.back().kind != Kind::Star)
                tokens_.push_back({Kind::Star});
            break;
        case U'?':
            tokens_.push_back({Kind::AnyChar});
            break;
        case U'#':
            tokens_.push_back({Kind::Digit});
            break;
        case U'[': {
            CharSet set;
            std::size_t first = i + 1;
            if (first < p.size() && p[first] == U'!') {
                set.negated = true;
                ++first;
            }
            const auto close = std::find(p.begin() + std::ptrdiff_t(std::min(first, p.size())), p.end(), U']');
            if (close == p.end())
                Invalid(text_, QStringLiteral("'[' without ']'"));
            const std::vector<char32_t> items(p.begin() + std::ptrdiff_t(first), close);
            i = std::size_t(close - p.begin());
            if (items.empty()) {
                if (set.negated)
                    Invalid(text_, QStringLiteral("empty list [!]"));
                break; // [] consumes nothing
            }
            for (std::size_t k = 0; k < items.size();) {
                if (k + 2 < items.size() && items[k + 1] == U'-') {
                    if (items[k] > items[k + 2])
                        Invalid(text_, QStringLiteral("reversed range"));
                    set.ranges.emplace_back(items[k], items[k + 2]);
                    k += 3;
                } else {
                    set.singles.push_back(Fold(items[k]));
                    k += 1;
                }
            }
            tokens_.push_back({Kind::Set, std::uint32_t(sets_.size())});
            sets_.push_back(std::move(set));
            break;
        }
        default:
            tokens_.push_back({Kind::Char, Fold(ch)});
        }
    }
}

// ch is Comparable(), so its case forms are those of every character it
// stands for.
bool LikePattern::CharSet::Contains(char32_t ch) const
{
    if (std::find(singles.begin(), singles.end(), FoldComparable(ch)) != singles.end())
        return true;
    const auto forms = CaseForms(ch);
    return std::any_of(ranges.begin(), ranges.end(), [&](const auto &range) {
        return std::any_of(forms.begin(), forms.end(), [&](char32_t form) { return form >= range.first && form <= range.second; });
    });
}

bool LikePattern::TokenMatches(const Token &token, char32_t ch) const
{
    switch (token.kind) {
    case Kind::Char:
        return FoldComparable(ch) == token.value;
    case Kind::AnyChar:
        return true;
    case Kind::Digit:
        return ch >= U'0' && ch <= U'9';
    case Kind::Set:
        return sets_[token.value].Contains(ch) != sets_[token.value].negated;
    case Kind::Star:
        break;
    }
    return false;
}

// Every token but '*' consumes exactly one character, so on a mismatch only
// the most recent '*' needs to take one more character: no deeper
// backtracking can find a match that this misses.
template <typename CharAt>
bool LikePattern::MatchChars(std::size_t length, CharAt charAt) const
{
    const std::size_t count = tokens_.size();
    std::size_t t = 0;
    std::size_t v = 0;
    std::size_t starToken = count; // none yet
    std::size_t starValue = 0;
    while (v < length) {
        if (t < count && tokens_[t].kind == Kind::Star) {
            starToken = t++;
            starValue = v;
        } else if (t < count && TokenMatches(tokens_[t], charAt(v))) {
            ++t;
            ++v;
        } else if (starToken < count) {
            t = starToken + 1;
            v = ++starValue;
        } else {
            return false;
        }
    }
    while (t < count && tokens_[t].kind == Kind::Star)
        ++t;
    return t == count;
}

bool LikePattern::Matches(std::string_view value) const
{
    if (IsAscii(value))
        return MatchChars(value.size(), [&](std::size_t i) { return FoldAscii(static_cast<unsigned char>(value[i])); });

    thread_local std::vector<char32_t> chars;
    Decode(value, chars, true);
    return MatchChars(chars.size(), [&](std::size_t i) { return chars[i]; });
}

bool LikePattern::Matches(const QString &value) const
{
    const QByteArray utf8 = value.toUtf8();
    return Matches(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

std::string LikePattern::Key(std::string_view value)
{
    std::string key;
    key.reserve(value.size());
    if (IsAscii(value)) {
        for (const char ch : value)
            key.push_back(static_cast<char>(FoldAscii(static_cast<unsigned char>(ch))));
        return key;
    }
    thread_local std::vector<char32_t> chars;
    Decode(value, chars, true);
    bool foldedOnly = true;
    for (const char32_t ch : chars) {
        const char32_t folded = FoldComparable(ch);
        foldedOnly = foldedOnly && folded == ch;
        AppendUtf8(key, folded);
    }
    if (foldedOnly)
        return key;
    key.push_back(kKeyCharsFollow);
    for (const char32_t ch : chars)
        AppendUtf8(key, ch);
    return key;
}

bool LikePattern::MatchesKey(std::string_view key) const
{
    if (IsAscii(key))
        return MatchChars(key.size(), [&](std::size_t i) { return char32_t(static_cast<unsigned char>(key[i])); });

    // Without the characters as ranges see them, the folded ones are those.
    if (const std::size_t follow = key.find(kKeyCharsFollow); follow != std::string_view::npos)
        key.remove_prefix(follow + 1);
    thread_local std::vector<char32_t> chars;
    Decode(key, chars, false);
    return MatchChars(chars.size(), [&](std::size_t i) { return chars[i]; });
}
