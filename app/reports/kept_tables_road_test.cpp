// A window's computations done again on the tables the last one kept open, while another station
// changes and appends rows between them: each answer equals a fresh computation's.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "app/data/league_lookups.h"
#include "app/data/league_reading.h"
#include "app/data/league_writes.h"
#include "app/data/league_test_support.h"
#include "app/reports/standings.h"
#include "app/reports/team_info.h"
#include "platform/file.h"
#include "tests/support/child_process.h"
#include "tests/support/league_fill.h"
#include "tests/support/standings_model.h"

namespace {

using namespace app;

// The standings with the team names, team 1's information and its scorers, as one computation of the
// team window and one of the standings window read them.
std::string computed() {
    std::ostringstream out;
    {
        LeagueReading reading;
        for (const StandingsRow& r : ComputeStandingsGrid(reading, {1, 2026, 1, 38, 0, 0}).rows)
            out << r.team << " " << r.name.toStdString() << " " << r.c.points << " " << r.c.played << " "
                << r.c.goalsFor << ":" << r.c.goalsAgainst << "\n";
    }
    LeagueReading reading;
    const TeamInfoResult info = ComputeTeamInfo(reading, 1, 2026, 1);
    out << info.computed << " " << info.teams << " " << info.days << "\n";
    for (const TeamInfoPoint& p : info.points) out << p.x << ":" << p.rank << (p.played ? "" : "-") << " ";
    for (const TeamSideTotals& s : info.sides)
        out << "\n" << s.wins << " " << s.draws << " " << s.defeats << " " << s.goalsFor << ":" << s.goalsAgainst;
    for (const ScorerRow& s : ComputeTeamScorers(reading, 1, 2026, 1))
        out << "\n" << s.player << " " << s.name.toStdString() << " " << s.goals;
    return out.str();
}

class KeptTablesRoadTest : public leaguetest::LeagueTest {};

TEST_F(KeptTablesRoadTest, ComputationsOnKeptTablesEqualFreshOnesWhileAnotherStationWrites) {
    xbtest::SeasonSize size;
    size.matchdays = 30;
    const std::vector<xbtest::SeasonTable> season = xbtest::MakeSeason(size);
    xbtest::FillLeagueTables(tmp.path(), season);
    // The season's first match, which the other station stores again with another score.
    const xbtest::SeasonTable& results = xbtest::TableOf(season, "resultat.dbf");
    ASSERT_FALSE(results.rows.empty());
    const auto& first = results.rows.front();
    const std::string match = std::to_string(xbtest::Num(results, first, "nujournee")) + " " +
                              std::to_string(xbtest::Num(results, first, "nueq1")) + " " +
                              std::to_string(xbtest::Num(results, first, "nueq2"));

    SetKeptTableIdle(std::chrono::hours(1));  // every computation below finds the last one's tables
    xbtest::ChildProcess other(LM_LEAGUE_CHILD_PATH, {});
    ASSERT_EQ(other.ask("dir " + tmp.path()), "0");
    std::string last = computed();
    // resultat and but; the small tables are read whole by each computation: champan, eqchamp and
    // equipe by the standings, the three and joueur by the team's.
    ASSERT_EQ(KeptTableCount(), 2);
    // The other station stores a match again (its row rewritten, its goals replaced), appends a new
    // match with its goals and card beyond every kept row, renames a team; this station's match window,
    // with a table of its own, stores a match at once before the computation.
    std::unique_ptr<xb::TXbDbf> window;
    ASSERT_TRUE(OpenTable(window, "resultat.dbf"));
    const std::vector<std::pair<std::string, std::function<void()>>> steps = {
        {"save", [&] { EXPECT_EQ(other.ask("save " + match + " 7 0"), "0"); }},
        {"append", [&] { EXPECT_EQ(other.ask("storekill 1000000 31 1 2 4"), "done"); }},
        {"rename", [&] { EXPECT_EQ(other.ask("rename 1 Renamed"), "1"); }},
        {"this station", [&] { EXPECT_TRUE(SaveMatchResult(*window, {1, 2026, 32, 1, 3, 9, 0, "V1", 3, 0})); }},
    };
    for (const auto& [what, step] : steps) {
        SCOPED_TRACE(what);
        step();
        const uint64_t opens = xb::platform::FileCalls().open;
        const std::string again = computed();
        EXPECT_EQ(xb::platform::FileCalls().open - opens, 7u) << "a kept table was opened again";
        ReleaseKeptTables();
        EXPECT_EQ(again, computed());
        EXPECT_NE(again, last) << "the change does not show";
        last = again;
    }
    CloseTable(window);
}

}  // namespace
