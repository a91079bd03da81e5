#include "graphics/Bitmap32.h"
#include "graphics/Bitmap32Internals.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <numbers>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

using namespace Bitmap32Internals;

namespace {

// Exact round(x / 255) for 0 <= x <= 255 * 255.
inline uint32_t Div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

struct Box {
    int L, T, R, B;
    bool Empty() const { return R <= L || B <= T; }
};

Box Intersect(Box a, Box b) {
    return {std::max(a.L, b.L), std::max(a.T, b.T), std::min(a.R, b.R), std::min(a.B, b.B)};
}

// Blending of a row: F with its alpha scaled by the master alpha, over B. Blocks whose
// destination is opaque (the back buffer) take the 16-bit vector path; blocks with
// any other destination take the general one, which divides in floats: every operand
// is an integer below 2^24 and the quotient is truncated, which gives exactly the
// integer division of BlendPixel (a quotient that is no integer lies at least 1/65025
// below the next one, more than half a float step at 255). The tail goes pixel by pixel.

inline TColor32 BlendOverOpaque(TColor32 f, TColor32 b, uint32_t master) {
    const uint32_t a = master == 255 ? (f >> 24) : Div255((f >> 24) * master);
    if (a == 0) return b;
    if (a == 255) return f;
    const uint32_t ia = 255 - a;
    const uint32_t r = Div255(((f >> 16) & 0xFF) * a + ((b >> 16) & 0xFF) * ia);
    const uint32_t g = Div255(((f >> 8) & 0xFF) * a + ((b >> 8) & 0xFF) * ia);
    const uint32_t bl = Div255((f & 0xFF) * a + (b & 0xFF) * ia);
    return 0xFF000000u | (r << 16) | (g << 8) | bl;
}

// under: what lies beneath F (dst itself for a blend in place); the result goes to dst.
inline void BlendTail(const TColor32* src, const TColor32* under, TColor32* dst, int i, int n, uint32_t master) {
    for (; i < n; ++i) {
        const TColor32 b = under[i];
        dst[i] = (b >> 24) == 255 ? BlendOverOpaque(src[i], b, master) : BlendPixel(src[i], b, uint8_t(master));
    }
}

#ifdef __SSE2__
// Four pixels over any destination, as BlendPixel does it.
inline __m128i BlendAnySSE2(__m128i f, __m128i b, uint32_t master) {
    const __m128i c255 = _mm_set1_epi32(255);
    const __m128i c128 = _mm_set1_epi32(128);
    const __m128i zero = _mm_setzero_si128();
    auto div255 = [&](__m128i x) {
        x = _mm_add_epi32(x, c128);
        return _mm_srli_epi32(_mm_add_epi32(x, _mm_srli_epi32(x, 8)), 8);
    };
    __m128i a = _mm_srli_epi32(f, 24);
    // Products below 2^16 in 32-bit lanes whose high halves are 0: the 16-bit multiply is exact.
    if (master != 255) a = div255(_mm_mullo_epi16(a, _mm_set1_epi32(int32_t(master))));
    const __m128i ba = _mm_srli_epi32(b, 24);
    const __m128i wf = _mm_mullo_epi16(a, c255);
    const __m128i wb = _mm_mullo_epi16(ba, _mm_sub_epi32(c255, a));
    const __m128i wr = _mm_add_epi32(wf, wb);
    const __m128i none = _mm_cmpeq_epi32(wr, zero);
    const __m128 fwf = _mm_cvtepi32_ps(wf), fwb = _mm_cvtepi32_ps(wb);
    const __m128 fwr = _mm_cvtepi32_ps(_mm_or_si128(wr, _mm_and_si128(none, _mm_set1_epi32(1))));
    const __m128 fhalf = _mm_cvtepi32_ps(_mm_srli_epi32(wr, 1));
    const __m128i byte = _mm_set1_epi32(0xFF);
    __m128i r = _mm_slli_epi32(div255(wr), 24);
    auto channel = [&](__m128i fc, __m128i bc) {
        const __m128 num = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(fc), fwf), _mm_mul_ps(_mm_cvtepi32_ps(bc), fwb)), fhalf);
        return _mm_cvttps_epi32(_mm_div_ps(num, fwr));
    };
    r = _mm_or_si128(r, channel(_mm_and_si128(f, byte), _mm_and_si128(b, byte)));
    r = _mm_or_si128(r, _mm_slli_epi32(channel(_mm_and_si128(_mm_srli_epi32(f, 8), byte), _mm_and_si128(_mm_srli_epi32(b, 8), byte)), 8));
    r = _mm_or_si128(r, _mm_slli_epi32(channel(_mm_and_si128(_mm_srli_epi32(f, 16), byte), _mm_and_si128(_mm_srli_epi32(b, 16), byte)), 16));
    // A pixel whose alpha comes to 0 leaves the destination as it was.
    const __m128i keep = _mm_cmpeq_epi32(a, zero);
    return _mm_or_si128(_mm_and_si128(keep, b), _mm_andnot_si128(keep, r));
}

