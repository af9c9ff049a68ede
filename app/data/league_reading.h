// The tables one computation reads, each opened once: a report (or a list) makes a LeagueReading, passes it
// to every routine it calls, and lets it go when the computation ends. A table is taken at its first use
// (a kept one, or a fresh open) and let go with the object: kept open for the next computation for a
// moment (kept_tables.h), so another station's pack waits at most that moment after this one's last
// computation. On a network share each open is dozens of round trips and each row read one more, so what
// the object reads once is kept for the rest of the computation: the season's rules and team list, and
// every team, championship and player name asked for. In a computation, a small table that no kept table
// of stands open for is read whole instead, rules, team lists and names at once (ReadWholeSmallTable): a
// few calls instead of an open with its index.
//
// A table is shared by the routines of the computation: each one puts the order it needs before it
// seeks, and no scan of a table may run inside another scan of the same table.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/data/match_points.h"
#include "platform/file.h"

namespace xb {
class TXbDbf;
}

namespace app {

class LeagueReading {
public:
    // How the small tables are read: whole at their first use (see readWhole), for a computation that
    // reads many of their rows once; or by their index, for a lookup of a name or a season, whose table
    // stays kept open for the next lookups.
    enum class SmallTables { kReadWhole, kByIndex };
    explicit LeagueReading(SmallTables small = SmallTables::kReadWhole);
    ~LeagueReading();
    LeagueReading(const LeagueReading&) = delete;
    LeagueReading& operator=(const LeagueReading&) = delete;

    // The table (bare name in the data directory), opened shared with deleted rows hidden at its first
    // use, in the order of tag when one is given. An open that fails raises the dataset layer's exception.
    xb::TXbDbf& Table(const std::string& file, const std::string& tag = {});

    // The rules of a season (see GetSeasonParams); all 0 when it is not stored.
    SeasonRules SeasonParams(int championship, int year);
    // The teams eqchamp lists for the season, in its key order.
    std::vector<int> SeasonTeams(int year, int championship);

    // names[i] := the name of numbers[i] for every numbers[i] > 0, the empty text when it is not stored;
    // other entries keep what they hold, and names grows to the size of numbers. Each number is looked up
    // once per computation, by one walk of the table in number order.
    void TeamNames(std::vector<QString>& names, const std::vector<int>& numbers);
    void PlayerNames(std::vector<QString>& names, const std::vector<int>& numbers);
    void ChampionshipNames(std::vector<QString>& names, const std::vector<int>& numbers);
    QString TeamName(int team);

private:
    struct NameSource;
    void names(const NameSource& source, std::vector<QString>& names, const std::vector<int>& numbers);
    // Reads the small table whole (ReadWholeSmallTable) at the computation's first use of it, unless the
    // computation opened it with its index already; visit takes what the computation keeps of each row.
    // Whether the table was read whole: when it was not, its index answers.
    bool readWhole(const std::string& file, const std::function<void(xb::TXbDbf&)>& visit);

    // The names of the folder looked up in one listing for all the computation's opens (made before the
    // tables, gone after them).
    xb::platform::NameLookupScope m_lookups;
    std::map<std::string, std::unique_ptr<xb::TXbDbf>> m_tables;
    std::map<std::pair<int, int>, SeasonRules> m_rules;
    std::map<std::pair<int, int>, std::vector<int>> m_seasonTeams;
    std::map<std::string, std::map<int, QString>> m_names;  // by table file
    std::map<std::string, bool> m_readWhole;                 // by table file: see readWhole
    SmallTables m_small;
    int m_uncaught;
};

// Visits the rows of the table's current order from the first one the key finds, while condition (xBase)
// holds; the while-condition is cleared again however the walk ends. Nothing is visited when the key is
// empty or not found.
void ForEachRow(xb::TXbDbf& table, const std::string& key, const std::string& condition,
                const std::function<void()>& visit);

}  // namespace app
