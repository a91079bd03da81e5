// Photo-like test pictures: smooth shapes of light and colour with a camera's grain.
#pragma once

#include "graphics/Bitmap32.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// Diamond-square plasma on a (2^k + 1)-square grid, values roughly in [-1, 1].
inline std::vector<float> Plasma(int size, uint32_t seed, float roughness) {
    const size_t n = size_t(size);
    std::vector<float> v(n * n, 0.0f);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    auto at = [&](int x, int y) -> float& { return v[size_t(y) * n + size_t(x)]; };
    float amp = 1.0f;
    for (int step = size - 1; step > 1; step /= 2, amp *= roughness) {
        const int half = step / 2;
        for (int y = half; y < size; y += step)
            for (int x = half; x < size; x += step)
                at(x, y) = (at(x - half, y - half) + at(x + half, y - half) + at(x - half, y + half) +
                            at(x + half, y + half)) / 4 + u(rng) * amp;
        for (int y = 0; y < size; y += half)
            for (int x = (y / half) % 2 == 0 ? half : 0; x < size; x += step) {
                float sum = 0;
                int cnt = 0;
                if (x >= half) { sum += at(x - half, y); ++cnt; }
                if (x + half < size) { sum += at(x + half, y); ++cnt; }
                if (y >= half) { sum += at(x, y - half); ++cnt; }
                if (y + half < size) { sum += at(x, y + half); ++cnt; }
                at(x, y) = sum / float(cnt) + u(rng) * amp;
            }
    }
    return v;
}

// A photo-like picture: a plasma of brightness with two softer colour plasmas, plus fine
// grain of the given strength (standard deviation in levels) as a camera sensor leaves
// it. Grain 3 gives a clean picture; grain 8 at 12 megapixels makes a JPEG of the 3 to 5
// MB a camera writes.
inline TBitmap32 CameraPhoto(int w, int h, uint32_t seed, float grainLevels = 3.0f) {
    int size = 2;
    while (size < std::max(w, h)) size *= 2;
    ++size;
    const std::vector<float> lum = Plasma(size, seed, 0.58f);
    const std::vector<float> cb = Plasma(size, seed + 1, 0.5f);
    const std::vector<float> cr = Plasma(size, seed + 2, 0.5f);
    TBitmap32 b(w, h);
    std::mt19937 rng(seed + 3);
    std::normal_distribution<float> grain(0.0f, grainLevels);
    auto clamp8 = [](float x) { return uint8_t(std::clamp(std::lround(x), 0L, 255L)); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(size) + size_t(x);
            const float l = 128 + 70 * lum[i], u = 40 * cb[i], v = 40 * cr[i];
            b.SetPixel(x, y, Color32(clamp8(l + 1.4f * v + grain(rng)), clamp8(l - 0.34f * u - 0.71f * v + grain(rng)),
                                     clamp8(l + 1.77f * u + grain(rng))));
        }
    return b;
}
