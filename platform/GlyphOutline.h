// Glyph outlines of a font in the form our outline text code reads: the native outline
// buffer of the system's glyph-outline call, asked for with y flipped into screen
// orientation. The buffer is a run of contours, each a header {cb: u32 bytes including
// the header; dwType: u32, always 24; pfxStart: point} and curve records {wType: u16;
// cpfx: u16; cpfx points}: 1 lines, 2 quadratic B-splines (on-curve points implied
// between two off-curve ones, the last point on the curve), 3 cubic pieces of three
// points each. A point is two FIXED values (u16 fraction, i16 integer part), i.e. a
// little-endian signed 16.16 number per axis. Outlines are unhinted and scaled to the
// font's pixel em height at 96 dpi.
#pragma once

#include "platform/Font.h"

#include <cstdint>
#include <memory>

constexpr uint32_t kTTPolygonType = 24;
constexpr uint16_t kTTPrimLine = 1;
constexpr uint16_t kTTPrimQSpline = 2;
constexpr uint16_t kTTPrimCSpline = 3;

// A glyph's measures, all but the cell increments in signed 16.16 pixels, y upwards:
// the black box is the outline's extent, its origin the left edge and minus the bottom
// edge (so a glyph sitting on the baseline has OriginY 0 and one reaching below it a
// positive OriginY). CellIncX is the advance in whole pixels; CellIncY is always 0.
struct TGlyphOutlineMetrics {
    int32_t BlackBoxX = 0;
    int32_t BlackBoxY = 0;
    int32_t OriginX = 0;
    int32_t OriginY = 0;
    int16_t CellIncX = 0;
    int16_t CellIncY = 0;

    bool operator==(const TGlyphOutlineMetrics&) const = default;
};

// Where outlines come from; the program uses the installed fonts, tests may put a fake in.
class TGlyphOutlineSource {
public:
    virtual ~TGlyphOutlineSource() = default;
    // The outline of the Windows-1252 code in the font. Sets metrics whenever the font has
    // the character (also for blank ones) and answers the buffer size; 0 when there is no
    // outline. With a buffer of at least that size the outline is written into it.
    // UINT32_MAX (GDI_ERROR) when no font can be found or the code has no character.
    virtual uint32_t GetGlyphOutline(const TFont& font, uint8_t code, TGlyphOutlineMetrics& metrics,
                                     uint8_t* buffer, uint32_t bufferSize) = 0;
};

constexpr uint32_t kGlyphOutlineError = UINT32_MAX;

// The source that GetGlyphOutline asks: the installed fonts and the fonts the program
// added, found as the text output finds them, unless a test installed another.
TGlyphOutlineSource& CurrentGlyphOutlineSource();
// Installs source (not owned) until it is called again with null.
void SetGlyphOutlineSource(TGlyphOutlineSource* source);

inline uint32_t GetGlyphOutline(const TFont& font, uint8_t code, TGlyphOutlineMetrics& metrics,
                                uint8_t* buffer, uint32_t bufferSize) {
    return CurrentGlyphOutlineSource().GetGlyphOutline(font, code, metrics, buffer, bufferSize);
}

// A source for tests with no font behind it, at the font's em height E in pixels: every
// code from '!' to 0xFF is a box E/2 wide and E high with a hole inset by E/8 (two
// contours of lines, the hole running against the outside), standing on the baseline,
// lower-case letters reaching E/4 below it; the space is blank with an advance of E/2;
// any other code has no character. Advances are E/2 + E/8 rounded.
class TFakeGlyphOutlineSource : public TGlyphOutlineSource {
public:
    uint32_t GetGlyphOutline(const TFont& font, uint8_t code, TGlyphOutlineMetrics& metrics, uint8_t* buffer,
                             uint32_t bufferSize) override;
    int32_t Calls = 0;
};
