// A show with background music, a sound item and the closing fade, played end to end
// through the off-screen host on the driven clock with our sound library (dummy audio
// driver): the music's level around the sound item and over the closing fade, and when
// the sound item's own sound plays.
#include "PlayerTestSupport.h"
#include "soundlib/SoundFixtures.h"

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

// Music of music.wav; a 4 s still, the sound item on beep.wav, a 2 s still; restart at
// the end. The loop looks at least every 10 ms.
TSoundSlideShowObject* BuildShow(TPlayerRig& rig, const TempDir& dir) {
    rig.PlayWithMusic(AnsiString(dir.Program()) + "music.wav");
    rig.Add(4000);
    auto* sound = new TSoundSlideShowObject();
    sound->ChangeFileName(AnsiString(dir.Program()) + "beep.wav");
    rig.Show.RootList().Add(sound);
    rig.Add(2000);
    return sound;
}

TEST(SoundShowEndToEnd, TheMusicDucksUnderTheSoundAndFadesOutAtTheEnd) {
    PlayerTestPlugins();
    TempDir dir;
    soundtest::WriteSine(dir / "music.wav", 22050, 30.0, 440.0, 8000);
    soundtest::WriteSine(dir / "beep.wav", 22050, 3.0, 1000.0, 8000);
    InitSoundSystem(false, false, true, soundtest::LibraryPath(), 0);
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

// The amplitude of one frequency in the left channel over [from, to) frames (Goertzel).
double ToneLevel(const std::vector<int16_t>& stereo, size_t from, size_t to, double freq, int rate) {
    const double w = 2 * M_PI * freq / rate;
    const double k = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < to && 2 * i < stereo.size(); ++i) {
        const double s0 = stereo[2 * i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(to - from);
}

// The same show on the non-real-time output: after each tick the test mixes as much as
// the clock advanced, and a signal-processing unit records the mix.
TEST(SoundShowEndToEnd, TheRecordedMixHasTheShapeOfTheShow) {
    PlayerTestPlugins();
    TempDir dir;
    soundtest::WriteSine(dir / "music.wav", 44100, 30.0, 440.0, 8000);
    soundtest::WriteSine(dir / "beep.wav", 44100, 3.0, 1000.0, 8000);
    InitSoundSystem(false, true, true, soundtest::LibraryPath(), 0);
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
    struct TWindow {
        double From, To, Freq, Share;
    };
    const std::vector<TWindow> windows = {
        {500, 4000 - slack, 440, 1.0},
        {4350 + slack, 7250 - slack, 440, 40.0 / 255},
        {7650 + slack, 9600 - slack, 440, 1.0},
        {10550, 10650, 440, 0.5},
        {4300 + slack, 7300 - slack, 1000, 1.0},
        {500, 4300 - slack, 1000, 0.0},
        {7300 + slack, 11000, 1000, 0.0},
        {12000, 12800, 440, 1.0},
    };
    // Both files have the same amplitude: each tone's full level is the music's.
    for (const TWindow& w : windows) {
        SCOPED_TRACE(std::to_string(w.From) + " " + std::to_string(w.Freq));
        EXPECT_NEAR(level(w.From, w.To, w.Freq) / full, w.Share, 0.1);
    }
}

// A sound item whose file is missing plays its time silently: its events fire, and no
// opening time is recorded.
TEST(SoundShowEndToEnd, AMissingFilePlaysSilentlyAndFiresItsEvents) {
    PlayerTestPlugins();
    TempDir dir;
    InitSoundSystem(false, false, true, soundtest::LibraryPath(), 0);
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
