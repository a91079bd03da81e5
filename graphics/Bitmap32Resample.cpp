// Stretching bitmaps: the filters, their kernels and the separable resampler.
#include "graphics/Bitmap32.h"
#include "graphics/Bitmap32Internals.h"

#include "platform/ProcessInfo.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

using namespace Bitmap32Internals;

namespace {

// ---- Resampling ----------------------------------------------------------------------
//
// Separable: a vertical pass over the source columns the horizontal taps need, kept in
// 16 bits with 6 bits of fraction, then a horizontal pass. Weights are 14-bit fixed point
// and sum to exactly one per destination index, so a constant picture stays constant.
// Every path (scalar, SSE2, AVX2) computes the same integers.

constexpr int kWeightBits = 14;

// The taps of one axis: for each destination index its first source index, its tap
// count and its weights, padded with zero weights to a multiple of four.
struct TAxisTaps {
    // What they were built for.
    TStretchFilter Filter = sfNearest;
    int DstLen = 0, SrcStart = 0, SrcLen = 0, Limit = 0, C1 = 0, C2 = 0;
    bool Valid = false;
    uint64_t LastUse = 0;

    int Stride = 0;                   // padded taps per index
    int Most = 0;                     // taps of the widest index
    int Lo = 0, Hi = 0;               // source range touched, [Lo, Hi)
    std::vector<int> Start;           // first source index
    std::vector<int> Count;           // taps
    std::vector<int16_t> Weights;     // Stride per index
    std::vector<int32_t> Pairs;       // Stride / 2 per index: tap 2k in the low half, 2k + 1 in the high
    std::vector<int16_t> Groups;      // Stride * 4 per index: per four taps, (w0, w1) x 4 then (w2, w3) x 4

    bool Matches(TStretchFilter f, int dstLen, int srcStart, int srcLen, int limit, int c1, int c2) const {
        return Valid && Filter == f && DstLen == dstLen && SrcStart == srcStart && SrcLen == srcLen && Limit == limit &&
               C1 == c1 && C2 == c2;
    }

