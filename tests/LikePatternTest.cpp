#include "LikePattern.h"

#include "Failure.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum Outcome { No, Yes, Invalid };

struct Case
{
    const char *pattern; // UTF-8
    const char *value;   // UTF-8
    Outcome outcome;
};

// One line per rule.
const Case kCases[] = {
    // literals: letter case folded one character to one, the whole value
    {"A1001", "a1001", Yes}, {"A1001", "A10011", No}, {"A_C", "ABC", No}, {"a]", "A]", Yes},
    {"ÄRGER", "ärger", Yes}, {"STRAẞE", "straße", Yes}, {"straße", "STRASSE", No},
    {"K", "\u212A", Yes}, // Kelvin sign folds to k
    // any run: * and %
    {"A*C", "AC", Yes}, {"A*C", "ABCD", No}, {"A%C", "AxyzC", Yes}, {"**%*", "", Yes},
    {"a*b*c*d", "aXbXcX", No}, {"*aab", "aaaab", Yes},
    // one character: ?; one digit: #
    {"A?C", "AC", No}, {"?", "😀", Yes}, {"??", "😀", No},
    {"A#", "A5", Yes}, {"A#", "AB", No},
    // lists and ranges, letter case ignored
    {"[abc]x", "Bx", Yes}, {"[a-c]", "d", No}, {"[a-c]", "B", Yes}, {"[A-C]", "b", Yes}, {"[a-cx-z]", "y", Yes}, {"[à-ï]", "É", Yes},
    {"[!a-c]", "d", Yes}, {"[!a-c]", "B", No}, {"[!a-c]", "", No},
    {"[*]", "x", No}, {"[[]", "[", Yes}, {"[-a]", "-", Yes}, {"[a-]", "-", Yes},
    {"a[]b", "ab", Yes},
    // invalid patterns
    {"[ab", "a", Invalid}, {"a[!", "a", Invalid}, {"[z-a]", "m", Invalid}, {"[!]", "x", Invalid},
};

TEST(LikePatternTest, MatchesByTheRules)
{
    for (const Case &c : kCases) {
        const QString pattern = QString::fromUtf8(c.pattern);
        const QString value = QString::fromUtf8(c.value);
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "' value '" + c.value + "'");
        if (c.outcome == Invalid) {
            EXPECT_THROW(LikePattern{pattern}, StoreFailure);
            continue;
        }
        EXPECT_EQ(LikePattern(pattern).Matches(value), c.outcome == Yes);
    }
}

// A value's key is what an index holds: matching the key must give the
// pattern's answer for the value, and every matching key must lie in the
// range of keys that begin with the pattern's KeyPrefix.
TEST(LikePatternTest, KeysMatchAsTheirValuesDo)
{
    for (const Case &c : kCases) {
        if (c.outcome == Invalid)
            continue;
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "' value '" + c.value + "'");
        const LikePattern pattern(QString::fromUtf8(c.pattern));
        const std::string key = LikePattern::Key(c.value);
        EXPECT_EQ(pattern.MatchesKey(key), c.outcome == Yes);
        if (c.outcome == Yes) {
            EXPECT_EQ(key.substr(0, pattern.KeyPrefix().size()), pattern.KeyPrefix());
        }
    }
}

TEST(LikePatternTest, KeyPrefixIsTheFoldedTextBeforeTheFirstWildcardOrList)
{
    const struct
    {
        const char *pattern;
        const char *prefix;
    } cases[] = {
        {"Ab*c", "ab"}, {"ab#", "ab"}, {"ab[c]d", "ab"}, {"a]b%", "a]b"}, {"*ab", ""},
        {"a[]b*", "ab"}, // the empty list is no character
        {"STRAẞE", "straße"}, {"\u212A1", "k1"}, // Kelvin sign
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(LikePattern(QString::fromUtf8(c.pattern)).KeyPrefix(), c.prefix);
    }
}

TEST(LikePatternTest, MalformedUtf8IsOneCharacterPerByte)
{
    const std::string_view malformed("A\xff\xc3" "B");
    EXPECT_EQ(LikePattern::Key(malformed), "a\xef\xbf\xbd\xef\xbf\xbd" "b");
    const LikePattern pattern(QStringLiteral("a??b"));
    EXPECT_TRUE(pattern.Matches(malformed));
    EXPECT_TRUE(pattern.MatchesKey(LikePattern::Key(malformed)));
    EXPECT_FALSE(pattern.Matches(std::string_view("a\xc3\xa9" "b"))); // é is one character
}

TEST(LikePatternTest, ManyStarsDoNotBacktrackExponentially)
{
    const LikePattern pattern(QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    const std::string value(20000, 'a');
    EXPECT_FALSE(pattern.Matches(std::string_view(value)));
    EXPECT_TRUE(pattern.Matches(std::string_view(value + "b")));
}

} // namespace
