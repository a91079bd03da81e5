// The composer's choices: which items keep last frame's drawing, which one puts its
// background back late, and when the back buffer counts as still holding the last frame.
#include "objects/FrameComposer.h"
#include "objects/VisibleSlideShowObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// Notes in Log at its index what the composer asked of it: K kept, L late, R restored.
class TLoggedItem : public TVisibleSlideShowObject {
public:
    TLoggedItem(std::string& log, size_t index, bool still) : log_(log), index_(index), still_(still) {}
    bool DrawsAsLastFrame(IPlayerServices*) override { return still_; }
    void KeepDrawing() override { log_[index_] = 'K'; }
    void RestoreBackgroundLate(IPlayerServices*) override { log_[index_] = 'L'; }
    void RestoreBackground(IPlayerServices*) override { log_[index_] = 'R'; }

private:
    std::string& log_;
    size_t index_;
    bool still_;
};

struct TFrameRig {
    TBitmap32 Buffer{8, 8};
    TFrameComposer Composer;
    std::string Log;

    // One frame of objects; leaving: the objects that play their last time and go.
    void Frame(std::vector<TSlideShowObject*> objects, uint32_t bufferSerial = 1, bool keep = true,
               bool fullRepaint = false, const std::vector<TSlideShowObject*>& leaving = {}) {
        Log.assign(objects.size(), '-');
        std::vector<TRect> rects;
        Composer.BeginFrame(objects, {&Buffer, bufferSerial}, keep, fullRepaint);
        Composer.RestoreBackgrounds(objects, nullptr, rects);
        for (TSlideShowObject* o : objects)
            Composer.ItemPlayed(o, std::find(leaving.begin(), leaving.end(), o) != leaving.end(), rects);
        for (TSlideShowObject* o : leaving) objects.erase(std::find(objects.begin(), objects.end(), o));
        Composer.EndFrame(objects);
    }
};

}  // namespace

TEST(FrameComposer, KeepsTheStillItemsAtTheBottomOfAFrameTheBufferStillHolds) {
    struct Case {
        const char* name;
        std::vector<bool> still;
        std::string expected;  // the second frame, bottom item first
        bool keep = true;
        uint32_t bufferSerial = 1;  // of the second frame
        bool fullRepaint = false;
        bool leaveInFirst = false;  // one more item drew its last picture in the first frame
        bool goneBeforeSecond = false;  // one more item was in the first frame, not the second
    } cases[] = {
        {"stills below a drawing item", {true, true, false, true}, "KKLR"},
        {"a still above a drawing item redraws", {false, true, true}, "LRR"},
        {"every item still", {true, true, true}, "KKK"},
        {"keeping switched off", {true, true}, "RR", false},
        {"the buffer made anew", {true, true}, "LR", true, 2},
        {"a full repaint", {true, true}, "LR", true, 1, true},
        {"an item left in the last frame", {true, true}, "LR", true, 1, false, true},
        {"an item of the last frame is gone", {true, true}, "LR", true, 1, false, false, true},
    };
    for (const Case& c : cases) {
        TFrameRig rig;
        std::vector<std::unique_ptr<TLoggedItem>> items;
        std::vector<TSlideShowObject*> objects;
        for (size_t i = 0; i < c.still.size(); ++i) {
            items.push_back(std::make_unique<TLoggedItem>(rig.Log, i, c.still[i]));
            objects.push_back(items.back().get());
        }
        std::string spare = "-";
        TLoggedItem extra(spare, 0, true);
        std::vector<TSlideShowObject*> first = objects;
        if (c.leaveInFirst || c.goneBeforeSecond) first.push_back(&extra);
        rig.Frame(first, 1, c.keep, false, c.leaveInFirst ? std::vector<TSlideShowObject*>{&extra}
                                                         : std::vector<TSlideShowObject*>{});
        // The first frame finds no frame in the buffer: the lowest item draws late.
        EXPECT_EQ(rig.Log.substr(0, objects.size()), (c.keep ? "L" : "R") + std::string(objects.size() - 1, 'R'))
            << c.name;
        rig.Frame(objects, c.bufferSerial, c.keep, c.fullRepaint);
        EXPECT_EQ(rig.Log, c.expected) << c.name;
    }
}

TEST(FrameComposer, ABackgroundPutBackIsUntouchedUntilAnItemBelowHasPlayed) {
    std::string log = "--";
    TLoggedItem below(log, 0, false), above(log, 1, false);
    below.UpdateRect = TRect{0, 0, 4, 4};
    above.UpdateRect = TRect{2, 2, 6, 6};
    TBitmap32 buffer(8, 8);
    TFrameComposer composer;
    const std::vector<TSlideShowObject*> objects{&below, &above};
    std::vector<TRect> rects;
    composer.BeginFrame(objects, {&buffer, 1}, true, false);
    const uint32_t serial = composer.RestoreSerial();
    EXPECT_NE(serial, 0u);
    // Before the items play nothing is touched yet; the next frame's number is no match.
    composer.RestoreBackgrounds(objects, nullptr, rects);
    EXPECT_TRUE(composer.UntouchedSinceRestore(serial, TRect{2, 2, 6, 6}));
    EXPECT_FALSE(composer.UntouchedSinceRestore(serial + 1, TRect{2, 2, 6, 6}));
    composer.ItemPlayed(&below, false, rects);
    EXPECT_FALSE(composer.UntouchedSinceRestore(serial, TRect{2, 2, 6, 6}));
    EXPECT_TRUE(composer.UntouchedSinceRestore(serial, TRect{5, 5, 8, 8}));
    composer.ItemPlayed(&above, false, rects);
    EXPECT_EQ(rects.size(), 4u);  // both put back, both drawn
    composer.EndFrame(objects);
    // Outside the frame's play nothing counts as untouched.
    EXPECT_FALSE(composer.UntouchedSinceRestore(serial, TRect{7, 7, 8, 8}));
}
