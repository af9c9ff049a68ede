// The forecast worked out by hand: a small season for method 1 (team 1 scored at home, team 2 away, the
// chosen matchday and later ones left out, other seasons and championships too), past meetings for
// method 2 (in every season and championship, only with team 1 at home), and method 3 in single
// precision, falling back on the method that has data.
#include "app/reports/prevision.h"

#include <gtest/gtest.h>

#include "app/settings/lang_texts.h"
#include "app/data/league_test_support.h"
#include "tests/support/league_fill.h"

namespace {

using namespace app;
using xbtest::SeasonTable;

// Championship, year, matchday, home, away, home goals, away goals, code.
using Row = std::tuple<int, int, int, int, int, int, int, const char*>;

class PrevisionTest : public leaguetest::LeagueTest {
protected:
    void results(const std::vector<Row>& rows) {
        SeasonTable t{
            "resultat.dbf",
            {"nuchamp", "annee", "nujournee", "nueq1", "nueq2", "beq1", "beq2", "coder", "pteq1", "pteq2"},
            {}};
        auto n = [](int v) { return std::to_string(v); };
        for (const auto& [c, y, d, h, a, g1, g2, code] : rows)
            t.rows.push_back({n(c), n(y), n(d), n(h), n(a), n(g1), n(g2), code, "0", "0"});
        xbtest::FillLeagueTables(tmp.path(), {t});
    }
};

TEST_F(PrevisionTest, SeasonFormBeforeTheMatchday) {
    results({
        {1, 2026, 1, 1, 3, 2, 1, "V1"},  // team 1 wins at home: 4 + 2 goals
        {1, 2026, 1, 4, 2, 1, 1, "N"},   // team 2 draws away: 4 for the draw + 1 goal
        {1, 2026, 2, 2, 4, 5, 0, "V1"},  // team 2 at home: not its form
        {1, 2026, 2, 3, 1, 0, 2, "V2"},  // team 1 away: not its form
        {1, 2026, 3, 1, 2, 0, 3, "F2"},  // both: team 1 nothing; team 2 wins away, 4 + 2 draw + 3 goals
        {1, 2026, 4, 1, 4, 5, 0, "V1"},  // the chosen matchday: left out
        {1, 2025, 1, 1, 2, 9, 0, "V1"},  // another season
        {2, 2026, 1, 1, 2, 9, 0, "V1"},  // another championship
    });
    EXPECT_EQ(PrevisionSeasonScores(1, 2026, 4, 1, 2), (PrevisionScores{6, 6, 8}));
    EXPECT_EQ(PrevisionBySeason(1, 2026, 4, 1, 2), (PrevisionPercent{30, 30, 40, true}));
    // Matchday 5 takes matchday 4 in: 4 + 5 more for team 1.
    EXPECT_EQ(PrevisionSeasonScores(1, 2026, 5, 1, 2), (PrevisionScores{15, 6, 8}));
    // Nothing before matchday 1, nor without a matchday.
    for (int day : {1, 0, -3}) EXPECT_EQ(PrevisionBySeason(1, 2026, day, 1, 2), PrevisionPercent{}) << day;
}

TEST_F(PrevisionTest, MeetingsInEverySeasonWithTeamOneAtHome) {
    results({
        {1, 2020, 5, 1, 2, 3, 0, "V1"},  // 3 for team 1
        {3, 2021, 9, 1, 2, 2, 0, "V1"},  // 2 for team 1
        {1, 2022, 1, 1, 2, 0, 2, "V2"},  // 4 for team 2, 1 for the draw
        {1, 2023, 1, 1, 2, 0, 1, "V2"},  // 3 for team 2, 1 for the draw
        {2, 2024, 7, 1, 2, 0, 0, "F1"},  // a forfeit stored 0-0 is a draw: 3
        {1, 2025, 1, 2, 1, 7, 0, "V1"},  // team 2 at home: another fixture
        {1, 2025, 2, 1, 3, 7, 0, "V1"},  // another opponent
    });
    EXPECT_EQ(PrevisionMeetingScores(1, 2), (PrevisionScores{5, 5, 7}));
    const PrevisionPercent p = PrevisionByMeetings(0, 0, 0, 1, 2);
    EXPECT_EQ(p, (PrevisionPercent{float(500.0 / 17), float(500.0 / 17), float(700.0 / 17), true}));
    EXPECT_EQ(PrevisionMeetingScores(2, 1), (PrevisionScores{3, 0, 0}));
    EXPECT_EQ(PrevisionByMeetings(0, 0, 0, 4, 5), PrevisionPercent{});
}

TEST_F(PrevisionTest, CombinedInSinglePrecisionAndFallingBackOnTheMethodWithData) {
    const PrevisionPercent season{60, 20, 20, true}, meetings{30, 30, 40, true};
    const PrevisionPercent both = CombinePrevisions(season, meetings);
    EXPECT_EQ(both.team1, 50.0f);
    EXPECT_EQ(both.draw, 23.333334f);
    EXPECT_EQ(both.team2, 26.666666f);
    EXPECT_EQ(CombinePrevisions({}, meetings), meetings);
    EXPECT_EQ(CombinePrevisions(season, {}), season);
    EXPECT_FALSE(CombinePrevisions({}, {}).hasData);

    results({{1, 2026, 1, 1, 2, 3, 0, "V1"}, {1, 2025, 4, 1, 2, 1, 1, "N"}, {1, 2026, 2, 5, 2, 0, 1, "V2"}});
    // At matchday 1 the season has nothing yet: method 3 is method 2.
    EXPECT_EQ(PrevisionSeasonScores(1, 2026, 1, 1, 2), PrevisionScores{});
    EXPECT_EQ(PrevisionMeetingScores(1, 2), (PrevisionScores{3, 3, 0}));
    const PrevisionRequest first{kPrevisionCombined, 1, 2026, 1, 1, 2};
    EXPECT_EQ(ComputePrevision(first), ComputePrevision({kPrevisionByMeetings, 1, 2026, 1, 1, 2}));
    EXPECT_TRUE(ComputePrevision(first)->hasData);
    // Later both count.
    const PrevisionRequest third{kPrevisionCombined, 1, 2026, 3, 1, 2};
    EXPECT_EQ(ComputePrevision(third),
              CombinePrevisions(PrevisionBySeason(1, 2026, 3, 1, 2), PrevisionByMeetings(1, 2026, 3, 1, 2)));
    // No forecast without a method, a championship, a year, both teams, or for a team against itself.
    for (const PrevisionRequest& r :
         {PrevisionRequest{0, 1, 2026, 3, 1, 2}, PrevisionRequest{4, 1, 2026, 3, 1, 2},
          PrevisionRequest{1, 0, 2026, 3, 1, 2}, PrevisionRequest{1, 1, 0, 3, 1, 2},
          PrevisionRequest{2, 1, 2026, 3, 0, 2}, PrevisionRequest{2, 1, 2026, 3, 1, 0},
          PrevisionRequest{2, 1, 2026, 3, 2, 2}})
        EXPECT_FALSE(ComputePrevision(r).has_value()) << r.method << " " << r.team1 << " " << r.team2;
}

}  // namespace

