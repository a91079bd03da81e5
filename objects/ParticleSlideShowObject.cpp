#include "objects/ParticleSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowProperties.h"
#include "foundation/Benchmark.h"
#include "foundation/ExternalPluginManager.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"
#include "graphics/PictureFormats.h"
#include "graphics/PictureRegistry.h"
#include "platform/DebugOutput.h"
#include "platform/Random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

GC_IMPLEMENT_PLUGIN(TParticleSlideShowObject, TBaseExtBitmapSlideShowObject)

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Round half to even, saturated to 32 bits; no number gives 0.
int32_t RoundToInt32(double v) {
    if (std::isnan(v)) return 0;
    return int32_t(std::nearbyint(std::clamp(v, -2147483648.0, 2147483647.0)));
}

// Into [0, 2 pi); a full turn and anything that is no number is 0.
double NormalizeAngle(double a) {
    if (!std::isfinite(a)) return 0;
    a = std::fmod(a, kTwoPi);
    if (a < 0) a += kTwoPi;
    return a >= kTwoPi ? 0 : a;
}

TRect ClipTo(const TRect& r, const TBitmap32& b) { return IntersectRect(r, b.BoundsRect()); }

// A stored Single that is no number reads its default.
float FiniteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

}  // namespace

double DistanceToBorder(double angle, double x, double y) {
    const double a = NormalizeAngle(angle);
    const double t = std::fabs(std::tan(a)), s = std::sin(a), c = std::cos(a);
    constexpr double half = std::numbers::pi / 2;
    double d;
    if (a < half) d = y + t * (1 - x) >= 1 ? (1 - y) / s : (1 - x) / c;
    else if (a < 2 * half) d = y + t * (1 + x) >= 1 ? (1 - y) / s : (1 + x) / c;
    else if (a < 3 * half) d = y - t * (1 + x) <= -1 ? (1 + y) / s : (1 + x) / c;
    else d = y - t * (1 - x) <= -1 ? (1 + y) / s : (1 - x) / c;
    d = std::fabs(d);
    // A point on the border straight ahead divides 0 by 0: it is there already.
    return std::isfinite(d) ? d : 0;
}

// ---- particles ----

TParticle::TParticle() { TParticle::Reset(); }

TParticle::~TParticle() = default;

void TParticle::FreeBackground() { Background.reset(); }

void TParticle::SaveBackground(const TBitmap32& target, const TRect& r) {
    BackgroundRestored = false;
    const TRect b = ClipTo(GetBounds(r), target);
    if (b.IsEmpty()) {
        FreeBackground();
        return;
    }
    if (!Background) Background = std::make_unique<TBitmap32>();
    // Every pixel is copied below.
    Background->SetSizeForOverwrite(RectWidth(b), RectHeight(b));
    Background->DrawMode = dmOpaque;
    Background->MasterAlpha = 255;
    for (int y = b.Top; y < b.Bottom; ++y)
        std::copy_n(target.ScanLine(y) + b.Left, RectWidth(b), Background->ScanLine(y - b.Top));
    BackgroundX = b.Left;
    BackgroundY = b.Top;
}

void TParticle::RestoreBackground(TBitmap32& target) {
    if (!BackgroundRestored && Background) Background->DrawTo(target, BackgroundX, BackgroundY);
    BackgroundRestored = true;
}

TPoint TParticle::GetCenter(const TRect& r) const {
    return TPoint{SaturateInt32(r.Left + int64_t(RoundToInt32(double(RectWidth(r)) * (double(X) + 1) * 0.5))),
                  SaturateInt32(r.Top + int64_t(RoundToInt32(double(RectHeight(r)) * (double(Y) + 1) * 0.5)))};
}

