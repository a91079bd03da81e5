#include "platform/FontFace.h"

#include "platform/Charset.h"
#include "platform/FontRegistry.h"
#include "platform/FreeTypeLibrary.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace {

// FreeType faces and fontconfig's matching are not safe to share between threads; one
// lock serialises every call of this module. It is recursive because the cache frees
// faces while it holds the lock, and freeing a face takes it too.
std::recursive_mutex& FontLock() {
    static std::recursive_mutex lock;
    return lock;
}

// Faces keep the library alive, so cached faces may outlive the static below.
std::shared_ptr<TFreeTypeLibrary> FreeTypeLibrary() {
    static std::shared_ptr<TFreeTypeLibrary> library = std::make_shared<TFreeTypeLibrary>();
    return library;
}

constexpr uint8_t kStyleMask = fsBold | fsItalic;

int32_t Ceil26_6(FT_Pos v) { return static_cast<int32_t>((v + 63) >> 6); }
int32_t Round26_6(FT_Pos v) { return static_cast<int32_t>((v + 32) >> 6); }

AnsiString UpperAscii(AnsiString s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int32_t FontPixelSize(const TFont& font) {
    int64_t px;
    if (font.Size < 0)
        px = -int64_t(font.Size);
    else {
        const int64_t points = font.Size == 0 ? 10 : font.Size;
        px = (points * kFontPixelsPerInch + 36) / 72;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(px, 1, kMaxFontPixelSize));
}

// ---- faces ----

struct TFontFace::TImpl {
    struct TGlyph {
        int32_t Left = 0;  // from the pen position
        int32_t Top = 0;   // from the baseline, upwards
        int32_t Width = 0;
        int32_t Height = 0;
        int32_t Advance = 0;
        std::vector<uint8_t> Alpha;
    };

    std::shared_ptr<TFreeTypeLibrary> Library;
    FT_Face Face = nullptr;
    bool Embolden = false;
    bool Oblique = false;
    std::unordered_map<char32_t, TGlyph> Glyphs[2];  // by TGlyphMode

    ~TImpl() {
        if (Face) FT_Done_Face(Face);
    }

    const TGlyph& Glyph(char32_t cp, TGlyphMode mode);
};

const TFontFace::TImpl::TGlyph& TFontFace::TImpl::Glyph(char32_t cp, TGlyphMode mode) {
    auto& cache = Glyphs[mode == TGlyphMode::Mono ? 0 : 1];
    if (auto it = cache.find(cp); it != cache.end()) return it->second;
    TGlyph& g = cache[cp];
    // A character the face lacks shows its missing-glyph box, as the system's text does.
    const FT_UInt index = FT_Get_Char_Index(Face, cp);
    // Text without anti-aliasing takes FreeType's own hinter: the bytecode hints of the
    // metric-compatible faces widen round glyphs to their whole advance at small sizes,
    // so that "2000" runs together.
    const FT_Int32 flags = mode == TGlyphMode::Mono ? FT_LOAD_TARGET_MONO | FT_LOAD_FORCE_AUTOHINT : FT_LOAD_TARGET_NORMAL;
    if (FT_Load_Glyph(Face, index, flags) != 0) return g;
    FT_GlyphSlot slot = Face->glyph;
    if (Oblique) FT_GlyphSlot_Oblique(slot);
    if (Embolden) FT_GlyphSlot_Embolden(slot);
    g.Advance = Round26_6(slot->advance.x);
    if (FT_Render_Glyph(slot, mode == TGlyphMode::Mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
        return g;
    const FT_Bitmap& bm = slot->bitmap;
    g.Left = slot->bitmap_left;
    g.Top = slot->bitmap_top;
    g.Width = static_cast<int32_t>(bm.width);
    g.Height = static_cast<int32_t>(bm.rows);
    g.Alpha.assign(size_t(g.Width) * size_t(g.Height), 0);
    const int pitch = bm.pitch < 0 ? -bm.pitch : bm.pitch;
    for (int32_t y = 0; y < g.Height; ++y) {
        const uint8_t* row = bm.buffer + size_t(y) * size_t(pitch);
        uint8_t* out = g.Alpha.data() + size_t(y) * size_t(g.Width);
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (int32_t x = 0; x < g.Width; ++x) out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.num_grays == 256) {
            std::copy(row, row + g.Width, out);
        } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.num_grays > 1) {
            for (int32_t x = 0; x < g.Width; ++x) out[x] = uint8_t(row[x] * 255 / (bm.num_grays - 1));
        }
    }
    return g;
}

TFontFace::TFontFace(const TFontFile& file, int32_t pixelSize, uint8_t style, std::unique_ptr<TImpl> impl)
    : file_(file), pixelSize_(pixelSize), style_(style), impl_(std::move(impl)) {
    FT_Face face = impl_->Face;
    const TT_OS2* os2 = FT_IS_SCALABLE(face) ? static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)) : nullptr;
    if (os2 && face->units_per_EM > 0 && os2->usWinAscent + os2->usWinDescent > 0) {
        // Windows' line height, which stored text layouts assume: the face's Windows
        // ascent and descent, rounded up so no glyph of the face is cut.
        const int64_t em = face->units_per_EM;
        ascent_ = static_cast<int32_t>((int64_t(os2->usWinAscent) * pixelSize + em - 1) / em);
        descent_ = static_cast<int32_t>((int64_t(os2->usWinDescent) * pixelSize + em - 1) / em);
    } else {
        ascent_ = Ceil26_6(face->size->metrics.ascender);
        descent_ = Ceil26_6(-face->size->metrics.descender);
    }
}

