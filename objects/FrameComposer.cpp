#include "objects/FrameComposer.h"

#include "document/PlayerServices.h"
#include "document/SlideShowInterfaces.h"
#include "document/SlideShowObject.h"

#include <algorithm>
#include <limits>

namespace {

bool Contains(const std::vector<TSlideShowObject*>& objects, const TSlideShowObject* object) {
    return std::find(objects.begin(), objects.end(), object) != objects.end();
}

// The items a frame draws: what draws into the back buffer and plays.
IVisibleSlideShowObject* DrawnItem(TSlideShowObject* object) {
    IVisibleSlideShowObject* visible = ::Supports<IVisibleSlideShowObject>(object);
    return visible && ::Supports<IPlayable>(object) ? visible : nullptr;
}

}  // namespace

const IFrameState* FrameStateOf(IPlayerServices* player) {
    const auto* composing = dynamic_cast<const IComposingPlayer*>(player);
    return composing ? &composing->FrameState() : nullptr;
}

void TFrameComposer::BeginFrame(const std::vector<TSlideShowObject*>& objects, const TTarget& target,
                                bool keepUnchanged, bool fullRepaint) {
    if (++restoreSerial_ == 0) restoreSerial_ = 1;
    keepUnchanged_ = keepUnchanged;
    target_ = target;
    bufferHoldsLast_ = keepUnchanged && BufferHoldsLastFrame(objects, target, fullRepaint);
    restored_.clear();
    touched_.clear();
    late_ = nullptr;
    lateObject_ = nullptr;
    itemLeft_ = false;
}

bool TFrameComposer::BufferHoldsLastFrame(const std::vector<TSlideShowObject*>& objects, const TTarget& target,
                                          bool fullRepaint) const {
    const uint32_t previous = restoreSerial_ == 1 ? std::numeric_limits<uint32_t>::max() : restoreSerial_ - 1;
    if (!lastFrame_.Clean || fullRepaint || !target.Buffer || lastFrame_.Serial != previous ||
        lastFrame_.Target.Buffer != target.Buffer || lastFrame_.Target.BufferSerial != target.BufferSerial)
        return false;
    // An item taken off the screen since left its last drawing in the buffer.
    return std::all_of(lastFrame_.Objects.begin(), lastFrame_.Objects.end(),
                       [&](TSlideShowObject* o) { return Contains(objects, o); });
}

void TFrameComposer::RestoreBackgrounds(const std::vector<TSlideShowObject*>& objects, IPlayerServices* player,
                                        std::vector<TRect>& rects) {
    // The items from the bottom up that would draw what they drew: no put-back, no drawing.
    // The first item above them that draws has nothing drawn under it before it plays:
    // it may put its background back late, as it draws.
    size_t drawnFrom = 0;
    for (; drawnFrom < objects.size(); ++drawnFrom) {
        if (!DrawnItem(objects[drawnFrom])) continue;
        auto* item = dynamic_cast<IFrameItem*>(objects[drawnFrom]);
        if (!(item && bufferHoldsLast_ && item->DrawsAsLastFrame(player))) break;
    }
    for (size_t i = objects.size(); i-- > 0;) {
        TSlideShowObject* object = objects[i];
        IVisibleSlideShowObject* visible = DrawnItem(object);
        if (!visible) continue;
        auto* item = dynamic_cast<IFrameItem*>(object);
        if (i < drawnFrom) {
            item->KeepDrawing();  // only items that answered DrawsAsLastFrame lie below
            continue;
        }
        if (i == drawnFrom && keepUnchanged_ && item) {
            late_ = item;
            lateObject_ = object;
            item->RestoreBackgroundLate(player);
        } else {
            visible->RestoreBackground(player);
        }
        rects.push_back(visible->GetUpdateRect());
        restored_.emplace_back(object, rects.back());
    }
    touched_.clear();
    playing_ = true;
}

void TFrameComposer::ItemPlayed(TSlideShowObject* object, bool final, std::vector<TRect>& rects) {
    IVisibleSlideShowObject* visible = ::Supports<IVisibleSlideShowObject>(object);
    // The last picture of an item that leaves has to reach the window too.
    if (visible) rects.push_back(visible->GetUpdateRect());
    // An item's pixels count as touched for the items above it once it has played: what
    // it put back and what it drew.
    for (const auto& [o, r] : restored_)
        if (o == object) touched_.push_back(r);
    if (visible) touched_.push_back(visible->GetUpdateRect());
    if (final) itemLeft_ = true;
}

void TFrameComposer::EndFrame(const std::vector<TSlideShowObject*>& objects) {
    playing_ = false;
    // An item that put its background back late and did not play (an action took it out
    // of the frame) puts it back now.
    const bool lateListed = late_ && Contains(objects, lateObject_);
    if (lateListed) late_->FinishLateRestore();
    lastFrame_.Serial = restoreSerial_;
    lastFrame_.Target = target_;
    lastFrame_.Clean = !itemLeft_ && (!late_ || lateListed);
    lastFrame_.Objects = objects;
    late_ = nullptr;
    lateObject_ = nullptr;
}

bool TFrameComposer::UntouchedSinceRestore(uint32_t serial, const TRect& r) const {
    if (!playing_ || serial != restoreSerial_) return false;
    return std::none_of(touched_.begin(), touched_.end(),
                        [&](const TRect& t) { return !IntersectRect(t, r).IsEmpty(); });
}
