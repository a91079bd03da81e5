#include "playback/OffscreenPlayerHost.h"

#include "playback/PaintBoxPlacement.h"

#include <algorithm>
#include <chrono>
#include <thread>

TOffscreenPlayerHost::TOffscreenPlayerHost(TSlideShowPlayer& player, int32_t clientWidth, int32_t clientHeight,
                                           TManualTickCount* clock)
    : player_(player), clock_(clock), surface_(clientWidth, clientHeight), startTick_(GetTickCount()) {
    paintBox_.SetSurface(&surface_);
}

TOffscreenPlayerHost::~TOffscreenPlayerHost() { Finish(); }

void TOffscreenPlayerHost::Finish() {
    if (playing_ && player_.Window == this) player_.EndPlay();
    playing_ = false;
}

void TOffscreenPlayerHost::Setup(TSlideShowPlayer*, TSlideShow* show, TSlideShowPlayerProperties*) {
    paintBox_.SetBoundsRect(PaintBoxPlacement(show, TRect{0, 0, surface_.Image().Width, surface_.Image().Height}));
    paintBox_.ResizeBuffer();
}

void TOffscreenPlayerHost::Start(TSlideShow* show, bool makeCopy, TSlideShowObject* object, int32_t time) {
    closed_ = false;
    playing_ = true;
    nextTickAt_ = 0;
    player_.BeginPlay(this, show, makeCopy, object, std::max(time, 0));
    SetOnMessageLoop([this] { player_.MessageLoopStep(); });
    SetMessageHook([this](TMessage& m) { return player_.HandlePlayerMessage(m); });
    // The clocks start when the loop begins; messages posted before it are handled after.
    player_.StartAt(player_.StartPosition);
    while (PumpMessage()) {
    }
}

void TOffscreenPlayerHost::Play(TSlideShow* show, bool makeCopy) { Start(show, makeCopy, nullptr, 0); }

void TOffscreenPlayerHost::PlayFromObject(TSlideShow* show, TSlideShowObject* object, bool makeCopy) {
    Start(show, makeCopy, object, 0);
}

void TOffscreenPlayerHost::PlayFromTime(TSlideShow* show, int32_t time, bool makeCopy) {
    Start(show, makeCopy, nullptr, time);
}

void TOffscreenPlayerHost::PostMessage(const TMessage& message) {
    {
        std::lock_guard<std::mutex> guard(messageLock_);
        messages_.push_back(message);
    }
    // A message wakes the loop at once.
    posted_.notify_all();
}

bool TOffscreenPlayerHost::HasMessages() const {
    std::lock_guard<std::mutex> guard(messageLock_);
    return !messages_.empty();
}

std::deque<TMessage> TOffscreenPlayerHost::PendingMessages() const {
    std::lock_guard<std::mutex> guard(messageLock_);
    return messages_;
}

void TOffscreenPlayerHost::SendMessage(TMessage& message) { Dispatch(message); }

void TOffscreenPlayerHost::Dispatch(TMessage& message) {
    if (hook_ && hook_(message)) return;
    // A modal window that is asked to close ends its loop.
    if (message.Msg == WM_CLOSE) closed_ = true;
}

bool TOffscreenPlayerHost::PumpMessage() {
    TMessage message;
    {
        std::lock_guard<std::mutex> guard(messageLock_);
        if (messages_.empty()) return false;
        message = messages_.front();
        messages_.pop_front();
    }
    Dispatch(message);
    return true;
}

void TOffscreenPlayerHost::Tick() {
    lastTickStart_ = Elapsed();
    if (onMessageLoop_) onMessageLoop_();
    PumpMessage();
    ++tickCount_;
    lastTickDuration_ = Elapsed() - lastTickStart_;
    if (OnTick) OnTick();
}

int64_t TOffscreenPlayerHost::Elapsed() const { return static_cast<uint32_t>(GetTickCount() - startTick_); }

void TOffscreenPlayerHost::Wait(int64_t ms) {
    if (ms <= 0) return;
    if (clock_) {
        clock_->Advance(static_cast<uint32_t>(ms));
        return;
    }
    std::unique_lock<std::mutex> guard(messageLock_);
    posted_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return !messages_.empty(); });
}

void TOffscreenPlayerHost::ScheduleNextTick() {
    const int64_t now = Elapsed();
    if (HasMessages()) {
        nextTickAt_ = now;
        return;
    }
    const int32_t wait = player_.TimeToNextTick();
    if (wait < 0) nextTickAt_ = INT64_MAX;
    else nextTickAt_ = now + (wait == 0 ? FrameStep : wait) + WakeLateness;
}

void TOffscreenPlayerHost::RunStrictlyFor(int32_t ms) {
    const int64_t target = Elapsed() + std::max(ms, 0);
    while (!closed_) {
        const int64_t now = Elapsed();
        if (nextTickAt_ <= now || HasMessages()) {
            Tick();
            if (closed_) break;
            ScheduleNextTick();
            continue;
        }
        if (now >= target) break;
        Wait(std::min(nextTickAt_, target) - now);
    }
}

void TOffscreenPlayerHost::RunFor(int32_t ms) {
    if (Strict && clock_) {
        RunStrictlyFor(ms);
        return;
    }
    const int64_t target = Elapsed() + std::max(ms, 0);
    while (!closed_) {
        Tick();
        const int64_t left = target - Elapsed();
        if (left <= 0 || closed_) break;
        // A message waiting is handled in the next pass, at once.
        const bool waiting = HasMessages();
        const int32_t wait = waiting ? 0 : player_.TimeToNextTick();
        const int64_t step = wait < 0 ? left : wait == 0 ? (waiting ? 0 : FrameStep) : wait;
        Wait(std::min(step, left));
    }
}

int32_t TOffscreenPlayerHost::RunModalLoop() {
    while (!closed_) {
        Tick();
        if (closed_) break;
        const bool waiting = HasMessages();
        const int32_t wait = waiting ? 0 : player_.TimeToNextTick();
        // Nothing will ever happen without a message, and none can come: the loop ends.
        if (wait < 0) break;
        Wait(wait == 0 && !waiting ? FrameStep : wait);
    }
    return closed_ ? 2 : 0;
}
