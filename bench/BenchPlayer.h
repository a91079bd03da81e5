// The player as far as the items ask it: a back buffer, a settable time and a
// benchmark store.
#pragma once

#include "document/PlayerServices.h"
#include "foundation/Benchmark.h"
#include "graphics/Bitmap32.h"

class TBenchPlayer : public IPlayerServices {
public:
    explicit TBenchPlayer(TBitmap32 buffer = TBitmap32(1920, 1080)) : Buffer(std::move(buffer)) {}
    int32_t GetPlayTime() override { return PlayTime; }
    int32_t GetCurrentPlayTime() override { return PlayTime; }
    int32_t GetMusicTime() override { return PlayTime; }
    TBitmap32* GetBackBuffer() override { return &Buffer; }
    TRect GetClientRect() override { return Buffer.BoundsRect(); }
    TSlideShowPlayerProperties* GetSettings() override { return nullptr; }
    TBenchmark& GetBenchmark() override { return Bench; }
    void AddHighPriorityEvent(std::shared_ptr<THighPriorityEvent>) override {}
    bool RemoveHighPriorityEvent(THighPriorityEvent*) override { return false; }
    void SetPaused(bool) override {}
    void FadeSoundVolume(uint8_t, int32_t) override {}
    void FadeMusicVolume(uint8_t, int32_t) override {}
    void FadeAllVolume(uint8_t, int32_t) override {}
    void PostPlayerMessage(const TMessage&) override {}
    void SendPlayerMessage(TMessage&) override {}

    int32_t PlayTime = 0;
    TBitmap32 Buffer;
    TBenchmark Bench;
};
