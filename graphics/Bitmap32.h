// The 32-bit ARGB bitmap every visual part draws into: straight (not premultiplied)
// alpha, 0xAARRGGBB per pixel, rows top to bottom without padding.
#pragma once

#include "platform/Image32.h"
#include "platform/LargePages.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using TColor32 = uint32_t;
// Signed 16.16 fixed point: one pixel is 65536.
using TFixed = int32_t;
constexpr TFixed FixedOne = 0x10000;

constexpr TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 0xFF) {
    return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
}
constexpr uint8_t AlphaComponent(TColor32 c) { return uint8_t(c >> 24); }
constexpr uint8_t RedComponent(TColor32 c) { return uint8_t(c >> 16); }
constexpr uint8_t GreenComponent(TColor32 c) { return uint8_t(c >> 8); }
constexpr uint8_t BlueComponent(TColor32 c) { return uint8_t(c); }
constexpr TColor32 SetAlpha(TColor32 c, uint8_t a) { return (c & 0x00FFFFFF) | (TColor32(a) << 24); }
// A Windows colour (0x00BBGGRR), made opaque.
constexpr TColor32 WinColorToColor32(uint32_t c) {
    return Color32(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
}

constexpr TColor32 clBlack32 = 0xFF000000;
constexpr TColor32 clWhite32 = 0xFFFFFFFF;
constexpr TColor32 clTransparent32 = 0x00000000;

enum TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };

// Stored as a byte in show files: keep the order.
enum TStretchFilter : uint8_t {
    sfNearest = 0,
    sfLinear = 1,
    sfSpline = 2,
    sfLanczos = 3,
    sfMitchell = 4,
};

// F is the source pixel, B the destination pixel (changed in place), M the master alpha.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;

// The built-in combiners that dmCustom runs as row kernels: B := op(F, B) per channel R, G,
// B, with F's alpha. ckCustom calls OnPixelCombine for every pixel instead.
enum TCombineKind : uint8_t {
    ckCustom = 0,
    ckAdd = 1,       // F + B, at most 255
    ckSub = 2,       // F - B, at least 0
    ckModulate = 3,  // (F * B) shr 8
    ckMax = 4,
    ckMin = 5,
};
TColor32 CombinePixel(TCombineKind kind, TColor32 F, TColor32 B);

// Straight-alpha "over": F with its alpha scaled by M, over B; a transparent B takes F,
// an opaque B stays opaque. Results are rounded to the nearest integer.
TColor32 BlendPixel(TColor32 F, TColor32 B, uint8_t M = 255);
// BlendPixel over a row with a master alpha per pixel (masters[i] for pixel i), in
// place; 0 leaves the pixel as it is. For pictures drawn in many small pieces of
// different opacity, one call per row.
void BlendRowMasked(const TColor32* src, TColor32* dst, const uint8_t* masters, int n);

// The largest picture we ever allocate (pixels); larger requests are refused.
constexpr int64_t kMaxBitmapPixels = int64_t(1) << 28;
// Pixel memory from this size on asks for large pages (a screen of 1024 x 768 and up).
constexpr std::size_t kLargePagesFrom = std::size_t(3) << 20;

class EBitmapError : public Exception {
public:
    using Exception::Exception;
};

class TBitmap32 {
public:
    TBitmap32() = default;
    TBitmap32(int width, int height) { SetSize(width, height); }

    // Copies pixels and settings (draw mode, master alpha, combine, filter, pen, stipple).
    void Assign(const TBitmap32& source) { *this = source; }
    // Pixels of a platform image (the same layout); raises EBitmapError when too large.
    explicit TBitmap32(const TImage32& image) { Assign(image); }
    void Assign(const TImage32& image);
    TImage32 ToImage32() const;
    TRect BoundsRect() const { return TRect{0, 0, width_, height_}; }

