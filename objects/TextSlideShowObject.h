// The text item: a line or block of outline text drawn straight into the player's back
// buffer every frame, in two kinds: a plain text, and one with an animated entry and
// exit, an opacity curve and a motion path. Texts may hold variables, expanded when the
// item is prepared. Fonts are designed for a 1024 × 768 show area and scaled to the
// target.
#pragma once

#include "objects/KeyFrameCurves.h"
#include "document/PreparationSteps.h"
#include "document/TimeToValue.h"
#include "objects/VisibleSlideShowObject.h"
#include "foundation/DoubleRect.h"
#include "graphics/OutlineGeometry.h"
#include "graphics/VectorText.h"
#include "graphics/VectorTextEffect.h"

#include <cstdint>
#include <memory>

// Where the text sits in the target.
enum TTextLayout : uint8_t {
    tlWhole = 0,        // the whole target
    tlMiddle = 1,       // the whole width, vertically centred
    tlBottom = 2,       // the whole width, at the bottom
    tlRelativeRect = 3  // RelativeRect
};

class TSimpleTextSlideShowObject : public TPreviewEditorSlideShowObject,
                                   public virtual ITextEffectHost,
                                   public virtual IText {
    GC_DECLARE_CLASS(TSimpleTextSlideShowObject)
public:
    TSimpleTextSlideShowObject();
    ~TSimpleTextSlideShowObject() override;

    static AnsiString Caption() { return "Text"; }

    // The font's height at the reference size, and the reference itself.
    static constexpr int32_t kReferenceWidth = 1024;
    static constexpr int32_t kReferenceHeight = 768;

    // The text area in 16.16 for a target of W × H, by Layout.
    virtual TFixedRect GetTextRect(int32_t width, int32_t height) const;
    TFixedRect GetTextRect(const TBitmap32& target) const { return GetTextRect(target.Width(), target.Height()); }
    // The font height (negative: em pixels) for a target of W × H.
    virtual int32_t GetScaledFontHeight(int32_t width, int32_t height) const;
    // IText and ITextEffectHost.
    AnsiString GetText() const override { return Text; }
    void SetText(const AnsiString& value) override;
    bool HasText() const override { return !Text.empty(); }
    TFont& GetFont() override { return VectorText->Font; }

    // Setters that report a visual change (all but SetAntialiased).
    void SetLayout(uint8_t value);
    void SetFont(const TFont& font);
    void SetColor(TColor32 value);
    void SetOutlineColor(TColor32 value);
    void SetDrawMode(uint8_t value);
    void SetAlignment(uint8_t value);
    void SetAntialiased(bool value) { VectorText->Antialiased = value; }
    virtual void SetRelativeRect(const TDoubleRect& r);

    // Makes the outline text ready for target: scaled font, expanded text, measured
    // bounds and, for large enough text, the glyph cache. True.
    virtual bool PrepareText(TBitmap32& target);

    AnsiString GetDisplayName() const override { return "Text: " + Text; }
    AnsiString GetInfoText() const override { return GetDisplayName(); }
    int32_t GetLastInitializationStep() const override { return PreparationStep::LayOutText; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;
    bool DrawTo(TBitmap32& target, bool final) override;
    bool Prepare(TBitmap32& target) override;
    bool IsPrepared() override { return Prepared; }
    void Unprepare() override;
    bool NeedsBackground() override { return true; }
    void Reset() override;
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;

    // Editor.
    void CreateEditorHelper() override;
    bool EditorMouseDown(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseMove(const TPreviewEditorMouseInfo& info) override;
    bool EditorMouseUp(const TPreviewEditorMouseInfo& info) override;
    TCursor GetEditorCursor(const TPreviewEditorMouseInfo& info) override;
    TRect GetEditorRect(const TPreviewEditorMouseInfo& info) override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;

    AnsiString Text;
    uint8_t Layout = tlRelativeRect;
    std::unique_ptr<TVectorText> VectorText;
    TFixedRect TextBounds;  // measured size of the expanded text, from 0
    TDoubleRect RelativeRect{0.25, 0.25, 0.75, 0.75};
    bool Prepared = false;  // the result of the last Prepare

protected:
    // Runs work with the font at its scaled height for target, and puts it back after.
    template <class Work>
    auto WithScaledFont(const TBitmap32& target, Work work);
    // The helper's rectangle, filled from the text rectangle while empty; null unless
    // the layout is RelativeRect.
    TMoveRectPreviewEditorHelper* LayoutHelper(const TPreviewEditorMouseInfo& info);
    // A mouse event for the helper: on a change RelativeRect follows its rectangle.
    bool EditorMouse(const TPreviewEditorMouseInfo& info, bool (TMoveRectPreviewEditorHelper::*event)(
                                                              const TPreviewEditorMouseInfo&));
    virtual void RectDragged() {}
    // Adds preparation step own (timed under name) when stage step asks for it.
    void AddStep(IPlayerServices* player, int32_t step, int32_t own, const char* name, int32_t defaultTime);
};

class TTextSlideShowObject : public TSimpleTextSlideShowObject, public TKeyFrameCurves {
    GC_DECLARE_CLASS(TTextSlideShowObject)
public:
    TTextSlideShowObject() = default;
    ~TTextSlideShowObject() override;

    static AnsiString Description();

    AnsiString GetEditorFrameClassName() const override { return "TTextSlideShowObjectPropertyFrame"; }
    int32_t GetLastInitializationStep() const override { return PreparationStep::DrawTextEffects; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;
    void Reset() override;
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;

    void CreateEditorHelper() override;
    void PaintEditor(const TPreviewEditorMouseInfo& info) override;

    // Of the key-frame curves, rotation and scale are only stored; the motion path moves
    // the text's centre.
    std::unique_ptr<TComplexVectorTextEffect> TextEffects;

protected:
    // The text area at t ms, its centre on the motion path when there is one.
    TFixedRect AnimatedTextRect(const TBitmap32& target, int32_t t) const;
    // One frame of an effect: measured, the background saved, drawn.
    void PlayEffect(TVectorTextEffect& effect, IPlayerServices* player, TBitmap32& back, int32_t t, bool final);
    // The key-frame curves' hooks: a new path starts on RelativeRect's centre, rounded
    // to path units.
    TMoveableRectPreviewEditorHelper* PathHelper() const override;
    TDoubleRect PathStartRect() const override { return RelativeRect; }
    TVector2D PathCentre(const TDoubleRect& r, const TVector2D& maxValue) const override;
    void RectDragged() override;
};

// The stored properties of an outline text: font record, Color, OutlineColor, DrawMode,
// Alignment and Antialiased.
void WriteVectorTextProperties(TOKFStreamWinTypes& stream, const TVectorText& text);
// The mirror image: damaged values are taken into their ranges, and a stored "no font"
// keeps the font there is.
void ReadVectorTextProperties(TOKFStreamWinTypes& stream, TVectorText& text);
// Copies the same properties from another outline text.
void AssignVectorTextProperties(TVectorText& text, const TVectorText& from);

// Only the kind with effects is a plug-in; the first initialisation registers it and the
// last finalisation unregisters it.
void InitializeTextSlideShowObjects(TPlugins& plugins);
void FinalizeTextSlideShowObjects(TPlugins& plugins);
