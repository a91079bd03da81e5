// The sound system against our sound library: start and shutdown counts, the output
// fallbacks, the three-factor volume, list volumes and muting, songs, waveform peaks.
#include "media/SlideShowSoundSystem.h"
#include "media/SoundSystemProperties.h"
#include "foundation/OKFStream.h"
#include "soundlib/SoundFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace soundtest;

namespace {

class SoundSystemTest : public ::testing::Test {
protected:
    void TearDown() override {
        ShutdownSoundSystem(true);
        SoundSystemPropertiesUnit::SetSoundProperties(nullptr);
    }
    // A non-real-time system: mixing happens only when the test asks for it.
    TSoundSystem& StartNonRealtime() {
        InitSoundSystem({.NonRealtime = true, .ForceNew = true, .FmodPath = LibraryPath()});
        EXPECT_NE(SoundSystem(), nullptr);
        EXPECT_TRUE(SoundSystem()->IsActive());
        return *SoundSystem();
    }
    void Mix(int buffers) {
        for (int i = 0; i < buffers; ++i)
            SoundSystem()->Binding->FSOUND_Update();
    }
    int ChannelVolume(const TSlideShowSound& s) { return SoundSystem()->Binding->FSOUND_GetVolume(s.Channel); }

    SoundTempDir dir;
};

TEST_F(SoundSystemTest, StartsAndShutdownsAreCounted) {
    InitSoundSystem({.NonRealtime = true, .FmodPath = LibraryPath()});
    TSoundSystem* first = SoundSystem();
    ASSERT_NE(first, nullptr);
    InitSoundSystem({.NonRealtime = true, .FmodPath = LibraryPath()});
    EXPECT_EQ(SoundSystem(), first);
    EXPECT_EQ(SoundSystemRefCount(), 2);
    EXPECT_EQ(CurrentSoundSystem(), first);
    ShutdownSoundSystem(false);
    EXPECT_EQ(SoundSystem(), first);
    ShutdownSoundSystem(false);
    EXPECT_EQ(SoundSystem(), nullptr);
    EXPECT_EQ(CurrentSoundSystem(), nullptr);
    ShutdownSoundSystem(false);
    EXPECT_EQ(SoundSystemRefCount(), 0);
    // A forced start replaces the instance and counts one.
    InitSoundSystem({.NonRealtime = true, .FmodPath = LibraryPath()});
    InitSoundSystem({.NonRealtime = true, .FmodPath = LibraryPath()});
    InitSoundSystem({.NonRealtime = true, .ForceNew = true, .FmodPath = LibraryPath(), .MixRate = 22050});
    EXPECT_EQ(SoundSystemRefCount(), 1);
    EXPECT_EQ(SoundSystem()->Settings->MixRate, 22050);
    EXPECT_EQ(SoundSystem()->Binding->FSOUND_GetOutputRate(), 22050);
}

TEST_F(SoundSystemTest, AMissingLibraryLeavesEverySoundOperationInert) {
    InitSoundSystem({.FmodPath = dir.File("nowhere\\fmod.dll")});
    TSoundSystem* system = SoundSystem();
    ASSERT_NE(system, nullptr);
    EXPECT_FALSE(system->IsActive());
    std::string wav = dir.File("a.wav");
    WriteConstant(wav, 8000, 0.5, 100);
    TSlideShowSound sound(system->Binding.get(), 200);
    EXPECT_FALSE(sound.Open(wav));
    EXPECT_FALSE(sound.IsOpen());
    sound.Play();
    sound.SetPosition(100);
    sound.Pause();
    sound.SetVolume(10);
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_FALSE(sound.IsPaused());
    EXPECT_EQ(sound.GetPosition(), 0);
    EXPECT_EQ(sound.GetLength(), -1);
    EXPECT_EQ(sound.GetVolume(), 0);
    system->StopAll();
    system->PauseAll();
    system->ResumeAll();
    // The sound system's own objects still answer.
    EXPECT_EQ(system->ObjectSounds().Add(&sound), 0);
    EXPECT_TRUE(system->ObjectSounds().Remove(&sound));
}

TEST_F(SoundSystemTest, SilentStartLoadsNoLibrary) {
    InitSoundSystem({.Silent = true, .FmodPath = LibraryPath()});
    ASSERT_NE(SoundSystem(), nullptr);
    EXPECT_TRUE(SoundSystemNoSound());
    EXPECT_FALSE(SoundSystem()->IsActive());
    EXPECT_FALSE(SoundSystem()->Binding->IsLoaded());
    EXPECT_TRUE(SoundSystem()->Started);
    std::string wav = dir.File("a.wav");
    WriteConstant(wav, 8000, 0.5, 100);
    auto sound = SoundSystem()->CreateSound(255);
    EXPECT_FALSE(sound->Open(wav));
    ShutdownSoundSystem(true);
    InitSoundSystem({.NonRealtime = true, .FmodPath = LibraryPath()});
    EXPECT_FALSE(SoundSystemNoSound());
}

TEST_F(SoundSystemTest, OutputFallbacksEndInNoSound) {
    const char* old = std::getenv("SDL_AUDIODRIVER");
    std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    InitSoundSystem({.FmodPath = LibraryPath()});
    ASSERT_NE(SoundSystem(), nullptr);
    EXPECT_TRUE(SoundSystem()->IsActive());
    EXPECT_EQ(SoundSystem()->TriedOutputs, (std::vector<int>{-1, 2, 1, 0}));
    EXPECT_EQ(SoundSystem()->Binding->FSOUND_GetOutput(), 0);
    EXPECT_GT(SoundSystem()->Latency, 0);
    ShutdownSoundSystem(true);

    // The preview's settings: automatic choice off, output kind 0.
    SoundSystemPropertiesUnit::TSoundSystemProperties settings;
    settings.AutomaticOutput = false;
    settings.OutputKind = 0;
    SoundSystemPropertiesUnit::SetSoundProperties(&settings);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    InitSoundSystem({.FmodPath = LibraryPath()});
    EXPECT_EQ(SoundSystem()->TriedOutputs, (std::vector<int>{0}));
    ShutdownSoundSystem(true);

    // Kind 1 with a device: the first candidate succeeds.
    settings.OutputKind = 1;
    InitSoundSystem({.FmodPath = LibraryPath()});
    EXPECT_EQ(SoundSystem()->TriedOutputs, (std::vector<int>{1}));
    EXPECT_TRUE(SoundSystem()->IsActive());
    ShutdownSoundSystem(true);
    if (old)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

TEST_F(SoundSystemTest, EffectiveVolumeIsTheProductOfTheThreeFactors) {
    TSoundSystem& system = StartNonRealtime();
    std::string wav = dir.File("tone.wav");
    WriteConstant(wav, 44100, 2.0, 1000);
    TSlideShowSound sound(system.Binding.get(), 255);
    ASSERT_TRUE(sound.Open(wav));
    EXPECT_EQ(sound.GetCapabilities(), 0x1F);
    EXPECT_EQ(sound.GetLength(), 2000);
    EXPECT_EQ(sound.GetVolume(), 0);  // not playing on a channel yet
    sound.Play();
    EXPECT_TRUE(sound.IsPlaying());
    sound.SetEnvelopeVolume(128);
    EXPECT_EQ(ChannelVolume(sound), 128);
    sound.SetEnvelopeVolume(255);
    sound.SetVolume(128);
    sound.SetMasterVolume(128);
    EXPECT_EQ(ChannelVolume(sound), 64);
    EXPECT_EQ(sound.GetVolume(), 128);

    // Opening again lets the library close the first stream.
    int firstChannel = sound.Channel;
    ASSERT_TRUE(sound.Open(wav));
    EXPECT_FALSE(system.Binding->FSOUND_IsPlaying(firstChannel));
    sound.Play();
    sound.Pause();
    EXPECT_TRUE(sound.IsPaused());
    sound.Stop();
    EXPECT_FALSE(sound.IsPaused());
    EXPECT_FALSE(sound.IsPlaying());
    EXPECT_TRUE(sound.IsOpen());
    sound.Close();
    EXPECT_FALSE(sound.IsOpen());
}

// A volume curve that falls linearly from 255 to 0 over one second.
class TRamp : public IVolumeCurve {
public:
    int GetVolumeKeyCount() const override { return 2; }
    int GetVolumeAt(int time) const override { return std::clamp(255 - time * 255 / 1000, 0, 255); }
};

TEST_F(SoundSystemTest, ListVolumeMutingAndEnvelopeReachEverySound) {
    TSoundSystem& system = StartNonRealtime();
    std::string wav = dir.File("tone.wav");
    WriteConstant(wav, 44100, 3.0, 1000);
    TSlideShowSoundList& music = *system.MusicList;
    music.SetVolume(200);
    TSlideShowSound a(system.Binding.get(), 255), b(system.Binding.get(), 255);
    ASSERT_TRUE(a.Open(wav));
    ASSERT_TRUE(b.Open(wav));
    EXPECT_EQ(music.Add(&a), 0);
    EXPECT_EQ(music.Add(&b), 1);
    EXPECT_EQ(a.MasterVolume, 200);
    EXPECT_EQ(a.GetOwningList(), &music);
    a.Play();
    b.Play();
    EXPECT_EQ(ChannelVolume(a), 200);
    music.SetVolume(100);
    EXPECT_EQ(ChannelVolume(a), 100);
    EXPECT_EQ(ChannelVolume(b), 100);
    music.SetVolumeFactor(128);
    EXPECT_EQ(b.MasterVolume, 50);

    // Muted: silent, while positions and lengths still work.
    music.SetMuted(true);
    EXPECT_EQ(ChannelVolume(a), 0);
    Mix(4);
    EXPECT_GT(a.GetPosition(), 0);
    EXPECT_EQ(a.GetLength(), 3000);
    // A sound added while the list is muted is silent at once.
    TSlideShowSound late(system.Binding.get(), 255);
    ASSERT_TRUE(late.Open(wav));
    late.Play();
    music.Add(&late);
    EXPECT_EQ(ChannelVolume(late), 0);
    music.Remove(&late);
    music.SetMuted(false);
    EXPECT_EQ(ChannelVolume(a), 50);

    // Envelope on the music clock, starting at 2000.
    TRamp ramp;
    music.SetVolume(255);
    music.SetVolumeFactor(255);
    a.SetEnvelopeCurve(&ramp);
    a.SetEnvelopeStart(2000);
    music.UpdateAll(2500);
    EXPECT_EQ(a.EnvelopeVolume, 128);
    EXPECT_EQ(ChannelVolume(a), 128);
    EXPECT_EQ(b.EnvelopeVolume, 255);  // no curve

    music.SetPaused(true);
    EXPECT_TRUE(a.IsPaused());
    EXPECT_TRUE(b.IsPaused());
    music.SetPaused(false);
    music.StopAll();
    EXPECT_FALSE(a.IsPlaying());

    // Freeing a sound takes it out of its list; clearing forgets the list in the sound.
    {
        TSlideShowSound c(system.Binding.get(), 255);
        music.Add(&c);
        EXPECT_EQ(music.Count(), 3);
    }
    EXPECT_EQ(music.Count(), 2);
    EXPECT_TRUE(music.Remove(&a));
    EXPECT_FALSE(music.Remove(&a));
    EXPECT_EQ(a.OwningList, nullptr);
    music.ClearSounds(true);
    EXPECT_EQ(music.Count(), 0);
    EXPECT_FALSE(b.IsOpen());
    EXPECT_EQ(b.OwningList, nullptr);
}

TEST_F(SoundSystemTest, OwningListFreesItsSounds) {
    TSoundSystem& system = StartNonRealtime();
    TSlideShowSoundList owning;
    owning.AddSound(new TSlideShowSound(system.Binding.get(), 255));
    owning.AddSound(new TSlideShowSound(system.Binding.get(), 255));
    owning.Insert(0, new TSlideShowSound(system.Binding.get(), 255));
    EXPECT_EQ(owning.Count(), 3);
    EXPECT_EQ(owning.First()->OwningList, nullptr);  // Insert does not set the list
    EXPECT_TRUE(owning.Remove(owning.Last()));
    EXPECT_EQ(owning.Count(), 2);
}

TEST_F(SoundSystemTest, MidiSongHasNoLengthAndIgnoresSeeking) {
    TSoundSystem& system = StartNonRealtime();
    std::string mid = dir.File("tune.MID");
    WriteMidi(mid);
    TSlideShowSound sound(system.Binding.get(), 255);
    ASSERT_TRUE(sound.Open(mid));
    EXPECT_EQ(sound.Stream, nullptr);
    EXPECT_NE(sound.Song, nullptr);
    EXPECT_EQ(sound.GetCapabilities(), 0x01);
    EXPECT_EQ(sound.GetLength(), -1);
    sound.Play();
    EXPECT_TRUE(sound.IsPlaying());
    EXPECT_EQ(sound.GetVolume(), 255);
    Mix(4);
    int at = sound.GetPosition();
    EXPECT_GT(at, 0);
    sound.SetPosition(at + 5000);
    EXPECT_EQ(sound.GetPosition(), at);

    std::string mod = dir.File("tune.mod");
    WriteModule(mod);
    TSlideShowSound song(system.Binding.get(), 255);
    ASSERT_TRUE(song.Open(mod));
    EXPECT_EQ(song.GetCapabilities(), 0x19);
    EXPECT_EQ(song.GetLength(), -1);

    std::string text = dir.File("x.txt");
    WriteFile(text, {'n', 'o'});
    TSlideShowSound none(system.Binding.get(), 255);
    EXPECT_FALSE(none.Open(text));
    EXPECT_EQ(none.GetCapabilities(), 0x01);
}

class WaveDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.File("Data"));
        std::filesystem::copy_file(LibraryPath(), dir.File("Data/fmod.dll"));
        saved = SoundProgramFolder();
        SetSoundProgramFolder(dir.Path());
    }
    void TearDown() override { SetSoundProgramFolder(saved); }
    SoundTempDir dir;
    AnsiString saved;
};