void BlendRowSSE2(const TColor32* src, const TColor32* under, TColor32* dst, int n, uint32_t master) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i vm = _mm_set1_epi16(int16_t(master));
    const __m128i alphaMask = _mm_set1_epi32(int32_t(0xFF000000u));
    auto div255 = [&](__m128i x) {
        x = _mm_add_epi16(x, c128);
        return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
    };
    // a: the effective alpha in every 16-bit lane of a pixel.
    auto mix = [&](__m128i f, __m128i b, __m128i a) {
        return div255(_mm_add_epi16(_mm_mullo_epi16(f, a), _mm_mullo_epi16(b, _mm_sub_epi16(c255, a))));
    };
    auto alphaOf = [&](__m128i f16) {
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(f16, 0xFF), 0xFF);
        return master == 255 ? a : div255(_mm_mullo_epi16(a, vm));
    };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(under + i));
        const __m128i fa = _mm_and_si128(f, alphaMask);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(b, alphaMask), alphaMask)) != 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), BlendAnySSE2(f, b, master));
            continue;
        }
        const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(fa, alphaMask));
        if (opaque == 0xFFFF && master == 255) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), f);
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(fa, zero)) == 0xFFFF) {
            if (under != dst) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), b);
            continue;
        }
        const __m128i flo = _mm_unpacklo_epi8(f, zero), fhi = _mm_unpackhi_epi8(f, zero);
        __m128i alo, ahi;
        if (opaque == 0xFFFF) {
            alo = ahi = vm;  // an opaque picture: the master alpha alone
        } else {
            alo = alphaOf(flo);
            ahi = alphaOf(fhi);
        }
        const __m128i lo = mix(flo, _mm_unpacklo_epi8(b, zero), alo);
        const __m128i hi = mix(fhi, _mm_unpackhi_epi8(b, zero), ahi);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(_mm_packus_epi16(lo, hi), alphaMask));
    }
    BlendTail(src, under, dst, i, n, master);
}
#endif

#ifdef GC_HAVE_AVX2_PATH
// The general blend's weights for eight pixels, made from their alphas and kept while the
// next eight bring the same ones, as a picture of one alpha over a destination of one
// alpha does: then a block costs its three divisions and little else. The weights of
// the green and the red channel are scaled by 2^-8 and 2^-16, so that a channel is taken
// from its pixel with a mask alone and still weighs exactly its own value.
struct AnyWeightsAVX2 {
    __m256i fa, ba;  // the alpha bytes they were made for; all ones (no alpha byte) at first
    __m256 wf[3], wb[3], half, wr;
    __m256i alpha, keep;
};

__attribute__((target("avx2"))) inline void WeighAnyAVX2(AnyWeightsAVX2& w, __m256i f, __m256i b, uint32_t master) {
    const __m256i c255 = _mm256_set1_epi32(255);
    const __m256i c128 = _mm256_set1_epi32(128);
    auto div255 = [&](__m256i x) __attribute__((target("avx2"))) {
        x = _mm256_add_epi32(x, c128);
        return _mm256_srli_epi32(_mm256_add_epi32(x, _mm256_srli_epi32(x, 8)), 8);
    };
    __m256i a = _mm256_srli_epi32(f, 24);
    if (master != 255) a = div255(_mm256_mullo_epi16(a, _mm256_set1_epi32(int32_t(master))));
    const __m256i ba = _mm256_srli_epi32(b, 24);
    const __m256i wf = _mm256_mullo_epi16(a, c255);
    const __m256i wb = _mm256_mullo_epi16(ba, _mm256_sub_epi32(c255, a));
    const __m256i wr = _mm256_add_epi32(wf, wb);
    const __m256 fwf = _mm256_cvtepi32_ps(wf), fwb = _mm256_cvtepi32_ps(wb);
    w.wf[0] = fwf;
    w.wb[0] = fwb;
    w.wf[1] = _mm256_mul_ps(fwf, _mm256_set1_ps(1.0f / 256));
    w.wb[1] = _mm256_mul_ps(fwb, _mm256_set1_ps(1.0f / 256));
    w.wf[2] = _mm256_mul_ps(fwf, _mm256_set1_ps(1.0f / 65536));
    w.wb[2] = _mm256_mul_ps(fwb, _mm256_set1_ps(1.0f / 65536));
    w.wr = _mm256_cvtepi32_ps(_mm256_max_epi32(wr, _mm256_set1_epi32(1)));
    w.half = _mm256_cvtepi32_ps(_mm256_srli_epi32(wr, 1));
    w.alpha = _mm256_slli_epi32(div255(wr), 24);
    w.keep = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
}

// Eight pixels over any destination, as BlendPixel does it.
__attribute__((target("avx2"))) inline __m256i BlendAnyAVX2(AnyWeightsAVX2& w, __m256i f, __m256i b,
                                                           uint32_t master) {
    const __m256i alphaMask = _mm256_set1_epi32(int32_t(0xFF000000u));
    const __m256i fa = _mm256_and_si256(f, alphaMask), ba = _mm256_and_si256(b, alphaMask);
    if (_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi32(fa, w.fa), _mm256_cmpeq_epi32(ba, w.ba))) != -1) {
        WeighAnyAVX2(w, f, b, master);
        w.fa = fa;
        w.ba = ba;
    }
    auto channel = [&](int c) __attribute__((target("avx2"))) {
        const __m256i mask = _mm256_set1_epi32(0xFF << (8 * c));
        const __m256 fc = _mm256_cvtepi32_ps(_mm256_and_si256(f, mask));
        const __m256 bc = _mm256_cvtepi32_ps(_mm256_and_si256(b, mask));
        const __m256 num = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(fc, w.wf[c]), _mm256_mul_ps(bc, w.wb[c])), w.half);
        return _mm256_cvttps_epi32(_mm256_div_ps(num, w.wr));
    };
    const __m256i gr = _mm256_or_si256(_mm256_slli_epi32(channel(1), 8), _mm256_slli_epi32(channel(2), 16));
    const __m256i r = _mm256_or_si256(_mm256_or_si256(channel(0), w.alpha), gr);
    return _mm256_blendv_epi8(r, b, w.keep);
}

