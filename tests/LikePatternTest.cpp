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

const Case kCases[] = {
    // literals, letter case, whole-value comparison
    {"A1001",     "A1001",       Yes},
    {"A1001",     "a1001",       Yes},
    {"A1001",     "A10011",      No},
    {"A1001",     "A100",        No},
    {"",          "",            Yes},
    {"",          "x",           No},
    {"A_C",       "ABC",         No},
    {"A_C",       "a_c",         Yes},
    {"a.c",       "abc",         No},
    {"a]",        "A]",          Yes},
    {"!x",        "!X",          Yes},
    {"ÄRGER",     "ärger",       Yes},
    {"ΣΟΦΊΑ",     "σοφία",       Yes},
    {"STRAẞE",    "straße",      Yes},
    {"straße",    "STRASSE",     No},
    {"K",         "\u212A",      Yes}, // Kelvin sign folds to k
    // any run: * and %
    {"A*",        "A",           Yes},
    {"A*",        "ABC",         Yes},
    {"*C",        "ABC",         Yes},
    {"A*C",       "AC",          Yes},
    {"A*C",       "ABCD",        No},
    {"*",         "",            Yes},
    {"%",         "anything",    Yes},
    {"A%C",       "AxyzC",       Yes},
    {"*b*",       "ABC",         Yes},
    {"a*b*c*d",   "aXbXcXd",     Yes},
    {"a*b*c*d",   "aXbXcX",      No},
    {"*aab",      "aaaab",       Yes},
    {"**%*",      "",            Yes},
    // one character: ?
    {"A?C",       "ABC",         Yes},
    {"A?C",       "AC",          No},
    {"A?C",       "AéC",         Yes},
    {"?",         "😀",          Yes},
    {"??",        "😀",          No},
    // one digit: #
    {"A#",        "A5",          Yes},
    {"A#",        "AB",          No},
    {"##",        "1",           No},
    {"#.#",       "1.5",         Yes},
    // lists and ranges
    {"[abc]x",    "Bx",          Yes},
    {"[abc]x",    "dx",          No},
    {"[a-c]",     "d",           No},
    {"[A-C]",     "b",           Yes},
    {"[a-c]",     "B",           Yes},
    {"[a-cx-z]",  "y",           Yes},
    {"[!a-c]",    "d",           Yes},
    {"[!a-c]",    "B",           No},
    {"[!a-c]",    "",            No},
    {"[à-ï]",     "É",           Yes},
    {"[*]",       "*",           Yes},
    {"[*]",       "x",           No},
    {"[?]",       "?",           Yes},
    {"[#]",       "#",           Yes},
    {"[%]",       "%",           Yes},
    {"[[]",       "[",           Yes},
    {"[-a]",      "-",           Yes},
    {"[a-]",      "-",           Yes},
    {"[!-]",      "a",           Yes},
    {"a[]b",      "ab",          Yes},
    {"[]",        "",            Yes},
    // invalid patterns
    {"[ab",       "a",           Invalid},
    {"[",         "",            Invalid},
    {"a[!",       "a",           Invalid},
    {"[z-a]",     "m",           Invalid},
    {"[!]",       "x",           Invalid},
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
        {"A0123456",  "a0123456"},
        {"Ab*c",      "ab"},
        {"ab?",       "ab"},
        {"ab#",       "ab"},
        {"ab[c]d",    "ab"},
        {"a[]b*",     "ab"},   // the empty list is no character
        {"a]b%",      "a]b"},
        {"*ab",       ""},
        {"[[]ab",     ""},
        {"ÄRGER*",    "ärger"},
        {"STRAẞE",    "straße"},
        {"K1",   "k1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(LikePattern(QString::fromUtf8(c.pattern)).KeyPrefix(), c.prefix);
    }
}

TEST(LikePatternTest, KeyOfMalformedUtf8HasAReplacementCharacterPerByte)
{
    EXPECT_EQ(LikePattern::Key(std::string_view("A\xff\xc3" "B")), "a\xef\xbf\xbd\xef\xbf\xbd" "b");
    EXPECT_TRUE(LikePattern(QStringLiteral("a??b")).MatchesKey(LikePattern::Key(std::string_view("a\xff\xc3" "b"))));
}

TEST(LikePatternTest, MalformedUtf8CountsOneCharacterPerByte)
{
    const LikePattern pattern(QStringLiteral("a??b"));
    EXPECT_TRUE(pattern.Matches(std::string_view("a\xff\xc3" "b")));
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
