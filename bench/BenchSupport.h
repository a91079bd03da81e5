// What the picture benchmarks share besides the timing: the ratio counters and a test
// photo with its JPEG.
#pragma once

#include "bench/BenchTiming.h"
#include "graphics/Bitmap32.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

// A picture with some structure, so the JPEG is of a realistic size.
inline TBitmap32 Photo(int w, int h) {
    TBitmap32 b(w, h);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, Color32(uint8_t((x * 255) / w), uint8_t((y * 255) / h), uint8_t(((x ^ y) & 63) + (rng() & 15))));
    return b;
}

// Our time over the reference's, and the reference's time per iteration.
inline void Report(benchmark::State& state, double ours, double ref, const char* refName) {
    state.counters["ratio"] = ref > 0 ? ours / ref : 0;
    state.counters[std::string(refName) + "_ms"] = ref * 1000 / double(state.iterations());
}

// A JPEG of the picture, quality 90.
inline std::vector<uint8_t> EncodeJpeg(const TBitmap32& pic) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(pic.Width());
    c.image_height = JDIMENSION(pic.Height());
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(pic.ScanLine(int(c.next_scanline))));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

