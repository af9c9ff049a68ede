// Top scorers of a championship season over a range of matchdays (the standings window's scorers list)
// and of one team (the team information view). Own goals never count. Players with equal goals go by
// name (case-insensitive, locale-free), then by number.
#pragma once

#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/reports/standings.h"
#include "app/data/league_tables.h"

namespace xb {
class TXbVFile;
}

namespace app {

struct ScorerRow {
    int player = 0;
    QString name;
    int team = 0;  // 0 in a team's own list
    QString teamName;
    int goals = 0;
    bool operator==(const ScorerRow&) const = default;
};

// The work table `tabclassbuteur` (nujoueur, nomjoueur, nuequipe, nomequipe, nbbut; without the team
// columns for a team's own list), created and opened by the constructor, freed by the destructor.
class ScorerWorkTable {
public:
    explicit ScorerWorkTable(bool withTeam);
    ~ScorerWorkTable();
    ScorerWorkTable(const ScorerWorkTable&) = delete;
    ScorerWorkTable& operator=(const ScorerWorkTable&) = delete;

    // One more goal on the player's row, or a new row with 1 goal; the player keeps the team of his
    // first goal. Names are read once, when the rows are asked for.
    void AddScorerGoal(int player, int team);
    void AddTeamScorerGoal(int player) { AddScorerGoal(player, 0); }
    // Most goals first, then the tie rule.
    std::vector<ScorerRow> SortedRows(LeagueReading& reading);
    // The key the virtual file sorts by: nbbut, then the tie rule.
    std::string ScorersSortKey();

private:
    bool m_withTeam;
    std::unique_ptr<xb::TXbVFile> m_table;
    std::vector<int> m_players;  // in order of their first goal
    std::map<int, int> m_tieRank;
};

// The scorers of the request's season (side: 0 every goal, 1 goals credited to the home side, 2 to the
// away side) over its matchday range; the sort type is ignored. A goal's team is the home team when it
// is credited to side 1, else the away team.
std::vector<ScorerRow> BuildScorersTable(const StandingsRequest& request);

}  // namespace app
