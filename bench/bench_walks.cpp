// Walks in key order on every road (the engine's calls, the command layer, the dataset), exclusive and
// shared, over the three tags of a table of 100,000 records, and beside them random finds on tag C and
// appends through the engine's calls (on a copy of the table), which a walk's read-ahead must not slow: C
// (random keys, so the rows of a key range lie spread over the file), N (descending numbers, spread too) and
// D (dates that follow the rows by year, so a key range's rows lie near each other). Each figure is records
// per second of the thread's CPU time (the wall time moves with the machine's other work), the best of three
// interleaved rounds, printed beside the engine road's speed and beside the exclusive walk's, as shares (1.00
// = as fast).
//
// It uses only calls that older builds have too: scripts/bench builds it on another commit and runs the
// two in turn (docs/performance.md, "Walks beside an older build").
//
// Usage: bench_walks [--quick] [--label TEXT] [--only TEXT]
//   --quick: 20,000 records; --label: printed in every WALK line, for scripts/bench to tell the builds apart;
//   --only: the walks whose figure holds TEXT ("tag D, dataset"), for a profiler.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/support/walk_roads.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/memo_ops.h"
#include "engine/dataset/index_services.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_search.h"
#include "platform/locale_facts.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRounds = 3;

std::string figureName(const char* tag, bench::WalkRoad road, bool shared) {
    return std::string("walk of tag ") + tag + ", " + bench::WalkRoadName(road) +
           (shared ? ", shared" : ", exclusive");
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string label = "this build";
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        if (std::strcmp(argv[i], "--label") == 0 && i + 1 < argc) label = argv[++i];
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    }
    const int records = quick ? 20000 : 100000;

    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    engine.settings.ansi = true;
    engine.settings.century = true;
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(engine);
    xb::InstallMemoUnit(engine);
    xb::InstallIndexEngine(engine);
    xb::InstallDatasetIndexServices();

    char dirName[] = "/tmp/bench-walks-XXXXXX";
    if (!mkdtemp(dirName)) return 1;
    bench::WalkTable table;
    table.path = (fs::path(dirName) / "walks").string();
    if (!bench::BuildWalkTable(table.path, bench::MakeWalkKeys(records, 42))) {
        std::fprintf(stderr, "cannot build the table: %s\n", xb::ErrorMsg().c_str());
        return 1;
    }

    const std::vector<bench::WalkRoad> roads = {bench::WalkRoad::Engine, bench::WalkRoad::Command,
                                                bench::WalkRoad::Dataset};
    // best[tag][road][shared]: records per CPU second.
    std::map<std::string, std::map<int, std::map<bool, double>>> best, calls;
    int failures = 0;
    for (int round = 0; round < kRounds; ++round)
        for (const char* tag : {"C", "N", "D"})
            for (bench::WalkRoad road : roads)
                for (bool shared : {false, true}) {
                    if (figureName(tag, road, shared).find(only) == std::string::npos) continue;
                    const bench::WalkRun run = bench::Walk(table, road, shared, tag, records);
                    if (!run.ok || run.records != records) {
                        ++failures;
                        std::fprintf(stderr, "walk of tag %s, %s: %s (%ld records)\n", tag,
                                     bench::WalkRoadName(road), run.why.c_str(), run.records);
                        continue;
                    }
                    calls[tag][static_cast<int>(road)][shared] =
                        static_cast<double>(run.calls) / static_cast<double>(run.records);
                    double& b = best[tag][static_cast<int>(road)][shared];
                    b = std::max(b, static_cast<double>(run.records) / std::max(run.cpu, 1e-9));
                }

    // Finds and appends: (operations, CPU seconds) of one run, or 0 operations when it failed.
    const std::vector<std::string> keys = bench::MakeWalkKeys(records, 42);
    std::mt19937 rng(7);
    std::vector<std::string> finds(static_cast<size_t>(records));
    for (std::string& f : finds) f = keys[rng() % keys.size()];
    const std::vector<std::string> added = bench::MakeWalkKeys(records / 10, 1000u);
    auto findRun = [&](bool shared) -> double {
        if (!xb::Use(table.path + (shared ? "" : " EXCLUSIVE"), nullptr, 0) || !xb::SetIndexTo("") ||
            !xb::SetOrderToTag("C"))
            return 0;
        long found = 0;
        const double c0 = bench::ThreadCpuSeconds();
        for (const std::string& f : finds) found += xb::Find(f) ? 1 : 0;
        const double cpu = bench::ThreadCpuSeconds() - c0;
        xb::CloseDatabase();
        return found == static_cast<long>(finds.size()) ? static_cast<double>(found) / std::max(cpu, 1e-9)
                                                        : 0;
    };
    int copies = 0;
    auto appendRun = [&](bool shared) -> double {
        const std::string copy = (fs::path(dirName) / ("copy" + std::to_string(++copies))).string();
        for (const char* ext : {".dbf", ".dbt", ".mdx"})
            fs::copy_file(table.path + ext, copy + ext, fs::copy_options::overwrite_existing);
        if (!xb::Use(copy + (shared ? "" : " EXCLUSIVE"), nullptr, 0) || !xb::SetIndexTo("") ||
            !xb::SetOrderToTag("C"))
            return 0;
        long n = 0;
        const double c0 = bench::ThreadCpuSeconds();
        for (size_t i = 0; i < added.size(); ++i) {
            const bench::WalkRow r = bench::WalkRowOf(added[i], static_cast<int>(i), false);
            if (!xb::ALock()) break;
            xb::ClearRecord();
            xb::TypedSetString(xb::FieldAddress(1), bench::kWalkKeyLength, r.c);
            xb::TypedSetInt(xb::FieldAddress(2), r.n);
            xb::TypedSetString(xb::FieldAddress(3), 10, r.d);
            xb::TypedSetString(xb::FieldAddress(5), 30, r.nom);
            const bool ok = xb::Append();
            xb::Unlock();
            if (!ok) break;
            ++n;
        }
        const double cpu = bench::ThreadCpuSeconds() - c0;
        xb::CloseDatabase();
        for (const char* ext : {".dbf", ".dbt", ".mdx"}) fs::remove(copy + ext);
        return n == static_cast<long>(added.size()) ? static_cast<double>(n) / std::max(cpu, 1e-9) : 0;
    };
    struct Other {
        std::string figure;
        std::function<double(bool)> run;
        std::map<bool, double> best;
    };
    std::vector<Other> others = {{"random Find on tag C", findRun, {}},
                                 {"append, engine ALock/Append/Unlock", appendRun, {}}};
    for (int round = 0; round < kRounds; ++round)
        for (Other& o : others)
            for (bool shared : {false, true}) {
                if ((o.figure + (shared ? ", shared" : ", exclusive")).find(only) == std::string::npos)
                    continue;
                const double v = o.run(shared);
                if (v == 0) {
                    ++failures;
                    std::fprintf(stderr, "%s: %s\n", o.figure.c_str(), xb::ErrorMsg().c_str());
                }
                o.best[shared] = std::max(o.best[shared], v);
            }

    std::printf("%s: records per CPU second, best of %d rounds; shares of the engine road and of exclusive\n",
                label.c_str(), kRounds);
    std::printf("  %-56s %10s %8s %8s %8s\n", "walk", "records/s", "/engine", "/excl", "calls");
    for (const char* tag : {"C", "N", "D"})
        for (bench::WalkRoad road : roads)
            for (bool shared : {false, true}) {
                const double v = best[tag][static_cast<int>(road)][shared];
                const double engineRoad = best[tag][static_cast<int>(bench::WalkRoad::Engine)][shared];
                const double exclusive = best[tag][static_cast<int>(road)][false];
                const std::string figure = figureName(tag, road, shared);
                if (figure.find(only) == std::string::npos) continue;
                std::printf("  %-56s %10.0f %8.2f %8.2f %8.2f\n", figure.c_str(), v,
                            engineRoad > 0 ? v / engineRoad : 0, exclusive > 0 ? v / exclusive : 0,
                            calls[tag][static_cast<int>(road)][shared]);
                std::printf("WALK\t%s\t%s\t%.0f\n", label.c_str(), figure.c_str(), v);
                // The main table takes the engine road as the other roads' baseline and the exclusive
                // walk as the engine road's shared one.
                const bool engineShared = road == bench::WalkRoad::Engine && shared;
                const std::string baseline =
                    road == bench::WalkRoad::Engine
                        ? (shared ? figureName(tag, road, false) + " (CPU time)" : std::string())
                        : figureName(tag, bench::WalkRoad::Engine, shared) + " (CPU time)";
                bench::ReportFigure(figure + " (CPU time)", v, "records/s", baseline.empty() ? "" : baseline,
                                    engineShared ? exclusive : (baseline.empty() ? 0 : engineRoad));
            }
    for (const Other& o : others)
        for (bool shared : {false, true}) {
            const std::string figure = o.figure + (shared ? ", shared" : ", exclusive");
            if (figure.find(only) == std::string::npos) continue;
            const double v = o.best.count(shared) ? o.best.at(shared) : 0;
            const double exclusive = o.best.count(false) ? o.best.at(false) : 0;
            std::printf("  %-56s %10.0f %8s %8.2f\n", figure.c_str(), v, "",
                        exclusive > 0 ? v / exclusive : 0);
            std::printf("WALK\t%s\t%s\t%.0f\n", label.c_str(), figure.c_str(), v);
            bench::ReportFigure(figure + " (CPU time)", v, "operations/s",
                                shared ? o.figure + ", exclusive (CPU time)" : "", shared ? exclusive : 0);
        }
    std::fflush(stdout);
    fs::remove_all(dirName);
    return failures == 0 ? 0 : 1;
}
