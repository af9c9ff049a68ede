// What each window's computation costs on a network share, where every file-system call is a round trip:
// the calls it makes by kind and its time with every call waiting 1 ms first, on a database of one season
// and on one of 34 seasons, beside a floor: the calls a design that opens each table it needs once and
// reads its rows in 64 KB blocks would make. The local time (no wait) is given with each figure.
//
// The season is the test suite's generated one (20 teams, 38 matchdays, squads, goals and cards); the 34
// seasons repeat it year after year. A new match is one of the season's last matchday, left out of the
// generated rows, stored with 3 goals and 2 cards. Another match of the season is taken out (its row,
// goals and cards deleted) and stored again as new the same day, then stored once more. Each is counted
// cold (the first after the kept tables' idle time: the tables nothing holds opened) and warm (again
// within it). The stores go through resultat as the match entry window keeps it, with the goals and
// cards tables it holds while it shows.
//
// Usage: bench_network_share [--quick] [--only TEXT] [--seasons N] [--fill DIR]
//   --quick: no 1 ms runs, the counts only; --only: the computations whose name holds TEXT, on one season
//   unless --seasons N (1 or 34) names the database (to follow one computation's calls with strace);
//   --fill DIR: only makes the database of N seasons (1 unless given) in DIR, for a real program's start.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/editing/match_entry.h"
#include "app/reports/championship_stats.h"
#include "app/reports/head_to_head.h"
#include "app/reports/prevision.h"
#include "app/reports/results_grid.h"
#include "app/reports/scorers.h"
#include "app/reports/standings.h"
#include "app/reports/standings_by_day.h"
#include "app/reports/team_info.h"
#include "app/reports/team_matches.h"
#include "app/settings/app_files.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/settings/param_file.h"
#include "app/data/table_check.h"
#include "app/data/table_pack.h"
#include "bench/bench_report.h"
#include "bench/support/league_seasons.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/mdx_agreement.h"
#include "platform/file.h"
#include "platform/locale_facts.h"
#include "tests/support/league_season.h"

namespace {

using Clock = std::chrono::steady_clock;
using xb::platform::FileCallCounts;

using bench::fill;
using bench::kChampionship;
using bench::kOpponent;
using bench::kTeam;
using bench::kYear;
using bench::seasons;
using bench::unplayed;
constexpr int kBlock = 65536;

// The floor of a computation: for each table it reads, the open of the table and its index, one read of
// their headers and the key path, its rows in 64 KB blocks and the two closes; for each table it writes,
// the lock and unlock, one write of the rows, one of each changed tag's leaf and one of the header.
struct TableUse {
    std::string file;
    long rows;  // rows read
    int writtenTags = 0;
};

std::map<std::string, int> g_recordLength;

long floorCalls(const std::vector<TableUse>& uses) {
    long calls = 0;
    for (const TableUse& u : uses) {
        const long bytes = u.rows * g_recordLength[u.file];
        calls += 5 + (bytes + kBlock - 1) / kBlock;
        if (u.writtenTags) calls += 4 + u.writtenTags;
    }
    return calls;
}

int recordLength(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    unsigned char h[12] = {};
    const size_t got = f ? std::fread(h, 1, sizeof h, f) : 0;
    if (f) std::fclose(f);
    return got == sizeof h ? h[10] | h[11] << 8 : 0;
}

std::string callsText(const FileCallCounts& c) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "r %lu w %lu l %lu u %lu s %lu o %lu x %lu d %lu = %lu",
                  static_cast<unsigned long>(c.read), static_cast<unsigned long>(c.write),
                  static_cast<unsigned long>(c.lock), static_cast<unsigned long>(c.unlock),
                  static_cast<unsigned long>(c.stat), static_cast<unsigned long>(c.open),
                  static_cast<unsigned long>(c.other), static_cast<unsigned long>(c.list),
                  static_cast<unsigned long>(c.total()));
    return buf;
}

struct Measure {
    FileCallCounts calls;
    double localSeconds = 0;
    double shareSeconds = 0;
};

