#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A search value compiled once into the Like comparison of the card store.
//
//   *  %      any run of characters, also none
//   ?         exactly one character
//   #         exactly one digit 0-9
//   [abc]     one character of the list; [a-z] one character of the range;
//   [!abc]    one character not in the list (ranges allowed too)
//   [*] [[]   a bracket quotes a wildcard or an opening bracket
//   anything else, ] outside a list included, stands for itself
//
// Inside a list, a '-' at the start (after a '!') or at the end stands for
// itself. Letter case is ignored: a literal character, in a list or not,
// matches every character with the same Unicode simple case folding, so each
// character of the value still counts as one; a character is in a range when
// it, its simple upper case or its simple lower case form lies in the range
// as written (U+00B5 micro sign is in [a-ÿ], U+017F long s is in [A-Z]
// but not in [a-z]). The whole value must match, not just a part of it.
//
// Invalid patterns, which the constructor refuses with StoreFailure: a '['
// without its ']', a reversed range such as [z-a], and the empty negated list
// [!]. The empty list [] matches no character and consumes none: "a[]b"
// matches "ab".
//
// Matching takes time proportional to the value's length times the pattern's
// length at worst, whatever the number of '*'; a value of plain ASCII is
// matched without any allocation.
//
// For searching an index, a value has a key: its characters folded as the
// comparison folds them, in UTF-8, followed, when the value holds a character
// whose case forms its folding changes (such as long s), by the byte 0xFE and
// the characters as ranges compare them. Keys sort by code point, a value
// matches exactly when its key matches by MatchesKey, and every key that
// matches begins with the pattern's KeyPrefix.
class LikePattern
{
public:
    explicit LikePattern(const QString &pattern);

    // value is UTF-8; malformed bytes count as one character each.
    bool Matches(std::string_view value) const;
    bool Matches(const QString &value) const;

    // The key of a UTF-8 value; a malformed byte becomes U+FFFD, as it does
    // for Matches. Always valid UTF-8 up to its 0xFE, if any; never holds
    // the byte 0xFF.
    static std::string Key(std::string_view value);
    // key must be a Key(); the answer is Matches() of its value.
    bool MatchesKey(std::string_view key) const;
    // The key of the literal characters before the pattern's first wildcard
    // or list; empty when it begins with one.
    const std::string &KeyPrefix() const { return keyPrefix_; }
    // True when the pattern holds no wildcard and no list: it matches
    // exactly the values whose key, up to its byte 0xFE, is KeyPrefix.
    bool IsLiteral() const { return literal_; }

    const QString &Text() const { return text_; }

private:
    enum class Kind : std::uint8_t { Char, AnyChar, Digit, Set, Star };
    // Eight bytes: a pattern has one token per character.
    struct Token
    {
        Kind kind;
        std::uint32_t value = 0; // Char: the folded character; Set: index into sets_
    };
    struct CharSet
    {
        bool negated = false;
        std::vector<char32_t> singles;                     // folded
        std::vector<std::pair<char32_t, char32_t>> ranges; // as written
        bool Contains(char32_t ch) const;
    };

    // The value's characters reach these as the comparison sees them: each
    // one's case fold, or the character itself where folding changes its
    // case forms.
    void Compile(const std::vector<char32_t> &pattern);
    bool TokenMatches(const Token &token, char32_t ch) const;
    template <typename CharAt>
    bool MatchChars(std::size_t length, CharAt charAt) const;

    QString text_;
    std::string keyPrefix_;
    bool literal_ = true;
    std::vector<Token> tokens_;
    std::vector<CharSet> sets_;
};
