#include "platform/Random.h"

#include <chrono>
#include <mutex>
#include <random>

namespace {
std::mutex lock;
std::mt19937_64& Engine() {
    static std::mt19937_64 e(5489u);
    return e;
}
}  // namespace

int32_t Random(int32_t n) {
    if (n <= 0) return 0;
    std::lock_guard<std::mutex> g(lock);
    return std::uniform_int_distribution<int32_t>(0, n - 1)(Engine());
}

double RandomReal() {
    std::lock_guard<std::mutex> g(lock);
    // 53 random bits: never 1.0, which the library's distribution may round to.
    return static_cast<double>(Engine()() >> 11) * 0x1.0p-53;
}

void RandSeed(uint64_t seed) {
    std::lock_guard<std::mutex> g(lock);
    Engine().seed(seed);
}

void Randomize() {
    RandSeed(static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}
