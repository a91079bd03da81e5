// Bitmap items that move and appear: an entrance transition, opacity, rotation and scale
// curves, and a motion path that moves the picture's centre over time.
#pragma once

#include "document/BaseBitmapSlideShowObject.h"
#include "document/TimeToValue.h"
#include "transitions/TransitionPlugin.h"

#include <memory>

class TBaseExtBitmapSlideShowObject : public TBaseBitmapSlideShowObject,
                                      public virtual IOpacityCurveOwner,
                                      public virtual IRotationCurveOwner,
                                      public virtual IScaleCurveOwner,
                                      public virtual IMotionPathOwner,
                                      public virtual IPreviewEditablePath {
    GC_DECLARE_CLASS(TBaseExtBitmapSlideShowObject)
public:
    // A new item reveals itself with a random transition.
    TBaseExtBitmapSlideShowObject();
    ~TBaseExtBitmapSlideShowObject() override;

    // Sets up the transition for this run; True without one. A random transition leaves
    // out the show's excluded classes.
    virtual bool PrepareTransition(IPlayerServices* player);
    virtual void FreeTransition();

    // IPreviewEditablePath.
    int32_t GetSelectedPathKey() override;
    void SetSelectedPathKeyTime(int32_t time) override;
    // Deleting the last keys removes the path.
    void DeleteSelectedPathKey() override;
    void SetSelectedPathKeyLinear(bool flag) override;

    // The curve and path owners.
    TTimeToIntegerValue* GetOpacityCurve() override { return OpacityCurve.get(); }
    TTimeToIntegerValue* CreateOpacityCurve() override;
    void FreeOpacityCurve() override { OpacityCurve.reset(); }
    TTimeToIntegerValue* GetRotationCurve() override { return RotationCurve.get(); }
    TTimeToIntegerValue* CreateRotationCurve() override;
    TTimeToIntegerValue* GetScaleCurve() override { return ScaleCurve.get(); }
    TTimeToIntegerValue* CreateScaleCurve() override;
    TTimeToVector2DValue* GetMotionPath() override { return MotionPath.get(); }
    // A new path starts with one key at 0 ms on the centre of the current rectangle.
    TTimeToVector2DValue* CreateMotionPath() override;

    AnsiString GetEditorFrameClassName() const override { return "TBaseExtBitmapSlideShowObjectPropertyFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;
    void Reset() override;
    int32_t GetLastInitializationStep() const override { return 11; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;

    void CreateEditorHelper() override;
    bool EditorMouseMove(const TPreviewEditorMouseInfo& info) override;
    void SetRelativeRect(const TDoubleRect& r) override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;

    std::unique_ptr<TTimeToIntegerValue> OpacityCurve;   // 0..255
    std::unique_ptr<TTimeToIntegerValue> RotationCurve;  // 0..35999
    std::unique_ptr<TTimeToIntegerValue> ScaleCurve;     // 0..10000
    std::unique_ptr<TTimeToVector2DValue> MotionPath;    // millionths of the show area, not clamped
    std::unique_ptr<TTransitionPlugin> Transition;

protected:
    // The placement at T ms since the start, moved by the motion path.
    TRect AnimatedTargetRect(IPlayerServices* player, int32_t time) const;
    // Replaces the path and points the editor helper at the new one.
    void ReplaceMotionPath(std::unique_ptr<TTimeToVector2DValue> path);
    // Key 0 follows the centre of R.
    void MoveFirstPathKey(const TDoubleRect& r);
    TMoveableRectPreviewEditorHelper* PathHelper() const;

    // Set while the show says to play without transitions: the transition is kept for
    // saving but neither prepared nor drawn.
    bool transitionsDisabled_ = false;
};
