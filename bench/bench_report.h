// Benchmarks print their own lines for a person, and one machine-readable line per figure, which
// scripts/bench gathers into one table:
//   RESULT<TAB>figure<TAB>value per second<TAB>unit<TAB>baseline<TAB>baseline per second[<TAB>calls]
// The ratio shown is baseline ÷ value: how many times the baseline's speed the figure falls short of. A
// figure without a baseline gives an empty baseline and 0. The optional last column holds the
// file-system calls per operation by kind ("r 1 w 0 l 0 u 0 s 0 o 0 x 0": read, write, lock, unlock,
// stat, open, other), the round trips a network drive would make.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

inline void ReportFigure(const std::string& figure, double perSecond, const std::string& unit,
                         const std::string& baseline, double baselinePerSecond,
                         const std::string& calls = "") {
    if (calls.empty())
        std::printf("RESULT\t%s\t%.0f\t%s\t%s\t%.0f\n", figure.c_str(), perSecond, unit.c_str(),
                    baseline.c_str(), baselinePerSecond);
    else
        std::printf("RESULT\t%s\t%.0f\t%s\t%s\t%.0f\t%s\n", figure.c_str(), perSecond, unit.c_str(),
                    baseline.c_str(), baselinePerSecond, calls.c_str());
    std::fflush(stdout);
}

}  // namespace bench
