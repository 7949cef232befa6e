#pragma once

// The Like pattern's rules as a table, held by LikePatternTest against the
// matcher and by CardStoreTest against each card store's search.
namespace like_cases {

enum Outcome { No, Yes, Invalid };

struct Case
{
    const char *pattern, *value; // UTF-8
    Outcome outcome;
};

inline constexpr Case kCases[] = {
    // literals: letter case folded one character to one, the whole value
    {"A1001", "A10011", No}, {"A_C", "ABC", No}, {"a]", "A]", Yes},
    {"ÄRGER", "ärger", Yes}, {"STRAẞE", "straße", Yes}, {"straße", "STRASSE", No},
    {"K", "\u212A", Yes}, {"\u212A1", "k1", Yes}, {"xS", "Xſ", Yes}, // Kelvin sign folds to k, long s to s
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

} // namespace like_cases
