#include "foundation/ImageLists.h"

#include "foundation/RectTools.h"
#include "platform/SysColors.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

void TImageIndexList::Add(TImageKey key, int index) { items_.push_back(Record{key, index}); }

int TImageIndexList::ImageIndexOf(TImageKey key) const {
    for (const Record& r : items_)
        if (r.key == key) return r.index;
    return -1;
}

TColor TIconBitmap::GetTransparentColor() const {
    if (TransparentMode == TTransparentMode::tmFixed || Image.Empty()) return TransparentColor;
    return PixelToColor(Image.Pixel(0, Image.Height - 1));
}

namespace {

// Per target cell along one axis: the source pixels it covers and their weights.
struct Span {
    int32_t first = 0;
    std::vector<double> weights;
};

std::vector<Span> AreaSpans(int32_t srcLen, int32_t dstLen) {
    std::vector<Span> spans(static_cast<size_t>(dstLen));
    const double scale = static_cast<double>(srcLen) / dstLen;
    for (int32_t i = 0; i < dstLen; ++i) {
        const double a = i * scale, b = (i + 1) * scale;
        int32_t first = static_cast<int32_t>(std::floor(a));
        int32_t last = std::min<int32_t>(static_cast<int32_t>(std::ceil(b)) - 1, srcLen - 1);
        first = std::clamp<int32_t>(first, 0, srcLen - 1);
        last = std::max(last, first);
        Span& s = spans[static_cast<size_t>(i)];
        s.first = first;
        double sum = 0;
        for (int32_t k = first; k <= last; ++k) {
            const double w = std::min<double>(b, k + 1) - std::max<double>(a, k);
            s.weights.push_back(w > 0 ? w : 0);
            sum += s.weights.back();
        }
        if (sum <= 0) {
            s.weights.assign(s.weights.size(), 0);
            s.weights[0] = 1;
        } else {
            for (double& w : s.weights) w /= sum;
        }
    }
    return spans;
}

uint8_t Channel(double v) { return static_cast<uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0)); }

// Straight-alpha source over an opaque background pixel.
uint32_t BlendOver(uint32_t src, uint32_t dst) {
    const uint32_t a = src >> 24;
    if (a == 255) return src;
    if (a == 0) return dst;
    auto mix = [a](uint32_t s, uint32_t d) { return (s * a + d * (255 - a) + 127) / 255; };
    return 0xFF000000u | (mix((src >> 16) & 0xFF, (dst >> 16) & 0xFF) << 16) |
           (mix((src >> 8) & 0xFF, (dst >> 8) & 0xFF) << 8) | mix(src & 0xFF, dst & 0xFF);
}

}  // namespace

TImage32 ResampleImage(const TImage32& source, int32_t width, int32_t height) {
    TImage32 result(width, height);
    if (source.Empty() || result.Empty()) return result;
    const std::vector<Span> xs = AreaSpans(source.Width, result.Width);
    const std::vector<Span> ys = AreaSpans(source.Height, result.Height);
    // Colours are averaged weighted by alpha, so transparent pixels lend no colour.
    std::vector<double> row(static_cast<size_t>(result.Width) * 4);
    for (int32_t y = 0; y < result.Height; ++y) {
        std::fill(row.begin(), row.end(), 0.0);
        const Span& sy = ys[static_cast<size_t>(y)];
        for (size_t j = 0; j < sy.weights.size(); ++j) {
            const int32_t srcY = sy.first + static_cast<int32_t>(j);
            const double wy = sy.weights[j];
            for (int32_t x = 0; x < result.Width; ++x) {
                const Span& sx = xs[static_cast<size_t>(x)];
                double* acc = &row[static_cast<size_t>(x) * 4];
                for (size_t i = 0; i < sx.weights.size(); ++i) {
                    const uint32_t p = source.Pixel(sx.first + static_cast<int32_t>(i), srcY);
                    const double w = wy * sx.weights[i];
                    const double a = (p >> 24) * w;
                    acc[0] += a;
                    acc[1] += ((p >> 16) & 0xFF) * a;
                    acc[2] += ((p >> 8) & 0xFF) * a;
                    acc[3] += (p & 0xFF) * a;
                }
            }
        }
        for (int32_t x = 0; x < result.Width; ++x) {
            const double* acc = &row[static_cast<size_t>(x) * 4];
            const double a = acc[0];
            uint32_t p = 0;
            if (a > 0)
                p = (uint32_t(Channel(a)) << 24) | (uint32_t(Channel(acc[1] / a)) << 16) |
                    (uint32_t(Channel(acc[2] / a)) << 8) | Channel(acc[3] / a);
            result.SetPixel(x, y, p);
        }
    }
    return result;
}

