// Keys per second of bulk index builds (a 7-byte character key, a numeric key, a date key) at 100,000
// and 1,000,000 records, each beside std::sort of the same (key, record number) pairs in the same run.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/key_routines.h"
#include "engine/index/mdx_build.h"
#include "platform/locale_facts.h"
#include "platform/paths.h"
#include "bench/bench_report.h"

namespace {

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

struct Row {
    std::string code;  // 7 characters
    double amount;     // two decimals
    int y, m, d;
};
Row rowOf(int32_t r) {
    const uint64_t h = mix(static_cast<uint64_t>(r));
    Row row;
    char code[8];
    std::snprintf(code, sizeof code, "%07llu", static_cast<unsigned long long>(h % 10000000));
    row.code = code;
    row.amount = static_cast<double>(static_cast<int64_t>((h >> 24) % 2000000) - 1000000) / 100.0;
    row.y = 1900 + static_cast<int>((h >> 45) % 150);
    row.m = 1 + static_cast<int>((h >> 10) % 12);
    row.d = 1 + static_cast<int>((h >> 4) % 28);
    return row;
}

// The table written directly: header by CreateDbf, then the records.
void writeTable(const std::string& base, int32_t count) {
    xb::TableBlock b;
    xb::CreateDbf(b, base, {{"code", 'C', 7, 0}, {"amount", 'N', 11, 2}, {"born", 'D', 8, 0}});
    std::fstream f(base + ".dbf", std::ios::in | std::ios::out | std::ios::binary);
    char head[32];
    f.read(head, 32);
    const size_t headerSize = static_cast<uint8_t>(head[8]) | (static_cast<uint8_t>(head[9]) << 8);
    std::string out;
    out.reserve(static_cast<size_t>(count) * 27 + 1);
    char buf[64];
    for (int32_t r = 1; r <= count; ++r) {
        const Row row = rowOf(r);
        std::snprintf(buf, sizeof buf, " %s%11.2f%04d%02d%02d", row.code.c_str(), row.amount, row.y, row.m, row.d);
        out += buf;
    }
    out += '\x1A';
    f.seekp(static_cast<std::streamoff>(headerSize));
    f.write(out.data(), static_cast<std::streamsize>(out.size()));
    for (int k = 0; k < 4; ++k) head[4 + k] = static_cast<char>((count >> (8 * k)) & 0xFF);
    f.seekp(0);
    f.write(head, 32);
}

// std::sort of (key, record number) pairs in the tag's order.
template <size_t N>
double sortSeconds(int32_t count, char type, const std::function<void(int32_t, uint8_t*)>& make) {
    struct Item {
        std::array<uint8_t, N> key;
        uint32_t record;
    };
    std::vector<Item> items(static_cast<size_t>(count));
    for (int32_t r = 1; r <= count; ++r) {
        make(r, items[static_cast<size_t>(r - 1)].key.data());
        items[static_cast<size_t>(r - 1)].record = static_cast<uint32_t>(r);
    }
    const xb::KeyOrder order{type, static_cast<uint16_t>(N), false};
    const auto start = Clock::now();
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        const int c = order.compare(a.key.data(), b.key.data());
        return c != 0 ? c < 0 : a.record < b.record;
    });
    return seconds(start, Clock::now());
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(engine);
    engine.settings.century = true;
    const std::string dir = xb::platform::TempDir() + "bench_mdx_" + std::to_string(::getpid());
    std::string mk = "mkdir -p '" + dir + "'";
    if (std::system(mk.c_str()) != 0) return 1;

    std::printf("%-10s %-8s %14s %14s %8s\n", "records", "key", "build keys/s", "sort keys/s", "ratio");
    for (int32_t count : {100000, 1000000}) {
        const std::string base = dir + "/t";
        writeTable(base, count);
        if (!xb::Use(base + " EXCLUSIVE", nullptr, 0)) return 1;
        struct Tag {
            const char* label;
            const char* expr;
            char type;
        };
        for (const Tag& t : {Tag{"C 7", "code", 'C'}, Tag{"N", "amount", 'N'}, Tag{"D", "born", 'D'}}) {
            const auto start = Clock::now();
            if (!xb::MakeIndex({{"T", t.expr, "", false, false}}, base)) {
                std::printf("build failed: %s\n", xb::ErrorMsg().c_str());
                return 1;
            }
            const double build = seconds(start, Clock::now());
            double sort = 0;
            if (t.type == 'C')
                sort = sortSeconds<7>(count, 'C', [](int32_t r, uint8_t* k) { std::memcpy(k, rowOf(r).code.data(), 7); });
            else if (t.type == 'N')
                sort = sortSeconds<12>(count, 'N', [](int32_t r, uint8_t* k) { xb::FloatToBcdKey(rowOf(r).amount, 2, k); });
            else
                sort = sortSeconds<8>(count, 'D', [](int32_t r, uint8_t* k) {
                    const Row row = rowOf(r);
                    xb::DateToKey(xb::JulianOf(row.y, row.m, row.d), k);
                });
            std::printf("%-10d %-8s %14.0f %14.0f %8.2f\n", count, t.label, count / build, count / sort, build / sort);
            bench::ReportFigure("bulk index build, " + std::to_string(count) + " keys, " + t.label, count / build,
                                "keys/s", "std::sort of (key, record)", count / sort);
        }
        xb::CloseDatabase();
    }
    std::string rm = "rm -rf '" + dir + "'";
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