    // Negative sizes count as 0; more than kMaxBitmapPixels raises EBitmapError.
    // New contents are transparent black.
    void SetSize(int width, int height);
    // The same for a caller that writes every pixel next (a decoder): contents undefined.
    void SetSizeForOverwrite(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    TColor32* Bits() { return bits_.data(); }
    const TColor32* Bits() const { return bits_.data(); }
    TColor32* ScanLine(int y) { return bits_.data() + size_t(y) * size_t(width_); }
    const TColor32* ScanLine(int y) const { return bits_.data() + size_t(y) * size_t(width_); }
    // Unchecked access; the S forms check and answer 0 (or ignore) outside.
    TColor32 Pixel(int x, int y) const { return bits_[size_t(y) * size_t(width_) + size_t(x)]; }
    void SetPixel(int x, int y, TColor32 c) { bits_[size_t(y) * size_t(width_) + size_t(x)] = c; }
    TColor32 PixelS(int x, int y) const;
    void SetPixelS(int x, int y, TColor32 c);
    // Blends c over the pixel.
    void SetPixelTS(int x, int y, TColor32 c);

    void Clear(TColor32 color = 0);
    // Sets every pixel's alpha.
    void ResetAlpha(uint8_t alpha = 255);
    // Lays the pixels of r that are not opaque over the colour ground, as a blending draw
    // onto the colour would have: the same bytes, after a draw that could run opaque.
    void LayOverColor(const TRect& r, TColor32 ground);

    // Rectangles are [x1, x2) x [y1, y2); everything is clipped to the bitmap.
    void FillRectS(int x1, int y1, int x2, int y2, TColor32 color);
    void FillRectTS(int x1, int y1, int x2, int y2, TColor32 color);   // blended
    void FrameRectS(int x1, int y1, int x2, int y2, TColor32 color);
    void FrameRectTS(int x1, int y1, int x2, int y2, TColor32 color);  // blended
    void FillRectS(const TRect& r, TColor32 c) { FillRectS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FillRectTS(const TRect& r, TColor32 c) { FillRectTS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FrameRectS(const TRect& r, TColor32 c) { FrameRectS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FrameRectTS(const TRect& r, TColor32 c) { FrameRectTS(r.Left, r.Top, r.Right, r.Bottom, c); }

    // Lines from (x1, y1) to (x2, y2); the end point is drawn only when includeLast.
    void LineS(int x1, int y1, int x2, int y2, TColor32 color, bool includeLast = false);
    void LineTS(int x1, int y1, int x2, int y2, TColor32 color, bool includeLast = false);
    // Stippled: every pixel takes the next stipple colour, blended.
    void SetStipple(std::vector<TColor32> pattern);
    float StippleStep = 1.0f;
    float StippleCounter = 0.0f;
    // The colour at the counter (between two entries a mix of both), then the counter
    // advances by StippleStep.
    TColor32 GetStippleColor();
    void AdvanceStippleCounter(float pixels);
    void LineTSP(int x1, int y1, int x2, int y2, bool includeLast = false);
    // The outline of [x1, x2) x [y1, y2), clockwise from the top-left corner.
    void FrameRectTSP(int x1, int y1, int x2, int y2);
    // Anti-aliased, blended, coordinates in 16.16 fixed point.
    void LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 color, bool includeLast = false);

    // Pen: an integer and a fixed-point position, each moved by its own calls.
    TColor32 PenColor = clWhite32;
    void MoveTo(int x, int y) { penIX_ = x; penIY_ = y; }
    void LineToS(int x, int y);
    void MoveToX(TFixed x, TFixed y) { penX_ = x; penY_ = y; }
    void LineToXS(TFixed x, TFixed y);

    // A new bitmap holding the part [x1, x2) x [y1, y2) of this one (clipped).
    TBitmap32 CopyRect(int x1, int y1, int x2, int y2) const;
    TBitmap32 CopyRect(const TRect& r) const { return CopyRect(r.Left, r.Top, r.Right, r.Bottom); }

    // How DrawTo puts this bitmap's pixels into another.
    TDrawMode DrawMode = dmOpaque;
    uint8_t MasterAlpha = 255;
    TPixelCombineEvent OnPixelCombine;
    TCombineKind CombineKind = ckCustom;
    TStretchFilter StretchFilter = sfNearest;

    // The whole bitmap, or the part srcRect, with its top-left at (dstX, dstY).
    void DrawTo(TBitmap32& dst, int dstX = 0, int dstY = 0) const;
    void DrawTo(TBitmap32& dst, int dstX, int dstY, int srcX1, int srcY1, int srcX2, int srcY2) const;
    // The whole bitmap at (dstX, dstY) as DrawTo draws it, onto dst as though under had
    // first been copied into dst at (underX, underY) opaque: a saved background put back
    // and drawn over in one pass over the pixels instead of a copy and a blend.
    void DrawToOver(TBitmap32& dst, int dstX, int dstY, const TBitmap32& under, int underX, int underY) const;
    // The part srcRect resampled into the rectangle dstRect with StretchFilter. A part that
    // reaches outside this bitmap is cut, and dstRect shrinks in proportion.
    void StretchTo(TBitmap32& dst, int dX1, int dY1, int dX2, int dY2,
                   int sX1, int sY1, int sX2, int sY2) const;
    void StretchTo(TBitmap32& dst, int dX1, int dY1, int dX2, int dY2) const {
        StretchTo(dst, dX1, dY1, dX2, dY2, 0, 0, width_, height_);
    }
    // The same with rectangles: a part at a point, or a part into a rectangle (resampled
    // when the sizes differ).
    void DrawTo(TBitmap32& dst, int dstX, int dstY, const TRect& src) const {
        DrawTo(dst, dstX, dstY, src.Left, src.Top, src.Right, src.Bottom);
    }
    void DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& src) const {
        StretchTo(dst, dstRect.Left, dstRect.Top, dstRect.Right, dstRect.Bottom, src.Left, src.Top, src.Right,
                  src.Bottom);
    }
    void DrawTo(TBitmap32& dst, const TRect& dstRect) const { DrawTo(dst, dstRect, BoundsRect()); }
    // A part of this bitmap and where DrawTo puts it, resampled when the sizes differ.
    struct TPiece {
        TRect Src, Dst;
    };
    // Draws every piece as DrawTo does, in order. The pieces' destinations must not
    // overlap: an opaque drawing of many pieces (the slats or boxes of a transition) then
    // runs on several threads, as one large stretch does.
    void DrawPiecesTo(TBitmap32& dst, const std::vector<TPiece>& pieces) const;

    // Text. Font is the face, size, style and colour; text is Windows-1252.
    TFont Font;
    // Draws text without anti-aliasing, the top-left of its cell at (x, y): the covered
    // pixels become Font.Color, opaque; the rest of the cell stays as it was.
    void Textout(int x, int y, const AnsiString& text);
    // The cell of the text in Font: the advance widths by the line height.
    TSize TextExtent(const AnsiString& text) const;
    int TextWidth(const AnsiString& text) const { return TextExtent(text).cx; }
    int TextHeight(const AnsiString& text) const { return TextExtent(text).cy; }

    // Combines a row of count source pixels into dst with this bitmap's draw mode.
    void CombineRow(const TColor32* src, TColor32* dst, int count) const;

private:
    // Growing the pixels leaves them uninitialised; SetSize clears them itself.
    template <class T>
    struct TDefaultInit : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = TDefaultInit<U>;
        };
        using std::allocator<T>::allocator;
        T* allocate(std::size_t n) {
            T* p = std::allocator<T>::allocate(n);
            if (n * sizeof(T) >= kLargePagesFrom) AdviseLargePages(p, n * sizeof(T));
            return p;
        }
        template <class U>
        void construct(U* p) noexcept {
            ::new (static_cast<void*>(p)) U;
        }
        template <class U, class... Args>
        void construct(U* p, Args&&... args) {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    int width_ = 0;
    int height_ = 0;
    std::vector<TColor32, TDefaultInit<TColor32>> bits_;
    TFixed penX_ = 0;
    TFixed penY_ = 0;
    int penIX_ = 0;
    int penIY_ = 0;
    std::vector<TColor32> stipple_;
    TColor32 StippleColorAt(double pos) const;
};

// The resampling kernels, exposed for tests and benchmarks.
double StretchKernel(TStretchFilter filter, double x);
double StretchKernelRadius(TStretchFilter filter);
// The highest vector level the pixel loops may use: 0 scalar, 1 SSE2, 2 AVX2 (each only
// where the processor has it). All levels give the same pixels; tests compare them.
void SetBitmapSimdLevel(int level);