namespace {

// Shown with one decimal, the three always read 100.0 together: rounding each alone would show 99.9 or
// 100.1 for these.
TEST(PrevisionPercentTexts, OneDecimalAddingUpToOneHundred) {
    const struct {
        PrevisionPercent p;
        std::array<const char*, 3> shown;
    } cases[] = {
        {{36.842106f, 52.63158f, 10.526316f, true}, {"36.9%", "52.6%", "10.5%"}},
        {{50.0f, 23.333334f, 26.666666f, true}, {"50.0%", "23.3%", "26.7%"}},
        {{100.0f / 3, 100.0f / 3, 100.0f / 3, true}, {"33.4%", "33.3%", "33.3%"}},
        {{16.66f, 16.67f, 66.67f, true}, {"16.6%", "16.7%", "66.7%"}},
        {{0, 100, 0, true}, {"0.0%", "100.0%", "0.0%"}},
        {{}, {"0.0%", "0.0%", "0.0%"}},
    };
    const int language = LanguageIndex;
    LanguageIndex = 2;
    for (const auto& c : cases) {
        const std::array<QString, 3> texts = PercentTexts(c.p);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(texts[i], QString::fromLatin1(c.shown[i])) << c.p.team1 << " " << i;
    }
    // French and Croatian write a decimal comma and a no-break space before the sign.
    for (int l : {1, 6}) {
        LanguageIndex = l;
        EXPECT_EQ(PercentTexts(cases[0].p)[0], QString::fromUtf8("36,9\u00A0%")) << l;
    }
    LanguageIndex = language;
}

}  // namespace