TRect TParticle::GetBounds(const TRect& r) const {
    const TPoint c = GetCenter(r);
    const int64_t left = int64_t(c.X) - GetWidth() / 2, top = int64_t(c.Y) - GetHeight() / 2;
    return TRect{SaturateInt32(left), SaturateInt32(top), SaturateInt32(left + GetWidth()),
                 SaturateInt32(top + GetHeight())};
}

void TParticle::Reset() {
    OffsetX = OffsetY = 0;
    X = Y = 0;
    OriginX = OriginY = 0;
    Travelled = 0;
    Phase = float(RandomReal());
    Scale = 1;
    FreeBackground();
}

void TBitmapParticle::Draw(TBitmap32& target, const TRect& r, TRect& drawn, bool scaled, uint8_t alpha) {
    if (!Picture) {
        drawn = TRect{};
        return;
    }
    drawn = GetBounds(r);
    Picture->MasterAlpha = alpha;
    if (!scaled) {
        Picture->DrawTo(target, drawn.Left, drawn.Top);
        return;
    }
    const int32_t side = std::max(1, RoundToInt32(std::min(RectWidth(r), RectHeight(r)) * double(Scale)));
    const int32_t pw = Picture->Width(), ph = Picture->Height();
    int32_t w = side, h = side;
    if (ph >= pw) w = std::max(1, RoundToInt32(double(pw) / ph * side));
    else h = std::max(1, RoundToInt32(double(ph) / pw * side));
    drawn = TRect{drawn.Left, drawn.Top, SaturateInt32(int64_t(drawn.Left) + w), SaturateInt32(int64_t(drawn.Top) + h)};
    const TStretchFilter filter = Picture->StretchFilter;
    Picture->StretchFilter = sfNearest;
    Picture->StretchTo(target, drawn.Left, drawn.Top, drawn.Right, drawn.Bottom);
    Picture->StretchFilter = filter;
}

// ---- the item ----

TParticleSlideShowObject::TParticleSlideShowObject() = default;

TParticleSlideShowObject::~TParticleSlideShowObject() = default;

std::vector<AnsiString> TParticleSlideShowObject::GetFileNameList() const { return SplitLines(FileNames); }

bool TParticleSlideShowObject::LoadParticlePicture(const AnsiString& fileName, int32_t pixelSize,
                                                   uint8_t stretchFilter) {
    TBitmap32 loaded;
    {
        std::lock_guard lock(PictureLock());
        loaded = LoadPictureFromFile(fileName);
    }
    if (loaded.Width() < 1 || loaded.Height() < 1) throw Exception("Error Loading Picture: " + fileName);
    CreatePictureList();
    const int32_t size = std::max(pixelSize, 1);
    int32_t w = size, h = size;
    if (loaded.Height() >= loaded.Width()) w = std::max(1, RoundToInt32(double(loaded.Width()) / loaded.Height() * size));
    else h = std::max(1, RoundToInt32(double(loaded.Height()) / loaded.Width() * size));
    auto picture = std::make_unique<TBitmap32>();
    picture->SetSize(w, h);
    loaded.DrawMode = dmOpaque;
    loaded.StretchFilter = TStretchFilter(std::min<uint8_t>(stretchFilter, sfMitchell));
    loaded.StretchTo(*picture, 0, 0, w, h);
    picture->DrawMode = dmBlend;
    Pictures->push_back(std::move(picture));
    return true;
}

void TParticleSlideShowObject::CreateParticleList() {
    if (!Particles) Particles = std::make_unique<TParticleList>();
}

void TParticleSlideShowObject::CreatePictureList() {
    if (!Pictures) Pictures = std::make_unique<std::vector<std::unique_ptr<TBitmap32>>>();
}

