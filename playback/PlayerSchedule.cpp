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
#include "playback/PlayerInternals.h"
#include "playback/PlayerWindow.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <unordered_set>
#include <vector>

using namespace PlayerInternals;

// ---- schedule ----

void TSlideShowPlayer::PrepareShow(bool, TSlideShowObject* startObject, int32_t startTime) {
    PauseClock();
    PauseMusicClock();
    preparation_->Clear();
    PlayingObjects.clear();
    ClearHighPriorityEvents();
    InstallShowFonts();
    CreateMusicFadeObject();
    PrepareMusicPlayList();
    walk_.Clear();
    if (SlideShow) {
        walk_.AssignLayers(SlideShow->RootList());
        TShowWalk::AssignStartTimes(SlideShow->RootList(), 0, TShowWalk::TTimeMode::Sequence);
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
    preparation_->ForgetAside();
    if (start != 0) {
        QueueDueObjects(start, ScheduleItems);
        walk_.SetListPositions(ScheduleItems);
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

TSlideShowObject* TSlideShowPlayer::FindNextObject(TSlideShowObject* current) {
    return SlideShow ? walk_.Next(SlideShow->RootList(), current) : nullptr;
}

bool TSlideShowPlayer::QueueDueObjects(int32_t time, TPlayerSlideShowObjectItemList& items) {
    if (SlideShow) TShowWalk::QueueDueIn(SlideShow->RootList(), time, items);
    return true;
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
                if (preload > 0 || (item->LastQueued && preparation_->IsQueued(item->LastQueued) &&
                                    !::Supports<ICollection>(item->LastQueued)))
                    break;
            }
            if (object->GetEnabled() && !EnclosingCollage(object)) {
                preparation_->Queue(object);
                playable->Start();
                item->LastQueued = object;
                queuedThisTick_ = true;
                if (IComposite* composite = ::Supports<IComposite>(object))
                    if (TSlideShowObjectList* sounds = composite->GetSoundObjects())
                        for (int k = 0; k < sounds->Count(); ++k) preparation_->Queue((*sounds)[k]);
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
        preparation_->Drop(object);
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

void TSlideShowPlayer::PrepareWhileWaiting(std::vector<TSlideShowObject*>& objects, int32_t delay) {
    preparation_->PrepareWhileWaiting(objects, delay);
}
