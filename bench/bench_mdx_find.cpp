// Random Find on a tag of 1,000,000 character keys, beside std::map::lower_bound on the same keys and
// the same search texts, measured in the same run.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/mdx_build.h"
#include "engine/index/mdx_search.h"
#include "engine/index/mdx_search_fixture.h"
#include "platform/file.h"
#include "platform/locale_facts.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecords = 1000000;
constexpr int kKeyLength = 10;
constexpr int kSearches = 200000;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::vector<std::string> makeKeys() {
    std::mt19937 rng(42);
    std::vector<std::string> keys(kRecords);
    for (std::string& k : keys) {
        k.resize(kKeyLength);
        for (char& c : k) c = static_cast<char>('A' + rng() % 26);
    }
    return keys;
}

// The table: one C field of the key length, written as bytes after the header CreateDbf writes.
bool writeTable(const std::string& path, const std::vector<std::string>& keys) {
    xb::TableBlock b;
    if (!xb::CreateDbf(b, path, {{"key", 'C', kKeyLength, 0}})) return false;
    xb::CloseDbf(b);
    xb::platform::File f;
    if (f.open(path + ".dbf", 18) != 0) return false;
    uint8_t header[32];
    if (f.readAt(0, header, sizeof header) != 0) return false;
    const uint64_t start = header[8] | (header[9] << 8);
    std::string bytes;
    bytes.reserve(keys.size() * (kKeyLength + 1) + 1);
    for (const std::string& k : keys) bytes += ' ' + k;
    bytes += '\x1A';
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>((keys.size() >> (8 * i)) & 0xFF);
    return f.writeAt(0, header, sizeof header) == 0 && f.writeAt(start, bytes.data(), bytes.size()) == 0;
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallExpressionEngine(engine);
    engine.settings.ansi = true;
    const std::filesystem::path dir = std::filesystem::path(xb::platform::TempDir()) / "bench_mdx_find";
    std::filesystem::create_directories(dir);
    const std::string table = (dir / "keys").string();

    const std::vector<std::string> keys = makeKeys();
    if (!writeTable(table, keys) || !xb::Use(table + " EXCLUSIVE", nullptr, 0)) {
        std::fprintf(stderr, "cannot write the table: %s\n", xb::ErrorMsg().c_str());
        return 1;
    }
    std::vector<xb::TagDefinition> defs(1);
    defs[0].name = "KEY";
    defs[0].keyExpr = "key";
    auto t0 = Clock::now();
    if (!xb::MakeIndex(defs, "") || !xb::searchtest::OpenIndexForSearch(table + ".mdx")) {
        std::fprintf(stderr, "cannot build the index: %s\n", xb::ErrorMsg().c_str());
        return 1;
    }
    auto t1 = Clock::now();
    std::printf("build of %d keys: %.2f s\n", kRecords, seconds(t0, t1));

    // Search texts: half existing keys, half prefixes of 5 characters (most of them present too).
    std::mt19937 rng(7);
    std::vector<std::string> texts(kSearches);
    for (std::string& t : texts) {
        const std::string& k = keys[rng() % keys.size()];
        t = rng() % 2 ? k : k.substr(0, 5);
    }

    std::map<std::string, int32_t> map;
    for (size_t i = 0; i < keys.size(); ++i) map.emplace(keys[i], static_cast<int32_t>(i + 1));

    long found = 0;
    t0 = Clock::now();
    for (const std::string& t : texts) found += xb::Find(t) ? 1 : 0;
    t1 = Clock::now();
    const double findRate = kSearches / seconds(t0, t1);

    long mapFound = 0;
    t0 = Clock::now();
    for (const std::string& t : texts) {
        auto it = map.lower_bound(t);
        mapFound += it != map.end() && it->first.compare(0, t.size(), t) == 0 ? 1 : 0;
    }
    t1 = Clock::now();
    const double mapRate = kSearches / seconds(t0, t1);

    std::printf("Find on %d keys:               %12.0f searches/s (%ld found)\n", kRecords, findRate, found);
    std::printf("std::map::lower_bound, same keys: %12.0f searches/s (%ld found)\n", mapRate, mapFound);
    std::printf("ratio: %.1f\n", mapRate / findRate);

    xb::searchtest::CloseIndexForSearch();
    xb::CloseAllDatabases();
    std::filesystem::remove_all(dir);
    return found == mapFound ? 0 : 2;
}
