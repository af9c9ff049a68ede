// A real season read from a CSV file (matchday, date, home, away, home goals, away goals), with the teams
// numbered 1.. in the order of their names, so that a test and its child processes number them alike.
#pragma once

#include <QString>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/league_season.h"

namespace xbtest {

struct CsvMatch {
    int matchday = 0, home = 0, away = 0, homeGoals = 0, awayGoals = 0;
};

struct CsvSeason {
    std::vector<std::string> teams;  // team n is teams[n - 1]
    std::vector<CsvMatch> matches;
};

inline CsvSeason ReadSeasonCsv(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    struct Row {
        int day;
        std::string home, away;
        int g1, g2;
    };
    std::vector<Row> rows;
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string part; std::getline(ss, part, ',');) f.push_back(part);
        if (f.size() != 6) throw std::runtime_error("bad line in " + path + ": " + line);
        rows.push_back({std::stoi(f[0]), f[2], f[3], std::stoi(f[4]), std::stoi(f[5])});
    }
    CsvSeason s;
    for (const Row& r : rows)
        for (const std::string* t : {&r.home, &r.away})
            if (std::find(s.teams.begin(), s.teams.end(), *t) == s.teams.end()) s.teams.push_back(*t);
    std::sort(s.teams.begin(), s.teams.end());
    auto number = [&](const std::string& t) {
        return static_cast<int>(std::find(s.teams.begin(), s.teams.end(), t) - s.teams.begin()) + 1;
    };
    for (const Row& r : rows) s.matches.push_back({r.day, number(r.home), number(r.away), r.g1, r.g2});
    return s;
}

// The season as the league tables hold it (championship 1 "Top division", rules 3/1/0, the teams listed
// in number order, codes from the score), for tests that fill the tables directly.
inline std::vector<SeasonTable> SeasonTablesOfCsv(const CsvSeason& season, int year) {
    auto num = [](int v) { return std::to_string(v); };
    const int teams = static_cast<int>(season.teams.size());
    std::vector<SeasonTable> out;
    out.push_back({"champan.dbf",
                   {"annee", "nuchamp", "ptv", "ptn", "ptd", "ptfv", "ptfd", "nbequipe", "nbjournee"},
                   {{num(year), "1", "3", "1", "0", "3", "0", num(teams), num(2 * teams - 2)}}});
    out.push_back({"champion.dbf", {"nuchamp", "nomchamp"}, {{"1", "Top division"}}});
    SeasonTable eqchamp{"eqchamp.dbf", {"annee", "nuchamp", "nuequipe"}, {}};
    SeasonTable equipe{"equipe.dbf", {"nuequipe", "nomequipe"}, {}};
    for (int t = 1; t <= teams; ++t) {
        eqchamp.rows.push_back({num(year), "1", num(t)});
        // The name field holds 20 characters.
        equipe.rows.push_back(
            {num(t),
             QString::fromStdString(season.teams[static_cast<size_t>(t - 1)]).left(20).toStdString()});
    }
    SeasonTable resultat{
        "resultat.dbf",
        {"nuchamp", "annee", "nujournee", "nueq1", "nueq2", "beq1", "beq2", "coder", "pteq1", "pteq2"},
        {}};
    for (const CsvMatch& m : season.matches)
        resultat.rows.push_back({"1", num(year), num(m.matchday), num(m.home), num(m.away), num(m.homeGoals),
                                 num(m.awayGoals),
                                 m.homeGoals > m.awayGoals   ? "V1"
                                 : m.homeGoals < m.awayGoals ? "V2"
                                                             : "N",
                                 "0", "0"});
    out.push_back(eqchamp);
    out.push_back(resultat);
    out.push_back(equipe);
    return out;
}

}  // namespace xbtest
