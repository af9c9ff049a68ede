// The program's start and end as a user meets them: the real executable copied into a folder and run
// offscreen with the measurement switch (docs/program-start.md), which ends the run once the first
// activation is over. Figures: the time from the spawn to the end of the first activation and to the end of
// the shutdown (which packs seven tables), for the first start in an empty folder (the database is created),
// a second start there, and a start beside a large database (30 seasons of 380 matches with goals, cards and
// squads, and a note for every player). Baselines in the same run: a bare Qt Widgets program showing one
// window, and reading every byte of the large database. The start beside the large database should stay
// within 1.5x of the second start in the empty folder: no index is rebuilt and no table read whole.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/settings/app_files.h"
#include "app/data/league_lookups.h"
#include "app/data/league_database.h"
#include "app/settings/param_file.h"
#include "bench/bench_report.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/locale_facts.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTeams = 20, kSeasons = 30, kFirstYear = 1996, kRuns = 5;

long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Timing {
    double activated = 0;  // seconds from the spawn
    double shutdown = 0;
    bool ok = false;
};

// Runs exe with "--measure FILE" (or FILE alone for the bare window) and reads its clock readings.
Timing Run(const std::string& exe, bool program, const std::string& dir) {
    const std::string file = dir + "/measure.txt";
    fs::remove(file);
    std::vector<std::string> args = {exe};
    if (program) args.push_back("--measure");
    args.push_back(file);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const long long spawned = Now();
    pid_t pid = -1;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return {};
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(file);
    std::map<std::string, long long> at;
    std::string key;
    long long value = 0;
    while (in >> key >> value) at[key] = value;
    if (!at.count("activated") || !at.count("shutdown")) return {};
    return {(at["activated"] - spawned) / 1e9, (at["shutdown"] - spawned) / 1e9, true};
}

Timing Median(std::vector<Timing> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Timing& a, const Timing& b) { return a.activated < b.activated; });
    Timing m = runs[runs.size() / 2];
    std::vector<double> ends;
    for (const Timing& t : runs) ends.push_back(t.shutdown);
    std::sort(ends.begin(), ends.end());
    m.shutdown = ends[ends.size() / 2];
    return m;
}

