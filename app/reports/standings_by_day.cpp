#include "app/reports/standings_by_day.h"

#include "app/reports/standings.h"

namespace app {

namespace {

StandingsDayRecord recordOf(int place, const StandingsCounters bySide[3]) {
    StandingsDayRecord r;
    r.v[kDayPlace] = place;
    for (int s = 0; s < 3; ++s) {
        const StandingsCounters& c = bySide[s];
        const int base = kDayWins + 5 * s;
        r.v[static_cast<size_t>(base)] = c.wins;
        r.v[static_cast<size_t>(base + 1)] = c.draws;
        r.v[static_cast<size_t>(base + 2)] = c.defeats;
        r.v[static_cast<size_t>(base + 3)] = c.goalsFor;
        r.v[static_cast<size_t>(base + 4)] = c.goalsAgainst;
    }
    return r;
}

}  // namespace

std::vector<StandingsDayRecord> ComputeStandingsByDay(int championship, int year, int firstDay, int lastDay,
                                                      int team) {
    LeagueReading reading;
    return ComputeStandingsByDay(reading, championship, year, firstDay, lastDay, team);
}

std::vector<StandingsDayRecord> ComputeStandingsByDay(LeagueReading& reading, int championship, int year,
                                                      int firstDay, int lastDay, int team) {
    std::vector<StandingsDayRecord> records(static_cast<size_t>(lastDay > 0 ? lastDay : 0) + 1);
    if (lastDay < 1) return records;
    const SeasonRules rules = reading.SeasonParams(championship, year);
    StandingsWorkTable tabclass(kOrderPoints, true);
    tabclass.InitStandingsWorkTable(reading, championship, year);

    auto close = [&](int day) {
        if (team == 0 || day < 1 || day > lastDay) return;
        StandingsCounters bySide[3];
        const int place = tabclass.StandingsReadRow(team, bySide);
        if (place > 0) records[static_cast<size_t>(day)] = recordOf(place, bySide);
    };
    int open = 0;  // the matchday whose rows are being read
    ScanSeasonResults(reading, championship, year, lastDay, [&](const SeasonMatch& m) {
        if (open != 0 && m.matchday > open) close(open);
        open = m.matchday;
        if (m.matchday < firstDay) return;
        const auto [home, away] = MatchCounters(m, rules);
        tabclass.AddMatchToStandingsRow(m.home, home, kSideHome);
        tabclass.AddMatchToStandingsRow(m.away, away, kSideAway);
    });
    if (open != 0) close(open);

    for (int d = 2; d <= lastDay; ++d)
        if (records[static_cast<size_t>(d)][kDayPlace] == 0)
            records[static_cast<size_t>(d)] = records[static_cast<size_t>(d) - 1];
    return records;
}

}  // namespace app
