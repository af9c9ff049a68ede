// The writing half of the league library: storing a match, a season's rules and a championship, the
// links between seasons, teams and players, and the deletes that cascade into the dependent tables.
//
// Every write goes through WriteRow (league_access.h): one row, written whole, under the append lock or
// the record lock, with a refused lock tried again for about a second. Every routine answers whether it
// did its work; a refused lock or a refused value changes nothing, and LastWriteRefusal (league_access.h)
// says why. A text holding a character the table's code page lacks is refused whole before anything is
// written: it is never stored cut or with "?". Values are checked before any write:
// a championship is 1..999 (its keys hold three digits), a year 1..9999, a matchday 1..99, a team or a
// player 1..99999, and texts and numbers must fit their fields. Engine failures still reach the caller as
// the dataset layer's exceptions; the tables a routine opened are closed whatever happens.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "app/data/league_access.h"
#include "app/data/match_points.h"

namespace xb {
class TXbDbf;
}

namespace app {

inline constexpr int kMaxChampionship = 999;

// ---- inserts and updates ----

// One match as resultat stores it; the match is championship, year, matchday, home and away team.
struct MatchRow {
    int championship = 0, year = 0, matchday = 0;
    int home = 0, away = 0;
    int homeGoals = 0, awayGoals = 0;
    std::string code;                    // "V1", "V2", "N", "F1", "F2", "AU"
    int homePoints = 0, awayPoints = 0;  // counted with "AU" only
};

// On an open resultat table: updates the match's row or appends it; true when stored.
bool SaveMatchResult(xb::TXbDbf& table, const MatchRow& match);
// The same for a match the caller has just sought and not found: appended whole under the append lock
// unless another station stored it meanwhile (AppendMissingRow); the table stands on the row.
AppendOutcome AppendNewMatchResult(xb::TXbDbf& table, const MatchRow& match);
// The same on the match's row, found and record-locked by the caller; a row that already holds these
// values is not written.
bool RewriteMatchResult(xb::TXbDbf& table, const MatchRow& match);
// On an open champan table: the season's points and number of teams, and its matchday count (0..99) when
// matchdays is kWritten; with kKept a stored count stays and a new row gets none (read as 0).
// A window passes loaded, the season as it read it (ReadSeasonRow; none when it was not stored): a row
// stored otherwise now is not overwritten (LastWriteRefusal: kChanged).
enum class Matchdays { kKept, kWritten };
bool SaveSeasonParams(xb::TXbDbf& table, int championship, int year, const SeasonRules& rules,
                      Matchdays matchdays = Matchdays::kKept,
                      const std::optional<SeasonRules>* loaded = nullptr);
// On an open champan table: the season's row as stored (its matchday count as stored, 0 for none), or
// none when the season is not stored.
std::optional<SeasonRules> ReadSeasonRow(xb::TXbDbf& table, int championship, int year);
// On an open champion table: the championship's name under its number, and nothing else. With
// loadedName (the name as the window read it, blanks trimmed), a name stored otherwise now is not
// overwritten (kChanged) and a championship deleted meanwhile is not brought back (kGone).
bool SaveChampionship(xb::TXbDbf& table, int championship, const QString& name,
                      const QString* loadedName = nullptr);
// On an open champion table: a new championship numbered one past the highest, number and row under one
// append lock. The number, or 0 when none was stored (lock refused, 999 reached, name too long).
int CreateChampionship(xb::TXbDbf& table, const QString& name);
// On an open equipe table: a new team numbered the same way; the number or 0.
int CreateTeam(xb::TXbDbf& table, const QString& name);
// On an open equipe table: the team's name, on its row found by number under its record lock. False, with
// nothing written, when the row is gone (a team deleted meanwhile is not brought back), the lock was
// refused or the name does not fit. With loadedName (as the window read it, blanks trimmed), a name
// another station stored meanwhile is not overwritten (LastWriteRefusal: kChanged; kGone when deleted).
bool RenameTeam(xb::TXbDbf& table, int team, const QString& name, const QString* loadedName = nullptr);
// The same, appending the team under its number when it has no row (the import of an old data file).
bool SaveTeam(xb::TXbDbf& table, int team, const QString& name);

// Links a team to a championship's season (eqchamp, opened here) unless the link exists; true when the
// link is there afterwards.
bool AddTeamToChampionship(int year, int championship, int team);
// The same on an open eqchamp table. With anyChampionship, nothing is written when the team already plays
// in any championship that year.
bool AddTeamToChampionshipT(xb::TXbDbf& table, int year, int championship, bool anyChampionship, int team);
// Puts a player in a team's squad for a season (joueq, opened here) unless he is in it.
bool AddPlayerToTeam(int year, int team, int player);

// ---- deletes ----
// A delete answers true when every row it was to delete is gone (also when there was none), false when
// a refused lock or an engine error left some. Deleted rows are hidden at once and leave the files at the
// shutdown's pack (DeleteWhile, league_access.h); no delete packs. Dependent rows go first and the parent row
// last, so a cascade that was interrupted completes when it is run again.

// On an open resultat table: the match's row.
bool DeleteMatchResult(xb::TXbDbf& table, int championship, int year, int matchday, int home, int away);
// The championship with its seasons' rules, team links, results, goals and cards.
bool DeleteChampionship(int championship);
// The team with its season links and every result it played at home or away (its goals and cards go by
// DeleteTeamGoals and DeleteTeamCards).
bool DeleteTeam(int team);
// The player with his goals, cards and squad rows.
bool DeletePlayer(int player);
// Goals (cards) of the matches of a team at home and away, narrowed by year, then championship, then
// matchday; only those combinations (0 = not given) are accepted, any other deletes nothing and answers
// false.
bool DeleteTeamGoals(int team, int year = 0, int championship = 0, int matchday = 0);
bool DeleteTeamCards(int team, int year = 0, int championship = 0, int matchday = 0);
// Goals (cards) of one match: championship, year, matchday, home and away team.
bool DeleteMatchGoals(int championship, int year, int matchday, int home, int away);
bool DeleteMatchCards(int championship, int year, int matchday, int home, int away);
// The same on an open but or carton table.
bool DeleteMatchEventsT(xb::TXbDbf& table, int championship, int year, int matchday, int home, int away);
// Squad rows of the team, narrowed by year and player when given (0 = not given). True when rows were
// found and deleted.
bool DeleteRosterEntries(int player, int team, int year);

// Distinct types for a routine whose callers name the same three numbers in another order.
struct SeasonYear {
    explicit SeasonYear(int v) : value(v) {}
    int value;
};
struct TeamNumber {
    explicit TeamNumber(int v) : value(v) {}
    int value;
};
struct ChampionshipNumber {
    explicit ChampionshipNumber(int v) : value(v) {}
    int value;
};
// The team's link to the championship's season; true when it was found and deleted.
bool RemoveTeamFromChampionship(SeasonYear year, TeamNumber team, ChampionshipNumber championship);

}  // namespace app