// F * a + B * (255 - a) per channel byte, Div255 rounded, opaque: wLo and wHi hold the
// byte pairs (a, 255 - a) of the pixels that the low and the high unpacks put side by
// side. The pairs (F, B) are taken 128 down as signed bytes for one maddubs; adding
// 255 * 128 back gives the sum exactly, and (x + 128) * 257 >> 16 is Div255.
__attribute__((target("avx2"))) inline __m256i WeighOpaqueAVX2(__m256i f, __m256i b, __m256i wLo, __m256i wHi) {
    const __m256i flip = _mm256_set1_epi8(char(0x80));
    const __m256i bias = _mm256_set1_epi16(int16_t(255 * 128 + 128));
    const __m256i c257 = _mm256_set1_epi16(257);
    const __m256i fs = _mm256_xor_si256(f, flip), bs = _mm256_xor_si256(b, flip);
    const __m256i lo =
        _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_maddubs_epi16(wLo, _mm256_unpacklo_epi8(fs, bs)), bias), c257);
    const __m256i hi =
        _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_maddubs_epi16(wHi, _mm256_unpackhi_epi8(fs, bs)), bias), c257);
    return _mm256_or_si256(_mm256_packus_epi16(lo, hi), _mm256_set1_epi32(int32_t(0xFF000000u)));
}

__attribute__((target("avx2"))) void BlendRowAVX2(const TColor32* src, const TColor32* under, TColor32* dst, int n,
                                                  uint32_t master) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i c255 = _mm256_set1_epi16(255);
    const __m256i c128 = _mm256_set1_epi16(128);
    const __m256i vm = _mm256_set1_epi16(int16_t(master));
    const __m256i alphaMask = _mm256_set1_epi32(int32_t(0xFF000000u));
    const __m256i weights = _mm256_set1_epi16(int16_t(master | ((255 - master) << 8)));
    auto div255 = [&](__m256i x) __attribute__((target("avx2"))) {
        x = _mm256_add_epi16(x, c128);
        return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
    };
    auto mix = [&](__m256i f, __m256i b, __m256i a) __attribute__((target("avx2"))) {
        return div255(_mm256_add_epi16(_mm256_mullo_epi16(f, a), _mm256_mullo_epi16(b, _mm256_sub_epi16(c255, a))));
    };
    auto alphaOf = [&](__m256i f16) __attribute__((target("avx2"))) {
        __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(f16, 0xFF), 0xFF);
        return master == 255 ? a : div255(_mm256_mullo_epi16(a, vm));
    };
    AnyWeightsAVX2 anyWeights{};
    anyWeights.fa = anyWeights.ba = _mm256_set1_epi32(-1);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        // The source is often cold (a slide drawn long before): fetch ahead of the stream.
        _mm_prefetch(reinterpret_cast<const char*>(src + i) + 1024, _MM_HINT_T0);
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(under + i));
        const __m256i fa = _mm256_and_si256(f, alphaMask);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(b, alphaMask), alphaMask)) != -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), BlendAnyAVX2(anyWeights, f, b, master));
            continue;
        }
        const int opaque = _mm256_movemask_epi8(_mm256_cmpeq_epi32(fa, alphaMask));
        if (opaque == -1 && master == 255) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), f);
            continue;
        }
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(fa, zero)) == -1) {
            if (under != dst) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), b);
            continue;
        }
        if (opaque == -1) {
            // An opaque picture under a master alpha (a cross-fade).
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), WeighOpaqueAVX2(f, b, weights, weights));
            continue;
        }
        const __m256i flo = _mm256_unpacklo_epi8(f, zero), fhi = _mm256_unpackhi_epi8(f, zero);
        __m256i alo, ahi;
        {
            alo = alphaOf(flo);
            ahi = alphaOf(fhi);
        }
        const __m256i lo = mix(flo, _mm256_unpacklo_epi8(b, zero), alo);
        const __m256i hi = mix(fhi, _mm256_unpackhi_epi8(b, zero), ahi);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                            _mm256_or_si256(_mm256_packus_epi16(lo, hi), alphaMask));
    }
    BlendTail(src, under, dst, i, n, master);
}
#endif

void BlendRow(const TColor32* src, const TColor32* under, TColor32* dst, int n, uint32_t master) {
    const int level = SimdLevel();
#ifdef GC_HAVE_AVX2_PATH
    if (level >= 2) return BlendRowAVX2(src, under, dst, n, master);
#endif
#ifdef __SSE2__
    if (level >= 1) return BlendRowSSE2(src, under, dst, n, master);
#endif
    BlendTail(src, under, dst, 0, n, master);
}

void BlendRow(const TColor32* src, TColor32* dst, int n, uint32_t master) { BlendRow(src, dst, dst, n, master); }

