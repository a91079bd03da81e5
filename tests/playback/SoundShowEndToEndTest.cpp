// A show with background music, a sound item and the closing fade, played end to end
// through the off-screen host on the driven clock with our sound library (dummy audio
// driver): the music's level around the sound item and over the closing fade, and when
// the sound item's own sound plays.
#include "MusicShow.h"
#include "PlayerTestSupport.h"

#include "document/SoundSlideShowObject.h"
#include "foundation/Benchmark.h"

#include <cmath>
#include "media/SlideShowSoundSystem.h"

namespace {

struct TLevel {
    int64_t At;
    int Music;
    int Objects;
    bool SoundPlays;
};

// The music show with scripted stills; the loop looks at least every 10 ms.
TSoundSlideShowObject* BuildShow(TPlayerRig& rig, const TempDir& dir) {
    rig.Settings().PreloadTime = 0;
    rig.Host.FrameStep = 10;
    return BuildMusicShow(rig.Show, AnsiString(dir.Program()), [&](int32_t duration) { rig.Add(duration); });
}

TEST(SoundShowEndToEnd, TheMusicDucksUnderTheSoundAndFadesOutAtTheEnd) {
    PlayerTestPlugins();
    TempDir dir;
    WriteMusicShowSounds(dir.Path(), 22050);
    InitSoundSystem({.ForceNew = true, .FmodPath = soundtest::LibraryPath()});
    ASSERT_NE(CurrentSoundSystem(), nullptr);
    {
        TPlayerRig rig(CurrentSoundSystem());
        TSoundSlideShowObject* sound = BuildShow(rig, dir);
        ASSERT_EQ(sound->SoundLength, 3000);

        std::vector<TLevel> levels;
        int restarts = 0;
        rig.Host.OnTick = [&] {
            if (rig.Player->Restarts != restarts) return;
            ISoundSystem* s = CurrentSoundSystem();
            ISlideShowSound* own = sound->GetSound();
            levels.push_back({rig.Host.Elapsed(), s->MusicSounds().GetVolume(), s->ObjectSounds().GetVolume(),
                              own && own->IsPlaying()});
        };
        rig.Host.Play(&rig.Show);
        // A look every 50 ms, whatever the player's own waits.
        for (int i = 0; i < 260; ++i) rig.Host.RunFor(50);
        EXPECT_EQ(rig.Player->Restarts, 1);
        ASSERT_FALSE(levels.empty());
        // The show: 4 s still, the sound item from 4.0 to 7.6 s (its sound from 4.3 to
        // 7.3 s), 2 s still to 9.6 s, the closing fade to 11.6 s.
        const int64_t t0 = levels.front().At;
        int ducked = 0, fading = 0;
        for (const TLevel& l : levels) {
            const int64_t t = l.At - t0;
            SCOPED_TRACE(t);
            ducked += t >= 4350 && t <= 7250;
            fading += t >= 9650 && t <= 11550;
            if (t < 3990) {
                EXPECT_EQ(l.Music, 255);
            }
            if (t >= 4350 && t <= 7250) {
                EXPECT_EQ(l.Music, 40);
            }
            if (t >= 7650 && t < 9600) {
                EXPECT_EQ(l.Music, 255);
            }
            if (t >= 4350 && t <= 7250) {
                EXPECT_TRUE(l.SoundPlays);
            }
            if (t < 4250 || (t > 7350 && t < 11000)) {
                EXPECT_FALSE(l.SoundPlays);
            }
            if (t >= 9650 && t <= 11550) {
                // Falls linearly over the closing fade, half at its middle.
                const double expected = 255.0 * (1.0 - double(t - 9600) / 2000.0);
                EXPECT_NEAR(l.Music, expected, 0.1 * 255 + 2);
                EXPECT_NEAR(l.Objects, expected, 0.1 * 255 + 2);
            }
        }
        EXPECT_GT(ducked, 50);
        EXPECT_GT(fading, 100);
        // After the restart the lists are back at full level.
        EXPECT_EQ(CurrentSoundSystem()->MusicSounds().GetVolume(), 255);
        rig.Host.Finish();
    }
    ShutdownSoundSystem(true);
}

// What the mixer gives, as mono levels of one tone per window.
struct TMixCapture {
    std::vector<int16_t> Samples;  // interleaved stereo
};

void* CaptureMix(void*, void* newBuffer, int length, void* user) {
    auto* c = static_cast<TMixCapture*>(user);
    auto* p = static_cast<int16_t*>(newBuffer);
    c->Samples.insert(c->Samples.end(), p, p + length * 2);
    return newBuffer;
}

// The same show on the non-real-time output: after each tick the test mixes as much as
// the clock advanced, and a signal-processing unit records the mix.
TEST(SoundShowEndToEnd, TheRecordedMixHasTheShapeOfTheShow) {
    PlayerTestPlugins();
    TempDir dir;
    WriteMusicShowSounds(dir.Path(), 44100);
    InitSoundSystem({.NonRealtime = true, .ForceNew = true, .FmodPath = soundtest::LibraryPath()});
    TSoundSystem* system = SoundSystem();
    ASSERT_NE(system, nullptr);
    ASSERT_TRUE(system->IsActive());
    TFMOD& fmod = *system->Binding;
    const int rate = fmod.FSOUND_GetOutputRate();
    const int frames = fmod.FSOUND_DSP_GetBufferLength();
    ASSERT_GT(rate, 0);
    ASSERT_GT(frames, 0);
    TMixCapture capture;
    FSoundDSPUnit unit = fmod.FSOUND_DSP_Create(&CaptureMix, 300, &capture);
    fmod.FSOUND_DSP_SetActive(unit, -1);
    {
        TPlayerRig rig(system);
        BuildShow(rig, dir);
        int64_t mixedFrames = 0;
        int64_t start = -1;
        rig.Host.OnTick = [&] {
            if (start < 0) start = rig.Host.Elapsed();
            const int64_t due = (rig.Host.Elapsed() - start) * rate / 1000;
            while (mixedFrames < due) {
                fmod.FSOUND_Update();
                mixedFrames += frames;
            }
        };
        rig.Host.Play(&rig.Show);
        for (int i = 0; i < 260; ++i) rig.Host.RunFor(50);
        rig.Host.Finish();
    }
    fmod.FSOUND_DSP_Free(unit);
    ShutdownSoundSystem(true);

    const double slack = 1000.0 * frames / rate;  // one mixing buffer, in ms
    auto level = [&](double fromMs, double toMs, double freq) {
        return ToneLevel(capture.Samples, size_t(fromMs * rate / 1000), size_t(toMs * rate / 1000), freq, rate);
    };
    const double full = level(1000, 3500, 440);
    ASSERT_GT(full, 100);
    for (const TToneWindow& w : MusicShowShape(slack)) {
        SCOPED_TRACE(std::to_string(w.From) + " " + std::to_string(w.Freq));
        EXPECT_NEAR(level(w.From, w.To, w.Freq) / full, w.Share, 0.1);
    }
}

// A sound item whose file is missing plays its time silently: its events fire, and no
// opening time is recorded.
TEST(SoundShowEndToEnd, AMissingFilePlaysSilentlyAndFiresItsEvents) {
    PlayerTestPlugins();
    TempDir dir;
    InitSoundSystem({.ForceNew = true, .FmodPath = soundtest::LibraryPath()});
    {
        TPlayerRig rig(CurrentSoundSystem());
        rig.Settings().PreloadTime = 0;
        auto* sound = new TSoundSlideShowObject();
        sound->FileName = AnsiString(dir.Program()) + "missing.wav";
        sound->FadeMusic = false;
        sound->DurationFromSound = false;
        sound->SetDuration(2000);
        sound->CreateEventList();
        int volume = 77;
        for (TSlideShowObjectEvent* event : {static_cast<TSlideShowObjectEvent*>(new TSlideShowObjectEventObjectStarted()),
                                             static_cast<TSlideShowObjectEvent*>(new TSlideShowObjectEventObjectFinished())}) {
            auto* fade = new TFadeSoundAction();
            fade->Settings()->Kind = 1;
            fade->Settings()->Volume = uint8_t(volume);
            fade->Settings()->FadeTime = 0;
            event->CreateActionList()->Add(fade);
            sound->GetEventList()->Add(event);
            volume = 200;
        }
        rig.Show.RootList().Add(sound);
        rig.Add(3000);
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(1000);
        EXPECT_EQ(sound->GetSound(), nullptr);
        EXPECT_EQ(CurrentSoundSystem()->ObjectSounds().GetVolume(), 77);
        rig.Host.RunFor(1500);
        EXPECT_EQ(CurrentSoundSystem()->ObjectSounds().GetVolume(), 200);
        TBenchmarkValueList* opened = rig.Player->Benchmark->FindList(BenchmarkNames::OpenSound);
        EXPECT_TRUE(!opened || opened->Count() == 0);
        rig.Host.Finish();
    }
    ShutdownSoundSystem(true);
}

}  // namespace
