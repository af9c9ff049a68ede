// The forecast of one match, team 1 at home against team 2, as three percentages (team 1 wins, draw,
// team 2 wins) from stored results: by the two teams' form in a championship season before a matchday
// (method 1), by their past meetings with the same sides in every championship and season (method 2), or
// both (method 3, the season counting twice).
//
// What callers may rely on:
// - Results are judged by their goals, whatever their code; the scores are points of the forecast, not
//   counts of wins, draws and defeats.
// - Sums are 32-bit, percentages single precision: each score x 100 divided by the three scores' total.
// - A method that finds nothing to judge by has no data and all three percentages 0. Method 3 then is the
//   other method alone; with neither, it has no data either.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "app/data/league_reading.h"

namespace app {

struct PrevisionScores {
    int32_t team1 = 0, draw = 0, team2 = 0;
    bool operator==(const PrevisionScores&) const = default;
};

struct PrevisionPercent {
    float team1 = 0, draw = 0, team2 = 0;
    bool hasData = false;
    bool operator==(const PrevisionPercent&) const = default;
};

enum PrevisionMethod : int { kPrevisionBySeason = 1, kPrevisionByMeetings = 2, kPrevisionCombined = 3 };

// Method 1's scores: every result of the season of a matchday before the given one; team 1 scores its
// home matches (a win 4 and each goal 1, a draw 2 for the draw), team 2 its away matches (a win 4 and 2
// for the draw, a draw 4 for the draw, each goal 1).
PrevisionScores PrevisionSeasonScores(int championship, int year, int matchday, int team1, int team2);
PrevisionScores PrevisionSeasonScores(LeagueReading& reading, int championship, int year, int matchday,
                                      int team1, int team2);
// Method 2's scores: every result with team 1 at home against team 2; a home win 2 (3 by more than two
// goals), an away win 3 and 1 for the draw (4 by more than one goal), a draw 3.
PrevisionScores PrevisionMeetingScores(int team1, int team2);
PrevisionScores PrevisionMeetingScores(LeagueReading& reading, int team1, int team2);
// The three percentages of scores; no data when their total is below 1.
PrevisionPercent PrevisionPercentages(const PrevisionScores& scores);

PrevisionPercent PrevisionBySeason(int championship, int year, int matchday, int team1, int team2);
// The championship, year and matchday play no part.
PrevisionPercent PrevisionByMeetings(int championship, int year, int matchday, int team1, int team2);
// (season x 2 + meetings) / 3 for each percentage when both have data; else the one that has.
PrevisionPercent CombinePrevisions(const PrevisionPercent& season, const PrevisionPercent& meetings);

struct PrevisionRequest {
    int method = 0;  // 1 to 3
    int championship = 0, year = 0, matchday = 0;
    int team1 = 0, team2 = 0;
};

// The forecast of the request; nothing unless the method is 1 to 3, championship, year and both teams
// are at least 1, and the teams differ.
std::optional<PrevisionPercent> ComputePrevision(const PrevisionRequest& request);

// The three percentages as a user reads them: one decimal and "%", rounded so that the three shown add up
// to 100.0 exactly (the tenths the rounding lost go to the largest remainders); "0.0%" each without data.
std::array<QString, 3> PercentTexts(const PrevisionPercent& percent);

}  // namespace app
