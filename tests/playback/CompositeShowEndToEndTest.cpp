// Composites with sound in a show with background music, played through the off-screen
// host on the driven clock with our sound library on its non-real-time output: the
// composite's sound plays beside it, the music is back at its level before the next
// composite; jumps into, out of and back to a composite while its sound plays, and many
// restarts, leave nothing behind.
#include "PlayerTestSupport.h"
#include "soundlib/SoundFixtures.h"

#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "document/SoundSlideShowObject.h"
#include "media/SlideShowSoundSystem.h"

namespace {

constexpr TColor32 kFirst = 0xFFE02020, kSecond = 0xFF2040E0;

struct TShow {
    TPicTextSoundCompositeSlideShowObject* First;   // 2 s of sound, with music lowered
    TPicTextSoundCompositeSlideShowObject* Second;  // no sound
};

TPicTextSoundCompositeSlideShowObject* AddComposite(TPlayerRig& rig, const TempDir& dir, TColor32 color,
                                                    const std::string& name) {
    const std::string file = dir / (name + ".png");
    WriteFileBytes(file, EncodePng(32, 24, [color](int, int) { return color; }));
    auto* c = new TPicTextSoundCompositeSlideShowObject();
    c->FileName = file;
    c->Transition.reset();
    c->CaptionText = name;
    rig.Show.RootList().Add(c);
    return c;
}

// Music of music.wav; a 2 s still, the first composite from 2.0 to 4.6 s (its sound
// from 2.3 to 4.3 s), the second composite from 4.6 to 6.6 s; restart at the end.
TShow BuildShow(TPlayerRig& rig, const TempDir& dir) {
    rig.PlayWithMusic(AnsiString(dir.Program()) + "music.wav");
    rig.Add(2000);
    TShow show;
    show.First = AddComposite(rig, dir, kFirst, "Erstes");
    show.First->SetSoundFileName(AnsiString(dir.Program()) + "beep.wav");
    show.Second = AddComposite(rig, dir, kSecond, "Zweites");
    show.Second->SetDuration(2000);
    return show;
}

bool SoundPlays(TPicTextSoundCompositeSlideShowObject* c) {
    ISlideShowSound* s = c->GetSound();
    return s && s->IsPlaying();
}

class CompositeShowEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        PlayerTestPlugins();
        soundtest::WriteSine(dir / "music.wav", 22050, 30.0, 440.0, 8000);
        soundtest::WriteSine(dir / "beep.wav", 22050, 2.0, 1000.0, 8000);
        InitSoundSystem({.NonRealtime = true, .ForceNew = true, .FmodPath = soundtest::LibraryPath()});
        ASSERT_NE(SoundSystem(), nullptr);
    }
    void TearDown() override { ShutdownSoundSystem(true); }

    TempDir dir;
};

TEST_F(CompositeShowEndToEnd, TheSoundPlaysBesideItAndTheMusicIsBackBeforeTheNextComposite) {
    TSoundSystem* system = SoundSystem();
    TFMOD& fmod = *system->Binding;
    const int rate = fmod.FSOUND_GetOutputRate(), frames = fmod.FSOUND_DSP_GetBufferLength();
    {
        TPlayerRig rig(system);
        const TShow show = BuildShow(rig, dir);
        ASSERT_EQ(show.First->SoundLength, 2000);
        ASSERT_EQ(show.First->GetDuration(), 2600);
        struct TLevel {
            int64_t At;
            int Music;
            bool SoundPlays;
            TColor32 Shown;
        };
        std::vector<TLevel> levels;
        int64_t start = -1, mixed = 0;
        rig.Host.OnTick = [&] {
            if (start < 0) start = rig.Host.Elapsed();
            // The non-real-time output mixes as much as the clock advanced.
            while (mixed < (rig.Host.Elapsed() - start) * rate / 1000) {
                fmod.FSOUND_Update();
                mixed += frames;
            }
            if (rig.Player->Restarts == 0)
                levels.push_back({rig.Host.Elapsed(), system->MusicSounds().GetVolume(), SoundPlays(show.First),
                                  rig.Pixel(32, 24)});
        };
        rig.Host.Play(&rig.Show);
        for (int i = 0; i < 140; ++i) rig.Host.RunFor(50);
        ASSERT_FALSE(levels.empty());
        const int64_t t0 = levels.front().At;
        int ducked = 0, secondShown = 0;
        for (const TLevel& l : levels) {
            const int64_t t = l.At - t0;
            SCOPED_TRACE(t);
            if (t < 1990) {
                EXPECT_EQ(l.Music, 255);
            }
            if (t >= 2350 && t <= 4250) {
                ++ducked;
                EXPECT_EQ(l.Music, 40);
                EXPECT_TRUE(l.SoundPlays);
                EXPECT_EQ(l.Shown, kFirst);
            }
            if (t < 2250 || t > 4350) {
                EXPECT_FALSE(l.SoundPlays);
            }
            // The second composite only ever shows with the music back up (until the
            // closing fade after it).
            if (l.Shown == kSecond && t < 6600) {
                ++secondShown;
                EXPECT_EQ(l.Music, 255);
            }
        }
        EXPECT_GT(ducked, 40);
        EXPECT_GT(secondShown, 40);
        rig.Host.Finish();
    }
}

