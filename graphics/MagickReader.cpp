#include "graphics/MagickReader.h"

#include "dynload/MagickLibrary.h"
#include "graphics/PictureReader.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The library, started once; a library that does not load leaves every such picture
// unreadable, with the reason.
const TMagickFunctions& MagickOnce() {
    std::string error;
    const TMagickFunctions* mg = ImageMagick(error);
    if (!mg) {
        OutputDebugString(AnsiString(error));
        throw EInvalidGraphic(AnsiString("ImageMagick is not available: ") + error);
    }
    static std::once_flag once;
    std::call_once(once, [mg] {
        mg->MagickWandGenesis();
        // Pictures are decoded in memory only; nothing spills to disk.
        mg->MagickSetResourceLimit(DiskResource, 0);
    });
    return *mg;
}

// One decoding's settings, report and picture, freed whatever happens.
class TMagickCall {
public:
    explicit TMagickCall(const TMagickFunctions& mg)
        : mg_(mg), info_(mg.AcquireImageInfo()), exception_(mg.AcquireExceptionInfo()) {}
    TMagickCall(const TMagickCall&) = delete;
    TMagickCall& operator=(const TMagickCall&) = delete;
    ~TMagickCall() {
        if (image_) mg_.DestroyImageList(image_);
        mg_.DestroyExceptionInfo(exception_);
        mg_.DestroyImageInfo(info_);
    }

    // The coder forced ("TGA:" names it as a file name prefix would) and only the first
    // frame read. A read keeps that name, so that what the library says names the coder.
    void Settings(const char* coder, bool keepName) {
        info_->number_scenes = 1;
        SetName(coder);
        mg_.SetImageInfo(info_, 1, exception_);
        if (keepName) SetName(coder);
    }
    void Ping(const uint8_t* data, size_t size) { Take(mg_.PingBlob(info_, data, size, exception_)); }
    void Read(const uint8_t* data, size_t size) { Take(mg_.BlobToImage(info_, data, size, exception_)); }
    const Image* Picture() const { return image_; }

    // The picture as it is seen: turned upright by the orientation it names (a TIFF's
    // tag, a profile's EXIF), and a CMYK one in sRGB, since BGRA is taken from RGB
    // channels. The Targa coder names the order its rows were stored in, which it has
    // undone already. The report, or null.
    const ExceptionInfo* Normalize(const char* coder) {
        mg_.ClearMagickException(exception_);
        if (image_->orientation > TopLeftOrientation && image_->orientation <= LeftBottomOrientation &&
            std::strcmp(coder, "TGA") != 0) {
            Image* upright = mg_.AutoOrientImage(image_, image_->orientation, exception_);
            if (!upright) return exception_;
            mg_.DestroyImageList(image_);
            image_ = upright;
        }
        if (image_->colorspace == CMYKColorspace && !mg_.TransformImageColorspace(image_, sRGBColorspace))
            return exception_->severity != UndefinedException ? exception_ : &image_->exception;
        return exception_->severity >= ErrorException ? exception_ : nullptr;
    }

    // The report that counts, null when none does: the call's, else the picture's own
    // (where coders leave some of their errors). Quiet, only an error counts.
    const ExceptionInfo* Reported(bool quiet) const {
        const auto counts = [quiet](const ExceptionInfo& e) {
            return e.severity != UndefinedException && (!quiet || e.severity >= ErrorException);
        };
        if (counts(*exception_)) return exception_;
        if (image_ && counts(image_->exception)) return &image_->exception;
        return nullptr;
    }
    // A report as a line of ours ends: the library's reason, without where in its sources
    // it was raised, and without the coder's name that stands in for the file's.
    AnsiString Message(const ExceptionInfo& e) const {
        std::string text = e.reason ? e.reason : "";
        if (e.description) text += std::string(" (") + e.description + ")";
        if (const size_t at = text.find(" @ "); at != std::string::npos) text.erase(at);
        if (const size_t at = text.find(" `"); at != std::string::npos && text.back() == '\'' &&
                                                 text.find(':', at) == text.size() - 2)
            text.erase(at);
        return AnsiString(text.empty() ? "no reason given" : text);
    }
    AnsiString Message(const char* reason) const { return AnsiString(reason); }

    // The report, or null; anything said here, a warning too, leaves the pixels in doubt.
    const ExceptionInfo* ExportBgra(size_t w, size_t h, void* pixels) {
        mg_.ClearMagickException(exception_);
        mg_.ExportImagePixels(image_, 0, 0, w, h, "BGRA", CharPixel, pixels, exception_);
        return exception_->severity != UndefinedException ? exception_ : nullptr;
    }

private:
    void SetName(const char* coder) { std::snprintf(info_->filename, sizeof(info_->filename), "%s:", coder); }
    // The first frame only: any further one goes at once, with what it reported.
    void Take(Image* list) {
        if (image_) mg_.DestroyImageList(image_);
        image_ = list;
        if (image_ && image_->next) {
            // Cut loose first: a list is destroyed from its head, wherever entered.
            Image* rest = image_->next;
            image_->next = nullptr;
            rest->previous = nullptr;
            mg_.DestroyImageList(rest);
        }
    }

