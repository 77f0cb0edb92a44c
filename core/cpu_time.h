#pragma once

#include <ctime>

namespace core {

// CPU time this process has used, in seconds: what benchmarks and tests weigh a busy loop
// with, unlike wall-clock time, which a loaded machine stretches.
inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace core
