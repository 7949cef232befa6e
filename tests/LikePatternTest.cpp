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
    {"K", "\u212A", Yes}, {"\u212A1", "k1", Yes}, // Kelvin sign folds to k
    // any run: * and %
    {"A*C", "AC", Yes}, {"A*C", "ABCD", No}, {"A%C", "AxyzC", Yes}, {"**%*", "", Yes},
    {"a*b*c*d", "aXbXcX", No}, {"*aab", "aaaab", Yes},
    // one character: ?; one digit: #
    {"A?C", "AC", No}, {"?", "😀", Yes}, {"??", "😀", No}, {"a??b", "A\xff\xc3" "B", Yes}, {"a?b", "a\xc3\xa9" "b", Yes}, // a malformed byte is one
    {"A#", "A5", Yes}, {"A#", "AB", No},
    // lists and ranges, letter case ignored
    {"[abc]x", "Bx", Yes}, {"[a-c]", "d", No}, {"[a-c]", "B", Yes}, {"[A-C]", "b", Yes}, {"[a-cx-z]", "y", Yes}, {"[à-ï]", "É", Yes},
    // a range takes a character when it or its upper or lower case form lies in it; long s is S in upper case
    {"[a-ÿ]", "µ", Yes}, {"[µ-µ]", "µ", Yes}, {"[ς-ς]", "ς", Yes}, {"X[a-z]", "xſ", No}, {"x[A-Z]", "Xſ", Yes}, {"[s]", "ſ", Yes},
    {"[!a-c]", "d", Yes}, {"[!a-c]", "B", No}, {"[!a-c]", "", No},
    {"[*]", "x", No}, {"[[]", "[", Yes}, {"[-a]", "-", Yes}, {"[a-]", "-", Yes},
    {"a[]b", "ab", Yes},
    // invalid patterns
    {"[ab", "a", Invalid}, {"a[!", "a", Invalid}, {"[z-a]", "m", Invalid}, {"[!]", "x", Invalid},
};

// A value's key is what an index holds: matching the key must give the
// pattern's answer for the value, and every matching key must lie in the
// range of keys that begin with the pattern's KeyPrefix, which is folded.
TEST(LikePatternTest, ValuesAndTheirKeysMatchByTheRules)
{
    for (const Case &c : kCases) {
        const QString text = QString::fromUtf8(c.pattern);
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "' value '" + c.value + "'");
        if (c.outcome == Invalid) {
            EXPECT_THROW(LikePattern{text}, StoreFailure);
            continue;
        }
        const LikePattern pattern(text);
        const std::string key = LikePattern::Key(c.value);
        EXPECT_EQ(pattern.Matches(std::string_view(c.value)), c.outcome == Yes);
        EXPECT_EQ(pattern.MatchesKey(key), c.outcome == Yes);
        EXPECT_TRUE(c.outcome == No || std::string_view(key).starts_with(pattern.KeyPrefix())) << "prefix " << pattern.KeyPrefix();
    }
}

TEST(LikePatternTest, ManyStarsDoNotBacktrackExponentially)
{
    const LikePattern pattern(QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    const std::string value(20000, 'a');
    EXPECT_FALSE(pattern.Matches(std::string_view(value)));
    EXPECT_TRUE(pattern.Matches(std::string_view(value + "b")));
}

} // namespace
