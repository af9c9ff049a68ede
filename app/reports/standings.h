// The standings of a championship season over a range of matchdays: all matches, home only or away
// only, in one of six orders. One engine serves the standings window, its printout and page, and the
// team information view, which follows one team matchday by matchday (standings_by_day.h).
//
// What callers may rely on:
// - Every result row is read through PointsOfResult (match_points.h): "AU" scores its typed points and
//   its outcome goes by the goals; a code outside the six counts the match and its goals, with no points
//   and no outcome.
// - The order is total: what the order's own key leaves equal goes by team name (case-insensitive,
//   locale-free), then by team number. A team without a counted match is keyed by its zero counters.
// - Negative point totals rank by value (-1 above -10), below every total of 0 or more.
// - A team listed twice for a season has one row; a match against a team not listed for the season
//   counts for the listed opponent only.
// - The work tables are in-memory virtual files of the current engine, created and freed by each call.
//   Tables are read from the data directory (GetAppDir) through one LeagueReading per computation (each
//   table opened once, closed when the computation ends); a table that cannot be opened raises the
//   dataset layer's exception.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/data/league_reading.h"
#include "app/data/match_points.h"

namespace xb {
class TXbVFile;
}

namespace app {

// Sort types: the index of the order list of the standings window (6 is its scorers list).
enum StandingsOrder : int {
    kOrderPoints = 0,
    kOrderAttack = 1,
    kOrderDefence = 2,
    kOrderWins = 3,
    kOrderDraws = 4,
    kOrderDefeats = 5,
    kOrderScorers = 6,
};

// Which side of each match counts: both teams, the home team only, the away team only.
enum StandingsSide : int { kSideAll = 0, kSideHome = 1, kSideAway = 2 };

struct StandingsRequest {
    int championship = 0;
    int year = 0;
    int firstDay = 1;
    int lastDay = 0;  // a first matchday after the last counts nothing
    int sortType = kOrderPoints;
    int side = kSideAll;
};

struct StandingsCounters {
    int points = 0, played = 0, wins = 0, draws = 0, defeats = 0, goalsFor = 0, goalsAgainst = 0;
    int diff() const { return goalsFor - goalsAgainst; }
    bool operator==(const StandingsCounters&) const = default;
};

struct StandingsRow {
    int team = 0;
    QString name;  // "" when the team is not in equipe
    StandingsCounters c;
};

// The rows in standings order, one per team of the season.
struct StandingsResult {
    SeasonRules rules;
    std::vector<StandingsRow> rows;
};

// The standings of the request (sort types 0 to 5; another type counts as 0).
StandingsResult ComputeStandingsGrid(const StandingsRequest& request);
StandingsResult ComputeStandingsGrid(LeagueReading& reading, const StandingsRequest& request);

// ---- keys ----

// Every digit d becomes 9 - d; other characters are kept.
std::string DescendingKey(std::string text);
// The key of a sort type for the counters: type 0 "+   45*999600030" (sign and points, sign and goal
// difference with a deficit complemented, goals for: 16 characters), types 1 to 5 five characters.
std::string StandingsOrderKey(int sortType, const StandingsCounters& c);
// True for the orders read from the highest key down (all but defence and defeats).
bool StandingsDescending(int sortType);

// ---- the work table ----

// The work table `tabclass` of one computation: one row per team (nueq, pt, j, g, n, p, bp, bc, diff,
// chclass; with sides also the home columns gd, nd, Pd, bpd, bcd and the away columns ge, ne, pe, bpe,
// bce). It is created and opened by the constructor and closed and freed by the destructor.
class StandingsWorkTable {
public:
    StandingsWorkTable(int sortType, bool withSides);
    ~StandingsWorkTable();
    StandingsWorkTable(const StandingsWorkTable&) = delete;
    StandingsWorkTable& operator=(const StandingsWorkTable&) = delete;

    // One zeroed row, keyed by its zero counters, per team the season lists in eqchamp (a team listed
    // twice gets one row), in eqchamp key order. The teams' names are read here for the tie rule.
    void InitStandingsWorkTable(LeagueReading& reading, int championship, int year);
    // Adds one match to the team's row and rebuilds its key; side 1 or 2 adds it to the home or away
    // columns too (tables with sides). A team without a row is not counted.
    void AddMatchToStandingsRow(int team, const StandingsCounters& match, int side = 0);
    // Sorts the table by the key of its sort type (StandingsSortKey) and answers the rows in that order.
    std::vector<StandingsRow> SortedRows();
    // The 1-based rank from the top of the team after sorting, and its counters by side (index 0 all,
    // 1 home, 2 away); 0 when the team has no row.
    int StandingsReadRow(int team, StandingsCounters bySide[3]);

    // The key the virtual file sorts by: the row's chclass, then the tie rule. "NO KEY" without a key
    // field name.
    std::string StandingsSortKey();

    int rowCount() const { return static_cast<int>(m_teams.size()); }
    xb::TXbVFile& tabclass() { return *m_table; }

private:
    bool gotoTeam(int team);
    void sort();

    int m_sortType;
    bool m_withSides;
    std::string m_keyField = "chclass";
    std::unique_ptr<xb::TXbVFile> m_table;
    std::vector<int> m_teams;      // in eqchamp order
    std::vector<QString> m_names;  // of m_teams
    std::map<int, int> m_tieRank;  // team -> place in (name, number) order
};

// ---- the scan of a season's results ----

// One result row as the scan hands it over.
struct SeasonMatch {
    int matchday = 0, home = 0, away = 0;
    int homeGoals = 0, awayGoals = 0;
    std::string code;
    int homePoints = 0, awayPoints = 0;  // pteq1, pteq2
};

// What one match adds to the home team (first) and the away team (second) by the season's rules.
std::pair<StandingsCounters, StandingsCounters> MatchCounters(const SeasonMatch& m, const SeasonRules& rules);

// Visits the season's result rows of matchdays up to lastDay in key order (matchday, then home team),
// through the results table's tag CHANJOEQ1 and a while-condition that ends the scan after lastDay.
void ScanSeasonResults(LeagueReading& reading, int championship, int year, int lastDay,
                       const std::function<void(const SeasonMatch&)>& visit);

// The names of the teams, each looked up once; "" for a team that is not stored.
std::vector<QString> FillStandingsTeamNames(LeagueReading& reading, const std::vector<int>& teams);

// Places 0..n-1 of the given names and numbers in the tie order: name case-insensitive, then number.
std::vector<int> TieRanks(const std::vector<QString>& names, const std::vector<int>& numbers);

}  // namespace app
