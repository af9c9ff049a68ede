// The championship window's season rules: the suggested matchday count and the rule ranges.
#include "app/editing/season_rules.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(SuggestedDayCountTest, DoubleRoundRobinWithinTheField) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"18", 34}, {"0", 0},           {"1", 0},
        {"2", 2},   {"50", 98},         {"51", 99},
        {"99", 99}, {"", std::nullopt}, {"x", std::nullopt},
    };
    for (const auto& [teams, days] : cases) {
        SCOPED_TRACE(teams);
        EXPECT_EQ(SuggestedDayCount(teams), days);
    }
}

TEST(RuleValueTest, RangesOfTheSevenRules) {
    int count = 0;
    const SeasonRuleField* fields = SeasonRuleFields(&count);
    ASSERT_EQ(count, 7);
    for (int i = 0; i < count; ++i) {
        const SeasonRuleField& f = fields[i];
        SCOPED_TRACE(f.objectName);
        const bool teamsOrDays = i < 2;
        EXPECT_EQ(RuleValue(f, "99"), 99);
        EXPECT_FALSE(RuleValue(f, "100").has_value());
        EXPECT_EQ(RuleValue(f, "-9").has_value(), !teamsOrDays);
        EXPECT_FALSE(RuleValue(f, "-10").has_value());
        EXPECT_EQ(RuleValue(f, ""), 0);
        EXPECT_EQ(RuleValue(f, "1-"), 0);
    }
}

}  // namespace
}  // namespace app
