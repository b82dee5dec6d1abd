// What the benchmarks that time their own runs share: the steady clock, milliseconds, and the
// median their figures report.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace lumora::bench {

using Clock = std::chrono::steady_clock;

inline double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The upper median of an even count, as every recorded figure was taken.
inline double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace lumora::bench
