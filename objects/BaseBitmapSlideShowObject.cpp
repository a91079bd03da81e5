#include "objects/BaseBitmapSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowProperties.h"
#include "foundation/Benchmark.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"
#include "foundation/StopWatch.h"
#include "graphics/DrawingTools.h"
#include "graphics/PictureRegistry.h"
#include "platform/DebugOutput.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "transitions/TransitionPlugin.h"

#include <algorithm>

GC_IMPLEMENT_CLASS(TBaseBitmapPlayHelper, TObject)
GC_IMPLEMENT_PLUGIN(TBaseBitmapSlideShowObject, TPreviewEditorSlideShowObject)

namespace {

class TNoPictureDecipher : public IPictureDecipher {
public:
    bool IsEnciphered(const AnsiString&) override { return false; }
    AnsiString GetStoredFileName(const AnsiString&) override { return AnsiString(); }
    std::unique_ptr<TStream> OpenPicture(const AnsiString&) override { return nullptr; }
};

TNoPictureDecipher noDecipher;
IPictureDecipher* currentDecipher = &noDecipher;

bool SameSize(const TRect& r, const TBitmap32& b) { return RectWidth(r) == b.Width() && RectHeight(r) == b.Height(); }

TColor32 CombineByMode(uint8_t mode, TColor32 picture, TColor32 below) {
    switch (mode) {
    case bmAdd: return ColorAddKeepAlpha(picture, below);
    case bmSubtract: return ColorSubKeepAlpha(picture, below);
    case bmMultiply: return ColorModulateKeepAlpha(picture, below);
    case bmDarken: return ColorMinKeepAlpha(picture, below);
    default: return ColorMaxKeepAlpha(picture, below);
    }
}

}  // namespace

// ---- placement ----

void CalcTargetRect(int32_t width, int32_t height, const TDoubleRect& rel, TRect& r, bool keepAspectRatio,
                    bool stretch, uint8_t alignment, const TRect& areaRect) {
    const TRect t = RelToAbsRect(NormalizeDoubleRect(rel), areaRect);
    if (!stretch) r = TRect{0, 0, width, height};
    else if (keepAspectRatio) r = FitRect(TRect{0, 0, width, height}, t, false);
    else r = t;
    // Halves truncate toward zero, also when the picture is larger than the target.
    // Stored rectangles may reach the ends of the 32-bit range: 64-bit arithmetic.
    const int64_t w = int64_t(r.Right) - r.Left, h = int64_t(r.Bottom) - r.Top;
    const int64_t tw = int64_t(t.Right) - t.Left, th = int64_t(t.Bottom) - t.Top;
    const int64_t midX = t.Left + (tw - w) / 2, midY = t.Top + (th - h) / 2;
    const int64_t right = int64_t(t.Right) - w, bottom = int64_t(t.Bottom) - h;
    auto moveTo = [&r](int64_t x, int64_t y) { MoveRectTo(SaturateInt32(x), SaturateInt32(y), r); };
    switch (alignment) {
    case baCenter: moveTo(midX, midY); break;
    case baTopLeft: moveTo(t.Left, t.Top); break;
    case baTopRight: moveTo(right, t.Top); break;
    case baBottomLeft: moveTo(t.Left, bottom); break;
    case baBottomRight: moveTo(right, bottom); break;
    case baTop: moveTo(midX, t.Top); break;
    case baBottom: moveTo(midX, bottom); break;
    case baLeft: moveTo(t.Left, midY); break;
    case baRight: moveTo(right, midY); break;
    default: break;
    }
}

std::mutex& PictureLock() {
    static std::mutex lock;
    return lock;
}

IPictureDecipher& PictureDecipher() { return *currentDecipher; }

void SetPictureDecipher(IPictureDecipher* decipher) { currentDecipher = decipher ? decipher : &noDecipher; }

// ---- TBaseBitmapSlideShowObject ----

TBaseBitmapSlideShowObject::TBaseBitmapSlideShowObject() = default;

TBaseBitmapSlideShowObject::~TBaseBitmapSlideShowObject() = default;