TEST_F(WaveDataTest, PointsFollowTheLengthAndHoldThePeaks) {
    std::string ten = dir.File("ten.wav");
    // Loud first half, quiet second half.
    WriteWav(ten, 8000, 1, 80000, [](int i, int) { return static_cast<int16_t>(i < 40000 ? -16384 : 8192); });
    TSoundWaveData wave;
    ASSERT_TRUE(wave.Compute(ten, -1));
    EXPECT_EQ(wave.Points, 1000);
    EXPECT_EQ(wave.LengthMs, 10000);
    ASSERT_EQ(wave.Data.Bytes().size(), 1000u);
    EXPECT_EQ(static_cast<int8_t>(wave.Data.Bytes()[10]), -64);
    EXPECT_EQ(static_cast<int8_t>(wave.Data.Bytes()[900]), 32);

    // Mixed far below its rate, a file still gives its peaks.
    std::string cd = dir.File("cd.wav");
    WriteWav(cd, 44100, 2, 441000, [](int i, int) { return static_cast<int16_t>(i < 220500 ? -16384 : 8192); });
    TSoundWaveData fromCd;
    ASSERT_TRUE(fromCd.Compute(cd, -1));
    ASSERT_EQ(fromCd.Points, 1000);
    EXPECT_NEAR(static_cast<int8_t>(fromCd.Data.Bytes()[10]), -64, 1);
    EXPECT_NEAR(static_cast<int8_t>(fromCd.Data.Bytes()[900]), 32, 1);

    std::string sixty = dir.File("sixty.wav");
    WriteConstant(sixty, 4000, 60.0, 100);
    ASSERT_TRUE(wave.Compute(sixty, -1));
    EXPECT_EQ(wave.Points, 6000);

    // Full-scale peaks keep their sign.
    std::string loud = dir.File("loud.wav");
    WriteWav(loud, 4000, 1, 40000, [](int i, int) { return static_cast<int16_t>(i < 20000 ? 32767 : -32768); });
    ASSERT_TRUE(wave.Compute(loud, -1));
    EXPECT_EQ(static_cast<int8_t>(wave.Data.Bytes()[100]), 127);
    EXPECT_EQ(static_cast<int8_t>(wave.Data.Bytes()[900]), -128);

    // A stated length longer than the file still ends.
    ASSERT_TRUE(wave.Compute(ten, 12000));
    EXPECT_EQ(wave.Points, 1200);
    EXPECT_EQ(wave.Data.Bytes()[1150], 0);

    // Round trip through the container, and copies.
    TMemoryStream mem;
    {
        TOKFStream out(&mem, okfRaw);
        wave.WriteData(out);
        out.Close();
    }
    mem.SetPosition(0);
    TSoundWaveData back;
    {
        TOKFStream in(&mem, okfRawRead);
        back.ReadData(in);
    }
    EXPECT_EQ(back.Points, 1200);
    EXPECT_EQ(back.LengthMs, 12000);
    EXPECT_EQ(back.Data.Bytes(), wave.Data.Bytes());
    auto copy = back.Clone();
    EXPECT_EQ(copy->Data.Bytes(), wave.Data.Bytes());
    TSoundWaveData empty;
    copy->Assign(empty);
    EXPECT_EQ(copy->Points, 0);
}

