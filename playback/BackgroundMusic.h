// Background music on its own time line: the play list laid out item after item, the
// event that starts, fades and stops the items as the music time passes, and the
// closing fade of all sound at the show's end.
#pragma once

#include "playback/SlideShowPlayer.h"

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

class TMusicPlayList;
class TMusicPlayListItem;
class TMusicProperties;

// The player's data of one play-list item.
class TBackgroundMusicRuntimeData : public TObject {
    GC_DECLARE_CLASS(TBackgroundMusicRuntimeData)
public:
    int32_t ItemStart = -1;  // on the music time line; -1: the item never starts
    // The pending fade-in or fade-out; let go of when it leaves the queue.
    std::shared_ptr<TFadeBackgroundMusicHighPriorityEvent> ItemFade;
    bool FadingIn = false;
    bool FadingOut = false;
    // The pass for which a placeholder last opened the item ahead of its start.
    int32_t QueuedPass = -1;
    // How much later than planned it started, opened at its start: its end moves as much.
    int32_t LateStart = 0;
    // The music position at which it was due while the opener still opened it; -1: none.
    int32_t WaitingSince = -1;
    // How long it waited so, for its start to take up.
    int32_t WaitedForOpen = 0;
};

TBackgroundMusicRuntimeData* MusicRuntimeData(const TMusicPlayListItem* item);
// The item's end on the music time line; -1 when it never starts or its length is unknown.
int32_t GetMusicItemEnd(const TMusicPlayListItem* item);
// Lays the items out on the music time line, measured already (nothing is opened here).
// An item whose length cannot be told (its file could not be opened) counts as one of
// no length: it never starts, and the items after it keep their places.
void LayOutMusicPlayList(TMusicPlayList& list);
// The end of the last laid-out item: the length of one pass.
int32_t MusicPassLength(const TMusicPlayList& list);

class TBackgroundMusicHighPriorityEvent : public THighPriorityEvent {
    GC_DECLARE_CLASS(TBackgroundMusicHighPriorityEvent)
public:
    explicit TBackgroundMusicHighPriorityEvent(TSlideShowPlayer* player);
    bool Execute() override;
    // The time of the next item start, fade-out, end or end of the pass; every frame
    // while a fade runs. Sounds that follow a moving volume curve ask for their frames
    // where the curves are applied.
    int32_t TimeToNextTick() override;

    void StartDueMusicItems(int32_t position);
    void StartMusicItem(TMusicPlayListItem* item, int32_t offset);
    void UpdateMusicFades(int32_t position);
    void StopMusicItem(TMusicPlayListItem* item);
    void StopAllMusicItems();
    // The pass the music time is in, and the position inside it; False without a pass.
    bool MusicPosition(int32_t& pass, int32_t& position);

    std::vector<TMusicPlayListItem*> ActiveItems;  // not owned
    int32_t TotalDuration = -2;
    int32_t LastPass = 0;
    // How much later the music's time line starts than the music time, for the time the
    // play list's measuring took off the player's thread.
    int32_t LayoutDelay = 0;

private:
    // The opener's answers, taken up into the play list's items.
    void TakeOpenedMusic(TMusicPlayList& list);
    // Asks for the lengths not known yet; True once every length is known or cannot be told.
    bool MeasureMusicPlayList(TMusicPlayList& list);
    // True when the item has its sound; else its open is asked for (unless its file failed
    // before) and the item starts once that is answered.
    bool OpenMusicItem(TMusicPlayListItem* item);
    int32_t measureAskedAt_ = -1;  // the music time of the first ask; -1: none
    std::set<const TMusicPlayListItem*> measureAsked_;
    void DropItemFade(TBackgroundMusicRuntimeData* data);
    TMusicProperties* Music() const;
    TSlideShowPlayer* owner_;
};