    const TMagickFunctions& mg_;
    ImageInfo* info_;
    ExceptionInfo* exception_;
    Image* image_ = nullptr;
};

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
// Only an error stops here, a warning is left to the read.
bool PingSize(const TMagickFunctions& mg, const uint8_t* data, size_t size, const char* coder, int64_t& w, int64_t& h) {
    TMagickCall probe(mg);
    probe.Settings(coder, false);
    if (!probe.Reported(true)) probe.Ping(data, size);
    if (const ExceptionInfo* e = probe.Reported(true))
        throw EInvalidGraphic(AnsiString("damaged picture: ") + probe.Message(*e));
    w = probe.Picture() ? int64_t(probe.Picture()->columns) : 0;
    h = probe.Picture() ? int64_t(probe.Picture()->rows) : 0;
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

// The system's ImageMagick policy may cap the library's memory below what our own limit
// asks for, and this program cannot raise it: its pixel cache (8 bytes a pixel at 16 bits
// a sample, twice that for its PNM coder, as measured) must fit in that memory, as the
// disk is not allowed, and no side may pass its width and height limits. Past them the
// library says only that its cache is exhausted or the data unreadable; the picture is
// too large for this system, not damaged.
void CheckPolicySize(const TMagickFunctions& mg, int64_t w, int64_t h, bool pnm) {
    const MagickSizeType pixels = mg.GetMagickResourceLimit(MemoryResource) / (sizeof(PixelPacket) * (pnm ? 2 : 1));
    const MagickSizeType wMax = mg.GetMagickResourceLimit(WidthResource), hMax = mg.GetMagickResourceLimit(HeightResource);
    if (MagickSizeType(w) <= wMax && MagickSizeType(h) <= hMax && MagickSizeType(w) * MagickSizeType(h) <= pixels) return;
    throw EInvalidGraphic("picture too large: " + std::to_string(w) + " x " + std::to_string(h) +
                          " pixels exceed what this system's ImageMagick policy allows (" + std::to_string(pixels) +
                          " pixels, sides of " + std::to_string(std::min(wMax, hMax)) + ")");
}

}  // namespace

TBitmap32 ReadMagickPicture(const uint8_t* data, size_t size, const char* coder) {
    if (size == 0) throw EInvalidGraphic("empty file");
    const std::vector<uint8_t> bmp = std::strcmp(coder, "BMP") == 0 ? BmpWithRealSize(data, size) : std::vector<uint8_t>();
    if (!bmp.empty()) data = bmp.data();
    const TMagickFunctions& mg = MagickOnce();
    // The library counts its area limit in bytes of its pixel cache (up to 16 per pixel
    // here); beyond it, with no disk allowed, it refuses. Our exact count follows below.
    const int64_t limit = MaxPicturePixels();
    const MagickSizeType cache = MagickSizeType(std::min<int64_t>(limit, int64_t(1) << 40) * 16);
    mg.MagickSetResourceLimit(AreaResource, cache);
    // Its heap and its mapped memory neither: past them it would turn to the disk.
    mg.MagickSetResourceLimit(MemoryResource, cache);
    mg.MagickSetResourceLimit(MapResource, cache);
    // No side may be longer than the whole pixel budget: refused before any pixel exists.
    mg.MagickSetResourceLimit(WidthResource, MagickSizeType(limit));
    mg.MagickSetResourceLimit(HeightResource, MagickSizeType(limit));
    // The header first: a picture over the budget is refused before its pixels exist.
    // (The library's PNM coder leaks when only pinged; its header is read here instead.)
    const bool pnm = std::strcmp(coder, "PPM") == 0 || std::strcmp(coder, "PGM") == 0 || std::strcmp(coder, "PBM") == 0;
    int64_t w0 = 0, h0 = 0;
    if (pnm ? PnmHeaderSize(data, size, w0, h0) : PingSize(mg, data, size, coder, w0, h0)) {
        CheckPictureSize(w0, h0);
        CheckPolicySize(mg, w0, h0, pnm);
    }
    TMagickCall read(mg);
    read.Settings(coder, true);
    if (!read.Reported(false)) read.Read(data, size);
    if (const ExceptionInfo* e = read.Reported(false)) {
        if (e->severity >= ErrorException) throw EInvalidGraphic(AnsiString("damaged picture: ") + read.Message(*e));
        // A warning still leaves a picture (or none, checked below).
        OutputDebugString(AnsiString("Picture read with a warning: ") + read.Message(*e));
    } else if (!read.Picture()) {
        OutputDebugString(AnsiString("Picture read with a warning: ") + read.Message("No image was loaded."));
    }
    if (read.Picture()) {
        if (const ExceptionInfo* e = read.Normalize(coder))
            throw EInvalidGraphic(AnsiString("damaged picture: ") + read.Message(*e));
    }
    const Image* image = read.Picture();
    const int64_t w = image ? int64_t(image->columns) : 0, h = image ? int64_t(image->rows) : 0;
    if (w == 0 || h == 0) throw EInvalidGraphic("damaged picture: no pixels");
    CheckPictureSize(w, h);
    TBitmap32 bitmap{int(w), int(h)};
    if (const ExceptionInfo* e = read.ExportBgra(size_t(w), size_t(h), bitmap.Bits()))
        throw EInvalidGraphic(AnsiString("damaged picture: ") + read.Message(*e));
    // Without an alpha channel the library's opacity values are not to be trusted:
    // such pictures are opaque.
    if (!image->matte) bitmap.ResetAlpha(255);
    return bitmap;
}
