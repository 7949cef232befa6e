#include "LikePattern.h"

#include "Failure.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum Outcome { No, Yes, Invalid };

// LikePatternFuzz holds any pattern and value to the rules of '*', '?' and
// ASCII letter case, and holds a value's key (what an index holds) to match
// as the value does, within the keys that begin with the pattern's KeyPrefix.
TEST(LikePatternTest, ValuesMatchByTheRules)
{
    const struct { const char *pattern, *value; Outcome outcome; } cases[] = {  // UTF-8
        // literals: letter case folded one character to one, the whole value
        {"A1001", "A10011", No}, {"A_C", "ABC", No}, {"a]", "A]", Yes},
        {"ÄRGER", "ärger", Yes}, {"STRAẞE", "straße", Yes}, {"straße", "STRASSE", No},
        {"K", "\u212A", Yes}, {"\u212A1", "k1", Yes}, // Kelvin sign folds to k
        // any run: * and %; one character: ?, a malformed byte is one; one digit: #
        {"A*C", "AC", Yes}, {"A*C", "ABCD", No}, {"A%C", "AxyzC", Yes}, {"**%*", "", Yes}, {"a*b*c*d", "aXbXcX", No}, {"*aab", "aaaab", Yes},
        {"A?C", "AC", No}, {"a??b", "A\xff\xc3" "B", Yes}, {"A#", "A5", Yes}, {"A#", "AB", No},
        // lists and ranges, letter case ignored
        {"[abc]x", "Bx", Yes}, {"[a-c]", "d", No}, {"[a-c]", "B", Yes}, {"[A-C]", "b", Yes}, {"[a-cx-z]", "y", Yes}, {"[à-ï]", "É", Yes},
        // a range takes a character when it or its upper or lower case form lies in it; long s is S in upper case
        {"[a-ÿ]", "µ", Yes}, {"[µ-µ]", "µ", Yes}, {"[ς-ς]", "ς", Yes}, {"X[a-z]", "xſ", No}, {"x[A-Z]", "Xſ", Yes}, {"[s]", "ſ", Yes},
        {"[!a-c]", "d", Yes}, {"[!a-c]", "B", No}, {"[!a-c]", "", No},
        {"[*]", "x", No}, {"[[]", "[", Yes}, {"[-a]", "-", Yes}, {"[a-]", "-", Yes}, {"a[]b", "ab", Yes},
        // invalid patterns
        {"[ab", "a", Invalid}, {"a[!", "a", Invalid}, {"[z-a]", "m", Invalid}, {"[!]", "x", Invalid},
    };
    for (const auto &c : cases) {
        if (c.outcome == Invalid)
            EXPECT_THROW(LikePattern{QString::fromUtf8(c.pattern)}, StoreFailure) << c.pattern;
        else
            EXPECT_EQ(LikePattern(QString::fromUtf8(c.pattern)).Matches(std::string_view(c.value)), c.outcome == Yes) << c.pattern << " / " << c.value;
    }
    // Many stars do not backtrack exponentially.
    EXPECT_FALSE(LikePattern(QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*b")).Matches(std::string(20000, 'a')));
}

} // namespace