    // Destination indices [c1, c2) of a destination span of dstLen that starts at index 0
    // and maps onto the source span [srcStart, srcStart + srcLen); samples clamp to [0, limit).
    void Build(TStretchFilter filter, int dstLen, int srcStart, int srcLen, int limit, int c1, int c2);
    // The weights of the n indices again, in the pairs and groups of four the passes read.
    void PackWeights(size_t n);
};

double Sinc(double x) {
    if (x == 0) return 1;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

void TAxisTaps::PackWeights(size_t n) {
    Pairs.resize(n * size_t(Stride / 2));
    Groups.resize(n * size_t(Stride) * 4);
    for (size_t k = 0; k < n; ++k) {
        const int16_t* wk = Weights.data() + k * size_t(Stride);
        for (int t = 0; t < Stride; t += 2)
            Pairs[k * size_t(Stride / 2) + size_t(t / 2)] = int32_t(uint32_t(uint16_t(wk[t])) | (uint32_t(uint16_t(wk[t + 1])) << 16));
        int16_t* g = Groups.data() + k * size_t(Stride) * 4;
        for (int t = 0; t < Stride; t += 4, g += 16)
            for (int l = 0; l < 4; ++l) {
                g[2 * l] = wk[t];
                g[2 * l + 1] = wk[t + 1];
                g[8 + 2 * l] = wk[t + 2];
                g[8 + 2 * l + 1] = wk[t + 3];
            }
    }
}

void TAxisTaps::Build(TStretchFilter filter, int dstLen, int srcStart, int srcLen, int limit, int c1, int c2) {
    Filter = filter;
    DstLen = dstLen;
    SrcStart = srcStart;
    SrcLen = srcLen;
    Limit = limit;
    C1 = c1;
    C2 = c2;
    Valid = true;
    const double scale = double(srcLen) / double(dstLen);
    const double widen = std::max(1.0, scale);
    const double radius = StretchKernelRadius(filter) * widen;
    const size_t n = size_t(c2 - c1);
    // Samples beyond an edge are mirrored at the edge pixel: a constant stays constant
    // and a fine pattern keeps its balance up to the border.
    auto mirror = [limit](int j) {
        if (j < 0) j = -j;
        if (j >= limit) j = 2 * (limit - 1) - j;
        return std::clamp(j, 0, limit - 1);
    };
    auto centreOf = [&](int i) { return srcStart + (i + 0.5) * scale - 0.5; };
    // The span of each index first, for the common stride.
    Start.resize(n);
    Count.resize(n);
    Lo = limit;
    Hi = 0;
    int most = 1;
    for (size_t k = 0; k < n; ++k) {
        const double centre = centreOf(c1 + int(k));
        const int jlo = int(std::ceil(centre - radius)), jhi = int(std::floor(centre + radius));
        int lo = limit, hi = -1;
        for (int j = jlo; j <= jhi; ++j) {
            lo = std::min(lo, mirror(j));
            hi = std::max(hi, mirror(j));
        }
        if (hi < lo) lo = hi = mirror(int(std::floor(centre + 0.5)));
        Start[k] = lo;
        Count[k] = hi - lo + 1;
        most = std::max(most, Count[k]);
        Lo = std::min(Lo, lo);
        Hi = std::max(Hi, hi + 1);
    }
    Most = most;
    Stride = (most + 3) & ~3;
    Weights.assign(n * size_t(Stride), 0);
    std::vector<double> w(static_cast<size_t>(Stride));
    for (size_t k = 0; k < n; ++k) {
        const double centre = centreOf(c1 + int(k));
        const int jlo = int(std::ceil(centre - radius)), jhi = int(std::floor(centre + radius));
        const int lo = Start[k], cnt = Count[k];
        std::fill(w.begin(), w.end(), 0.0);
        double sum = 0;
        for (int j = jlo; j <= jhi; ++j) {
            const double kv = StretchKernel(filter, (j - centre) / widen);
            w[size_t(mirror(j) - lo)] += kv;
            sum += kv;
        }
        if (std::fabs(sum) < 1e-9) {
            // No tap carries weight: take the nearest sample.
            std::fill(w.begin(), w.end(), 0.0);
            w[size_t(std::clamp(mirror(int(std::floor(centre + 0.5))), lo, lo + cnt - 1) - lo)] = 1;
            sum = 1;
        }
        int16_t* out = Weights.data() + k * size_t(Stride);
        int total = 0;
        int largest = 0;
        for (int t = 0; t < cnt; ++t) {
            const int q = int(std::lround(w[size_t(t)] / sum * (1 << kWeightBits)));
            out[t] = int16_t(q);
            total += q;
            if (std::fabs(w[size_t(t)]) > std::fabs(w[size_t(largest)])) largest = t;
        }
        // Exactly one in sum, so a constant picture stays constant.
        out[largest] = int16_t(out[largest] + ((1 << kWeightBits) - total));
    }
    PackWeights(n);
}

// What StretchTo keeps between calls on one thread: recently used taps and its rows.
struct TStretchScratch {
    static constexpr int kCached = 8;
    TAxisTaps Taps[kCached];
    uint64_t Clock = 0;
    std::vector<int16_t> Mid;
    std::vector<const uint8_t*> Rows;
    std::vector<TColor32> Row;
    std::vector<int> Xs;

    const TAxisTaps& TapsFor(TStretchFilter f, int dstLen, int srcStart, int srcLen, int limit, int c1, int c2) {
        TAxisTaps* oldest = &Taps[0];
        for (TAxisTaps& t : Taps) {
            if (t.Matches(f, dstLen, srcStart, srcLen, limit, c1, c2)) {
                t.LastUse = ++Clock;
                return t;
            }
            if (t.LastUse < oldest->LastUse) oldest = &t;
        }
        oldest->Build(f, dstLen, srcStart, srcLen, limit, c1, c2);
        oldest->LastUse = ++Clock;
        return *oldest;
    }
};

TStretchScratch& StretchScratch() {
    thread_local TStretchScratch scratch;
    return scratch;
}

// Threads for a filtered stretch of this many destination pixels: one below about a
// millisecond of work, where starting threads costs more than it saves, and no more than
// the cores the process may run on.
int StretchBands(int64_t pixels) {
    constexpr int64_t kPixelsPerBand = 256 * 1024;
    if (pixels < 2 * kPixelsPerBand) return 1;
    return int(std::clamp<int64_t>(pixels / kPixelsPerBand, 1, std::min(ProcessCores(), 4)));
}

// Set on the threads of DrawPiecesTo: their pieces are not split again into bands.
thread_local bool stretchOnOneThread = false;
struct TOneThreadScope {
    TOneThreadScope() : saved(stretchOnOneThread) { stretchOnOneThread = true; }
    ~TOneThreadScope() { stretchOnOneThread = saved; }
    TOneThreadScope(const TOneThreadScope&) = delete;
    TOneThreadScope& operator=(const TOneThreadScope&) = delete;
    const bool saved;
};

// The vertical pass of one destination row: mid[c] = round(sum of w[k] * row k [c] / 2^8)
// over the first bytes of the rows; an odd last row pairs with itself at weight 0.
struct TRowSet {
    const uint8_t* const* Rows;
    int Count;
    const uint8_t* Row(int k) const { return Rows[k]; }  // k <= Count, even Count rounded up
};

inline int16_t MidOf(int32_t acc) { return int16_t((acc + (1 << 7)) >> 8); }

void VerticalScalar(const TRowSet& rows, const int16_t* w, int16_t* mid, size_t from, size_t bytes) {
    for (size_t c = from; c < bytes; ++c) {
        int32_t acc = 0;
        for (int k = 0; k < rows.Count; ++k) acc += int32_t(w[k]) * rows.Row(k)[c];
        mid[c] = MidOf(acc);
    }
}

#ifdef __SSE2__
void VerticalSSE2(const TRowSet& rows, const int16_t* w, const int32_t* pairs, int16_t* mid, size_t bytes) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i round = _mm_set1_epi32(1 << 7);
    const int npairs = (rows.Count + 1) / 2;
    size_t c = 0;
    for (; c + 16 <= bytes; c += 16) {
        __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
        for (int p = 0; p < npairs; ++p) {
            const __m128i wp = _mm_set1_epi32(pairs[p]);
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows.Row(2 * p) + c));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows.Row(2 * p + 1) + c));
            const __m128i xl = _mm_unpacklo_epi8(x, zero), xh = _mm_unpackhi_epi8(x, zero);
            const __m128i yl = _mm_unpacklo_epi8(y, zero), yh = _mm_unpackhi_epi8(y, zero);
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(xl, yl), wp));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(xl, yl), wp));
            a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi16(xh, yh), wp));
            a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi16(xh, yh), wp));
        }
        auto shift = [&](__m128i v) { return _mm_srai_epi32(_mm_add_epi32(v, round), 8); };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + c), _mm_packs_epi32(shift(a0), shift(a1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + c + 8), _mm_packs_epi32(shift(a2), shift(a3)));
    }
    VerticalScalar(rows, w, mid, c, bytes);
}

