// Appends per second through Append with 0, 1, 5 and 10 index tags, exclusive and shared, and replaces
// per second with and without a key change, beside the same records written with plain write() in the
// same run.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/locks.h"
#include "engine/core/navigation.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "engine/index/index_driver.h"
#include "engine/index/mdx_build.h"
#include "platform/locale_facts.h"
#include "bench/bench_report.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecords = 20000;
constexpr int kReplaces = 20000;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

const std::vector<xb::FieldDef> kFields = {
    {"nuchamp", 'N', 3, 0}, {"annee", 'N', 4, 0},      {"nujournee", 'N', 2, 0}, {"nueq1", 'N', 5, 0},
    {"nueq2", 'N', 5, 0},   {"nomequipe", 'C', 30, 0}, {"points", 'N', 5, 0}};
constexpr size_t kRecordSize = 1 + 3 + 4 + 2 + 5 + 5 + 30 + 5;

// Ten tags of the kind the league tables have; the first n are used.
const std::vector<xb::TagDefinition> kTags = {
    {"CHANJO", "str(nuchamp,3)+str(annee,4)+str(nujournee,2)", "", false, false},
    {"EQ1EQ2", "str(nueq1,5)+str(nueq2,5)", "", false, false},
    {"NOM", "nomequipe", "", false, false},
    {"ANNEE", "annee", "", false, false},
    {"EQ2EQ1", "str(nueq2,5)+str(nueq1,5)", "", false, false},
    {"POINTS", "points", "", false, false},
    {"NOMAN", "nomequipe+str(annee,4)", "", false, false},
    {"JOURNEE", "str(nujournee,2)+str(nuchamp,3)", "", false, false},
    {"EQ1", "nueq1", "", false, false},
    {"CHAMP", "nuchamp", "", true, false},
};

uint32_t g_state = 12345;
uint32_t next() {
    g_state = g_state * 1103515245u + 12345u;
    return g_state >> 8;
}

void fill(int i) {
    xb::TypedSetInt(xb::FieldAddress(1), static_cast<int32_t>(next() % 1000));
    xb::TypedSetInt(xb::FieldAddress(2), 1990 + static_cast<int32_t>(next() % 40));
    xb::TypedSetInt(xb::FieldAddress(3), static_cast<int32_t>(next() % 40));
    xb::TypedSetInt(xb::FieldAddress(4), static_cast<int32_t>(next() % 100000));
    xb::TypedSetInt(xb::FieldAddress(5), static_cast<int32_t>(next() % 100000));
    static const char* const names[] = {"Olympique de Marseille", "Stade Rennais", "AS Saint-Etienne",
                                        "FC Nantes"};
    xb::TypedSetString(xb::FieldAddress(6), 30,
                       std::string(names[next() % 4]) + " " + std::to_string(next() % 997));
    xb::TypedSetInt(xb::FieldAddress(7), i % 1000);
}

// Creates the table with its index of n tags (none for 0) and opens it.
void openTable(const std::string& path, size_t tags, bool shared) {
    xb::TableBlock b;
    xb::CreateDbf(b, path, kFields);
    xb::CloseDbf(b);
    xb::Use(path + (shared ? "" : " EXCLUSIVE"), nullptr, 0);
    if (tags == 0) return;
    std::vector<xb::TagDefinition> defs(kTags.begin(), kTags.begin() + static_cast<long>(tags));
    if (!xb::MakeIndex(defs, "") || !xb::SetIndexTo(""))
        std::fprintf(stderr, "index: %s\n", xb::ErrorMsg().c_str());
}

double appends(const std::string& path, size_t tags, bool shared) {
    openTable(path, tags, shared);
    g_state = 12345;
    const auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i) {
        if (shared) xb::ALock();
        xb::ClearRecord();
        fill(i);
        if (!xb::Append()) std::fprintf(stderr, "append: %s\n", xb::ErrorMsg().c_str());
        if (shared) xb::Unlock();
    }
    const double t = seconds(start, Clock::now());
    xb::CloseDatabase();
    return t;
}

// Replaces on a table of kRecords records with five tags: either every key changes, or only a field
// that no tag uses.
double replaces(const std::string& path, bool keyChange, bool shared) {
    openTable(path, 5, shared);
    g_state = 777;
    for (int i = 0; i < kRecords; ++i) {
        if (shared) xb::ALock();
        xb::ClearRecord();
        fill(i);
        xb::Append();
        if (shared) xb::Unlock();
    }
    xb::Set_Order_To(0);
    const auto start = Clock::now();
    for (int i = 0; i < kReplaces; ++i) {
        const int32_t r = static_cast<int32_t>(next() % kRecords) + 1;
        xb::Go(r);
        if (shared) xb::RLock();
        if (keyChange)
            fill(i);
        else
            xb::TypedSetInt(xb::FieldAddress(7), i % 1000);  // POINTS is tag 6: not among the five
        if (!xb::Replace()) std::fprintf(stderr, "replace: %s\n", xb::ErrorMsg().c_str());
        if (shared) xb::Unlock();
    }
    const double t = seconds(start, Clock::now());
    xb::CloseDatabase();
    return t;
}

double plainWrites(const std::string& path) {
    std::vector<char> rec(kRecordSize, ' ');
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    const auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i)
        if (::pwrite(fd, rec.data(), rec.size(), static_cast<off_t>(i) * static_cast<off_t>(kRecordSize)) < 0)
            break;
    ::close(fd);
    return seconds(start, Clock::now());
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::InstallExpressionEngine(engine);
    xb::InstallIndexEngine(engine);
    xb::SetErrorTrap(false);
    char dir[] = "/tmp/bench-indexed-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string base = dir;
    const double plain = plainWrites(base + "/plain.bin");
    std::printf("indexed writes (%d records of %zu bytes)\n", kRecords, kRecordSize);
    std::printf("  plain pwrite                 %10.0f records/s  (baseline)\n", kRecords / plain);
    int n = 0;
    for (bool shared : {false, true}) {
        for (size_t tags : {0u, 1u, 5u, 10u}) {
            const double t = appends(base + "/a" + std::to_string(n++), tags, shared);
            std::printf("  Append, %-9s %2zu tags    %10.0f records/s  %.1fx of baseline time\n",
                        shared ? "shared" : "exclusive", tags, kRecords / t, t / plain);
            if (tags == 5)
                bench::ReportFigure(std::string("Append with 5 tags, ") +
                                        (shared ? "shared, append lock per record" : "exclusive"),
                                    kRecords / t, "records/s", "pwrite of the same bytes", kRecords / plain);
        }
    }
    for (bool shared : {false, true}) {
        for (bool keyChange : {false, true}) {
            const double t = replaces(base + "/r" + std::to_string(n++), keyChange, shared);
            std::printf("  Replace, %-9s %s  %10.0f records/s  %.1fx of baseline time\n",
                        shared ? "shared" : "exclusive", keyChange ? "keys change " : "keys stay   ",
                        kReplaces / t, t / plain);
        }
    }
    const std::string cleanup = "rm -rf " + base;
    return std::system(cleanup.c_str()) == 0 ? 0 : 0;
}
