// What the benchmarks share: wall-clock timing of one piece of work and its report.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

// The seconds f takes, on the steady clock.
template <class F>
double Seconds(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Our time over the reference's, the target that ratio should stay under (none at 0), and
// the reference's time per iteration.
inline void Report(benchmark::State& state, double ours, double ref, const char* refName, double target = 0) {
    state.counters["ratio"] = ref > 0 ? ours / ref : 0;
    if (target > 0) state.counters["target"] = target;
    state.counters[std::string(refName) + "_ms"] = ref * 1000 / double(std::max<int64_t>(1, state.iterations()));
}
