// The plain model of the standings: sums straight from the raw rows of a season (league_season.h form),
// ordered by a numeric comparator and the tie rule (name without case, then number). Tests hold the
// engine's answers against it.
#pragma once

#include <QString>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/support/league_season.h"

namespace xbtest {

struct ModelRow {
    int team = 0, pt = 0, j = 0, g = 0, n = 0, p = 0, bp = 0, bc = 0;
    QString name;
};

inline const SeasonTable& TableOf(const std::vector<SeasonTable>& s, const std::string& file) {
    return *std::find_if(s.begin(), s.end(), [&](const SeasonTable& t) { return t.file == file; });
}
// Field f of a row as a number.
inline int Num(const SeasonTable& t, const std::vector<std::string>& row, const std::string& f) {
    const auto i = std::find(t.fieldNames.begin(), t.fieldNames.end(), f) - t.fieldNames.begin();
    return row[static_cast<size_t>(i)].empty() ? 0 : std::stoi(row[static_cast<size_t>(i)]);
}
inline std::string Str(const SeasonTable& t, const std::vector<std::string>& row, const std::string& f) {
    return row[static_cast<size_t>(std::find(t.fieldNames.begin(), t.fieldNames.end(), f) -
                                   t.fieldNames.begin())];
}

// Rows in standings order for championship c, year y, matchdays first..last, side 0/1/2, order 0..5.
inline std::vector<ModelRow> ModelStandings(const std::vector<SeasonTable>& s, int c, int y, int first,
                                            int last, int side, int order) {
    int rule[5] = {};
    for (const auto& r : TableOf(s, "champan.dbf").rows)
        if (Num(TableOf(s, "champan.dbf"), r, "annee") == y &&
            Num(TableOf(s, "champan.dbf"), r, "nuchamp") == c)
            for (int i = 0; i < 5; ++i)
                rule[i] = Num(TableOf(s, "champan.dbf"), r,
                              std::vector<std::string>{"ptv", "ptn", "ptd", "ptfv", "ptfd"}[i]);
    const int ptv = rule[0], ptn = rule[1], ptd = rule[2], ptfv = rule[3], ptfd = rule[4];
    std::map<int, ModelRow> rows;
    const SeasonTable& eq = TableOf(s, "eqchamp.dbf");
    for (const auto& r : eq.rows)
        if (Num(eq, r, "annee") == y && Num(eq, r, "nuchamp") == c)
            rows[Num(eq, r, "nuequipe")].team = Num(eq, r, "nuequipe");
    const SeasonTable& names = TableOf(s, "equipe.dbf");
    for (const auto& r : names.rows)
        if (rows.count(Num(names, r, "nuequipe")))
            rows[Num(names, r, "nuequipe")].name = QString::fromStdString(Str(names, r, "nomequipe"));
    const SeasonTable& res = TableOf(s, "resultat.dbf");
    for (const auto& r : res.rows) {
        const int day = Num(res, r, "nujournee");
        if (Num(res, r, "nuchamp") != c || Num(res, r, "annee") != y || day < first || day > last) continue;
        const int g1 = Num(res, r, "beq1"), g2 = Num(res, r, "beq2");
        std::string code = Str(res, r, "coder");
        if (code == "N ") code = "N";
        // home points, away points, home outcome (1 win, 0 draw, -1 defeat, 9 none)
        int p1 = 0, p2 = 0, o = 9;
        if (code == "V1") p1 = ptv, p2 = ptd, o = 1;
        if (code == "V2") p1 = ptd, p2 = ptv, o = -1;
        if (code == "N") p1 = p2 = ptn, o = 0;
        if (code == "F1") p1 = ptfv, p2 = ptfd, o = 1;
        if (code == "F2") p1 = ptfd, p2 = ptfv, o = -1;
        if (code == "AU")
            p1 = Num(res, r, "pteq1"), p2 = Num(res, r, "pteq2"), o = g1 > g2 ? 1 : g1 == g2 ? 0 : -1;
        auto add = [&](int team, int pts, int gf, int ga, int out) {
            if (!rows.count(team)) return;
            ModelRow& m = rows[team];
            m.pt += pts, m.j += 1, m.bp += gf, m.bc += ga;
            m.g += out == 1, m.n += out == 0, m.p += out == -1;
        };
        if (side != 2) add(Num(res, r, "nueq1"), p1, g1, g2, o);
        if (side != 1) add(Num(res, r, "nueq2"), p2, g2, g1, o == 9 ? 9 : -o);
    }
    std::vector<ModelRow> out;
    for (auto& [t, m] : rows) out.push_back(m);
    auto value = [order](const ModelRow& m) -> std::vector<long> {  // larger is better
        switch (order) {
            case 1:
                return {m.bp};
            case 2:
                return {-m.bc};
            case 3:
                return {m.g};
            case 4:
                return {m.n};
            case 5:
                return {-m.p};
            default:
                return {m.pt, m.bp - m.bc, m.bp};
        }
    };
    std::sort(out.begin(), out.end(), [&](const ModelRow& a, const ModelRow& b) {
        if (value(a) != value(b)) return value(a) > value(b);
        const int byName = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.team < b.team;
    });
    return out;
}

}  // namespace xbtest

namespace xbtest {

struct ModelScorer {
    int player = 0, team = 0, goals = 0;
};

// Scorers of championship c, year y over first..last, side 0/1/2, most goals first then by player name
// (without case) and number; a player's team is that of his first counted goal in key order.
inline std::vector<ModelScorer> ModelScorers(const std::vector<SeasonTable>& s, int c, int y, int first,
                                             int last, int side) {
    const SeasonTable& but = TableOf(s, "but.dbf");
    std::vector<size_t> order;
    for (size_t i = 0; i < but.rows.size(); ++i) order.push_back(i);
    auto key = [&](size_t i) {
        const auto& r = but.rows[i];
        return std::vector<int>{Num(but, r, "nujournee"), Num(but, r, "nueq1"), Num(but, r, "nueq2"),
                                Num(but, r, "minute")};
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
    std::map<int, ModelScorer> byPlayer;
    std::vector<int> seen;
    for (size_t i : order) {
        const auto& r = but.rows[i];
        const int day = Num(but, r, "nujournee"), ben = Num(but, r, "nueqben");
        if (Num(but, r, "nuchamp") != c || Num(but, r, "annee") != y || day < first || day > last) continue;
        if (Num(but, r, "type") == 2 || (side == 1 && ben != 1) || (side == 2 && ben == 1)) continue;
        ModelScorer& m = byPlayer[Num(but, r, "nujoueur")];
        if (m.goals++ == 0)
            m.player = Num(but, r, "nujoueur"), m.team = Num(but, r, ben == 1 ? "nueq1" : "nueq2");
    }
    std::map<int, QString> names;
    const SeasonTable& j = TableOf(s, "joueur.dbf");
    for (const auto& r : j.rows)
        names[Num(j, r, "nujoueur")] = QString::fromStdString(Str(j, r, "nomjoueur"));
    std::vector<ModelScorer> out;
    for (auto& [p, m] : byPlayer) out.push_back(m);
    std::sort(out.begin(), out.end(), [&](const ModelScorer& a, const ModelScorer& b) {
        if (a.goals != b.goals) return a.goals > b.goals;
        const int byName = QString::compare(names[a.player], names[b.player], Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.player < b.player;
    });
    return out;
}

}  // namespace xbtest
