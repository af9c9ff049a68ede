// The league database the benchmarks work on: the test suite's generated season (20 teams, 38 matchdays,
// squads, goals and cards) repeated year after year, filled row by row through the index as a user enters
// it (never packed). Shared by bench_network_share and bench_start_close, and compiled beside older
// commits' sources by scripts/bench: it uses only what those have.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "app/editing/match_entry.h"
#if __has_include("app/data/league_tables.h")
#include "app/data/league_tables.h"
#else
#include "app/shell/league_tables.h"
#endif
#include "engine/dataset/xb_file_dataset.h"
#include "tests/support/league_season.h"

namespace bench {

inline constexpr int kYear = 2026, kChampionship = 1, kTeam = 3, kOpponent = 7;

// The seasons' rows: season s (0 = the newest) is the generated season moved back s years.
inline std::vector<xbtest::SeasonTable> seasons(int count) {
    const std::vector<xbtest::SeasonTable> one = xbtest::MakeSeason();
    std::vector<xbtest::SeasonTable> out = one;
    for (auto& t : out) t.rows.clear();
    for (size_t i = 0; i < one.size(); ++i) {
        const auto& names = one[i].fieldNames;
        const auto year = std::find(names.begin(), names.end(), "annee");
        const bool perSeason = year != names.end();
        for (int s = 0; s < (perSeason ? count : 1); ++s)
            for (auto row : one[i].rows) {
                if (perSeason) {
                    auto& y = row[static_cast<size_t>(year - names.begin())];
                    y = std::to_string(std::stoi(y) - s);
                }
                out[i].rows.push_back(row);
            }
    }
    return out;
}

inline void fill(const std::string& dir, const std::vector<xbtest::SeasonTable>& tables) {
    for (const auto& s : tables) {
        const app::LeagueTable* def = app::FindLeagueTable(s.file);
        xb::TXbDbf t;
        t.Name = def->component;
        t.SetDbfFileName(dir + "/" + def->file);
        t.DbfFields = def->fields;
        t.IndexList = def->indexList();
        t.CreateIndex = xb::TCreateIndexType::ciVerifyHeader;
        t.ShowProgress = false;
        t.SetExclusive(true);
        t.Open();
        for (const auto& row : s.rows) {
            t.Append();
            for (size_t i = 0; i < s.fieldNames.size(); ++i)
                if (!row[i].empty()) t.FieldByName(s.fieldNames[i]).SetAsString(row[i]);
            t.Post();
        }
        t.Close();
    }
}

// The last matchday's matches of the season that leave teams kTeam and kOpponent out, n of them, are
// taken out of the generated rows with their goals and cards: matches not played yet, for the stores of
// a new match, each of which finds no row of its own in the tables, as a match entered for the first
// time does.
inline std::vector<app::MatchRow> unplayed(std::vector<xbtest::SeasonTable>& tables, size_t n) {
    std::vector<app::MatchRow> out;
    auto field = [](const xbtest::SeasonTable& t, const std::string& name) {
        return static_cast<size_t>(std::find(t.fieldNames.begin(), t.fieldNames.end(), name) - t.fieldNames.begin());
    };
    for (const auto& t : tables)
        if (t.file == "resultat.dbf")
            for (const auto& r : t.rows) {
                const int day = std::stoi(r[field(t, "nujournee")]), home = std::stoi(r[field(t, "nueq1")]),
                          away = std::stoi(r[field(t, "nueq2")]);
                if (out.size() < n && std::stoi(r[field(t, "annee")]) == kYear && day == 38 && home != kTeam &&
                    away != kTeam && home != kOpponent && away != kOpponent)
                    out.push_back({kChampionship, kYear, day, home, away, 2, 1, "V1", 0, 0});
            }
    for (auto& t : tables) {
        if (t.file != "resultat.dbf" && t.file != "but.dbf" && t.file != "carton.dbf") continue;
        std::erase_if(t.rows, [&](const std::vector<std::string>& r) {
            return std::any_of(out.begin(), out.end(), [&](const app::MatchRow& m) {
                return std::stoi(r[field(t, "annee")]) == m.year &&
                       std::stoi(r[field(t, "nuchamp")]) == m.championship &&
                       std::stoi(r[field(t, "nujournee")]) == m.matchday &&
                       std::stoi(r[field(t, "nueq1")]) == m.home && std::stoi(r[field(t, "nueq2")]) == m.away;
            });
        });
    }
    return out;
}

}  // namespace bench