void TParticleSlideShowObject::InitParticle(TParticle& p, const TRect&, bool respawn) {
    p.Reset();
    p.Scale = ParticleSize;
    double x = 1 - 2 * RandomReal(), y = 1 - 2 * RandomReal();
    // Back against the direction, so that the way out of the square is Diagonal long.
    const double back = std::clamp<double>(Diagonal - DistanceToBorder(Direction, x, y), 0, Diagonal);
    x -= DirCos * back;
    y -= DirSin * back;
    p.Travelled = 0;
    if (!respawn) {
        p.Travelled = float(RandomReal() * Diagonal);
        x += DirCos * p.Travelled;
        y += DirSin * p.Travelled;
    }
    p.OriginX = float(x);
    p.OriginY = float(y);
    if (auto* b = dynamic_cast<TBitmapParticle*>(&p); b && Pictures && !Pictures->empty())
        b->Picture = (*Pictures)[size_t(Random(int32_t(Pictures->size())))].get();
}

void TParticleSlideShowObject::AddParticle(const TRect& r) {
    auto p = std::make_unique<TBitmapParticle>();
    p->Scale = ParticleSize;
    InitParticle(*p, r, false);
    CreateParticleList();
    Particles->Add(std::move(p));
}

TRect TParticleSlideShowObject::ParticleRect(const TBitmap32& target) const {
    return ClipTo(RelToAbsRect(GetCurrentRect(), target.BoundsRect()), target);
}

int32_t TParticleSlideShowObject::GetParticlePixelSize(const TRect& r) const {
    const double size = std::clamp<double>(ParticleSize, 0, 1);
    return std::max(1, RoundToInt32(std::min(RectHeight(r) * size, RectWidth(r) * size)));
}

bool TParticleSlideShowObject::LoadParticles(TBitmap32& target, uint8_t stretchFilter) {
    FreePictureList();
    FreeParticleList();
    const TRect r = ParticleRect(target);
    const std::vector<AnsiString> files = GetResolvedFileNames();
    const int32_t pixelSize = GetParticlePixelSize(r);
    bool any = false;
    for (const AnsiString& file : files) {
        // One bad file leaves only its own particles out.
        try {
            any = LoadParticlePicture(file, pixelSize, stretchFilter) || any;
        } catch (const std::exception& e) {
            OutputDebugString(AnsiString("Partikel: ") + e.what() + " (" + file + ")");
        }
    }
    if (!files.empty() && !any) {
        FreePictureList();
        LoadFailed = 1;
        return false;
    }
    const double a = NormalizeAngle(Direction);
    DirSin = float(std::sin(a));
    DirCos = float(std::cos(a));
    SideSin = float(std::sin(a + std::numbers::pi / 2));
    SideCos = float(std::cos(a + std::numbers::pi / 2));
    Diagonal = float(std::sqrt(8.0));
    LastFrameTime = -1;
    CreateParticleList();
    const int32_t count = std::clamp(ParticleCount, 0, MaxParticleCount);
    for (int32_t i = 0; i < count; ++i) AddParticle(r);
    return true;
}

// ---- file references ----

AnsiString TParticleSlideShowObject::GetResolvedFileName() const {
    const std::vector<AnsiString> names = GetResolvedFileNames();
    return names.empty() ? AnsiString() : names.front();
}

std::vector<AnsiString> TParticleSlideShowObject::GetResolvedFileNames() const {
    std::vector<AnsiString> names = GetFileNameList();
    for (AnsiString& name : names) name = FileToOpen(name);
    return names;
}

std::vector<AnsiString> TParticleSlideShowObject::GetExistingFileNames() const {
    std::vector<AnsiString> names;
    for (const AnsiString& name : GetFileNameList()) names.push_back(ResolveFileName(name));
    return names;
}

void TParticleSlideShowObject::ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) {
    std::vector<AnsiString> names = GetFileNameList();
    for (AnsiString& name : names) {
        if (name == oldName) {
            name = newName;
            continue;
        }
        const AnsiString resolved = ResolveFileName(name);
        if (!resolved.empty() && resolved == oldName) name = newName;
    }
    FileNames = JoinLines(names);
}

AnsiString TParticleSlideShowObject::GetFileName() const {
    const std::vector<AnsiString> names = GetFileNameList();
    return names.empty() ? AnsiString() : names.front();
}

