// The standings engine against the plain model over random seasons in real tables (every side, every
// order, random matchday ranges), the matchday records and the scorers likewise, and the keys' bytes.
#include "app/reports/standings.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <random>
#include <set>

#include "app/reports/scorers.h"
#include "app/reports/standings_by_day.h"
#include "app/data/league_test_support.h"
#include "tests/support/league_fill.h"
#include "tests/support/random_season.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;

TEST(StandingsKeys, KeysOrderByValue) {
    // The worked example: 45 points, a difference of -3, 30 goals for.
    StandingsCounters c;
    c.points = 45, c.goalsFor = 30, c.goalsAgainst = 33;
    EXPECT_EQ(StandingsOrderKey(kOrderPoints, c).substr(0, 16), "+   45*999600030");
    EXPECT_EQ(DescendingKey("+ 12*0345-9"), "+ 87*9654-0");

    // Each list is best first in the order's reading direction (points, difference, goals for).
    struct Case {
        int order;
        std::vector<std::array<int, 3>> counters;  // points, goals for, goals against
    } cases[] = {
        {kOrderPoints,
         {{10, 5, 0},
          {10, 5, 4},
          {10, 9, 9},
          {10, 3, 3},
          {10, 3, 4},
          {10, 30, 40},
          {0, 0, 0},
          {-1, 0, 0},
          {-3, 9, 0},
          {-10, 0, 0},
          {-100, 0, 0}}},
        {kOrderAttack, {{0, 120, 0}, {0, 12, 0}, {0, 9, 0}, {0, 0, 0}}},
        {kOrderDefence, {{0, 0, 0}, {0, 0, 5}, {0, 0, 9}, {0, 0, 12}, {0, 0, 100}}},
    };
    for (const Case& k : cases) {
        for (size_t i = 0; i + 1 < k.counters.size(); ++i) {
            StandingsCounters a, b;
            a.points = k.counters[i][0], a.goalsFor = k.counters[i][1], a.goalsAgainst = k.counters[i][2];
            b.points = k.counters[i + 1][0], b.goalsFor = k.counters[i + 1][1],
            b.goalsAgainst = k.counters[i + 1][2];
            const std::string ka = StandingsOrderKey(k.order, a), kb = StandingsOrderKey(k.order, b);
            EXPECT_TRUE(StandingsDescending(k.order) ? ka > kb : ka < kb)
                << k.order << ": " << ka << " / " << kb;
        }
    }
}

class StandingsTest : public leaguetest::LeagueTest {
protected:
    // Fills the tables of a season in a directory of its own, which becomes the data directory.
    void use(const std::vector<xbtest::SeasonTable>& tables, const std::string& name) {
        const std::string dir = tmp.path() + "/" + name;
        std::filesystem::create_directories(dir);
        xbtest::FillLeagueTables(dir, tables);
        SetAppDir(QString::fromStdString(dir + "/"));
    }
    void checkSeasons(int firstSeed, int lastSeed);
};

std::string describe(const StandingsRow& r) {
    return std::to_string(r.team) + " " + r.name.toStdString() + " pt" + std::to_string(r.c.points) + " j" +
           std::to_string(r.c.played) + " " + std::to_string(r.c.wins) + "/" + std::to_string(r.c.draws) +
           "/" + std::to_string(r.c.defeats) + " " + std::to_string(r.c.goalsFor) + ":" +
           std::to_string(r.c.goalsAgainst);
}
std::string describe(const xbtest::ModelRow& m) {
    return std::to_string(m.team) + " " + m.name.toStdString() + " pt" + std::to_string(m.pt) + " j" +
           std::to_string(m.j) + " " + std::to_string(m.g) + "/" + std::to_string(m.n) + "/" +
           std::to_string(m.p) + " " + std::to_string(m.bp) + ":" + std::to_string(m.bc);
}

