// The virtual-file dataset: 10,000 rows appended in ASCENDING mode through the dataset (field puts and
// posts, the key maker reading the fields), beside std::multimap inserts of the same keys, measured in
// the same run. The rows come back in key order, checked before the times are printed.
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/virtual_file.h"
#include "engine/dataset/xb_vfile_dataset.h"
#include "platform/locale_facts.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::vector<std::string> makeKeys(int n) {
    std::mt19937 rng(42);
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "%06u", static_cast<unsigned>(rng() % 5000));  // many equal keys
        keys.push_back(key);
    }
    return keys;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallVirtualFiles(engine);
    xb::SetErrorTrap(false);
    const std::vector<std::string> keys = makeKeys(n);

    for (bool keyMaker : {false, true}) {
        xb::TXbVFile table;
        table.Name = "bench";
        table.SetDbfFileName(xb::platform::TempDir() + "/bench_vfile_dataset");
        table.DbfFields = {"key, C, 10, 0", "id, N, 6, 0", "points, N, 5, 0"};
        table.ShowProgress = false;
        table.SetAppendMode(xb::LStatusType::ASCENDING);
        if (keyMaker) table.KeyMaker = [&table] { return table.FieldByName("key").GetAsString(); };
        table.Open();
        xb::TField& key = table.FieldByName("key");
        xb::TField& id = table.FieldByName("id");

        auto t0 = Clock::now();
        for (int i = 0; i < n; ++i) {
            table.Append();
            key.SetAsString(keys[static_cast<size_t>(i)]);
            id.SetAsInteger(i);
            table.Post();
        }
        const double dataset = seconds(t0, Clock::now());

        t0 = Clock::now();
        std::multimap<std::string, int> map;
        for (int i = 0; i < n; ++i) map.emplace(keys[static_cast<size_t>(i)], i);
        const double multimap = seconds(t0, Clock::now());

        // The order is the keys' order.
        std::string previous;
        int rows = 0;
        table.First();
        while (!table.Eof()) {
            const std::string k = key.GetAsString();
            if (k < previous) {
                std::fprintf(stderr, "out of order at row %d: %s after %s\n", rows + 1, k.c_str(), previous.c_str());
                return 1;
            }
            previous = k;
            ++rows;
            table.Next();
        }
        if (rows != n || static_cast<int>(map.size()) != n) {
            std::fprintf(stderr, "%d rows, %zu in the map, %d expected\n", rows, map.size(), n);
            return 1;
        }
        table.Close();
        std::printf("%6d rows  ASCENDING dataset appends (%s) %8.3f s  std::multimap %8.4f s  (x%.0f)\n", n,
                    keyMaker ? "key maker  " : "first field", dataset, multimap,
                    multimap > 0 ? dataset / multimap : 0.0);
    }
    return 0;
}