// One destination pixel's four channel sums of the horizontal pass: every index runs
// the axis's full stride of taps (the padding weighs nothing), so the loops unroll.
template <int Groups>
inline __m128i HorizontalSumSSE2(const int16_t* m, const int16_t* g, int groups) {
    __m128i sum = _mm_setzero_si128();
    const int count = Groups > 0 ? Groups : groups;
    for (int k = 0; k < count; ++k, m += 16, g += 16) {
        const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m));
        const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 8));
        // Two taps side by side per channel, then one madd with their weights.
        const __m128i p0 = _mm_unpacklo_epi16(x0, _mm_srli_si128(x0, 8));
        const __m128i p1 = _mm_unpacklo_epi16(x1, _mm_srli_si128(x1, 8));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(p0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(g))));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(p1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + 8))));
    }
    return sum;
}

// The sums of four pixels, rounded and clamped to bytes.
inline __m128i PackSums(__m128i s0, __m128i s1, __m128i s2, __m128i s3) {
    constexpr int shift = kWeightBits + 6;
    const __m128i half = _mm_set1_epi32(1 << (shift - 1));
    auto r = [&](__m128i v) { return _mm_srai_epi32(_mm_add_epi32(v, half), shift); };
    return _mm_packus_epi16(_mm_packs_epi32(r(s0), r(s1)), _mm_packs_epi32(r(s2), r(s3)));
}

// Four destination pixels at a time, then the rest one by one. Always inlined, so that
// in the AVX2 passes the sums inline too.
template <class Sum>
__attribute__((always_inline)) inline void HorizontalRow(int n, TColor32* out, Sum sum) {
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), PackSums(sum(i), sum(i + 1), sum(i + 2), sum(i + 3)));
    for (; i < n; ++i) {
        const __m128i s = sum(i);
        out[i] = TColor32(_mm_cvtsi128_si32(PackSums(s, s, s, s)));
    }
}