// Seasons first..last (200 in all, in four tests that ctest runs side by side).
void StandingsTest::checkSeasons(int firstSeed, int lastSeed) {
    std::mt19937 pick(static_cast<unsigned>(firstSeed));
    for (int seed = firstSeed; seed <= lastSeed; ++seed) {
        const xbtest::RandomSeason s = xbtest::MakeRandomSeason(static_cast<uint32_t>(seed));
        use(s.tables, "s" + std::to_string(seed));
        // A random range, now and then with the first matchday after the last.
        int first = 1 + static_cast<int>(pick() % static_cast<unsigned>(s.days + 1));
        int last = static_cast<int>(pick() % static_cast<unsigned>(s.days + 2));
        if (pick() % 3 == 0) first = 1, last = s.days;
        for (int side = 0; side <= 2; ++side) {
            for (int order = 0; order <= 5; ++order) {
                SCOPED_TRACE("seed " + std::to_string(seed) + " days " + std::to_string(first) + ".." +
                             std::to_string(last) + " side " + std::to_string(side) + " order " +
                             std::to_string(order));
                const StandingsResult got =
                    ComputeStandingsGrid({s.championship, s.year, first, last, order, side});
                const auto want =
                    xbtest::ModelStandings(s.tables, s.championship, s.year, first, last, side, order);
                std::vector<std::string> a, b;
                for (const auto& r : got.rows) a.push_back(describe(r));
                for (const auto& m : want) b.push_back(describe(m));
                ASSERT_EQ(a, b);
            }
            const auto scorers = BuildScorersTable({s.championship, s.year, first, last, 0, side});
            const auto wantScorers =
                xbtest::ModelScorers(s.tables, s.championship, s.year, first, last, side);
            ASSERT_EQ(scorers.size(), wantScorers.size()) << "seed " << seed;
            for (size_t i = 0; i < scorers.size(); ++i) {
                EXPECT_EQ(scorers[i].player, wantScorers[i].player) << "seed " << seed << " row " << i;
                EXPECT_EQ(scorers[i].team, wantScorers[i].team) << "seed " << seed << " row " << i;
                EXPECT_EQ(scorers[i].goals, wantScorers[i].goals) << "seed " << seed << " row " << i;
            }
        }

        // Matchday records of one listed team (now and then an unknown one) against the model's
        // standings at the end of each matchday.
        const auto& eq = xbtest::TableOf(s.tables, "eqchamp.dbf");
        const int team = pick() % 8 == 0 ? 99 : xbtest::Num(eq, eq.rows[pick() % 2], "nuequipe");
        const auto records = ComputeStandingsByDay(s.championship, s.year, 1, s.days, team);
        ASSERT_EQ(records.size(), static_cast<size_t>(s.days) + 1);
        std::set<int> played;
        for (const auto& r : xbtest::TableOf(s.tables, "resultat.dbf").rows)
            if (xbtest::Num(xbtest::TableOf(s.tables, "resultat.dbf"), r, "annee") == s.year &&
                xbtest::Num(xbtest::TableOf(s.tables, "resultat.dbf"), r, "nuchamp") == s.championship)
                played.insert(xbtest::Num(xbtest::TableOf(s.tables, "resultat.dbf"), r, "nujournee"));
        StandingsDayRecord want;
        for (int d = 1; d <= s.days; ++d) {
            if (played.count(d) && team != 99) {
                auto at = [&](int side) {
                    const auto rows = xbtest::ModelStandings(s.tables, s.championship, s.year, 1, d, side, 0);
                    for (size_t i = 0; i < rows.size(); ++i)
                        if (rows[i].team == team) return std::make_pair(static_cast<int>(i) + 1, rows[i]);
                    return std::make_pair(0, xbtest::ModelRow{});
                };
                want = {};
                want.v[kDayPlace] = at(0).first;
                for (int side = 0; side <= 2; ++side) {
                    const xbtest::ModelRow m = at(side).second;
                    const int base = kDayWins + 5 * side;
                    want.v[static_cast<size_t>(base)] = m.g;
                    want.v[static_cast<size_t>(base + 1)] = m.n;
                    want.v[static_cast<size_t>(base + 2)] = m.p;
                    want.v[static_cast<size_t>(base + 3)] = m.bp;
                    want.v[static_cast<size_t>(base + 4)] = m.bc;
                }
            }
            ASSERT_EQ(records[static_cast<size_t>(d)].v, want.v)
                << "seed " << seed << " team " << team << " day " << d;
        }
    }
}

TEST_F(StandingsTest, RandomSeasons1To50GiveTheModelsStandingsRecordsAndScorers) {
    checkSeasons(1, 50);
}
TEST_F(StandingsTest, RandomSeasons51To100GiveTheModelsStandingsRecordsAndScorers) {
    checkSeasons(51, 100);
}
TEST_F(StandingsTest, RandomSeasons101To150GiveTheModelsStandingsRecordsAndScorers) {
    checkSeasons(101, 150);
}
TEST_F(StandingsTest, RandomSeasons151To200GiveTheModelsStandingsRecordsAndScorers) {
    checkSeasons(151, 200);
}

TEST_F(StandingsTest, EmptyAndMissingSeasons) {
    const xbtest::RandomSeason s = xbtest::MakeRandomSeason(3);
    use(s.tables, "one");
    // A season without teams, a championship number no key can hold, a negative year.
    for (const StandingsRequest& r :
         {StandingsRequest{s.championship, 1999, 1, 99, 0, 0}, StandingsRequest{123456, s.year, 1, 99, 0, 0},
          StandingsRequest{s.championship, -5, 1, 99, 0, 0}}) {
        EXPECT_TRUE(ComputeStandingsGrid(r).rows.empty());
        EXPECT_TRUE(BuildScorersTable(r).empty());
    }
    // Matchday records outside 1..last are never written; no last matchday gives no record at all.
    EXPECT_EQ(ComputeStandingsByDay(s.championship, s.year, 1, 0, 1).size(), 1u);
    EXPECT_EQ(ComputeStandingsByDay(s.championship, s.year, 1, -2, 1).size(), 1u);
    const auto r =
        ComputeStandingsByDay(s.championship, s.year, 1, 150,
                              xbtest::Num(xbtest::TableOf(s.tables, "eqchamp.dbf"),
                                          xbtest::TableOf(s.tables, "eqchamp.dbf").rows[0], "nuequipe"));
    ASSERT_EQ(r.size(), 151u);
    EXPECT_GT(r[150][kDayPlace], 0);  // copied forward to the end
}

}  // namespace
