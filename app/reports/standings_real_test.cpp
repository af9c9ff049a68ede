// Real seasons entered through the data-access library give their published final tables row for row.
// Both leagues rank by points, then goal difference, then goals scored, as the points order does; no
// point deduction or head-to-head rule decided a place in these two seasons.
#include <gtest/gtest.h>

#include "app/reports/standings.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_test_support.h"
#include "app/data/league_writes.h"
#include "tests/support/season_csv.h"

namespace {

using namespace app;

struct Published {
    const char* team;
    int points, diff, goalsFor;
};

class RealSeasonTest : public leaguetest::LeagueTest {
protected:
    // Enters the season as a user would: championship, rules, teams, then every result.
    void enter(const xbtest::CsvSeason& season, int year) {
        Tfsysteme fsysteme;
        CloseSystemTables(fsysteme);
        std::unique_ptr<xb::TXbDbf> t;
        ASSERT_TRUE(OpenTable(t, "champion.dbf"));
        ASSERT_TRUE(SaveChampionship(*t, 1, "Top division"));
        CloseTable(t);
        ASSERT_TRUE(OpenTable(t, "champan.dbf"));
        ASSERT_TRUE(SaveSeasonParams(*t, 1, year, SeasonRules{3, 1, 0, 3, 0, 20, 38}));
        CloseTable(t);
        ASSERT_TRUE(OpenTable(t, "equipe.dbf"));
        for (size_t i = 0; i < season.teams.size(); ++i) {
            // The name field holds 20 characters, as the team window does.
            ASSERT_EQ(CreateTeam(*t, QString::fromStdString(season.teams[i]).left(20)),
                      static_cast<int>(i) + 1);
            ASSERT_TRUE(AddTeamToChampionship(year, 1, static_cast<int>(i) + 1));
        }
        CloseTable(t);
        ASSERT_TRUE(OpenTable(t, "resultat.dbf"));
        for (const auto& m : season.matches) {
            const std::string code = m.homeGoals > m.awayGoals   ? "V1"
                                     : m.homeGoals < m.awayGoals ? "V2"
                                                                 : "N";
            ASSERT_TRUE(SaveMatchResult(
                *t, {1, year, m.matchday, m.home, m.away, m.homeGoals, m.awayGoals, code, 0, 0}));
        }
        CloseTable(t);
    }
    void expectTable(const std::string& file, int year, const std::vector<Published>& published) {
        const xbtest::CsvSeason season = xbtest::ReadSeasonCsv(std::string(LM_TEST_DATA) + "/" + file);
        enter(season, year);
        const StandingsResult got = ComputeStandingsGrid({1, year, 1, 38, kOrderPoints, kSideAll});
        ASSERT_EQ(got.rows.size(), published.size());
        for (size_t i = 0; i < published.size(); ++i) {
            SCOPED_TRACE(std::to_string(i + 1) + " " + published[i].team);
            EXPECT_EQ(got.rows[i].name.toStdString(), QString(published[i].team).left(20).toStdString());
            EXPECT_EQ(got.rows[i].c.played, 38);
            EXPECT_EQ(got.rows[i].c.points, published[i].points);
            EXPECT_EQ(got.rows[i].c.diff(), published[i].diff);
            EXPECT_EQ(got.rows[i].c.goalsFor, published[i].goalsFor);
        }
    }
};

TEST_F(RealSeasonTest, England2012To13) {
    expectTable("en-2012-13.csv", 2012,
                {{"Manchester United", 89, 43, 86}, {"Manchester City", 78, 32, 66},
                 {"Chelsea FC", 75, 36, 75},        {"Arsenal FC", 73, 35, 72},
                 {"Tottenham Hotspur", 72, 20, 66}, {"Everton FC", 63, 15, 55},
                 {"Liverpool FC", 61, 28, 71},      {"West Bromwich Albion", 49, -4, 53},
                 {"Swansea City", 46, -4, 47},      {"West Ham United", 46, -8, 45},
                 {"Norwich City", 44, -17, 41},     {"Fulham FC", 43, -10, 50},
                 {"Stoke City", 42, -11, 34},       {"Southampton FC", 41, -11, 49},
                 {"Aston Villa", 41, -22, 47},      {"Newcastle United", 41, -23, 45},
                 {"Sunderland AFC", 39, -13, 41},   {"Wigan Athletic", 36, -26, 47},
                 {"Reading FC", 28, -30, 43},       {"Queens Park Rangers", 25, -30, 30}});
}

TEST_F(RealSeasonTest, France2014To15) {
    expectTable("fr-2014-15.csv", 2014,
                {{"Paris Saint-Germain", 83, 47, 83},
                 {"Olympique Lyonnais", 75, 39, 72},
                 {"AS Monaco", 71, 25, 51},
                 {"Olympique Marseille", 69, 34, 76},
                 {"AS Saint-Étienne", 69, 21, 51},
                 {"Girondins Bordeaux", 63, 3, 47},
                 {"Montpellier HSC", 56, 7, 46},
                 {"Lille OSC", 56, 1, 43},
                 {"Stade Rennais", 50, -7, 35},
                 {"EA Guingamp", 49, -14, 41},
                 {"OGC Nice", 48, -9, 44},
                 {"SC Bastia", 47, -9, 37},
                 {"SM Caen", 46, -1, 54},
                 {"FC Nantes", 45, -11, 29},
                 {"Stade de Reims", 44, -19, 47},
                 {"FC Lorient", 43, -6, 44},
                 {"Toulouse FC", 42, -21, 43},
                 {"Évian Thonon Gaillard", 37, -21, 41},
                 {"FC Metz", 30, -30, 31},
                 {"RC Lens", 29, -29, 32}});
}

}  // namespace
