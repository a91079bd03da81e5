#include "objects/TextSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowProperties.h"
#include "document/Variables.h"
#include "foundation/Benchmark.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"
#include "foundation/SlideShowGlobals.h"
#include "graphics/DrawingTools.h"
#include "platform/FontFace.h"

#include <algorithm>
#include <cmath>

GC_IMPLEMENT_PLUGIN(TSimpleTextSlideShowObject, TPreviewEditorSlideShowObject)
GC_IMPLEMENT_PLUGIN(TTextSlideShowObject, TSimpleTextSlideShowObject)

namespace {

// The screen's resolution; fonts are designed for 96 pixels per inch.
constexpr int32_t kScreenPixelsPerInch = 96;

TRect OuterRect(const TFixedRect& r) { return OuterPixelRect(r); }
TFixed ToFixed(int64_t pixels) { return SaturatedFixed(pixels); }

// A block holding the object's data, or nothing when there is no object.
template <class T>
void WriteOptionalBlock(TOKFStreamWinTypes& stream, T* object) {
    stream.BeginWriteBlock();
    if (object) object->WriteData(stream);
    stream.EndWriteBlock();
}

// The mirror image: the object made by make() when the block holds anything.
template <class Make, class Read>
bool ReadOptionalBlock(TOKFStreamWinTypes& stream, Make make, Read read) {
    bool ok = true;
    if (stream.BeginReadBlock() > 0) {
        make();
        ok = read();
    }
    stream.EndReadBlock();
    return ok;
}

}  // namespace

void WriteVectorTextProperties(TOKFStreamWinTypes& stream, const TVectorText& text) {
    stream.WriteFont(&text.Font);
    stream.WriteCardinal(text.Color);
    stream.WriteCardinal(text.OutlineColor);
    stream.WriteByte(text.DrawMode);
    stream.WriteByte(text.Alignment);
    stream.WriteBoolean(text.Antialiased);
}

void ReadVectorTextProperties(TOKFStreamWinTypes& stream, TVectorText& text) {
    std::unique_ptr<TFont> font;
    stream.ReadFont(font);
    if (font) text.Font = *font;
    text.Color = stream.ReadCardinalValue();
    text.OutlineColor = stream.ReadCardinalValue();
    text.SetDrawMode(std::min<uint8_t>(stream.ReadByteValue(), vdmDropShadow));
    const uint8_t alignment = stream.ReadByteValue();
    text.SetAlignment(alignment > 2 ? 0 : alignment);
    text.Antialiased = stream.ReadBooleanValue();
}

void AssignVectorTextProperties(TVectorText& text, const TVectorText& from) {
    text.Font = from.Font;
    text.Color = from.Color;
    text.OutlineColor = from.OutlineColor;
    text.SetDrawMode(from.DrawMode);
    text.SetAlignment(from.Alignment);
    text.Antialiased = from.Antialiased;
}

// ---- TSimpleTextSlideShowObject ----

TSimpleTextSlideShowObject::TSimpleTextSlideShowObject() : VectorText(std::make_unique<TVectorText>()) {
    VectorText->Font.Name = "Arial";
    VectorText->Font.Size = 20;
}

TSimpleTextSlideShowObject::~TSimpleTextSlideShowObject() = default;

