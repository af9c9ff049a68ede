// Sorted virtual files: appends in ASCENDING mode beside std::multimap inserts of the same keys, and
// SortVFile of a filled file beside std::stable_sort of the same keys, all measured in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/virtual_file.h"
#include "engine/core/work_areas.h"
#include "platform/locale_facts.h"
#include "bench/bench_report.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::vector<std::string> makeKeys(int n) {
    std::mt19937 rng(42);
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) keys.push_back(std::to_string(rng() % 1000));  // many equal keys
    return keys;
}

// Opens a work table (key C 10, id N 6) in the current area.
void openTable(std::vector<uint8_t>& buf, const char* command) {
    xb::Use(command, buf.data(), buf.size());
    xb::AddStru({{"key", 'C', 10, 0, 1}, {"id", 'N', 6, 0, 12}});
    xb::Set_VFileKey_To([] { return xb::TypedGetString(xb::FieldAddress(1)); });
}

void fill(const std::vector<std::string>& keys) {
    for (size_t i = 0; i < keys.size(); ++i) {
        xb::TypedSetString(xb::FieldAddress(1), 10, keys[i]);
        xb::TypedSetInt(xb::FieldAddress(2), static_cast<int32_t>(i));
        xb::Append();
    }
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallVirtualFiles(engine);
    std::vector<uint8_t> buf(16, 0);

    for (int n : {10000, 100000}) {
        const std::vector<std::string> keys = makeKeys(n);

        openTable(buf, "bench ASCENDING VIRTUAL FILE");
        auto t0 = Clock::now();
        fill(keys);
        const double vfile = seconds(t0, Clock::now());
        xb::CloseDatabase();

        t0 = Clock::now();
        std::multimap<std::string, int> map;
        for (size_t i = 0; i < keys.size(); ++i) map.emplace(keys[i], static_cast<int>(i));
        const double multimap = seconds(t0, Clock::now());

        openTable(buf, "bench VIRTUAL FILE");
        fill(keys);
        t0 = Clock::now();
        xb::SortVFile(xb::LStatusType::ASCENDING);
        const double sort = seconds(t0, Clock::now());
        xb::CloseDatabase();

        t0 = Clock::now();
        std::vector<std::string> copy = keys;
        std::stable_sort(copy.begin(), copy.end());
        const double stable = seconds(t0, Clock::now());

        std::printf("%7d keys  ASCENDING appends %8.3f s  std::multimap %8.3f s  (x%.1f)\n", n, vfile,
                    multimap, multimap > 0 ? vfile / multimap : 0.0);
        std::printf("%7d keys  SortVFile         %8.3f s  std::stable_sort %5.3f s  (x%.1f)\n", n, sort,
                    stable, stable > 0 ? sort / stable : 0.0);
        bench::ReportFigure("virtual file ASCENDING appends, " + std::to_string(n) + " keys", n / vfile, "rows/s",
                            "std::multimap insert", n / multimap);
        bench::ReportFigure("SortVFile, " + std::to_string(n) + " keys", n / sort, "rows/s", "std::stable_sort",
                            n / stable);
    }
    return 0;
}