void TParticleSlideShowObject::AssignFileName(const AnsiString& value) {
    std::vector<AnsiString> names = GetFileNameList();
    names.push_back(value);
    FileNames = JoinLines(names);
}

std::vector<AnsiString> TParticleSlideShowObject::GetFileExtensions() const { return CopyPictureExtensionList(false); }

// ---- stored form ----

void TParticleSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TBaseExtBitmapSlideShowObject::AssignObject(source);
    auto* p = dynamic_cast<const TParticleSlideShowObject*>(&source);
    if (!p || p == this) return;
    FileNames = p->FileNames;
    Direction = p->Direction;
    Speed = p->Speed;
    ReservedValue = p->ReservedValue;
    ParticleCount = p->ParticleCount;
    ParticleSize = p->ParticleSize;
    MotionKind = p->MotionKind;
    Amplitude = p->Amplitude;
    Frequency = p->Frequency;
}

bool TParticleSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TBaseExtBitmapSlideShowObject::WriteData(stream)) return false;
    try {
        stream.WriteString(FileNames);
        stream.WriteInteger(ParticleCount);
        stream.WriteSingle(Direction);
        stream.WriteSingle(Speed);
        stream.WriteSingle(ReservedValue);
        stream.WriteSingle(ParticleSize);
        stream.WriteByte(MotionKind);
        stream.WriteSingle(Amplitude);
        stream.WriteSingle(Frequency);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TParticleSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TBaseExtBitmapSlideShowObject::ReadData(stream)) return false;
    try {
        FileNames = stream.ReadStringValue();
        ParticleCount = std::clamp(stream.ReadIntegerValue(), 0, MaxParticleCount);
        Direction = FiniteOr(stream.ReadSingleValue(), 4.712389f);
        Speed = FiniteOr(stream.ReadSingleValue(), 0.1f);
        ReservedValue = stream.ReadSingleValue();
        // A particle no larger than the shorter side of the rectangle.
        ParticleSize = std::clamp(FiniteOr(stream.ReadSingleValue(), 0.1f), 0.0f, 1.0f);
        MotionKind = stream.ReadByteValue();
        Amplitude = FiniteOr(stream.ReadSingleValue(), 0.1f);
        Frequency = FiniteOr(stream.ReadSingleValue(), 0.5f);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- preparation and play ----

void TParticleSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    // Straight to the item base: the bitmap steps (scaling, transition) are not ours.
    TPreviewEditorSlideShowObject::BuildInitializationSteps(player, step);
    if (!initializationList_) return;
    if (!PreparationStep::Requests(step, PreparationStep::LoadParticles, initializationList_->CurrentStep)) return;
    const std::vector<AnsiString> files = GetResolvedFileNames();
    const int32_t fallback = SaturateInt32(int64_t(BenchmarkDefaults::LoadFilesPerFile) * int64_t(files.size()));
    int32_t estimate = fallback;
    if (player)
        estimate = player->GetBenchmark().EstimateTime(BenchmarkNames::LoadFiles,
                                                        TFilesSizeBenchmarkValue::CreateValue(files), fallback);
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(
        PreparationStep::LoadParticles, estimate, PreparationStep::LoadParticles));
}

bool TParticleSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    const bool result = TPreviewEditorSlideShowObject::ExecuteInitializationStep(player, step);
    if (step != PreparationStep::LoadParticles) return result;
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (!back) {
        LoadFailed = 1;
        return false;
    }
    try {
        return TimedStep(player, BenchmarkNames::LoadFiles, TFilesSizeBenchmarkValue::CreateValue(GetResolvedFileNames()),
                         [&] { return LoadParticles(*back, ShowPropertiesOf(GetSlideShow()).GetStretchFilter()); });
    } catch (const std::exception&) {
        LoadFailed = 1;
        return false;
    }
}