TRect TBaseBitmapSlideShowObject::PlayerArea(IPlayerServices* player) {
    if (!player) return TRect{};
    const TRect c = player->GetClientRect();
    return TRect{0, 0, RectWidth(c), RectHeight(c)};
}

TRect TBaseBitmapSlideShowObject::BitmapTargetRect(const TRect& areaRect) const {
    TRect r;
    CalcTargetRect(Bitmap ? Bitmap->Width() : 0, Bitmap ? Bitmap->Height() : 0, GetCurrentRect(), r,
                   KeepAspectRatio, Stretch, Alignment, areaRect);
    return r;
}

TRect TBaseBitmapSlideShowObject::FittedPlace(const TRect& areaRect, const TBitmap32& bitmap) const {
    const bool reduced = FullPictureSize.cx > 0 && FullPictureSize.cy > 0;
    TRect r;
    CalcTargetRect(reduced ? FullPictureSize.cx : bitmap.Width(), reduced ? FullPictureSize.cy : bitmap.Height(),
                   GetCurrentRect(), r, KeepAspectRatio, Stretch, Alignment, areaRect);
    return r;
}

void TBaseBitmapSlideShowObject::ApplyBlendMode(TBitmap32& bitmap, uint8_t masterAlpha) const {
    bitmap.MasterAlpha = masterAlpha;
    bitmap.OnPixelCombine = nullptr;
    if (BlendMode == bmAlpha) {
        bitmap.DrawMode = dmBlend;
    } else if (BlendMode >= bmAdd && BlendMode <= bmLighten) {
        // The picture's pixel is the first operand, the one below the second; the result
        // goes on under the picture's alpha and the master alpha.
        const uint8_t mode = BlendMode;
        bitmap.DrawMode = dmCustom;
        bitmap.OnPixelCombine = [mode](TColor32 f, TColor32& b, TColor32 m) {
            b = BlendPixel(CombineByMode(mode, f, b), b, uint8_t(m));
        };
    } else {
        bitmap.DrawMode = masterAlpha == 255 ? dmOpaque : dmBlend;
    }
}

bool TBaseBitmapSlideShowObject::TimedStep(IPlayerServices* player, const char* name,
                                           std::unique_ptr<TBenchmarkValue> value, const std::function<bool()>& work) {
    return TimedInitializationStep(player, name, std::move(value), work);
}

int32_t TBaseBitmapSlideShowObject::TimeLeft(IPlayerServices* player) const {
    const int64_t now = player ? player->GetPlayTime() : 0;
    return SaturateInt32(int64_t(GetDuration()) - (now - StartTime));
}