#ifdef GC_HAVE_AVX2_PATH
// Eight pixels at a time where the destination is opaque (the back buffer): the weight
// of each pixel is Div255(its alpha * its master), exact for a master of 255 too, and the
// pair (F, B) is weighed (a, 255 - a) as in the cross-fade above.
__attribute__((target("avx2"))) void BlendRowMaskedAVX2(const TColor32* src, TColor32* dst, const uint8_t* masters,
                                                        int n) {
    const __m256i alphaMask = _mm256_set1_epi32(int32_t(0xFF000000u));
    const __m256i c128 = _mm256_set1_epi32(128);
    const __m256i c255 = _mm256_set1_epi32(255);
    // Byte 0 of each 32-bit lane into all four of its bytes.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4,
                                            4, 8, 8, 8, 8, 12, 12, 12, 12);
    // From the eight masters (bytes 0..7) and their complements (8..15): the weight pairs
    // of the pixels that the low and the high unpacks put side by side.
    const __m256i pairsLo = _mm256_setr_epi8(0, 8, 0, 8, 0, 8, 0, 8, 1, 9, 1, 9, 1, 9, 1, 9, 4, 12, 4, 12, 4, 12, 4, 12,
                                             5, 13, 5, 13, 5, 13, 5, 13);
    const __m256i pairsHi = _mm256_setr_epi8(2, 10, 2, 10, 2, 10, 2, 10, 3, 11, 3, 11, 3, 11, 3, 11, 6, 14, 6, 14, 6,
                                             14, 6, 14, 7, 15, 7, 15, 7, 15, 7, 15);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        int64_t m8;
        std::memcpy(&m8, masters + i, sizeof m8);
        if (m8 == 0) continue;
        // The picture is cold as in BlendRowAVX2: fetch ahead of the stream.
        _mm_prefetch(reinterpret_cast<const char*>(src + i) + 1024, _MM_HINT_T0);
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const bool opaque = _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(f, alphaMask), alphaMask)) == -1;
        // Opaque pixels at full opacity (boxes done): the destination need not be read.
        if (m8 == -1 && opaque) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), f);
            continue;
        }
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(b, alphaMask), alphaMask)) != -1) {
            for (int k = i; k < i + 8; ++k) dst[k] = BlendPixel(src[k], dst[k], masters[k]);
            continue;
        }
        __m256i wLo, wHi;
        if (opaque) {
            // An opaque picture: the weights are the masters themselves.
            const __m256i m = _mm256_broadcastsi128_si256(_mm_set_epi64x(~m8, m8));
            wLo = _mm256_shuffle_epi8(m, pairsLo);
            wHi = _mm256_shuffle_epi8(m, pairsHi);
        } else {
            const __m256i m = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(masters + i)));
            __m256i a = _mm256_add_epi32(_mm256_mullo_epi16(_mm256_srli_epi32(f, 24), m), c128);
            a = _mm256_srli_epi32(_mm256_add_epi32(a, _mm256_srli_epi32(a, 8)), 8);
            const __m256i wa = _mm256_shuffle_epi8(a, spread);
            const __m256i wb = _mm256_shuffle_epi8(_mm256_sub_epi32(c255, a), spread);
            wLo = _mm256_unpacklo_epi8(wa, wb);
            wHi = _mm256_unpackhi_epi8(wa, wb);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), WeighOpaqueAVX2(f, b, wLo, wHi));
    }
    for (; i < n; ++i) dst[i] = BlendPixel(src[i], dst[i], masters[i]);
}
#endif

// The built-in combiners over a row: one operation per channel byte, then F's alpha.

template <TCombineKind Kind>
void CombineTail(const TColor32* src, TColor32* dst, int i, int n) {
    for (; i < n; ++i) dst[i] = CombinePixel(Kind, src[i], dst[i]);
}

#ifdef __SSE2__
template <TCombineKind Kind>
void CombineRowSSE2(const TColor32* src, TColor32* dst, int n) {
    const __m128i alphaMask = _mm_set1_epi32(int32_t(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        __m128i r;
        if constexpr (Kind == ckAdd) r = _mm_adds_epu8(f, b);
        else if constexpr (Kind == ckSub) r = _mm_subs_epu8(f, b);
        else if constexpr (Kind == ckMax) r = _mm_max_epu8(f, b);
        else if constexpr (Kind == ckMin) r = _mm_min_epu8(f, b);
        else {
            const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(f, zero), _mm_unpacklo_epi8(b, zero)), 8);
            const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(f, zero), _mm_unpackhi_epi8(b, zero)), 8);
            r = _mm_packus_epi16(lo, hi);
        }
        r = _mm_or_si128(_mm_andnot_si128(alphaMask, r), _mm_and_si128(alphaMask, f));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), r);
    }
    CombineTail<Kind>(src, dst, i, n);
}
#endif

#ifdef GC_HAVE_AVX2_PATH
template <TCombineKind Kind>
__attribute__((target("avx2"))) void CombineRowAVX2(const TColor32* src, TColor32* dst, int n) {
    const __m256i alphaMask = _mm256_set1_epi32(int32_t(0xFF000000u));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        __m256i r;
        if constexpr (Kind == ckAdd) r = _mm256_adds_epu8(f, b);
        else if constexpr (Kind == ckSub) r = _mm256_subs_epu8(f, b);
        else if constexpr (Kind == ckMax) r = _mm256_max_epu8(f, b);
        else if constexpr (Kind == ckMin) r = _mm256_min_epu8(f, b);
        else {
            const __m256i lo =
                _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(f, zero), _mm256_unpacklo_epi8(b, zero)), 8);
            const __m256i hi =
                _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(f, zero), _mm256_unpackhi_epi8(b, zero)), 8);
            r = _mm256_packus_epi16(lo, hi);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_blendv_epi8(r, f, alphaMask));
    }
    CombineTail<Kind>(src, dst, i, n);
}
#endif

template <TCombineKind Kind>
void CombineRowOf(const TColor32* src, TColor32* dst, int n) {
    const int level = SimdLevel();
#ifdef GC_HAVE_AVX2_PATH
    if (level >= 2) return CombineRowAVX2<Kind>(src, dst, n);
#endif
#ifdef __SSE2__
    if (level >= 1) return CombineRowSSE2<Kind>(src, dst, n);
#endif
    CombineTail<Kind>(src, dst, 0, n);
}

void CombineKindRow(TCombineKind kind, const TColor32* src, TColor32* dst, int n) {
    switch (kind) {
    case ckAdd: return CombineRowOf<ckAdd>(src, dst, n);
    case ckSub: return CombineRowOf<ckSub>(src, dst, n);
    case ckModulate: return CombineRowOf<ckModulate>(src, dst, n);
    case ckMax: return CombineRowOf<ckMax>(src, dst, n);
    case ckMin: return CombineRowOf<ckMin>(src, dst, n);
    case ckCustom: break;
    }
}

}  // namespace

