#include "graphics/VectorText.h"

#include "graphics/DrawingTools.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr TFixed kPixel = FixedOne;
// Glyph polygons are flattened inside this box (pixels) and to this tolerance.
constexpr int32_t kGlyphClipPixels = 10000;
constexpr TFixed kGlyphTolerance = 8 * FixedOne;

int32_t TruncFixed(int64_t v) { return int32_t(v / FixedOne); }

// Where a character placed at `at` ends on the right, with the pixel its edge may touch.
int64_t RightEdge(int64_t at, const TCharVector& c) { return at + c.Metrics.OriginX + c.Width() + kPixel; }

}  // namespace

// ---- one character ----

TCharVector::TCharVector(uint8_t kind) : Kind(kind) {}

TCharVector::~TCharVector() {
    if (OwnsData) delete Data;
}

void TCharVector::CalcBounds() {
    MinX = MinY = MaxX = MaxY = 0;
    bool any = false;
    if (Polygon)
        for (const auto& contour : Polygon->Points)
            for (const TFixedPoint& p : contour) {
                if (!any) {
                    MinX = MaxX = p.X;
                    MinY = MaxY = p.Y;
                    any = true;
                }
                MinX = std::min(MinX, p.X);
                MaxX = std::max(MaxX, p.X);
                MinY = std::min(MinY, p.Y);
                MaxY = std::max(MaxY, p.Y);
            }
    if (Polygon) Polygon->Offset(-TFixed((int64_t(MinX) + MaxX) / 2), -TFixed((int64_t(MinY) + MaxY) / 2));
    HalfWidth = TFixed(std::llabs(int64_t(MaxX) - MinX) / 2);
    HalfHeight = TFixed(std::llabs(int64_t(MaxY) - MinY) / 2);
}

void TCharVector::RestorePoints() {
    if (!Polygon) return;
    Polygon->Points = SavedPoints;
    Polygon->Normals = SavedNormals;
}

// ---- glyphs ----

bool GetGlyphPolygon(const TFont& font, TPolygon32& polygon, TGlyphOutlineMetrics& metrics, uint8_t code) {
    polygon.Clear();
    const uint32_t size = GetGlyphOutline(font, code, metrics, nullptr, 0);
    if (size == kGlyphOutlineError) metrics = {};
    if (size == 0 || size == kGlyphOutlineError) return false;
    std::vector<uint8_t> buffer(size);
    if (GetGlyphOutline(font, code, metrics, buffer.data(), size) != size || size < 8) return false;
    const uint32_t type = uint32_t(buffer[4]) | uint32_t(buffer[5]) << 8 | uint32_t(buffer[6]) << 16 |
                          uint32_t(buffer[7]) << 24;
    if (type != kTTPolygonType) return false;
    // The outline is built below its black box's top and moved back, so the flattening
    // box holds all of it.
    OutlineToPolygon(polygon, buffer.data(), size, MakeFixedRect(0, 0, kGlyphClipPixels * kPixel, kGlyphClipPixels * kPixel),
                     0, metrics.BlackBoxY, kGlyphTolerance);
    polygon.Offset(0, -metrics.BlackBoxY);
    return true;
}

std::unique_ptr<TCharVector> MakeCharVector(const TFont& font, uint8_t code) {
    auto c = std::make_unique<TCharVector>(ckGlyph);
    c->CharCode = code;
    c->Polygon = std::make_unique<TVectorTextPolygon32>();
    // Overlapping contours of a glyph must not cut holes into each other.
    c->Polygon->FillMode = pfWinding;
    GetGlyphPolygon(font, *c->Polygon, c->Metrics, code);
    c->CalcBounds();
    c->SavedPoints = c->Polygon->Points;
    c->SavedNormals = c->Polygon->Normals;
    return c;
}

void FillGlyph(TPolygon32& polygon, TBitmap32& target, TColor32 color, bool doubleFill) {
    polygon.DrawFill(target, color);
    if (polygon.Antialiased && doubleFill) polygon.DrawFill(target, color);
}

void DrawGlyphOutlined(TPolygon32& polygon, TBitmap32& target, TColor32 outlineColor, bool doubleFill,
                       TColor32 fillColor) {
    if (AlphaComponent(outlineColor) != 0) {
        polygon.DrawEdge(target, outlineColor);
        if (polygon.Antialiased) {
            polygon.Offset(-kPixel, -kPixel);
            polygon.DrawEdge(target, outlineColor);
            polygon.Offset(kPixel, kPixel);
        }
    }
    if (AlphaComponent(fillColor) != 0) FillGlyph(polygon, target, fillColor, doubleFill);
}

// ---- the text ----

TVectorText::TVectorText() {
    Font.Name = "Arial";
    Font.Size = 16;
}

TVectorText::~TVectorText() = default;

void TVectorText::SetText(const AnsiString& s) {
    if (s == Text && !Chars.empty()) return;
    Text = s;
    BoundsValid = false;
    Bounds = {};
    BuildGlyphs();
}

