// Evaluations per second of the key expression str(annee,4)+str(nuchamp,3) over a million records, beside
// the same key built by plain C++ in the same run.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "engine/index/expr_unit.h"
#include "platform/locale_facts.h"
#include "bench/bench_report.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecords = 1000000;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The record i of the run: a season year and a championship number.
int yearOf(int i) { return 1950 + i % 80; }
int champOf(int i) { return i % 997; }

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    xb::InstallExpressionEngine(engine);
    const std::string path = "/tmp/bench_expr_" + std::to_string(getpid()) + ".dbf";
    xb::TableBlock block;
    if (!xb::CreateDbf(block, path, {{"annee", 'N', 4, 0}, {"nuchamp", 'N', 5, 0}}) || !xb::CloseDbf(block) ||
        !xb::Use(path, nullptr, 0)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return 1;
    }
    uint8_t* annee = xb::FieldAddress(1);
    uint8_t* nuchamp = xb::FieldAddress(2);
    xb::ExprRecord* key = xb::AssignExpr("str(annee,4)+str(nuchamp,3)");
    if (!key) return 1;

    // Each record is put into the typed buffer as a read would leave it, then its key is made.
    unsigned long sumEngine = 0, sumPlain = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < kRecords; ++i) {
        xb::TypedSetInt(annee, yearOf(i));
        xb::TypedSetInt(nuchamp, champOf(i));
        const uint8_t* k = xb::EvaluateExpr(key);
        sumEngine += k[3] + k[6];
    }
    const auto t1 = Clock::now();
    char plain[16];
    for (int i = 0; i < kRecords; ++i) {
        xb::TypedSetInt(annee, yearOf(i));
        xb::TypedSetInt(nuchamp, champOf(i));
        std::snprintf(plain, sizeof plain, "%4d%3d", xb::TypedGetInt(annee), xb::TypedGetInt(nuchamp));
        sumPlain += static_cast<unsigned char>(plain[3]) + static_cast<unsigned char>(plain[6]);
    }
    const auto t2 = Clock::now();

    const double engineRate = kRecords / seconds(t0, t1);
    const double plainRate = kRecords / seconds(t1, t2);
    std::printf("expression str(annee,4)+str(nuchamp,3) over %d records\n", kRecords);
    std::printf("  compiled expression: %12.0f evaluations/s\n", engineRate);
    std::printf("  plain C++ key:       %12.0f keys/s\n", plainRate);
    std::printf("  ratio plain/engine:  %12.2f%s\n", plainRate / engineRate,
                sumEngine == sumPlain ? "" : "  (KEYS DIFFER)");
    bench::ReportFigure("key expression str(annee,4)+str(nuchamp,3)", engineRate, "evaluations/s",
                        "the same key built in C++", plainRate);
    xb::FreeExpr(key);
    xb::CloseDatabase();
    unlink(path.c_str());
    return sumEngine == sumPlain ? 0 : 1;
}