// prepare runs before each measured run, outside the counts and the time.
Measure measure(const std::function<void()>& run, const std::function<void()>& prepare, bool quick) {
    Measure m;
    m.localSeconds = 1e9;
    for (int i = 0; i < 3; ++i) {
        if (prepare) prepare();
        const FileCallCounts c0 = xb::platform::FileCalls();
        const auto t0 = Clock::now();
        run();
        m.localSeconds = std::min(m.localSeconds, std::chrono::duration<double>(Clock::now() - t0).count());
        m.calls = xb::platform::FileCalls() - c0;
    }
    if (!quick) {
        if (prepare) prepare();
        xb::platform::SetFileCallLatency(std::chrono::milliseconds(1));
        const auto t0 = Clock::now();
        run();
        m.shareSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        xb::platform::SetFileCallLatency(std::chrono::microseconds(0));
    }
    return m;
}

long countRows(const std::vector<xbtest::SeasonTable>& tables, const std::string& file,
               const std::function<bool(const std::map<std::string, int>&)>& accept) {
    long n = 0;
    for (const auto& t : tables) {
        if (t.file != file) continue;
        for (const auto& row : t.rows) {
            std::map<std::string, int> v;
            for (size_t i = 0; i < t.fieldNames.size(); ++i)
                v[t.fieldNames[i]] = std::atoi(row[i].c_str());
            n += accept(v) ? 1 : 0;
        }
    }
    return n;
}

struct Computation {
    std::string name;
    std::function<void()> run;
    std::vector<TableUse> floor;
    std::function<void()> prepare = {};
};

std::vector<app::MatchEvent> g_goals = {{kTeam * 100 + 1, 12, 0, 1}, {kTeam * 100 + 2, 40, 1, 1},
                                        {kOpponent * 100 + 3, 77, 0, 2}};
std::vector<app::MatchEvent> g_cards = {{kTeam * 100 + 4, 30, 0, 1}, {kOpponent * 100 + 5, 61, 1, 2}};

// The match's goals and cards: g_goals and g_cards given to its two teams' players.
std::vector<app::MatchEvent> eventsOf(const app::MatchRow& m, std::vector<app::MatchEvent> events) {
    for (auto& e : events) e.player = (e.team == 1 ? m.home : m.away) * 100 + e.player % 100;
    return events;
}