bool TBaseBitmapSlideShowObject::FitBitmapToRect(const TRect& areaRect, uint8_t stretchFilter, bool force,
                                                 std::unique_ptr<TBitmap32>& bitmap) {
    if (!bitmap || bitmap->Empty()) {
        LoadFailed = 1;
        return false;
    }
    try {
        bitmap->StretchFilter = TStretchFilter(std::min<uint8_t>(stretchFilter, sfMitchell));
        const TRect r = FittedPlace(areaRect, *bitmap);
        if (!(SameSize(r, *bitmap) && !FillBackground)) {
            auto fitted = std::make_unique<TBitmap32>();
            fitted->StretchFilter = bitmap->StretchFilter;
            bitmap->DrawMode = dmOpaque;
            bitmap->MasterAlpha = 255;
            if (!FillBackground || force) {
                fitted->SetSize(RectWidth(r), RectHeight(r));
                bitmap->StretchTo(*fitted, 0, 0, fitted->Width(), fitted->Height());
            } else {
                FillAroundPicture(*fitted, *bitmap, areaRect, r);
                if (!PlayHelper) CreatePlayHelper();
                PlayHelper->Rect = TDoubleRect{0, 0, 1, 1};
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

void TBaseBitmapSlideShowObject::FillAroundPicture(TBitmap32& fitted, TBitmap32& picture, const TRect& areaRect,
                                                   const TRect& place) const {
    // The prepared bitmap covers the whole area: bands of the background colour around
    // the picture.
    const int32_t w = RectWidth(areaRect), h = RectHeight(areaRect);
    TRect p = place;
    OffsetRectBy(p, -areaRect.Left, -areaRect.Top);
    // The bands and the picture drawn opaque cover every pixel: nothing to clear first.
    if (picture.DrawMode == dmOpaque) fitted.SetSizeForOverwrite(w, h);
    else fitted.SetSize(w, h);
    const int32_t top = std::clamp(p.Top, 0, h), bottom = std::clamp(p.Bottom, 0, h);
    fitted.FillRectS(0, 0, w, top, BackgroundColor);
    fitted.FillRectS(0, bottom, w, h, BackgroundColor);
    fitted.FillRectS(0, top, std::clamp(p.Left, 0, w), bottom, BackgroundColor);
    fitted.FillRectS(std::clamp(p.Right, 0, w), top, w, bottom, BackgroundColor);
    picture.StretchTo(fitted, p.Left, p.Top, p.Right, p.Bottom);
    // A picture with alpha lies on the ground too, not on whatever the item before left
    // in the frame. A ground that is not opaque asks for what lies below to show, around
    // and through. Laid over the colour after the opaque stretch, which runs on several
    // threads where a blending one runs on one.
    if (BlendMode == bmAlpha && picture.DrawMode == dmOpaque && AlphaComponent(BackgroundColor) == 255)
        fitted.LayOverColor(p, BackgroundColor);
}

// ---- entry transitions ----

bool TBaseBitmapSlideShowObject::InitTransition(TTransitionPlugin& transition, IPlayerServices* player) {
    if (!Bitmap || Bitmap->Empty()) return false;
    if (auto* random = dynamic_cast<TRandomTransitionPlugin*>(&transition))
        random->ExcludedClasses = &ShowPropertiesOf(GetSlideShow()).ExcludedTransitions;
    return transition.Init(BitmapTargetRect(PlayerArea(player)), Bitmap.get());
}

void TBaseBitmapSlideShowObject::AddTransitionStep(IPlayerServices* player, int32_t step) {
    if (!initializationList_) return;
    if (!PreparationStep::Requests(step, PreparationStep::PrepareTransition, initializationList_->CurrentStep)) return;
    int32_t estimate = BenchmarkDefaults::ITransition;
    if (player)
        estimate = player->GetBenchmark().EstimateTime(BenchmarkNames::ITransition,
                                                        TIntegerBenchmarkValue::CreateValue(0),
                                                        BenchmarkDefaults::ITransition);
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(
        PreparationStep::PrepareTransition, estimate, PreparationStep::PrepareTransition));
}

bool TBaseBitmapSlideShowObject::ExecuteTransitionStep(IPlayerServices* player, const std::function<bool()>& prepare) {
    try {
        return TimedStep(player, BenchmarkNames::ITransition, TIntegerBenchmarkValue::CreateValue(0), prepare);
    } catch (const std::exception&) {
        return false;
    }
}

bool TBaseBitmapSlideShowObject::DrawTransitionFrame(TTransitionPlugin& transition, IPlayerServices* player,
                                                     TBitmap32& back, int32_t t) {
    Bitmap->StretchFilter = TStretchFilter(ShowPropertiesOf(GetSlideShow()).GetPlayStretchFilter());
    TRect u;
    transition.GetChangedRect(t, back, u);
    SaveBackground(u, player);
    // A background still to be put back goes in with the frame's own pixels.
    const TBitmap32* under = TakeLateBackground();
    if (!(under ? transition.DrawOver(t, back, *under, BackgroundPos) : transition.Draw(t, back))) return false;
    AddUpdateRect(u);
    return true;
}

bool TBaseBitmapSlideShowObject::LoadPicture(const AnsiString& fileName, bool deferPlainFile,
                                             std::unique_ptr<TBitmap32>& picture, const TRect& decodeArea,
                                             bool neededNow) {
    AnsiString name;
    try {
        name = ResolveFileName(fileName);
    } catch (const std::exception&) {
        // Unresolvable: loads as a name that was found nowhere.
    }
    return LoadResolvedPicture(fileName, name, deferPlainFile, picture, decodeArea, neededNow);
}

bool TBaseBitmapSlideShowObject::LoadResolvedPicture(const AnsiString& fileName, const AnsiString& name,
                                                     bool deferPlainFile,
                                                     std::unique_ptr<TBitmap32>& picture, const TRect& decodeArea,
                                                     bool neededNow) {
    TPictureRead read = PictureReadOf(fileName, name, decodeArea, neededNow);
    read.DeferPlainFile = deferPlainFile;
    // The picture handed in is kept when a deferred file is left unread.
    read.Picture = std::move(picture);
    ReadPicture(read);
    return TakePictureRead(read, picture);
}

TBaseBitmapSlideShowObject::TPictureRead TBaseBitmapSlideShowObject::PictureReadOf(const AnsiString& fileName,
                                                                                   const AnsiString& name,
                                                                                   const TRect& decodeArea,
                                                                                   bool neededNow) const {
    TPictureRead read;
    read.FileName = fileName;
    read.Name = name;
    read.DecodeArea = decodeArea;
    read.NeededNow = neededNow;
    read.Stretch = Stretch;
    read.KeepAspectRatio = KeepAspectRatio;
    read.Alignment = Alignment;
    read.Rect = GetCurrentRect();
    return read;
}

void TBaseBitmapSlideShowObject::ReadPicture(TPictureRead& read) {
    std::lock_guard lock(PictureLock());
    TStopWatch watch;
    read.Failed = false;
    read.FullSize = TSize{};
    try {
        if (!read.Picture) read.Picture = std::make_unique<TBitmap32>();
        if (read.Name.empty()) {
            // Otherwise a show whose files are all missing plays black without a word.
            read.Failure = "Picture not found: \"" + PathText(read.FileName) + "\"";
            read.Failed = true;
            return;
        }
        TPictureLoadOptions options;
        options.NeededNow = read.NeededNow;
        TSize full;
        if (read.Stretch && !read.DecodeArea.IsEmpty()) {
            options.TargetForSize = [&](int w, int h, int& tw, int& th) {
                TRect r;
                CalcTargetRect(w, h, read.Rect, r, read.KeepAspectRatio, read.Stretch, read.Alignment,
                               read.DecodeArea);
                tw = std::max(RectWidth(r), 1);
                th = std::max(RectHeight(r), 1);
                full = TSize{w, h};
            };
        }
        IPictureDecipher& decipher = PictureDecipher();
        if (decipher.IsEnciphered(read.Name)) {
            const AnsiString stored = decipher.GetStoredFileName(read.Name);
            std::unique_ptr<TStream> bytes = decipher.OpenPicture(read.Name);
            if (!bytes) throw EInvalidGraphic("Falsches Dateiformat: " + stored);
            *read.Picture = LoadPictureFromStream(*bytes, stored, options);
        } else if (!read.DeferPlainFile) {
            *read.Picture = LoadPictureFromFile(read.Name, options);
        } else {
            return;
        }
        if (read.Picture->Empty()) throw EInvalidGraphic("Leeres Bild");
        if (full.cx > 0 && (full.cx != read.Picture->Width() || full.cy != read.Picture->Height()))
            read.FullSize = full;
        read.Milliseconds = watch.Elapsed();
    } catch (const std::exception& e) {
        read.Failure = "Picture not read: \"" + PathText(read.Name) + "\": " + e.what();
        read.Failed = true;
    }
}

bool TBaseBitmapSlideShowObject::TakePictureRead(TPictureRead& read, std::unique_ptr<TBitmap32>& picture) {
    FullPictureSize = read.FullSize;
    if (read.Failed) {
        OutputDebugString(read.Failure);
        picture.reset();
        LoadFailed = 1;
        return false;
    }
    picture = std::move(read.Picture);
    return true;
}

bool TBaseBitmapSlideShowObject::PictureToBitmap(std::unique_ptr<TBitmap32>& source, bool freeSource,
                                                 std::unique_ptr<TBitmap32>& bitmap) {
    if (!source || source->Empty()) {
        LoadFailed = 1;
        return false;
    }
    try {
        bitmap.reset();
        // A source we free anyway gives its pixels away instead of copying them.
        if (freeSource) bitmap = std::move(source);
        else bitmap = std::make_unique<TBitmap32>(*source);
        bitmap->DrawMode = dmOpaque;
        bitmap->MasterAlpha = 255;
        bitmap->OnPixelCombine = nullptr;
        if (BlendMode == bmOpaque || BlendMode > bmLighten) bitmap->ResetAlpha(255);
        return true;
    } catch (const std::exception&) {
        bitmap.reset();
        return false;
    }
}

void TBaseBitmapSlideShowObject::DrawPlaceholder(TBitmap32& target) {
    const TRect r = RelToAbsRect(GetCurrentRect(), target.BoundsRect());
    auto at = [](int32_t v, int d) { return SaturateInt32(int64_t(v) + d); };
    target.FillRectS(at(r.Left, 1), at(r.Top, 1), at(r.Right, -1), at(r.Bottom, -1), clBlack32);
    const int32_t right = at(r.Right, -1), bottom = at(r.Bottom, -1);
    // Black lines beside each diagonal first, so the crossing stays white.
    for (int dx : {-1, 1}) {
        target.LineS(at(r.Left, dx), r.Top, at(right, dx), bottom, clBlack32, true);
        target.LineS(at(right, dx), r.Top, at(r.Left, dx), bottom, clBlack32, true);
    }
    target.LineS(r.Left, r.Top, right, bottom, clWhite32, true);
    target.LineS(right, r.Top, r.Left, bottom, clWhite32, true);
    target.FrameRectS(r, clWhite32);
}

void TBaseBitmapSlideShowObject::SetRelativeRect(const TDoubleRect& r) {
    if (r == RelativeRect) return;
    RelativeRect = r;
    DoChange(ocVisual);
}

void TBaseBitmapSlideShowObject::CreatePlayHelper() {
    if (!PlayHelper) PlayHelper = std::make_unique<TBaseBitmapPlayHelper>();
    PlayHelper->Rect = RelativeRect;
}

void TBaseBitmapSlideShowObject::FreePlayHelper() { PlayHelper.reset(); }

TDoubleRect TBaseBitmapSlideShowObject::GetCurrentRect() const {
    return NormalizeDoubleRect(PlayHelper ? PlayHelper->Rect : RelativeRect);
}

void TBaseBitmapSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TPreviewEditorSlideShowObject::AssignObject(source);
    auto* b = dynamic_cast<const TBaseBitmapSlideShowObject*>(&source);
    if (!b || b == this) return;
    KeepAspectRatio = b->KeepAspectRatio;
    Alignment = b->Alignment;
    RelativeRect = b->RelativeRect;
    Stretch = b->Stretch;
    FillBackground = b->FillBackground;
    BackgroundColor = b->BackgroundColor;
    BlendMode = b->BlendMode;
}

bool TBaseBitmapSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TPreviewEditorSlideShowObject::WriteData(stream)) return false;
    stream.WriteBoolean(KeepAspectRatio);
    stream.WriteByte(Alignment);
    stream.WriteDoubleRect(RelativeRect);
    stream.WriteBoolean(Stretch);
    stream.WriteBoolean(FillBackground);
    stream.WriteCardinal(BackgroundColor);
    stream.WriteByte(BlendMode);
    return true;
}

