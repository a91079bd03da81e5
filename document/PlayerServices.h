// What items ask of the player that plays them. The player implements it; items and
// tests know only this.
#pragma once

#include "foundation/ClassRegistry.h"
#include "platform/Messages.h"
#include "platform/Types.h"

#include <cstdint>
#include <functional>
#include <memory>

class TBenchmark;
class TBenchmarkValue;
class TBitmap32;
class TSlideShowPlayerProperties;
class IPlayerServices;

// A small timed action in the player's locked queue, run at the start of every frame
// until it reports that it is done. The queue and whoever else keeps the event share it;
// the last reference ends it.
class THighPriorityEvent : public TObject {
    GC_DECLARE_CLASS(THighPriorityEvent)
public:
    explicit THighPriorityEvent(IPlayerServices* player) : Player(player) {}
    // One step; True when the event is done. The base is done at once.
    virtual bool Execute() { return true; }
    // Milliseconds until the event next has something to do, so that a waiting player
    // knows when to wake; 0 means every frame, -1 only when something else happens.
    virtual int32_t TimeToNextTick() { return 0; }

    // Queued by its maker for the queue alone; the queue keeps the only reference.
    bool Owned = false;
    IPlayerServices* Player = nullptr;
};

class IPlayerServices {
public:
    virtual ~IPlayerServices() = default;

    // The show time of the current tick, so every item of a frame sees the same time.
    virtual int32_t GetPlayTime() = 0;
    // The show time read now.
    virtual int32_t GetCurrentPlayTime() = 0;
    virtual int32_t GetMusicTime() = 0;
    // The paint box's back buffer, sized as the paint box; null while there is none.
    virtual TBitmap32* GetBackBuffer() = 0;
    // The paint box's client rectangle.
    virtual TRect GetClientRect() = 0;
    // The player's settings; null before they are set.
    virtual TSlideShowPlayerProperties* GetSettings() = 0;
    // The player's own store of measured preparation times.
    virtual TBenchmark& GetBenchmark() = 0;
    // Queues an event; adding an event that is queued already does nothing.
    virtual void AddHighPriorityEvent(std::shared_ptr<THighPriorityEvent> event) = 0;
    // Takes an event out of the queue; False when it was not queued.
    virtual bool RemoveHighPriorityEvent(THighPriorityEvent* event) = 0;
    // Whoever has timed work asks for the loop to tick again within ms of the current
    // tick's show time (0: in the next frame). Requests only ever bring the next tick
    // nearer; they hold until that tick.
    virtual void RequestWakeup(int32_t ms) { (void)ms; }
    // True pauses a running show, False resumes a paused one.
    virtual void SetPaused(bool paused) = 0;
    // Volume fades on the music time line: the object sounds, the music, or both lists.
    // A new fade replaces the pending one of the same lists.
    virtual void FadeSoundVolume(uint8_t targetVolume, int32_t duration) = 0;
    virtual void FadeMusicVolume(uint8_t targetVolume, int32_t duration) = 0;
    virtual void FadeAllVolume(uint8_t targetVolume, int32_t duration) = 0;
    // The player's private messages to its window; nothing while no window plays.
    virtual void PostPlayerMessage(const TMessage& message) = 0;
    virtual void SendPlayerMessage(TMessage& message) = 0;
    // Whether the show's actions may start programs and open documents or addresses; not
    // where nobody may see or close what they open. A player that refuses says so once
    // on the debug output.
    virtual bool MayStartPrograms() { return true; }
};

// Runs a preparation step's work, timed; when it succeeds the time is recorded in the
// player's benchmark under name with value's key, otherwise value is dropped.
bool TimedInitializationStep(IPlayerServices* player, const char* name, std::unique_ptr<TBenchmarkValue> value,
                             const std::function<bool()>& work);
// Records a step's work timed elsewhere (ms) as TimedInitializationStep does.
void RecordInitializationStep(IPlayerServices* player, const char* name, std::unique_ptr<TBenchmarkValue> value,
                              int32_t ms);
