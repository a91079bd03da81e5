// Opens the background music's files on a thread of its own, so that neither measuring
// the play list nor opening its items holds the player's frames and input: a web address
// that never answers would hold them for as long as its open may take. The player asks,
// and takes the answers up at its next frames; the music then simply starts late. A file
// that could not be opened is remembered for as long as the opener lives (the run), and
// never asked for again.
#pragma once

#include "platform/SysUtils.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class TSlideShowSound;

class TMusicOpener {
public:
    enum class TKind { Measure, Open };
    struct TAnswer {
        const void* Key = nullptr;
        TKind Kind = TKind::Open;
        // Open: the sound, open; null when the file could not be opened.
        std::unique_ptr<TSlideShowSound> Sound;
        // Measure: the file's length in ms; -1 when it cannot be told.
        int32_t Length = -1;
    };

    TMusicOpener();
    // Stops an open under way and waits for the thread.
    ~TMusicOpener();
    TMusicOpener(const TMusicOpener&) = delete;
    TMusicOpener& operator=(const TMusicOpener&) = delete;

    // Asks for the file's sound or length, answered under key; a second ask for the same
    // key and kind while the first waits is dropped.
    void Ask(const void* key, TKind kind, const AnsiString& file);
    // Whether an ask for key and kind is not answered yet, or its answer not taken.
    bool Waiting(const void* key, TKind kind) const;
    // Whether any ask is not answered yet, or any answer not taken.
    bool Busy() const;
    std::vector<TAnswer> TakeAnswers();
    // Whether the file could not be opened before.
    bool Failed(const AnsiString& file) const;
    // Drops every ask and answer and stops an open under way; returns once the thread
    // holds nothing. What failed stays remembered.
    void Cancel();
    // Returns once nothing is asked any more (True), or after timeoutMs (False).
    bool WaitUntilAnswered(int timeoutMs) const;

private:
    struct TAsk {
        const void* Key;
        TKind Kind;
        AnsiString File;
    };
    void Run();
    bool IsWaiting(const void* key, TKind kind) const;  // under lock_

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::deque<TAsk> asks_;
    std::vector<TAnswer> answers_;
    std::set<AnsiString> failed_;
    // The ask being opened; its key is null when none is.
    TAsk current_{nullptr, TKind::Open, AnsiString()};
    // Set to stop the open under way; the sound library asks it while it opens.
    std::atomic<bool> stopOpen_{false};
    uint64_t generation_ = 0;
    bool quit_ = false;
    std::thread thread_;
};
