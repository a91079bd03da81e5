// The composite a packaged show is mostly made of: one picture with its own entry
// transition, a caption written into the picture's bitmap when it is fitted, and a sound
// that the player plays beside it as a sound item the composite makes on request.
#pragma once

#include "objects/PicSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "graphics/OutlineGeometry.h"
#include "graphics/VectorText.h"
#include "transitions/TransitionPlugin.h"

#include <cstdint>
#include <memory>

// Where the caption sits.
enum : uint8_t {
    capWhole = 0,          // the whole target
    capMiddle = 1,         // the whole width, vertically centred
    capBottom = 2,         // the whole width, at the bottom
    capRect = 3,           // CaptionRect
    capBelowPicture = 4,   // directly below the picture, kept inside the target
};

// ISound under the composite's own names: its file answers are about the sound, while
// the file-reference answers of the same names are about the picture.
class ICompositeSound : public virtual ISound {
public:
    bool HasFile() const final { return HasSound(); }
    AnsiString GetResolvedFileName() const final { return GetResolvedSoundFileName(); }
    void ChangeFileName(const AnsiString& name) final { SetSoundFileName(name); }

    virtual bool HasSound() const = 0;
    // The sound's file resolved against the show; empty when it is not found.
    virtual AnsiString GetResolvedSoundFileName() const = 0;
    // A new name (compared case-sensitively) is measured when it opens.
    virtual void SetSoundFileName(const AnsiString& value) = 0;

protected:
    ~ICompositeSound() = default;
};

