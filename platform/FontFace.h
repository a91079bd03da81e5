// Faces of the installed fonts, found by family name and style, and their glyphs as 8-bit
// coverage. Text arrives as Windows-1252 and is laid out without kerning: each character
// advances the pen by its own width, as Windows' plain text output does, so stored texts
// keep their line breaks and widths. Every lookup of a
// family goes through FindFontFile, so fonts added at run time join the same path.
#pragma once

#include "platform/Font.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Point sizes become pixels at this resolution.
constexpr int32_t kFontPixelsPerInch = 96;

// The em height in pixels that a font description asks for: a positive Size is points,
// converted at 96 dpi and rounded like the system's MulDiv (8 points are 11 pixels); a
// negative Size is a height in pixels, as negative Windows font heights are; 0 counts as
// the default of 10 points.
int32_t FontPixelSize(const TFont& font);

// The font file chosen for a family and style.
struct TFontFile {
    std::string Path;        // native path, UTF-8
    int32_t Index = 0;       // face inside the file
    AnsiString FamilyName;   // the family the file holds, Windows-1252
    bool Bold = false;       // the file's own weight is bold
    bool Italic = false;     // the file's own slant is italic or oblique

    bool operator==(const TFontFile&) const = default;
};

// The file the font matching finds for a family (Windows-1252) and TFontStyle bits:
// fonts the program added (FontRegistry.h) first, then the installed ones, where "Arial"
// finds Liberation Sans. False only when no font at all can be found.
bool FindFontFile(const AnsiString& family, uint8_t style, TFontFile& file);

// Forgets the cached faces and matches of a file (native path) that is no longer there for
// the lookup; faces handed out stay usable.
void ForgetFontFile(const std::string& path);

// How glyphs are rendered: one bit per pixel (coverage 0 or 255) or anti-aliased.
enum class TGlyphMode : uint8_t { Mono, AntiAliased };

// One rendered glyph: Width x Height coverage bytes, row after row, with its top-left at
// (X, Y) from the top-left of the text cell.
struct TGlyphCoverage {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    const uint8_t* Alpha = nullptr;
};

// Rendered text: Width x Height coverage bytes, row after row. The text cell (advance
// widths by ascent plus descent) has its top-left at (OriginX, OriginY) inside it; glyph
// pixels that overhang the cell widen the image instead of being cut.
struct TTextCoverage {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t OriginX = 0;
    int32_t OriginY = 0;
    std::vector<uint8_t> Alpha;

    uint8_t At(int32_t x, int32_t y) const { return Alpha[size_t(y) * size_t(Width) + size_t(x)]; }
};

// One face at one pixel size and style. Safe to use from several threads: every call
// takes the font module's lock.
class TFontFace {
public:
    ~TFontFace();
    TFontFace(const TFontFace&) = delete;
    TFontFace& operator=(const TFontFace&) = delete;

    const TFontFile& File() const { return file_; }
    int32_t PixelSize() const { return pixelSize_; }
    uint8_t Style() const { return style_; }
    // Pixels above and below the baseline; their sum is the height of a text line.
    int32_t CellHeight() const { return ascent_ + descent_; }

    // The sum of the characters' advance widths.
    int32_t TextWidth(const AnsiString& text);
    // Hands each glyph of the text to draw, left to right, under the font module's lock:
    // draw should be quick. Answers the sum of the advance widths in this mode.
    int32_t DrawGlyphs(const AnsiString& text, TGlyphMode mode, const std::function<void(const TGlyphCoverage&)>& draw);
    // The whole text as one coverage image.
    TTextCoverage RenderText(const AnsiString& text, TGlyphMode mode);

    struct TImpl;

private:
    friend struct TFontCache;
    TFontFace(const TFontFile& file, int32_t pixelSize, uint8_t style, std::unique_ptr<TImpl> impl);

    TFontFile file_;
    int32_t pixelSize_ = 0;
    uint8_t style_ = 0;
    int32_t ascent_ = 0;
    int32_t descent_ = 0;
    std::unique_ptr<TImpl> impl_;
};

// Larger em heights are cut to this, so a damaged size cannot ask for giant glyphs.
constexpr int32_t kMaxFontPixelSize = 4096;

// The face for a font description (name, size and the bold and italic bits), shared and
// cached per file, size and style. Null only when no font can be found or opened.
std::shared_ptr<TFontFace> GetFontFace(const TFont& font);
// The face of a given file at an em height in pixels; bold and italic that the file lacks
// are synthesised. Null when the file cannot be opened.
std::shared_ptr<TFontFace> GetFontFaceFromFile(const TFontFile& file, int32_t pixelSize, uint8_t style);
