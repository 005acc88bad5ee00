// The one clock of the benchmark: QueryPerformanceCounter, readable from any
// thread, so both ends of a cross-thread measurement share a time base.
#pragma once

#include <windows.h>

namespace vtx::bench {

inline long long Ticks() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline double TicksToMicroseconds(long long ticks) {
    static const double perMicrosecond = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    return static_cast<double>(ticks) / perMicrosecond;
}

inline double MicrosecondsSince(long long start) { return TicksToMicroseconds(Ticks() - start); }

}  // namespace vtx::bench
