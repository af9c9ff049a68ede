// The league library as the windows call it, each routine opening its own table per call, beside the
// same finds and writes on one table kept open through the command layer, in the same run: a team name,
// a season's rules, a season's team list, and a season of 380 matches saved and then updated.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/settings/app_files.h"
#include "app/data/league_access.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_text.h"
#include "app/data/league_writes.h"
#include "bench/bench_report.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "platform/locale_facts.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTeams = 20;

double perSecond(int n, const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    return s > 0 ? n / s : 0;
}

struct Match {
    int day, home, away, g1, g2;
};

std::vector<Match> season() {
    std::vector<Match> out;
    std::vector<int> ring;
    for (int t = 1; t <= kTeams; ++t) ring.push_back(t);
    for (int round = 0; round < kTeams - 1; ++round) {
        for (int i = 0; i < kTeams / 2; ++i) {
            const int a = ring[static_cast<size_t>(i)], b = ring[static_cast<size_t>(kTeams - 1 - i)];
            out.push_back({round + 1, a, b, (a + round) % 4, (b + round) % 3});
            out.push_back({round + kTeams, b, a, (b + round) % 3, (a + round) % 4});
        }
        ring.insert(ring.begin() + 1, ring.back());
        ring.pop_back();
    }
    return out;
}

std::unique_ptr<xb::TXbDbf> keptOpen(const std::string& file, const char* tag) {
    std::unique_ptr<xb::TXbDbf> t;
    if (!app::OpenTable(t, file)) std::exit(1);
    t->SetOrderToTag(tag);
    return t;
}

