// One team followed through a season: after every matchday, its rank in the standings (counted from the
// top, 1 = leader) and its counters, all matches, home and away. It runs the standings engine of
// standings.h matchday by matchday (every match for both teams, the points order), so the team
// information view and the standings window never disagree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/data/league_reading.h"

namespace app {

// The entries of a StandingsDayRecord.
enum StandingsDayField : int {
    kDayPlace = 0,  // rank from the top, 1 = leader; 0 = no record
    kDayWins,
    kDayDraws,
    kDayDefeats,
    kDayGoalsFor,
    kDayGoalsAgainst,
    kDayHomeWins,
    kDayHomeDraws,
    kDayHomeDefeats,
    kDayHomeGoalsFor,
    kDayHomeGoalsAgainst,
    kDayAwayWins,
    kDayAwayDraws,
    kDayAwayDefeats,
    kDayAwayGoalsFor,
    kDayAwayGoalsAgainst,
    kDayFieldCount
};

struct StandingsDayRecord {
    std::array<int32_t, kDayFieldCount> v{};
    int32_t operator[](int field) const { return v[static_cast<size_t>(field)]; }
    bool operator==(const StandingsDayRecord&) const = default;
};

// The records of matchdays 1 to lastDay (index = matchday; index 0 and every index when lastDay < 1 stay
// empty; the vector has max(lastDay, 0) + 1 entries). A matchday closes after its last result row; rows
// of matchdays before firstDay count nothing but close their matchday too. A matchday without any row
// copies the record of the matchday before (matchday 1 stays empty). With team 0, or a team the season
// does not list, every record stays empty.
std::vector<StandingsDayRecord> ComputeStandingsByDay(int championship, int year, int firstDay, int lastDay,
                                                      int team);
std::vector<StandingsDayRecord> ComputeStandingsByDay(LeagueReading& reading, int championship, int year,
                                                      int firstDay, int lastDay, int team);

}  // namespace app
