// The totals of one championship season: goals scored at home and away, home wins, away wins and draws,
// the figures of the championship statistics window's two pies and of its printout.
//
// What callers may rely on: every result row of the season adds its goals whatever its code, and its
// outcome is read through PointsOfResult (match_points.h), so "AU" counts by its goals and home wins,
// away wins and draws add up to the matches of the six codes; a row with another code adds its goals only.
#pragma once

#include <cstdint>

namespace app {

struct ChampionshipStats {
    int32_t homeGoals = 0, awayGoals = 0;
    int32_t homeWins = 0, awayWins = 0, draws = 0;
    bool operator==(const ChampionshipStats&) const = default;
};

// The season's totals; all 0 unless championship and year are both at least 1.
ChampionshipStats ComputeChampionshipStats(int championship, int year);

}  // namespace app