TColor32 BlendPixel(TColor32 F, TColor32 B, uint8_t M) {
    const uint32_t a = M == 255 ? (F >> 24) : Div255((F >> 24) * M);
    if (a == 0) return B;
    if (a == 255) return F;
    const uint32_t ba = B >> 24;
    const uint32_t ia = 255 - a;
    if (ba == 255) {
        uint32_t r = Div255(((F >> 16) & 0xFF) * a + ((B >> 16) & 0xFF) * ia);
        uint32_t g = Div255(((F >> 8) & 0xFF) * a + ((B >> 8) & 0xFF) * ia);
        uint32_t b = Div255((F & 0xFF) * a + (B & 0xFF) * ia);
        return 0xFF000000u | (r << 16) | (g << 8) | b;
    }
    if (ba == 0) return (F & 0x00FFFFFF) | (a << 24);
    // Weights in 255 * 255 units: the source a * 255, the destination ba * (255 - a).
    const uint32_t wf = a * 255;
    const uint32_t wb = ba * ia;
    const uint32_t wr = wf + wb;
    auto ch = [&](int shift) {
        uint32_t fc = (F >> shift) & 0xFF, bc = (B >> shift) & 0xFF;
        return (fc * wf + bc * wb + wr / 2) / wr;
    };
    return (Div255(wr) << 24) | (ch(16) << 16) | (ch(8) << 8) | ch(0);
}

void BlendRowMasked(const TColor32* src, TColor32* dst, const uint8_t* masters, int n) {
#ifdef GC_HAVE_AVX2_PATH
    if (SimdLevel() >= 2) return BlendRowMaskedAVX2(src, dst, masters, n);
#endif
    for (int i = 0; i < n; ++i) dst[i] = BlendPixel(src[i], dst[i], masters[i]);
}

void TBitmap32::SetSize(int width, int height) {
    SetSizeForOverwrite(width, height);
    std::fill(bits_.begin(), bits_.end(), 0);
}

void TBitmap32::SetSizeForOverwrite(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (int64_t(width) * int64_t(height) > kMaxBitmapPixels)
        throw EBitmapError("bitmap too large");
    if (width == 0 || height == 0) width = height = 0;
    const size_t n = size_t(width) * size_t(height);
    // A bitmap that shrinks a lot gives its memory back. The old pixels are not kept,
    // so a growing bitmap copies none of them into its new memory.
    if (n < bits_.capacity() / 2) bits_ = decltype(bits_)();
    bits_.clear();
    bits_.resize(n);
    width_ = width;
    height_ = height;
}

TColor32 CombinePixel(TCombineKind kind, TColor32 F, TColor32 B) {
    TColor32 r = F & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t f = int32_t((F >> shift) & 0xFF), b = int32_t((B >> shift) & 0xFF);
        int32_t v;
        switch (kind) {
        case ckAdd: v = std::min(f + b, 255); break;
        case ckSub: v = std::max(f - b, 0); break;
        case ckModulate: v = (f * b) >> 8; break;
        case ckMax: v = std::max(f, b); break;
        case ckMin: v = std::min(f, b); break;
        default: return B;
        }
        r |= TColor32(v) << shift;
    }
    return r;
}

void SetBitmapSimdLevel(int level) { gSimdLimit.store(std::clamp(level, 0, 2), std::memory_order_relaxed); }

void TBitmap32::Assign(const TImage32& image) {
    SetSize(image.Width, image.Height);
    if (!Empty() && image.Pixels.size() >= bits_.size()) std::memcpy(bits_.data(), image.Pixels.data(), bits_.size() * 4);
}

TImage32 TBitmap32::ToImage32() const {
    TImage32 image;
    image.Width = width_;
    image.Height = height_;
    image.Pixels.assign(bits_.begin(), bits_.end());
    return image;
}

TColor32 TBitmap32::PixelS(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return Pixel(x, y);
}

void TBitmap32::SetPixelS(int x, int y, TColor32 c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    SetPixel(x, y, c);
}

void TBitmap32::SetPixelTS(int x, int y, TColor32 c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    TColor32& p = bits_[size_t(y) * size_t(width_) + size_t(x)];
    p = BlendPixel(c, p);
}

void TBitmap32::Clear(TColor32 color) { std::fill(bits_.begin(), bits_.end(), color); }

void TBitmap32::LayOverColor(const TRect& r, TColor32 ground) {
    const int l = std::clamp(r.Left, 0, width_), right = std::clamp(r.Right, 0, width_);
    const int t = std::clamp(r.Top, 0, height_), b = std::clamp(r.Bottom, 0, height_);
    const int n = right - l;
    if (n <= 0 || t >= b) return;
    std::vector<TColor32> under(static_cast<size_t>(n), ground), row(static_cast<size_t>(n));
    for (int y = t; y < b; ++y) {
        TColor32* line = ScanLine(y) + l;
        // Opaque pixels stay as they are: most rows of most pictures are left at once.
        if (std::all_of(line, line + n, [](TColor32 c) { return AlphaComponent(c) == 255; })) continue;
        std::memcpy(row.data(), line, size_t(n) * sizeof(TColor32));
        BlendRow(row.data(), under.data(), line, n, 255);
    }
}

void TBitmap32::ResetAlpha(uint8_t alpha) {
    const TColor32 a = TColor32(alpha) << 24;
    for (TColor32& p : bits_) p = (p & 0x00FFFFFF) | a;
}

