#include "app/reports/championship_stats.h"

#include "app/reports/standings.h"
#include "app/data/match_points.h"

namespace app {

namespace {

// The highest matchday the results table's key holds (three digits).
constexpr int kLastMatchday = 999;

}  // namespace

ChampionshipStats ComputeChampionshipStats(int championship, int year) {
    ChampionshipStats s;
    if (championship < 1 || year < 1) return s;
    LeagueReading reading;
    ScanSeasonResults(reading, championship, year, kLastMatchday, [&](const SeasonMatch& m) {
        s.homeGoals += m.homeGoals;
        s.awayGoals += m.awayGoals;
        // Only the outcome matters here, so the season's points play no part.
        const auto result = PointsOfResult(m.code, m.homeGoals, m.awayGoals, 0, 0, SeasonRules{});
        if (!result) return;
        switch (result->home.outcome) {
            case MatchOutcome::Win:
                ++s.homeWins;
                break;
            case MatchOutcome::Defeat:
                ++s.awayWins;
                break;
            case MatchOutcome::Draw:
                ++s.draws;
                break;
        }
    });
    return s;
}

}  // namespace app
