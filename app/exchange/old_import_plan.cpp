#include "app/exchange/old_import_plan.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "platform/codepage.h"

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

std::vector<UnstorableName> FindUnstorableNames(const ImportPlan& plan, int codePage) {
    std::vector<UnstorableName> out;
    for (const PlannedTeam& t : plan.teams)
        if (const char32_t c = xb::platform::FirstMissingChar(t.name, codePage))
            out.push_back({t.number, 0, 0, t.name, c});
    for (const PlannedDivision& d : plan.divisions)
        if (const char32_t c = xb::platform::FirstMissingChar(d.name, codePage))
            out.push_back({0, d.year, d.division, d.name, c});
    return out;
}

void LeaveOut(ImportPlan& plan, const std::vector<UnstorableName>& names) {
    std::set<int> teams;
    std::set<std::pair<int, int>> divisions;
    for (const UnstorableName& n : names) {
        if (n.team > 0)
            teams.insert(n.team);
        else
            divisions.insert({n.year, n.division});
    }
    std::erase_if(plan.teams, [&](const PlannedTeam& t) { return teams.count(t.number) > 0; });
    std::erase_if(plan.divisions, [&](const PlannedDivision& d) {
        if (!divisions.count({d.year, d.division})) return false;
        plan.counts.matchesLeftOut += static_cast<int>(d.matches.size());
        return true;
    });
    for (PlannedDivision& d : plan.divisions) {
        plan.counts.entriesLeftOut +=
            static_cast<int>(std::erase_if(d.teams, [&](int t) { return teams.count(t) > 0; }));
        plan.counts.matchesLeftOut += static_cast<int>(std::erase_if(
            d.matches, [&](const PlannedMatch& m) { return teams.count(m.home) || teams.count(m.away); }));
    }
}

}  // namespace app
