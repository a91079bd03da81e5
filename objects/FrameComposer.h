// How a frame of the player is composed from its items: which items draw again and which
// keep what they drew in the last frame, and how the items' saved backgrounds go back
// before they play. The player runs the frame's steps; the rules of drawing live here.
//
// A frame puts the items' backgrounds back from the top down, then lets them play from the
// bottom up. Two shortcuts keep that picture exact: items at the bottom that would draw
// what they drew in the last frame keep their drawing, and the lowest item that draws puts
// its background back as it draws (a cross-fade blends background and picture in one pass).
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <utility>
#include <vector>

class IPlayerServices;
class IVisibleSlideShowObject;
class TBitmap32;
class TSlideShowObject;

// What an item asks about the frame being composed.
class IFrameState {
public:
    // Numbers the frames in which items put their backgrounds back; 0 means none.
    virtual uint32_t RestoreSerial() const = 0;
    // Whether, in the frame numbered serial, nothing has drawn into r since the items put
    // their backgrounds back: an item whose saved background covers exactly r then still
    // holds what lies there and need not copy it again.
    virtual bool UntouchedSinceRestore(uint32_t serial, const TRect& r) const = 0;
    // Whether the back buffer still holds what the items drew in the frame numbered serial
    // and it was the frame before this one, with nothing drawn since that was not put back.
    virtual bool BufferHoldsFrame(uint32_t serial) const = 0;

protected:
    ~IFrameState() = default;
};

// A player whose frames are composed here hands the frame's state to its items.
class IComposingPlayer {
public:
    virtual const IFrameState& FrameState() const = 0;

protected:
    ~IComposingPlayer() = default;
};

// The frame state of the player; null for one that composes no frames (a collage drawn
// off-screen, a test's host): its items then keep nothing from frame to frame.
const IFrameState* FrameStateOf(IPlayerServices* player);

// What an item that draws into the player's back buffer offers the composer beyond what
// the show model knows of it (IVisibleSlideShowObject).
class IFrameItem {
public:
    // Whether the item would draw in this frame exactly what it drew in the last one, were
    // nothing below it changed. The composer then keeps that drawing: it calls KeepDrawing
    // instead of RestoreBackground, and the item's Play draws nothing this frame.
    virtual bool DrawsAsLastFrame(IPlayerServices* player) = 0;
    virtual void KeepDrawing() = 0;
    // RestoreBackground for an item under which nothing draws this frame: the item may put
    // its pixels back as it draws, in one pass, at the latest in its Play or in
    // FinishLateRestore, which the composer calls after the frame's items have played.
    virtual void RestoreBackgroundLate(IPlayerServices* player) = 0;
    virtual void FinishLateRestore() = 0;

protected:
    ~IFrameItem() = default;
};

class TFrameComposer : public IFrameState {
public:
    // The buffer a frame is drawn into, as far as the composer tells frames apart: a buffer
    // made anew (another serial) holds no frame's pixels.
    struct TTarget {
        const TBitmap32* Buffer = nullptr;
        uint32_t BufferSerial = 0;
    };

    // Opens a frame of objects (in play order, bottom first). keepUnchanged: items that
    // would draw what they drew keep their drawing; off, every item redraws (the reference
    // the kept frames are checked against). fullRepaint: the buffer counts as holding no
    // frame.
    void BeginFrame(const std::vector<TSlideShowObject*>& objects, const TTarget& target, bool keepUnchanged,
                    bool fullRepaint);
    // Decides which items keep their drawing and puts the others' backgrounds back, from
    // the top down; the rectangles put back join rects.
    void RestoreBackgrounds(const std::vector<TSlideShowObject*>& objects, IPlayerServices* player,
                            std::vector<TRect>& rects);
    // After an object played (final: its last time, it leaves the screen): its update
    // rectangle joins rects, and what it put back and drew counts as touched for the items
    // above it.
    void ItemPlayed(TSlideShowObject* object, bool final, std::vector<TRect>& rects);
    // Closes the frame; objects are those left on screen.
    void EndFrame(const std::vector<TSlideShowObject*>& objects);

    uint32_t RestoreSerial() const override { return restoreSerial_; }
    bool UntouchedSinceRestore(uint32_t serial, const TRect& r) const override;
    bool BufferHoldsFrame(uint32_t serial) const override { return bufferHoldsLast_ && serial == lastFrame_.Serial; }

private:
    bool BufferHoldsLastFrame(const std::vector<TSlideShowObject*>& objects, const TTarget& target,
                              bool fullRepaint) const;

    bool keepUnchanged_ = true;
    TTarget target_;
    // The frame being drawn: its number, and while its items play, what they restored or
    // drew so far.
    uint32_t restoreSerial_ = 0;
    bool playing_ = false;
    std::vector<TRect> touched_;
    std::vector<std::pair<TSlideShowObject*, TRect>> restored_;
    // The lowest item that draws, when it puts its background back late.
    TSlideShowObject* lateObject_ = nullptr;
    IFrameItem* late_ = nullptr;
    bool itemLeft_ = false;
    // The last frame, for the next one to tell whether the back buffer still holds it:
    // its number, its buffer, and the items left on screen. Clean: no item drew its last
    // picture into it and left.
    struct TDrawnFrame {
        uint32_t Serial = 0;
        TTarget Target;
        bool Clean = false;
        std::vector<TSlideShowObject*> Objects;
    };
    TDrawnFrame lastFrame_;
    bool bufferHoldsLast_ = false;
};
