#include "platform/GlyphOutline.h"

#include "platform/Charset.h"
#include "platform/FontFace.h"
#include "platform/FreeTypeLibrary.h"
#include "platform/LittleEndian.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace {

// ---- the native buffer ----

struct TOutlinePoint {
    int32_t X = 0;  // 16.16, y down
    int32_t Y = 0;
};

// Writes contours as the system does: a header, then records that group runs of lines,
// of quadratic pieces and of cubic pieces.
class TNativeWriter {
public:
    std::vector<uint8_t> Buffer;

    void BeginContour(TOutlinePoint start) {
        EndContour();
        contourAt_ = Buffer.size();
        AppendLE32(Buffer, 0);
        AppendLE32(Buffer, kTTPolygonType);
        PutPoint(start);
        open_ = true;
    }
    // Adds points to a record of the type, continuing the current one when it matches.
    void Add(uint16_t type, std::initializer_list<TOutlinePoint> points) {
        if (!open_) return;
        if (recordAt_ == 0 || recordType_ != type || recordCount_ + points.size() > 0xFFFF) {
            recordAt_ = Buffer.size();
            recordType_ = type;
            recordCount_ = 0;
            AppendLE16(Buffer, type);
            AppendLE16(Buffer, 0);
        }
        for (const TOutlinePoint& p : points) PutPoint(p);
        recordCount_ += points.size();
        PutLE16(Buffer.data() + recordAt_ + 2, uint16_t(recordCount_));
    }
    // A quadratic record must not continue over its own end point.
    void EndRecord() { recordAt_ = 0; }
    void EndContour() {
        if (!open_) return;
        PutLE32(Buffer.data() + contourAt_, uint32_t(Buffer.size() - contourAt_));
        open_ = false;
        recordAt_ = 0;
    }

private:
    void PutPoint(TOutlinePoint p) {
        AppendLE32(Buffer, uint32_t(p.X));
        AppendLE32(Buffer, uint32_t(p.Y));
    }
    size_t contourAt_ = 0;
    size_t recordAt_ = 0;
    uint16_t recordType_ = 0;
    size_t recordCount_ = 0;
    bool open_ = false;
};

uint32_t Deliver(const std::vector<uint8_t>& native, uint8_t* buffer, uint32_t bufferSize) {
    if (native.empty()) return 0;
    if (buffer && bufferSize >= native.size()) std::copy(native.begin(), native.end(), buffer);
    return uint32_t(native.size());
}

// ---- FreeType ----

// Outline faces are read apart from the text output's faces: these load unscaled and
// unhinted, and their lock is their own.
std::mutex& OutlineLock() {
    static std::mutex lock;
    return lock;
}

struct TOutlineLibrary {
    TFreeTypeLibrary Library;
    // File, face index, size and time of the file -> the open face.
    std::map<std::tuple<std::string, int32_t, uintmax_t, int64_t>, FT_Face> Faces;
    ~TOutlineLibrary() {
        for (auto& entry : Faces) FT_Done_Face(entry.second);
    }
    FT_Face Open(const TFontFile& file) {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(file.Path, ec);
        const auto time = std::filesystem::last_write_time(file.Path, ec);
        // A file replaced under the same name is opened anew.
        const auto key = std::make_tuple(file.Path, file.Index, ec ? 0 : size,
                                         ec ? 0 : int64_t(time.time_since_epoch().count()));
        if (auto it = Faces.find(key); it != Faces.end()) return it->second;
        FT_Face face = nullptr;
        if (!Library.Handle || FT_New_Face(Library.Handle, file.Path.c_str(), file.Index, &face) != 0) return nullptr;
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
            FT_Done_Face(face);
            return nullptr;
        }
        if (Faces.size() >= 32) {
            for (auto& entry : Faces) FT_Done_Face(entry.second);
            Faces.clear();
        }
        Faces[key] = face;
        return face;
    }
};

// Font units to 16.16 pixels, rounded half away from zero so that y and -y scale alike.
struct TScale {
    int64_t PixelSize = 1;
    int64_t UnitsPerEm = 1;
    int32_t operator()(FT_Pos v) const {
        const int64_t a = (v < 0 ? -int64_t(v) : int64_t(v)) * PixelSize * 65536;
        const int64_t r = (a + UnitsPerEm / 2) / UnitsPerEm;
        return int32_t(std::clamp<int64_t>(v < 0 ? -r : r, INT32_MIN, INT32_MAX));
    }
};

