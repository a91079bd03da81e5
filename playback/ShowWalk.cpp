#include "playback/ShowWalk.h"

#include "document/SlideShowObject.h"
#include "foundation/SlideShowGlobals.h"
#include "playback/PlayerInternals.h"

#include <functional>

using namespace PlayerInternals;

namespace {

bool IsJumpCandidate(TSlideShowObject* object, int32_t reference, bool forward, const TSlideShowObject* excluded) {
    IPlayable* playable = AsPlayable(object);
    if (!playable || !object->GetEnabled() || IsMusicPlaceholder(object) || EnclosingCollage(object)) return false;
    if (excluded && object == excluded) return false;
    if (!forward && ::Supports<IParallelCollection>(object)) return false;
    return forward ? playable->GetStartTime() > reference : playable->GetStartTime() < reference;
}

}  // namespace

// ---- schedule cursors ----

TNextSlideShowObjectItem* TPlayerSlideShowObjectItemList::Add(TSlideShowObject* cursor) {
    items_.push_back(std::make_unique<TNextSlideShowObjectItem>());
    items_.back()->Cursor = cursor;
    return items_.back().get();
}

void TPlayerSlideShowObjectItemList::Clear(bool resetObjects) {
    if (resetObjects)
        for (auto& item : items_)
            if (IPlayable* p = AsPlayable(item->Cursor)) {
                p->Reset();
                p->ReleaseResources();
            }
    items_.clear();
}

// ---- the walk ----

void TShowWalk::AssignLayers(TSlideShowObjectList& list) {
    ListPosition(&list) = 0;
    for (int i = 0; i < list.Count(); ++i) {
        TSlideShowObject* object = list[i];
        if (IPlayable* playable = AsPlayable(object)) {
            playable->Reset();
            playable->SetLayer(NewUniqueNumber());
        }
        if (TSlideShowObjectList* children = ChildListOf(object)) AssignLayers(*children);
    }
}

void TShowWalk::AssignStartTimes(TSlideShowObjectList& list, int32_t time, TTimeMode mode) {
    for (int i = 0; i < list.Count(); ++i) {
        TSlideShowObject* object = list[i];
        if (!object->GetEnabled()) continue;
        int32_t duration = 0;
        if (IPlayable* playable = AsPlayable(object)) {
            switch (mode) {
                case TTimeMode::Sequence:
                    playable->SetStartTime(time);
                    duration = object->GetDuration();
                    break;
                case TTimeMode::Parallel:
                    playable->SetStartTime(SaturateInt32(int64_t(time) + playable->GetTimeOffset()));
                    break;
                case TTimeMode::Collage:
                    playable->SetStartTime(time);
                    break;
            }
        }
        if (TSlideShowObjectList* children = ChildListOf(object)) {
            TTimeMode childMode = TTimeMode::Sequence;
            if (mode == TTimeMode::Collage || ::Supports<IMerge>(object)) childMode = TTimeMode::Collage;
            else if (::Supports<IParallelCollection>(object)) childMode = TTimeMode::Parallel;
            IPlayable* playable = AsPlayable(object);
            AssignStartTimes(*children, playable ? playable->GetStartTime() : time, childMode);
        }
        time = SaturateInt32(int64_t(time) + duration);
    }
}

TSlideShowObject* TShowWalk::Next(TSlideShowObjectList& root, TSlideShowObject* current) {
    TSlideShowObjectList* list = nullptr;
    int32_t index = 0;
    if (current) {
        list = current->ParentList;
        if (!list) return nullptr;
        index = list->IndexOf(current);
        if (index < 0) index = ListPosition(list);
    } else {
        list = &root;
    }
    // Every pass moves one place on or one level up, so a tree of n places ends the walk
    // after at most about 2n passes; the guard only keeps damage from looping.
    for (int guard = 0; guard < 1 << 24; ++guard) {
        if (current) {
            TSlideShowObjectList* children = ChildListOf(current);
            if (current->GetEnabled() && children && !::Supports<IParallelCollection>(current)) {
                ListPosition(list) = index + 1;
                list = children;
                ListPosition(list) = 0;
                index = 0;
            } else {
                ++index;
            }
        }
        // A branch cursor never leaves its parallel group.
        if (::Supports<IParallelCollection>(list->OwnerObject())) return nullptr;
        if (index >= list->Count()) {
            TSlideShowObject* owner = list->OwnerObject();
            if (!owner || !owner->ParentList) return nullptr;
            if (::Supports<IParallelCollection>(owner)) return nullptr;
            list = owner->ParentList;
            if (::Supports<IParallelCollection>(list->OwnerObject())) return nullptr;
            index = ListPosition(list);
        }
        if (index < list->Count()) {
            current = (*list)[index];
            if (current->GetEnabled() && AsPlayable(current)) {
                ListPosition(list) = index;
                return current;
            }
        } else {
            current = nullptr;
        }
    }
    return nullptr;
}