int AddBitmapToImageList(const TIconBitmap* bitmap, TImageList* imageList, bool fit, TColor background) {
    if (!bitmap || !imageList) return -1;
    const TColor backRgb = ColorToRGB(background);
    const TIconBitmap* toAdd = bitmap;
    TIconBitmap fitted;
    const TImage32& icon = bitmap->Image;
    if (fit && (icon.Width != imageList->Width() || icon.Height != imageList->Height())) {
        // Cover the icon with the list's aspect ratio, centre it on the background,
        // then bring that down (or up) to the list's size.
        const TRect r = FillRectAspect(Rect(0, 0, imageList->Width(), imageList->Height()),
                                       Rect(0, 0, icon.Width, icon.Height), false);
        const uint32_t back = ColorToPixel(backRgb);
        TImage32 canvas(RectWidth(r), RectHeight(r), back);
        const int32_t ox = (canvas.Width - icon.Width) / 2, oy = (canvas.Height - icon.Height) / 2;
        const bool skipTransparent = bitmap->Transparent && !icon.Empty();
        const uint32_t transparentRgb = skipTransparent ? ColorToPixel(bitmap->GetTransparentColor()) & 0xFFFFFFu : 0;
        for (int32_t y = 0; y < icon.Height; ++y) {
            const int32_t cy = y + oy;
            if (cy < 0 || cy >= canvas.Height) continue;
            for (int32_t x = 0; x < icon.Width; ++x) {
                const int32_t cx = x + ox;
                if (cx < 0 || cx >= canvas.Width) continue;
                const uint32_t p = icon.Pixel(x, y);
                if (skipTransparent && (p & 0xFFFFFFu) == transparentRgb) continue;
                canvas.SetPixel(cx, cy, BlendOver(p, canvas.Pixel(cx, cy)));
            }
        }
        fitted.Image = ResampleImage(canvas, imageList->Width(), imageList->Height());
        fitted.Transparent = true;
        fitted.TransparentMode = TTransparentMode::tmFixed;
        fitted.TransparentColor = backRgb;  // the canvas's bottom-left pixel before drawing
        toAdd = &fitted;
    } else if (icon.Empty()) {
        return -1;  // no pixel to take a mask colour from, nothing to show
    }
    const TColor mask = toAdd->Transparent ? toAdd->GetTransparentColor() : backRgb;
    return imageList->AddMasked(toAdd->Image, mask);
}

namespace {

struct ImageLists {
    std::unique_ptr<TImageList> small, big;
    std::unique_ptr<TImageIndexList> smallIndex, bigIndex;
};

std::mutex listsMutex;
ImageLists lists;

template <class T, class... Args>
T& Lazy(std::unique_ptr<T>& p, Args... args) {
    std::lock_guard<std::mutex> lock(listsMutex);
    if (!p) p = std::make_unique<T>(args...);
    return *p;
}

}  // namespace

TImageList& GetSmallImageList() { return Lazy(lists.small, 16, 16); }
TImageIndexList& GetSmallImageIndexList() { return Lazy(lists.smallIndex); }
TImageList& GetBigImageList() { return Lazy(lists.big, 100, 100); }
TImageIndexList& GetBigImageIndexList() { return Lazy(lists.bigIndex); }

void FinalizeImageLists() {
    std::lock_guard<std::mutex> lock(listsMutex);
    lists = ImageLists{};
}
