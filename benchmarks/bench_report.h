// Timing and the one output format that scripts/bench.sh turns into the project's table.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zol::bench {

inline double nowNs() {
    static const double nsPerTick = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return 1e9 / static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * nsPerTick;
}

// Median over `rounds` of the mean cost of `iterations` calls, in ns per call.
template <typename F>
double nsPerCall(F&& body, int iterations, int rounds = 7) {
    std::vector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        const double start = nowNs();
        for (int i = 0; i < iterations; ++i) body();
        samples.push_back((nowNs() - start) / iterations);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// One row: what was measured, its cost per item, the platform floor it is compared with (0 when
// it has none) and a short description of that floor.
inline void report(const char* item, double nsPerItem, double floorNs, const char* floorDescription) {
    if (floorNs > 0)
        std::printf("BENCH\t%s\t%.0f\t%.0f\t%.3f\t%s\n", item, nsPerItem, floorNs, nsPerItem / floorNs,
                    floorDescription);
    else
        std::printf("BENCH\t%s\t%.0f\t-\t-\t%s\n", item, nsPerItem, floorDescription);
    std::fflush(stdout);
}

}  // namespace zol::bench
