#include "graphics/VectorTextEffect.h"

#include "foundation/FileTools.h"
#include "foundation/OKFStream.h"
#include "graphics/Bitmap32.h"
#include "graphics/DrawingTools.h"
#include "graphics/VectorText.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cmath>

GC_IMPLEMENT_PLUGIN(TVectorTextEffect, TInterfacedPlugin)
GC_IMPLEMENT_PLUGIN(TSimpleZoomVectorTextEffect, TVectorTextEffect)
GC_IMPLEMENT_PLUGIN(TVectorTexteffectPropertyFrame, TPropertyEditorFrame)
GC_IMPLEMENT_CLASS(TComplexVectorTextEffect, TObject)

// ---- TVectorTextEffect ----

TVectorTextEffect::~TVectorTextEffect() { TVectorTextEffect::Done(); }

const ClassInfo* TVectorTextEffect::DefaultPropertyFrameClass() {
    return &TVectorTexteffectPropertyFrame::StaticClassInfo();
}

void TVectorTextEffect::Init(const TRect& r, TVectorText* text) {
    StartTime = -1;
    VectorText = text;
    Rect = r;
}

void TVectorTextEffect::GetChangedRect(TBitmap32&, TFixed x, TFixed y, int32_t time, bool, TFixedRect& changed) {
    if (StartTime == -1) StartTime = time;
    changed = TFixedRect{};
    if (!VectorText) return;
    const TFixedRect& b = VectorText->Bounds;
    changed = MakeFixedRect(b.Left + x, b.Top + y, b.Right + x, b.Bottom + y);
}

const ClassInfo* TVectorTextEffect::GetPropertyFrameClass() {
    const AnsiString name = GetPropertyFrameClassName();
    if (name.empty()) return DefaultPropertyFrameClass();
    const ClassInfo* cls = FindClass(name);
    if (!cls || !cls->InheritsFrom(TPropertyEditorFrame::StaticClassInfo())) return nullptr;
    return cls;
}

bool TVectorTextEffect::WriteData(TOKFStream& stream) {
    stream.WriteInteger(Duration);
    return true;
}

bool TVectorTextEffect::ReadData(TOKFStream& stream) {
    Duration = std::max(stream.ReadIntegerValue(), 0);
    return true;
}

void TVectorTextEffect::SaveToStream(TStream& stream) {
    TOKFStream c(&stream, okfRaw);
    WriteData(c);
    c.Close();
}