// A folder holding a copy of the program and its settings (so that no language is asked).
std::string ProgramFolder(const std::string& dir, const std::string& exe) {
    fs::create_directories(dir);
    const std::string copy = dir + "/pelmorad32";
    fs::copy_file(exe, copy, fs::copy_options::overwrite_existing);
    app::ParamRecord settings;
    settings.language = 2;
    settings.seasonYear = kFirstYear + kSeasons - 1;
    const auto bytes = app::EncodeParamRecord(settings);
    std::ofstream(dir + "/PELMORAD32.PAR", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return copy;
}

void Put(xb::TXbDbf& t, std::initializer_list<std::pair<const char*, int>> values,
         const char* field = nullptr, const std::string& text = {}) {
    t.ALock();
    t.AppendBlank();
    t.UnLock();
    t.RLock();
    for (auto [f, v] : values) t.FieldPutInt(f, v);
    if (field) t.FieldPutStr(field, text);
    t.ReplaceRec();
    t.UnLock();
}

// 30 seasons of one championship: 20 teams, 38 matchdays of 10 matches, goals by squad players, one card a
// match, squads of 5 players a team and season, a note for each player.
void FillLargeDatabase(const std::string& dir) {
    app::SetAppDir(QString::fromStdString(dir + "/"));
    {
        app::Tfsysteme fsysteme;
        app::CloseSystemTables(fsysteme);
    }
    std::map<std::string, std::unique_ptr<xb::TXbDbf>> t;
    for (const char* f : {"champion.dbf", "equipe.dbf", "champan.dbf", "eqchamp.dbf", "resultat.dbf",
                          "but.dbf", "carton.dbf", "joueur.dbf", "joueq.dbf"})
        app::OpenTable(t[f], f);
    Put(*t["champion.dbf"], {{"NUCHAMP", 1}}, "NOMCHAMP", "LIGUE");
    for (int team = 1; team <= kTeams; ++team) {
        Put(*t["equipe.dbf"], {{"NUEQUIPE", team}}, "NOMEQUIPE", "TEAM " + std::to_string(team));
        for (int s = 1; s <= 5; ++s) {
            Put(*t["joueur.dbf"], {{"NUJOUEUR", team * 100 + s}}, "NOMJOUEUR",
                "PLAYER " + std::to_string(team * 100 + s));
            // Every player has a note, every fifth one longer than a memo block: the start's table
            // check follows each note's pointer.
            xb::TXbDbf& player = *t["joueur.dbf"];
            std::string note = "Player " + std::to_string(team * 100 + s) + ": signed in " +
                               std::to_string(kFirstYear + s) + ", left foot.";
            if (s == 5)
                for (int line = 0; line < 20; ++line)
                    note += "\r\nSeason " + std::to_string(kFirstYear + line) + ": 30 matches.";
            player.RLock();
            player.PutMField("INFODIVERS", {note});
            player.ReplaceRec();
            player.UnLock();
        }
    }
    for (int season = 0; season < kSeasons; ++season) {
        const int year = kFirstYear + season;
        Put(*t["champan.dbf"], {{"ANNEE", year},
                                {"NUCHAMP", 1},
                                {"PTV", 3},
                                {"PTN", 1},
                                {"NBEQUIPE", kTeams},
                                {"NBJOURNEE", 38}});
        for (int team = 1; team <= kTeams; ++team) {
            Put(*t["eqchamp.dbf"], {{"ANNEE", year}, {"NUCHAMP", 1}, {"NUEQUIPE", team}});
            for (int s = 1; s <= 5; ++s)
                Put(*t["joueq.dbf"], {{"ANNEE", year}, {"NUEQ", team}, {"NUJO", team * 100 + s}});
        }
        std::vector<int> ring;
        for (int team = 1; team <= kTeams; ++team) ring.push_back(team);
        for (int round = 0; round < kTeams - 1; ++round) {
            for (int i = 0; i < kTeams / 2; ++i) {
                const int a = ring[static_cast<size_t>(i)], b = ring[static_cast<size_t>(kTeams - 1 - i)];
                for (int leg = 0; leg < 2; ++leg) {
                    const int day = leg ? round + kTeams : round + 1;
                    const int home = leg ? b : a, away = leg ? a : b;
                    const int g1 = (home * 7 + round + season) % 4, g2 = (away * 3 + round) % 3;
                    Put(*t["resultat.dbf"],
                        {{"NUCHAMP", 1},
                         {"ANNEE", year},
                         {"NUJOURNEE", day},
                         {"NUEQ1", home},
                         {"NUEQ2", away},
                         {"BEQ1", g1},
                         {"BEQ2", g2}},
                        "CODER",
                        g1 > g2   ? "V1"
                        : g1 < g2 ? "V2"
                                  : "N ");
                    const std::initializer_list<std::pair<const char*, int>> key = {{"NUCHAMP", 1},
                                                                                    {"ANNEE", year},
                                                                                    {"NUJOURNEE", day},
                                                                                    {"NUEQ1", home},
                                                                                    {"NUEQ2", away}};
                    for (int g = 0; g < g1 + g2; ++g) {
                        const bool h = g < g1;
                        Put(*t["but.dbf"], key);
                        xb::TXbDbf& but = *t["but.dbf"];
                        but.RLock();
                        but.FieldPutInt("NUJOUEUR", (h ? home : away) * 100 + 1 + (day + g) % 5);
                        but.FieldPutInt("NUEQBEN", h ? 1 : 2);
                        but.FieldPutInt("MINUTE", 10 + g);
                        but.ReplaceRec();
                        but.UnLock();
                    }
                    Put(*t["carton.dbf"], key);
                    xb::TXbDbf& card = *t["carton.dbf"];
                    card.RLock();
                    card.FieldPutInt("NUJOUEUR", home * 100 + 2);
                    card.FieldPutInt("NUEQBEN", 1);
                    card.FieldPutInt("MINUTE", 33);
                    card.ReplaceRec();
                    card.UnLock();
                }
            }
            ring.insert(ring.begin() + 1, ring.back());
            ring.pop_back();
        }
    }
    for (auto& [f, table] : t) app::CloseTable(table);
}

double ReadAllBytes(const std::string& dir, long long* bytes) {
    const auto start = Clock::now();
    std::vector<char> buffer(1 << 20);
    *bytes = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string ext = e.path().extension().string();
        if (ext != ".dbf" && ext != ".mdx" && ext != ".dbt") continue;
        std::ifstream in(e.path(), std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
            *bytes += in.gcount();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    char root[] = "/tmp/bench-program-start-XXXXXX";
    if (!mkdtemp(root)) return 1;
    const std::string base = root;
    const std::string exe = LM_PELMORAD32_PATH;

    std::vector<Timing> bare, first, second, large;
    for (int r = 0; r < kRuns; ++r) {
        bare.push_back(Run(LM_BARE_WINDOW_PATH, false, base));
        const std::string dir = base + "/empty" + std::to_string(r);
        const std::string copy = ProgramFolder(dir, exe);
        first.push_back(Run(copy, true, dir));
        second.push_back(Run(copy, true, dir));
    }
    const std::string largeDir = base + "/large";
    const auto fillStart = Clock::now();
    fs::create_directories(largeDir);
    FillLargeDatabase(largeDir);
    std::printf("large database filled in %.1f s\n",
                std::chrono::duration<double>(Clock::now() - fillStart).count());
    const std::string largeCopy = ProgramFolder(largeDir, exe);
    Run(largeCopy, true,
        largeDir);  // the first pack after the fill removes nothing, but warms the cache alike
    for (int r = 0; r < kRuns; ++r) large.push_back(Run(largeCopy, true, largeDir));
    long long bytes = 0;
    double read = 0;
    for (int r = 0; r < kRuns; ++r) read += ReadAllBytes(largeDir, &bytes);
    read /= kRuns;

    for (const auto* runs : {&bare, &first, &second, &large})
        for (const Timing& t : *runs)
            if (!t.ok) {
                std::printf("a run gave no measurement\n");
                return 1;
            }
    const Timing b = Median(bare), f = Median(first), s = Median(second), l = Median(large);
    std::printf("median of %d runs, seconds from spawn: activated / shut down\n", kRuns);
    std::printf("  bare Qt window          %.3f / %.3f\n", b.activated, b.shutdown);
    std::printf("  first start (creates)   %.3f / %.3f\n", f.activated, f.shutdown);
    std::printf("  second start            %.3f / %.3f\n", s.activated, s.shutdown);
    std::printf("  start beside 30 seasons %.3f / %.3f  (%.2fx the second start's activation)\n", l.activated,
                l.shutdown, l.activated / s.activated);
    std::printf("  reading the large database's %lld bytes: %.3f s\n", bytes, read);
    bench::ReportFigure("program first start, to the first activation", 1 / f.activated, "starts/s",
                        "bare Qt window", 1 / b.activated);
    bench::ReportFigure("program second start, to the first activation", 1 / s.activated, "starts/s",
                        "bare Qt window", 1 / b.activated);
    bench::ReportFigure("program start beside 30 seasons, to the first activation", 1 / l.activated,
                        "starts/s", "program second start (empty database)", 1 / s.activated);
    bench::ReportFigure("program run beside 30 seasons, to the end of the shutdown", 1 / l.shutdown, "runs/s",
                        "program second run (empty database)", 1 / s.shutdown);
    bench::ReportFigure("shutdown beside 30 seasons (pack of seven tables)", 1 / (l.shutdown - l.activated),
                        "shutdowns/s", "reading the large database's bytes", 1 / read);
    fs::remove_all(base);
    return 0;
}