TEST_F(CompositeShowEndToEnd, JumpsAndRestartsWhileTheSoundPlaysLeaveNothingBehind) {
    TSoundSystem* system = SoundSystem();
    {
        TPlayerRig rig(system);
        const TShow show = BuildShow(rig, dir);
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(3000);
        ASSERT_TRUE(SoundPlays(show.First));
        EXPECT_EQ(system->MusicSounds().GetVolume(), 40);

        // Out of it, into the still before it: the sound stops, the music is back at once.
        rig.Player->JumpToTime(500, false);
        rig.Host.RunFor(100);
        EXPECT_FALSE(SoundPlays(show.First));
        EXPECT_EQ(system->MusicSounds().GetVolume(), 255);
        // Into it while its sound would play.
        rig.Player->JumpToTime(3000, false);
        rig.Host.RunFor(200);
        EXPECT_TRUE(SoundPlays(show.First));
        EXPECT_EQ(rig.Pixel(32, 24), kFirst);
        // Out of it to the next composite, and back again.
        rig.Player->JumpToObject(show.Second, false);
        rig.Host.RunFor(200);
        EXPECT_FALSE(SoundPlays(show.First));
        EXPECT_EQ(system->MusicSounds().GetVolume(), 255);
        EXPECT_EQ(rig.Pixel(32, 24), kSecond);
        rig.Player->JumpToObject(show.First, false);
        rig.Host.RunFor(600);
        EXPECT_TRUE(SoundPlays(show.First));
        EXPECT_EQ(system->MusicSounds().GetVolume(), 40);

        // Restarts at every phase: before it, while the music goes down, while the sound
        // plays, while the music comes up, during the second composite.
        for (int i = 0; i < 50; ++i) {
            rig.Player->Restart();
            rig.Host.RunFor(1000 + 110 * i);
        }
        EXPECT_EQ(rig.Player->Restarts, 50);
        rig.Player->Restart();
        rig.Host.RunFor(3000);
        EXPECT_TRUE(SoundPlays(show.First));
        EXPECT_EQ(system->MusicSounds().GetVolume(), 40);
        rig.Host.Finish();
    }
    // The player and the show are gone, and with them every sound of the composite.
    EXPECT_EQ(system->ObjectSounds().Count(), 0);
}

// A composite whose picture is missing fails its step: the show goes on without it, its
// sound stays silent and the music stays up.
TEST_F(CompositeShowEndToEnd, AMissingPictureDropsTheCompositeAndItsSound) {
    TSoundSystem* system = SoundSystem();
    TPlayerRig rig(system);
    const TShow show = BuildShow(rig, dir);
    show.First->FileName = dir / "fehlt.png";
    int heard = 0, lowered = 0, second = 0;
    rig.Host.OnTick = [&] {
        heard += SoundPlays(show.First);
        lowered += system->MusicSounds().GetVolume() != 255;
        second += rig.Pixel(32, 24) == kSecond;
    };
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(5500);
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(lowered, 0);
    EXPECT_GT(second, 0);
    EXPECT_NE(rig.Pixel(32, 24), kFirst);
    rig.Host.Finish();
}

}  // namespace
