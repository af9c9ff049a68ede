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

// Packed DOS date and time in local time (date in the high word: years from 1980, month, day; time in the
// low word in two-second steps) and back. A time outside 1980..2107 packs as 0; a packed value that is not
// a valid calendar time gives false.
uint32_t TimeToDosDateTime(int64_t unixTime);
bool DosDateTimeToTime(uint32_t dos, int64_t& unixTime);
// The calendar date of a packed date and time.
CivilDate DosDateOf(uint32_t dos);

// Milliseconds from an arbitrary fixed start (monotonic).
uint64_t TickCountMs();

}  // namespace xb::platform