void TShowWalk::SetListPositions(TPlayerSlideShowObjectItemList& items) {
    for (int i = 0; i < items.Count(); ++i) {
        TSlideShowObject* cursor = items.Item(i)->Cursor;
        if (!cursor || !cursor->ParentList) continue;
        ListPosition(cursor->ParentList) = cursor->ParentList->IndexOf(cursor);
        for (TSlideShowObject* o = cursor->GetParentObject(); o && o->ParentList; o = o->GetParentObject())
            ListPosition(o->ParentList) = o->ParentList->IndexOf(o) + 1;
    }
}

bool TShowWalk::QueueDueIn(TSlideShowObjectList& list, int32_t time, TPlayerSlideShowObjectItemList& items) {
    const bool parallel = ::Supports<IParallelCollection>(list.OwnerObject()) != nullptr;
    bool found = false;
    for (int i = 0; i < list.Count(); ++i) {
        TSlideShowObject* object = list[i];
        IPlayable* playable = AsPlayable(object);
        if (!playable || !object->GetEnabled()) continue;
        const int32_t start = playable->GetStartTime();
        if (!(start <= time || parallel) || int64_t(start) + object->GetDuration() - 1 < time) continue;
        bool result;
        TSlideShowObjectList* children = ChildListOf(object);
        if (::Supports<ICollection>(object) && !::Supports<IMerge>(object) && !::Supports<IParallelCollection>(object)) {
            result = children && QueueDueIn(*children, time, items);
        } else {
            items.Add(object);
            result = true;
        }
        if (result) {
            found = true;
            if (!parallel) break;
        }
    }
    return found;
}

// ---- free helpers ----

void ResetShowObjects(TSlideShowObjectList& root) {
    std::function<void(TSlideShowObjectList&)> walk = [&](TSlideShowObjectList& list) {
        for (int i = 0; i < list.Count(); ++i) {
            TSlideShowObject* object = list[i];
            if (IPlayable* playable = AsPlayable(object)) {
                playable->Reset();
                playable->ReleaseResources();
            }
            if (TSlideShowObjectList* children = ChildListOf(object)) walk(*children);
        }
    };
    walk(root);
}

TSlideShowObject* FindNeighbourObject(const std::vector<TSlideShowObject*>& listed, int32_t reference, bool forward,
                                      const TSlideShowObject* excluded) {
    auto startOf = [](TSlideShowObject* o) { return AsPlayable(o)->GetStartTime(); };
    auto better = [&](TSlideShowObject* best, TSlideShowObject* candidate) {
        if (!candidate) return best;
        if (!best) return candidate;
        if (forward) return startOf(candidate) < startOf(best) ? candidate : best;
        if (startOf(candidate) != startOf(best)) return startOf(candidate) > startOf(best) ? candidate : best;
        return candidate->Level() < best->Level() ? candidate : best;
    };
    // The best candidate inside an object, else the object itself.
    std::function<TSlideShowObject*(TSlideShowObject*)> bestIn = [&](TSlideShowObject* object) {
        TSlideShowObject* best = nullptr;
        if (!::Supports<IMerge>(object) && object->GetEnabled())
            if (TSlideShowObjectList* children = ChildListOf(object))
                for (int i = 0; i < children->Count(); ++i) best = better(best, bestIn((*children)[i]));
        if (!best && IsJumpCandidate(object, reference, forward, excluded)) best = object;
        return best;
    };
    TSlideShowObject* best = nullptr;
    for (TSlideShowObject* object : listed) {
        if (IsMusicPlaceholder(object)) continue;
        for (TSlideShowObject* o = object; o && o->ParentList; o = o->GetParentObject()) {
            TSlideShowObjectList* list = o->ParentList;
            const int at = list->IndexOf(o);
            if (at < 0) break;
            if (forward)
                for (int i = at + 1; i < list->Count(); ++i) best = better(best, bestIn((*list)[i]));
            else
                for (int i = at - 1; i >= 0; --i) best = better(best, bestIn((*list)[i]));
        }
    }
    return best;
}