template <int Groups>
void HorizontalSSE2Of(const TAxisTaps& t, const int16_t* mid, TColor32* out, int n) {
    const int16_t* g = t.Groups.data();
    const int* start = t.Start.data();
    const int gs = t.Stride * 4, groups = t.Stride / 4, lo = t.Lo;
    HorizontalRow(n, out, [&](int k) {
        return HorizontalSumSSE2<Groups>(mid + (start[k] - lo) * 4, g + k * gs, groups);
    });
}

void HorizontalSSE2(const TAxisTaps& t, const int16_t* mid, TColor32* out, int n) {
    switch (t.Stride / 4) {
    case 1: return HorizontalSSE2Of<1>(t, mid, out, n);
    case 2: return HorizontalSSE2Of<2>(t, mid, out, n);
    case 3: return HorizontalSSE2Of<3>(t, mid, out, n);
    case 4: return HorizontalSSE2Of<4>(t, mid, out, n);
    default: return HorizontalSSE2Of<0>(t, mid, out, n);
    }
}
#endif

#ifdef GC_HAVE_AVX2_PATH
__attribute__((target("avx2"))) void VerticalAVX2(const TRowSet& rows, const int16_t* w, const int32_t* pairs,
                                                   int16_t* mid, size_t bytes) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i round = _mm256_set1_epi32(1 << 7);
    const int npairs = (rows.Count + 1) / 2;
    auto shift = [&](__m256i v) __attribute__((target("avx2"))) {
        return _mm256_srai_epi32(_mm256_add_epi32(v, round), 8);
    };
    size_t c = 0;
    for (; c + 32 <= bytes; c += 32) {
        __m256i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
        for (int p = 0; p < npairs; ++p) {
            const __m256i wp = _mm256_set1_epi32(pairs[p]);
            const uint8_t* r0 = rows.Row(2 * p) + c;
            const uint8_t* r1 = rows.Row(2 * p + 1) + c;
            // Widened in order, so the packs below come out in order too.
            const __m256i x0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0)));
            const __m256i y0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1)));
            const __m256i x1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 16)));
            const __m256i y1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 16)));
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x0, y0), wp));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x0, y0), wp));
            a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi16(x1, y1), wp));
            a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi16(x1, y1), wp));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + c), _mm256_packs_epi32(shift(a0), shift(a1)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + c + 16), _mm256_packs_epi32(shift(a2), shift(a3)));
    }
    VerticalScalar(rows, w, mid, c, bytes);
}

template <int Groups>
__attribute__((target("avx2"))) inline __m128i HorizontalSumAVX2(const int16_t* m, const int16_t* g, int groups) {
    // Per lane: two source pixels' channels interleaved, (c0 c0' c1 c1' c2 c2' c3 c3').
    const __m256i pairUp = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
                                            0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    __m256i sum = _mm256_setzero_si256();
    const int count = Groups > 0 ? Groups : groups;
    for (int k = 0; k < count; ++k, m += 16, g += 16) {
        const __m256i x = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m)), pairUp);
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g))));
    }
    return _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
}

// Up to two taps per index (enlarging with Linear): one 128-bit madd per pixel.
__attribute__((target("avx2"))) inline __m128i HorizontalSum2(const int16_t* m, const int16_t* g) {
    const __m128i pairUp = _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m128i x = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)), pairUp);
    return _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(g)));
}

template <int Groups>
__attribute__((target("avx2"))) void HorizontalAVX2Of(const TAxisTaps& t, const int16_t* mid, TColor32* out, int n) {
    const int16_t* g = t.Groups.data();
    const int* start = t.Start.data();
    const int gs = t.Stride * 4, groups = t.Stride / 4, lo = t.Lo;
    if (Groups == 1 && t.Most <= 2)
        return HorizontalRow(n, out, [&](int k) __attribute__((target("avx2"))) {
            return HorizontalSum2(mid + (start[k] - lo) * 4, g + k * gs);
        });
    HorizontalRow(n, out, [&](int k) __attribute__((target("avx2"))) {
        return HorizontalSumAVX2<Groups>(mid + (start[k] - lo) * 4, g + k * gs, groups);
    });
}

