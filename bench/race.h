// Timing side by side: a warm-up, then rounds alternating which side goes
// first, medians, and each ratio printed against its target.
#ifndef RASTERKIT_BENCH_RACE_H
#define RASTERKIT_BENCH_RACE_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

using clock_type = std::chrono::steady_clock;

inline void keep(const void *p) { asm volatile("" : : "r"(p) : "memory"); }

inline double milliseconds(const std::function<void()> &job) {
    const auto start = clock_type::now();
    job();
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Race {
    double ours;
    double theirs;
};

// Warm-up, then rounds alternating which side goes first.
inline Race race(int rounds, const std::function<void()> &ours, const std::function<void()> &theirs) {
    ours();
    theirs();
    std::vector<double> a, b;
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            a.push_back(milliseconds(ours));
            b.push_back(milliseconds(theirs));
        } else {
            b.push_back(milliseconds(theirs));
            a.push_back(milliseconds(ours));
        }
    }
    return {median(a), median(b)};
}

enum class Goal { at_most, faster_by, info };

inline int targets_met = 0;
inline int targets_missed = 0;

inline void report(const std::string &what, const std::string &against, const Race &r, Goal goal, double target) {
    const double ratio = r.ours / r.theirs;
    std::string verdict;
    if (goal == Goal::at_most) {
        const bool ok = ratio <= target;
        (ok ? targets_met : targets_missed)++;
        char text[64];
        std::snprintf(text, sizeof text, "target <= %.2fx  %s", target, ok ? "met" : "MISSED");
        verdict = text;
    } else if (goal == Goal::faster_by) {
        const bool ok = r.theirs / r.ours >= target;
        (ok ? targets_met : targets_missed)++;
        char text[64];
        std::snprintf(text, sizeof text, "target %.2fx faster  %s", target, ok ? "met" : "MISSED");
        verdict = text;
    }
    std::printf("  %-30s %9.2f ms | %-24s %9.2f ms | ratio %5.3f (%.2fx faster)  %s\n", what.c_str(), r.ours,
                against.c_str(), r.theirs, ratio, r.theirs / r.ours, verdict.c_str());
    std::fflush(stdout);
}

inline std::vector<std::uint8_t> slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace bench

#endif