void TSimpleTextSlideShowObject::SetText(const AnsiString& value) {
    if (value == Text) return;
    Text = value;
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetLayout(uint8_t value) {
    if (value == Layout) return;
    Layout = value;
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetFont(const TFont& font) {
    VectorText->Font = font;
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetColor(TColor32 value) {
    VectorText->Color = value;
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetOutlineColor(TColor32 value) {
    VectorText->OutlineColor = value;
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetDrawMode(uint8_t value) {
    VectorText->SetDrawMode(value);
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetAlignment(uint8_t value) {
    VectorText->SetAlignment(value);
    DoChange(ocVisual);
}

void TSimpleTextSlideShowObject::SetRelativeRect(const TDoubleRect& r) {
    RelativeRect = r;
    if (auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get())) h->Rect = TRect{};
    DoChange(ocVisual);
}

TFixedRect TSimpleTextSlideShowObject::GetTextRect(int32_t width, int32_t height) const {
    const TFixedRect whole = MakeFixedRect(0, 0, ToFixed(width), ToFixed(height));
    const bool measured = !(TextBounds == TFixedRect{});
    const TFixed h = TFixed(int64_t(TextBounds.Bottom) - TextBounds.Top);
    switch (Layout) {
        case tlMiddle:
            if (!measured) return whole;
            return MakeFixedRect(0, TFixed((int64_t(whole.Bottom) - h) / 2), whole.Right, whole.Bottom);
        case tlBottom:
            if (!measured) return whole;
            return MakeFixedRect(0, TFixed(int64_t(whole.Bottom) - h), whole.Right, whole.Bottom);
        case tlRelativeRect: {
            TDoubleRect rel = RelativeRect;
            if (rel.Right == rel.Left && rel.Bottom == rel.Top) rel = TDoubleRect{0, 0, 1, 1};
            return FixedRectFromRect(RelToAbsRect(rel, TRect{0, 0, width, height}));
        }
        default:
            // Layouts beyond the known ones use the whole target.
            return whole;
    }
}

int32_t TSimpleTextSlideShowObject::GetScaledFontHeight(int32_t width, int32_t height) const {
    const long double rw = static_cast<long double>(width) / kReferenceWidth;
    const long double rh = static_cast<long double>(height) / kReferenceHeight;
    const long double designed = -static_cast<long double>(FontPixelSize(VectorText->Font));
    const long double scaled = designed * std::max(rw, rh) * 96 / kScreenPixelsPerInch;
    return SaturateInt32(static_cast<int64_t>(std::nearbyint(scaled)));
}

template <class Work>
auto TSimpleTextSlideShowObject::WithScaledFont(const TBitmap32& target, Work work) {
    const int32_t saved = VectorText->Font.Size;
    // A height of 0 would ask for the default font size.
    VectorText->Font.Size = std::min(GetScaledFontHeight(target.Width(), target.Height()), -1);
    try {
        auto result = work(-VectorText->Font.Size);
        VectorText->Font.Size = saved;
        return result;
    } catch (...) {
        VectorText->Font.Size = saved;
        throw;
    }
}

bool TSimpleTextSlideShowObject::PrepareText(TBitmap32& target) {
    return WithScaledFont(target, [&](int32_t pixelHeight) {
        VectorText->DoubleFill = pixelHeight < 10;
        AnsiString expanded;
        ReplaceVariables(Plugins, this, Text, expanded);
        // Glyphs built at another height (the editor's, then the player's) must go even
        // when the text itself is unchanged.
        VectorText->ClearGlyphCache();
        VectorText->SetText(expanded);
        TextBounds = TFixedRect{};
        TFixedRect bounds;
        VectorText->DrawInRect(GetTextRect(target), nullptr, bounds, true);
        if (bounds.Left > 0) {
            bounds.Right -= bounds.Left;
            bounds.Left = 0;
        }
        if (bounds.Top > 0) {
            bounds.Bottom -= bounds.Top;
            bounds.Top = 0;
        }
        TextBounds = bounds;
        if (pixelHeight >= 10 && ShowPropertiesOf(GetSlideShow()).StretchQuality != 0) VectorText->LayoutGlyphs();
        return true;
    });
}

void TSimpleTextSlideShowObject::AddStep(IPlayerServices* player, int32_t step, int32_t own, const char* name,
                                         int32_t defaultTime) {
    if (!initializationList_) return;
    if (!PreparationStep::Requests(step, own, initializationList_->CurrentStep)) return;
    int32_t estimate = defaultTime;
    if (player)
        estimate = player->GetBenchmark().EstimateTime(name, TIntegerBenchmarkValue::CreateValue(0), defaultTime);
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(own, estimate, own));
}

void TSimpleTextSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TPreviewEditorSlideShowObject::BuildInitializationSteps(player, step);
    AddStep(player, step, PreparationStep::LayOutText, BenchmarkNames::ITxt, BenchmarkDefaults::ITxt);
}

bool TSimpleTextSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    const bool result = TPreviewEditorSlideShowObject::ExecuteInitializationStep(player, step);
    if (step != PreparationStep::LayOutText) return result;
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (!back) return false;
    try {
        return TimedInitializationStep(player, BenchmarkNames::ITxt, TIntegerBenchmarkValue::CreateValue(0),
                                       [&] { return PrepareText(*back); });
    } catch (const std::exception&) {
        return false;
    }
}

int32_t TSimpleTextSlideShowObject::Play(IPlayerServices* player, bool final) {
    const int32_t result = TPreviewEditorSlideShowObject::Play(player, final);
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (!back) return result;
    const TFixedRect area = GetTextRect(*back);
    ClearUpdateRect();
    TFixedRect bounds;
    VectorText->DrawInRect(area, back, bounds, true);
    if (!final) SaveBackground(OuterRect(bounds), player);
    VectorText->DrawInRect(area, back, bounds, false);
    AddUpdateRect(OuterRect(bounds));
    return result;
}

bool TSimpleTextSlideShowObject::DrawTo(TBitmap32& target, bool) {
    TFixedRect bounds;
    VectorText->DrawInRect(GetTextRect(target), &target, bounds, false);
    return true;
}

bool TSimpleTextSlideShowObject::Prepare(TBitmap32& target) {
    Prepared = PrepareText(target);
    CreateEditorHelper();
    return Prepared;
}

void TSimpleTextSlideShowObject::Unprepare() {
    TPreviewEditorSlideShowObject::Unprepare();
    VectorText->ClearGlyphCache();
    Prepared = false;
}

void TSimpleTextSlideShowObject::Reset() {
    TPreviewEditorSlideShowObject::Reset();
    VectorText->ClearGlyphCache();
}

void TSimpleTextSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TPreviewEditorSlideShowObject::AssignObject(source);
    auto* s = dynamic_cast<const TSimpleTextSlideShowObject*>(&source);
    if (!s || s == this) return;
    SetText(s->Text);
    AssignVectorTextProperties(*VectorText, *s->VectorText);
    DoChange(ocVisual);
    SetLayout(s->Layout);
    SetRelativeRect(s->RelativeRect);
}

bool TSimpleTextSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TPreviewEditorSlideShowObject::WriteData(stream)) return false;
    try {
        stream.WriteString(Text);
        WriteVectorTextProperties(stream, *VectorText);
        stream.WriteByte(Layout);
        stream.WriteDoubleRect(RelativeRect);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSimpleTextSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TPreviewEditorSlideShowObject::ReadData(stream)) return false;
    try {
        Text = stream.ReadStringValue();
        ReadVectorTextProperties(stream, *VectorText);
        DoChange(ocVisual);
        SetLayout(stream.ReadByteValue());
        RelativeRect = stream.ReadDoubleRectValue();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- editor ----

void TSimpleTextSlideShowObject::CreateEditorHelper() {
    if (!EditorHelper) EditorHelper = std::make_unique<TMoveRectPreviewEditorHelper>();
}

TMoveRectPreviewEditorHelper* TSimpleTextSlideShowObject::LayoutHelper(const TPreviewEditorMouseInfo& info) {
    if (Layout != tlRelativeRect || !info.Bitmap) return nullptr;
    CreateEditorHelper();
    auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (h && h->Rect.IsEmpty()) h->Rect = OuterRect(GetTextRect(*info.Bitmap));
    return h;
}

bool TSimpleTextSlideShowObject::EditorMouse(const TPreviewEditorMouseInfo& info,
                                             bool (TMoveRectPreviewEditorHelper::*event)(
                                                 const TPreviewEditorMouseInfo&)) {
    TMoveRectPreviewEditorHelper* h = LayoutHelper(info);
    if (!h) return false;
    if ((h->*event)(info)) {
        RelativeRect = AbsToRelRect(h->Rect, info.Bitmap->BoundsRect());
        VectorText->InvalidateBounds();
        RectDragged();
        DoEditorChange();
        return true;
    }
    return h->HitTest(info, h->Rect) != hcNone;
}

bool TSimpleTextSlideShowObject::EditorMouseDown(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseDown(info);
    return EditorMouse(info, &TMoveRectPreviewEditorHelper::MouseDown);
}

bool TSimpleTextSlideShowObject::EditorMouseMove(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseMove(info);
    return EditorMouse(info, &TMoveRectPreviewEditorHelper::MouseMove);
}

bool TSimpleTextSlideShowObject::EditorMouseUp(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseUp(info);
    return EditorMouse(info, &TMoveRectPreviewEditorHelper::MouseUp);
}

TCursor TSimpleTextSlideShowObject::GetEditorCursor(const TPreviewEditorMouseInfo& info) {
    const TCursor inherited = TPreviewEditorSlideShowObject::GetEditorCursor(info);
    auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (Layout != tlRelativeRect || !h || h->Rect.IsEmpty()) return inherited;
    return h->GetCursor(info);
}

TRect TSimpleTextSlideShowObject::GetEditorRect(const TPreviewEditorMouseInfo& info) {
    return info.Bitmap ? OuterRect(GetTextRect(*info.Bitmap)) : TRect{};
}

void TSimpleTextSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::PaintEditor(info);
    if (!info.Target || !info.Bitmap) return;
    TRect r = OuterRect(GetTextRect(*info.Bitmap));
    OffsetRectBy(r, info.AreaRect.Left, info.AreaRect.Top);
    auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get());
    DrawSelectionFrame(*info.Target, r, h ? h->HandleSize : 6, 200);
}

