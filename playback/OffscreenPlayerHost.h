// A player window without a window: what PlayInWindow does, for a client area in memory.
// The paint box is placed as the player window places it, the back buffer's flushes land
// in an off-screen client image, and the loop runs on demand: on the driven clock each
// pass advances the clock by what the player may wait, on the real clock it sleeps that
// long. Tests, renders and benchmarks play shows with it.
#pragma once

#include "platform/Clock.h"
#include "platform/WindowSurface.h"
#include "playback/PlayerWindow.h"
#include "playback/SlideShowPlayer.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class TOffscreenPlayerHost : public IPlayerWindow {
public:
    // A host with a client area of that size for a player it does not own. With a driven
    // clock the host advances it; without one it runs on the real clock.
    TOffscreenPlayerHost(TSlideShowPlayer& player, int32_t clientWidth, int32_t clientHeight,
                         TManualTickCount* clock = nullptr);
    ~TOffscreenPlayerHost() override;
    TOffscreenPlayerHost(const TOffscreenPlayerHost&) = delete;
    TOffscreenPlayerHost& operator=(const TOffscreenPlayerHost&) = delete;

    // The player takes the show, the paint box is placed, the show is prepared (from the
    // object, or from the show time), and the clocks start, as the window's loop starts
    // them. No tick has run yet.
    void Play(TSlideShow* show, bool makeCopy = false);
    void PlayFromObject(TSlideShow* show, TSlideShowObject* object, bool makeCopy = false);
    void PlayFromTime(TSlideShow* show, int32_t time, bool makeCopy = false);
    // The player lets go of the host as its window (also on destruction).
    void Finish();

    // One pass of the loop: the player's tick, then at most one waiting message.
    void Tick();
    // Passes until ms have passed on the clock, the last one at exactly that moment
    // (unless a pass itself ran past it, or the window closed). In strict mode the clock
    // moves on to that moment without a pass of its own: only the waits the player asked
    // for (and messages) bring a pass, as in the window's loop.
    void RunFor(int32_t ms);
    // The clock's reading in ms since the host was made.
    int64_t Elapsed() const;

    TOffscreenWindowSurface& Surface() { return surface_; }
    // What the client area shows.
    const TImage32& ClientImage() const { return surface_.Image(); }
    TWinPaintBox32& PaintBox() { return paintBox_; }
    bool Closed() const { return closed_; }
    int32_t TickCount() const { return tickCount_; }
    // When the last pass began (Elapsed) and how long it took, in ms.
    int64_t LastTickStart() const { return lastTickStart_; }
    int64_t LastTickDuration() const { return lastTickDuration_; }
    std::deque<TMessage> PendingMessages() const;

    // The clock step for a player that wants the next frame (its wait is 0).
    int32_t FrameStep = 16;
    // RunFor ticks only when the player's wait is over (on the driven clock).
    bool Strict = false;
    // Strict mode: every timed wake-up comes that many ms after the time asked for, as
    // a system's timed wait may.
    int32_t WakeLateness = 0;
    // Called after every pass, for observers.
    std::function<void()> OnTick;
    // The frame-rate texts the player drew on the window.
    std::vector<AnsiString> FrameRateTexts;

    // IPlayerWindow.
    void Setup(TSlideShowPlayer* player, TSlideShow* show, TSlideShowPlayerProperties* settings) override;
    TWinPaintBox32* GetPaintBox() override { return &paintBox_; }
    // From any thread: a message posted meanwhile ends a wait on the real clock at once,
    // and on the driven clock brings a pass before the clock moves on.
    void PostMessage(const TMessage& message) override;
    void SendMessage(TMessage& message) override;
    void DrawFrameRate(const AnsiString& text) override { FrameRateTexts.push_back(text); }
    void SetOnMessageLoop(std::function<void()> step) override { onMessageLoop_ = std::move(step); }
    void SetMessageHook(std::function<bool(TMessage&)> hook) override { hook_ = std::move(hook); }
    // Passes until the window closes.
    int32_t RunModalLoop() override;

private:
    void Start(TSlideShow* show, bool makeCopy, TSlideShowObject* object, int32_t time);
    bool PumpMessage();
    void Dispatch(TMessage& message);
    void Wait(int64_t ms);
    void RunStrictlyFor(int32_t ms);
    // Strict mode: when the next pass is due (Elapsed), or never without a message.
    void ScheduleNextTick();
    bool HasMessages() const;

    TSlideShowPlayer& player_;
    TManualTickCount* clock_;
    TOffscreenWindowSurface surface_;
    TWinPaintBox32 paintBox_;
    mutable std::mutex messageLock_;
    std::condition_variable posted_;
    std::deque<TMessage> messages_;
    std::function<void()> onMessageLoop_;
    std::function<bool(TMessage&)> hook_;
    uint32_t startTick_;
    bool playing_ = false;
    bool closed_ = false;
    int32_t tickCount_ = 0;
    int64_t lastTickStart_ = 0;
    int64_t lastTickDuration_ = 0;
    int64_t nextTickAt_ = 0;
};
