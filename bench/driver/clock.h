// The two clocks of the benchmark: a monotonic one for latencies, and the system clock that
// the sample handler's job log uses.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bench {

inline double NowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

// Microseconds on the system clock, as the job log counts them.
inline int64_t SystemTimeUs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10);
}

}  // namespace bench
