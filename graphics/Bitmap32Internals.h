// What the bitmap's files share: which vector paths this processor may take.
#pragma once

#include <algorithm>
#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#define GC_HAVE_AVX2_PATH 1
#endif

namespace Bitmap32Internals {

inline std::atomic<int> gSimdLimit{2};

// The AVX2 paths run where the processor has them, SSE2 (always there on x86-64) else;
// tests may hold the level lower to compare the paths.
inline int SimdLevel() {
#ifdef GC_HAVE_AVX2_PATH
    static const int hardware = __builtin_cpu_supports("avx2") ? 2 : 1;
#elif defined(__SSE2__)
    constexpr int hardware = 1;
#else
    constexpr int hardware = 0;
#endif
    return std::min(hardware, gSimdLimit.load(std::memory_order_relaxed));
}

}  // namespace Bitmap32Internals