TFontFace::~TFontFace() {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    impl_.reset();
}

int32_t TFontFace::TextWidth(const AnsiString& text) {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    int64_t width = 0;
    for (char c : text) width += impl_->Glyph(AnsiCharToCodePoint(c), TGlyphMode::Mono).Advance;
    return static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX));
}

int32_t TFontFace::DrawGlyphs(const AnsiString& text, TGlyphMode mode,
                              const std::function<void(const TGlyphCoverage&)>& draw) {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    int64_t pen = 0;
    for (char c : text) {
        if (pen > INT32_MAX) break;  // the rest lies beyond any bitmap
        const TImpl::TGlyph& g = impl_->Glyph(AnsiCharToCodePoint(c), mode);
        if (g.Width > 0 && g.Height > 0)
            draw(TGlyphCoverage{static_cast<int32_t>(pen + g.Left), ascent_ - g.Top, g.Width, g.Height,
                                g.Alpha.data()});
        pen += g.Advance;
    }
    return static_cast<int32_t>(std::min<int64_t>(pen, INT32_MAX));
}

TTextCoverage TFontFace::RenderText(const AnsiString& text, TGlyphMode mode) {
    std::vector<TGlyphCoverage> glyphs;
    std::vector<std::vector<uint8_t>> pixels;
    const int32_t width = DrawGlyphs(text, mode, [&](const TGlyphCoverage& g) {
        glyphs.push_back(g);
        pixels.emplace_back(g.Alpha, g.Alpha + size_t(g.Width) * size_t(g.Height));
    });
    int32_t left = 0, top = 0, right = width, bottom = CellHeight();
    for (const TGlyphCoverage& g : glyphs) {
        left = std::min(left, g.X);
        top = std::min(top, g.Y);
        right = std::max(right, g.X + g.Width);
        bottom = std::max(bottom, g.Y + g.Height);
    }
    TTextCoverage out;
    out.Width = right - left;
    out.Height = bottom - top;
    out.OriginX = -left;
    out.OriginY = -top;
    out.Alpha.assign(size_t(out.Width) * size_t(out.Height), 0);
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const TGlyphCoverage& g = glyphs[i];
        for (int32_t y = 0; y < g.Height; ++y)
            for (int32_t x = 0; x < g.Width; ++x) {
                const size_t row = size_t(g.Y + y + out.OriginY) * size_t(out.Width);
                uint8_t& a = out.Alpha[row + size_t(g.X + x + out.OriginX)];
                a = std::max(a, pixels[i][size_t(y) * size_t(g.Width) + size_t(x)]);
            }
    }
    return out;
}

// ---- look-up and cache ----

struct TFontCache {
    // Family and style bits -> the file the matching chose.
    std::map<std::pair<AnsiString, uint8_t>, TFontFile> Files;
    // File, face index, pixel size and style bits -> the open face.
    std::map<std::tuple<std::string, int32_t, int32_t, uint8_t>, std::shared_ptr<TFontFace>> Faces;

    // Our own font configuration, not the library's process-wide default: its fonts can
    // be extended without touching other users of the library, and it is freed at exit.
    FcConfig* Config = nullptr;

    ~TFontCache() {
        if (Config) FcConfigDestroy(Config);
    }