void TBitmap32::FillRectS(int x1, int y1, int x2, int y2, TColor32 color) {
    Box b = Intersect({x1, y1, x2, y2}, {0, 0, width_, height_});
    if (b.Empty()) return;
    for (int y = b.T; y < b.B; ++y) std::fill(ScanLine(y) + b.L, ScanLine(y) + b.R, color);
}

void TBitmap32::FillRectTS(int x1, int y1, int x2, int y2, TColor32 color) {
    const uint32_t a = color >> 24;
    if (a == 255) return FillRectS(x1, y1, x2, y2, color);
    if (a == 0) return;
    Box b = Intersect({x1, y1, x2, y2}, {0, 0, width_, height_});
    if (b.Empty()) return;
    // One row of the colour, blended over every row of the rectangle.
    const std::vector<TColor32> row(static_cast<size_t>(b.R - b.L), color);
    for (int y = b.T; y < b.B; ++y) BlendRow(row.data(), ScanLine(y) + b.L, b.R - b.L, 255);
}

void TBitmap32::FrameRectS(int x1, int y1, int x2, int y2, TColor32 color) {
    if (x2 <= x1 || y2 <= y1) return;
    FillRectS(x1, y1, x2, y1 + 1, color);
    if (y2 - 1 > y1) FillRectS(x1, y2 - 1, x2, y2, color);
    FillRectS(x1, y1 + 1, x1 + 1, y2 - 1, color);
    if (x2 - 1 > x1) FillRectS(x2 - 1, y1 + 1, x2, y2 - 1, color);
}

void TBitmap32::FrameRectTS(int x1, int y1, int x2, int y2, TColor32 color) {
    if (x2 <= x1 || y2 <= y1) return;
    FillRectTS(x1, y1, x2, y1 + 1, color);
    if (y2 - 1 > y1) FillRectTS(x1, y2 - 1, x2, y2, color);
    FillRectTS(x1, y1 + 1, x1 + 1, y2 - 1, color);
    if (x2 - 1 > x1) FillRectTS(x2 - 1, y1 + 1, x2, y2 - 1, color);
}

namespace {

// Visits the pixels of an integer line, only those inside w x h; plot(x, y, step).
// The work is bounded by the bitmap's size, whatever the coordinates.
template <class Plot>
void ForLinePixels(int x1, int y1, int x2, int y2, bool includeLast, int w, int h, Plot plot) {
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx >= ady;
    const int64_t n = (xMajor ? adx : ady) + (includeLast ? 1 : 0);
    if (n <= 0) return;
    const int64_t major0 = xMajor ? x1 : y1, minor0 = xMajor ? y1 : x1;
    const int64_t dMajor = xMajor ? adx : ady, dMinor = xMajor ? dy : dx;
    const int64_t sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int64_t limMajor = xMajor ? w : h, limMinor = xMajor ? h : w;
    // Steps whose major coordinate lies inside [0, limMajor).
    int64_t i0, i1;
    if (sMajor > 0) {
        i0 = std::max<int64_t>(0, -major0);
        i1 = std::min<int64_t>(n, limMajor - major0);
    } else {
        i0 = std::max<int64_t>(0, major0 - (limMajor - 1));
        i1 = std::min<int64_t>(n, major0 + 1);
    }
    const int64_t aMinor = dMinor < 0 ? -dMinor : dMinor;
    const int64_t sMinor = dMinor < 0 ? -1 : 1;
    for (int64_t i = i0; i < i1; ++i) {
        int64_t minor = minor0;
        if (dMajor != 0) minor += sMinor * ((2 * i * aMinor + dMajor) / (2 * dMajor));
        if (minor < 0 || minor >= limMinor) continue;
        int64_t major = major0 + sMajor * i;
        if (xMajor) plot(int(major), int(minor), i);
        else plot(int(minor), int(major), i);
    }
}

}  // namespace

void TBitmap32::LineS(int x1, int y1, int x2, int y2, TColor32 color, bool includeLast) {
    ForLinePixels(x1, y1, x2, y2, includeLast, width_, height_,
                  [&](int x, int y, int64_t) { SetPixel(x, y, color); });
}

void TBitmap32::LineTS(int x1, int y1, int x2, int y2, TColor32 color, bool includeLast) {
    ForLinePixels(x1, y1, x2, y2, includeLast, width_, height_, [&](int x, int y, int64_t) {
        TColor32& p = bits_[size_t(y) * size_t(width_) + size_t(x)];
        p = BlendPixel(color, p);
    });
}

void TBitmap32::SetStipple(std::vector<TColor32> pattern) {
    stipple_ = std::move(pattern);
    StippleCounter = 0;
}

namespace {

// Position in a stipple pattern of len colours after steps steps; 0 for nonsense.
double StipplePos(double start, double step, int64_t steps, double len) {
    double c = std::fmod(start + double(steps) * step, len);
    if (c < 0) c += len;
    if (!(c >= 0 && c < len)) c = 0;
    return c;
}

}  // namespace

TColor32 TBitmap32::StippleColorAt(double pos) const {
    // Between two pattern entries the colour is interpolated by the fractional position.
    const size_t n = stipple_.size();
    const size_t i = std::min(size_t(pos), n - 1);
    const double f = pos - double(i);
    const TColor32 a = stipple_[i], b = stipple_[(i + 1) % n];
    if (f <= 0 || a == b) return a;
    TColor32 r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        r |= TColor32(std::lround(ca + (cb - ca) * f)) << shift;
    }
    return r;
}

