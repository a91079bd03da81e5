// The picture transitions: a cross-fade, the box family (a grid of boxes that reveal the
// picture one by one on a per-box schedule), a sliding picture, a venetian blind and
// interleaved stripes.
#pragma once

#include "graphics/Bitmap32.h"
#include "transitions/TransitionPlugin.h"

#include <cstdint>
#include <vector>

class TAlphablendingTransitionPlugin : public TTransitionPlugin {
    GC_DECLARE_CLASS(TAlphablendingTransitionPlugin)
public:
    static AnsiString Caption();
    // Sets the picture's opacity for the coming Draw.
    void GetChangedRect(int32_t time, TBitmap32& target, TRect& changed) override;
    bool Draw(int32_t time, TBitmap32& target) override;
    bool DrawOver(int32_t time, TBitmap32& target, const TBitmap32& under, TPoint underPos) override;
};

class TBoxTransitionPlugin : public TTransitionPlugin {
    GC_DECLARE_CLASS(TBoxTransitionPlugin)
public:
    TBoxTransitionPlugin();
    ~TBoxTransitionPlugin() override;

    // Start time in ms of every box, row-major (Row * Cols + Col); empty before Init
    // and after Done.
    std::vector<int32_t> StartTimes;
    int32_t Cols = 0;
    int32_t Rows = 0;
    int32_t BoxWidth = 0;
    int32_t BoxHeight = 0;
    int32_t BoxDuration = 1000;  // ms one box needs to grow to full size
    int32_t BoxCount = 20;       // boxes along the longer side of Rect
    uint8_t BoxMode = 1;         // how a box grows, 0..7
    bool BoxFade = false;
    bool BoxStretch = false;
    bool BoxReverse = false;

    void Assign(const TPlugin& source) override;
    AnsiString GetPropertyFrameClassName() override;
    // Sets up the grid and fills the schedule (mirrored with BoxReverse).
    bool Init(const TRect& destRect, TBitmap32* picture) override;
    void Done() override;
    bool Draw(int32_t time, TBitmap32& target) override;
    void Randomize() override;
    bool WriteData(TOKFStream& stream) override;
    bool ReadData(TOKFStream& stream) override;

    // Draws one box: box and destBox are the (shrunk) box in picture and target
    // coordinates, fullBox the whole box in picture coordinates.
    virtual void DrawBox(const TRect& box, const TRect& destBox, TBitmap32& target, long double boxProgress,
                         const TRect& fullBox);
    // Every start := T - start.
    virtual void ReverseStartTimes();
    virtual int32_t GetBoxCountLimit() { return 200; }
    // Grid and zeroed schedule for Rect.
    void SetupGrid();

    // T: the time by which the last box must start so that it ends with the transition.
    int64_t ScheduleSpan() const;

protected:
    // Fills StartTimes, row by row, from StartTimeOf.
    virtual void FillStartTimes(long double span);
    // The class's start of box (row, col); span is T.
    virtual int64_t StartTimeOf(int32_t row, int32_t col, long double span);
    void SetStartTime(int32_t row, int32_t col, int64_t start);

private:
    // Draws the picture's part s into d on the target, with the box's opacity and cut at
    // the target's and the picture's right and bottom edges. During Draw parts are queued
    // and drawn together with their right-hand neighbours.
    void DrawClipped(TRect s, TRect d, TBitmap32& target, long double boxProgress);
    // The same at the box's opacity alpha (the fade's, or the picture's own).
    void DrawClippedAt(TRect s, TRect d, TBitmap32& target, uint8_t alpha);
    // A row of whole faded boxes onto a picture that already blends: Draw's parts without
    // the queue.
    void DrawFadedRow(int32_t row, int32_t time, TBitmap32& target);
    void FlushParts(TBitmap32& target);
    void DrawPart(const TRect& s, const TRect& d, TBitmap32& target, uint8_t alpha);

    struct TQueuedPart {
        TRect S, D;
        uint8_t Alpha;
    };
    std::vector<uint8_t> fadeTable_;   // FadeAlpha of a whole faded box per ms since its start
    std::vector<TQueuedPart> queued_;  // parts of the current row of boxes
    std::vector<uint8_t> edges_;       // per line of the parts' rows: a part's top or bottom edge
    std::vector<int32_t> bands_;       // the parts' top and bottom edges, in order
    std::vector<uint8_t> masters_;     // per pixel of a line: its part's opacity (all 0 between rows)
    std::vector<TBitmap32::TPiece> pieces_;  // queued parts, drawn together
    bool queueParts_ = false;
};