void TParticleSlideShowObject::MoveParticle(TParticle& p, int32_t time) {
    double a = kTwoPi * (time / 1000.0 * Frequency + p.Phase);
    // Neighbours sway against each other.
    if (p.Phase > 0.5f) a = kTwoPi - a;
    switch (MotionKind) {
    case pmStraight: p.OffsetX = p.OffsetY = 0; break;
    case pmSway:
        p.OffsetX = float(std::sin(a) * Amplitude);
        p.OffsetY = 0;
        break;
    case pmCircle:
        p.OffsetX = float(std::sin(a) * Amplitude);
        p.OffsetY = float(std::cos(a) * Amplitude);
        break;
    case pmJitter:
        p.OffsetX = float(p.OffsetX + (0.5 - RandomReal()) * Amplitude);
        p.OffsetY = 0;
        break;
    case pmRandomWalk:
        p.OffsetX = float(p.OffsetX + (0.5 - RandomReal()) * Amplitude);
        p.OffsetY = float(p.OffsetY + (0.5 - RandomReal()) * Amplitude);
        break;
    default: break;
    }
    p.X = p.OriginX + DirCos * p.Travelled + SideCos * p.OffsetX + SideSin * p.OffsetY;
    p.Y = p.OriginY + DirSin * p.Travelled + SideSin * p.OffsetX + SideCos * p.OffsetY;
}

int32_t TParticleSlideShowObject::Play(IPlayerServices* player, bool final) {
    // Playing from the first frame on, so the started event fires once.
    TPlayableSlideShowObject::Play(player, final);
    ClearUpdateRect();
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    const int32_t now = player ? player->GetPlayTime() : 0;
    if (!back || !Particles) return -1;
    const int32_t t = SaturateInt32(int64_t(now) - StartTime);
    // The first frame moves nothing: the first fill spread the particles along their
    // ways already, and advancing them by all the time since the start (a run resumed
    // or jumped into the middle) would send most out at once and bring them in again
    // side by side in one line.
    const int64_t delta = LastFrameTime == -1 ? 0 : int64_t(now) - LastFrameTime;
    TRect r = ParticleRect(*back);
    if (MotionPath) {
        TVector2D c;
        MotionPath->GetScaledValue(t, back->Width(), c, back->Height());
        MoveRectTo(SaturateInt32(c.X - (int64_t(r.Right) - r.Left) / 2),
                   SaturateInt32(c.Y - (int64_t(r.Bottom) - r.Top) / 2), r);
    }
    const uint8_t alpha = OpacityCurve ? uint8_t(std::clamp(OpacityCurve->GetValue(t), 0, 255)) : 255;
    const double step = double(delta) / 1000 * Speed * Diagonal;
    const double limit = (1 + double(ParticleSize)) * Diagonal;
    for (int i = 0; i < Particles->Count(); ++i) {
        TParticle& p = *Particles->GetItem(i);
        p.Travelled = float(p.Travelled + step);
        // A particle gone out comes in again upstream, at a new place.
        if (!(p.Travelled <= limit)) InitParticle(p, r, true);
    }
    TRect around;
    int64_t separate = 0;
    for (int i = 0; i < Particles->Count(); ++i) {
        TParticle& p = *Particles->GetItem(i);
        MoveParticle(p, t);
        const TRect b = ClipTo(p.GetBounds(r), *back);
        if (b.IsEmpty()) continue;
        separate += int64_t(RectWidth(b)) * RectHeight(b);
        around = around.IsEmpty() ? b : UnionRect(around, b);
    }
    // Every copy is taken before any particle draws, so one copy of the rectangle around
    // them all puts back the same pixels as all of them.
    const bool shared = alpha != 0 && separate > int64_t(RectWidth(around)) * RectHeight(around);
    for (int i = 0; i < Particles->Count(); ++i) {
        TParticle& p = *Particles->GetItem(i);
        if (alpha == 0 || shared) p.FreeBackground();
        else p.SaveBackground(*back, r);
    }
    if (shared) {
        if (!SharedBackground) SharedBackground = std::make_unique<TBitmap32>();
        // Every pixel is copied below.
        SharedBackground->SetSizeForOverwrite(RectWidth(around), RectHeight(around));
        SharedBackground->DrawMode = dmOpaque;
        SharedBackground->MasterAlpha = 255;
        for (int y = around.Top; y < around.Bottom; ++y)
            std::copy_n(back->ScanLine(y) + around.Left, RectWidth(around), SharedBackground->ScanLine(y - around.Top));
        SharedBackgroundAt = TPoint{around.Left, around.Top};
        SharedBackgroundRestored = false;
    } else {
        SharedBackground.reset();
        SharedBackgroundRestored = true;
    }
    for (int i = 0; i < Particles->Count(); ++i) {
        TParticle& p = *Particles->GetItem(i);
        if (!(p.Travelled >= 0)) continue;
        TRect drawn;
        p.Draw(*back, r, drawn, false, alpha);
        AddUpdateRect(drawn);
    }
    LastFrameTime = now;
    UpdateRect = ClipTo(UpdateRect, *back);
    return -1;
}

