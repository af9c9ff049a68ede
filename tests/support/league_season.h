// A season of one league as the nine league tables hold it: 20 teams in a double round robin of 38
// matchdays, their squads, players with accented names and memo notes, goals and cards. Every value is
// UTF-8 text in the table's field order ("" for an empty field); numbers are plain decimal text. The data
// is fixed by a seed, so every run and every peer sees the same season.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace xbtest {

struct SeasonTable {
    std::string file;                            // "joueur.dbf"
    std::vector<std::string> fieldNames;         // lower case, in table order
    std::vector<std::vector<std::string>> rows;  // one value per field
};

struct SeasonSize {
    int teams = 20;      // even
    int squad = 14;      // players per team
    int matchdays = 38;  // at most 2 * (teams - 1)
    uint32_t seed = 2026;
};

// The nine tables in the order of their definitions (champan, champion, eqchamp, resultat, equipe,
// joueur, joueq, but, carton).
inline std::vector<SeasonTable> MakeSeason(const SeasonSize& size = {}) {
    uint32_t state = size.seed;
    auto next = [&state](int n) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) % static_cast<uint32_t>(n));
    };
    auto num = [](int v) { return std::to_string(v); };
    const int year = 2026, league = 1;

    // Characters every peer can hold: in both Windows-1252 and code page 850.
    static const char* kTeamNames[] = {
        "Olympique Nîmes", "Stade Brestois", "FC Gueugnon",     "AS Saint-Étienne",  "Sète Olympique",
        "Racing Besançon", "Châteauroux",    "Évian Thonon",    "Créteil-Lusitanos", "Málaga CF",
        "Real Zaragoza",   "Örebro SK",      "Malmö FF",        "Brøndby IF",        "Aalborg BK",
        "Fürth SpVgg",     "Kärnten FC",     "Vitória Setúbal", "Coruña Deportivo",  "Göteborg IFK",
        "Ålesund FK",      "Tromsø IL"};
    static const char* kFirst[] = {"José", "Zoë",    "Jérôme", "Thiên", "Ørjan",  "Håkon",
                                   "Joël", "Raúl",   "Ángel",  "Björn", "Andrés", "François",
                                   "Loïc", "Gaëtan", "Iñaki",  "Müller"};
    static const char* kLast[] = {"Müller", "Sørensen",   "Ibáñez", "Lefèvre", "Gonçalves", "Ångström",
                                  "Nuñez",  "Dürrenmatt", "Öztürk", "Çelik",   "Höness",    "Tiéné",
                                  "Berthé", "Åberg",      "Dupré",  "Ferrão",  "Benoît",    "Ødegård"};
    static const char* kNations[] = {"France",        "España", "Sverige", "Danmark", "Österreich",
                                     "Côte d'Ivoire", "Brasil", "Norge",   "Perú",    "Türkiye"};
    static const char* kNotes[] = {"Né à Göteborg.",
                                   "Arrière gauche, très rapide.",
                                   "Blessé au genou (ménisque).",
                                   "Prêté par l'Évian Thonon.",
                                   "Capitaine; 42 sélections.",
                                   "Gaucher | pied fort",
                                   "Formé au club\r\nretour en 2025"};

    std::vector<SeasonTable> out;
    out.push_back(
        {"champan.dbf",
         {"annee", "nuchamp", "ptv", "ptn", "ptd", "ptfv", "ptfd", "nbequipe", "nbjournee"},
         {{num(year), num(league), "3", "1", "0", "0", "0", num(size.teams), num(size.matchdays)},
          {num(year - 1), num(league), "3", "1", "0", "0", "0", num(size.teams), num(size.matchdays)}}});
    out.push_back({"champion.dbf",
                   {"nuchamp", "nomchamp"},
                   {{num(league), "Ligue des Régions - élite"}, {"2", "Coupe d'Île-de-France"}}});

    SeasonTable eqchamp{"eqchamp.dbf", {"annee", "nuchamp", "nuequipe"}, {}};
    SeasonTable equipe{"equipe.dbf", {"nuequipe", "nomequipe"}, {}};
    for (int t = 1; t <= size.teams; ++t) {
        eqchamp.rows.push_back({num(year), num(league), num(t)});
        equipe.rows.push_back({num(t), kTeamNames[(t - 1) % 22]});
    }

    // Squads: players numbered team * 100 + shirt.
    SeasonTable joueur{
        "joueur.dbf", {"nujoueur", "nomjoueur", "datenais", "poste", "infodivers", "nation"}, {}};
    SeasonTable joueq{"joueq.dbf", {"annee", "nueq", "nujo"}, {}};
    std::map<int, std::vector<int>> squads;
    for (int t = 1; t <= size.teams; ++t) {
        for (int s = 1; s <= size.squad; ++s) {
            const int nu = t * 100 + s;
            squads[t].push_back(nu);
            std::string note;
            switch (next(5)) {
                case 0:
                    break;  // no note
                case 1:
                    note = kNotes[next(7)];
                    break;
                case 2:
                    note = std::string(kNotes[next(7)]) + "\r\n" + kNotes[next(7)];
                    break;
                case 3:
                    // Longer than one memo block.
                    for (int i = 0; i < 12; ++i)
                        note += "Saison " + num(2000 + i) + " : " + kNotes[next(7)] + "\r\n";
                    note += "Fin.";
                    break;
                default:
                    note = "Numéro " + num(s) + " à " + kTeamNames[(t - 1) % 22] + ".";
                    break;
            }
            const std::string born = num(1 + next(28)) + "/" + num(1 + next(12)) + "/" + num(1988 + next(18));
            joueur.rows.push_back({num(nu), std::string(kFirst[next(16)]) + " " + kLast[next(18)], born,
                                   num(1 + next(4)), note, next(6) == 0 ? "" : kNations[next(10)]});
            joueq.rows.push_back({num(year), num(t), num(nu)});
        }
    }

    // The circle method: team n stays, the others turn; the second half swaps home and away.
    SeasonTable resultat{
        "resultat.dbf",
        {"nuchamp", "annee", "nujournee", "nueq1", "nueq2", "beq1", "beq2", "coder", "pteq1", "pteq2"},
        {}};
    const std::vector<std::string> goalFields = {"nuchamp",  "annee",   "nujournee", "nueq1", "nueq2",
                                                 "nujoueur", "nueqben", "minute",    "type"};
    SeasonTable but{"but.dbf", goalFields, {}};
    SeasonTable carton{"carton.dbf", goalFields, {}};
    const int n = size.teams;
    for (int day = 1; day <= size.matchdays; ++day) {
        const int round = (day - 1) % (n - 1);
        for (int m = 0; m < n / 2; ++m) {
            int a = m == 0 ? n : 1 + (round + m) % (n - 1);
            int b = 1 + (round + n - 1 - m) % (n - 1);
            if ((day + m) % 2 == 0) std::swap(a, b);
            if (day > n - 1) std::swap(a, b);
            const int g1 = next(5), g2 = next(4);
            const int p1 = g1 > g2 ? 3 : g1 == g2 ? 1 : 0, p2 = g2 > g1 ? 3 : g1 == g2 ? 1 : 0;
            resultat.rows.push_back({num(league), num(year), num(day), num(a), num(b), num(g1), num(g2),
                                     g1 > g2   ? "V1"
                                     : g1 < g2 ? "V2"
                                               : "N",
                                     num(p1), num(p2)});
            auto event = [&](SeasonTable& t, int team, int side, int type) {
                const int player = squads[team][static_cast<size_t>(next(size.squad))];
                t.rows.push_back({num(league), num(year), num(day), num(a), num(b), num(player), num(side),
                                  num(1 + next(90)), num(type)});
            };
            for (int g = 0; g < g1; ++g) event(but, a, 1, 1 + next(3));
            for (int g = 0; g < g2; ++g) event(but, b, 2, 1 + next(3));
            for (int c = next(4); c > 0; --c) {
                const int side = 1 + next(2);
                event(carton, side == 1 ? a : b, side, next(8) == 0 ? 2 : 1);
            }
        }
    }
    out.push_back(eqchamp);
    out.push_back(resultat);
    out.push_back(equipe);
    out.push_back(joueur);
    out.push_back(joueq);
    out.push_back(but);
    out.push_back(carton);
    return out;
}

}  // namespace xbtest
