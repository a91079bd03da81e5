// What the benchmarks share: wall-clock timing of one piece of work.
#pragma once

#include <chrono>

// The seconds f takes, on the steady clock.
template <class F>
double Seconds(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
