#include "document/BaseExtBitmapSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/SlideShowProperties.h"
#include "foundation/Benchmark.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"
#include "graphics/DrawingTools.h"
#include "platform/ConfigureDialog.h"

#include <algorithm>
#include <cstdio>

GC_IMPLEMENT_PLUGIN(TBaseExtBitmapSlideShowObject, TBaseBitmapSlideShowObject)

namespace {

std::unique_ptr<TTimeToIntegerValue> NewCurve(int32_t minValue, int32_t maxValue) {
    auto curve = std::make_unique<TTimeToIntegerValue>();
    curve->MinValue = minValue;
    curve->MaxValue = maxValue;
    return curve;
}

std::unique_ptr<TTimeToVector2DValue> NewPath() {
    auto path = std::make_unique<TTimeToVector2DValue>();
    path->Clamp = false;
    return path;
}

// The centre of a relative rectangle in path units.
TVector2D CentreInPathUnits(const TDoubleRect& r, const TVector2D& maxValue) {
    const long double w = static_cast<long double>(r.Right) - r.Left, h = static_cast<long double>(r.Bottom) - r.Top;
    return {TruncToInt32((w / 2 + r.Left) * maxValue.X), TruncToInt32((h / 2 + r.Top) * maxValue.Y)};
}

// One block: the present flag and, when present, the curve's keys.
template <class Curve>
void WriteCurveBlock(TOKFStreamWinTypes& stream, const Curve* curve) {
    stream.BeginWriteBlock();
    stream.WriteInteger(curve ? 1 : 0);
    if (curve) curve->WriteData(stream);
    stream.EndWriteBlock();
}

// The mirror image; the block's end is found by its length whatever was read.
template <class Curve, class Make>
bool ReadCurveBlock(TOKFStreamWinTypes& stream, std::unique_ptr<Curve>& curve, Make make) {
    stream.BeginReadBlock();
    curve.reset();
    bool ok = true;
    if (stream.ReadIntegerValue() == 1) {
        curve = make();
        ok = curve->ReadData(stream);
    }
    stream.EndReadBlock();
    return ok;
}

}  // namespace

TBaseExtBitmapSlideShowObject::TBaseExtBitmapSlideShowObject() : Transition(std::make_unique<TRandomTransitionPlugin>()) {}

TBaseExtBitmapSlideShowObject::~TBaseExtBitmapSlideShowObject() {
    // The helper must not keep pointing at the path while the item goes.
    if (TMoveableRectPreviewEditorHelper* h = PathHelper()) h->SetPath(nullptr);
}

TMoveableRectPreviewEditorHelper* TBaseExtBitmapSlideShowObject::PathHelper() const {
    return dynamic_cast<TMoveableRectPreviewEditorHelper*>(EditorHelper.get());
}

void TBaseExtBitmapSlideShowObject::ReplaceMotionPath(std::unique_ptr<TTimeToVector2DValue> path) {
    MotionPath = std::move(path);
    if (TMoveableRectPreviewEditorHelper* h = PathHelper()) h->SetPath(MotionPath.get());
}

TTimeToIntegerValue* TBaseExtBitmapSlideShowObject::CreateOpacityCurve() {
    if (!OpacityCurve) OpacityCurve = NewCurve(0, 255);
    return OpacityCurve.get();
}

TTimeToIntegerValue* TBaseExtBitmapSlideShowObject::CreateRotationCurve() {
    if (!RotationCurve) RotationCurve = NewCurve(0, 35999);
    return RotationCurve.get();
}

TTimeToIntegerValue* TBaseExtBitmapSlideShowObject::CreateScaleCurve() {
    if (!ScaleCurve) ScaleCurve = NewCurve(0, 10000);
    return ScaleCurve.get();
}