bool TBaseBitmapSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TPreviewEditorSlideShowObject::ReadData(stream)) return false;
    KeepAspectRatio = stream.ReadBooleanValue();
    Alignment = stream.ReadByteValue();
    RelativeRect = stream.ReadDoubleRectValue();
    Stretch = stream.ReadBooleanValue();
    FillBackground = stream.ReadBooleanValue();
    BackgroundColor = stream.ReadCardinalValue();
    BlendMode = stream.ReadByteValue();
    return true;
}

void TBaseBitmapSlideShowObject::Reset() {
    TPreviewEditorSlideShowObject::Reset();
    still_ = TStillDrawing{};
    Bitmap.reset();
    PlayHelper.reset();
    LoadFailed = 0;
    FullPictureSize = TSize{};
}

void TBaseBitmapSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TPreviewEditorSlideShowObject::BuildInitializationSteps(player, step);
    if (!initializationList_) return;
    if (!PreparationStep::Requests(step, PreparationStep::Scale, initializationList_->CurrentStep)) return;
    int32_t estimate = BenchmarkDefaults::Scale;
    if (player)
        estimate = player->GetBenchmark().EstimateTime(
            BenchmarkNames::Scale,
            TPicSizeBenchmarkValue::CreateValue(Bitmap ? Bitmap->Width() : 0, Bitmap ? Bitmap->Height() : 0),
            BenchmarkDefaults::Scale);
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(
        PreparationStep::Scale, estimate, PreparationStep::Scale));
}