TEST_F(WaveDataTest, MidiMissingFilesAndMissingLibraryGiveFalse) {
    std::string mid = dir.File("tune.mid");
    WriteMidi(mid);
    TSoundWaveData wave;
    EXPECT_FALSE(wave.Compute(mid, 1000));
    EXPECT_FALSE(wave.Compute(dir.File("missing.wav"), -1));
    std::string ok = dir.File("ok.wav");
    WriteConstant(ok, 8000, 1.0, 100);
    std::filesystem::remove(dir.File("Data/fmod.dll"));
    EXPECT_FALSE(wave.Compute(ok, -1));
    EXPECT_FALSE(wave.Compute(ok, 1000));
}

TEST(SoundSettings, DefaultsAndStoredForm) {
    SoundSystemPropertiesUnit::TSoundSystemProperties p;
    EXPECT_TRUE(p.AutomaticOutput);
    EXPECT_EQ(p.OutputKind, 2);
    EXPECT_EQ(EditorFrameClassNames(SoundSystemPropertiesUnit::TSoundSystemProperties::StaticClassInfo()),
              "\r\nTSoundSystemPropertyEditorFrame");
    p.AutomaticOutput = false;
    p.OutputKind = 1;
    TMemoryStream mem;
    ASSERT_TRUE(p.SaveToStream(mem, 1281, 773));
    SoundSystemPropertiesUnit::TSoundSystemProperties q;
    mem.SetPosition(0);
    ASSERT_TRUE(q.LoadFromStream(mem, 1281, 773));
    EXPECT_FALSE(q.AutomaticOutput);
    EXPECT_EQ(q.OutputKind, 1);
}

}  // namespace