TTimeToVector2DValue* TBaseExtBitmapSlideShowObject::CreateMotionPath() {
    if (MotionPath) return MotionPath.get();
    std::unique_ptr<TTimeToVector2DValue> path = NewPath();
    auto key = std::make_unique<TTimeVector2DValue>();
    key->Time = 0;
    key->Value = CentreInPathUnits(GetCurrentRect(), path->MaxValue);
    path->AddKey(std::move(key));
    ReplaceMotionPath(std::move(path));
    return MotionPath.get();
}

bool TBaseExtBitmapSlideShowObject::PrepareTransition(IPlayerServices* player) {
    return !Transition || InitTransition(*Transition, player);
}

void TBaseExtBitmapSlideShowObject::FreeTransition() { Transition.reset(); }

TRect TBaseExtBitmapSlideShowObject::AnimatedTargetRect(IPlayerServices* player, int32_t time) const {
    TRect r = BitmapTargetRect(player ? player->GetClientRect() : TRect{});
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (MotionPath && back) {
        TVector2D p;
        MotionPath->GetScaledValue(time, back->Width(), p, back->Height());
        MoveRectTo(SaturateInt32(p.X - (int64_t(r.Right) - r.Left) / 2),
                   SaturateInt32(p.Y - (int64_t(r.Bottom) - r.Top) / 2), r);
    }
    return r;
}

int32_t TBaseExtBitmapSlideShowObject::Play(IPlayerServices* player, bool final) {
    TPlayableSlideShowObject::Play(player, final);
    const int32_t t = SaturateInt32(int64_t(player ? player->GetPlayTime() : 0) - StartTime);
    ClearUpdateRect();
    TBitmap32* back = player ? player->GetBackBuffer() : nullptr;
    if (!Bitmap || Bitmap->Empty() || !back) return SaturateInt32(int64_t(GetDuration()) - t);
    if (Transition && !transitionsDisabled_ && !final && !Transition->IsFinished(t)) {
        if (MotionPath) Transition->SetRect(AnimatedTargetRect(player, t));
        if (DrawTransitionFrame(*Transition, player, *back, t)) return -1;
    }
    const TRect r = AnimatedTargetRect(player, t);
    const TRect u = FillBackground ? player->GetClientRect() : r;
    const int32_t alpha = OpacityCurve ? std::clamp(OpacityCurve->GetValue(t), 0, 255) : 255;
    if (!final) SaveBackground(u, player);
    ApplyBlendMode(*Bitmap, uint8_t(alpha));
    Bitmap->DrawTo(*back, r.Left, r.Top);
    AddUpdateRect(u);
    if (MotionPath || OpacityCurve || RotationCurve) return -1;
    return SaturateInt32(int64_t(GetDuration()) - t);
}

void TBaseExtBitmapSlideShowObject::Reset() {
    TBaseBitmapSlideShowObject::Reset();
    if (Transition) Transition->Done();
}

void TBaseExtBitmapSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TBaseBitmapSlideShowObject::AssignObject(source);
    auto* e = dynamic_cast<const TBaseExtBitmapSlideShowObject*>(&source);
    if (!e || e == this) return;
    OpacityCurve.reset();
    RotationCurve.reset();
    ScaleCurve.reset();
    ReplaceMotionPath(nullptr);
    if (e->OpacityCurve) CreateOpacityCurve()->Assign(*e->OpacityCurve);
    if (e->RotationCurve) CreateRotationCurve()->Assign(*e->RotationCurve);
    if (e->ScaleCurve) CreateScaleCurve()->Assign(*e->ScaleCurve);
    if (e->MotionPath) {
        TTimeToVector2DValue* path = CreateMotionPath();
        path->ClearKeys();
        path->Assign(*e->MotionPath);
    }
    Transition = e->Transition ? e->Transition->Clone() : nullptr;
}

bool TBaseExtBitmapSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TBaseBitmapSlideShowObject::WriteData(stream)) return false;
    try {
        WriteCurveBlock(stream, OpacityCurve.get());
        WriteCurveBlock(stream, RotationCurve.get());
        WriteCurveBlock(stream, ScaleCurve.get());
        WriteCurveBlock(stream, MotionPath.get());
        return WriteTransitionBlock(stream, Transition.get());
    } catch (const std::exception&) {
        return false;
    }
}

