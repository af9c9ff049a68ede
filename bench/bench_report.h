// Benchmarks print their own lines for a person, and one machine-readable line per figure, which
// scripts/bench gathers into one table:
//   RESULT<TAB>figure<TAB>value per second<TAB>unit<TAB>baseline<TAB>baseline per second
// The ratio shown is baseline ÷ value: how many times the baseline's speed the figure falls short of.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

inline void ReportFigure(const std::string& figure, double perSecond, const std::string& unit,
                         const std::string& baseline, double baselinePerSecond) {
    std::printf("RESULT\t%s\t%.0f\t%s\t%s\t%.0f\n", figure.c_str(), perSecond, unit.c_str(), baseline.c_str(),
                baselinePerSecond);
    std::fflush(stdout);
}

}  // namespace bench
