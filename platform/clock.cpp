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

bool DosDateTimeToTime(uint32_t dos, int64_t& unixTime) {
    std::tm tm{};
    tm.tm_year = static_cast<int>(dos >> 25) + 80;
    tm.tm_mon = static_cast<int>((dos >> 21) & 0xF) - 1;
    tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 59)
        return false;
    tm.tm_isdst = -1;
    const std::tm asked = tm;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon)
        return false;
    unixTime = static_cast<int64_t>(t);
    return true;
}

uint32_t TimeToDosDateTime(int64_t unixTime) {
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm) || tm.tm_year < 80 || tm.tm_year > 80 + 127) return 0;
    uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return (date << 16) | time;
}

CivilDate DosDateOf(uint32_t dos) {
    const uint32_t date = dos >> 16;
    return CivilDate{static_cast<int>(1980 + (date >> 9)), static_cast<int>((date >> 5) & 15),
                     static_cast<int>(date & 31)};
}

uint64_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace xb::platform
