// Championship statistics against a plain model of random seasons (every code, "N " and unknown codes,
// neighbouring seasons), and a hand-made season that names each rule: a forfeit won away, a draw stored
// "N ", "AU" by its goals.
#include "app/reports/championship_stats.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/data/league_test_support.h"
#include "tests/support/league_fill.h"
#include "tests/support/random_season.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;
using xbtest::Num;
using xbtest::SeasonTable;
using xbtest::Str;
using xbtest::TableOf;

ChampionshipStats modelStats(const std::vector<SeasonTable>& s, int c, int y) {
    ChampionshipStats m;
    const SeasonTable& res = TableOf(s, "resultat.dbf");
    for (const auto& r : res.rows) {
        if (Num(res, r, "nuchamp") != c || Num(res, r, "annee") != y) continue;
        const int h = Num(res, r, "beq1"), a = Num(res, r, "beq2");
        const std::string code = Str(res, r, "coder");
        m.homeGoals += h;
        m.awayGoals += a;
        const bool byGoals = code == "AU";
        if (code == "V1" || code == "F1" || (byGoals && h > a)) ++m.homeWins;
        if (code == "V2" || code == "F2" || (byGoals && h < a)) ++m.awayWins;
        if (code == "N" || code == "N " || (byGoals && h == a)) ++m.draws;
    }
    return m;
}

class ChampionshipStatsTest : public leaguetest::LeagueTest {};

TEST_F(ChampionshipStatsTest, RandomSeasonsMatchTheModel) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const xbtest::RandomSeason s = xbtest::MakeRandomSeason(seed);
        const std::string dir = tmp.path() + "/s" + std::to_string(seed);
        std::filesystem::create_directories(dir);
        SetAppDir(QString::fromStdString(dir));
        xbtest::FillLeagueTables(dir, s.tables);
        for (auto [c, y] : {std::pair{s.championship, s.year},
                            {s.championship, s.year + 1},
                            {s.championship + 1, s.year},
                            {s.championship, s.year - 1}})
            EXPECT_EQ(ComputeChampionshipStats(c, y), modelStats(s.tables, c, y)) << c << " " << y;
    }
}

TEST_F(ChampionshipStatsTest, EachCodeCountsOnceAndAbandonedMatchesByTheirGoals) {
    std::vector<SeasonTable> season = xbtest::MakeSeason({4, 1, 2, 5});
    auto& res = *std::find_if(season.begin(), season.end(), [](auto& t) { return t.file == "resultat.dbf"; });
    res.rows = {{"1", "2026", "1", "1", "2", "2", "1", "V1", "3", "0"},
                {"1", "2026", "1", "3", "4", "0", "3", "F2", "0", "3"},
                {"1", "2026", "2", "2", "1", "1", "1", "N ", "1", "1"},
                {"1", "2026", "2", "4", "3", "0", "2", "AU", "5", "-1"},
                {"1", "2026", "3", "1", "3", "2", "2", "AU", "0", "0"},
                {"1", "2026", "3", "2", "4", "4", "0", "XX", "0", "0"},
                {"1", "2025", "1", "1", "2", "9", "9", "V1", "3", "0"}};
    xbtest::FillLeagueTables(tmp.path(), season);
    const ChampionshipStats got = ComputeChampionshipStats(1, 2026);
    EXPECT_EQ(got.homeGoals, 2 + 0 + 1 + 0 + 2 + 4);
    EXPECT_EQ(got.awayGoals, 1 + 3 + 1 + 2 + 2 + 0);
    EXPECT_EQ(got.homeWins, 1);
    EXPECT_EQ(got.awayWins, 2);  // the forfeit and "AU" 0-2
    EXPECT_EQ(got.draws, 2);     // "N " and "AU" 2-2
    EXPECT_EQ(ComputeChampionshipStats(0, 2026), ChampionshipStats{});
    EXPECT_EQ(ComputeChampionshipStats(1, 0), ChampionshipStats{});
    EXPECT_EQ(ComputeChampionshipStats(1, 1990), ChampionshipStats{});
}

}  // namespace
