// The key text of numbers, the list-entry helpers, goal-type names and the points of a result row.
#include "app/data/league_text.h"

#include <gtest/gtest.h>

#include "app/settings/lang_texts.h"
#include "app/data/match_points.h"

namespace {

using namespace app;

TEST(LeagueText, NumbersAsTheirKeysShowThem) {
    struct Case {
        int n, width;
        std::string key;
    } cases[] = {{7, 3, "  7"},     {12345, 3, "12345"}, {7, 2, " 7"},
                 {2026, 4, "2026"}, {0, 3, "  0"},       {-5, 3, " -5"}};
    for (const Case& c : cases) EXPECT_EQ(PadNum(c.n, c.width), c.key) << c.n << "," << c.width;
}

TEST(LeagueText, TextHelpers) {
    EXPECT_EQ(Spaces(3), "   ");
    EXPECT_EQ(Spaces(-1), "");
    EXPECT_EQ(LeftPart("2008 - 2009", 4), "2008");
    EXPECT_EQ(LeftPart("ab", 5), "ab");
    EXPECT_EQ(RightPart("abcdef", 2), "ef");
    EXPECT_EQ(RightPart("ab", 10), "ab");
    EXPECT_EQ(VerticalText("Pts"), " P\n t\n s\n");
    for (const char* yes : {"0", "42", "-7", "+3", " 12", "2147483647"}) EXPECT_TRUE(IsInteger(yes)) << yes;
    for (const char* no : {"", " ", "1a", "1.5", "2147483648", "--1", "١٢"})
        EXPECT_FALSE(IsInteger(no)) << no;
}

TEST(LeagueText, NumberedEntriesKeepTheirNumberWhateverTheName) {
    for (const QString& name : {QString(), QString("Å"), QString(30, 'x'), QString("Real  Zaragoza")}) {
        for (int n : {1, 99999}) {
            const QString e = NumberedEntry(name, n);
            EXPECT_EQ(EntryNumber(e), n) << name.toStdString();
            EXPECT_EQ(EntryName(e), name);
        }
    }
    EXPECT_EQ(EntryNumber("Arsenal"), 0);
    EXPECT_EQ(EntryName("Arsenal"), "Arsenal");
}

// The goals' grid names a type as the goal-type list does, in every language: Spanish reads "Autogol" in
// both, never the list's text beside another in the grid.
TEST(LeagueText, GoalTypeNamesAreTheListsInEveryLanguage) {
    const int saved = LanguageIndex;
    for (int lang = 1; lang <= 8; ++lang) {
        LanguageIndex = lang;
        for (int type = 0; type <= 5; ++type) {
            EXPECT_EQ(GoalTypeName(type), BuiltInText(kGoalTypeTexts[type], lang)) << lang << " " << type;
            EXPECT_FALSE(GoalTypeName(type).isEmpty());
        }
        EXPECT_EQ(GoalTypeName(6), "");
        EXPECT_EQ(GoalTypeName(-1), "");
    }
    LanguageIndex = 4;
    EXPECT_EQ(GoalTypeName(2), QStringLiteral("Autogol"));
    LanguageIndex = saved;
}

TEST(MatchPoints, EveryCodeGivesItsPointsAndOutcomes) {
    SeasonRules rules;
    rules.win = 3;
    rules.draw = 1;
    rules.defeat = 0;
    rules.forfeitWin = 2;
    rules.forfeitDefeat = -1;
    using O = MatchOutcome;
    struct Case {
        const char* code;
        int g1, g2, p1, p2;
        MatchPoints want;
    } cases[] = {
        {"V1", 2, 0, 9, 9, {{3, O::Win}, {0, O::Defeat}}},
        {"V2", 0, 1, 9, 9, {{0, O::Defeat}, {3, O::Win}}},
        {"N", 1, 1, 9, 9, {{1, O::Draw}, {1, O::Draw}}},
        {"N ", 2, 2, 9, 9, {{1, O::Draw}, {1, O::Draw}}},
        // A forfeit counts by its code whatever the score.
        {"F1", 0, 3, 9, 9, {{2, O::Win}, {-1, O::Defeat}}},
        {"F2", 3, 0, 9, 9, {{-1, O::Defeat}, {2, O::Win}}},
        {"AU", 1, 1, 3, 0, {{3, O::Draw}, {0, O::Draw}}},
        {"AU", 2, 1, 0, 0, {{0, O::Win}, {0, O::Defeat}}},
        {"AU", 0, 4, 1, 5, {{1, O::Defeat}, {5, O::Win}}},
    };
    for (const Case& c : cases) {
        const auto got = PointsOfResult(c.code, c.g1, c.g2, c.p1, c.p2, rules);
        ASSERT_TRUE(got.has_value()) << c.code;
        EXPECT_EQ(*got, c.want) << "'" << c.code << "' " << c.g1 << "-" << c.g2;
    }
    for (const char* unknown : {"", "J", "V", "v1", "NN", "A"})
        EXPECT_FALSE(PointsOfResult(unknown, 1, 0, 0, 0, rules).has_value()) << unknown;
}

}  // namespace