int run(const std::string& dir, int count, bool quick, const std::string& only, int* failures) {
    std::vector<xbtest::SeasonTable> tables = seasons(count);
    // Eight: the cold and the warm counts each store four matches never stored before.
    const std::vector<app::MatchRow> newMatches = unplayed(tables, 8);
    size_t nextNew = 0;
    fill(dir, tables);
    app::SetAppDir(QString::fromStdString(dir + "/"));
    for (const auto& def : app::LeagueTables()) g_recordLength[def.file] = recordLength(dir + "/" + def.file);
    auto all = [&](const std::string& f) { return countRows(tables, f, [](const auto&) { return true; }); };
    auto ofSeason = [&](const std::string& f) {
        return countRows(tables, f, [](const auto& v) {
            return v.at("annee") == kYear && (!v.count("nuchamp") || v.at("nuchamp") == kChampionship);
        });
    };
    auto ofTeam = [&](const std::string& f) {
        return countRows(tables, f, [](const auto& v) {
            return v.at("annee") == kYear && (v.at("nueq1") == kTeam || v.at("nueq2") == kTeam);
        });
    };
    auto meetings = [&] {
        return countRows(tables, "resultat.dbf", [](const auto& v) {
            return (v.at("nueq1") == kTeam && v.at("nueq2") == kOpponent) ||
                   (v.at("nueq1") == kOpponent && v.at("nueq2") == kTeam);
        });
    };
    // The match taken out and stored again: the first of team 3 at home.
    app::MatchRow match;
    for (const auto& t : tables)
        if (t.file == "resultat.dbf")
            for (const auto& r : t.rows)
                if (std::stoi(r[1]) == kYear && std::stoi(r[3]) == kTeam) {
                    match = {kChampionship, kYear, std::stoi(r[2]), kTeam, std::stoi(r[4]), 2, 1, "V1", 0, 0};
                    break;
                }
    const app::MatchKey key{match.championship, match.year, match.matchday, match.home, match.away};
    for (auto& e : g_goals) e.player = (e.team == 1 ? match.home : match.away) * 100 + e.player % 100;
    for (auto& e : g_cards) e.player = (e.team == 1 ? match.home : match.away) * 100 + e.player % 100;

    // The match entry window keeps resultat open, and holds the goals and cards tables while it shows.
    std::unique_ptr<xb::TXbDbf> results;
    std::unique_ptr<app::KeptTableHold> eventTables;
    auto openResults = [&] {
        if (!results) app::OpenTable(results, "resultat.dbf");
        if (!eventTables) eventTables = std::make_unique<app::KeptTableHold>(app::kEventTableFiles);
    };
    auto closeResults = [&] {
        eventTables.reset();
        results.reset();
    };
    auto storeNew = [&] {
        openResults();
        const app::MatchRow& m = newMatches[nextNew++ % newMatches.size()];
        if (app::StoreMatch(*results, m, eventsOf(m, g_goals), eventsOf(m, g_cards), false) !=
            app::StoreOutcome::Saved)
            ++*failures;
    };
    auto store = [&](bool mustExist) {
        openResults();
        if (app::StoreMatch(*results, match, g_goals, g_cards, mustExist) != app::StoreOutcome::Saved) ++*failures;
    };
    auto takeOut = [&] {
        openResults();
        if (!app::DeleteMatch(*results, key)) ++*failures;
    };

    // The program's start: the table check (every note's pointer included: the season's players carry
    // 539 notes), then the nine tables opened, each index checked against its table as it opens. They
    // stay open until the first activation closes them (closeTables).
    std::unique_ptr<app::Tfsysteme> opened;
    auto closeTables = [&] {
        if (opened) app::CloseSystemTables(*opened);
        opened.reset();
        app::KeepTablesAsTheyAre({}, {});
    };
    auto start = [&] {
        closeResults();
        closeTables();
        xb::platform::NameLookupScope names;  // as the program's start: one listing for the check and the opens
        const std::vector<app::TableProblem> problems = app::CheckLeagueDatabase(dir + "/");
        *failures += !problems.empty();
        app::KeepTablesAsTheyAre(app::TablesKeptReadOnly(problems), app::TablesKeptUnpacked(problems));
        xb::CheckIndexesAsOpened agreement;
        opened = std::make_unique<app::Tfsysteme>();
        *failures += !agreement.found().empty();
    };
    // The program's close: the tables packed that a pack would change; how many were.
    auto close = [&] {
        int packed = 0;
        for (const app::TablePackResult& r : app::PackAllTables(QString::fromStdString(dir + "/"))) {
            *failures += r.outcome != app::PackOutcome::Packed && r.outcome != app::PackOutcome::AsItIs;
            packed += r.outcome == app::PackOutcome::Packed;
        }
        return packed;
    };

    const long season = ofSeason("resultat.dbf"), goals = ofSeason("but.dbf");
    const std::vector<TableUse> rules = {{"champan.dbf", 1}, {"eqchamp.dbf", ofSeason("eqchamp.dbf")}};
    // A close reads every table whole.
    std::vector<TableUse> everyTable;
    for (const auto& def : app::LeagueTables()) everyTable.push_back({def.file, all(def.file)});
    auto with = [](std::vector<TableUse> a, const std::vector<TableUse>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<Computation> computations = {
        {"scorers",
         [&] {
             *failures += app::BuildScorersTable({kChampionship, kYear, 1, 38, 0, 0}).empty();
         },
         {{"but.dbf", goals},
          {"joueur.dbf", all("joueur.dbf")},
          {"equipe.dbf", all("equipe.dbf")},
          {"joueq.dbf", ofSeason("joueq.dbf")}}},
        {"team information (with its scorers)",
         [&] {
             app::LeagueReading reading;  // as the window does: one for the charts and the scorers
             *failures += !app::ComputeTeamInfo(reading, kChampionship, kYear, kTeam).computed;
             *failures += app::ComputeTeamScorers(reading, kChampionship, kYear, kTeam).empty();
         },
         with(rules, {{"resultat.dbf", season},
                      {"but.dbf", goals},
                      {"joueur.dbf", all("joueur.dbf")},
                      {"equipe.dbf", all("equipe.dbf")}})},
        {"standings",
         [&] {
             *failures += app::ComputeStandingsGrid({kChampionship, kYear, 1, 38, 0, 0}).rows.empty();
         },
         with(rules, {{"resultat.dbf", season}, {"equipe.dbf", all("equipe.dbf")}})},
        {"standings by matchday",
         [&] { *failures += app::ComputeStandingsByDay(kChampionship, kYear, 1, 38, kTeam).size() != 39; },
         with(rules, {{"resultat.dbf", season}})},
        {"results grid", [&] { *failures += app::ComputeResultsGrid(kChampionship, kYear).names.empty(); },
         with(rules, {{"resultat.dbf", season}, {"equipe.dbf", all("equipe.dbf")}})},
        {"team matches",
         [&] { *failures += app::ComputeTeamMatches(kChampionship, kYear, kTeam, 0).rows.empty(); },
         with(rules, {{"resultat.dbf", ofTeam("resultat.dbf")}, {"equipe.dbf", all("equipe.dbf")}})},
        {"prediction",
         [&] {
             *failures += !app::ComputePrevision({3, kChampionship, kYear, 38, kTeam, kOpponent}).has_value();
         },
         with(rules, {{"resultat.dbf", season + meetings()}})},
        {"championship statistics",
         [&] { *failures += app::ComputeChampionshipStats(kChampionship, kYear).homeGoals == 0; },
         with(rules, {{"resultat.dbf", season}})},
        {"head-to-head",
         [&] { *failures += app::ComputeHeadToHead(kTeam, kOpponent, true).rows.empty(); },
         {{"resultat.dbf", meetings()}, {"champion.dbf", all("champion.dbf")}}},
        {"store a new match (3 goals, 2 cards)",
         storeNew,
         {{"resultat.dbf", 1, 5}, {"but.dbf", 0, 4}, {"carton.dbf", 0, 4}}},
        // The same match taken out earlier the same day: its rows wait in the tables, deleted, for the pack.
        {"store a match taken out the same day",
         [&] { store(false); },
         {{"resultat.dbf", 1, 5}, {"but.dbf", 0, 4}, {"carton.dbf", 0, 4}},
         takeOut},
        {"store the same match again",
         [&] { store(true); },
         {{"resultat.dbf", 1, 5}, {"but.dbf", 3, 4}, {"carton.dbf", 2, 4}}},
        // As a user corrects a stored match: one goal's minute changes at each store.
        {"store the match again, one goal changed",
         [&] {
             g_goals[0].minute = g_goals[0].minute == 12 ? 13 : 12;
             store(true);
         },
         {{"resultat.dbf", 1, 0}, {"but.dbf", 3, 4}, {"carton.dbf", 2, 0}}},
        {"the season's team list",
         [&] { *failures += app::SeasonTeamEntries(kYear, kChampionship, true).isEmpty(); },
         {{"eqchamp.dbf", ofSeason("eqchamp.dbf")}, {"equipe.dbf", all("equipe.dbf")}}},
        {"program start (table check, nine tables opened)",
         start,
         {{"champan.dbf", 0},
          {"champion.dbf", 0},
          {"eqchamp.dbf", 0},
          {"resultat.dbf", 0},
          {"equipe.dbf", 0},
          {"joueur.dbf", 0},
          {"joueq.dbf", 0},
          {"but.dbf", 0},
          {"carton.dbf", 0}},
         closeTables},
        // As the program ends: each table packed when the pack would change it. After a session that only
        // read (what earlier sessions left was packed first) nothing is; after a new match (rows appended)
        // nothing is either; after a match taken out and stored again, the tables that hold its deleted
        // rows are.
        {"program close after a session that only read",
         [&] { *failures += close() != 0; },
         everyTable,
         [&] {
             closeResults();
             closeTables();
             close();
         }},
        {"program close after a new match stored",
         [&] { *failures += close() != 0; },
         everyTable,
         [&] {
             close();
             storeNew();
             closeResults();
         }},
        {"program close after a match taken out and stored again",
         [&] { *failures += close() == 0; },
         everyTable,
         [&] {
             close();
             takeOut();
             store(false);
             closeResults();
         }},
        // The start and the close of a session that wrote nothing, as one: the nine tables closed at the
        // first activation between them.
        {"program start and close, nothing written",
         [&] {
             start();
             closeTables();
             *failures += close() != 0;
         },
         {},
         [&] {
             closeResults();
             closeTables();
             close();
         }},
    };
    const std::string where = count == 1 ? "1 season" : std::to_string(count) + " seasons";
    std::printf("\n%s: %-38s %28s %9s %9s %6s\n", where.c_str(), "computation", "calls by kind", "at 1 ms",
                "local", "floor");
    for (const Computation& c : computations) {
        if (c.name.find(only) == std::string::npos) continue;
        const long floor = floorCalls(c.floor);
        // Cold: the first computation after the idle time, its tables opened; warm: done again within
        // the idle time, on the tables the last run kept. The start and the close release them anyway.
        const bool program = c.name.rfind("program", 0) == 0;
        for (const bool warm : {false, true}) {
            if (warm && program) continue;
            const Measure m = measure(c.run,
                                      [&] {
                                          if (c.prepare) c.prepare();
                                          // The idle time passed: every kept table nothing holds is closed.
                                          if (!warm) {
                                              app::SetKeptTableIdle(std::chrono::milliseconds(0));
                                              app::ReleaseIdleKeptTables();
                                              app::SetKeptTableIdle(app::kKeptTableIdle);
                                          }
                                      },
                                      quick);
            const std::string name = c.name + (warm ? " (warm)" : "");
            std::printf("%-48s %-44s %7.0f ms %6.2f ms %6ld\n", name.c_str(), callsText(m.calls).c_str(),
                        m.shareSeconds * 1000, m.localSeconds * 1000, floor);
            char extra[96];
            std::snprintf(extra, sizeof extra, "; local %.2f ms", m.localSeconds * 1000);
            if (!quick)
                bench::ReportFigure("network share, " + where + ": " + name, 60 / m.shareSeconds, "runs/min",
                                    "floor: " + std::to_string(floor) + " calls at 1 ms", 60000.0 / floor,
                                    callsText(m.calls) + extra);
        }
    }
    app::ReleaseKeptTables();
    closeResults();
    closeTables();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string only;
    int seasonsOnly = 0;
    std::string fillDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fill") == 0 && i + 1 < argc) fillDir = argv[++i];
        if (std::strcmp(argv[i], "--seasons") == 0 && i + 1 < argc) seasonsOnly = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    }
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    if (!fillDir.empty()) {
        std::vector<xbtest::SeasonTable> tables = seasons(seasonsOnly > 0 ? seasonsOnly : 1);
        unplayed(tables, 4);
        fill(fillDir, tables);
        // The settings of a station that chose its language: the start asks nothing.
        app::ParamRecord settings;
        settings.language = 2;
        settings.seasonYear = kYear;
        const auto bytes = app::EncodeParamRecord(settings);
        FILE* f = std::fopen((fillDir + "/PELMORAD32.PAR").c_str(), "wb");
        const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) std::fclose(f);
        return written ? 0 : 1;
    }
    int failures = 0;
    for (int count : {1, 34}) {
        if (seasonsOnly ? count != seasonsOnly : !only.empty() && count > 1) continue;
        char dir[] = "/tmp/bench-share-XXXXXX";
        if (!mkdtemp(dir)) return 1;
        run(dir, count, quick, only, &failures);
        if (std::system((std::string("rm -rf ") + dir).c_str()) != 0) ++failures;
    }
    if (failures) std::printf("%d computations gave no answer\n", failures);
    return failures ? 1 : 0;
}
