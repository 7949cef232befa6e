#include "LikePattern.h"

#include "Failure.h"
#include "LikeCases.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// LikePatternFuzz holds any pattern and value to the rules of '*', '?' and
// ASCII letter case, and holds a value's key (what an index holds) to match
// as the value does, within the keys that begin with the pattern's KeyPrefix.
TEST(LikePatternTest, ValuesMatchByTheRules)
{
    using namespace like_cases;
    for (const Case &c : kCases) {
        if (c.outcome == Invalid)
            EXPECT_THROW(LikePattern{QString::fromUtf8(c.pattern)}, StoreFailure) << c.pattern;
        else
            EXPECT_EQ(LikePattern(QString::fromUtf8(c.pattern)).Matches(std::string_view(c.value)), c.outcome == Yes) << c.pattern << " / " << c.value;
    }
    // Many stars do not backtrack exponentially.
    EXPECT_FALSE(LikePattern(QStringLiteral("*a*a*a*a*a*a*a*a*a*a*a*a*b")).Matches(std::string(20000, 'a')));
}

} // namespace