TColor32 TBitmap32::GetStippleColor() {
    if (stipple_.empty()) return 0;
    const double len = double(stipple_.size());
    const double c = StipplePos(StippleCounter, 0, 0, len);
    StippleCounter = float(StipplePos(c, StippleStep, 1, len));
    return StippleColorAt(c);
}

void TBitmap32::AdvanceStippleCounter(float pixels) {
    if (stipple_.empty()) return;
    StippleCounter = float(StipplePos(StippleCounter, double(StippleStep) * pixels, 1, double(stipple_.size())));
}

void TBitmap32::LineTSP(int x1, int y1, int x2, int y2, bool includeLast) {
    if (stipple_.empty()) return;
    const double len = double(stipple_.size());
    const double start = StippleCounter, step = StippleStep;
    // Clipped pixels still move the pattern on, so a line looks the same wherever it lies.
    ForLinePixels(x1, y1, x2, y2, includeLast, width_, height_, [&](int x, int y, int64_t i) {
        TColor32& p = bits_[size_t(y) * size_t(width_) + size_t(x)];
        p = BlendPixel(StippleColorAt(StipplePos(start, step, i, len)), p);
    });
    const int64_t steps = std::max(std::llabs(int64_t(x2) - x1), std::llabs(int64_t(y2) - y1)) +
                          (includeLast ? 1 : 0);
    StippleCounter = float(StipplePos(start, step, steps, len));
}

void TBitmap32::FrameRectTSP(int x1, int y1, int x2, int y2) {
    if (x2 <= x1 || y2 <= y1 || stipple_.empty()) return;
    const int r = x2 - 1, b = y2 - 1;
    if (r == x1 || b == y1) {  // one pixel wide or high: a single line
        LineTSP(x1, y1, r, b, true);
        return;
    }
    // Once round, clockwise, each pixel once, the pattern running on.
    LineTSP(x1, y1, r, y1);
    LineTSP(r, y1, r, b);
    LineTSP(r, b, x1, b);
    LineTSP(x1, b, x1, y1);
}

void TBitmap32::LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 color, bool includeLast) {
    const uint32_t ca = color >> 24;
    if (ca == 0 || Empty()) return;
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    // Along the major axis: one step per pixel column (or row) the line passes.
    const int64_t a1 = xMajor ? x1 : y1, a2 = xMajor ? x2 : y2;
    const int64_t b1 = xMajor ? y1 : x1;
    const int64_t da = a2 - a1, db = xMajor ? dy : dx;
    const int64_t p1 = a1 >> 16, p2 = a2 >> 16;
    const int64_t s = da < 0 ? -1 : 1;
    const int64_t n = (p2 - p1) * s + (includeLast ? 1 : 0);
    if (n <= 0) return;
    const int64_t limA = xMajor ? width_ : height_, limB = xMajor ? height_ : width_;
    int64_t i0, i1;
    if (s > 0) {
        i0 = std::max<int64_t>(0, -p1);
        i1 = std::min<int64_t>(n, limA - p1);
    } else {
        i0 = std::max<int64_t>(0, p1 - (limA - 1));
        i1 = std::min<int64_t>(n, p1 + 1);
    }
    auto plot = [&](int64_t a, int64_t b, uint32_t cover) {
        if (b < 0 || b >= limB || cover == 0) return;
        const uint32_t alpha = Div255(ca * cover);
        if (alpha == 0) return;
        int x = int(xMajor ? a : b), y = int(xMajor ? b : a);
        TColor32& p = bits_[size_t(y) * size_t(width_) + size_t(x)];
        p = BlendPixel(SetAlpha(color, uint8_t(alpha)), p);
    };
    for (int64_t i = i0; i < i1; ++i) {
        const int64_t pa = p1 + s * i;
        // Position on the minor axis where the line crosses the centre of this pixel.
        int64_t bPos = b1;
        if (da != 0) {
            int64_t centre = (pa << 16) + 0x8000;
            bPos = b1 + int64_t(static_cast<__int128>(centre - a1) * db / da);
        }
        // Split between the two pixels whose centres bracket bPos.
        const int64_t t = bPos - 0x8000;
        const int64_t pb = t >> 16;
        const uint32_t frac = uint32_t((t & 0xFFFF) >> 8);  // 0..255
        plot(pa, pb, 255 - frac);
        plot(pa, pb + 1, frac);
    }
}

void TBitmap32::LineToS(int x, int y) {
    LineS(penIX_, penIY_, x, y, PenColor);
    MoveTo(x, y);
}

void TBitmap32::LineToXS(TFixed x, TFixed y) {
    LineXS(penX_, penY_, x, y, PenColor);
    MoveToX(x, y);
}

TBitmap32 TBitmap32::CopyRect(int x1, int y1, int x2, int y2) const {
    TBitmap32 r;
    Box b = Intersect({x1, y1, x2, y2}, {0, 0, width_, height_});
    if (b.Empty()) return r;
    r.SetSize(b.R - b.L, b.B - b.T);
    for (int y = b.T; y < b.B; ++y)
        std::memcpy(r.ScanLine(y - b.T), ScanLine(y) + b.L, size_t(b.R - b.L) * sizeof(TColor32));
    return r;
}

void TBitmap32::CombineRow(const TColor32* src, TColor32* dst, int count) const {
    if (count <= 0) return;
    switch (DrawMode) {
    case dmOpaque:
        std::memmove(dst, src, size_t(count) * sizeof(TColor32));
        return;
    case dmCustom:
        if (CombineKind != ckCustom) {
            CombineKindRow(CombineKind, src, dst, count);
            return;
        }
        if (OnPixelCombine) {
            for (int i = 0; i < count; ++i) OnPixelCombine(src[i], dst[i], MasterAlpha);
            return;
        }
        break;  // no combine given: blend
    case dmBlend:
        break;
    }
    if (MasterAlpha == 0) return;
    BlendRow(src, dst, count, MasterAlpha);
}