// ---- TTextSlideShowObject ----

AnsiString TTextSlideShowObject::Description() {
    return "Ein Text mit Animation als Ein- und Ausblendung, sowie der M\xF6glichkeit animierte Transparenz oder "
           "Bewegungspfade zuzuordnen.";
}

TTextSlideShowObject::~TTextSlideShowObject() { DetachPathHelper(); }

TMoveableRectPreviewEditorHelper* TTextSlideShowObject::PathHelper() const {
    return dynamic_cast<TMoveableRectPreviewEditorHelper*>(EditorHelper.get());
}

TVector2D TTextSlideShowObject::PathCentre(const TDoubleRect& r, const TVector2D& maxValue) const {
    const long double w = static_cast<long double>(r.Right) - r.Left, h = static_cast<long double>(r.Bottom) - r.Top;
    return {SaturateInt32(int64_t(std::nearbyint((w / 2 + r.Left) * maxValue.X))),
            SaturateInt32(int64_t(std::nearbyint((h / 2 + r.Top) * maxValue.Y)))};
}

void TTextSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TSimpleTextSlideShowObject::BuildInitializationSteps(player, step);
    AddStep(player, step, PreparationStep::DrawTextEffects, BenchmarkNames::ETxt, BenchmarkDefaults::ETxt);
}