#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "media/MusicPlayList.h"
#include "media/SoundModules.h"

namespace {

TEST(SoundModules, SettingsJoinTheSettingsListUnderTheirName) {
    TPropertiesList list;
    TPlugins plugins;
    TPropertiesList* savedList = PropertiesList;
    TPlugins* savedPlugins = Plugins;
    PropertiesList = &list;
    Plugins = &plugins;
    SoundSystemPropertiesUnit::Initialize();
    MusicPlayListUnit::Initialize();
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetItem(0)->Name, "Grundeinstellungen");
    EXPECT_EQ(list.GetItem(0)->Instance, SoundSystemPropertiesUnit::SoundProperties());
    EXPECT_TRUE(plugins.IsRegistered(SoundSystemPropertiesUnit::TSoundSystemProperties::StaticClassInfo()));
    EXPECT_TRUE(plugins.IsRegistered(TMusicProperties::StaticClassInfo()));
    list.GetItem(0)->Name = "x";
    GetAfterInitialization().Run();
    EXPECT_EQ(list.GetItem(0)->Name, "Grundeinstellungen");
    GetAfterInitialization().ClearList();
    MusicPlayListUnit::Finalize();
    SoundSystemPropertiesUnit::Finalize();
    EXPECT_EQ(SoundSystemPropertiesUnit::SoundProperties(), nullptr);
    EXPECT_FALSE(plugins.IsRegistered(TMusicProperties::StaticClassInfo()));
    PropertiesList = savedList;
    Plugins = savedPlugins;

    ClearStartupModules();
    AddSoundModules();
    EXPECT_EQ(StartupModuleNames(),
              (std::vector<AnsiString>{"SoundSystemPropertiesUnit", "SlideShowSoundSystem", "MusicPlayList"}));
    ClearStartupModules();
}

}  // namespace