__attribute__((target("avx2"))) void HorizontalAVX2(const TAxisTaps& t, const int16_t* mid, TColor32* out, int n) {
    switch (t.Stride / 4) {
    case 1: return HorizontalAVX2Of<1>(t, mid, out, n);
    case 2: return HorizontalAVX2Of<2>(t, mid, out, n);
    case 3: return HorizontalAVX2Of<3>(t, mid, out, n);
    case 4: return HorizontalAVX2Of<4>(t, mid, out, n);
    default: return HorizontalAVX2Of<0>(t, mid, out, n);
    }
}
#endif

void HorizontalScalar(const TAxisTaps& t, const int16_t* mid, TColor32* out, int n) {
    constexpr int shift = kWeightBits + 6;
    constexpr int32_t half = 1 << (shift - 1);
    auto clamp8 = [](int32_t v) { return uint32_t(std::clamp(v, 0, 255)); };
    for (int i = 0; i < n; ++i) {
        const int16_t* w = t.Weights.data() + size_t(i) * size_t(t.Stride);
        const int16_t* m = mid + size_t(t.Start[size_t(i)] - t.Lo) * 4;
        int32_t s[4] = {0, 0, 0, 0};
        for (int k = 0, cnt = t.Count[size_t(i)]; k < cnt; ++k)
            for (int c = 0; c < 4; ++c) s[c] += int32_t(w[k]) * m[4 * k + c];
        out[i] = clamp8((s[0] + half) >> shift) | (clamp8((s[1] + half) >> shift) << 8) |
                 (clamp8((s[2] + half) >> shift) << 16) | (clamp8((s[3] + half) >> shift) << 24);
    }
}

void VerticalPass(const TRowSet& rows, const int16_t* w, const int32_t* pairs, int16_t* mid, size_t bytes) {
    const int level = SimdLevel();
#ifdef GC_HAVE_AVX2_PATH
    if (level >= 2) return VerticalAVX2(rows, w, pairs, mid, bytes);
#endif
#ifdef __SSE2__
    if (level >= 1) return VerticalSSE2(rows, w, pairs, mid, bytes);
#endif
    (void)pairs;
    VerticalScalar(rows, w, mid, 0, bytes);
}

void HorizontalPass(const TAxisTaps& t, const int16_t* mid, TColor32* out, int n) {
    const int level = SimdLevel();
#ifdef GC_HAVE_AVX2_PATH
    if (level >= 2) return HorizontalAVX2(t, mid, out, n);
#endif
#ifdef __SSE2__
    if (level >= 1) return HorizontalSSE2(t, mid, out, n);
#endif
    HorizontalScalar(t, mid, out, n);
}
}  // namespace

double StretchKernelRadius(TStretchFilter filter) {
    switch (filter) {
    case sfNearest: return 0.5;
    case sfLinear: return 1;
    case sfSpline: return 2;
    case sfLanczos: return 3;
    case sfMitchell: return 2;
    }
    return 1;
}

double StretchKernel(TStretchFilter filter, double x) {
    x = std::fabs(x);
    switch (filter) {
    case sfNearest:
        return x < 0.5 ? 1 : 0;
    case sfLinear:
        return x < 1 ? 1 - x : 0;
    case sfSpline:  // cubic B-spline
        if (x < 1) return (3 * x * x * x - 6 * x * x + 4) / 6;
        if (x < 2) return (2 - x) * (2 - x) * (2 - x) / 6;
        return 0;
    case sfLanczos:
        return x < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case sfMitchell:  // B = C = 1/3
        if (x < 1) return (7 * x * x * x - 12 * x * x + 16.0 / 3) / 6;
        if (x < 2) return (-7.0 / 3 * x * x * x + 12 * x * x - 20 * x + 32.0 / 3) / 6;
        return 0;
    }
    return 0;
}

