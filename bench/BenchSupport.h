// What the picture benchmarks share besides the timing: test pictures with their JPEGs.
#pragma once

#include "bench/BenchTiming.h"
#include "bench/CameraPhoto.h"
#include "graphics/Bitmap32.h"
#include "graphics/JpegWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

// A picture with some structure, so the JPEG is of a realistic size.
inline TBitmap32 Photo(int w, int h) {
    TBitmap32 b(w, h);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, Color32(uint8_t((x * 255) / w), uint8_t((y * 255) / h), uint8_t(((x ^ y) & 63) + (rng() & 15))));
    return b;
}

// A JPEG of the picture, quality 90.
inline std::vector<uint8_t> EncodeJpeg(const TBitmap32& pic) { return EncodeJpegPicture(pic, TJpegWriteOptions{90, false}); }
