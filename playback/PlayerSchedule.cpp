// The player's schedule: which objects come next, their preparation step by step in the
// time between frames, and moving them on screen when they are due.
#include "playback/SlideShowPlayer.h"

#include "document/PlayableSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "document/SlideShowProperties.h"
#include "document/SoundServices.h"
#include "foundation/SlideShowGlobals.h"
#include "media/MusicPlayList.h"
#include "playback/AsideWorker.h"
#include "playback/PlayerInternals.h"
#include "playback/PlayerWindow.h"
#include "platform/RunEnd.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <unordered_set>
#include <vector>

using namespace PlayerInternals;

struct TSlideShowPlayer::TInitListItem {
    int32_t EstimatedTime = 0;
    int32_t StartTime = 0;
    int32_t Step = 0;
    // Its work goes to the helper thread: the tick's time left does not hold it back.
    bool Aside = false;
    IPlayable* Playable = nullptr;
    TSlideShowObject* Object = nullptr;
};

// ---- schedule ----

void TSlideShowPlayer::PrepareShow(bool, TSlideShowObject* startObject, int32_t startTime) {
    PauseClock();
    PauseMusicClock();
    ClearComingObjects();
    PlayingObjects.clear();
    ClearHighPriorityEvents();
    InstallShowFonts();
    CreateMusicFadeObject();
    PrepareMusicPlayList();
    listPositions_.clear();
    if (SlideShow) {
        AssignLayers(SlideShow->RootList());
        AssignStartTimes(SlideShow->RootList(), 0, TTimeMode::Sequence);
    }
    int32_t start = std::max(startTime, 0);
    if (startObject && SlideShow) {
        for (TSlideShowObject* o = startObject; o; o = SlideShow->GetNextObject(o))
            if (IPlayable* playable = AsPlayable(o)) {
                start = std::max(playable->GetStartTime(), 0);
                break;
            }
    }
    ScheduleItems.Clear(false);
    asideSteps_.clear();
    wentAside_.clear();
    if (start != 0) {
        QueueDueObjects(start, ScheduleItems);
        SetListPositions(ScheduleItems);
    }
    FullRepaint = true;
    seedRootCursor_ = true;
    ++prepareGeneration_;
    showPrepared_ = true;
    endReached_ = false;
    handedOver_ = false;
    frameRan_ = false;
    SetClockTime(start);
    SetMusicClockTime(start);
    const bool onlyDue = GetSettings()->OnlyDueAtStart;
    AdvanceObjects(onlyDue);
    const auto prepare = [this] { PrepareWhileWaiting(ComingObjects, -1); };
    if (Window)
        Window->RevealWhile(prepare);
    else
        prepare();
    FrameCount = 0;
    FpsFrames = 0;
    FpsWindowStart = 0;
    if (start != 0) {
        // What runs at the start is on screen before the first frame, at its place.
        AdvanceObjects(onlyDue);
        SeekPlayingObjects();
    }
    if (StepMode) {
        Paused = true;
        JumpToNextObject(true);
    }
    QueueBackgroundMusicEvent();
    if (soundSystem_) {
        try {
            soundSystem_->ObjectSounds().SetVolume(255);
            soundSystem_->MusicSounds().SetVolume(255);
        } catch (const std::exception&) {
        }
    }
    if (TWinPaintBox32* box = GetPaintBox()) {
        box->InvalidateScreen();
        box->InvalidateBuffer();
    }
    StartPosition = start;
}