bool TBaseBitmapSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    bool result = TPreviewEditorSlideShowObject::ExecuteInitializationStep(player, step);
    try {
        // Only once: the fitting of step 10 may have set the helper's rectangle to the
        // whole area, and a later step must not put the item's own rectangle back.
        if (!PlayHelper) CreatePlayHelper();
        if (step != PreparationStep::Scale) return result;
        return TimedStep(player, BenchmarkNames::Scale,
                         TPicSizeBenchmarkValue::CreateValue(Bitmap ? Bitmap->Width() : 0, Bitmap ? Bitmap->Height() : 0),
                         [&] {
                             return FitBitmapToRect(PlayerArea(player),
                                                    ShowPropertiesOf(GetSlideShow()).GetStretchFilter(), false, Bitmap);
                         });
    } catch (const std::exception&) {
        return false;
    }
}

int32_t TBaseBitmapSlideShowObject::Play(IPlayerServices* player, bool final) {
    TPreviewEditorSlideShowObject::Play(player, final);
    ClearUpdateRect();
    TRect r, u;
    if (Bitmap && player && player->GetBackBuffer() && StillPlacement(player, r, u)) {
        DrawBitmap(player, r, u, 255, final, true);
    } else {
        FinishLateRestore();
        still_ = TStillDrawing{};
    }
    return TimeLeft(player);
}