// Long: the clipping, the nearest-sample path and the banded two-pass path share one set of
// clipped spans, and read best as one walk from the rectangles to the rows.
void TBitmap32::StretchTo(TBitmap32& dst, int dX1, int dY1, int dX2, int dY2,
                          int sX1, int sY1, int sX2, int sY2) const {
    if (&dst == this) {
        TBitmap32 copy = *this;
        copy.StretchTo(dst, dX1, dY1, dX2, dY2, sX1, sY1, sX2, sY2);
        return;
    }
    if (dX2 <= dX1 || dY2 <= dY1 || sX2 <= sX1 || sY2 <= sY1 || Empty() || dst.Empty()) return;
    // Cut the source to this bitmap; the destination shrinks in proportion.
    double fdX1 = dX1, fdY1 = dY1, fdX2 = dX2, fdY2 = dY2;
    const double kx = (fdX2 - fdX1) / (double(sX2) - sX1), ky = (fdY2 - fdY1) / (double(sY2) - sY1);
    if (sX1 < 0) { fdX1 -= sX1 * kx; sX1 = 0; }
    if (sY1 < 0) { fdY1 -= sY1 * ky; sY1 = 0; }
    if (sX2 > width_) { fdX2 -= (double(sX2) - width_) * kx; sX2 = width_; }
    if (sY2 > height_) { fdY2 -= (double(sY2) - height_) * ky; sY2 = height_; }
    if (sX2 <= sX1 || sY2 <= sY1) return;
    const int64_t ldX1 = std::llround(fdX1), ldY1 = std::llround(fdY1);
    const int64_t ldX2 = std::llround(fdX2), ldY2 = std::llround(fdY2);
    if (ldX2 <= ldX1 || ldY2 <= ldY1) return;
    const int64_t dW = ldX2 - ldX1, dH = ldY2 - ldY1;
    const int sW = sX2 - sX1, sH = sY2 - sY1;
    if (dW == sW && dH == sH) {
        DrawTo(dst, int(std::clamp<int64_t>(ldX1, INT32_MIN, INT32_MAX)),
               int(std::clamp<int64_t>(ldY1, INT32_MIN, INT32_MAX)), sX1, sY1, sX2, sY2);
        return;
    }
    // Visible destination part, as indices relative to the destination rectangle.
    const int64_t cx1 = std::max<int64_t>(0, -ldX1), cy1 = std::max<int64_t>(0, -ldY1);
    const int64_t cx2 = std::min<int64_t>(dW, dst.width_ - ldX1), cy2 = std::min<int64_t>(dH, dst.height_ - ldY1);
    if (cx2 <= cx1 || cy2 <= cy1) return;
    // Visible widths are bounded by the destination bitmap, the full spans are not.
    if (dW > INT32_MAX || dH > INT32_MAX) return;
    const int n = int(cx2 - cx1);
    TStretchScratch& scratch = StretchScratch();
    // An opaque draw writes straight into the destination; the others combine a row.
    const bool direct = DrawMode == dmOpaque;
    if (!direct && scratch.Row.size() < size_t(n)) scratch.Row.resize(size_t(n));
    auto target = [&](int64_t j) { return dst.ScanLine(int(ldY1 + j)) + (ldX1 + cx1); };

    if (StretchFilter == sfNearest || StretchFilter > sfMitchell) {
        if (scratch.Xs.size() < size_t(n)) scratch.Xs.resize(size_t(n));
        int* xs = scratch.Xs.data();
        for (int64_t i = cx1; i < cx2; ++i) xs[i - cx1] = sX1 + int(((2 * i + 1) * sW) / (2 * dW));
        for (int64_t j = cy1; j < cy2; ++j) {
            const TColor32* sp = ScanLine(sY1 + int(((2 * j + 1) * sH) / (2 * dH)));
            TColor32* out = direct ? target(j) : scratch.Row.data();
            for (int i = 0; i < n; ++i) out[i] = sp[xs[i]];
            if (!direct) CombineRow(out, target(j), n);
        }
        return;
    }

    const TAxisTaps& tx = scratch.TapsFor(StretchFilter, int(dW), sX1, sW, width_, int(cx1), int(cx2));
    const TAxisTaps& ty = scratch.TapsFor(StretchFilter, int(dH), sY1, sH, height_, int(cy1), int(cy2));
    // Vertical pass first over the columns the horizontal taps need, then horizontal.
    // Every index reads a full stride of pixels from its start, a little past the row.
    const size_t chans = size_t(tx.Hi - tx.Lo) * 4, pad = size_t(tx.Stride) * 4;
    // Destination rows [j1, j2), with the scratch rows of the thread that runs them.
    auto band = [&](int64_t j1, int64_t j2) {
        TStretchScratch& own = StretchScratch();
        if (!direct && own.Row.size() < size_t(n)) own.Row.resize(size_t(n));
        if (own.Mid.size() < chans + pad) own.Mid.resize(chans + pad);
        int16_t* mid = own.Mid.data();
        std::fill(mid + chans, mid + chans + pad, int16_t(0));
        if (own.Rows.size() < size_t(ty.Stride) + 1) own.Rows.resize(size_t(ty.Stride) + 1);
        const uint8_t** rowPtrs = own.Rows.data();
        for (int64_t j = j1; j < j2; ++j) {
            const size_t jj = size_t(j - cy1);
            const int count = ty.Count[jj];
            for (int k = 0; k < count; ++k)
                rowPtrs[k] = reinterpret_cast<const uint8_t*>(ScanLine(ty.Start[jj] + k) + tx.Lo);
            rowPtrs[count] = rowPtrs[count - 1];  // the partner of an odd last row (stride > count then)
            const TRowSet rows{rowPtrs, count};
            VerticalPass(rows, ty.Weights.data() + jj * size_t(ty.Stride), ty.Pairs.data() + jj * size_t(ty.Stride / 2),
                         mid, chans);
            TColor32* out = direct ? target(j) : own.Row.data();
            HorizontalPass(tx, mid, out, n);
            if (!direct) CombineRow(out, target(j), n);
        }
    };
    // A large opaque stretch (a photo fitted to the screen) runs in bands on several
    // threads: the rows are independent and every band computes the same integers.
    // Blending draws stay on this thread, since a custom combiner need not be reentrant.
    const int64_t rowCount = cy2 - cy1;
    const int bands = direct && !stretchOnOneThread ? StretchBands(int64_t(n) * rowCount) : 1;
    if (bands <= 1) {
        band(cy1, cy2);
        return;
    }
    auto bandStart = [&](int b) { return cy1 + rowCount * b / bands; };
    RunOnThreads(bands, [&](int b) { band(bandStart(b), bandStart(b + 1)); });
}

