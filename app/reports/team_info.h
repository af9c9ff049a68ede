// One team's season in one championship, for the team-information window: its rank after every
// matchday, its results and goals (all matches, home, away) and its scorers, and the page the window
// exports.
//
// What callers may rely on:
// - The rank after matchday d is the team's place (1 = leader) in the standings of matchdays 1 to d,
//   from the standings engine (standings_by_day.h); before the season's first result it is the team's
//   place in the table of zeros. The axis runs from 1 to the number of teams the season lists.
// - A point is "played" up to the last matchday on which the team has a result.
// - Results are read through PointsOfResult like every other report.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "app/reports/scorers.h"
#include "app/reports/standings_report.h"

namespace app {

struct TeamInfoPoint {
    int x = 0;  // the matchday; the line starts with a point at 0 holding matchday 1's rank
    int rank = 0;
    bool played = true;
};

struct TeamSideTotals {
    int wins = 0, draws = 0, defeats = 0, goalsFor = 0, goalsAgainst = 0;
    bool operator==(const TeamSideTotals&) const = default;
};

struct TeamInfoResult {
    bool computed = false;  // false: championship, year or team missing (the window leaves its charts)
    int teams = 1;          // the rank axis runs 1..teams
    int days = 1;           // the matchday axis runs 1..days
    std::vector<TeamInfoPoint> points;
    std::array<TeamSideTotals, 3> sides{};  // all matches, home, away
};

TeamInfoResult ComputeTeamInfo(int championship, int year, int team);
TeamInfoResult ComputeTeamInfo(LeagueReading& reading, int championship, int year, int team);

// The team's scorers of the season: the goals credited to it at home (NUEQBEN 1) and away (2), own goals
// out, one row per player, most goals first.
std::vector<ScorerRow> ComputeTeamScorers(int championship, int year, int team);
std::vector<ScorerRow> ComputeTeamScorers(LeagueReading& reading, int championship, int year, int team);

// Grid rows of the scorers: player number, name, goals.
GridRows TeamScorersGridRows(const std::vector<ScorerRow>& scorers);

struct TeamInfoPageInfo {
    QString teamText, championshipName, seasonText;
};
// The page: the seven chart images (rank line, goals and results of all, home and away matches) and the
// scorers of the grid rows.
QByteArray ExportTeamInfoHtml(const GridRows& scorers, const TeamInfoPageInfo& info,
                              const QStringList& imageNames);

}  // namespace app