bool TBaseBitmapSlideShowObject::StillPlacement(IPlayerServices* player, TRect& place, TRect& update) {
    const TRect area = player->GetClientRect();
    place = BitmapTargetRect(area);
    update = FillBackground ? area : place;
    return true;
}

void TBaseBitmapSlideShowObject::DrawBitmap(IPlayerServices* player, const TRect& place, const TRect& update,
                                            uint8_t masterAlpha, bool final, bool still) {
    if (!TakeKeptDrawing()) {
        FinishLateRestore();
        if (!final) SaveBackground(update, player);
        ApplyBlendMode(*Bitmap, masterAlpha);
        Bitmap->DrawTo(*player->GetBackBuffer(), place.Left, place.Top);
        AddUpdateRect(update);
    }
    const IFrameState* frame = FrameStateOf(player);
    still_ = still && frame ? TStillDrawing{frame->RestoreSerial(), Bitmap.get(), TSize{Bitmap->Width(), Bitmap->Height()},
                                            place, update, BlendMode}
                            : TStillDrawing{};
}

bool TBaseBitmapSlideShowObject::DrawsAsLastFrame(IPlayerServices* player) {
    TRect place, update;
    const IFrameState* frame = FrameStateOf(player);
    return frame && Bitmap && still_.Serial && frame->BufferHoldsFrame(still_.Serial) &&
           still_.Bitmap == Bitmap.get() && still_.Size == TSize{Bitmap->Width(), Bitmap->Height()} &&
           still_.Blend == BlendMode && StillPlacement(player, place, update) && place == still_.Place &&
           update == still_.Update;
}

bool TBaseBitmapSlideShowObject::DrawTo(TBitmap32& target, bool) {
    if (FillBackground) target.FillRectS(target.BoundsRect(), BackgroundColor);
    if (Bitmap && !Bitmap->Empty() && !LoadFailed) {
        const TRect r = BitmapTargetRect(target.BoundsRect());
        ApplyBlendMode(*Bitmap, 255);
        Bitmap->DrawTo(target, r.Left, r.Top);
    } else {
        DrawPlaceholder(target);
    }
    return true;
}