    static TFontCache& Instance() {
        static TFontCache cache;
        return cache;
    }

    bool FindFile(const AnsiString& family, uint8_t style, TFontFile& file);
    std::shared_ptr<TFontFace> Open(const TFontFile& file, int32_t pixelSize, uint8_t style);
};

bool TFontCache::FindFile(const AnsiString& family, uint8_t style, TFontFile& file) {
    // Fonts the program added go before the installed ones and are never cached here:
    // removing them must take effect at once.
    if (FindAddedFont(family, style, file)) return true;
    const auto key = std::make_pair(UpperAscii(family), uint8_t(style & kStyleMask));
    if (auto it = Files.find(key); it != Files.end()) {
        file = it->second;
        return true;
    }
    if (!Config) Config = FcInitLoadConfigAndFonts();
    if (!Config) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    const std::string name = AnsiToUtf8(family);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, (style & fsBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, (style & fsItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(Config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(Config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* path = nullptr;
    bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (found) {
        TFontFile f;
        f.Path = reinterpret_cast<const char*>(path);
        int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        FcChar8* matchedFamily = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch && matchedFamily)
            f.FamilyName = Utf8ToAnsi(reinterpret_cast<const char*>(matchedFamily));
        f.Index = index;
        f.Bold = weight >= FC_WEIGHT_DEMIBOLD;
        f.Italic = slant != FC_SLANT_ROMAN;
        Files[key] = f;
        file = f;
    }
    FcPatternDestroy(match);
    return found;
}

std::shared_ptr<TFontFace> TFontCache::Open(const TFontFile& file, int32_t pixelSize, uint8_t style) {
    pixelSize = std::clamp<int32_t>(pixelSize, 1, kMaxFontPixelSize);
    style &= kStyleMask;
    const auto key = std::make_tuple(file.Path, file.Index, pixelSize, style);
    if (auto it = Faces.find(key); it != Faces.end()) return it->second;

    auto impl = std::make_unique<TFontFace::TImpl>();
    impl->Library = FreeTypeLibrary();
    if (!impl->Library->Handle) return nullptr;
    if (FT_New_Face(impl->Library->Handle, file.Path.c_str(), file.Index, &impl->Face) != 0) {
        impl->Face = nullptr;
        return nullptr;
    }
    FT_Face face = impl->Face;
    if (FT_IS_SCALABLE(face)) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)) != 0) return nullptr;
    } else {
        // A bitmap font: the strike nearest to the asked height.
        if (face->num_fixed_sizes <= 0) return nullptr;
        int best = 0;
        for (int i = 1; i < face->num_fixed_sizes; ++i)
            if (std::abs(face->available_sizes[i].height - pixelSize) <
                std::abs(face->available_sizes[best].height - pixelSize))
                best = i;
        if (FT_Select_Size(face, best) != 0) return nullptr;
    }
    // What the file lacks of the style is synthesised.
    impl->Embolden = (style & fsBold) && !file.Bold;
    impl->Oblique = (style & fsItalic) && !file.Italic;

    // Faces nobody else holds make room when the cache grows large.
    if (Faces.size() >= 64)
        std::erase_if(Faces, [](const auto& entry) { return entry.second.use_count() == 1; });
    std::shared_ptr<TFontFace> result(new TFontFace(file, pixelSize, style, std::move(impl)));
    Faces[key] = result;
    return result;
}

void ForgetFontFile(const std::string& path) {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    TFontCache& cache = TFontCache::Instance();
    std::erase_if(cache.Faces, [&](const auto& entry) { return std::get<0>(entry.first) == path; });
    std::erase_if(cache.Files, [&](const auto& entry) { return entry.second.Path == path; });
}

bool FindFontFile(const AnsiString& family, uint8_t style, TFontFile& file) {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    return TFontCache::Instance().FindFile(family, style, file);
}

std::shared_ptr<TFontFace> GetFontFaceFromFile(const TFontFile& file, int32_t pixelSize, uint8_t style) {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    return TFontCache::Instance().Open(file, pixelSize, style);
}

std::shared_ptr<TFontFace> GetFontFace(const TFont& font) {
    std::lock_guard<std::recursive_mutex> guard(FontLock());
    TFontCache& cache = TFontCache::Instance();
    TFontFile file;
    if (!cache.FindFile(font.Name, font.Style, file)) return nullptr;
    return cache.Open(file, FontPixelSize(font), font.Style);
}
