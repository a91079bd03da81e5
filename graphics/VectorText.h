// Text drawn as outline glyphs: each character's outline becomes a polygon centred on its
// own origin, so effects can move, scale and fade single characters. The text is laid out
// into lines (breaks, word wrapping, alignment), drawn in four modes and, for plain
// drawing, taken from a bitmap cache per character code. Geometry is 16.16.
#pragma once

#include "graphics/Bitmap32.h"
#include "graphics/OutlineGeometry.h"
#include "graphics/Polygon32.h"
#include "platform/Font.h"
#include "platform/GlyphOutline.h"
#include "platform/SysUtils.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TVectorTextPolygon32 : public TPolygon32 {};

// Whatever an effect keeps per character; freed with the character when it owns it.
class TCharVectorData {
public:
    virtual ~TCharVectorData() = default;
};

enum TCharVectorKind : uint8_t { ckGlyph = 0, ckLineBreak = 1, ckHyphen = 2, ckSpace = 3 };

class TCharVector {
public:
    explicit TCharVector(uint8_t kind);
    virtual ~TCharVector();
    TCharVector(const TCharVector&) = delete;
    TCharVector& operator=(const TCharVector&) = delete;

    TArrayOfArrayOfFixedPoint SavedNormals;
    TArrayOfArrayOfFixedPoint SavedPoints;
    uint8_t Kind = ckGlyph;
    uint8_t CharCode = 0;
    TFixed X = 0;
    TFixed Y = 0;
    bool Visible = true;
    TCharVectorData* Data = nullptr;
    bool OwnsData = true;
    TGlyphOutlineMetrics Metrics;  // 16.16 apart from the cell increments
    TFixed MinX = 0;
    TFixed MinY = 0;
    TFixed MaxX = 0;
    TFixed MaxY = 0;
    TFixed HalfWidth = 0;
    TFixed HalfHeight = 0;
    std::unique_ptr<TVectorTextPolygon32> Polygon;  // null for line breaks

    TFixed Width() const { return MaxX - MinX; }
    TFixed Height() const { return MaxY - MinY; }
    // Bounds of the polygon as built; then centres it on 0.
    virtual void CalcBounds();
    // Puts the polygon back to the outline as built (centred).
    void RestorePoints();
};

struct TGlyphCacheEntry {
    TFixed OffsetX = 0;
    TFixed OffsetY = 0;
    std::unique_ptr<TBitmap32> Bitmap;
};

enum TVectorTextDrawMode : uint8_t { vdmPlain = 0, vdmOutlined = 1, vdmShadedEdges = 2, vdmDropShadow = 3 };

class TVectorText {
public:
    TVectorText();
    virtual ~TVectorText();
    TVectorText(const TVectorText&) = delete;
    TVectorText& operator=(const TVectorText&) = delete;

    uint8_t Alpha = 255;
    TFont Font;  // Size may be negative: an em height in pixels
    std::vector<std::unique_ptr<TCharVector>> Chars;
    AnsiString Text;
    uint8_t DrawMode = vdmDropShadow;
    uint8_t Alignment = 0;  // 0 left, 1 right, 2 centred
    TFixed LineHeight = 0;
    int32_t LineCount = 0;
    bool BoundsValid = false;
    TFixedRect Bounds;
    TColor32 Color = clWhite32;
    TColor32 OutlineColor = clBlack32;
    bool Antialiased = true;
    bool DoubleFill = false;
    std::array<TGlyphCacheEntry, 256> GlyphCache;

    virtual void BuildGlyphs();
    // Lays out when needed; bounds are those of the layout moved by (x, y). maxWidth 0 =
    // no wrapping. Target may be null when measureOnly.
    virtual void Draw(TFixed x, TFixed y, TFixedRect& bounds, bool measureOnly, TFixed maxWidth, TBitmap32* target);
    virtual void DrawInRect(const TFixedRect& r, TBitmap32* target, TFixedRect& bounds, bool measureOnly);
    // Empties Chars and frees the cached glyph bitmaps.
    virtual void ClearGlyphCache();
    // Renders the glyph bitmap cache for the characters that have none yet.
    virtual void LayoutGlyphs();
    virtual void InvalidateBounds() { BoundsValid = false; }

    TFont& GetFont() { return Font; }
    void SetAlignment(uint8_t value) { Alignment = value; }
    void SetDrawMode(uint8_t value) { DrawMode = value; }
    void SetText(const AnsiString& s);
    // Draws one character's polygon, already placed, by DrawMode (text effects too).
    void DrawPolygonByMode(TVectorTextPolygon32& polygon, TBitmap32& target, TColor32 color, TColor32 outlineColor,
                           int32_t shadeIntensity);

protected:
    virtual void Layout(TFixed maxWidth);
    // Moves the characters of each line (from its start in lineStarts) to the right or
    // centre of width, by Alignment; answers the smallest shift of a line.
    int64_t AlignLines(const std::vector<size_t>& lineStarts, int64_t width);
};

std::unique_ptr<TCharVector> MakeCharVector(const TFont& font, uint8_t code);
// The glyph's outline as a polygon, y down, its baseline at y = 0; False (and an empty
// polygon) when the character has no outline. Metrics are set whenever it has a character.
bool GetGlyphPolygon(const TFont& font, TPolygon32& polygon, TGlyphOutlineMetrics& metrics, uint8_t code);
void FillGlyph(TPolygon32& polygon, TBitmap32& target, TColor32 color, bool doubleFill);
void DrawGlyphOutlined(TPolygon32& polygon, TBitmap32& target, TColor32 outlineColor, bool doubleFill,
                       TColor32 fillColor);
