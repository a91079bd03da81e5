// Bitmap items that move and appear: an entrance transition, opacity, rotation and scale
// curves, and a motion path that moves the picture's centre over time.
#pragma once

#include "objects/BaseBitmapSlideShowObject.h"
#include "objects/KeyFrameCurves.h"
#include "document/PreparationSteps.h"
#include "document/TimeToValue.h"
#include "transitions/TransitionPlugin.h"

#include <memory>

class TBaseExtBitmapSlideShowObject : public TBaseBitmapSlideShowObject, public TKeyFrameCurves {
    GC_DECLARE_CLASS(TBaseExtBitmapSlideShowObject)
public:
    // A new item reveals itself with a random transition.
    TBaseExtBitmapSlideShowObject();
    ~TBaseExtBitmapSlideShowObject() override;

    // Sets up the transition for this run; True without one. A random transition leaves
    // out the show's excluded classes.
    virtual bool PrepareTransition(IPlayerServices* player);
    virtual void FreeTransition();

    AnsiString GetEditorFrameClassName() const override { return "TBaseExtBitmapSlideShowObjectPropertyFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;
    void Reset() override;
    int32_t GetLastInitializationStep() const override { return PreparationStep::PrepareTransition; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;
    // A transition frame blends the saved background in as it draws.
    void RestoreBackgroundLate(IPlayerServices* player) override { RestoreLater(player); }

    void CreateEditorHelper() override;
    bool EditorMouseMove(const TPreviewEditorMouseInfo& info) override;
    void SetRelativeRect(const TDoubleRect& r) override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;

    std::unique_ptr<TTransitionPlugin> Transition;

protected:
    // The placement at T ms since the start, moved by the motion path.
    TRect AnimatedTargetRect(IPlayerServices* player, int32_t time) const;
    // Whether the entrance transition draws at T ms since the start.
    bool TransitionRuns(int32_t time) const;
    bool StillPlacement(IPlayerServices* player, TRect& place, TRect& update) override;
    // The key-frame curves' hooks: a new path starts on the current rectangle's centre,
    // truncated to path units.
    TMoveableRectPreviewEditorHelper* PathHelper() const override;
    TDoubleRect PathStartRect() const override { return GetCurrentRect(); }
    TVector2D PathCentre(const TDoubleRect& r, const TVector2D& maxValue) const override;

    // Set while the show says to play without transitions: the transition is kept for
    // saving but neither prepared nor drawn.
    bool transitionsDisabled_ = false;
};