// The match entry's save written directly on the command layer: seek, scan, append blank, replace.
void directSave(xb::TXbDbf& t, int championship, const Match& m, int shift) {
    t.Find(app::NumberKey({{championship, 3}, {2026, 4}, {m.day, 3}, {m.home, 5}}));
    t.SetWhileTo("ANNEE=2026 .AND. NUCHAMP=" + std::to_string(championship) +
                 " .AND. NUJOURNEE=" + std::to_string(m.day) + " .AND. NUEQ1=" + std::to_string(m.home));
    bool found = false;
    while (!t.IsEof() && !(found = t.FieldGetInt("NUEQ2") == m.away)) t.Skip(1);
    t.SetWhileTo("");
    if (!found) {
        t.ALock();
        t.AppendBlank();
        t.UnLock();
    }
    t.RLock();
    for (auto [f, v] : {std::pair{"NUCHAMP", championship},
                        {"ANNEE", 2026},
                        {"NUJOURNEE", m.day},
                        {"NUEQ1", m.home},
                        {"NUEQ2", m.away},
                        {"BEQ1", m.g1 + shift},
                        {"BEQ2", m.g2},
                        {"PTEQ1", 0},
                        {"PTEQ2", 0}})
        t.FieldPutInt(f, v);
    t.FieldPutStr("CODER", "AU");
    t.ReplaceRec();
    t.UnLock();
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    char dir[] = "/tmp/bench-league-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    app::SetAppDir(dir);
    {
        app::Tfsysteme fsysteme;
        app::CloseSystemTables(fsysteme);
    }
    {
        std::unique_ptr<xb::TXbDbf> equipe, champan;
        app::OpenTable(equipe, "equipe.dbf");
        app::OpenTable(champan, "champan.dbf");
        for (int t = 1; t <= kTeams; ++t) app::CreateTeam(*equipe, "Team " + QString::number(t));
        app::SaveSeasonParams(*champan, 1, 2026, {3, 1, 0, 3, 0, kTeams, 0});
        app::CloseTable(equipe);
        app::CloseTable(champan);
        for (int t = 1; t <= kTeams; ++t) app::AddTeamToChampionship(2026, 1, t);
    }

    int failures = 0;
    const int lookups = 2000;
    {
        const double lib = perSecond(lookups, [&] {
            for (int i = 0; i < lookups; ++i) failures += app::GetTeamName(1 + i % kTeams).isEmpty();
        });
        auto t = keptOpen("equipe.dbf", "NUMERO");
        const double open = perSecond(lookups, [&] {
            for (int i = 0; i < lookups; ++i) failures += !t->Find(std::to_string(1 + i % kTeams));
        });
        bench::ReportFigure("GetTeamName (own open per call)", lib, "lookups/s", "find on a table kept open",
                            open);
    }
    {
        const double lib = perSecond(lookups, [&] {
            for (int i = 0; i < lookups; ++i) failures += app::GetSeasonParams(1, 2026).teams != kTeams;
        });
        auto t = keptOpen("champan.dbf", "ANNEECHAMP");
        const double open = perSecond(lookups, [&] {
            for (int i = 0; i < lookups; ++i) {
                failures += !t->FindExact(app::NumberKey({{2026, 4}, {1, 3}}));
                for (const char* f : {"PTV", "PTN", "PTD", "PTFV", "PTFD", "NBEQUIPE", "NBJOURNEE"})
                    t->FieldGetInt(f);
            }
        });
        bench::ReportFigure("GetSeasonParams (own open per call)", lib, "calls/s",
                            "find on a table kept open", open);
    }
    {
        const int fills = 300;
        const double lib = perSecond(fills, [&] {
            for (int i = 0; i < fills; ++i)
                failures += app::SeasonTeamEntries(2026, 1, true).size() != kTeams;
        });
        auto links = keptOpen("eqchamp.dbf", "ANNEECHAMP");
        auto teams = keptOpen("equipe.dbf", "NUMERO");
        const double open = perSecond(fills, [&] {
            for (int i = 0; i < fills; ++i) {
                QStringList names;
                if (links->Find(app::NumberKey({{2026, 4}, {1, 3}}))) {
                    links->SetWhileTo("ANNEE=2026 .AND. NUCHAMP=1");
                    for (; !links->IsEof(); links->Skip(1))
                        if (teams->Find(std::to_string(links->FieldGetInt("NUEQUIPE"))))
                            names << QString::fromStdString(teams->FieldGetStr("NOMEQUIPE"));
                    links->SetWhileTo("");
                }
                failures += names.size() != kTeams;
            }
        });
        bench::ReportFigure("FillSeasonTeams (two own opens per call)", lib, "lists/s",
                            "the same on two tables kept open", open);
    }
    {
        const std::vector<Match> matches = season();
        const int n = static_cast<int>(matches.size());
        std::unique_ptr<xb::TXbDbf> t;
        app::OpenTable(t, "resultat.dbf");
        auto save = [&](int championship, int shift) {
            for (const Match& m : matches)
                failures += !app::SaveMatchResult(
                    *t, {championship, 2026, m.day, m.home, m.away, m.g1 + shift, m.g2, "AU", 0, 0});
        };
        const double libNew = perSecond(n, [&] { save(1, 0); });
        const double libUpdate = perSecond(n, [&] { save(1, 1); });
        const double directNew = perSecond(n, [&] {
            for (const Match& m : matches) directSave(*t, 2, m, 0);
        });
        const double directUpdate = perSecond(n, [&] {
            for (const Match& m : matches) directSave(*t, 2, m, 1);
        });
        failures += t->RecCount() != 2 * n;
        app::CloseTable(t);
        bench::ReportFigure("SaveMatchResult, 380 new matches", libNew, "saves/s",
                            "seek, append blank, replace on the command layer", directNew);
        bench::ReportFigure("SaveMatchResult, 380 updates", libUpdate, "saves/s",
                            "seek, replace on the command layer", directUpdate);
    }
    if (failures) std::printf("%d lookups or saves failed\n", failures);
    const int rc = std::system((std::string("rm -rf ") + dir).c_str());
    return failures == 0 && rc == 0 ? 0 : 1;
}
