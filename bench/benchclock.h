#pragma once

#include <ctime>

// CLOCK_MONOTONIC in nanoseconds: one clock for a benchmark and its children.
inline long long monotonicNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}
