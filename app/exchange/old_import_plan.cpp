#include "app/exchange/old_import_plan.h"

#include <algorithm>
#include <map>
#include <utility>

namespace app {

SeasonRules PointsOfScheme(int scheme) {
    switch (scheme) {
        case 1:
            return {3, 2, 1, 3, 0, 0, 0};
        case 2:
            return {2, 1, 0, 0, 0, 0, 0};
        case 3:
            return {3, 1, 0, 0, 0, 0, 0};
        case 4:
            return {4, 2, 1, 4, 0, 0, 0};
        default:
            return {};
    }
}

std::string CodeOfOldResult(int result) {
    switch (result) {
        case 0:
            return "N";
        case 1:
            return "V1";
        case 2:
            return "V2";
        case 3:
            return "F2";
        case 4:
            return "F1";
        default:
            return {};
    }
}

ImportPlan PlanImport(const OldDataFile& file) {
    ImportPlan plan;
    std::vector<bool> known(kOldTeamFields, false);
    for (int i = 1; i <= kOldMaxTeamNumber; ++i) {
        std::string name = OldFieldName(file.teamNames[i].data(), kOldTeamFieldSize);
        if (name.empty()) continue;
        known[i] = true;
        plan.teams.push_back({i, std::move(name)});
    }
    auto validTeam = [&](int n) { return n >= 1 && n <= kOldMaxTeamNumber && known[n]; };

    // The named divisions, and where each (division code, year) sends its matches.
    std::map<std::pair<int, int>, std::size_t> byCodeAndYear;
    for (int s = 1; s <= kOldSeasonCount; ++s) {
        const OldSeason& season = file.seasons[s - 1];
        for (int d = 1; d <= kOldDivisionCount; ++d) {
            std::string name = OldFieldName(season.names[d - 1].data(), kOldDivisionNameSize);
            if (name.empty()) continue;
            PlannedDivision div;
            div.season = s;
            div.division = d;
            div.year = kOldYearBase + s;
            div.name = std::move(name);
            div.scheme = season.scheme[d - 1];
            if (div.scheme < 1 || div.scheme > 4) {
                div.scheme = kDefaultPointsScheme;
                ++plan.counts.schemesDefaulted;
            }
            div.rules = PointsOfScheme(div.scheme);
            int count = season.teamCount[d - 1];
            if (count < 0 || count > kOldMaxTeamsPerDivision) {
                count = std::clamp(count, 0, kOldMaxTeamsPerDivision);
                ++plan.counts.teamCountsClamped;
            }
            div.rules.teams = count;
            const OldTeamList& list = file.teamLists[d - 1][s - 1];
            for (int k = 1; k <= count; ++k) {
                if (validTeam(list[k]))
                    div.teams.push_back(list[k]);
                else
                    ++plan.counts.listEntriesSkipped;
            }
            byCodeAndYear[{kOldDivisionCodes[d - 1], div.year}] = plan.divisions.size();
            plan.divisions.push_back(std::move(div));
        }
    }

    // One pass over the matches, each to its division's bucket.
    for (const OldMatch& m : file.matches) {
        const auto it = byCodeAndYear.find({m.division, m.year});
        if (it == byCodeAndYear.end()) {
            ++plan.counts.matchesUnplaced;
            continue;
        }
        const bool inBounds = m.matchday >= 1 && m.matchday <= kImportMaxMatchday && m.homeGoals >= 0 &&
                              m.homeGoals <= kImportMaxGoals && m.awayGoals >= 0 &&
                              m.awayGoals <= kImportMaxGoals && validTeam(m.home) && validTeam(m.away);
        if (!inBounds) {
            ++plan.counts.matchesSkipped;
            continue;
        }
        PlannedMatch p{m.matchday, m.home, m.away, m.homeGoals, m.awayGoals, CodeOfOldResult(m.result)};
        if (p.code.empty()) {
            p.code = m.homeGoals > m.awayGoals ? "V1" : m.homeGoals < m.awayGoals ? "V2" : "N";
            ++plan.counts.resultsDefaulted;
        }
        plan.divisions[it->second].matches.push_back(std::move(p));
    }
    return plan;
}

}  // namespace app