void TBitmap32::DrawTo(TBitmap32& dst, int dstX, int dstY) const {
    DrawTo(dst, dstX, dstY, 0, 0, width_, height_);
}

namespace {

// A rectangle at (x, y) of size w x h cut to a bitmap of w2 x h2, in 64 bits so that a far
// position cannot wrap.
Box PlacedIn(int64_t x, int64_t y, int w, int h, int w2, int h2) {
    return {int(std::clamp<int64_t>(x, 0, w2)), int(std::clamp<int64_t>(y, 0, h2)),
            int(std::clamp<int64_t>(x + w, 0, w2)), int(std::clamp<int64_t>(y + h, 0, h2))};
}

}  // namespace

void TBitmap32::DrawToOver(TBitmap32& dst, int dstX, int dstY, const TBitmap32& under, int underX,
                           int underY) const {
    const Box u = PlacedIn(underX, underY, under.width_, under.height_, dst.width_, dst.height_);
    const Box d = PlacedIn(dstX, dstY, width_, height_, dst.width_, dst.height_);
    const bool fuses = DrawMode == dmOpaque || DrawMode == dmBlend ||
                       (DrawMode == dmCustom && CombineKind == ckCustom && !OnPixelCombine);
    auto underRow = [&](int y, int x) { return under.ScanLine(int(int64_t(y) - underY)) + (int64_t(x) - underX); };
    auto copyUnder = [&](int y, int l, int r) {
        if (r > l) std::memcpy(dst.ScanLine(y) + l, underRow(y, l), size_t(r - l) * sizeof(TColor32));
    };
    if (!fuses || &dst == this || &dst == &under || u.Empty() || d.Empty()) {
        // The other modes read the destination in their own ways: put back, then draw.
        for (int y = u.T; y < u.B; ++y) copyUnder(y, u.L, u.R);
        DrawTo(dst, dstX, dstY);
        return;
    }
    auto ownRow = [&](int y, int x) { return ScanLine(int(int64_t(y) - dstY)) + (int64_t(x) - dstX); };
    const uint32_t master = DrawMode == dmOpaque ? 255 : MasterAlpha;
    for (int y = std::min(u.T, d.T); y < std::max(u.B, d.B); ++y) {
        const bool inUnder = y >= u.T && y < u.B, inOwn = y >= d.T && y < d.B;
        if (!inOwn) {
            if (inUnder) copyUnder(y, u.L, u.R);
            continue;
        }
        if (!inUnder) {
            CombineRow(ownRow(y, d.L), dst.ScanLine(y) + d.L, d.R - d.L);
            continue;
        }
        const int l = std::max(u.L, d.L), r = std::min(u.R, d.R);
        if (r <= l) {
            copyUnder(y, u.L, u.R);
            CombineRow(ownRow(y, d.L), dst.ScanLine(y) + d.L, d.R - d.L);
            continue;
        }
        copyUnder(y, u.L, l);
        copyUnder(y, r, u.R);
        // This bitmap's pixels beyond under's columns fall on dst as it is.
        if (d.L < l) CombineRow(ownRow(y, d.L), dst.ScanLine(y) + d.L, l - d.L);
        if (r < d.R) CombineRow(ownRow(y, r), dst.ScanLine(y) + r, d.R - r);
        TColor32* out = dst.ScanLine(y) + l;
        if (DrawMode == dmOpaque || master == 0)
            std::memcpy(out, DrawMode == dmOpaque ? ownRow(y, l) : underRow(y, l), size_t(r - l) * sizeof(TColor32));
        else
            BlendRow(ownRow(y, l), underRow(y, l), out, r - l, master);
    }
}

void TBitmap32::DrawTo(TBitmap32& dst, int dstX, int dstY, int sx1, int sy1, int sx2, int sy2) const {
    if (&dst == this) {
        // Overlapping parts of one bitmap: work from a copy.
        TBitmap32 part = CopyRect(sx1, sy1, sx2, sy2);
        part.DrawMode = DrawMode;
        part.MasterAlpha = MasterAlpha;
        part.OnPixelCombine = OnPixelCombine;
        part.CombineKind = CombineKind;
        dstX += std::max(0, sx1) - sx1;
        dstY += std::max(0, sy1) - sy1;
        part.DrawTo(dst, dstX, dstY);
        return;
    }
    Box s = Intersect({sx1, sy1, sx2, sy2}, {0, 0, width_, height_});
    if (s.Empty()) return;
    // Where the clipped source lands, in 64 bits so huge offsets cannot wrap.
    int64_t dx = int64_t(dstX) + (s.L - sx1), dy = int64_t(dstY) + (s.T - sy1);
    int64_t l = std::max<int64_t>(dx, 0), t = std::max<int64_t>(dy, 0);
    int64_t r = std::min<int64_t>(dx + (s.R - s.L), dst.width_);
    int64_t b = std::min<int64_t>(dy + (s.B - s.T), dst.height_);
    if (r <= l || b <= t) return;
    const int n = int(r - l);
    if (n == width_ && n == dst.width_) {
        // Whole rows on both sides: one run, which copies fastest and lets the blend's
        // prefetch run across rows.
        CombineRow(ScanLine(int(s.T + (t - dy))), dst.ScanLine(int(t)), n * int(b - t));
        return;
    }
    for (int64_t y = t; y < b; ++y) {
        const TColor32* sp = ScanLine(int(s.T + (y - dy))) + (s.L + (l - dx));
        CombineRow(sp, dst.ScanLine(int(y)) + l, n);
    }
}
