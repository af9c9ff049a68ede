// One season's standings (3 sides x 6 orders) and its scorers computed from a database holding that one
// season and from one holding 100 seasons, beside the same standings computed from the rows in memory,
// in the same run. The three give one checksum; the 100-season figure should stay within 1.2x of the
// one-season figure, since the scan reads one season's key range only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/reports/scorers.h"
#include "app/reports/standings.h"
#include "app/settings/app_files.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "bench/bench_report.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/locale_facts.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTeams = 20, kYear = 2026, kTarget = 1;

struct Match {
    int day, home, away, g1, g2;
};

std::vector<Match> season(int salt) {
    std::vector<Match> out;
    std::vector<int> ring;
    for (int t = 1; t <= kTeams; ++t) ring.push_back(t);
    for (int round = 0; round < kTeams - 1; ++round) {
        for (int i = 0; i < kTeams / 2; ++i) {
            const int a = ring[static_cast<size_t>(i)], b = ring[static_cast<size_t>(kTeams - 1 - i)];
            out.push_back({round + 1, a, b, (a * 7 + round + salt) % 5, (b * 3 + round) % 4});
            out.push_back({round + kTeams, b, a, (b + round + salt) % 4, (a * 5 + round) % 3});
        }
        ring.insert(ring.begin() + 1, ring.back());
        ring.pop_back();
    }
    return out;
}

void put(xb::TXbDbf& t, std::initializer_list<std::pair<const char*, int>> values,
         const char* code = nullptr) {
    t.ALock();
    t.AppendBlank();
    t.UnLock();
    t.RLock();
    for (auto [f, v] : values) t.FieldPutInt(f, v);
    if (code) t.FieldPutStr("CODER", code);
    t.ReplaceRec();
    t.UnLock();
}

// A database of the given number of championships, each one season of 20 teams with goals.
void fill(const std::string& dir, int championships) {
    app::SetAppDir(QString::fromStdString(dir + "/"));
    {
        app::Tfsysteme fsysteme;
        app::CloseSystemTables(fsysteme);
    }
    std::map<std::string, std::unique_ptr<xb::TXbDbf>> t;
    for (const char* f :
         {"equipe.dbf", "champan.dbf", "eqchamp.dbf", "resultat.dbf", "but.dbf", "joueur.dbf"}) {
        app::OpenTable(t[f], f);
    }
    for (int team = 1; team <= kTeams; ++team) {
        put(*t["equipe.dbf"], {{"NUEQUIPE", team}});
        t["equipe.dbf"]->RLock();
        t["equipe.dbf"]->FieldPutStr("NOMEQUIPE", "Team " + std::to_string(team));
        t["equipe.dbf"]->ReplaceRec();
        t["equipe.dbf"]->UnLock();
        for (int s = 1; s <= 5; ++s) {
            put(*t["joueur.dbf"], {{"NUJOUEUR", team * 100 + s}});
            t["joueur.dbf"]->RLock();
            t["joueur.dbf"]->FieldPutStr("NOMJOUEUR", "Player " + std::to_string(team * 100 + s));
            t["joueur.dbf"]->ReplaceRec();
            t["joueur.dbf"]->UnLock();
        }
    }
    for (int c = 1; c <= championships; ++c) {
        put(*t["champan.dbf"],
            {{"ANNEE", kYear}, {"NUCHAMP", c}, {"PTV", 3}, {"PTN", 1}, {"NBEQUIPE", kTeams}});
        for (int team = 1; team <= kTeams; ++team)
            put(*t["eqchamp.dbf"], {{"ANNEE", kYear}, {"NUCHAMP", c}, {"NUEQUIPE", team}});
        for (const Match& m : season(c)) {
            put(*t["resultat.dbf"],
                {{"NUCHAMP", c},
                 {"ANNEE", kYear},
                 {"NUJOURNEE", m.day},
                 {"NUEQ1", m.home},
                 {"NUEQ2", m.away},
                 {"BEQ1", m.g1},
                 {"BEQ2", m.g2}},
                m.g1 > m.g2   ? "V1"
                : m.g1 < m.g2 ? "V2"
                              : "N ");
            for (int g = 0; g < m.g1 + m.g2; ++g) {
                const bool home = g < m.g1;
                put(*t["but.dbf"], {{"NUCHAMP", c},
                                    {"ANNEE", kYear},
                                    {"NUJOURNEE", m.day},
                                    {"NUEQ1", m.home},
                                    {"NUEQ2", m.away},
                                    {"NUJOUEUR", (home ? m.home : m.away) * 100 + 1 + (m.day + g) % 5},
                                    {"NUEQBEN", home ? 1 : 2},
                                    {"MINUTE", 10 + g},
                                    {"TYPE", 1}});
            }
        }
    }
    for (auto& [f, table] : t) app::CloseTable(table);
}

