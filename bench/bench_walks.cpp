// Walks in key order on every road (the engine's calls, the command layer, the dataset), exclusive and
// shared, over the three tags of a table of 100,000 records: C (random keys, so the rows of a key range
// lie spread over the file), N (descending numbers, spread too) and D (dates that follow the rows by year,
// so a key range's rows lie near each other). Each figure is records per second of the thread's CPU time
// (the wall time moves with the machine's other work), the best of three interleaved rounds, printed
// beside the engine road's speed and beside the exclusive walk's, as shares (1.00 = as fast).
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
#include <map>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/support/walk_roads.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/memo_ops.h"
#include "engine/dataset/index_services.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
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
                const std::string baseline = road == bench::WalkRoad::Engine
                                                 ? (shared ? std::string("walk of tag ") + tag + ", " +
                                                                 bench::WalkRoadName(road) + ", exclusive"
                                                           : std::string())
                                                 : std::string("walk of tag ") + tag + ", " +
                                                       bench::WalkRoadName(bench::WalkRoad::Engine) +
                                                       (shared ? ", shared" : ", exclusive");
                bench::ReportFigure(figure + " (CPU time)", v, "records/s", baseline.empty() ? "" : baseline,
                                    engineShared ? exclusive : (baseline.empty() ? 0 : engineRoad));
            }
    std::fflush(stdout);
    fs::remove_all(dirName);
    return failures == 0 ? 0 : 1;
}
