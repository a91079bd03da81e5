#include "platform/WindowSurface.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)
// Streaming stores: the pixels go to the window's memory past the caches, which keep the
// back buffer and the pictures the next frame reads. Half the time of a cached copy of a
// frame whose target is not in the cache.
template <bool Opaque>
__attribute__((target("avx2"))) void StreamPixelsAVX2(uint32_t* to, const uint32_t* from, int32_t count) {
    const uint32_t mask = Opaque ? 0xFF000000u : 0;
    int32_t i = 0;
    for (; i < count && (reinterpret_cast<uintptr_t>(to + i) & 31) != 0; ++i) to[i] = from[i] | mask;
    const __m256i vmask = _mm256_set1_epi32(int(mask));
    for (; i + 8 <= count; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i), Opaque ? _mm256_or_si256(p, vmask) : p);
    }
    _mm_sfence();
    for (; i < count; ++i) to[i] = from[i] | mask;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// Rows shorter than this are not worth the fence.
constexpr int32_t kStreamedRow = 64;

}  // namespace

void CopyOpaquePixels(uint32_t* to, const uint32_t* from, int32_t count) {
    int32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (count >= kStreamedRow && HasAvx2()) return StreamPixelsAVX2<true>(to, from, count);
    // Four pixels at a time: the compiler leaves a loop of unknown length scalar at -O2.
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (; i + 4 <= count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)), opaque));
#endif
    for (; i < count; ++i) to[i] = from[i] | 0xFF000000u;
}

void CopyPixelsToScreen(uint32_t* to, const uint32_t* from, int32_t count) {
#if defined(__x86_64__) || defined(__i386__)
    if (count >= kStreamedRow && HasAvx2()) return StreamPixelsAVX2<false>(to, from, count);
#endif
    if (count > 0) std::memcpy(to, from, size_t(count) * sizeof(uint32_t));
}

TRect PresentedPart(const TRect& rect, int32_t width, int32_t height, TPoint origin, int32_t clientWidth,
                    int32_t clientHeight) {
    const TRect inImage = IntersectRect(rect, TRect{0, 0, width, height});
    if (inImage.IsEmpty()) return TRect{};
    // In 64 bits: an origin far out must not wrap a rectangle back into the client.
    const int64_t left = int64_t(inImage.Left) + origin.X, top = int64_t(inImage.Top) + origin.Y;
    const int64_t right = int64_t(inImage.Right) + origin.X, bottom = int64_t(inImage.Bottom) + origin.Y;
    const TRect inClient{static_cast<int32_t>(std::clamp<int64_t>(left, 0, clientWidth)),
                         static_cast<int32_t>(std::clamp<int64_t>(top, 0, clientHeight)),
                         static_cast<int32_t>(std::clamp<int64_t>(right, 0, clientWidth)),
                         static_cast<int32_t>(std::clamp<int64_t>(bottom, 0, clientHeight))};
    return inClient.IsEmpty() ? TRect{} : inClient;
}

TOffscreenWindowSurface::TOffscreenWindowSurface(int32_t clientWidth, int32_t clientHeight) {
    SetClientSize(clientWidth, clientHeight);
}

void TOffscreenWindowSurface::SetClientSize(int32_t clientWidth, int32_t clientHeight) {
    image_.SetSize(clientWidth, clientHeight, 0xFF000000u);
}

void TOffscreenWindowSurface::Present(const uint32_t* pixels, int32_t stride, int32_t width, int32_t height,
                                      TPoint origin, const TRect* rects, int32_t count) {
    ++presentCount_;
    if (!pixels || !rects) return;
    for (int32_t i = 0; i < count; ++i) {
        const TRect part = PresentedPart(rects[i], width, height, origin, image_.Width, image_.Height);
        if (part.IsEmpty()) continue;
        for (int32_t y = part.Top; y < part.Bottom; ++y) {
            const uint32_t* src = pixels + (int64_t(y) - origin.Y) * stride + (int64_t(part.Left) - origin.X);
            uint32_t* dst = image_.Pixels.data() + size_t(y) * size_t(image_.Width) + size_t(part.Left);
            CopyOpaquePixels(dst, src, part.Width());
        }
        presented_.push_back(part);
    }
}

std::vector<TRect> TOffscreenWindowSurface::TakePresented() {
    std::vector<TRect> taken;
    taken.swap(presented_);
    return taken;
}
