// Items that draw into the player's back buffer: the area they changed in a frame, the
// pixels saved from under them, and editing with the mouse in a preview editor.
#pragma once

#include "document/PlayableSlideShowObject.h"
#include "objects/FrameComposer.h"
#include "objects/PreviewEditorHelpers.h"
#include "graphics/Bitmap32.h"

#include <memory>
#include <utility>

class TVisibleSlideShowObject : public TPlayableSlideShowObject, public virtual IVisibleSlideShowObject,
                                public IFrameItem {
    GC_DECLARE_CLASS(TVisibleSlideShowObject)
public:
    TVisibleSlideShowObject();
    ~TVisibleSlideShowObject() override;

    virtual void ClearUpdateRect();
    // Widens UpdateRect to hold R; an empty R changes nothing.
    virtual void AddUpdateRect(const TRect& r);
    virtual void FreeBackground();
    virtual void SaveBackgroundBounds(int32_t left, int32_t top, int32_t width, int32_t height,
                                      IPlayerServices* player);
    // Saves the back buffer's pixels under R, widened by one pixel on every side and
    // clipped to the buffer.
    virtual void SaveBackground(const TRect& r, IPlayerServices* player);
    // Keeps only the part of the saved pixels inside R.
    virtual void CropBackground(const TRect& r);

    // IVisibleSlideShowObject.
    TRect GetUpdateRect() override { return UpdateRect; }
    // Puts the saved pixels back and makes their rectangle the update rectangle.
    void RestoreBackground(IPlayerServices* player) override;
    bool DrawTo(TBitmap32& target, bool final) override;
    bool Prepare(TBitmap32& target) override;
    void Unprepare() override;
    bool IsPrepared() override { return true; }
    bool NeedsBackground() override { return false; }

    // IFrameItem: a plain item never draws as it did, and puts its background back at once.
    bool DrawsAsLastFrame(IPlayerServices*) override { return false; }
    void KeepDrawing() override;
    void RestoreBackgroundLate(IPlayerServices* player) override { RestoreBackground(player); }
    void FinishLateRestore() override;

    void Reset() override;

    TRect UpdateRect;
    std::unique_ptr<TBitmap32> Background;  // created on demand
    TPoint BackgroundPos;
    // The player's frame in which Background was last put back; 0 once anything else may
    // have changed it.
    uint32_t RestoredSerial = 0;

protected:
    // RestoreBackground with the copy held back until FinishLateRestore, or until the item
    // draws over the pixels itself (TakeLateBackground).
    void RestoreLater(IPlayerServices* player);
    // The saved pixels still to be put back, handed over to a caller who writes every one
    // of them; null when none are pending.
    const TBitmap32* TakeLateBackground();
    // True once after the player kept this item's drawing for the frame.
    bool TakeKeptDrawing() { return std::exchange(drawingKept_, false); }

private:
    bool drawingKept_ = false;
    TBitmap32* lateTarget_ = nullptr;  // the back buffer awaiting Background
};

class TPreviewEditorSlideShowObject : public TVisibleSlideShowObject, public virtual IPreviewEditable {
    GC_DECLARE_CLASS(TPreviewEditorSlideShowObject)
public:
    TPreviewEditorSlideShowObject();
    ~TPreviewEditorSlideShowObject() override;

    // Kinds create their own helper class.
    virtual void CreateEditorHelper();
    virtual void FreeEditorHelper();
    // Calls the helper's change handler with this item.
    virtual void DoEditorChange();

    // IPreviewEditable: the base creates its helper and handles nothing.
    bool EditorMouseMove(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseDown(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseUp(const TPreviewEditorMouseInfo& info) override;
    bool EditorKeyDown(uint16_t& key, TShiftState shift) override;
    bool EditorKeyUp(uint16_t& key, TShiftState shift) override;
    TCursor GetEditorCursor(const TPreviewEditorMouseInfo& info) override;
    TRect GetEditorRect(const TPreviewEditorMouseInfo& info) override;
    void PaintEditorBackground(const TPreviewEditorMouseInfo& info) override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;
    void SetOnEditorChange(TPreviewEditorChangeEvent handler) override;
    TPreviewEditorChangeEvent GetOnEditorChange() override;

    // Also frees the editor helper.
    void Unprepare() override;

    std::unique_ptr<TPreviewEditorHelper> EditorHelper;  // created on demand
};