class TFineBoxTransitionPlugin : public TBoxTransitionPlugin {
    GC_DECLARE_CLASS(TFineBoxTransitionPlugin)
public:
    TFineBoxTransitionPlugin();
    void Randomize() override;
    int32_t GetBoxCountLimit() override { return 300; }
};

// The concrete box transitions differ only in caption and schedule.
#define GC_BOX_TRANSITION_CLASS(Self, Parent)                                       \
    class Self : public Parent {                                                    \
        GC_DECLARE_CLASS(Self)                                                      \
    public:                                                                         \
        static AnsiString Caption();                                                \
                                                                                    \
    protected:                                                                      \
        int64_t StartTimeOf(int32_t row, int32_t col, long double span) override;  \
    };

GC_BOX_TRANSITION_CLASS(TBoxTopLeftToBottomRightTransitionPlugin, TBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxTopRightToBottomLeftTransitionPlugin, TBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxBottomLeftToTopRightTransitionPlugin, TBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxBottomRightToTopLeftTransitionPlugin, TBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxRandomTransitionPlugin, TBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxAllSimultaneousTransitionPlugin, TBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxCircleGrowTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxCircleShrinkTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxCircleRingTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxSmallCirclesTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxMODEffectTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxSpiralRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxQuarterRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_BOX_TRANSITION_CLASS(TBoxQuarterSpiralRadarTransitionPlugin, TFineBoxTransitionPlugin)

#undef GC_BOX_TRANSITION_CLASS

class TMovePictureTransitionPlugin : public TTransitionPlugin {
    GC_DECLARE_CLASS(TMovePictureTransitionPlugin)
public:
    TMovePictureTransitionPlugin();
    static AnsiString Caption();

    uint8_t CurrentDirection = 0;  // fixed by Init
    uint8_t Direction = 4;         // 0..3, or 4 for a random one per run
    bool Fade = false;
    bool Stretch = false;

    void Assign(const TPlugin& source) override;
    AnsiString GetPropertyFrameClassName() override;
    bool Init(const TRect& destRect, TBitmap32* picture) override;
    bool Draw(int32_t time, TBitmap32& target) override;
    void Randomize() override;
    bool WriteData(TOKFStream& stream) override;
    bool ReadData(TOKFStream& stream) override;
};

class TBlindTransitionPlugin : public TTransitionPlugin {
    GC_DECLARE_CLASS(TBlindTransitionPlugin)
public:
    TBlindTransitionPlugin();
    static AnsiString Caption();

    uint8_t CurrentDirection = 0;  // fixed by Init
    uint8_t Direction = 4;         // 0..3, or 4 for a random one per run
    bool Fade = false;
    bool Stretch = false;
    int32_t StripeCount = 10;

    void Assign(const TPlugin& source) override;
    AnsiString GetPropertyFrameClassName() override;
    bool Init(const TRect& destRect, TBitmap32* picture) override;
    bool Draw(int32_t time, TBitmap32& target) override;
    void Randomize() override;
    bool WriteData(TOKFStream& stream) override;
    bool ReadData(TOKFStream& stream) override;

private:
    std::vector<TBitmap32::TPiece> pieces_;  // the slats of a frame, drawn together
};

class TStripeTransitionPlugin : public TTransitionPlugin {
    GC_DECLARE_CLASS(TStripeTransitionPlugin)
public:
    TStripeTransitionPlugin();
    static AnsiString Caption();

    uint8_t CurrentDirection = 0;  // fixed by Init
    uint8_t Direction = 6;         // pattern 0..5, or 6 for a random one per run
    bool Fade = false;
    int32_t StripeCount = 80;

    void Assign(const TPlugin& source) override;
    AnsiString GetPropertyFrameClassName() override;
    bool Init(const TRect& destRect, TBitmap32* picture) override;
    bool Draw(int32_t time, TBitmap32& target) override;
    void Randomize() override;
    bool WriteData(TOKFStream& stream) override;
    bool ReadData(TOKFStream& stream) override;

private:
    std::vector<TBitmap32::TPiece> pieces_;  // the stripes of a frame, drawn together
};
