// Splitting lines into items and reading item numbers.
#include "Items.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitItems, RunsBetweenDelimitersWithNoQuotingOrTrimming)
{
    struct Case
    {
        const char *line, *delimiter;
        QStringList items;
    } cases[] = {
        {"A1001,,Smith, J", ",", {"A1001", "", "Smith", " J"}},
        {"A1001,\"X,Y\"", ",", {"A1001", "\"X", "Y\""}},
        {"", ",", {""}},
        {"a,", ",", {"a", ""}},
        {",", ",", {"", ""}},
        {"a;b,c", ";", {"a", "b,c"}},
        {"aXb", "x", {"aXb"}},  // case-sensitive
        {"a::b:::c", "::", {"a", "b", ":c"}},  // whole occurrences, scan resumes after each
        {"a,b", "", {"a,b"}},  // an empty delimiter does not split
        {"a\nb,c", ",", {"a\nb", "c"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SplitItems(c.line, c.delimiter), c.items) << c.line << " / " << c.delimiter;
}

TEST(ItemAt, OutOfRangeGivesEmptyText)
{
    const QStringList items{"a", "b"};
    EXPECT_EQ(ItemAt(items, 0), "a");
    EXPECT_EQ(ItemAt(items, 1), "b");
    EXPECT_EQ(ItemAt(items, 2), "");
    EXPECT_EQ(ItemAt(items, -1), "");
    EXPECT_EQ(ItemAt(items, 99999999999LL), "");
}

TEST(ParseWholeNumber, DecimalDigitsWithBlanksAndSignOnly)
{
    struct Case
    {
        const char *text;
        std::optional<long long> value;
    } cases[] = {
        {"0", 0}, {" 2", 2}, {"2 ", 2}, {"+7", 7}, {"-0", 0}, {"-3", -3},
        {"99999999999", 99999999999LL}, {"007", 7},
        {"", std::nullopt}, {" ", std::nullopt}, {"1e3", std::nullopt}, {"2.0", std::nullopt},
        {"x", std::nullopt}, {"+", std::nullopt}, {"1 2", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ParseWholeNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(RoundToWholeNumber, AnyDecimalNumberRoundedHalfToEven)
{
    struct Case
    {
        const char *text;
        std::optional<long long> value;
    } cases[] = {
        {"2", 2}, {" 3 ", 3}, {"2.0", 2}, {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"1e3", 1000}, {"-0", 0},
        {"", std::nullopt}, {"abc", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},
        {"0x10", std::nullopt}, {"1e30", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RoundToWholeNumber(c.text), c.value) << '"' << c.text << '"';
}

} // namespace
