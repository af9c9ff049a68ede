// The suite's main: GoogleTest with a fixed clock so that header dates are reproducible.
#include <gtest/gtest.h>

#include "platform/clock.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    xb::platform::SetFixedToday({2026, 12, 7});
    return RUN_ALL_TESTS();
}
