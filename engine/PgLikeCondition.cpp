#include "PgLikeCondition.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr qsizetype kLongestPattern = 500;

void AppendMember(QByteArray &out, char32_t ch)
{
    char escape[16];
    if (ch <= 0xFFFF)
        std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(ch));
    else
        std::snprintf(escape, sizeof escape, "\\U%08X", unsigned(ch));
    out += escape;
}

// A pattern of the one ASCII character c as a literal.
QString Literal(char32_t c)
{
    const QChar ch{char16_t(c)};
    return QStringLiteral("*%?#[").contains(ch) ? QStringLiteral("[%1]").arg(ch) : QString(ch);
}

// For each ASCII character, every character that LikePattern takes for it as
// a literal: the ASCII ones, and the few others whose case forms or folding
// lead to ASCII, tried by LikePattern itself. Those few lie in the Basic
// Multilingual Plane (the case forms of the planes above stay there), so
// the rest are not tried: every run that searches a server builds this.
const std::array<std::vector<char32_t>, 128> &AsciiMembers()
{
    static const std::array<std::vector<char32_t>, 128> all = [] {
        std::array<std::vector<char32_t>, 128> members;
        for (char32_t c = 0x20; c < 0x7F; ++c) {
            const LikePattern literal(Literal(c));
            for (char32_t other = 0; other < 0x80; ++other) {
                if (literal.Matches(QString(QChar(char16_t(other)))))
                    members[c].push_back(other);
            }
        }
        for (char32_t other = 0x80; other <= 0xFFFF; ++other) {
            const char32_t one[] = {other};
            for (const char32_t form : {QChar::toCaseFolded(other), QChar::toLower(other), QChar::toUpper(other)}) {
                if (form >= 0x80)
                    continue;
                // Every ASCII literal that takes the form (its other case too) may take other.
                const std::vector<char32_t> takers = members[form];
                for (const char32_t c : takers) {
                    if (c < 0x80 && !members[c].empty() && members[c].back() != other && LikePattern(Literal(c)).Matches(QString::fromUcs4(one, 1)))
                        members[c].push_back(other);
                }
            }
        }
        return members;
    }();
    return all;
}

// The bracket expression of each ASCII character's members.
const std::array<QByteArray, 128> &AsciiClasses()
{
    static const std::array<QByteArray, 128> classes = [] {
        std::array<QByteArray, 128> result;
        for (std::size_t c = 0; c < 128; ++c) {
            result[c] = "[";
            for (const char32_t member : AsciiMembers()[c])
                AppendMember(result[c], member);
            result[c] += "]";
        }
        return result;
    }();
    return classes;
}

// For each ASCII character, the characters LikePattern takes for it as a
// literal (a control character has no other case), each as the text of an
// array element: UTF-8, a backslash or a double quote escaped.
const std::array<std::vector<QByteArray>, 128> &ArrayMembers()
{
    static const std::array<std::vector<QByteArray>, 128> all = [] {
        std::array<std::vector<QByteArray>, 128> members;
        for (char32_t c = 0; c < 0x80; ++c) {
            for (const char32_t member : c < 0x20 || c == 0x7F ? std::vector<char32_t>{c} : AsciiMembers()[c]) {
                const QByteArray text = QString::fromUcs4(&member, 1).toUtf8();
                members[c].push_back(text == "\\" || text == "\"" ? '\\' + text : text);
            }
        }
        return members;
    }();
    return all;
}

} // namespace

// The lists are read as LikePattern reads them: a '[' opens one, an optional
// '!' follows, and the first ']' after that closes it; the pattern has been
// compiled, so every '[' has its ']'.
QByteArray ServerRegex(const LikePattern &pattern)
{
    const QList<uint> p = pattern.Text().toUcs4();
    if (p.size() > kLongestPattern)
        return {};
    const auto &classes = AsciiClasses();
    QByteArray regex = "^";
    for (qsizetype i = 0; i < p.size(); ++i) {
        const char32_t ch = p[i];
        switch (ch) {
        case U'*':
        case U'%':
            if (!regex.endsWith(".*"))
                regex += ".*";
            break;
        case U'?':
            regex += ".";
            break;
        case U'#':
            regex += "[0123456789]";
            break;
        case U'[': {
            qsizetype first = i + 1;
            const bool negated = first < p.size() && p[first] == U'!';
            if (negated)
                ++first;
            const qsizetype close = p.indexOf(U']', first);
            if (close < 0)
                return {};
            if (close > first || negated)
                regex += ".";
            i = close;
            break;
        }
        default:
            if (ch < 0x80 && classes[ch].size() > 2)
                regex += classes[ch];
            else
                regex += ".";
        }
    }
    regex += "$";
    return regex;
}

namespace {

// The members (ArrayMembers) of each character of a pattern that
// ServerValues can write out; none when it cannot.
std::optional<std::vector<const std::vector<QByteArray> *>> ValueMembers(const LikePattern &pattern, int most)
{
    const QString &text = pattern.Text();
    std::vector<const std::vector<QByteArray> *> places;
    places.reserve(std::size_t(text.size()));
    std::size_t count = 1;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c >= 0x80 || c == u'*' || c == u'%' || c == u'?' || c == u'#' || c == u'[')
            return std::nullopt;
        const std::vector<QByteArray> &members = ArrayMembers()[c];
        if (members.empty() || count * members.size() > std::size_t(most))
            return std::nullopt;
        count *= members.size();
        places.push_back(&members);
    }
    return places;
}

} // namespace

// Every combination of the characters' members, the first character's
// changing fastest; array elements in double quotes.
QByteArray ServerValues(const LikePattern &pattern, int most)
{
    const auto places = ValueMembers(pattern, most);
    if (!places)
        return {};
    std::size_t count = 1;
    for (const auto *members : *places)
        count *= members->size();
    std::vector<std::size_t> form(places->size(), 0);
    // Written in place: a member is at most 3 bytes of UTF-8 (or an escaped
    // character, 2), and an import run writes out every line's value.
    QByteArray array(qsizetype(count * (places->size() * 3 + 3) + 2), Qt::Uninitialized);
    char *out = array.data();
    *out++ = '{';
    for (std::size_t v = 0; v < count; ++v) {
        if (v > 0)
            *out++ = ',';
        *out++ = '"';
        for (std::size_t i = 0; i < places->size(); ++i) {
            const QByteArray &member = (*(*places)[i])[form[i]];
            out = std::copy(member.begin(), member.end(), out);
        }
        *out++ = '"';
        for (std::size_t i = 0; i < places->size() && ++form[i] == (*places)[i]->size(); ++i)
            form[i] = 0;
    }
    *out++ = '}';
    array.truncate(out - array.constData());
    return array;
}

bool HasServerValues(const LikePattern &pattern, int most)
{
    return ValueMembers(pattern, most).has_value();
}
