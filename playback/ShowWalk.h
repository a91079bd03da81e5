// The walk of the show tree that the player's schedule makes: the cursors that queue each
// sequence's objects, the layers and start times handed out before a show plays, the next
// object of a sequence, and the neighbours a jump goes to.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class TSlideShowObject;
class TSlideShowObjectList;

// One schedule cursor: the next object of one sequence that has not been queued yet.
class TNextSlideShowObjectItem {
public:
    TSlideShowObject* Cursor = nullptr;
    // The object this cursor queued last; while it waits among the coming objects the
    // cursor queues nothing ahead of the look-ahead.
    TSlideShowObject* LastQueued = nullptr;
};

class TPlayerSlideShowObjectItemList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TNextSlideShowObjectItem* Item(int i) const { return items_[static_cast<size_t>(i)].get(); }
    TNextSlideShowObjectItem* Add(TSlideShowObject* cursor);
    void Delete(int i) { items_.erase(items_.begin() + i); }
    // With resetObjects every cursor's object is reset and lets go of what it loaded.
    void Clear(bool resetObjects);

private:
    std::vector<std::unique_ptr<TNextSlideShowObjectItem>> items_;
};

class TShowWalk {
public:
    enum class TTimeMode { Sequence, Parallel, Collage };

    // Gives every object of the list and below a fresh layer, in show order, so that later
    // objects lie above earlier ones; their preparation is reset.
    void AssignLayers(TSlideShowObjectList& list);
    // Start times down the tree: a sequence one after the other, a parallel group's
    // branches at their offsets, a collage's children all at its start.
    static void AssignStartTimes(TSlideShowObjectList& list, int32_t time, TTimeMode mode);
    // The next enabled playable object of current's sequence, from the walk's place in
    // each list; from the root's first with none.
    TSlideShowObject* Next(TSlideShowObjectList& root, TSlideShowObject* current);
    // The walk goes on after each cursor's place.
    void SetListPositions(TPlayerSlideShowObjectItemList& items);
    // Cursors for every object of the list running at time, down to the objects that play.
    static bool QueueDueIn(TSlideShowObjectList& list, int32_t time, TPlayerSlideShowObjectItemList& items);
    void Clear() { listPositions_.clear(); }

private:
    int32_t& ListPosition(const TSlideShowObjectList* list) { return listPositions_[list]; }
    // Where the walk of each list of the show goes on.
    std::unordered_map<const TSlideShowObjectList*, int32_t> listPositions_;
};

// Resets every object of the list and below and lets go of what they loaded.
void ResetShowObjects(TSlideShowObjectList& root);
// The object a jump forward or back from reference goes to, next to the listed objects in
// their lists, never excluded; null when there is none.
TSlideShowObject* FindNeighbourObject(const std::vector<TSlideShowObject*>& listed, int32_t reference, bool forward,
                                      const TSlideShowObject* excluded);
