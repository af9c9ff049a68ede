// Appends per second, exclusive and shared (append lock per record), beside the physical limit: the same
// bytes written with plain write() in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/core/dbf_file.h"
#include "engine/core/engine.h"
#include "engine/core/locks.h"
#include "engine/core/record_writes.h"
#include "engine/core/typed_record.h"
#include "engine/core/work_areas.h"
#include "platform/locale_facts.h"
#include "bench/bench_report.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecords = 200000;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double engineAppends(const std::string& path, bool shared) {
    xb::TableBlock b;
    xb::CreateDbf(b, path, {{"nuchamp", 'N', 3, 0}, {"annee", 'N', 4, 0}, {"nomequipe", 'C', 30, 0},
                            {"points", 'N', 5, 2}});
    xb::Use(path + (shared ? "" : " EXCLUSIVE"), nullptr, 0);
    auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i) {
        if (shared) xb::ALock();
        xb::TypedSetInt(xb::FieldAddress(1), i % 1000);
        xb::TypedSetInt(xb::FieldAddress(2), 2000 + i % 100);
        xb::TypedSetString(xb::FieldAddress(3), 30, "Olympique de Marseille");
        xb::TypedSetDouble(xb::FieldAddress(4), i * 0.25);
        xb::Append();
        if (shared) xb::Unlock();
    }
    xb::CloseDatabase();
    return seconds(start, Clock::now());
}

double plainWrites(const std::string& path, size_t recordSize) {
    std::vector<char> rec(recordSize, ' ');
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i)
        if (::pwrite(fd, rec.data(), rec.size(), static_cast<off_t>(i) * recordSize) < 0) break;
    ::close(fd);
    return seconds(start, Clock::now());
}

}  // namespace

int main() {
    xb::Engine engine(xb::platform::LocaleFactsFromName("en_US"));
    xb::SetErrorTrap(false);
    char dir[] = "/tmp/bench-appends-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string base = dir;
    const double plain = plainWrites(base + "/plain.bin", 1 + 3 + 4 + 30 + 5);
    const double exclusive = engineAppends(base + "/excl.dbf", false);
    const double shared = engineAppends(base + "/shared.dbf", true);
    std::printf("appends (%d records of 43 bytes)\n", kRecords);
    std::printf("  plain pwrite        %10.0f records/s  (baseline)\n", kRecords / plain);
    std::printf("  Append, exclusive   %10.0f records/s  %.2fx of baseline time\n", kRecords / exclusive, exclusive / plain);
    std::printf("  Append, shared+lock %10.0f records/s  %.2fx of baseline time\n", kRecords / shared, shared / plain);
    bench::ReportFigure("Append, exclusive (43-byte records)", kRecords / exclusive, "records/s", "pwrite of the same bytes",
                        kRecords / plain);
    bench::ReportFigure("Append, shared, append lock per record", kRecords / shared, "records/s",
                        "pwrite of the same bytes", kRecords / plain);
    std::string cleanup = "rm -rf " + base;
    return std::system(cleanup.c_str()) == 0 ? 0 : 0;
}
