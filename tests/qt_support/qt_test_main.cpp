// The GUI suites' main: a QApplication (offscreen unless QT_QPA_PLATFORM says otherwise) around
// GoogleTest, with the same fixed date as the other suites.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/clock.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    xb::platform::SetFixedToday({2026, 12, 7});
    return RUN_ALL_TESTS();
}
