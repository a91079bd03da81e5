// The base of every item that shows a picture: it loads the picture (under one
// process-wide lock), converts it to a 32-bit bitmap, scales it once to its place in the
// show area and draws it every frame. Placement is a rectangle relative to the show
// area, an aspect rule, a stretch rule, an alignment, a background fill and a blend mode.
#pragma once

#include "objects/VisibleSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "foundation/DoubleRect.h"
#include "graphics/Bitmap32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TBenchmarkValue;
class TTransitionPlugin;
class TStream;

// Where the placed picture sits inside its target rectangle.
enum : uint8_t {
    baCenter = 0,
    baTopLeft = 1,
    baTopRight = 2,
    baBottomLeft = 3,
    baBottomRight = 4,
    baTop = 5,
    baBottom = 6,
    baLeft = 7,
    baRight = 8,
};

// How the picture combines with what lies below. Stored values above bmLighten draw as
// bmOpaque.
enum : uint8_t {
    bmOpaque = 0,
    bmAlpha = 1,
    bmAdd = 2,
    bmSubtract = 3,
    bmMultiply = 4,
    bmDarken = 5,
    bmLighten = 6,
};

// The picture's placement in pixels: Width x Height placed by Rel inside AreaRect with
// the size rule and then moved by the alignment. An inverted Rel counts as its normal form.
void CalcTargetRect(int32_t width, int32_t height, const TDoubleRect& rel, TRect& r, bool keepAspectRatio,
                    bool stretch, uint8_t alignment, const TRect& areaRect);
// The one lock that all picture loading holds: the format list and the readers are
// shared state.
std::mutex& PictureLock();

// Pictures stored enciphered in the program's package. This build has no such format,
// so its one decipher says no to every file; tests put in their own.
class IPictureDecipher {
public:
    virtual ~IPictureDecipher() = default;
    // Whether the resolved file is an enciphered package item.
    virtual bool IsEnciphered(const AnsiString& resolvedName) = 0;
    // The name the item was stored under; its extension names the picture format.
    virtual AnsiString GetStoredFileName(const AnsiString& resolvedName) = 0;
    // The picture's deciphered bytes.
    virtual std::unique_ptr<TStream> OpenPicture(const AnsiString& resolvedName) = 0;
};
IPictureDecipher& PictureDecipher();
// Null puts the default back.
void SetPictureDecipher(IPictureDecipher* decipher);

// Run-time placement while the item is prepared or playing.
class TBaseBitmapPlayHelper : public TObject {
    GC_DECLARE_CLASS(TBaseBitmapPlayHelper)
public:
    TDoubleRect Rect{0, 0, 1, 1};
};

class TBaseBitmapSlideShowObject : public TPreviewEditorSlideShowObject {
    GC_DECLARE_CLASS(TBaseBitmapSlideShowObject)
public:
    TBaseBitmapSlideShowObject();
    ~TBaseBitmapSlideShowObject() override;

    static AnsiString Caption() { return "Bild"; }
    static AnsiString Description() { return "Eine beliebige Grafikdatei"; }

    // Scales Bitmap to its placement inside AreaRect. Without a bitmap nothing can be
    // shown: a load failure (False).
    virtual bool FitBitmapToRect(const TRect& areaRect, uint8_t stretchFilter, bool force,
                                 std::unique_ptr<TBitmap32>& bitmap);
    // Loads a picture file into Picture under the picture lock; False (LoadFailed set,
    // Picture null) when it is missing or unreadable. With a DecodeArea (the paint box)
    // and Stretch on, a decoder that can scale while decoding delivers no more than the
    // placement in that area needs; the fitting then places by the picture's full size.
    // A picture neededNow may be decoded on more than one core.
    virtual bool LoadPicture(const AnsiString& fileName, bool deferPlainFile, std::unique_ptr<TBitmap32>& picture,
                             const TRect& decodeArea = TRect{}, bool neededNow = false);
    // The same for a stored fileName that the item has resolved to name already
    // (ResolveFileName; empty: none found), so that a picture's name is looked up once on
    // its way to the reader.
    bool LoadResolvedPicture(const AnsiString& fileName, const AnsiString& name, bool deferPlainFile,
                             std::unique_ptr<TBitmap32>& picture, const TRect& decodeArea = TRect{},
                             bool neededNow = false);
    // A picture read as LoadResolvedPicture reads it, in parts: what to read, taken from
    // the item as it is now (PictureReadOf); the reading, which touches no item and may
    // run on another thread (ReadPicture); and taking the result into picture, with
    // FullPictureSize, LoadFailed and the failure's debug line (TakePictureRead).
    struct TPictureRead {
        AnsiString FileName, Name;
        TRect DecodeArea;
        bool NeededNow = false;
        bool DeferPlainFile = false;
        bool Stretch = true;
        bool KeepAspectRatio = true;
        uint8_t Alignment = baCenter;
        TDoubleRect Rect{0, 0, 1, 1};
        // The result.
        std::unique_ptr<TBitmap32> Picture;
        TSize FullSize;
        bool Failed = false;
        AnsiString Failure;
        int32_t Milliseconds = 0;  // the reading's time, when it succeeded
    };
    TPictureRead PictureReadOf(const AnsiString& fileName, const AnsiString& name, const TRect& decodeArea,
                               bool neededNow) const;
    static void ReadPicture(TPictureRead& read);
    bool TakePictureRead(TPictureRead& read, std::unique_ptr<TBitmap32>& picture);
    // A new bitmap from the picture; bmOpaque makes every pixel opaque. No picture, or
    // an empty one, is a load failure.
    virtual bool PictureToBitmap(std::unique_ptr<TBitmap32>& source, bool freeSource,
                                 std::unique_ptr<TBitmap32>& bitmap);
    // The editor's dotted frame with eight handles.
    virtual void DrawSelectionFrame(TBitmap32& target, const TRect& r, int32_t handleSize, uint8_t alpha);
    // Renders the item for a new editor size; the picture kinds do it.
    virtual void UpdateEditorBitmap(const TRect& /*areaRect*/) {}
    // Drawn in place of a missing picture: a black box with a white cross and frame.
    virtual void DrawPlaceholder(TBitmap32& target);
    // Fires a visual change only when a value differs.
    virtual void SetRelativeRect(const TDoubleRect& r);
    virtual void CreatePlayHelper();
    virtual void FreePlayHelper();
    // The play helper's rectangle while there is one, else RelativeRect; normalised.
    virtual TDoubleRect GetCurrentRect() const;
    // Called after a drag changed the item's size in the editor.
    virtual void EditorSizeChanged(const TRect& /*areaRect*/) {}

