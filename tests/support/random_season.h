// Random championship seasons for the standings tests, in the form of league_season.h (rows as text in
// field order), and the plain model they are checked against (standings_model.h). A season holds what
// real data can: every result code (forfeits, "AU" with negative points, "N" and "N ", now and then a
// code outside the six), gaps in the matchday numbering, a listed team that never plays, a team listed
// twice, a match against a team the season does not list, rules with zero or negative points, team
// names that differ only in case, and neighbouring seasons that must not leak in.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/league_season.h"

namespace xbtest {

struct RandomSeason {
    int championship = 7;
    int year = 2031;
    int days = 0;                     // the highest matchday used
    std::vector<SeasonTable> tables;  // the nine, in definition order
};

inline RandomSeason MakeRandomSeason(uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state](int n) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % static_cast<uint32_t>(n));
    };
    auto num = [](int v) { return std::to_string(v); };
    RandomSeason s;
    const int champ = s.championship, year = s.year;

    static const char* kNames[] = {"Alpha",   "alpha", "ALPHA FC", "Beta",  "Gamma", "gamma", "Delta",
                                   "Epsilon", "Zeta",  "Eta",      "Theta", "Iota",  "Kappa", "Lambda"};
    const int nteams = 2 + next(11);
    std::vector<int> teams;
    while (static_cast<int>(teams.size()) < nteams) {
        const int t = 1 + next(60);
        if (std::find(teams.begin(), teams.end(), t) == teams.end()) teams.push_back(t);
    }
    const int unlisted = 61 + next(5);  // plays now and then, never listed

    auto rule = [&] { return next(4) == 0 ? -next(4) : next(5); };
    const int ptv = rule(), ptn = rule(), ptd = rule(), ptfv = rule(), ptfd = rule();
    SeasonTable champan{
        "champan.dbf",
        {"annee", "nuchamp", "ptv", "ptn", "ptd", "ptfv", "ptfd", "nbequipe", "nbjournee"},
        {{num(year), num(champ), num(ptv), num(ptn), num(ptd), num(ptfv), num(ptfd), num(nteams), "0"},
         {num(year + 1), num(champ), "3", "1", "0", "3", "0", num(nteams), "0"}}};
    SeasonTable champion{"champion.dbf", {"nuchamp", "nomchamp"}, {{num(champ), "Random league"}}};

    SeasonTable eqchamp{"eqchamp.dbf", {"annee", "nuchamp", "nuequipe"}, {}};
    for (int t : teams) eqchamp.rows.push_back({num(year), num(champ), num(t)});
    if (next(3) == 0) eqchamp.rows.push_back({num(year), num(champ), num(teams[0])});  // listed twice
    for (int t : teams) eqchamp.rows.push_back({num(year + 1), num(champ), num(t)});
    eqchamp.rows.push_back({num(year), num(champ + 1), num(unlisted)});
    SeasonTable equipe{"equipe.dbf", {"nuequipe", "nomequipe"}, {}};
    for (int t = 1; t <= 65; ++t) equipe.rows.push_back({num(t), kNames[next(14)]});

    SeasonTable joueur{
        "joueur.dbf", {"nujoueur", "nomjoueur", "datenais", "poste", "infodivers", "nation"}, {}};
    for (int p = 1; p <= 120; ++p)
        joueur.rows.push_back({num(p), std::string(kNames[next(14)]) + " " + num(next(3)), "", "1", "", ""});
    SeasonTable joueq{"joueq.dbf", {"annee", "nueq", "nujo"}, {}};

    SeasonTable resultat{
        "resultat.dbf",
        {"nuchamp", "annee", "nujournee", "nueq1", "nueq2", "beq1", "beq2", "coder", "pteq1", "pteq2"},
        {}};
    const std::vector<std::string> goalFields = {"nuchamp",  "annee",   "nujournee", "nueq1", "nueq2",
                                                 "nujoueur", "nueqben", "minute",    "type"};
    SeasonTable but{"but.dbf", goalFields, {}};
    SeasonTable carton{"carton.dbf", goalFields, {}};
    static const char* kCodes[] = {"V1", "V2", "N", "N ", "F1", "F2", "AU", "AU", "V1", "V2", "XX"};

    // The playing teams: the listed ones but the last (which stays idle when there are three or more),
    // and the unlisted one.
    std::vector<int> playing(teams.begin(), teams.end() - (teams.size() >= 3 ? 1 : 0));
    playing.push_back(unlisted);
    const int days = 1 + next(14);
    int day = 0;
    for (int d = 0; d < days; ++d) {
        day += 1 + (next(5) == 0 ? 1 + next(3) : 0);  // gaps now and then
        std::vector<int> pool = playing;
        for (size_t i = pool.size(); i > 1; --i)
            std::swap(pool[i - 1], pool[static_cast<size_t>(next(static_cast<int>(i)))]);
        for (size_t i = 0; i + 1 < pool.size(); i += 2) {
            if (next(6) == 0) continue;  // this pair does not play this matchday
            const int a = pool[i], b = pool[i + 1];
            const int g1 = next(5), g2 = next(4);
            const std::string code = kCodes[next(11)];
            const int p1 = code == "AU" ? next(7) - 3 : 0, p2 = code == "AU" ? next(7) - 3 : 0;
            resultat.rows.push_back(
                {num(champ), num(year), num(day), num(a), num(b), num(g1), num(g2), code, num(p1), num(p2)});
            auto goal = [&](int side) {
                but.rows.push_back({num(champ), num(year), num(day), num(a), num(b), num(1 + next(120)),
                                    num(side), num(1 + next(90)), num(1 + next(3))});
            };
            for (int g = 0; g < g1; ++g) goal(1);
            for (int g = 0; g < g2; ++g) goal(2);
        }
    }
    s.days = day;
    // Neighbours: the next season and another championship of the same year.
    resultat.rows.push_back(
        {num(champ), num(year + 1), "1", num(teams[0]), num(teams[1]), "4", "0", "V1", "0", "0"});
    resultat.rows.push_back(
        {num(champ + 1), num(year), "1", num(teams[0]), num(teams[1]), "0", "4", "V2", "0", "0"});
    but.rows.push_back({num(champ + 1), num(year), "1", num(teams[0]), num(teams[1]), "7", "2", "5", "1"});
    but.rows.push_back({num(champ), num(year + 1), "1", num(teams[0]), num(teams[1]), "7", "1", "5", "1"});

    s.tables = {champan, champion, eqchamp, resultat, equipe, joueur, joueq, but, carton};
    return s;
}

}  // namespace xbtest
