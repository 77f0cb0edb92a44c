#pragma once

// A small benchmark harness. Every figure is measured in the same run as the figure it is
// compared with, and reported as a ratio. Each result is one row on standard output:
//
//   BENCH<TAB>name<TAB>value<TAB>unit<TAB>ratio<TAB>what the ratio compares<TAB>goal
//
// bench/run collects the rows of every benchmark into one table.

#include "core/cpu_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using core::processCpuSeconds;

// Calls body() until at least minSeconds have passed (and at least once); returns the
// seconds per call of the fastest of `rounds` such rounds, which damps noise from the
// other core.
template <class Body>
double secondsPerCall(Body &&body, double minSeconds = 0.3, int rounds = 3)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        long calls = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        do {
            body();
            ++calls;
            elapsed = secondsSince(start);
        } while (elapsed < minSeconds);
        best = std::min(best, elapsed / double(calls));
    }
    return best;
}

// Keeps the compiler from removing a computation whose result is otherwise unused.
template <class T>
inline void keep(const T &value)
{
    asm volatile("" : : "g"(&value) : "memory");
}

inline void row(const std::string &name, double value, const std::string &unit, double ratio,
                const std::string &comparedWith, const std::string &goal)
{
    std::printf("BENCH\t%s\t%.6g\t%s\t%.3f\t%s\t%s\n", name.c_str(), value, unit.c_str(), ratio,
                comparedWith.c_str(), goal.c_str());
    std::fflush(stdout);
}

} // namespace bench