void TBitmap32::DrawPiecesTo(TBitmap32& dst, const std::vector<TPiece>& pieces) const {
    const auto draw = [&](const TPiece& p) {
        if (p.Dst.Width() == p.Src.Width() && p.Dst.Height() == p.Src.Height())
            DrawTo(dst, p.Dst.Left, p.Dst.Top, p.Src);
        else
            DrawTo(dst, p.Dst, p.Src);
    };
    // A piece squeezed small still reads all its source rows: the work is the larger area.
    int64_t pixels = 0;
    for (const TPiece& p : pieces)
        if (!p.Dst.IsEmpty() && !p.Src.IsEmpty())
            pixels += std::max(int64_t(p.Dst.Width()) * p.Dst.Height(), int64_t(p.Src.Width()) * p.Src.Height());
    // Only an opaque drawing: a custom combiner need not be reentrant, and a blend of
    // overlapping pieces would depend on their order.
    const int threads =
        DrawMode == dmOpaque && &dst != this && !stretchOnOneThread ? std::min(StretchBands(pixels), int(pieces.size())) : 1;
    if (threads <= 1) {
        for (const TPiece& p : pieces) draw(p);
        return;
    }
    const bool copies = std::all_of(pieces.begin(), pieces.end(), [](const TPiece& p) {
        return p.Dst.Width() == p.Src.Width() && p.Dst.Height() == p.Src.Height();
    });
    if (copies) {
        // Copied pieces (the stripes of a transition: thin and full height) are drawn a
        // band of rows at a time, every piece's part of the band: the band's rows stay in
        // the cache, where a piece drawn whole walks the frame's height for a few bytes a row.
        constexpr int kBandRows = 32;
        const int bandCount = (dst.Height() + kBandRows - 1) / kBandRows;
        std::atomic<int> nextBand{0};
        RunOnThreads(threads, [&](int) {
            for (int b; (b = nextBand.fetch_add(1)) < bandCount;) {
                const int top = b * kBandRows, bottom = std::min(top + kBandRows, dst.Height());
                for (const TPiece& p : pieces) {
                    const int from = std::max(top, p.Dst.Top), to = std::min(bottom, p.Dst.Bottom);
                    if (from >= to || p.Dst.Left >= p.Dst.Right) continue;
                    const int srcTop = p.Src.Top + (from - p.Dst.Top);
                    DrawTo(dst, p.Dst.Left, from, TRect{p.Src.Left, srcTop, p.Src.Right, srcTop + (to - from)});
                }
            }
        });
        return;
    }
    // Each thread takes the next piece left; pieces of a few boxes stay on one thread each.
    std::atomic<size_t> next{0};
    RunOnThreads(threads, [&](int) {
        const TOneThreadScope oneThread;
        for (size_t k; (k = next.fetch_add(1)) < pieces.size();) draw(pieces[k]);
    });
}
