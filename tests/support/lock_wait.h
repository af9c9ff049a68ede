// Waiting for a lock that another process may hold just then. A test waits by time, as a station does
// (a few seconds), never by a count of tries: on a busy machine any count of tries may be over before
// the other process lets go, and the test fails for nothing.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

namespace xbtest {

// The wait of a station's short lock waits.
inline constexpr std::chrono::milliseconds kLockWait{10000};

// Tries tryLock until it answers true or the wait is over, with pauses growing from 50 microseconds to
// 2 milliseconds; true when the lock was had.
template <class Try>
bool WaitForLock(Try tryLock, std::chrono::milliseconds wait = kLockWait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    std::chrono::microseconds pause{50};
    for (;;) {
        if (tryLock()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds{2000});
    }
}

}  // namespace xbtest