void TParticleSlideShowObject::RestoreBackground(IPlayerServices* player) {
    ClearUpdateRect();
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (!back || !Particles) return;
    for (int i = Particles->Count() - 1; i >= 0; --i) {
        TParticle& p = *Particles->GetItem(i);
        if (!p.BackgroundRestored && p.Background)
            AddUpdateRect(Bounds(p.BackgroundX, p.BackgroundY, p.Background->Width(), p.Background->Height()));
        p.RestoreBackground(*back);
    }
    if (!SharedBackgroundRestored && SharedBackground) {
        AddUpdateRect(Bounds(SharedBackgroundAt.X, SharedBackgroundAt.Y, SharedBackground->Width(),
                             SharedBackground->Height()));
        SharedBackground->DrawTo(*back, SharedBackgroundAt.X, SharedBackgroundAt.Y);
    }
    SharedBackgroundRestored = true;
}

int64_t TParticleSlideShowObject::SavedBackgroundPixels() const {
    int64_t n = SharedBackground ? int64_t(SharedBackground->Width()) * SharedBackground->Height() : 0;
    if (Particles)
        for (int i = 0; i < Particles->Count(); ++i)
            if (const TBitmap32* b = Particles->GetItem(i)->Background.get()) n += int64_t(b->Width()) * b->Height();
    return n;
}

void TParticleSlideShowObject::Reset() {
    TBaseExtBitmapSlideShowObject::Reset();
    FreeParticleList();
    FreePictureList();
    SharedBackground.reset();
    SharedBackgroundRestored = true;
    LastFrameTime = -1;
}

bool TParticleSlideShowObject::DrawTo(TBitmap32& target, bool) {
    if (!Pictures || !Particles || LoadFailed) {
        DrawPlaceholder(target);
        return true;
    }
    const TRect r = ParticleRect(target);
    for (int i = 0; i < Particles->Count(); ++i) {
        TRect drawn;
        Particles->GetItem(i)->Draw(target, r, drawn, true, 255);
    }
    return true;
}

bool TParticleSlideShowObject::Prepare(TBitmap32& target) {
    TBaseExtBitmapSlideShowObject::Prepare(target);
    try {
        LoadParticles(target, sfLinear);
    } catch (const std::exception&) {
        LoadFailed = 1;
    }
    return IsPrepared();
}

// ---- module ----

namespace {
TCountedRegistration<TParticleSlideShowObject> registration;
}

void InitializeParticleSlideShowObjects(TPlugins& plugins) { registration.Initialize(plugins); }

void FinalizeParticleSlideShowObjects(TPlugins& plugins) { registration.Finalize(plugins); }
