// What an import of a version-1.27 data file writes, worked out from the file alone and kept within the
// bounds of the league tables: the teams, and for every named division of every season its championship
// name, season rules, team list and matches. Values the tables cannot hold are left out and counted, so
// the import itself never meets them. No Qt.
#pragma once

#include <string>
#include <vector>

#include "app/exchange/old_data_file.h"
#include "app/data/match_points.h"

namespace app {

inline constexpr int kOldMaxTeamsPerDivision = 26;
inline constexpr int kOldMaxTeamNumber = 199;
inline constexpr int kImportMaxMatchday = 99;
inline constexpr int kImportMaxGoals = 999;
// The scheme a division whose stored scheme is not 1..4 takes.
inline constexpr int kDefaultPointsScheme = 3;

struct PlannedTeam {
    int number = 0;
    std::string name;  // UTF-8
};

struct PlannedMatch {
    int matchday = 0;
    int home = 0, away = 0;
    int homeGoals = 0, awayGoals = 0;
    std::string code;  // "N", "V1", "V2", "F2", "F1"
};

struct PlannedDivision {
    int season = 0;                     // 1..20
    int division = 0;                   // 1..5
    int year = 0;                       // kOldYearBase + season
    std::string name;                   // UTF-8, never empty
    int scheme = 0;                     // 1..4 after the default
    SeasonRules rules;                  // the scheme's points and the team count; matchdays 0
    std::vector<int> teams;             // the list's valid entries in list order
    std::vector<PlannedMatch> matches;  // in file order
};

// What the plan left out or mended.
struct PlanCounts {
    int teamCountsClamped = 0;   // team counts outside 0..26
    int listEntriesSkipped = 0;  // entries outside 1..199 or naming no team
    int schemesDefaulted = 0;    // schemes outside 1..4
    int resultsDefaulted = 0;    // results outside 0..4, coded by the score
    int matchesSkipped = 0;      // matchday, score or team out of bounds
    int matchesUnplaced = 0;     // no named division of that code and year
    int matchesLeftOut = 0;      // of a team or division left out (LeaveOut)
    int entriesLeftOut = 0;      // list entries of a team left out
};

struct ImportPlan {
    std::vector<PlannedTeam> teams;          // ascending numbers
    std::vector<PlannedDivision> divisions;  // season by season, division 1 to 5 within a season
    PlanCounts counts;
};

// The points of scheme 1..4 (win, draw, defeat, forfeit win, forfeit defeat); teams and matchdays 0.
SeasonRules PointsOfScheme(int scheme);
// The code of an old result 0..4; empty for any other.
std::string CodeOfOldResult(int result);

ImportPlan PlanImport(const OldDataFile& file);

// A name of the plan that the database's code page cannot hold, with the first character it lacks: a
// team's (team > 0) or a division's, whose championship would bear it (team 0).
struct UnstorableName {
    int team = 0;
    int year = 0, division = 0;  // the division's
    std::string name;            // UTF-8
    char32_t character = 0;
};
// The names of the plan that codePage cannot hold: the teams in number order, then the divisions.
std::vector<UnstorableName> FindUnstorableNames(const ImportPlan& plan, int codePage);
// Takes the names out of the plan with every row that refers to them, so that nothing written refers
// to a row that is not: a team with its list entries and its matches, a division with its rules, list
// and matches. The counts say what went (matchesLeftOut, entriesLeftOut).
void LeaveOut(ImportPlan& plan, const std::vector<UnstorableName>& names);

}  // namespace app
