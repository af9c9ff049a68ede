#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <optional>

namespace xb::platform {

namespace {
std::optional<CivilDate> g_fixed;
}

CivilDate Today() {
    if (g_fixed) return *g_fixed;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return CivilDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

void SetFixedToday(CivilDate date) { g_fixed = date; }
void ClearFixedToday() { g_fixed.reset(); }

uint64_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace xb::platform
