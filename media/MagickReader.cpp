#include "media/MagickReader.h"

#include "media/PictureRegistry.h"

#include <algorithm>
#include <mutex>

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

}  // namespace

TBitmap32 ReadMagickPicture(const uint8_t* data, size_t size, const char* coder) {
    if (size == 0) throw EInvalidGraphic("Leere Bilddatei");
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
    try {
        Magick::Image probe;
        probe.quiet(true);
        probe.subRange(1);
        probe.magick(coder);
        probe.ping(blob);
        if (probe.columns() > 0 && probe.rows() > 0) CheckPictureSize(int64_t(probe.columns()), int64_t(probe.rows()));
    } catch (const Magick::Warning&) {
    } catch (const Magick::Exception& e) {
        throw EInvalidGraphic(AnsiString("Bilddatei nicht lesbar: ") + e.what());
    }
    Magick::Image image;
    try {
        image.quiet(true);
        image.subRange(1);
        image.read(blob, Magick::Geometry(), std::string(coder));
    } catch (const Magick::Warning&) {
        // A warning still leaves a picture (or none, checked below).
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
