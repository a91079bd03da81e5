// Pictures made by the tests themselves, with libjpeg, libpng and ImageMagick.
#pragma once

#include "graphics/Bitmap32.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A width x height picture whose four 8 x 8 corner blocks are red, green, blue and
// white (top-left, top-right, bottom-left, bottom-right) on mid grey.
TColor32 CornerPattern(int x, int y, int w, int h);

std::vector<uint8_t> EncodeJpeg(int w, int h, const std::function<TColor32(int, int)>& pixel, int quality = 95,
                                bool progressive = false);
// How EncodeJpegWith writes: chroma sampling factors (luma's; chroma stays 1 x 1), grey,
// and a restart marker every RestartRows rows of blocks (0: none).
struct TJpegEncoding {
    int Quality = 95;
    bool Progressive = false;
    int HSample = 2, VSample = 2;
    bool Grey = false;
    int RestartRows = 0;
};
std::vector<uint8_t> EncodeJpegWith(int w, int h, const std::function<TColor32(int, int)>& pixel,
                                    const TJpegEncoding& encoding);
std::vector<uint8_t> EncodePng(int w, int h, const std::function<TColor32(int, int)>& pixel);
// Row by row through libpng, so that a picture far larger than the memory it may take
// can be made: row(y, rgba) fills width x 4 bytes of 8-bit RGBA. Adam7 when interlaced.
std::vector<uint8_t> EncodePngRows(int w, int h, const std::function<void(int, uint8_t*)>& row, bool interlaced = false);
// Through ImageMagick, with its format name ("TGA", "GIF", ...).
std::vector<uint8_t> EncodeMagick(int w, int h, const std::function<TColor32(int, int)>& pixel, const std::string& format,
                                  bool withAlpha = false);
// One file of several plain frames, each {width, height, colour}, in that order.
struct TPlainFrame {
    int Width, Height;
    TColor32 Colour;
};
std::vector<uint8_t> EncodeMagickFrames(const std::vector<TPlainFrame>& frames, const std::string& format);