    AnsiString GetEditorFrameClassName() const override { return "TBaseBitmapSlideShowObjectPropertyFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;
    void Reset() override;
    int32_t GetLastInitializationStep() const override { return PreparationStep::Scale; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;
    bool DrawTo(TBitmap32& target, bool final) override;
    bool NeedsBackground() override;
    // The bitmap drawn plainly in the last frame, at the same place, is drawn again.
    bool DrawsAsLastFrame(IPlayerServices* player) override;

    // Editor (preview) operations.
    void CreateEditorHelper() override;
    TRect GetEditorRect(const TPreviewEditorMouseInfo& info) override;
    TCursor GetEditorCursor(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseDown(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseMove(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseUp(const TPreviewEditorMouseInfo& info) override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;

    std::unique_ptr<TBitmap32> Bitmap;  // the prepared picture
    int32_t LoadFailed = 0;
    std::unique_ptr<TBaseBitmapPlayHelper> PlayHelper;
    bool KeepAspectRatio = true;
    uint8_t Alignment = baCenter;
    TDoubleRect RelativeRect{0, 0, 1, 1};
    bool Stretch = true;
    bool FillBackground = true;
    TColor32 BackgroundColor = 0xFF000000;
    uint8_t BlendMode = bmOpaque;
    // The full size of a picture that was decoded smaller than it is; 0 x 0 when the
    // bitmap is the picture's own size.
    TSize FullPictureSize;

protected:
    // The paint box's client rectangle (its size counts, never its pixels).
    static TRect PlayerArea(IPlayerServices* player);
    // The bitmap's placement inside an area.
    TRect BitmapTargetRect(const TRect& areaRect) const;
    // Where Bitmap is fitted inside an area: placed by the picture's full size when it was
    // decoded smaller, so the place is the same at any decoding scale.
    TRect FittedPlace(const TRect& areaRect, const TBitmap32& bitmap) const;
    // Sets the draw mode by BlendMode (custom modes combine under the master alpha);
    // an opaque picture blends when it is drawn with less than full master alpha.
    virtual void ApplyBlendMode(TBitmap32& bitmap, uint8_t masterAlpha) const;
    // Runs a preparation step's work, timed; when it succeeds the time is recorded in
    // the player's benchmark under Name with Value's key, otherwise Value is dropped.
    static bool TimedStep(IPlayerServices* player, const char* name, std::unique_ptr<TBenchmarkValue> value,
                          const std::function<bool()>& work);
    // The milliseconds left until the item's end at the player's play time.
    int32_t TimeLeft(IPlayerServices* player) const;
    // The helper as the rectangle helper every bitmap kind makes; its Rect filled from
    // RelativeRect when it is still empty.
    TMoveRectPreviewEditorHelper* RectHelper(const TPreviewEditorMouseInfo& info);
    static TRect EditorArea(const TPreviewEditorMouseInfo& info);

    // What the kinds with an entry transition share.
    // Sets up Transition for the bitmap's place in the paint box; a random transition
    // leaves out the show's excluded classes. Without a picture there is nothing to reveal.
    bool InitTransition(TTransitionPlugin& transition, IPlayerServices* player);
    // Adds the transition's step 11 when stage Step asks for it.
    void AddTransitionStep(IPlayerServices* player, int32_t step);
    // Step 11: InitTransition, timed.
    bool ExecuteTransitionStep(IPlayerServices* player, const std::function<bool()>& prepare);
    // One transition frame at T ms into the back buffer, with the background under its
    // changed part saved; True when it drew (the frame ends there).
    bool DrawTransitionFrame(TTransitionPlugin& transition, IPlayerServices* player, TBitmap32& back, int32_t t);
    // Sizes Fitted to AreaRect, fills the bands around the placed picture P with the
    // background colour and draws Picture stretched into P; a picture with alpha on an
    // opaque colour is blended over the colour filling the whole area.
    void FillAroundPicture(TBitmap32& fitted, TBitmap32& picture, const TRect& areaRect, const TRect& p) const;

    // Where this frame's Play draws the bitmap as it stands (place) and the area that
    // changes (update); False when the item draws anything else (a transition, motion).
    virtual bool StillPlacement(IPlayerServices* player, TRect& place, TRect& update);
    // The bitmap drawn at place under masterAlpha, its background under update saved
    // first, unless the player kept last frame's drawing; a still drawing is noted for
    // the next frame's DrawsAsLastFrame.
    void DrawBitmap(IPlayerServices* player, const TRect& place, const TRect& update, uint8_t masterAlpha, bool final,
                    bool still);

private:
    // The last plain drawing of the bitmap; Serial 0: none in the last frame.
    struct TStillDrawing {
        uint32_t Serial = 0;
        const TBitmap32* Bitmap = nullptr;
        TSize Size;
        TRect Place, Update;
        uint8_t Blend = 0;
    };
    TStillDrawing still_;
};
