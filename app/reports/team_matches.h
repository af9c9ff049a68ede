// One team's matches in one championship season: the list filtered by a match type, the counts of its
// wins, draws and defeats, its goals, its biggest win and biggest defeat, and the page the team-matches
// window exports. Every result is read through PointsOfResult (match_points.h), so a forfeit is a win
// of the side it is awarded to and "AU" goes by the goals: the counters of all matches equal the team's
// row in the standings, those of home and away matches its home and away rows.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/reports/standings_report.h"
#include "app/pages/report_columns.h"

namespace app {

// The match types of the window's type list (its item index).
enum TeamMatchType : int {
    kAllMatches = 0,
    kHomeMatches = 1,
    kAwayMatches = 2,
    kWonMatches = 3,
    kDrawnMatches = 4,
    kLostMatches = 5,
};

struct TeamMatchRow {
    int matchday = 0, home = 0, away = 0, homeGoals = 0, awayGoals = 0;
    QString marker;  // "F1", "F2", "*" for "AU", else empty
    QString homeName, awayName;
};

// A match as the biggest win or defeat keeps it; matchday 0 = none.
struct BiggestMatch {
    int matchday = 0, home = 0, homeGoals = 0, awayGoals = 0, away = 0, diff = 0;
};

struct TeamMatchesResult {
    std::vector<TeamMatchRow> rows;  // in key order: matchday, then home team
    int listed = 0, wins = 0, draws = 0, defeats = 0, goalsFor = 0, goalsAgainst = 0;
    // From the goals alone, whatever the code: the first match (in list order) with the largest margin
    // for or against the team; a match with equal goals never qualifies.
    BiggestMatch biggestWin, biggestDefeat;
};

// The team's matches of the season kept by the type. Nothing for a championship, year or team below 1.
TeamMatchesResult ComputeTeamMatches(int championship, int year, int team, int type);

// The grid's 8 columns of each listed match: matchday, home name, home goals, away goals, away name,
// marker, home number, away number.
inline constexpr int kTeamMatchesColumns = 8;
GridRows TeamMatchesGridRows(const TeamMatchesResult& result);

// The text of the biggest win (win true) or defeat of the team: no win / no defeat, or where, which
// matchday, the score (home goals first) and the opponent's name.
QString BiggestMatchText(const BiggestMatch& match, int team, bool win);
// The count line under the list.
QString TeamMatchesSummary(int listed);

// The columns the printout and the page show of the grid's rows: matchday, home name, both goals, away
// name.
ReportColumns TeamMatchesColumns();

// What the page names besides the grid.
struct TeamMatchesPageInfo {
    QString teamText, championshipName, seasonText, typeText;
    QString winCaption, winText, defeatCaption, defeatText;
};
// The page of the grid's data rows (columns 0 to 4 shown) with the two boxes and the two chart images.
QByteArray ExportTeamMatchesHtml(const GridRows& rows, const TeamMatchesPageInfo& info,
                                 const QStringList& imageNames);

}  // namespace app
