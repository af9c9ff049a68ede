// The points and the outcome a result row gives each team. Every standings, statistics and report
// computation reads a result through this one routine, so a result code is never read two ways.
#pragma once

#include <optional>
#include <string_view>

namespace app {

// A season's rules as GetSeasonParams gives them; all 0 for a season that is not stored.
struct SeasonRules {
    int win = 0, draw = 0, defeat = 0;      // ptv, ptn, ptd
    int forfeitWin = 0, forfeitDefeat = 0;  // ptfv, ptfd
    int teams = 0;
    int matchdays = 0;  // 0..99; a stored 0 is already 2 x teams - 2
    bool operator==(const SeasonRules&) const = default;
};

enum class MatchOutcome { Win, Draw, Defeat };

struct SideResult {
    int points = 0;
    MatchOutcome outcome = MatchOutcome::Draw;
    bool operator==(const SideResult&) const = default;
};

struct MatchPoints {
    SideResult home, away;
    bool operator==(const MatchPoints&) const = default;
};

// The row's points and outcomes by its code: "V1" and "F1" home win, "V2" and "F2" away win, "N" (also
// stored "N ") a draw, each with the season's points; "AU" gives the typed points and the outcome by the
// goals. Trailing blanks of the code are ignored. Nothing for any other code: the caller decides whether
// such a row counts.
std::optional<MatchPoints> PointsOfResult(std::string_view code, int homeGoals, int awayGoals, int homePoints,
                                          int awayPoints, const SeasonRules& rules);

}  // namespace app
