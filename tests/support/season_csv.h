// A real season read from a CSV file (matchday, date, home, away, home goals, away goals), with the teams
// numbered 1.. in the order of their names, so that a test and its child processes number them alike.
#pragma once

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

}  // namespace xbtest