long checksumOf(const std::vector<app::StandingsRow>& rows) {
    long sum = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        sum += static_cast<long>(i + 1) * rows[i].team * 1000 + rows[i].c.points * 7 +
               rows[i].c.goalsFor * 3 + rows[i].c.goalsAgainst;
    return sum;
}

// The 18 standings of the target season from the tables; answers the checksum.
long fromTables(int repeats, int* scorers) {
    long sum = 0;
    for (int r = 0; r < repeats; ++r) {
        sum = 0;
        for (int side = 0; side <= 2; ++side)
            for (int order = 0; order <= 5; ++order)
                sum += checksumOf(app::ComputeStandingsGrid({kTarget, kYear, 1, 38, order, side}).rows);
        *scorers = static_cast<int>(app::BuildScorersTable({kTarget, kYear, 1, 38, 0, 0}).size());
    }
    return sum;
}

// The same standings from the season's rows held in memory, sorted with std::sort.
long fromMemory(int repeats) {
    const std::vector<Match> matches = season(kTarget);
    long sum = 0;
    for (int r = 0; r < repeats; ++r) {
        sum = 0;
        for (int side = 0; side <= 2; ++side) {
            for (int order = 0; order <= 5; ++order) {
                std::vector<app::StandingsRow> rows(kTeams);
                for (int t = 0; t < kTeams; ++t) rows[static_cast<size_t>(t)].team = t + 1;
                for (const Match& m : matches) {
                    const auto [home, away] = app::MatchCounters({m.day, m.home, m.away, m.g1, m.g2,
                                                                  m.g1 > m.g2   ? "V1"
                                                                  : m.g1 < m.g2 ? "V2"
                                                                                : "N",
                                                                  0, 0},
                                                                 {3, 1, 0, 0, 0, kTeams, 38});
                    auto add = [&](int team, const app::StandingsCounters& c) {
                        auto& x = rows[static_cast<size_t>(team - 1)].c;
                        x.points += c.points, x.played += c.played, x.wins += c.wins, x.draws += c.draws;
                        x.defeats += c.defeats, x.goalsFor += c.goalsFor, x.goalsAgainst += c.goalsAgainst;
                    };
                    if (side != 2) add(m.home, home);
                    if (side != 1) add(m.away, away);
                }
                const bool down = app::StandingsDescending(order);
                std::sort(rows.begin(), rows.end(),
                          [&](const app::StandingsRow& a, const app::StandingsRow& b) {
                              const std::string ka = app::StandingsOrderKey(order, a.c),
                                                kb = app::StandingsOrderKey(order, b.c);
                              if (ka != kb) return down ? ka > kb : ka < kb;
                              // Tie rule: "Team N" names order as text.
                              return std::to_string(a.team) < std::to_string(b.team);
                          });
                sum += checksumOf(rows);
            }
        }
    }
    return sum;
}

double seconds(const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    char one[] = "/tmp/bench-standings-1-XXXXXX", many[] = "/tmp/bench-standings-100-XXXXXX";
    if (!mkdtemp(one) || !mkdtemp(many)) return 1;
    fill(many, 100);
    fill(one, 1);
    const int repeats = 5;
    int scorersOne = 0, scorersMany = 0;
    long sumOne = 0, sumMany = 0, sumMemory = 0;
    app::SetAppDir(QString(one) + "/");
    const double sOne = seconds([&] { sumOne = fromTables(repeats, &scorersOne); });
    app::SetAppDir(QString(many) + "/");
    const double sMany = seconds([&] { sumMany = fromTables(repeats, &scorersMany); });
    const double sMemory = seconds([&] { sumMemory = fromMemory(repeats * 100); }) / 100;
    std::printf("checksums: 1 season %ld, 100 seasons %ld, in memory %ld; scorers %d / %d\n", sumOne, sumMany,
                sumMemory, scorersOne, scorersMany);
    std::printf(
        "per season (18 standings + scorers): 1 season %.1f ms, 100 seasons %.1f ms (%.2fx), in memory "
        "%.3f ms (standings only)\n",
        sOne / repeats * 1000, sMany / repeats * 1000, sMany / sOne, sMemory / repeats * 1000);
    bench::ReportFigure("standings 18 orders + scorers, database of 1 season", repeats / sOne, "seasons/s",
                        "the same standings from rows in memory", repeats / sMemory);
    bench::ReportFigure("standings 18 orders + scorers, database of 100 seasons", repeats / sMany,
                        "seasons/s", "the same from a database of 1 season", repeats / sOne);
    const bool same = sumOne == sumMany && sumOne == sumMemory && scorersOne == scorersMany && scorersOne > 0;
    if (!same) std::printf("the three computations disagree\n");
    const int rc = std::system((std::string("rm -rf ") + one + " " + many).c_str());
    return same && rc == 0 ? 0 : 1;
}