bool TBaseExtBitmapSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TBaseBitmapSlideShowObject::ReadData(stream)) return false;
    TReadBlockGuard guard(stream);
    try {
        if (!ReadCurveBlock(stream, OpacityCurve, [] { return NewCurve(0, 255); })) return false;
        if (!ReadCurveBlock(stream, RotationCurve, [] { return NewCurve(0, 35999); })) return false;
        if (!ReadCurveBlock(stream, ScaleCurve, [] { return NewCurve(0, 10000); })) return false;
        std::unique_ptr<TTimeToVector2DValue> path;
        const bool pathOk = ReadCurveBlock(stream, path, NewPath);
        ReplaceMotionPath(std::move(path));
        if (!pathOk) return false;
        return ReadTransitionBlock(stream, Transition);
    } catch (const std::exception&) {
        return false;
    }
}

void TBaseExtBitmapSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TBaseBitmapSlideShowObject::BuildInitializationSteps(player, step);
    // The transition stays with the item, so a show saved after playing keeps it.
    transitionsDisabled_ = ShowPropertiesOf(GetSlideShow()).DisableTransitions;
    if (!transitionsDisabled_) AddTransitionStep(player, step);
}

bool TBaseExtBitmapSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    bool result = TBaseBitmapSlideShowObject::ExecuteInitializationStep(player, step);
    if (step != 11) return result;
    return ExecuteTransitionStep(player, [&] { return PrepareTransition(player); });
}

// ---- editor ----

void TBaseExtBitmapSlideShowObject::CreateEditorHelper() {
    if (EditorHelper) return;
    auto helper = std::make_unique<TMoveableRectPreviewEditorHelper>();
    helper->SetPath(MotionPath.get());
    EditorHelper = std::move(helper);
}

void TBaseExtBitmapSlideShowObject::MoveFirstPathKey(const TDoubleRect& r) {
    if (!MotionPath || MotionPath->KeyCount() == 0) return;
    MotionPath->VecKey(0)->Value = CentreInPathUnits(r, MotionPath->MaxValue);
}

bool TBaseExtBitmapSlideShowObject::EditorMouseMove(const TPreviewEditorMouseInfo& info) {
    const bool result = TBaseBitmapSlideShowObject::EditorMouseMove(info);
    if (info.Shift & ssLeft) MoveFirstPathKey(RelativeRect);
    return result;
}

void TBaseExtBitmapSlideShowObject::SetRelativeRect(const TDoubleRect& r) {
    MoveFirstPathKey(r);
    TBaseBitmapSlideShowObject::SetRelativeRect(r);
}

int32_t TBaseExtBitmapSlideShowObject::GetSelectedPathKey() {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    return h ? h->SelectedKey : -1;
}

void TBaseExtBitmapSlideShowObject::SetSelectedPathKeyTime(int32_t time) {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    if (MotionPath && h) h->SetSelectedKeyTime(time);
}

void TBaseExtBitmapSlideShowObject::DeleteSelectedPathKey() {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    if (!h || !MotionPath) return;
    h->DeleteSelectedKey();
    if (MotionPath->KeyCount() == 0) ReplaceMotionPath(nullptr);
}

void TBaseExtBitmapSlideShowObject::SetSelectedPathKeyLinear(bool flag) {
    if (TMoveableRectPreviewEditorHelper* h = PathHelper()) h->SetSelectedKeyLinear(flag);
}

void TBaseExtBitmapSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo& info) {
    TBaseBitmapSlideShowObject::PaintEditor(info);
    if (!info.Target || !MotionPath) return;
    const TRect area = EditorArea(info);
    PaintMotionPath(*info.Target, *MotionPath, GetDuration(), RectWidth(area), RectHeight(area), info.AreaRect.Left,
                    info.AreaRect.Top, PathHelper());
}
