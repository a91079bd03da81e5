#include "playback/MusicOpener.h"

#include "media/FMODBinding.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/DebugOutput.h"

#include <chrono>

TMusicOpener::TMusicOpener() = default;

TMusicOpener::~TMusicOpener() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        asks_.clear();
        stopOpen_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    answers_.clear();
}

void TMusicOpener::Ask(const void* key, TKind kind, const AnsiString& file) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (quit_ || IsWaiting(key, kind)) return;
        asks_.push_back({key, kind, file});
        // The thread comes with the first ask: most shows have no music.
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    changed_.notify_all();
}

bool TMusicOpener::IsWaiting(const void* key, TKind kind) const {
    if (current_.Key == key && current_.Kind == kind) return true;
    for (const TAsk& ask : asks_)
        if (ask.Key == key && ask.Kind == kind) return true;
    for (const TAnswer& answer : answers_)
        if (answer.Key == key && answer.Kind == kind) return true;
    return false;
}

bool TMusicOpener::Waiting(const void* key, TKind kind) const {
    std::lock_guard<std::mutex> guard(lock_);
    return IsWaiting(key, kind);
}

bool TMusicOpener::Busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return current_.Key || !asks_.empty() || !answers_.empty();
}

std::vector<TMusicOpener::TAnswer> TMusicOpener::TakeAnswers() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<TAnswer> taken = std::move(answers_);
    answers_.clear();
    return taken;
}

bool TMusicOpener::Failed(const AnsiString& file) const {
    std::lock_guard<std::mutex> guard(lock_);
    return failed_.count(file) != 0;
}

void TMusicOpener::Cancel() {
    std::vector<TAnswer> dropped;
    {
        std::unique_lock<std::mutex> guard(lock_);
        asks_.clear();
        dropped = std::move(answers_);
        answers_.clear();
        ++generation_;
        if (current_.Key) {
            stopOpen_ = true;
            changed_.wait(guard, [this] { return !current_.Key; });
        }
        stopOpen_ = false;
    }
    // The sounds close here, outside the lock.
}

bool TMusicOpener::WaitUntilAnswered(int timeoutMs) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [this] { return !current_.Key && asks_.empty(); });
}

void TMusicOpener::Run() {
    SetSoundOpenStop(&stopOpen_);
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return quit_ || !asks_.empty(); });
        if (quit_) break;
        current_ = asks_.front();
        asks_.pop_front();
        const TAsk ask = current_;
        const uint64_t generation = generation_;
        guard.unlock();

        TAnswer answer{ask.Key, ask.Kind, nullptr, -1};
        bool opened = false;
        try {
            std::unique_ptr<TSlideShowSound> sound = NewSlideShowSound(SoundSystem(), 255);
            opened = sound && sound->Open(ask.File);
            if (opened && ask.Kind == TKind::Measure) answer.Length = sound->GetLength();
            if (opened && ask.Kind == TKind::Open) answer.Sound = std::move(sound);
        } catch (const std::exception& e) {
            OutputDebugString(AnsiString("Music: ") + e.what());
        }

        guard.lock();
        const bool stopped = stopOpen_.load() || generation != generation_ || quit_;
        current_ = TAsk{nullptr, TKind::Open, AnsiString()};
        if (!stopped) {
            if (!opened) {
                failed_.insert(ask.File);
                OutputDebugString("Music: cannot open " + ask.File + "; not asked for again in this run");
            }
            answers_.push_back(std::move(answer));
        } else if (answer.Sound) {
            // Not wanted any more; closed outside the lock.
            guard.unlock();
            answer.Sound.reset();
            guard.lock();
        }
        changed_.notify_all();
    }
    SetSoundOpenStop(nullptr);
}
