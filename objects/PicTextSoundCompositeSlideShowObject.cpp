#include "objects/PicTextSoundCompositeSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowProperties.h"
#include "document/SoundSlideShowObject.h"
#include "objects/TextSlideShowObject.h"
#include "document/Variables.h"
#include "foundation/Benchmark.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"
#include "foundation/SlideShowGlobals.h"
#include "graphics/DrawingTools.h"
#include "platform/FontFace.h"

#include <algorithm>
#include <cmath>

GC_IMPLEMENT_PLUGIN(TPicTextSoundCompositeSlideShowObject, TPicSlideShowObject)

namespace {

// Fonts are designed for a show area of this size.
constexpr int32_t kReferenceWidth = 1024;
constexpr int32_t kReferenceHeight = 768;

bool Finite(const TDoubleRect& r) {
    return std::isfinite(r.Left) && std::isfinite(r.Top) && std::isfinite(r.Right) && std::isfinite(r.Bottom);
}

bool Contains(const TRect& outer, const TRect& inner) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

TFixedRect MoveFixedRect(const TFixedRect& r, int32_t dx, int32_t dy) {
    const int64_t x = int64_t(dx) * FixedOne, y = int64_t(dy) * FixedOne;
    auto at = [](int64_t v) { return TFixed(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return {at(r.Left - x), at(r.Top - y), at(r.Right - x), at(r.Bottom - y)};
}

}  // namespace

TPicTextSoundCompositeSlideShowObject::TPicTextSoundCompositeSlideShowObject()
    : Transition(std::make_unique<TRandomTransitionPlugin>()), CaptionVectorText(std::make_unique<TVectorText>()) {
    CaptionVectorText->Font.Name = "Arial";
    CaptionVectorText->Font.Size = 20;
}

TPicTextSoundCompositeSlideShowObject::~TPicTextSoundCompositeSlideShowObject() {
    PlayHelper.reset();
    SoundObjects.reset();
    Transition.reset();
}

// ---- caption ----

void TPicTextSoundCompositeSlideShowObject::SetText(const AnsiString& value) {
    if (value == CaptionText) return;
    CaptionText = value;
    DoChange(ocVisual);
}

TFixedRect TPicTextSoundCompositeSlideShowObject::GetCaptionRect(const TRect& p, const TRect& t) const {
    const TFixedRect whole = FixedRectFromRect(t);
    const bool measured = !(CaptionBounds == TFixedRect{});
    const int64_t h = int64_t(CaptionBounds.Bottom) - CaptionBounds.Top;
    auto fx = [](int64_t pixels) { return SaturatedFixed(pixels); };
    auto fixed = [](int64_t v) { return TFixed(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    switch (CaptionLayout) {
        case capMiddle:
            // Centred in T, wherever T lies.
            if (!measured) return whole;
            return {whole.Left, fixed(int64_t(whole.Top) + (int64_t(whole.Bottom) - whole.Top - h) / 2), whole.Right,
                    whole.Bottom};
        case capBottom:
            if (!measured) return {whole.Left, whole.Bottom, whole.Right, whole.Bottom};
            return {whole.Left, fixed(int64_t(whole.Bottom) - h), whole.Right, whole.Bottom};
        case capRect: {
            TDoubleRect rel = CaptionRect;
            if (rel.Right == rel.Left && rel.Bottom == rel.Top) rel = TDoubleRect{0, 0, 1, 1};
            return FixedRectFromRect(RelToAbsRect(rel, t));
        }
        case capBelowPicture: {
            if (!measured) return {fx(p.Left), fx(p.Bottom), fx(p.Right), whole.Bottom};
            int64_t top = int64_t(p.Bottom) * FixedOne, bottom = top + h;
            // Kept inside the target: moved up by what passes its bottom.
            if (bottom > whole.Bottom) {
                top -= bottom - whole.Bottom;
                bottom = whole.Bottom;
            }
            return {fx(p.Left), fixed(top), fx(p.Right), fixed(bottom)};
        }
        default:
            // capWhole, and layouts beyond the known ones.
            return whole;
    }
}

bool TPicTextSoundCompositeSlideShowObject::PrepareCaption(const TRect& pictureArea, const TRect& targetRect) {
    TVectorText& v = *CaptionVectorText;
    const int32_t saved = v.Font.Size;
    const long double ratio = std::max(static_cast<long double>(RectWidth(targetRect)) / kReferenceWidth,
                                       static_cast<long double>(RectHeight(targetRect)) / kReferenceHeight);
    const long double scaled = std::nearbyint(-static_cast<long double>(FontPixelSize(v.Font)) * ratio);
    // A height of 0 would ask for the default font size.
    v.Font.Size = int32_t(std::clamp<long double>(scaled, -kMaxFontPixelSize, -1));
    const int32_t pixelHeight = -v.Font.Size;
    try {
        v.DoubleFill = pixelHeight < 10;
        AnsiString expanded;
        ReplaceVariables(Plugins, this, CaptionText, expanded);
        // Glyphs built at another height must go even when the text is unchanged.
        v.ClearGlyphCache();
        v.SetText(expanded);
        CaptionBounds = TFixedRect{};
        TRect p;
        CalcTargetRect(RectWidth(pictureArea), RectHeight(pictureArea), NormalizeDoubleRect(RelativeRect), p,
                       KeepAspectRatio, Stretch, Alignment, targetRect);
        TFixedRect bounds;
        v.DrawInRect(GetCaptionRect(p, targetRect), nullptr, bounds, true);
        CaptionBounds = bounds;
        if (pixelHeight >= 10 && ShowPropertiesOf(GetSlideShow()).StretchQuality != 0) v.LayoutGlyphs();
    } catch (...) {
        v.Font.Size = saved;
        throw;
    }
    v.Font.Size = saved;
    return true;
}

void TPicTextSoundCompositeSlideShowObject::DrawCaption(TBitmap32& target, const TRect& pictureRect,
                                                        const TRect& targetRect, int32_t dx, int32_t dy) {
    TFixedRect bounds;
    CaptionVectorText->DrawInRect(MoveFixedRect(GetCaptionRect(pictureRect, targetRect), dx, dy), &target, bounds,
                                  false);
}

// ---- fitting ----

// The caption goes into the fitted bitmap once, not into every frame. With a background
// fill the bitmap covers the whole area; without one it covers the picture and the
// caption, transparent around them, and is blended only when the caption reaches out of
// the picture. The caption is drawn "over" what lies below, so on a transparent part its
// edge pixels keep the caption's colour with their coverage as alpha.
bool TPicTextSoundCompositeSlideShowObject::FitBitmapToRect(const TRect& areaRect, uint8_t stretchFilter, bool force,
                                                            std::unique_ptr<TBitmap32>& bitmap) {
    NeedsBlend = false;
    if (!bitmap || bitmap->Empty()) {
        LoadFailed = 1;
        return false;
    }
    try {
        bitmap->StretchFilter = TStretchFilter(std::min<uint8_t>(stretchFilter, sfMitchell));
        const TRect p = FittedPlace(areaRect, *bitmap);
        const bool caption = CaptionShown();
        if (caption) PrepareCaption(p, areaRect);
        if (!(RectWidth(p) == bitmap->Width() && RectHeight(p) == bitmap->Height() && !FillBackground && !caption)) {
            auto fitted = std::make_unique<TBitmap32>();
            fitted->StretchFilter = bitmap->StretchFilter;
            bitmap->DrawMode = dmOpaque;
            bitmap->MasterAlpha = 255;
            bitmap->OnPixelCombine = nullptr;
            if (FillBackground && !force) {
                FillAroundPicture(*fitted, *bitmap, areaRect, p);
                if (caption) DrawCaption(*fitted, p, areaRect, areaRect.Left, areaRect.Top);
                if (!PlayHelper) CreatePlayHelper();
                PlayHelper->Rect = TDoubleRect{0, 0, 1, 1};
            } else if (!FillBackground && !force && caption) {
                const TRect c = OuterPixelRect(GetCaptionRect(p, areaRect));
                const TRect u = Contains(p, c) ? p : UnionRect(p, c);
                fitted->SetSize(RectWidth(u), RectHeight(u));
                fitted->Clear(0x00000000);
                bitmap->StretchTo(*fitted, p.Left - u.Left, p.Top - u.Top, p.Right - u.Left, p.Bottom - u.Top);
                DrawCaption(*fitted, p, areaRect, u.Left, u.Top);
                if (!PlayHelper) CreatePlayHelper();
                PlayHelper->Rect = AbsToRelRect(u, areaRect);
                NeedsBlend = !(u == p);
            } else {
                fitted->SetSize(RectWidth(p), RectHeight(p));
                bitmap->StretchTo(*fitted, 0, 0, fitted->Width(), fitted->Height());
            }
            bitmap = std::move(fitted);
        }
        FullPictureSize = TSize{};
        ApplyBlendMode(*bitmap, 255);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TPicTextSoundCompositeSlideShowObject::ApplyBlendMode(TBitmap32& bitmap, uint8_t masterAlpha) const {
    TPicSlideShowObject::ApplyBlendMode(bitmap, masterAlpha);
    if (NeedsBlend && bitmap.DrawMode == dmOpaque) bitmap.DrawMode = dmBlend;
}

void TPicTextSoundCompositeSlideShowObject::UpdateEditorBitmap(const TRect& areaRect) {
    TPicSlideShowObject::UpdateEditorBitmap(areaRect);
    CaptionVectorText->InvalidateBounds();
}

// ---- transition and preparation ----

bool TPicTextSoundCompositeSlideShowObject::PrepareTransition(IPlayerServices* player) {
    return !Transition || InitTransition(*Transition, player);
}

void TPicTextSoundCompositeSlideShowObject::FreeTransition() { Transition.reset(); }

void TPicTextSoundCompositeSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TPicSlideShowObject::BuildInitializationSteps(player, step);
    // The transition stays with the item, so a show saved after playing keeps it.
    transitionsDisabled_ = ShowPropertiesOf(GetSlideShow()).DisableTransitions;
    if (!transitionsDisabled_) AddTransitionStep(player, step);
}

bool TPicTextSoundCompositeSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    const bool result = TPicSlideShowObject::ExecuteInitializationStep(player, step);
    if (step != PreparationStep::PrepareTransition) return result;
    if (ExecuteTransitionStep(player, [&] { return PrepareTransition(player); })) return true;
    LoadFailed = 1;
    return false;
}

bool TPicTextSoundCompositeSlideShowObject::Prepare(TBitmap32& target) {
    CreateEditorHelper();
    Prepared = TPicSlideShowObject::Prepare(target);
    if (CaptionShown()) {
        const TRect area = target.BoundsRect();
        const TRect picture =
            Bitmap ? Bitmap->BoundsRect() : RelToAbsRect(NormalizeDoubleRect(RelativeRect), area);
        try {
            Prepared = PrepareCaption(picture, area) && Prepared;
        } catch (const std::exception&) {
            Prepared = false;
        }
    }
    return Prepared;
}

// ---- playing ----

int32_t TPicTextSoundCompositeSlideShowObject::Play(IPlayerServices* player, bool final) {
    TPreviewEditorSlideShowObject::Play(player, final);
    const int32_t t = SaturateInt32(int64_t(player ? player->GetPlayTime() : 0) - StartTime);
    ClearUpdateRect();
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (!Bitmap || Bitmap->Empty() || !back) return SaturateInt32(int64_t(GetDuration()) - t);
    ApplyBlendMode(*Bitmap, 255);
    if (Transition && !transitionsDisabled_ && !final && !Transition->IsFinished(t)) {
        if (DrawTransitionFrame(*Transition, player, *back, t)) return -1;
    }
    const TRect area = player->GetClientRect();
    const TRect r = BitmapTargetRect(area);
    const TRect u = FillBackground ? area : r;
    if (!final) SaveBackground(u, player);
    Bitmap->DrawTo(*back, r.Left, r.Top);
    AddUpdateRect(u);
    return SaturateInt32(int64_t(GetDuration()) - t);
}

bool TPicTextSoundCompositeSlideShowObject::DrawTo(TBitmap32& target, bool final) {
    const bool result = TPicSlideShowObject::DrawTo(target, final);
    if (!final && CaptionShown()) {
        const TRect area = target.BoundsRect();
        const TRect p = Bitmap ? BitmapTargetRect(area) : RelToAbsRect(NormalizeDoubleRect(RelativeRect), area);
        DrawCaption(target, p, area, 0, 0);
    }
    return result;
}

// ---- duration and sound ----

int32_t TPicTextSoundCompositeSlideShowObject::DurationWithoutMusicFades() const {
    if (DurationFromSound && HasSound() && SoundLength >= 0) return SoundLength;
    return TPicSlideShowObject::GetDuration();
}

int32_t TPicTextSoundCompositeSlideShowObject::GetDuration() const {
    int64_t d = DurationWithoutMusicFades();
    if (FadeMusic && HasSound()) d += 2 * int64_t(SoundMusicFadeTime(GetSlideShow()));
    return SaturateInt32(d);
}

AnsiString TPicTextSoundCompositeSlideShowObject::GetResolvedSoundFileName() const {
    return ResolveFileName(SoundFileName);
}

std::unique_ptr<ISlideShowSound> TPicTextSoundCompositeSlideShowObject::CreateSound() const {
    ISoundSystem* system = CurrentSoundSystem();
    if (!system) return nullptr;
    try {
        std::unique_ptr<ISlideShowSound> sound = system->CreateSound(255);
        if (!sound || !sound->Open(FileToOpen(SoundFileName))) return nullptr;
        return sound;
    } catch (const std::exception&) {
        return nullptr;
    }
}

void TPicTextSoundCompositeSlideShowObject::SetSoundFileName(const AnsiString& value) {
    if (value == SoundFileName) return;
    SoundFileName = value;
    // A file that does not open keeps the length it had.
    if (std::unique_ptr<ISlideShowSound> sound = CreateSound()) SoundLength = std::max(-1, sound->GetLength());
    DoChange(ocVisual);
}

TSlideShowObjectList* TPicTextSoundCompositeSlideShowObject::GetSoundObjects() {
    if (!SoundObjects) SoundObjects = std::make_unique<TSlideShowObjectList>(static_cast<TSlideShowObject*>(this));
    if (!HasSound()) {
        FreeSoundObjects();
        return SoundObjects.get();
    }
    auto* sound = dynamic_cast<TSoundSlideShowObject*>(SoundObjects->First());
    if (!sound) {
        sound = new TSoundSlideShowObject();
        SoundObjects->Add(sound);
        // It reports to no show: it is not one of the show's items.
        sound->OnChange = nullptr;
    } else {
        sound->Reset();
    }
    sound->SetParentList(ParentList);
    sound->FileName = SoundFileName;
    sound->SoundLength = SoundLength;
    // Handed the duration without the music fades: the sound item adds them itself, so
    // both end together.
    const int32_t duration = DurationWithoutMusicFades();
    sound->Duration = std::max(0, duration);
    sound->StartTime = GetStartTime();
    sound->DurationFromSound = DurationFromSound || (SoundLength != -1 && duration > SoundLength);
    sound->FadeMusic = FadeMusic;
    sound->Volume = SoundVolume;
    sound->EndMode = SoundFadeOut;
    return SoundObjects.get();
}

void TPicTextSoundCompositeSlideShowObject::FreeSoundObjects() {
    if (!SoundObjects) return;
    // The player may still hold the items in its lists (a composite whose preparation
    // failed leaves its sound waiting): they stay, silent and of no length, until the
    // next run sets them up again or the composite goes.
    for (int i = 0; i < SoundObjects->Count(); ++i)
        if (auto* sound = dynamic_cast<TSoundSlideShowObject*>(SoundObjects->GetItem(i))) {
            sound->Reset();
            sound->FileName.clear();
            sound->Duration = 0;
            sound->SoundLength = -1;
            sound->DurationFromSound = false;
            sound->FadeMusic = false;
        }
}

ISlideShowSound* TPicTextSoundCompositeSlideShowObject::GetSound() const {
    for (int i = 0; SoundObjects && i < SoundObjects->Count(); ++i)
        if (auto* sound = dynamic_cast<ISound*>(SoundObjects->GetItem(i))) return sound->GetSound();
    return nullptr;
}

void TPicTextSoundCompositeSlideShowObject::Fade(IPlayerServices* player, uint8_t volume, int32_t fadeTime) {
    for (int i = 0; SoundObjects && i < SoundObjects->Count(); ++i)
        if (auto* sound = dynamic_cast<ISound*>(SoundObjects->GetItem(i))) {
            sound->Fade(player, volume, fadeTime);
            return;
        }
}

// ---- file references ----

std::vector<AnsiString> TPicTextSoundCompositeSlideShowObject::GetResolvedFileNames() const {
    std::vector<AnsiString> names = TPicSlideShowObject::GetResolvedFileNames();
    names.push_back(FileToOpen(SoundFileName));
    return names;
}

std::vector<AnsiString> TPicTextSoundCompositeSlideShowObject::GetFileNames() const {
    return {FileName, SoundFileName};
}

void TPicTextSoundCompositeSlideShowObject::ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) {
    TPicSlideShowObject::ReplaceFileName(oldName, newName);
    if (oldName == SoundFileName) {
        SoundFileName = newName;
        return;
    }
    // A name that resolves to nothing matches no old name.
    const AnsiString resolved = GetResolvedSoundFileName();
    if (!resolved.empty() && oldName == resolved) SoundFileName = newName;
}

// ---- copies, stored form, life cycle ----

void TPicTextSoundCompositeSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TPicSlideShowObject::AssignObject(source);
    auto* s = dynamic_cast<const TPicTextSoundCompositeSlideShowObject*>(&source);
    if (!s || s == this) return;
    Transition = s->Transition ? s->Transition->Clone() : nullptr;
    CaptionText = s->CaptionText;
    ChangeCaption([&](TVectorText& v) {
        AssignVectorTextProperties(v, *s->CaptionVectorText);
        CaptionLayout = s->CaptionLayout;
    });
    CaptionRect = s->CaptionRect;
    ShowCaption = s->ShowCaption;
    SoundFileName = s->SoundFileName;
    SoundLength = s->SoundLength;
    DurationFromSound = s->DurationFromSound;
    FadeMusic = s->FadeMusic;
    SoundVolume = s->SoundVolume;
    SoundFadeOut = s->SoundFadeOut;
    SoundFadeOutTime = s->SoundFadeOutTime;
}

bool TPicTextSoundCompositeSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TPicSlideShowObject::WriteData(stream)) return false;
    try {
        if (!WriteTransitionBlock(stream, Transition.get())) return false;
        stream.BeginWriteBlock();
        stream.WriteString(CaptionText);
        WriteVectorTextProperties(stream, *CaptionVectorText);
        stream.WriteByte(CaptionLayout);
        stream.WriteDoubleRect(CaptionRect);
        stream.WriteBoolean(ShowCaption);
        stream.EndWriteBlock();
        stream.BeginWriteBlock();
        stream.WriteString(SoundFileName);
        stream.WriteInteger(SoundLength);
        stream.WriteBoolean(DurationFromSound);
        stream.WriteBoolean(FadeMusic);
        stream.WriteInteger(SoundVolume);
        stream.WriteByte(SoundFadeOut);
        stream.WriteInteger(SoundFadeOutTime);
        stream.EndWriteBlock();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TPicTextSoundCompositeSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TPicSlideShowObject::ReadData(stream)) return false;
    TReadBlockGuard guard(stream);
    try {
        if (!ReadTransitionBlock(stream, Transition)) return false;
        stream.BeginReadBlock();
        CaptionText = stream.ReadStringValue();
        ReadVectorTextProperties(stream, *CaptionVectorText);
        // Layouts beyond the known ones are kept as stored and use the whole target.
        CaptionLayout = stream.ReadByteValue();
        DoChange(ocVisual);
        CaptionRect = stream.ReadDoubleRectValue();
        if (!Finite(CaptionRect)) CaptionRect = TDoubleRect{0, 0, 0, 0};
        ShowCaption = stream.ReadBooleanValue();
        stream.EndReadBlock();
        stream.BeginReadBlock();
        SoundFileName = stream.ReadStringValue();
        SoundLength = std::max(-1, stream.ReadIntegerValue());
        DurationFromSound = stream.ReadBooleanValue();
        FadeMusic = stream.ReadBooleanValue();
        SoundVolume = std::clamp(stream.ReadIntegerValue(), 0, 255);
        SoundFadeOut = stream.ReadByteValue();
        if (SoundFadeOut > 2) SoundFadeOut = 1;
        SoundFadeOutTime = stream.Header.ContentVersion > 0x301 ? stream.ReadIntegerValue() : 1000;
        stream.EndReadBlock();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TPicTextSoundCompositeSlideShowObject::Reset() {
    TPicSlideShowObject::Reset();
    if (Transition) Transition->Done();
    CaptionVectorText->ClearGlyphCache();
    PlayHelper.reset();
    NeedsBlend = false;
    Prepared = false;
}

void TPicTextSoundCompositeSlideShowObject::ReleaseResources() {
    TPicSlideShowObject::ReleaseResources();
    FreeSoundObjects();
}

void TPicTextSoundCompositeSlideShowObject::Unprepare() {
    TPicSlideShowObject::Unprepare();
    CaptionVectorText->ClearGlyphCache();
    Prepared = false;
}

// ---- editor ----

void TPicTextSoundCompositeSlideShowObject::CreateEditorHelper() {
    const int count = CaptionLayout == capRect && CaptionShown() ? 2 : 1;
    auto* h = dynamic_cast<TMultiMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (h && h->Count() == count) return;
    auto helper = std::make_unique<TMultiMoveRectPreviewEditorHelper>(count);
    if (EditorHelper) helper->SetOnChange(EditorHelper->GetOnChange());
    EditorHelper = std::move(helper);
}

void TPicTextSoundCompositeSlideShowObject::UpdateEditorRects(const TPreviewEditorMouseInfo& info) {
    auto* h = dynamic_cast<TMultiMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (!h) return;
    const TRect area = EditorArea(info);
    if (TMoveRectPreviewEditorHelper* picture = h->Item(0); picture && picture->Rect.IsEmpty())
        picture->Rect = RelToAbsRect(NormalizeDoubleRect(RelativeRect), area);
    if (TMoveRectPreviewEditorHelper* caption = h->Item(1); caption && caption->Rect.IsEmpty()) {
        TDoubleRect rel = CaptionRect;
        if (rel.Right == rel.Left && rel.Bottom == rel.Top) rel = TDoubleRect{0, 0, 1, 1};
        caption->Rect = RelToAbsRect(NormalizeDoubleRect(rel), area);
    }
}

TMultiMoveRectPreviewEditorHelper* TPicTextSoundCompositeSlideShowObject::MultiHelper(
    const TPreviewEditorMouseInfo& info) {
    CreateEditorHelper();
    UpdateEditorRects(info);
    return dynamic_cast<TMultiMoveRectPreviewEditorHelper*>(EditorHelper.get());
}

void TPicTextSoundCompositeSlideShowObject::TakeEditorRects(const TRect& area) {
    auto* h = dynamic_cast<TMultiMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (!h) return;
    if (TMoveRectPreviewEditorHelper* picture = h->Item(0)) RelativeRect = AbsToRelRect(picture->Rect, area);
    if (TMoveRectPreviewEditorHelper* caption = h->Item(1)) CaptionRect = AbsToRelRect(caption->Rect, area);
    UpdateEditorBitmap(area);
}

TCursor TPicTextSoundCompositeSlideShowObject::GetEditorCursor(const TPreviewEditorMouseInfo& info) {
    TMultiMoveRectPreviewEditorHelper* h = MultiHelper(info);
    if (!h) return crDefault;
    return h->GetCursor(info);
}

bool TPicTextSoundCompositeSlideShowObject::EditorMouseDown(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseDown(info);
    TMultiMoveRectPreviewEditorHelper* h = MultiHelper(info);
    return h && h->MouseDown(info);
}

bool TPicTextSoundCompositeSlideShowObject::EditorMouseMove(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseMove(info);
    TMultiMoveRectPreviewEditorHelper* h = MultiHelper(info);
    if (!h || !h->MouseMove(info)) return false;
    TakeEditorRects(EditorArea(info));
    DoEditorChange();
    return true;
}

bool TPicTextSoundCompositeSlideShowObject::EditorMouseUp(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseUp(info);
    TMultiMoveRectPreviewEditorHelper* h = MultiHelper(info);
    if (!h || !h->MouseUp(info)) return false;
    TakeEditorRects(EditorArea(info));
    DoChange(ocVisual);
    DoEditorChange();
    return true;
}

void TPicTextSoundCompositeSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::PaintEditor(info);
    TMultiMoveRectPreviewEditorHelper* h = MultiHelper(info);
    if (!info.Target || !h) return;
    for (int i = 0; i < h->Count(); ++i) {
        TRect r = h->Item(i)->Rect;
        OffsetRectBy(r, info.AreaRect.Left, info.AreaRect.Top);
        DrawSelectionFrame(*info.Target, r, h->Item(i)->HandleSize, 200);
    }
}

void TPicTextSoundCompositeSlideShowObject::SetRelativeRect(const TDoubleRect& r) {
    RelativeRect = r;
    auto* h = dynamic_cast<TMultiMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (h && h->Count() == 2) h->Item(0)->Rect = TRect{};
    CaptionVectorText->InvalidateBounds();
    DoChange(ocVisual);
}

// ---- module ----

namespace {
TCountedRegistration<TPicTextSoundCompositeSlideShowObject> registration;
}

void InitializePicTextSoundCompositeSlideShowObjects(TPlugins& plugins) { registration.Initialize(plugins); }

void FinalizePicTextSoundCompositeSlideShowObjects(TPlugins& plugins) { registration.Finalize(plugins); }