void WriteContours(const FT_Outline& outline, const TScale& scale, TNativeWriter& out) {
    int first = 0;
    for (int c = 0; c < outline.n_contours; ++c) {
        const int last = outline.contours[c];
        const int n = last - first + 1;
        if (n <= 0 || last >= outline.n_points) break;
        std::vector<TOutlinePoint> pts(static_cast<size_t>(n));
        std::vector<char> tags(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            pts[size_t(i)] = {scale(outline.points[first + i].x), -scale(outline.points[first + i].y)};
            tags[size_t(i)] = char(FT_CURVE_TAG(outline.tags[first + i]));
        }
        first = last + 1;
        int s = 0;
        while (s < n && tags[size_t(s)] != FT_CURVE_TAG_ON) ++s;
        TOutlinePoint start;
        std::vector<TOutlinePoint> seq;
        std::vector<char> seqTags;
        if (s < n) {
            start = pts[size_t(s)];
            for (int i = 1; i < n; ++i) {
                seq.push_back(pts[size_t((s + i) % n)]);
                seqTags.push_back(tags[size_t((s + i) % n)]);
            }
        } else if (tags[0] == FT_CURVE_TAG_CONIC) {
            // Only off-curve points: the contour starts between the last and the first.
            start = {int32_t((int64_t(pts.back().X) + pts[0].X) / 2), int32_t((int64_t(pts.back().Y) + pts[0].Y) / 2)};
            seq = pts;
            seqTags = tags;
        } else {
            continue;  // cubic control points alone mean nothing
        }
        // The contour closes on its start.
        seq.push_back(start);
        seqTags.push_back(FT_CURVE_TAG_ON);
        out.BeginContour(start);
        size_t i = 0;
        while (i < seq.size()) {
            if (seqTags[i] == FT_CURVE_TAG_ON) {
                out.Add(kTTPrimLine, {seq[i]});
                ++i;
            } else if (seqTags[i] == FT_CURVE_TAG_CONIC) {
                out.EndRecord();
                while (i < seq.size() && seqTags[i] == FT_CURVE_TAG_CONIC) out.Add(kTTPrimQSpline, {seq[i++]});
                if (i < seq.size()) out.Add(kTTPrimQSpline, {seq[i++]});
                out.EndRecord();
            } else {
                if (i + 2 >= seq.size() || seqTags[i + 1] != FT_CURVE_TAG_CUBIC) break;
                out.Add(kTTPrimCSpline, {seq[i], seq[i + 1], seq[i + 2]});
                i += 3;
            }
        }
        out.EndContour();
    }
}

class TFontGlyphOutlineSource : public TGlyphOutlineSource {
public:
    uint32_t GetGlyphOutline(const TFont& font, uint8_t code, TGlyphOutlineMetrics& metrics, uint8_t* buffer,
                             uint32_t bufferSize) override {
        metrics = {};
        TFontFile file;
        if (!FindFontFile(font.Name, font.Style, file)) return kGlyphOutlineError;
        std::lock_guard<std::mutex> guard(OutlineLock());
        static TOutlineLibrary library;
        FT_Face face = library.Open(file);
        if (!face) return kGlyphOutlineError;
        const FT_UInt index = FT_Get_Char_Index(face, AnsiCharToCodePoint(char(code)));
        if (index == 0) return kGlyphOutlineError;
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
            face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
            return kGlyphOutlineError;
        FT_GlyphSlot slot = face->glyph;
        FT_Outline& outline = slot->outline;
        FT_Pos advance = slot->metrics.horiAdvance;
        // What the file lacks of the style is made as the text output makes it.
        if ((font.Style & fsItalic) && !file.Italic) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(&outline, &shear);
        }
        if ((font.Style & fsBold) && !file.Bold) {
            const FT_Pos strength = face->units_per_EM / 24;
            FT_Outline_EmboldenXY(&outline, strength, strength);
            advance += strength;
        }
        const TScale scale{FontPixelSize(font), face->units_per_EM};
        metrics.CellIncX = int16_t(std::clamp<double>(
            std::nearbyint(double(advance) * double(scale.PixelSize) / double(scale.UnitsPerEm)), INT16_MIN, INT16_MAX));
        if (outline.n_contours <= 0 || outline.n_points <= 0) return 0;
        FT_BBox box;
        FT_Outline_Get_BBox(&outline, &box);
        metrics.OriginX = scale(box.xMin);
        metrics.OriginY = -scale(box.yMin);
        metrics.BlackBoxX = scale(box.xMax) - scale(box.xMin);
        metrics.BlackBoxY = scale(box.yMax) - scale(box.yMin);
        TNativeWriter writer;
        WriteContours(outline, scale, writer);
        writer.EndContour();
        return Deliver(writer.Buffer, buffer, bufferSize);
    }
};

TGlyphOutlineSource* currentSource = nullptr;

}  // namespace

TGlyphOutlineSource& CurrentGlyphOutlineSource() {
    static TFontGlyphOutlineSource fonts;
    return currentSource ? *currentSource : fonts;
}

void SetGlyphOutlineSource(TGlyphOutlineSource* source) { currentSource = source; }

uint32_t TFakeGlyphOutlineSource::GetGlyphOutline(const TFont& font, uint8_t code, TGlyphOutlineMetrics& metrics,
                                                  uint8_t* buffer, uint32_t bufferSize) {
    ++Calls;
    metrics = {};
    const int32_t em = FontPixelSize(font);
    const int32_t w = em / 2, inset = em / 8;
    if (code < ' ') return kGlyphOutlineError;
    metrics.CellIncX = int16_t(std::lround(em / 2.0 + em / 8.0));
    if (code == ' ') {
        metrics.CellIncX = int16_t(w);
        return 0;
    }
    const int32_t drop = (code >= 'a' && code <= 'z') ? em / 4 : 0;
    // y down: the top at -(em - drop), the bottom at drop.
    const int32_t top = -(em - drop), bottom = drop;
    auto pt = [](int32_t x, int32_t y) { return TOutlinePoint{x * 65536, y * 65536}; };
    TNativeWriter out;
    out.BeginContour(pt(0, top));
    out.Add(kTTPrimLine, {pt(w, top), pt(w, bottom), pt(0, bottom)});
    out.BeginContour(pt(inset, top + inset));
    out.Add(kTTPrimLine, {pt(inset, bottom - inset), pt(w - inset, bottom - inset), pt(w - inset, top + inset)});
    out.EndContour();
    metrics.BlackBoxX = w * 65536;
    metrics.BlackBoxY = em * 65536;
    metrics.OriginX = 0;
    metrics.OriginY = drop * 65536;
    return Deliver(out.Buffer, buffer, bufferSize);
}