bool TTextSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    const bool result = TSimpleTextSlideShowObject::ExecuteInitializationStep(player, step);
    if (step != PreparationStep::DrawTextEffects) return result;
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    TimedInitializationStep(player, BenchmarkNames::ETxt, TIntegerBenchmarkValue::CreateValue(0), [&] {
        if (!back || !TextEffects) return true;
        return WithScaledFont(*back, [&](int32_t) {
            const TRect whole = back->BoundsRect();
            if (TVectorTextEffect* entry = TextEffects->EntryEffect()) {
                if (auto* on = dynamic_cast<IVectorTextEffectOn*>(entry)) on->SetEffectOn();
                entry->Init(whole, VectorText.get());
            }
            if (TVectorTextEffect* exit = TextEffects->ExitEffect()) {
                if (auto* off = dynamic_cast<IVectorTextEffectOff*>(exit)) off->SetEffectOff();
                exit->Init(whole, VectorText.get());
            }
            return true;
        });
    });
    return true;
}

TFixedRect TTextSlideShowObject::AnimatedTextRect(const TBitmap32& target, int32_t t) const {
    TFixedRect area = GetTextRect(target);
    if (!MotionPath) return area;
    TVector2D p;
    MotionPath->GetScaledValue(t, target.Width(), p, target.Height());
    const int64_t w = int64_t(area.Right) - area.Left, h = int64_t(area.Bottom) - area.Top;
    const int64_t left = int64_t(p.X) * FixedOne - w / 2, top = int64_t(p.Y) * FixedOne - h / 2;
    auto clampFixed = [](int64_t v) { return TFixed(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return MakeFixedRect(clampFixed(left), clampFixed(top), clampFixed(left + w), clampFixed(top + h));
}

void TTextSlideShowObject::PlayEffect(TVectorTextEffect& effect, IPlayerServices* player, TBitmap32& back,
                                      int32_t t, bool final) {
    const TFixedRect area = AnimatedTextRect(back, t);
    ClearUpdateRect();
    TFixedRect changed;
    effect.GetChangedRect(back, area.Left, area.Top, t, true, changed);
    const TRect r = OuterRect(changed);
    if (!final) SaveBackground(r, player);
    effect.GetChangedRect(back, area.Left, area.Top, t, false, changed);
    AddUpdateRect(r);
}

int32_t TTextSlideShowObject::Play(IPlayerServices* player, bool final) {
    State = psPlaying;
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    const int32_t t = SaturateInt32(int64_t(player ? player->GetPlayTime() : 0) - StartTime);
    const int64_t d = GetDuration();
    if (!back) return SaturateInt32(d - t);
    TVectorTextEffect* entry = TextEffects ? TextEffects->EntryEffect() : nullptr;
    TVectorTextEffect* exit = TextEffects ? TextEffects->ExitEffect() : nullptr;
    if (entry && t <= entry->Duration) {
        PlayEffect(*entry, player, *back, t, final);
        return -1;
    }
    if (exit && t > d - exit->Duration) {
        PlayEffect(*exit, player, *back, t, final);
        return -1;
    }
    int32_t result = exit ? SaturateInt32(d - exit->Duration - t) : -1;
    const TFixedRect area = AnimatedTextRect(*back, t);
    if (OpacityCurve) VectorText->Alpha = uint8_t(std::clamp(OpacityCurve->GetValue(t), 0, 255));
    ClearUpdateRect();
    TFixedRect bounds;
    TRect r{};
    if (VectorText->Alpha != 0) {
        VectorText->DrawInRect(area, back, bounds, true);
        r = OuterRect(bounds);
    }
    if (!final) SaveBackground(r, player);
    VectorText->DrawInRect(area, back, bounds, false);
    AddUpdateRect(OuterRect(bounds));
    if (result == -1 && !MotionPath && !OpacityCurve) result = SaturateInt32(d - t);
    return result;
}

void TTextSlideShowObject::Reset() {
    TSimpleTextSlideShowObject::Reset();
    if (TextEffects) {
        if (TextEffects->FirstEffect) TextEffects->FirstEffect->Done();
        if (TextEffects->SecondEffect) TextEffects->SecondEffect->Done();
    }
}

void TTextSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TSimpleTextSlideShowObject::AssignObject(source);
    auto* s = dynamic_cast<const TTextSlideShowObject*>(&source);
    if (!s || s == this) return;
    TextEffects.reset();
    if (s->TextEffects) {
        TextEffects = std::make_unique<TComplexVectorTextEffect>();
        TextEffects->Assign(*s->TextEffects);
    }
    AssignKeyFrames(*s);
}

bool TTextSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TSimpleTextSlideShowObject::WriteData(stream)) return false;
    try {
        WriteOptionalBlock(stream, OpacityCurve.get());
        WriteOptionalBlock(stream, RotationCurve.get());
        WriteOptionalBlock(stream, ScaleCurve.get());
        WriteOptionalBlock(stream, MotionPath.get());
        WriteOptionalBlock(stream, TextEffects.get());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TTextSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TSimpleTextSlideShowObject::ReadData(stream)) return false;
    TReadBlockGuard guard(stream);
    try {
        OpacityCurve.reset();
        if (!ReadOptionalBlock(stream, [&] { CreateOpacityCurve(); }, [&] { return OpacityCurve->ReadData(stream); }))
            return false;
        RotationCurve.reset();
        if (!ReadOptionalBlock(stream, [&] { CreateRotationCurve(); }, [&] { return RotationCurve->ReadData(stream); }))
            return false;
        ScaleCurve.reset();
        if (!ReadOptionalBlock(stream, [&] { CreateScaleCurve(); }, [&] { return ScaleCurve->ReadData(stream); }))
            return false;
        ReplaceMotionPath(nullptr);
        if (!ReadOptionalBlock(
                stream, [&] { CreateMotionPath()->ClearKeys(); }, [&] { return MotionPath->ReadData(stream); }))
            return false;
        TextEffects.reset();
        // An effect that does not read is dropped by the pair; the text itself stays.
        ReadOptionalBlock(
            stream, [&] { TextEffects = std::make_unique<TComplexVectorTextEffect>(); },
            [&] { return TextEffects->ReadData(stream); });
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- editor ----

void TTextSlideShowObject::CreateEditorHelper() {
    if (!EditorHelper) EditorHelper = NewPathHelper();
}

void TTextSlideShowObject::RectDragged() {
    // The path's first key follows the text's centre, as for pictures.
    MoveFirstPathKey(RelativeRect);
}

void TTextSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo& info) {
    TSimpleTextSlideShowObject::PaintEditor(info);
    if (!info.Target || !info.Bitmap || !MotionPath) return;
    PaintMotionPath(*info.Target, *MotionPath, GetDuration(), info.Bitmap->Width(), info.Bitmap->Height(),
                    info.AreaRect.Left, info.AreaRect.Top, PathHelper());
}

// ---- registration ----

namespace {
TCountedRegistration<TTextSlideShowObject> registration;
}

void InitializeTextSlideShowObjects(TPlugins& plugins) { registration.Initialize(plugins); }

void FinalizeTextSlideShowObjects(TPlugins& plugins) { registration.Finalize(plugins); }
