#include "graphics/MagickReader.h"

#include "graphics/PictureReader.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <Magick++.h>

namespace {

void InitMagickOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        // Pictures are decoded in memory only; nothing spills to disk.
        Magick::ResourceLimits::disk(0);
    });
}

// Width and height from a PNM header: "P1" to "P6", then two decimal numbers, with
// white space and "#" comments between. False when the header is not readable.
bool PnmHeaderSize(const uint8_t* data, size_t size, int64_t& w, int64_t& h) {
    if (size < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6') return false;
    size_t i = 2;
    int64_t values[2];
    for (int64_t& v : values) {
        for (;;) {
            while (i < size && std::isspace(data[i])) ++i;
            if (i < size && data[i] == '#') {
                while (i < size && data[i] != '\n' && data[i] != '\r') ++i;
                continue;
            }
            break;
        }
        if (i >= size || !std::isdigit(data[i])) return false;
        v = 0;
        while (i < size && std::isdigit(data[i]) && v < (int64_t(1) << 40)) v = v * 10 + (data[i++] - '0');
    }
    w = values[0];
    h = values[1];
    return true;
}

// Width and height from the library's header-only read; false when it gives none.
bool PingSize(const Magick::Blob& blob, const char* coder, int64_t& w, int64_t& h) {
    Magick::Image probe;
    try {
        probe.quiet(true);
        probe.subRange(1);
        probe.magick(coder);
        probe.ping(blob);
    } catch (const Magick::Warning&) {
    } catch (const Magick::Exception& e) {
        throw EInvalidGraphic(AnsiString("Bilddatei nicht lesbar: ") + e.what());
    }
    w = int64_t(probe.columns());
    h = int64_t(probe.rows());
    return w > 0 && h > 0;
}

// The file size a BMP header gives is informative only (Windows ignores it), but the
// library calls a mismatch an error, or refuses the file when the field is larger. The
// copy it gets says the real size; a file whose pixels are missing still fails.
std::vector<uint8_t> BmpWithRealSize(const uint8_t* data, size_t size) {
    if (size < 14 || data[0] != 'B' || data[1] != 'M' || size > 0xFFFFFFFFu) return {};
    const uint32_t stored = uint32_t(data[2]) | uint32_t(data[3]) << 8 | uint32_t(data[4]) << 16 | uint32_t(data[5]) << 24;
    if (stored == size) return {};
    OutputDebugString("BMP header gives a file size of " + std::to_string(stored) + " bytes, the file has " +
                      std::to_string(size));
    std::vector<uint8_t> copy(data, data + size);
    for (int i = 0; i < 4; ++i) copy[size_t(2 + i)] = uint8_t(size >> (8 * i));
    return copy;
}

}  // namespace

TBitmap32 ReadMagickPicture(const uint8_t* data, size_t size, const char* coder) {
    if (size == 0) throw EInvalidGraphic("Leere Bilddatei");
    const std::vector<uint8_t> bmp = std::strcmp(coder, "BMP") == 0 ? BmpWithRealSize(data, size) : std::vector<uint8_t>();
    if (!bmp.empty()) data = bmp.data();
    InitMagickOnce();
    // The library counts its area limit in bytes of its pixel cache (up to 16 per pixel
    // here); beyond it, with no disk allowed, it refuses. Our exact count follows below.
    const int64_t limit = MaxPicturePixels();
    Magick::ResourceLimits::area(Magick::MagickSizeType(std::min<int64_t>(limit, int64_t(1) << 40) * 16));
    // No side may be longer than the whole pixel budget: refused before any pixel exists.
    Magick::ResourceLimits::width(Magick::MagickSizeType(limit));
    Magick::ResourceLimits::height(Magick::MagickSizeType(limit));
    const Magick::Blob blob(data, size);
    // The header first: a picture over the budget is refused before its pixels exist.
    // (The library's PNM coder leaks when only pinged; its header is read here instead.)
    const bool pnm = std::strcmp(coder, "PPM") == 0 || std::strcmp(coder, "PGM") == 0 || std::strcmp(coder, "PBM") == 0;
    int64_t w0 = 0, h0 = 0;
    if (pnm ? PnmHeaderSize(data, size, w0, h0) : PingSize(blob, coder, w0, h0)) CheckPictureSize(w0, h0);
    Magick::Image image;
    try {
        image.quiet(false);
        image.subRange(1);
        image.read(blob, Magick::Geometry(), std::string(coder));
    } catch (const Magick::Warning& w) {
        // A warning still leaves a picture (or none, checked below).
        OutputDebugString(AnsiString("Picture read with a warning: ") + w.what());
    } catch (const Magick::Exception& e) {
        throw EInvalidGraphic(AnsiString("Bilddatei nicht lesbar: ") + e.what());
    }
    const int64_t w = int64_t(image.columns()), h = int64_t(image.rows());
    if (w == 0 || h == 0) throw EInvalidGraphic("Bilddatei nicht lesbar");
    CheckPictureSize(w, h);
    TBitmap32 bitmap{int(w), int(h)};
    try {
        image.write(0, 0, size_t(w), size_t(h), "BGRA", Magick::CharPixel, bitmap.Bits());
    } catch (const Magick::Exception& e) {
        throw EInvalidGraphic(AnsiString("Bilddatei nicht lesbar: ") + e.what());
    }
    // Without an alpha channel the library's opacity values are not to be trusted:
    // such pictures are opaque.
    if (!image.matte()) bitmap.ResetAlpha(255);
    return bitmap;
}
