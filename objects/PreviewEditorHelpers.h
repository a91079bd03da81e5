// The preview editor's mouse record and the helpers that move and size an item's
// rectangle and drag the keys of its motion path. The editor fills the record and calls
// the items; the helpers hold the drag state in editor pixels.
#pragma once

#include "document/SlideShowInterfaces.h"
#include "foundation/ClassRegistry.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>
#include <vector>

class TBitmap32;
struct TRaster;
class TTimeToVector2DValue;

// What the editor hands to every mouse and paint operation, in the order of the record's
// words; the words that only the editor itself reads are left out.
struct TPreviewEditorMouseInfo {
    int32_t X = 0;                 // mouse position in pixels of Bitmap
    int32_t Y = 0;
    TShiftState Shift = 0;         // ssCtrl: no snapping; ssLeft/ssRight: buttons held
    TBitmap32* Bitmap = nullptr;   // the editor surface; its size is the show area
    TBitmap32* Target = nullptr;   // where the overlay is painted
    TRect AreaRect;                // snapping reference; its top-left offsets the overlay
    const TRaster* Raster = nullptr;  // snapping grid, or none
};

// Where a point lies on a rectangle with handles.
enum THitCode : uint8_t {
    hcNone = 0,
    hcLeft = 1,
    hcRight = 2,
    hcTop = 3,
    hcBottom = 4,
    hcTopLeft = 5,
    hcBottomRight = 6,
    hcTopRight = 7,
    hcBottomLeft = 8,
    hcMove = 9,
};

// The cursor shown over a hit code; crDefault for codes outside the table.
TCursor HitCodeCursor(uint8_t hitCode);

class TPreviewEditorHelper : public TObject {
    GC_DECLARE_CLASS(TPreviewEditorHelper)
public:
    TPreviewEditorHelper() = default;

    virtual TPreviewEditorChangeEvent GetOnChange() const { return OnChange; }
    virtual void SetOnChange(TPreviewEditorChangeEvent handler) { OnChange = std::move(handler); }

    TPreviewEditorChangeEvent OnChange;
};

// One rectangle with eight size handles and a move area.
class TMoveRectPreviewEditorHelper : public TPreviewEditorHelper {
    GC_DECLARE_CLASS(TMoveRectPreviewEditorHelper)
public:
    // True when Rect changed (or the first move of a drag arrived).
    virtual bool MouseMove(const TPreviewEditorMouseInfo& info);
    // Starts a drag on a hit; answers False.
    virtual bool MouseDown(const TPreviewEditorMouseInfo& info);
    // Ends the drag; answers False.
    virtual bool MouseUp(const TPreviewEditorMouseInfo& info);
    virtual TCursor GetCursor(const TPreviewEditorMouseInfo& info);
    virtual uint8_t HitTest(const TPreviewEditorMouseInfo& info, const TRect& r);

    TPoint StartMouse;
    bool Dragging = false;
    uint8_t HitCode = hcNone;
    // The rectangle at the press, its Left and Top replaced by the edges that stay put.
    TRect StartRect;
    bool NotMoved = false;
    TRect Rect;  // the item in editor pixels
    int32_t HandleSize = 6;
};

// A rectangle plus the keys of a motion path (not owned).
class TMoveableRectPreviewEditorHelper : public TMoveRectPreviewEditorHelper {
    GC_DECLARE_CLASS(TMoveableRectPreviewEditorHelper)
public:
    bool MouseMove(const TPreviewEditorMouseInfo& info) override;
    bool MouseDown(const TPreviewEditorMouseInfo& info) override;
    bool MouseUp(const TPreviewEditorMouseInfo& info) override;
    TCursor GetCursor(const TPreviewEditorMouseInfo& info) override;

    // The topmost key whose handle box holds the mouse, or -1.
    virtual int FindPathKey(const TPreviewEditorMouseInfo& info);
    // Moves the selected key to Time unless another key has it already.
    virtual void SetSelectedKeyTime(int32_t time);
    // Deletes the selected key; a path left with one key is cleared.
    virtual void DeleteSelectedKey();
    virtual void SetSelectedKeyLinear(bool flag);

    TTimeToVector2DValue* GetPath() const { return path_; }
    // Whoever frees or replaces the path re-points the helper: the key indexes belong to
    // the old path, so the selection and the dragged key are dropped.
    void SetPath(TTimeToVector2DValue* path);
    void ClearKeys() { HotKey = -1; SelectedKey = -1; }

    int32_t HotKey = -1;       // the key being dragged
    int32_t SelectedKey = -1;  // the key shown as selected

private:
    TTimeToVector2DValue* path_ = nullptr;
    bool KeyIndexValid(int32_t index) const;
};

// Several rectangles at once; the last one is on top.
class TMultiMoveRectPreviewEditorHelper : public TPreviewEditorHelper {
    GC_DECLARE_CLASS(TMultiMoveRectPreviewEditorHelper)
public:
    explicit TMultiMoveRectPreviewEditorHelper(int count = 0);

    // Sets its own handler and every item's.
    void SetOnChange(TPreviewEditorChangeEvent handler) override;
    virtual bool MouseMove(const TPreviewEditorMouseInfo& info);
    virtual bool MouseDown(const TPreviewEditorMouseInfo& info);
    virtual bool MouseUp(const TPreviewEditorMouseInfo& info);
    virtual TCursor GetCursor(const TPreviewEditorMouseInfo& info);
    virtual uint8_t HitTest(const TPreviewEditorMouseInfo& info, const TRect& r);

    int Count() const { return static_cast<int>(Items.size()); }
    // Null outside the list.
    TMoveRectPreviewEditorHelper* Item(int index) const;

    std::vector<std::unique_ptr<TMoveRectPreviewEditorHelper>> Items;
};

// The selection frame of an item on the editor overlay: a stippled frame with eight
// handles.
void DrawSelectionFrame(TBitmap32& target, const TRect& r, int32_t handleSize, uint8_t alpha);
// A motion path over duration ms on the editor overlay, for an area of w × h moved by
// (ox, oy): its course as a stippled line, each key as a box (the helper's selected key
// highlighted) labelled with its time, black one pixel down and right under white.
void PaintMotionPath(TBitmap32& target, const TTimeToVector2DValue& path, int32_t duration, int32_t w, int32_t h,
                     int32_t ox, int32_t oy, const TMoveableRectPreviewEditorHelper* helper);
