// The reading half of the league library: season rules and the season list, lookups of names and
// numbers, the lists the windows fill their boxes with, name arrays, and lookups on a table the caller
// opened. Routines that open a table open their own and close it before they return; a missing row gives
// the empty text, 0 or false. Names are QString; numbers that do not fit their key are never found.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/data/match_points.h"

namespace xb {
class TXbDbf;
}

namespace app {

// ---- seasons ----

inline constexpr int kFirstSeasonYear = 1900;
inline constexpr int kLastSeasonYear = 2100;
// The season list: "Y - Y+1" for every Y from 1900 to 2100; the year of an entry is its first four
// characters.
QStringList SeasonComboEntries();
// The entry of a year, -1 outside the list; and the year of an entry (index + 1900).
int SeasonComboIndex(int year);
int SeasonOfComboIndex(int index);

// The rules of a season (championship, year); all 0 when it is not stored. A stored matchday count of 0
// gives 2 x teams - 2; the count is kept within 0..99.
SeasonRules GetSeasonParams(int championship, int year);
// "1" to the season's matchday count.
QStringList DayListEntries(int year, int championship);

// ---- the lists of a season and a squad ----

// The teams of a season in the order eqchamp lists them, and their names (with the number suffix when
// asked, see NumberedEntry).
std::vector<int> SeasonTeamNumbers(int year, int championship);
QStringList SeasonTeamEntries(int year, int championship, bool withNumbers);
// The players of a team's squad for a season in squad order, and their names.
std::vector<int> TeamPlayerNumbers(int team, int year);
QStringList TeamPlayerEntries(int team, int year, bool withNumbers);

// ---- lookups that open their own table ----

QString GetTeamName(int team);
int FindTeamNumber(const QString& name);
QString GetPlayerName(int player);
int FindPlayerNumber(const QString& name);
QString GetChampionshipName(int championship);
bool PlayerInTeam(int player, int team, int year);
// The team of the player's first squad row for the year; 0 when none.
int TeamOfPlayer(int player, int year);

// ---- a table the caller opens ----

// Opens a table of the league (bare name in the data directory, or an absolute name) for shared use with
// deleted rows hidden; false, with table empty, when the open fails. CloseTable closes and frees it.
bool OpenTable(std::unique_ptr<xb::TXbDbf>& table, const std::string& file);
void CloseTable(std::unique_ptr<xb::TXbDbf>& table);

// On an open champion table.
QString GetChampionshipNameT(xb::TXbDbf& table, int championship);
int FindChampionshipNumber(xb::TXbDbf& table, const QString& name);
// The highest number + 1 (1 for an empty table); 0 past 999, the last number the keys hold. Read without
// a lock: a new championship takes its number from CreateChampionship (league_writes.h).
int NextChampionshipNumber(xb::TXbDbf& table);
// On an open joueq table: the player in the team's squad for the year; with team 0, in any squad.
bool RosterEntryExists(xb::TXbDbf& table, int team, int player, int year);
// On an open eqchamp table: the team in the championship's season; with championship 0, in any.
bool ChampionshipTeamExists(xb::TXbDbf& table, int year, int team, int championship);

// ---- name arrays ----

// names[i] := the name of numbers[i] for every i with numbers[i] > 0 (the empty text when it is not
// stored); other entries keep what they hold. names grows to the size of numbers.
void LoadTeamNames(std::vector<QString>& names, const std::vector<int>& numbers);
void LoadPlayerNames(std::vector<QString>& names, const std::vector<int>& numbers);
// The same on an open equipe or champion table.
void GetTeamNames(xb::TXbDbf& table, std::vector<QString>& names, const std::vector<int>& numbers);
void GetChampionshipNames(xb::TXbDbf& table, std::vector<QString>& names, const std::vector<int>& numbers);

}  // namespace app