void TVectorText::BuildGlyphs() {
    Chars.clear();
    LineHeight = 0;
    LineCount = 0;
    for (char ch : Text) {
        const uint8_t code = uint8_t(ch);
        if (code == 10) continue;
        if (code == 13) {
            ++LineCount;
            auto c = std::make_unique<TCharVector>(ckLineBreak);
            c->CharCode = code;
            Chars.push_back(std::move(c));
            continue;
        }
        auto c = MakeCharVector(Font, code);
        LineHeight = std::max(LineHeight, c->Height());
        c->Kind = code == ' ' ? ckSpace : code == '-' ? ckHyphen : ckGlyph;
        Chars.push_back(std::move(c));
    }
}

void TVectorText::ClearGlyphCache() {
    Chars.clear();
    BoundsValid = false;
    for (TGlyphCacheEntry& e : GlyphCache) e = {};
}

void TVectorText::Layout(TFixed maxWidth) {
    int64_t w = maxWidth;
    if (w != 0) w -= DrawMode == vdmDropShadow ? 2 * kPixel : (DrawMode == vdmOutlined || DrawMode == vdmShadedEdges) ? kPixel : 0;
    const int64_t advance = int64_t(LineHeight) + LineHeight / 5;
    int64_t x = 0, y = 0;
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    std::vector<size_t> lineStarts{0};
    bool first = true, pendingBreak = false, lineEmpty = true;
    auto newLine = [&](size_t i) {
        lineStarts.push_back(i);
        x = 0;
        y += advance;
        lineEmpty = true;
    };
    for (size_t i = 0; i < Chars.size(); ++i) {
        TCharVector& c = *Chars[i];
        if (c.Kind == ckLineBreak) {
            newLine(i);
            c.Visible = false;
            pendingBreak = false;
            continue;
        }
        c.Visible = true;
        if (w != 0) {
            if (c.Kind == ckSpace || (i > 0 && Chars[i - 1]->Kind == ckHyphen)) pendingBreak = true;
            bool wrap = false;
            if (pendingBreak) {
                // A word starts here: it moves to the next line when any of it would not fit.
                pendingBreak = false;
                int64_t at = x;
                for (size_t j = i; j < Chars.size(); ++j) {
                    const TCharVector& cj = *Chars[j];
                    if (RightEdge(at, cj) > w) {
                        wrap = true;
                        break;
                    }
                    at += int64_t(cj.Metrics.CellIncX) * kPixel;
                    if (j + 1 >= Chars.size() || Chars[j + 1]->Kind != ckGlyph) break;
                }
            } else {
                wrap = RightEdge(x, c) > w;
            }
            // A line that holds nothing yet is not broken again: that would only add
            // empty lines in front of a word wider than the box.
            if (wrap && !lineEmpty) {
                newLine(i);
                if (c.Kind == ckSpace) c.Visible = false;
            }
        }
        if (!c.Visible) continue;
        if (first && c.Metrics.OriginX < 0) x -= c.Metrics.OriginX;
        first = false;
        lineEmpty = false;
        c.X = TFixed(x);
        c.Y = TFixed(y);
        const int64_t l = x + c.Metrics.OriginX - kPixel, t = y + c.Metrics.OriginY - kPixel;
        const int64_t r = x + c.Metrics.OriginX + c.Width() + kPixel, b = y + c.Metrics.OriginY + LineHeight + kPixel;
        left = std::min(left, std::min(l, r));
        right = std::max(right, std::max(l, r));
        top = std::min(top, std::min(t, b));
        bottom = std::max(bottom, std::max(t, b));
        x += int64_t(c.Metrics.CellIncX) * kPixel;
    }
    if (Alignment == 1 || Alignment == 2) {
        const int64_t smallest = AlignLines(lineStarts, w);
        left += smallest;
        right += smallest;
    }
    auto clampFixed = [](int64_t v) { return TFixed(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    Bounds = {clampFixed(left - 2 * kPixel), clampFixed(top - 2 * kPixel), clampFixed(right + 2 * kPixel),
              clampFixed(bottom + 2 * kPixel)};
    BoundsValid = true;
}

int64_t TVectorText::AlignLines(const std::vector<size_t>& lineStarts, int64_t width) {
    int64_t smallest = 0;
    for (size_t l = 0; l < lineStarts.size(); ++l) {
        const size_t from = lineStarts[l], to = l + 1 < lineStarts.size() ? lineStarts[l + 1] : Chars.size();
        int64_t e = 0;
        for (size_t k = to; k > from; --k) {
            const TCharVector& c = *Chars[k - 1];
            if (c.Kind == ckGlyph || c.Kind == ckHyphen) {
                e = RightEdge(c.X, c);
                break;
            }
        }
        const int64_t shift = Alignment == 1 ? width - e : (width - e) / 2;
        for (size_t k = from; k < to; ++k) Chars[k]->X = TFixed(Chars[k]->X + shift);
        if (l == 0 || shift < smallest) smallest = shift;
    }
    return smallest;
}

void TVectorText::DrawPolygonByMode(TVectorTextPolygon32& polygon, TBitmap32& target, TColor32 color,
                                    TColor32 outlineColor, int32_t shadeIntensity) {
    switch (DrawMode) {
        case vdmPlain:
            FillGlyph(polygon, target, color, DoubleFill);
            break;
        case vdmOutlined:
            DrawGlyphOutlined(polygon, target, outlineColor, DoubleFill, color);
            break;
        case vdmShadedEdges:
            FillGlyph(polygon, target, color, DoubleFill);
            DrawShadedEdges(target, polygon, shadeIntensity, -45);
            break;
        default:
            polygon.Offset(2 * kPixel, 2 * kPixel);
            FillGlyph(polygon, target, outlineColor, DoubleFill);
            polygon.Offset(-2 * kPixel, -2 * kPixel);
            FillGlyph(polygon, target, color, DoubleFill);
            break;
    }
}

void TVectorText::Draw(TFixed x, TFixed y, TFixedRect& bounds, bool measureOnly, TFixed maxWidth, TBitmap32* target) {
    if (!BoundsValid) Layout(maxWidth);
    bounds = {TFixed(uint32_t(Bounds.Left) + uint32_t(x)), TFixed(uint32_t(Bounds.Top) + uint32_t(y)),
              TFixed(uint32_t(Bounds.Right) + uint32_t(x)), TFixed(uint32_t(Bounds.Bottom) + uint32_t(y))};
    if (measureOnly || !target) return;
    const int64_t targetWidth = int64_t(target->Width()) * kPixel, targetHeight = int64_t(target->Height()) * kPixel;
    const TColor32 color = SetAlpha(Color, Alpha), outlineColor = SetAlpha(OutlineColor, Alpha);
    const int32_t intensity = int32_t(std::nearbyint(Alpha / 255.0 * 100));
    for (const auto& cp : Chars) {
        TCharVector& c = *cp;
        if (!c.Visible || !c.Polygon) continue;
        const int64_t cx = int64_t(x) + c.X, cy = int64_t(y) + c.Y;
        if (cx >= targetWidth || cx + c.Metrics.OriginX + c.Width() < 0 || cy >= targetHeight ||
            cy + c.Metrics.OriginY + LineHeight < 0)
            continue;
        const int64_t px = cx + c.Metrics.OriginX, py = cy + LineHeight - c.Height() + c.Metrics.OriginY;
        const TGlyphCacheEntry& cached = GlyphCache[c.CharCode];
        if (cached.Bitmap) {
            cached.Bitmap->MasterAlpha = Alpha;
            cached.Bitmap->DrawTo(*target, TruncFixed(px + cached.OffsetX), TruncFixed(py + cached.OffsetY));
            continue;
        }
        c.RestorePoints();
        c.Polygon->Antialiased = Antialiased;
        c.Polygon->Offset(TFixed(px + c.HalfWidth), TFixed(py + c.HalfHeight));
        DrawPolygonByMode(*c.Polygon, *target, color, outlineColor, intensity);
    }
}

void TVectorText::DrawInRect(const TFixedRect& r, TBitmap32* target, TFixedRect& bounds, bool measureOnly) {
    Draw(r.Left, r.Top, bounds, measureOnly, TFixed(int64_t(r.Right) - r.Left + kPixel), target);
}

void TVectorText::LayoutGlyphs() {
    for (const auto& cp : Chars) {
        TCharVector& c = *cp;
        TGlyphCacheEntry& entry = GlyphCache[c.CharCode];
        if (entry.Bitmap || !c.Polygon || c.SavedPoints.empty() || c.SavedPoints[0].empty()) continue;
        // Outlines are drawn along the edges and once more a pixel up and left, each line
        // spilling a pixel to both sides: the glyph sits two pixels in, with room after it.
        const TFixed shift = DrawMode == vdmOutlined ? 2 * kPixel : 0;
        const int32_t extra = DrawMode == vdmOutlined ? 5 : DrawMode == vdmDropShadow ? 3 : 1;
        auto bitmap = std::make_unique<TBitmap32>(TruncFixed(c.Width()) + extra, TruncFixed(c.Height()) + extra);
        bitmap->DrawMode = dmBlend;
        bitmap->Clear(0x00FFFFFF);
        c.RestorePoints();
        c.Polygon->Antialiased = Antialiased;
        entry.OffsetX = -shift;
        entry.OffsetY = -shift;
        c.Polygon->Offset(c.HalfWidth + shift, c.HalfHeight + shift);
        // Drawn opaque: Alpha applies when the bitmap is drawn, as it replaces the colours'
        // own alpha when a character is drawn from its outline.
        DrawPolygonByMode(*c.Polygon, *bitmap, SetAlpha(Color, 255), SetAlpha(OutlineColor, 255), 250);
        c.RestorePoints();
        entry.Bitmap = std::move(bitmap);
    }
}
