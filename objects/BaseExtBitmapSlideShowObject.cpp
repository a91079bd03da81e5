#include "objects/BaseExtBitmapSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
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
    DetachPathHelper();
}

TMoveableRectPreviewEditorHelper* TBaseExtBitmapSlideShowObject::PathHelper() const {
    return dynamic_cast<TMoveableRectPreviewEditorHelper*>(EditorHelper.get());
}

TVector2D TBaseExtBitmapSlideShowObject::PathCentre(const TDoubleRect& r, const TVector2D& maxValue) const {
    const long double w = static_cast<long double>(r.Right) - r.Left, h = static_cast<long double>(r.Bottom) - r.Top;
    return {TruncToInt32((w / 2 + r.Left) * maxValue.X), TruncToInt32((h / 2 + r.Top) * maxValue.Y)};
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
    if (!Bitmap || Bitmap->Empty() || !back) {
        FinishLateRestore();
        return SaturateInt32(int64_t(GetDuration()) - t);
    }
    if (TransitionRuns(t) && !final) {
        if (MotionPath) Transition->SetRect(AnimatedTargetRect(player, t));
        if (DrawTransitionFrame(*Transition, player, *back, t)) return -1;
    }
    const TRect r = AnimatedTargetRect(player, t);
    const TRect u = FillBackground ? player->GetClientRect() : r;
    const int32_t alpha = OpacityCurve ? std::clamp(OpacityCurve->GetValue(t), 0, 255) : 255;
    const bool moves = MotionPath || OpacityCurve || RotationCurve;
    DrawBitmap(player, r, u, uint8_t(alpha), final, !moves);
    if (moves) return -1;
    return SaturateInt32(int64_t(GetDuration()) - t);
}

bool TBaseExtBitmapSlideShowObject::TransitionRuns(int32_t t) const {
    return Transition && !transitionsDisabled_ && !Transition->IsFinished(t);
}

bool TBaseExtBitmapSlideShowObject::StillPlacement(IPlayerServices* player, TRect& place, TRect& update) {
    const int32_t t = SaturateInt32(int64_t(player->GetPlayTime()) - StartTime);
    if (TransitionRuns(t) || MotionPath || OpacityCurve || RotationCurve) return false;
    place = AnimatedTargetRect(player, t);
    update = FillBackground ? player->GetClientRect() : place;
    return true;
}

void TBaseExtBitmapSlideShowObject::Reset() {
    TBaseBitmapSlideShowObject::Reset();
    if (Transition) Transition->Done();
}

void TBaseExtBitmapSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TBaseBitmapSlideShowObject::AssignObject(source);
    auto* e = dynamic_cast<const TBaseExtBitmapSlideShowObject*>(&source);
    if (!e || e == this) return;
    AssignKeyFrames(*e);
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
        if (!ReadCurveBlock(stream, OpacityCurve, [] { return NewCurve(kMaxOpacity); })) return false;
        if (!ReadCurveBlock(stream, RotationCurve, [] { return NewCurve(kMaxRotation); })) return false;
        if (!ReadCurveBlock(stream, ScaleCurve, [] { return NewCurve(kMaxScale); })) return false;
        std::unique_ptr<TTimeToVector2DValue> path;
        const bool pathOk = ReadCurveBlock(stream, path, NewMotionPath);
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
    if (step != PreparationStep::PrepareTransition) return result;
    return ExecuteTransitionStep(player, [&] { return PrepareTransition(player); });
}

// ---- editor ----

void TBaseExtBitmapSlideShowObject::CreateEditorHelper() {
    if (!EditorHelper) EditorHelper = NewPathHelper();
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

void TBaseExtBitmapSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo& info) {
    TBaseBitmapSlideShowObject::PaintEditor(info);
    if (!info.Target || !MotionPath) return;
    const TRect area = EditorArea(info);
    PaintMotionPath(*info.Target, *MotionPath, GetDuration(), RectWidth(area), RectHeight(area), info.AreaRect.Left,
                    info.AreaRect.Top, PathHelper());
}
