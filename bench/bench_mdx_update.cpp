// Key insertions and deletions per second into one MDX tag of 1,000,000 keys, beside std::multimap insert
// and erase of the same keys in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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
#include "engine/index/mdx_update.h"
#include "engine/index/mdx_update_test_support.h"
#include "platform/paths.h"

namespace {

constexpr int32_t kBase = 1000000;  // keys in the tag before the measured operations
constexpr int32_t kOps = 100000;    // keys inserted, then deleted
constexpr size_t kKeyLength = 10;

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::string randomKey(std::mt19937_64& rng) {
    std::string k(kKeyLength, ' ');
    for (char& c : k) c = static_cast<char>('A' + rng() % 26);
    return k;
}

void report(const char* what, int32_t n, double s, double baseline) {
    std::printf("%-34s %9.0f keys/s  (%.3f s; %.1fx the multimap time)\n", what, n / s, s, s / baseline);
}

}  // namespace

int main() {
    xb::Engine engine;
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(engine);
    const std::string dir = xb::platform::TempDir() + "/bench_mdx_update_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string dbf = dir + "/keys.dbf", mdx = dir + "/keys.mdx";

    std::mt19937_64 rng(42);
    std::vector<std::string> base(kBase), ops(kOps);
    for (auto& k : base) k = randomKey(rng);
    for (auto& k : ops) k = randomKey(rng);

    // The table holds the base keys; the measured keys belong to records appended after them.
    {
        xb::TableBlock tb;
        if (!xb::CreateDbf(tb, dbf, {{"k", 'C', static_cast<int>(kKeyLength), 0}})) return 1;
        xb::CloseDbf(tb);
        std::FILE* f = std::fopen(dbf.c_str(), "r+b");
        std::fseek(f, 0, SEEK_END);
        const long header = std::ftell(f) - 1;
        std::fseek(f, header, SEEK_SET);
        for (const auto& k : base) {
            std::fputc(' ', f);
            std::fwrite(k.data(), 1, k.size(), f);
        }
        std::fputc(0x1A, f);
        const int32_t count = kBase;
        std::fseek(f, 4, SEEK_SET);
        std::fwrite(&count, 4, 1, f);
        std::fclose(f);
    }
    if (!xb::Use(dbf + " EXCLUSIVE", nullptr, 0)) return 1;
    const auto b0 = std::chrono::steady_clock::now();
    if (!xb::MakeIndex({{"K", "k", "", false, false}, {}}, mdx)) {
        std::fprintf(stderr, "%s\n", xb::ErrorMsg().c_str());
        return 1;
    }
    const auto b1 = std::chrono::steady_clock::now();
    if (!xbtest::OpenTestIndex(mdx)) return 1;
    xb::MdxTag& tag = *xb::CurrentMdxArea()->tags[1];
    xb::WorkAreaBlock& area = *xb::CurrentBlock();

    // The baseline: a multimap holding the same million keys, then the same inserts and erases.
    std::multimap<std::string, uint32_t> model;
    for (int32_t i = 0; i < kBase; ++i) model.emplace(base[static_cast<size_t>(i)], static_cast<uint32_t>(i + 1));
    const auto m0 = std::chrono::steady_clock::now();
    std::vector<std::multimap<std::string, uint32_t>::iterator> its(kOps);
    for (int32_t i = 0; i < kOps; ++i) {
        const std::string& k = ops[static_cast<size_t>(i)];
        its[static_cast<size_t>(i)] = model.emplace_hint(model.lower_bound(k), k, static_cast<uint32_t>(kBase + i + 1));
    }
    const auto m1 = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < kOps; ++i) {
        const std::string& k = ops[static_cast<size_t>(i)];
        auto [lo, hi] = model.equal_range(k);
        for (auto it = lo; it != hi; ++it)
            if (it->second == static_cast<uint32_t>(kBase + i + 1)) {
                model.erase(it);
                break;
            }
    }
    const auto m2 = std::chrono::steady_clock::now();

    const auto t0 = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < kOps; ++i) {
        area.recNo = kBase + i + 1;
        if (xb::AppendIndex(reinterpret_cast<const uint8_t*>(ops[static_cast<size_t>(i)].data()), tag) != 0) {
            std::fprintf(stderr, "insert failed: %s\n", xb::ErrorMsg().c_str());
            return 1;
        }
    }
    const auto t1 = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < kOps; ++i) {
        if (xb::DeleteKey(reinterpret_cast<const uint8_t*>(ops[static_cast<size_t>(i)].data()), tag,
                          static_cast<uint32_t>(kBase + i + 1)) != 0) {
            std::fprintf(stderr, "delete failed: %s\n", xb::ErrorMsg().c_str());
            return 1;
        }
    }
    const auto t2 = std::chrono::steady_clock::now();

    std::printf("one tag of %d keys of %zu bytes (bulk build %.2f s); %d random keys inserted, then deleted\n",
                kBase, kKeyLength, seconds(b0, b1), kOps);
    report("std::multimap insert", kOps, seconds(m0, m1), seconds(m0, m1));
    report("AppendIndex", kOps, seconds(t0, t1), seconds(m0, m1));
    report("std::multimap erase", kOps, seconds(m1, m2), seconds(m1, m2));
    report("DeleteKey", kOps, seconds(t1, t2), seconds(m1, m2));

    xb::CloseAllDatabases();
    std::filesystem::remove_all(dir);
    return 0;
}