void TSlideShowPlayer::AssignLayers(TSlideShowObjectList& list) {
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

void TSlideShowPlayer::AssignStartTimes(TSlideShowObjectList& list, int32_t time, TTimeMode mode) {
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

TSlideShowObject* TSlideShowPlayer::FindNextObject(TSlideShowObject* current) {
    if (!SlideShow) return nullptr;
    TSlideShowObjectList* list = nullptr;
    int32_t index = 0;
    if (current) {
        list = current->ParentList;
        if (!list) return nullptr;
        index = list->IndexOf(current);
        if (index < 0) index = ListPosition(list);
    } else {
        list = &SlideShow->RootList();
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

void TSlideShowPlayer::SetListPositions(TPlayerSlideShowObjectItemList& items) {
    for (int i = 0; i < items.Count(); ++i) {
        TSlideShowObject* cursor = items.Item(i)->Cursor;
        if (!cursor || !cursor->ParentList) continue;
        ListPosition(cursor->ParentList) = cursor->ParentList->IndexOf(cursor);
        for (TSlideShowObject* o = cursor->GetParentObject(); o && o->ParentList; o = o->GetParentObject())
            ListPosition(o->ParentList) = o->ParentList->IndexOf(o) + 1;
    }
}

bool TSlideShowPlayer::QueueDueObjects(int32_t time, TPlayerSlideShowObjectItemList& items) {
    if (SlideShow) QueueDueIn(SlideShow->RootList(), time, items);
    return true;
}

bool TSlideShowPlayer::QueueDueIn(TSlideShowObjectList& list, int32_t time, TPlayerSlideShowObjectItemList& items) {
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

bool TSlideShowPlayer::IsComing(const TSlideShowObject* object) const {
    return std::find(ComingObjects.begin(), ComingObjects.end(), object) != ComingObjects.end();
}

void TSlideShowPlayer::QueueComingObject(TSlideShowObject* object) {
    if (!IsComing(object)) ComingObjects.push_back(object);
}

void TSlideShowPlayer::DropComingObject(TSlideShowObject* object) {
    EraseObject(ComingObjects, object);
    asideSteps_.erase(object);
    wentAside_.erase(object);
    if (IsMusicPlaceholder(object)) FreeSlideShowObject(object);
}

void TSlideShowPlayer::ClearComingObjects() {
    while (!ComingObjects.empty()) DropComingObject(ComingObjects.back());
}

void TSlideShowPlayer::QueueScheduledObjects(bool onlyDue) {
    const int32_t now = GetPlayTime();
    if (seedRootCursor_) {
        seedRootCursor_ = false;
        if (ScheduleItems.Count() == 0)
            if (TSlideShowObject* first = FindNextObject(nullptr)) ScheduleItems.Add(first);
    }
    const int32_t preload = GetSettings()->PreloadTime;
    const int64_t lookAhead = int64_t(now) + preload;
    for (int i = 0; i < ScheduleItems.Count();) {
        TNextSlideShowObjectItem* item = ScheduleItems.Item(i);
        while (item->Cursor) {
            TSlideShowObject* object = item->Cursor;
            IPlayable* playable = AsPlayable(object);
            if (!playable) {
                item->Cursor = nullptr;
                break;
            }
            const int32_t start = playable->GetStartTime();
            if (onlyDue) {
                if (start > now) break;
            } else if (start > lookAhead) {
                // Without a look-ahead time the look-ahead is one object: while nothing
                // of this sequence waits to be prepared, its next object is queued now,
                // so that the idle time of the current one prepares it.
                // A collection waiting to be due needs no preparation and holds no place.
                if (preload > 0 || (item->LastQueued && IsComing(item->LastQueued) &&
                                    !::Supports<ICollection>(item->LastQueued)))
                    break;
            }
            if (object->GetEnabled() && !EnclosingCollage(object)) {
                QueueComingObject(object);
                playable->Start();
                item->LastQueued = object;
                queuedThisTick_ = true;
                if (IComposite* composite = ::Supports<IComposite>(object))
                    if (TSlideShowObjectList* sounds = composite->GetSoundObjects())
                        for (int k = 0; k < sounds->Count(); ++k) QueueComingObject((*sounds)[k]);
                if (::Supports<IParallelCollection>(object))
                    if (TSlideShowObjectList* children = ChildListOf(object))
                        for (int k = 0; k < children->Count(); ++k) {
                            TSlideShowObject* child = (*children)[k];
                            if (child->GetEnabled() && AsPlayable(child)) ScheduleItems.Add(child);
                        }
                // The list may have grown: the item pointer stays valid, it is owned.
                item = ScheduleItems.Item(i);
            }
            TSlideShowObject* next = item->Cursor;
            for (;;) {
                next = FindNextObject(next);
                IPlayable* p = AsPlayable(next);
                if (!p) break;
                const int32_t s = p->GetStartTime();
                if (!(s < now && int64_t(s) + next->GetDuration() <= now)) break;
            }
            item->Cursor = next;
        }
        if (!item->Cursor) ScheduleItems.Delete(i);
        else ++i;
    }
}

int TSlideShowPlayer::MoveDueObjects() {
    int musicObjects = 0;
    const int32_t now = GetPlayTime();
    for (size_t i = ComingObjects.size(); i-- > 0;) {
        if (i >= ComingObjects.size()) continue;
        TSlideShowObject* object = ComingObjects[i];
        IPlayable* playable = AsPlayable(object);
        if (!playable || !playable->IsInitialized() || playable->GetStartTime() > now) continue;
        if (TSlideShowObject* collage = EnclosingCollage(object)) {
            IPlayable* c = AsPlayable(collage);
            if (c && c->IsInitialized()) ComingObjects.erase(ComingObjects.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ComingObjects.erase(ComingObjects.begin() + static_cast<std::ptrdiff_t>(i));
        if (IsMusicPlaceholder(object)) {
            // Its preparation has opened the play-list item; it has done its work.
            FreeSlideShowObject(object);
            ++musicObjects;
        } else if (std::find(PlayingObjects.begin(), PlayingObjects.end(), object) == PlayingObjects.end()) {
            PlayingObjects.push_back(object);
            endReached_ = false;
            handedOver_ = true;
        }
    }
    return musicObjects;
}

void TSlideShowPlayer::SortObjectLists() {
    std::stable_sort(ComingObjects.begin(), ComingObjects.end(), ComparePlayOrder);
    std::stable_sort(PlayingObjects.begin(), PlayingObjects.end(), ComparePlayOrder);
}

void TSlideShowPlayer::AdvanceObjects(bool onlyDue) {
    QueueScheduledObjects(onlyDue);
    const int musicObjects = MoveDueObjects() + musicHandedOver_;
    musicHandedOver_ = 0;
    if (musicObjects == 0) QueueNextMusicItem();
    SortObjectLists();
    if (FullRepaint && drawnGeneration_ == prepareGeneration_) FullRepaint = false;
}

void TSlideShowPlayer::ResyncObjects() {
    const int32_t now = GetPlayTime();
    const int64_t lookAhead = int64_t(now) + GetSettings()->PreloadTime;
    for (size_t i = ComingObjects.size(); i-- > 0;) {
        if (i >= ComingObjects.size()) continue;
        TSlideShowObject* object = ComingObjects[i];
        IPlayable* playable = AsPlayable(object);
        if (!playable) continue;
        const int32_t start = playable->GetStartTime();
        if (start > lookAhead || start < now) playable->Reset();
        DropComingObject(object);
    }
    for (size_t i = PlayingObjects.size(); i-- > 0;) {
        if (i >= PlayingObjects.size()) continue;
        TSlideShowObject* object = PlayingObjects[i];
        IPlayable* playable = AsPlayable(object);
        if (!playable) continue;
        const int32_t start = playable->GetStartTime();
        if (start <= now && int64_t(start) + object->GetDuration() > int64_t(now) - 1) {
            playable->SeekTo(now);
        } else {
            playable->Reset();
            PlayingObjects.erase(PlayingObjects.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (MusicFollowsShow()) {
        TMusicProperties* music = MusicSettings();
        if (music && music->PlayList) {
            music->PlayList->Lock();
            if (soundSystem_) soundSystem_->MusicSounds().StopAll();
            music->PlayList->CurrentIndex = -1;
            music->PlayList->Unlock();
        }
    }
}

void TSlideShowPlayer::SeekPlayingObjects() {
    const int32_t now = GetPlayTime();
    for (TSlideShowObject* object : PlayingObjects)
        if (IPlayable* playable = AsPlayable(object)) playable->SeekTo(now);
}

// ---- preparation ----

TSlideShowObjectInitializationList* TSlideShowPlayer::CurrentInitializationList(IPlayable* playable) {
    if (!playable->GetInitializationList()) playable->BeginInitializationStep(this, PreparationStep::First);
    TSlideShowObjectInitializationList* list = playable->GetInitializationList();
    // Stages without entries are passed over; a kind may hand out a fresh list.
    for (int guard = 0; list && list->Count() == 0 && guard < 65536; ++guard) {
        if (playable->NextInitializationStep()) break;
        playable->BeginInitializationStep(this, list->CurrentStep);
        list = playable->GetInitializationList();
    }
    if (!list || list->CurrentStep == PreparationStep::AllDone || list->Count() == 0) return nullptr;
    return list;
}

int32_t TSlideShowPlayer::RemainingEstimate(IPlayable* playable) const {
    const TSlideShowObjectInitializationList* list = playable->GetInitializationList();
    return list && list->CurrentStep != PreparationStep::AllDone ? list->GetTotalEstimatedTime() : 0;
}

void TSlideShowPlayer::PreparationFailed(TSlideShowObject* object, std::vector<TSlideShowObject*>& objects) {
    // It will not be shown: it lets go of what its steps loaded.
    if (IPlayable* playable = AsPlayable(object)) {
        playable->Reset();
        playable->ReleaseResources();
    }
    if (&objects == &ComingObjects) DropComingObject(object);
    else EraseObject(objects, object);
}

int TSlideShowPlayer::PlanPreparation(std::vector<TSlideShowObject*>& objects, int32_t remaining, bool& due,
                                      std::vector<TInitListItem>& plan, bool unlimited) {
    // Only a due object after work aside is prepared past the time left (due on entry).
    if (remaining < 0 && !unlimited && !due) return 0;
    const int32_t now = GetPlayTime();
    const bool dueOnEntry = due;
    int result = 0;
    std::vector<TSlideShowObject*> exhausted;
    for (TSlideShowObject* object : objects) {
        IPlayable* playable = AsPlayable(object);
        if (!playable || playable->IsInitialized()) continue;
        const int32_t start = playable->GetStartTime();
        if (dueOnEntry && !unlimited && start > now) continue;
        // Its step waits for its work on the helper thread: nothing to do before that ends.
        if (!unlimited && start > now && StepRunsAside(object)) continue;
        if (start <= now) due = true;
        result = 1;
        TSlideShowObjectInitializationList* list = CurrentInitializationList(playable);
        if (!list) {
            // Every step has run and it is still not ready: it never will be.
            if (!playable->IsInitialized()) exhausted.push_back(object);
            continue;
        }
        for (int k = 0; k < list->Count(); ++k) {
            const TSlideShowObjectInitialization* entry = list->GetItem(k);
            const bool aside = entry->MayRunAside && !unlimited && start > now;
            if (!aside && entry->EstimatedTime > remaining && !unlimited && start > now) {
                result = 2;
                break;
            }
            plan.push_back({entry->EstimatedTime, start, entry->Step, aside, playable, object});
            if (!aside) remaining = SaturateInt32(int64_t(remaining) - entry->EstimatedTime);
        }
        if (result == 2) break;
    }
    for (TSlideShowObject* object : exhausted) PreparationFailed(object, objects);
    return result;
}

bool TSlideShowPlayer::ExecuteStep(IPlayable* playable, TSlideShowObject* object, int32_t step,
                                   std::vector<TSlideShowObject*>& objects) {
    steppedThisTick_.insert(object);
    stepObject_ = object;
    stepNumber_ = step;
    stepWentAside_ = false;
    const bool ok = playable->ExecuteInitializationStep(this, step);
    stepObject_ = nullptr;
    if (!ok) {
        asideSteps_.erase(object);
        PreparationFailed(object, objects);
        return false;
    }
    // Its work runs aside: the step stays, and runs again once the work is over.
    if (stepWentAside_) return true;
    asideSteps_.erase(object);
    if (TSlideShowObjectInitializationList* list = playable->GetInitializationList()) {
        list->DeleteStep(step);
        // The stage's last step done: on to the next stage, so that an object whose
        // steps are all done counts as prepared at once.
        if (list->Count() == 0) CurrentInitializationList(playable);
    }
    return true;
}

int TSlideShowPlayer::RunPreparation(std::vector<TInitListItem>& plan, std::vector<TSlideShowObject*>& objects,
                                     int32_t budget, bool unlimited, int32_t watchStart) {
    std::stable_sort(plan.begin(), plan.end(), [](const TInitListItem& a, const TInitListItem& b) {
        if (a.StartTime != b.StartTime) return a.StartTime < b.StartTime;
        return a.EstimatedTime < b.EstimatedTime;
    });
    const int32_t now = GetPlayTime();
    int ran = 0;
    std::unordered_set<const TSlideShowObject*> failed;
    for (const TInitListItem& entry : plan) {
        // A failed step ends its object's preparation: its later steps do not run, nor
        // do those after a step whose work went aside.
        if (failed.count(entry.Object)) continue;
        // The run ends: nothing more is prepared for a frame that never comes.
        if (RunEndRequested()) break;
        if (entry.StartTime > now && StepRunsAside(entry.Object)) continue;
        const int64_t left = int64_t(budget) - Diff(GetCurrentPlayTime(), watchStart);
        if (!unlimited && !entry.Aside && left <= entry.EstimatedTime && entry.StartTime > now) break;
        ++ran;
        urgentStep_ = entry.StartTime <= now;
        // What is due, or wanted before the first frame, is done at once.
        asideAllowed_ = !unlimited && entry.StartTime > now;
        const bool done = ExecuteStep(entry.Playable, entry.Object, entry.Step, objects);
        urgentStep_ = false;
        asideAllowed_ = false;
        if (!done) failed.insert(entry.Object);
    }
    plan.clear();
    return ran;
}

void TSlideShowPlayer::RunUrgentStep(std::vector<TSlideShowObject*>& objects) {
    // An object whose start is nearer than its remaining steps gets one step in every
    // tick, whatever the budget: a show that never idles stalls one step at a time
    // before the change, not all of them at it.
    const int32_t now = GetPlayTime();
    TSlideShowObject* chosen = nullptr;
    IPlayable* chosenPlayable = nullptr;
    for (TSlideShowObject* object : objects) {
        IPlayable* playable = AsPlayable(object);
        if (!playable || playable->IsInitialized()) continue;
        const int32_t start = playable->GetStartTime();
        if (start <= now || StepRunsAside(object)) continue;
        if (!CurrentInitializationList(playable)) continue;
        if (int64_t(start) - now >= int64_t(RemainingEstimate(playable)) + 50) continue;
        if (!chosen || start < chosenPlayable->GetStartTime()) {
            chosen = object;
            chosenPlayable = playable;
        }
    }
    if (!chosen || steppedThisTick_.count(chosen)) return;
    TSlideShowObjectInitializationList* list = CurrentInitializationList(chosenPlayable);
    if (!list) return;
    urgentStep_ = true;
    asideAllowed_ = true;
    ExecuteStep(chosenPlayable, chosen, list->First()->Step, objects);
    urgentStep_ = false;
    asideAllowed_ = false;
}

bool TSlideShowPlayer::RunAside(const TSlideShowObject* item, const std::shared_ptr<TAsideWork>& work) {
    // A collage prepares its children whole in its own step: theirs never go aside.
    if (!asideAllowed_ || !stepObject_ || item != stepObject_ || !work || stepWentAside_) return false;
    if (!asideWorker_) asideWorker_ = std::make_unique<TAsideWorker>();
    if (!asideWorker_->Queue(work)) return false;
    asideSteps_[stepObject_] = TAsideStep{work, stepNumber_};
    wentAside_.insert(stepObject_);
    stepWentAside_ = true;
    return true;
}

bool TSlideShowPlayer::DueAfterAside(const std::vector<TSlideShowObject*>& objects) {
    const int32_t now = GetPlayTime();
    for (TSlideShowObject* object : objects) {
        IPlayable* playable = AsPlayable(object);
        if (playable && wentAside_.count(object) && playable->GetStartTime() <= now && !playable->IsInitialized())
            return true;
    }
    return false;
}

void TSlideShowPlayer::PrepareDueAfterAside() {
    std::vector<TInitListItem> plan;
    // A pass runs a stage of each due object; the guard only keeps damage from looping.
    for (int guard = 0; guard < 256 && DueAfterAside(ComingObjects); ++guard) {
        bool due = true;
        plan.clear();
        PlanPreparation(ComingObjects, 0, due, plan, false);
        if (RunPreparation(plan, ComingObjects, 0, false, GetCurrentPlayTime()) == 0) break;
    }
}

bool TSlideShowPlayer::StepRunsAside(const TSlideShowObject* object) const {
    const auto found = asideSteps_.find(object);
    return found != asideSteps_.end() && found->second.Work->Pending();
}

void TSlideShowPlayer::TakeUpAsideSteps(std::vector<TSlideShowObject*>& objects) {
    std::vector<std::pair<TSlideShowObject*, int32_t>> over;
    for (TSlideShowObject* object : objects) {
        const auto found = asideSteps_.find(object);
        if (found != asideSteps_.end() && !found->second.Work->Pending()) over.emplace_back(object, found->second.Step);
    }
    for (const auto& [object, step] : over) {
        IPlayable* playable = AsPlayable(object);
        TSlideShowObjectInitializationList* list = playable ? playable->GetInitializationList() : nullptr;
        bool listed = false;
        for (int k = 0; list && k < list->Count() && !listed; ++k) listed = list->GetItem(k)->Step == step;
        // Only the step that handed its work aside takes it up.
        if (!listed) {
            asideSteps_.erase(object);
            continue;
        }
        ExecuteStep(playable, object, step, objects);
        // Taking the result up is no step's work: an urgent object still gets its step.
        steppedThisTick_.erase(object);
    }
}

void TSlideShowPlayer::PrepareWhileWaiting(std::vector<TSlideShowObject*>& objects, int32_t delay) {
    const bool unlimited = delay == -1;
    const int32_t watchStart = GetCurrentPlayTime();
    const int32_t budget = std::max(0, delay - 50);
    auto left = [&] { return int64_t(budget) - Diff(GetCurrentPlayTime(), watchStart); };
    std::vector<TInitListItem> plan;
    TakeUpAsideSteps(objects);
    bool due = DueAfterAside(objects);
    while (!objects.empty()) {
        plan.clear();
        const int result = PlanPreparation(objects, SaturateInt32(left()), due, plan, unlimited);
        if (result == 1 || (result == 2 && due)) {
            // A pass that runs no step would only plan the same again.
            if (RunPreparation(plan, objects, budget, unlimited, watchStart) == 0) break;
            if (!(unlimited || left() > 0 || DueAfterAside(objects))) break;
        } else {
            break;
        }
    }
    if (!unlimited && !objects.empty()) RunUrgentStep(objects);
}
