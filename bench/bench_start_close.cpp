// The program's start and close on databases of 1, 34 and 340 seasons, each as entered row by row (never
// packed) and packed: the start's CPU time (the table check, then the nine tables opened with each index
// checked against its table), and on 34 and 340 seasons the close after a session that only read and
// after one that took a match out and stored it again: its CPU and wall time, the bytes it wrote and the
// file-system calls it made. scripts/bench builds this program on an older commit too and runs the two in
// turn on the same databases (START lines: label, figure, milliseconds, bytes written, calls).
//
// Usage: bench_start_close --make DIR [--seasons 1,34,340]   makes the databases in DIR
//        bench_start_close --from DIR [--label L] [--runs N] [--seasons 1,34,340] [--starts]
//   --starts: the starts only.
// Built with LM_START_MARKS_FIRST, the start checks the indexes before the opens, as the older start did.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/editing/match_entry.h"
// The league library where this commit keeps it, or where an older one did.
#if __has_include("app/data/table_pack.h")
#include "app/data/league_access.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/data/league_tables.h"
#include "app/data/table_check.h"
#include "app/data/table_pack.h"
#include "app/settings/app_files.h"
#else
#include "app/shell/app_files.h"
#include "app/shell/league_access.h"
#include "app/shell/league_database.h"
#include "app/shell/league_lookups.h"
#include "app/shell/league_tables.h"
#include "app/shell/table_check.h"
#include "app/shell/table_pack.h"
#endif
#include "bench/support/league_seasons.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/xb_file_dataset.h"
#include "engine/index/mdx_agreement.h"
#include "platform/file.h"
#include "platform/locale_facts.h"

namespace {

namespace fs = std::filesystem;

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The bytes this process handed to write calls so far.
long long bytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "wchar:") return value;
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string databaseName(int seasons, bool packed) {
    return (packed ? "packed-" : "never-") + std::to_string(seasons);
}

void packEveryTable(const std::string& dir) {
    for (const app::LeagueTable& def : app::LeagueTables()) {
        xb::TXbDbf t;
        t.SetDbfFileName(dir + "/" + def.file);
        t.SetExclusive(true);
        t.Open();
        t.SetIndexTo(dir + "/" + def.file.substr(0, def.file.find('.')));
        t.Pack();
        t.Close();
    }
}

void make(const std::string& root, int seasons) {
    std::vector<xbtest::SeasonTable> tables = bench::seasons(seasons);
    bench::unplayed(tables, 4);
    const std::string never = root + "/" + databaseName(seasons, false);
    const std::string packed = root + "/" + databaseName(seasons, true);
    fs::remove_all(never);
    fs::remove_all(packed);
    fs::create_directories(never);
    bench::fill(never, tables);
    fs::copy(never, packed);
    packEveryTable(packed);
}

// The start as the program makes it; the tables are closed again outside the time.
double start(const std::string& dir) {
    app::SetAppDir(QString::fromStdString(dir + "/"));
    const double t0 = cpuMs();
    std::unique_ptr<app::Tfsysteme> tables;
    {
        const std::vector<app::TableProblem> problems = app::CheckLeagueDatabase(dir + "/");
        app::KeepTablesAsTheyAre(app::TablesKeptReadOnly(problems), app::TablesKeptUnpacked(problems));
#ifdef LM_START_MARKS_FIRST
        app::MarkIndexesOutOfStep(dir + "/");
        tables = std::make_unique<app::Tfsysteme>();
#else
        xb::CheckIndexesAsOpened agreement;
        tables = std::make_unique<app::Tfsysteme>();
#endif
    }
    const double took = cpuMs() - t0;
    app::CloseSystemTables(*tables);
    tables.reset();
    app::KeepTablesAsTheyAre({}, {});
    return took;
}

struct Close {
    double cpu = 0, wall = 0;
    long long bytes = 0;
    unsigned long long calls = 0;
};

// A session on a copy of the database (the start, and for a writing one a match taken out and stored
// again), then the close measured.
Close session(const std::string& from, const std::string& work, bool writes) {
    fs::remove_all(work);
    fs::copy(from, work);
    start(work);
    if (writes) {
        std::vector<xbtest::SeasonTable> tables = bench::seasons(1);
        const app::MatchRow m = bench::unplayed(tables, 1).front();
        std::unique_ptr<xb::TXbDbf> results;
        app::OpenTable(results, "resultat.dbf");
        const std::vector<app::MatchEvent> goals = {{m.home * 100 + 1, 12, 1, 1}, {m.away * 100 + 2, 40, 2, 1}};
        app::StoreMatch(*results, m, goals, {}, false);
        app::DeleteMatch(*results, {m.championship, m.year, m.matchday, m.home, m.away});
        app::StoreMatch(*results, m, goals, {}, false);
        app::CloseTable(results);
    }
    Close c;
    const long long b0 = bytesWritten();
    const unsigned long long n0 = xb::platform::FileCalls().total();
    const double c0 = cpuMs(), w0 = wallMs();
    for (const app::TablePackResult& r : app::PackAllTables(QString::fromStdString(work + "/")))
        if (r.outcome == app::PackOutcome::Failed) std::fprintf(stderr, "the pack of %s failed\n", r.table.toUtf8().data());
    c.cpu = cpuMs() - c0;
    c.wall = wallMs() - w0;
    c.bytes = bytesWritten() - b0;
    c.calls = xb::platform::FileCalls().total() - n0;
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    std::string makeDir, fromDir, label = "this";
    std::vector<int> counts = {1, 34, 340};
    int runs = 7;
    bool startsOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--starts") startsOnly = true;
        if (i + 1 >= argc) break;
        if (a == "--make") makeDir = argv[++i];
        else if (a == "--from") fromDir = argv[++i];
        else if (a == "--label") label = argv[++i];
        else if (a == "--runs") runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--seasons") {
            counts.clear();
            std::stringstream list(argv[++i]);
            for (std::string n; std::getline(list, n, ',');) counts.push_back(std::atoi(n.c_str()));
        }
    }
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallEngineUnits(engine);
    xb::SetErrorTrap(false);
    if (!makeDir.empty()) {
        for (int n : counts) make(makeDir, n);
        return 0;
    }
    if (fromDir.empty()) return 2;
    const std::string work = fromDir + "/work-" + label;
    for (int n : counts) {
        for (bool packed : {false, true}) {
            const std::string db = fromDir + "/" + databaseName(n, packed);
            const std::string where = std::to_string(n) + (n == 1 ? " season, " : " seasons, ") +
                                      (packed ? "packed" : "never packed");
            std::vector<double> starts;
            for (int r = 0; r < runs; ++r) starts.push_back(start(db));
            std::printf("START\t%s\tstart, %s\t%.2f\t\t\n", label.c_str(), where.c_str(), median(starts));
            if (n < 34 || startsOnly) continue;
            for (bool writes : {false, true}) {
                std::vector<double> cpu, wall;
                Close last;
                for (int r = 0; r < (n >= 340 ? 3 : 5); ++r) {
                    last = session(db, work, writes);
                    cpu.push_back(last.cpu);
                    wall.push_back(last.wall);
                }
                const char* what = writes ? "a match taken out and stored again" : "only reading";
                std::printf("START\t%s\tclose after %s, %s (CPU)\t%.2f\t%lld\t%llu\n", label.c_str(), what,
                            where.c_str(), median(cpu), last.bytes, last.calls);
                std::printf("START\t%s\tclose after %s, %s (wall)\t%.2f\t\t\n", label.c_str(), what, where.c_str(),
                            median(wall));
            }
            fs::remove_all(work);
        }
    }
    return 0;
}
