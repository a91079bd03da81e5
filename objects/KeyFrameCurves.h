// The key-frame curves (opacity, rotation, scale) and the motion path that pictures and
// texts animate with, and the editing of the path's selected key in the preview editor.
// An item derives from it beside its own base and says where its path helper is, which
// rectangle a new path starts on and how a centre becomes path units.
#pragma once

#include "objects/PreviewEditorHelpers.h"
#include "document/SlideShowInterfaces.h"
#include "document/TimeToValue.h"
#include "foundation/DoubleRect.h"

#include <cstdint>
#include <memory>

class TKeyFrameCurves : public virtual IOpacityCurveOwner,
                        public virtual IRotationCurveOwner,
                        public virtual IScaleCurveOwner,
                        public virtual IMotionPathOwner,
                        public virtual IPreviewEditablePath {
public:
    // The curves' ranges; each starts at 0.
    static constexpr int32_t kMaxOpacity = 255;
    static constexpr int32_t kMaxRotation = 35999;  // hundredths of a degree
    static constexpr int32_t kMaxScale = 10000;

    TTimeToIntegerValue* GetOpacityCurve() override { return OpacityCurve.get(); }
    TTimeToIntegerValue* CreateOpacityCurve() override;
    void FreeOpacityCurve() override { OpacityCurve.reset(); }
    TTimeToIntegerValue* GetRotationCurve() override { return RotationCurve.get(); }
    TTimeToIntegerValue* CreateRotationCurve() override;
    TTimeToIntegerValue* GetScaleCurve() override { return ScaleCurve.get(); }
    TTimeToIntegerValue* CreateScaleCurve() override;
    TTimeToVector2DValue* GetMotionPath() override { return MotionPath.get(); }
    // A new path starts with one key at 0 ms on the centre of PathStartRect.
    TTimeToVector2DValue* CreateMotionPath() override;

    // IPreviewEditablePath: the helper's selected key; nothing without a path.
    int32_t GetSelectedPathKey() override;
    void SetSelectedPathKeyTime(int32_t time) override;
    // Deleting the last key removes the path.
    void DeleteSelectedPathKey() override;
    void SetSelectedPathKeyLinear(bool flag) override;

    std::unique_ptr<TTimeToIntegerValue> OpacityCurve;   // 0..kMaxOpacity
    std::unique_ptr<TTimeToIntegerValue> RotationCurve;  // 0..kMaxRotation
    std::unique_ptr<TTimeToIntegerValue> ScaleCurve;     // 0..kMaxScale
    std::unique_ptr<TTimeToVector2DValue> MotionPath;    // millionths of the show area, not clamped

protected:
    TKeyFrameCurves() = default;
    ~TKeyFrameCurves() = default;

    // A curve from 0 to maxValue, and a path without keys, as stored data expects them.
    static std::unique_ptr<TTimeToIntegerValue> NewCurve(int32_t maxValue);
    static std::unique_ptr<TTimeToVector2DValue> NewMotionPath();

    // The item's path helper in the preview editor, if it has one.
    virtual TMoveableRectPreviewEditorHelper* PathHelper() const = 0;
    // The rectangle a new path's first key is the centre of.
    virtual TDoubleRect PathStartRect() const = 0;
    // The centre of R in path units, rounded as the item places it.
    virtual TVector2D PathCentre(const TDoubleRect& r, const TVector2D& maxValue) const = 0;

    // An editor helper for the item's rectangle that shows and edits this path.
    std::unique_ptr<TMoveableRectPreviewEditorHelper> NewPathHelper() const;
    // Replaces the path and points the editor helper at the new one.
    void ReplaceMotionPath(std::unique_ptr<TTimeToVector2DValue> path);
    // Key 0 follows the centre of R.
    void MoveFirstPathKey(const TDoubleRect& r);
    // The helper must not keep pointing at the path while the item goes: the item's
    // destructor calls this while its helper still lives.
    void DetachPathHelper();
    // Copies of source's curves and path in place of these.
    void AssignKeyFrames(const TKeyFrameCurves& source);
};