namespace {

// Reads with read() from a container over stream at its position, stamped as a text
// effect; False on any error.
template <class Read>
bool ReadEffectStream(TStream& stream, Read read) {
    try {
        TOKFStream c(&stream, okfRaw);
        c.Header.FileType = kTextEffectFileType;
        c.Header.ContentVersion = kTextEffectFileVersion;
        return read(c);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool TVectorTextEffect::LoadFromStream(TStream& stream) {
    return ReadEffectStream(stream, [&](TOKFStream& c) { return ReadData(c); });
}

// ---- TSimpleZoomVectorTextEffect ----

TSimpleZoomVectorTextEffect::TSimpleZoomVectorTextEffect() { Duration = 2000; }

namespace {

TColor32 WithAlpha(TColor32 color, uint32_t alpha) { return (color & 0x00FFFFFFu) | (alpha << 24); }

// alpha × (1 − zf), cut toward zero.
uint32_t FadedAlpha(uint32_t alpha, TFixed zf) {
    return static_cast<uint32_t>((static_cast<int64_t>(FixedOne - zf) * alpha) >> 16);
}

// The scale of one axis at zoom amount zf: from 1 toward the far zoom.
TFixed AxisScale(TFixed zoom, TFixed zf) {
    if (zoom < FixedOne) return std::min(FixedOne, FixedMul(FixedOne - zoom, FixedOne - zf) + zoom);
    return std::max(FixedOne, FixedMul(zoom, zf));
}

void Unite(TFixedRect& into, const TFixedRect& r, bool& first) {
    if (first) {
        into = r;
        first = false;
        return;
    }
    into.Left = std::min(into.Left, r.Left);
    into.Top = std::min(into.Top, r.Top);
    into.Right = std::max(into.Right, r.Right);
    into.Bottom = std::max(into.Bottom, r.Bottom);
}

}  // namespace

void TSimpleZoomVectorTextEffect::GetChangedRect(TBitmap32& target, TFixed x, TFixed y, int32_t time,
                                                 bool measureOnly, TFixedRect& changed) {
    TVectorTextEffect::GetChangedRect(target, x, y, time, measureOnly, changed);
    changed = TFixedRect{};
    if (!VectorText) return;
    TVectorText& text = *VectorText;
    const int32_t overlap = std::clamp(Overlap, 1, kMaxOverlap);
    const TFixed zoomX = std::clamp(ZoomX, 0, kMaxZoom);
    const TFixed zoomY = std::clamp(ZoomY, 0, kMaxZoom);
    const long double n = static_cast<long double>(text.Chars.size());
    const long double step = Duration / (n + overlap);
    const long double e = static_cast<long double>(time) - StartTime;
    const TFixed targetW = target.Width() * FixedOne;
    const TFixed targetH = target.Height() * FixedOne;
    bool first = true;

    for (size_t i = 0; i < text.Chars.size(); ++i) {
        TCharVector& c = *text.Chars[i];
        if (!c.Visible) continue;
        const long double begin = static_cast<long double>(i) * step;
        long double z = 0;
        if (e < begin) {
            if (Appear) continue;
        } else if (e < (static_cast<long double>(i) + overlap) * step) {
            const long double local = std::max(e - std::nearbyint(begin), 0.0L);
            z = step > 0 ? std::min(local / (overlap * step), 1.0L) : 1.0L;
            if (Appear) z = std::max(1 - z, 0.0L);
        } else if (!Appear) {
            continue;
        }
        const TFixed zf = static_cast<TFixed>(std::nearbyint(z * FixedOne));
        const TFixed top = y + c.Y + text.LineHeight - c.Height() + c.Metrics.OriginY;

        const TGlyphCacheEntry& cached = text.GlyphCache[c.CharCode];
        if (zf == 0 && cached.Bitmap) {
            const TFixed left = x + c.X + c.Metrics.OriginX + cached.OffsetX;
            const TFixed ctop = top + cached.OffsetY;
            const TFixedRect r = MakeFixedRect(left, ctop, left + cached.Bitmap->Width() * FixedOne,
                                               ctop + cached.Bitmap->Height() * FixedOne);
            if (!measureOnly) cached.Bitmap->DrawTo(target, left / FixedOne, ctop / FixedOne);
            Unite(changed, r, first);
            continue;
        }
        if (!c.Polygon) continue;

        const TFixed sx = AxisScale(zoomX, zf);
        const TFixed sy = AxisScale(zoomY, zf);
        const TFixed cx = x + c.X + c.HalfWidth + c.Metrics.OriginX;
        const TFixed cy = top + c.HalfHeight;
        const TFixed halfW = FixedMul(c.Width(), sx) / 2;
        const TFixed halfH = FixedMul(c.Height(), sy) / 2;
        const TFixedRect r = MakeFixedRect(cx - halfW - 2 * FixedOne, cy - halfH - 2 * FixedOne,
                                           cx + halfW + 2 * FixedOne, cy + halfH + 2 * FixedOne);
        if (targetW <= r.Left || r.Right < 0 || targetH <= r.Top || r.Bottom < 0) continue;

        if (!measureOnly) {
            c.RestorePoints();
            TVectorTextPolygon32& polygon = *c.Polygon;
            if (sx != FixedOne || sy != FixedOne) {
                ScalePolyPolygon(sx, sy, polygon.Points);
                polygon.Normals.clear();
            }
            polygon.Antialiased = text.Antialiased;
            polygon.Offset(cx, cy);
            // Each colour fades with the zoom from its own alpha.
            text.DrawPolygonByMode(polygon, target, WithAlpha(text.Color, FadedAlpha(text.Color >> 24, zf)),
                                   WithAlpha(text.OutlineColor, FadedAlpha(text.OutlineColor >> 24, zf)),
                                   static_cast<int32_t>(FadedAlpha(250, zf)));
        }
        Unite(changed, r, first);
    }
}

bool TSimpleZoomVectorTextEffect::WriteData(TOKFStream& stream) {
    if (!TVectorTextEffect::WriteData(stream)) return false;
    stream.WriteInteger(Overlap);
    stream.WriteInteger(ZoomX);
    stream.WriteInteger(ZoomY);
    return true;
}

bool TSimpleZoomVectorTextEffect::ReadData(TOKFStream& stream) {
    if (!TVectorTextEffect::ReadData(stream)) return false;
    Overlap = std::clamp(stream.ReadIntegerValue(), 1, kMaxOverlap);
    ZoomX = std::clamp(stream.ReadIntegerValue(), 0, kMaxZoom);
    ZoomY = std::clamp(stream.ReadIntegerValue(), 0, kMaxZoom);
    return true;
}

// ---- TVectorTexteffectPropertyFrame ----

const std::vector<TPropertyFrameControl>& TVectorTexteffectPropertyFrame::Layout() {
    static const std::vector<TPropertyFrameControl> layout = {
        {"Label", "DurationLabel", "Dauer", 0, 0, 0, 0, nullptr},
        {"TBrixSpinEdit", "DurationEdit", "", 0.01, 9999, 0.1, 1.0, nullptr},
        {"Label", "UnitLabel", "s", 0, 0, 0, 0, nullptr},
    };
    return layout;
}

// ---- TComplexVectorTextEffect ----

void TComplexVectorTextEffect::Assign(const TComplexVectorTextEffect& source) {
    TMemoryStream m;
    source.SaveToStream(m);
    m.SetPosition(0);
    LoadFromStream(m);
}

std::unique_ptr<TComplexVectorTextEffect> TComplexVectorTextEffect::Clone() const {
    std::unique_ptr<TComplexVectorTextEffect> copy;
    if (TObject* (*make)() = ClassType().Factory) {
        TObject* made = make();
        copy.reset(dynamic_cast<TComplexVectorTextEffect*>(made));
        if (!copy) delete made;
    }
    if (copy) copy->Assign(*this);
    return copy;
}

bool TComplexVectorTextEffect::WriteData(TOKFStream& stream) const {
    stream.WriteString(Name);
    for (TVectorTextEffect* effect : {FirstEffect.get(), SecondEffect.get()}) {
        stream.BeginWriteBlock();
        if (effect) {
            stream.WriteString(effect->ClassName());
            effect->WriteData(stream);
        }
        stream.EndWriteBlock();
    }
    return true;
}

void TComplexVectorTextEffect::SaveToStream(TStream& stream) const {
    TOKFStream c(&stream, okfRaw);
    WriteData(c);
    c.Close();
}

bool TComplexVectorTextEffect::SaveToFile(const AnsiString& fileName) const {
    try {
        TMemoryStream m;
        {
            TOKFStream c(&m, okfCreate);
            c.Header.FileType = kTextEffectFileType;
            c.Header.ContentVersion = kTextEffectFileVersion;
            const int64_t start = c.BeginChunk();
            WriteData(c);
            c.EndChunk(start, kTextEffectChunkType);
            c.Close();
        }
        m.SaveToFile(fileName);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TComplexVectorTextEffect::ReadData(TOKFStream& stream) {
    FirstEffect.reset();
    SecondEffect.reset();
    bool ok = true;
    try {
        Name = stream.ReadStringValue();
        for (TPluginPtr<TVectorTextEffect>* slot : {&FirstEffect, &SecondEffect}) {
            TReadBlockGuard guard(stream);
            const uint32_t length = stream.BeginReadBlock();
            const int64_t blockEnd = stream.GetPosition() + length;
            if (length > 0) {
                const AnsiString className = stream.ReadStringValue();
                const ClassInfo* cls = FindClass(className);
                if (cls && cls->InheritsFrom(TVectorTextEffect::StaticClassInfo())) {
                    if (TPluginPtr<TVectorTextEffect> owned = CreateAs<TVectorTextEffect, TPluginDeleter>(*cls)) {
                        bool read = false;
                        try {
                            // Values are not checked against the block: data read past
                            // its end belongs to what follows.
                            read = owned->ReadData(stream) && stream.GetPosition() <= blockEnd;
                        } catch (const std::exception&) {
                            read = false;
                        }
                        if (read)
                            *slot = std::move(owned);
                        else
                            ok = false;
                    }
                }
            }
            stream.EndReadBlock();
        }
    } catch (const std::exception&) {
        return false;
    }
    return ok;
}

bool TComplexVectorTextEffect::LoadFromStream(TStream& stream) {
    return ReadEffectStream(stream, [&](TOKFStream& c) { return ReadData(c); });
}

bool TComplexVectorTextEffect::LoadFromFileStream(TStream& stream) {
    try {
        TOKFStream c(&stream, okfRead);
        if (c.Header.FileType != kTextEffectFileType || c.Header.ContentVersion != kTextEffectFileVersion)
            return false;
        bool read = false;
        c.SeekToFirstChunk();
        for (uint32_t i = 0; i < c.ChunkCount && !c.Eof(); ++i) {
            const int64_t start = c.GetPosition();
            TChunkHeader h;
            c.ReadChunkHeader(h);
            if (h.ChunkType == kTextEffectChunkType && ReadData(c)) read = true;
            c.SetPosition(start + h.Size);
        }
        return read;
    } catch (const std::exception&) {
        return false;
    }
}

bool TComplexVectorTextEffect::LoadFromFile(const AnsiString& fileName) {
    TMemoryStream m;
    try {
        m.LoadFromFile(fileName);
    } catch (const std::exception&) {
        return false;
    }
    if (!LoadFromFileStream(m)) return false;
    const size_t slash = fileName.find_last_of("\\/:");
    Name = RemoveFileExt(slash == AnsiString::npos ? fileName : fileName.substr(slash + 1));
    return true;
}

// ---- registration ----

void InitializeVectorTextEffects(TPlugins& plugins) { plugins.Register<TSimpleZoomVectorTextEffect>(); }

void FinalizeVectorTextEffects(TPlugins& plugins) { plugins.Unregister<TSimpleZoomVectorTextEffect>(); }