bool TBaseBitmapSlideShowObject::NeedsBackground() {
    if (FillBackground) return false;
    if (BlendMode != bmOpaque && BlendMode <= bmLighten) return true;
    const TDoubleRect c = GetCurrentRect();
    return c.Left > 0 || c.Top > 0 || c.Right < 1 || c.Bottom < 1 || !Stretch || KeepAspectRatio;
}

// ---- editor ----

TRect TBaseBitmapSlideShowObject::EditorArea(const TPreviewEditorMouseInfo& info) {
    return info.Bitmap ? info.Bitmap->BoundsRect() : TRect{};
}

void TBaseBitmapSlideShowObject::CreateEditorHelper() {
    if (!EditorHelper) EditorHelper = std::make_unique<TMoveRectPreviewEditorHelper>();
}

TMoveRectPreviewEditorHelper* TBaseBitmapSlideShowObject::RectHelper(const TPreviewEditorMouseInfo& info) {
    CreateEditorHelper();
    auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (h && h->Rect.IsEmpty()) h->Rect = RelToAbsRect(NormalizeDoubleRect(RelativeRect), EditorArea(info));
    return h;
}

TRect TBaseBitmapSlideShowObject::GetEditorRect(const TPreviewEditorMouseInfo& info) {
    return RelToAbsRect(NormalizeDoubleRect(RelativeRect), EditorArea(info));
}

TCursor TBaseBitmapSlideShowObject::GetEditorCursor(const TPreviewEditorMouseInfo& info) {
    auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get());
    if (!h || h->Rect.IsEmpty()) return crDefault;
    return h->GetCursor(info);
}

bool TBaseBitmapSlideShowObject::EditorMouseDown(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseDown(info);
    TMoveRectPreviewEditorHelper* h = RectHelper(info);
    if (!h) return false;
    if (h->MouseDown(info)) {
        SetRelativeRect(AbsToRelRect(h->Rect, EditorArea(info)));
        DoEditorChange();
        return true;
    }
    return h->HitTest(info, h->Rect) != hcNone;
}

bool TBaseBitmapSlideShowObject::EditorMouseMove(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseMove(info);
    TMoveRectPreviewEditorHelper* h = RectHelper(info);
    if (!h) return false;
    const TRect old = h->Rect;
    if (h->MouseMove(info)) {
        const TRect& now = h->Rect;
        uint16_t flags = 0;
        if (RectWidth(now) != RectWidth(old) || RectHeight(now) != RectHeight(old)) flags |= ocSizeDragged;
        if (!(now == old)) flags |= ocRectDragged;
        const TRect area = EditorArea(info);
        RelativeRect = AbsToRelRect(now, area);
        UpdateEditorBitmap(area);
        if (flags) DoChange(flags);
        if (flags & ocSizeDragged) EditorSizeChanged(area);
        DoEditorChange();
    }
    return h->HitTest(info, h->Rect) != hcNone;
}

bool TBaseBitmapSlideShowObject::EditorMouseUp(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::EditorMouseUp(info);
    TMoveRectPreviewEditorHelper* h = RectHelper(info);
    if (!h) return false;
    if (h->MouseUp(info)) {
        RelativeRect = AbsToRelRect(h->Rect, EditorArea(info));
        DoChange(ocVisual);
        DoEditorChange();
    }
    return h->HitTest(info, h->Rect) != hcNone;
}

void TBaseBitmapSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo& info) {
    TPreviewEditorSlideShowObject::PaintEditor(info);
    if (!info.Target) return;
    TRect r = RelToAbsRect(NormalizeDoubleRect(RelativeRect), EditorArea(info));
    OffsetRectBy(r, info.AreaRect.Left, info.AreaRect.Top);
    auto* h = dynamic_cast<TMoveRectPreviewEditorHelper*>(EditorHelper.get());
    DrawSelectionFrame(*info.Target, r, h ? h->HandleSize : 6, 200);
}

void TBaseBitmapSlideShowObject::DrawSelectionFrame(TBitmap32& target, const TRect& r, int32_t handleSize,
                                                    uint8_t alpha) {
    ::DrawSelectionFrame(target, r, handleSize, alpha);
}
