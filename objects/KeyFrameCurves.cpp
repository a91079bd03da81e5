#include "objects/KeyFrameCurves.h"

std::unique_ptr<TTimeToIntegerValue> TKeyFrameCurves::NewCurve(int32_t maxValue) {
    auto curve = std::make_unique<TTimeToIntegerValue>();
    curve->MinValue = 0;
    curve->MaxValue = maxValue;
    return curve;
}

std::unique_ptr<TTimeToVector2DValue> TKeyFrameCurves::NewMotionPath() {
    auto path = std::make_unique<TTimeToVector2DValue>();
    path->Clamp = false;
    return path;
}

TTimeToIntegerValue* TKeyFrameCurves::CreateOpacityCurve() {
    if (!OpacityCurve) OpacityCurve = NewCurve(kMaxOpacity);
    return OpacityCurve.get();
}

TTimeToIntegerValue* TKeyFrameCurves::CreateRotationCurve() {
    if (!RotationCurve) RotationCurve = NewCurve(kMaxRotation);
    return RotationCurve.get();
}

TTimeToIntegerValue* TKeyFrameCurves::CreateScaleCurve() {
    if (!ScaleCurve) ScaleCurve = NewCurve(kMaxScale);
    return ScaleCurve.get();
}

TTimeToVector2DValue* TKeyFrameCurves::CreateMotionPath() {
    if (MotionPath) return MotionPath.get();
    std::unique_ptr<TTimeToVector2DValue> path = NewMotionPath();
    auto key = std::make_unique<TTimeVector2DValue>();
    key->Time = 0;
    key->Value = PathCentre(PathStartRect(), path->MaxValue);
    path->AddKey(std::move(key));
    ReplaceMotionPath(std::move(path));
    return MotionPath.get();
}

std::unique_ptr<TMoveableRectPreviewEditorHelper> TKeyFrameCurves::NewPathHelper() const {
    auto helper = std::make_unique<TMoveableRectPreviewEditorHelper>();
    helper->SetPath(MotionPath.get());
    return helper;
}

void TKeyFrameCurves::ReplaceMotionPath(std::unique_ptr<TTimeToVector2DValue> path) {
    MotionPath = std::move(path);
    if (TMoveableRectPreviewEditorHelper* h = PathHelper()) h->SetPath(MotionPath.get());
}

void TKeyFrameCurves::MoveFirstPathKey(const TDoubleRect& r) {
    if (!MotionPath || MotionPath->KeyCount() == 0) return;
    MotionPath->VecKey(0)->Value = PathCentre(r, MotionPath->MaxValue);
}

void TKeyFrameCurves::DetachPathHelper() {
    if (TMoveableRectPreviewEditorHelper* h = PathHelper()) h->SetPath(nullptr);
}

void TKeyFrameCurves::AssignKeyFrames(const TKeyFrameCurves& source) {
    OpacityCurve.reset();
    RotationCurve.reset();
    ScaleCurve.reset();
    ReplaceMotionPath(nullptr);
    if (source.OpacityCurve) CreateOpacityCurve()->Assign(*source.OpacityCurve);
    if (source.RotationCurve) CreateRotationCurve()->Assign(*source.RotationCurve);
    if (source.ScaleCurve) CreateScaleCurve()->Assign(*source.ScaleCurve);
    if (source.MotionPath) {
        TTimeToVector2DValue* path = CreateMotionPath();
        path->ClearKeys();
        path->Assign(*source.MotionPath);
    }
}

// The selection is the helper's; without a path there is no key to edit, whatever it says.

int32_t TKeyFrameCurves::GetSelectedPathKey() {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    return h && MotionPath ? h->SelectedKey : -1;
}

void TKeyFrameCurves::SetSelectedPathKeyTime(int32_t time) {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    if (h && MotionPath) h->SetSelectedKeyTime(time);
}

void TKeyFrameCurves::DeleteSelectedPathKey() {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    if (!h || !MotionPath) return;
    h->DeleteSelectedKey();
    if (MotionPath->KeyCount() == 0) ReplaceMotionPath(nullptr);
}

void TKeyFrameCurves::SetSelectedPathKeyLinear(bool flag) {
    TMoveableRectPreviewEditorHelper* h = PathHelper();
    if (h && MotionPath) h->SetSelectedKeyLinear(flag);
}
