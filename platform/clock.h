// Wall clock and tick count. Tests fix the date: table headers carry today's date.
#pragma once

#include <cstdint>

namespace xb::platform {

struct CivilDate {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
};

CivilDate Today();
// Fixes Today() to the given date until ClearFixedToday().
void SetFixedToday(CivilDate date);
void ClearFixedToday();

// Milliseconds from an arbitrary fixed start (monotonic).
uint64_t TickCountMs();

}  // namespace xb::platform
