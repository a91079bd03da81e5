// A day of driven show time: a looping show of pictures with random transitions, an item
// that plays music on the music list, fades of every kind and events the queue owns and
// does not own, each pass. Built only with the sanitizers, which report any fault and
// tell how much memory is held: it must not grow from the first hour to the last.
#include "playback/PlayerTestSupport.h"
#include "soundlib/SoundFixtures.h"

#include "document/SoundSlideShowObject.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Random.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstdio>

// The sanitizer runtime's count of the bytes the program holds (g++ ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();

namespace {

constexpr int64_t kHour = 3600 * 1000;

class TSoakEvent : public THighPriorityEvent {
public:
    using THighPriorityEvent::THighPriorityEvent;
    bool Execute() override { return ++Ran >= 3; }
    int Ran = 0;
};

// Plays the generated music while it runs, fades the lists and queues events.
class TMusicItem : public TScriptedItem {
public:
    int32_t Play(IPlayerServices* player, bool final) override {
        if (!Sound && !final) {
            if (ISoundSystem* system = CurrentSoundSystem()) {
                Sound = system->CreateSound(255);
                if (Sound && Sound->Open(MusicFile)) {
                    system->MusicSounds().Add(Sound.get());
                    Sound->Play();
                    ++Opened;
                }
            }
            player->FadeSoundVolume(180, 400);
            player->FadeMusicVolume(90, 700);
            auto owned = std::make_shared<TSoakEvent>(player);
            owned->Owned = true;
            player->AddHighPriorityEvent(std::move(owned));
            if (Kept) player->RemoveHighPriorityEvent(Kept.get());
            Kept = std::make_shared<TSoakEvent>(player);
            player->AddHighPriorityEvent(Kept);
        }
        if (!final && player->GetPlayTime() - GetStartTime() >= 1500 && !FadedAll) {
            FadedAll = true;
            player->FadeAllVolume(255, 300);
        }
        return TScriptedItem::Play(player, final);
    }
    void Reset() override {
        // The sound leaves its list as it goes.
        Sound.reset();
        FadedAll = false;
        // What the scripted item records is the test's, not the player's.
        Plays.clear();
        StepLog.clear();
        Seeks.clear();
        TScriptedItem::Reset();
    }
    std::string MusicFile;
    std::unique_ptr<ISlideShowSound> Sound;
    bool FadedAll = false;
    std::shared_ptr<TSoakEvent> Kept;
    int Opened = 0;
};

TEST(PlayerSoak, ADayOfDrivenShowTimeHoldsItsMemory) {
    PlayerTestPlugins();
    RandSeed(1);
    TempDir dir;
    const std::string music = dir / "music.wav";
    soundtest::WriteSine(music, 22050, 4.0, 440.0, 8000);
    InitSoundSystem({.ForceNew = true, .FmodPath = soundtest::LibraryPath()});
    ASSERT_NE(CurrentSoundSystem(), nullptr);
    ASSERT_TRUE(CurrentSoundSystem()->IsActive());
    {
        TPlayerRig rig(CurrentSoundSystem(), 96, 72);
        rig.Settings().PreloadTime = 0;
        rig.ShowSettings().EndAction = 0;
        rig.Host.FrameStep = 50;
        auto* musicItem = new TMusicItem();
        musicItem->SetDuration(3000);
        musicItem->MusicFile = music;
        musicItem->Area = TRect{0, 0, 16, 16};
        rig.Show.RootList().Add(musicItem);
        const TColor32 colors[] = {0xFFC03030, 0xFF30C030, 0xFF3030C0, 0xFFC0C030};
        for (int i = 0; i < 4; ++i) {
            const std::string name = "p" + std::to_string(i) + ".jpg";
            WriteFileBytes(dir / name, EncodeJpeg(96, 72, [&](int x, int y) { return (x / 8 + y / 8) % 2 ? colors[i] : clWhite32; }));
            // A new picture item reveals itself with a random transition.
            auto* item = new TExtPicSlideShowObject();
            item->SetFileName(AnsiString(dir.Program()) + name);
            item->SetDuration(29000);
            rig.Show.RootList().Add(item);
        }
        // Background music: two play-list items fading in and out, and a sound item that
        // lowers it and fades its own sound from its started event.
        auto& musicSettings = *dynamic_cast<TMusicProperties*>(rig.Show.MusicProperties);
        for (int i = 0; i < 2; ++i) {
            auto entry = std::make_unique<TMusicPlayListItem>();
            entry->FileName = AnsiString(dir.Program()) + "music.wav";
            entry->FadeInTime = 500;
            entry->FadeOutTime = 800;
            entry->Gap = 1500;
            musicSettings.PlayList->Add(std::move(entry));
        }
        auto* sound = new TSoundSlideShowObject();
        sound->FileName = AnsiString(dir.Program()) + "music.wav";
        sound->SoundLength = 4000;
        auto* started = new TSlideShowObjectEventObjectStarted();
        sound->CreateEventList()->Add(started);
        auto* fade = new TFadeSoundAction();
        fade->Settings()->Kind = 0;
        fade->Settings()->Volume = 100;
        fade->Settings()->FadeTime = 1000;
        started->CreateActionList()->Add(fade);
        rig.Show.RootList().Add(sound);
        int lastRestarts = 0;
        // The least held at a pass's start in the second hour and in the last: a read on
        // the player's helper thread may hold a picture at any one start, a leak at all.
        const char* hoursEnv = std::getenv("GC_SOAK_HOURS");
        const int hours = hoursEnv ? std::atoi(hoursEnv) : 24;
        int64_t hourOneBytes = -1, lastBytes = -1;
        auto least = [](int64_t& held, int64_t bytes) { held = held < 0 ? bytes : std::min(held, bytes); };
        rig.Host.OnTick = [&] {
            // The off-screen window's record of presented rectangles is the test's, not
            // the player's: it is emptied as it goes.
            rig.Host.Surface().TakePresented();
            if (rig.Player->Restarts == lastRestarts) return;
            lastRestarts = rig.Player->Restarts;
            const int64_t at = rig.Host.Elapsed();
            const int64_t bytes = static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
            if (at >= kHour && at < 2 * kHour) least(hourOneBytes, bytes);
            if (at >= int64_t(hours - 1) * kHour) least(lastBytes, bytes);
        };
        rig.Host.Play(&rig.Show);
        for (int hour = 0; hour < hours; ++hour) rig.Host.RunFor(static_cast<int32_t>(kHour));
        std::printf("passes %d, ticks %d, least held in the second hour: %lld bytes, in the last: %lld bytes\n", rig.Player->Restarts,
                    rig.Host.TickCount(), static_cast<long long>(hourOneBytes), static_cast<long long>(lastBytes));
        // A pass lasts a little over 126 s: the pictures, the sound item and the closing fade.
        EXPECT_GE(rig.Player->Restarts, hours * 3600 / 130);
        ASSERT_GT(hourOneBytes, 0);
        EXPECT_LE(std::abs(lastBytes - hourOneBytes), 64 * 1024);
        EXPECT_FALSE(rig.Host.Closed());
        EXPECT_GE(musicItem->Opened, rig.Player->Restarts);
    }
    ShutdownSoundSystem(true);
}

}  // namespace