class TPicTextSoundCompositeSlideShowObject : public TPicSlideShowObject,
                                              public virtual ITextEffectHost,
                                              public virtual ICompositeSound,
                                              public virtual IText,
                                              public virtual IComposite {
    GC_DECLARE_CLASS(TPicTextSoundCompositeSlideShowObject)
public:
    // A new composite reveals itself with a random transition and shows an empty caption
    // at the bottom.
    TPicTextSoundCompositeSlideShowObject();
    ~TPicTextSoundCompositeSlideShowObject() override;

    static AnsiString Caption() { return "Bild, Text, Sound"; }
    static AnsiString Description() { return "Objekt das ein Bild, einen Text und einen Sound vereint"; }

    // The caption's area in 16.16 for the placed picture P inside target T, by
    // CaptionLayout.
    virtual TFixedRect GetCaptionRect(const TRect& pictureRect, const TRect& targetRect) const;
    // Sets up the transition for this run; True without one.
    virtual bool PrepareTransition(IPlayerServices* player);
    // Fills the editor helper's empty rectangles from the relative ones.
    virtual void UpdateEditorRects(const TPreviewEditorMouseInfo& info);
    // Silences the sound items made so far (see GetSoundObjects).
    virtual void FreeSoundObjects();
    virtual void FreeTransition();
    // IComposite: the sound item playing the composite's sound, set up for this run.
    // The item is made once and kept: the player may still hold the one it was handed
    // last, so it lives as long as the composite.
    TSlideShowObjectList* GetSoundObjects() override;
    virtual bool HasCaption() const { return !CaptionText.empty(); }
    bool HasSound() const override { return !SoundFileName.empty(); }
    // A new sound at volume 255 opened on the resolved file; null when it does not open.
    // The caller owns it.
    std::unique_ptr<ISlideShowSound> CreateSound() const override;
    AnsiString GetResolvedSoundFileName() const override;
    void SetSoundFileName(const AnsiString& value) override;

    // Scales the font to TargetRect, expands the caption's variables and measures it in
    // its area for a picture of PictureArea's size. True.
    virtual bool PrepareCaption(const TRect& pictureArea, const TRect& targetRect);
    // Whether the caption is drawn at all.
    bool CaptionShown() const { return ShowCaption && !CaptionText.empty(); }

    // ISound: the sound item's sound and fade.
    ISlideShowSound* GetSound() const override;
    void Fade(IPlayerServices* player, uint8_t volume, int32_t fadeTime) override;
    // IText and ITextEffectHost.
    AnsiString GetText() const override { return CaptionText; }
    void SetText(const AnsiString& value) override;
    bool HasText() const override { return HasCaption(); }
    TFont& GetFont() override { return CaptionVectorText->Font; }

    // File references include the sound; the file count stays 1.
    std::vector<AnsiString> GetResolvedFileNames() const override;
    std::vector<AnsiString> GetFileNames() const override;
    void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) override;

    AnsiString GetEditorFrameClassName() const override { return "TPicTextSoundCompositeSlideShowObjectPropertyFrame"; }
    int32_t GetLastInitializationStep() const override { return PreparationStep::PrepareTransition; }
    // The picture's own duration, or the sound's length; with the music faded around the
    // sound, its two fades on top.
    int32_t GetDuration() const override;
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    // Damaged values are taken into their ranges.
    bool ReadData(TOKFStreamWinTypes& stream) override;
    void Reset() override;
    void ReleaseResources() override;
    void Unprepare() override;
    // Fits the picture and writes the caption into it (see the notes in the source).
    bool FitBitmapToRect(const TRect& areaRect, uint8_t stretchFilter, bool force,
                         std::unique_ptr<TBitmap32>& bitmap) override;
    void UpdateEditorBitmap(const TRect& areaRect) override;
    // Step 11 prepares the transition unless the show plays without transitions.
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;
    // The picture as the bitmap base draws it; unless Final, the caption over it.
    bool DrawTo(TBitmap32& target, bool final) override;
    bool Prepare(TBitmap32& target) override;
    bool IsPrepared() override { return Prepared; }
    // A fitted bitmap with transparent surroundings needs what lies below it.
    bool NeedsBackground() override { return NeedsBlend || TPicSlideShowObject::NeedsBackground(); }

    // Editor: the picture's rectangle and, with the caption in its own rectangle, that one.
    void CreateEditorHelper() override;
    TCursor GetEditorCursor(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseDown(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseMove(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseUp(const TPreviewEditorMouseInfo& info) override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;
    void SetRelativeRect(const TDoubleRect& r) override;

    std::unique_ptr<TTransitionPlugin> Transition;
    bool NeedsBlend = false;  // the fitted bitmap has transparent parts around the picture
    AnsiString CaptionText;
    uint8_t CaptionLayout = capBottom;
    TFixedRect CaptionBounds;  // the measured caption
    TDoubleRect CaptionRect{0, 0, 0, 0};
    std::unique_ptr<TVectorText> CaptionVectorText;
    bool ShowCaption = true;
    AnsiString SoundFileName;
    int32_t SoundLength = -1;
    bool DurationFromSound = true;
    bool FadeMusic = true;
    int32_t SoundVolume = 255;
    uint8_t SoundFadeOut = 1;
    int32_t SoundFadeOutTime = 1000;
    std::unique_ptr<TSlideShowObjectList> SoundObjects;
    bool Prepared = false;  // the result of the last Prepare

protected:
    // Transparent surroundings of the caption never cover what lies below.
    void ApplyBlendMode(TBitmap32& bitmap, uint8_t masterAlpha) const override;
    template <class Change>
    void ChangeCaption(Change change) {
        change(*CaptionVectorText);
        DoChange(ocVisual);
    }
    // The duration before the music fades: what the sound item is handed.
    int32_t DurationWithoutMusicFades() const;
    // Draws the caption into Target in its area for picture P inside target T, moved by
    // (-dx, -dy) pixels.
    void DrawCaption(TBitmap32& target, const TRect& pictureRect, const TRect& targetRect, int32_t dx, int32_t dy);
    // The helper as the composite makes it, with the rectangle count the caption layout
    // asks for and its rectangles filled.
    TMultiMoveRectPreviewEditorHelper* MultiHelper(const TPreviewEditorMouseInfo& info);
    // The relative rectangles follow the helper's.
    void TakeEditorRects(const TRect& area);

    // Set while the show plays without transitions: the transition is kept for saving and
    // copying but neither prepared nor drawn.
    bool transitionsDisabled_ = false;
};

void InitializePicTextSoundCompositeSlideShowObjects(TPlugins& plugins);
void FinalizePicTextSoundCompositeSlideShowObjects(TPlugins& plugins);
