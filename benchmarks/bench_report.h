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

// An item against its floor: the medians of each, the median of the per-round ratios and the
// spread of those ratios (half their interquartile range).
struct Comparison {
    double subjectNs = 0, floorNs = 0, ratio = 0, spread = 0;
};

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// From paired samples: round r of the subject was taken right beside round r of the floor.
inline Comparison summarize(const std::vector<double>& subject, const std::vector<double>& floor) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < subject.size(); ++r) ratios.push_back(subject[r] / floor[r]);
    std::sort(ratios.begin(), ratios.end());
    const std::size_t n = ratios.size();
    return {median(subject), median(floor), ratios[n / 2], (ratios[(3 * n) / 4] - ratios[n / 4]) / 2};
}

// Load on a shared machine shifts within seconds, so item and floor are never measured in
// separate blocks: rounds alternate A B, B A, A B ... and each ratio compares neighbours. Many
// short rounds beat a few long ones: the median then passes over the rounds a burst hit.
constexpr int kMinRounds = 7;
template <typename A, typename B>
Comparison compare(A&& subject, B&& floor, int iterations, int rounds = 9) {
    rounds = std::max(rounds, kMinRounds);
    subject();  // warm both up: first calls load code and open what later calls reuse
    floor();
    std::vector<double> s, f;
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            s.push_back(nsPerCall(subject, iterations, 1));
            f.push_back(nsPerCall(floor, iterations, 1));
        } else {
            f.push_back(nsPerCall(floor, iterations, 1));
            s.push_back(nsPerCall(subject, iterations, 1));
        }
    }
    return summarize(s, f);
}

// One row: what was measured, its cost per item, and either nothing to compare it with or its
// comparison with a floor, with a short description of that floor.
inline void report(const char* item, double nsPerItem, const char* description) {
    std::printf("BENCH\t%s\t%.0f\t-\t-\t-\t%s\n", item, nsPerItem, description);
    std::fflush(stdout);
}

inline void report(const char* item, const Comparison& c, const char* floorDescription) {
    std::printf("BENCH\t%s\t%.0f\t%.0f\t%.3f\t%.3f\t%s\n", item, c.subjectNs, c.floorNs, c.ratio, c.spread,
                floorDescription);
    std::fflush(stdout);
}

}  // namespace zol::bench
