// The sound item: its stored form at every version, its time line, its play phases with
// the music lowered around it, the fade event and the fade action, on a fake sound
// system and a fake player whose clock the test sets.
#include "DocumentTestSupport.h"
#include "document/SoundTestSupport.h"
#include "document/SlideShow.h"
#include "document/SoundSlideShowObject.h"

#include <algorithm>

namespace {

// The player as the fade action sees it: it remembers the list fades asked of it.
class TFadePlayer : public TFakePlayer {
public:
    void FadeSoundVolume(uint8_t v, int32_t d) override { Fades.push_back({1, v, d}); }
    void FadeMusicVolume(uint8_t v, int32_t d) override { Fades.push_back({2, v, d}); }
    void FadeAllVolume(uint8_t v, int32_t d) override { Fades.push_back({3, v, d}); }
    // Runs the queued events once, as the player's frame does, dropping those done.
    void RunQueue() {
        for (size_t i = Queue.size(); i-- > 0;)
            if (Queue[i]->Execute()) Queue.erase(Queue.begin() + std::ptrdiff_t(i));
    }
    struct TFade {
        int Kind;
        int Volume;
        int Duration;
        bool operator==(const TFade&) const = default;
    };
    std::vector<TFade> Fades;
};

class SoundItemTest : public ::testing::Test {
protected:
    void SetUp() override { TestPlugins(); }
    void TearDown() override {
        Show.Root.Clear();
    }
    // A sound item in the show, measured at Sounds.Length, starting at 1000.
    TSoundSlideShowObject* AddItem() {
        auto* item = new TSoundSlideShowObject();
        Show.Root.Add(item);
        item->FileName = "a.wav";
        item->SoundLength = Sounds.Length;
        item->StartTime = 1000;
        return item;
    }
    // Plays the item at show time t (item time t - 1000) and runs the queue.
    int32_t PlayAt(TSoundSlideShowObject* item, int32_t t) {
        Player.PlayTime = t;
        const int32_t r = item->Play(&Player, false);
        Player.RunQueue();
        return r;
    }

    TFakeSoundSystem Sounds;
    TInstalled<SetSoundSystem> InstalledSounds{Sounds};
    TFakeShow Show;
    TFadePlayer Player;
};

// The sound's own fields as stored after the playable part.
Bytes SoundFields(const std::string& file, int32_t length, bool fromSound, bool fadeMusic, int32_t volume,
                  uint8_t endMode) {
    return Bytes().str(file).i32(length).u8(fromSound).u8(fadeMusic).i32(volume).u8(endMode);
}
Bytes CurveBlock(bool withCurve) {
    if (!withCurve) return Block(Bytes());
    return Block(Bytes().i32(2).str("TTimeIntegerValue").i32(0).u8(1).i32(0).i32(2000).u8(1).i32(255));
}

TEST_F(SoundItemTest, StoredFormsOfEveryVersionAndResavesAlike) {
    struct TCase {
        uint32_t Version;
        Bytes Tail;
        int32_t FadeOut, Offset;
        bool Curve;
    };
    const Bytes base = SoundFields("Musik\\a.wav", 12000, false, true, 200, 0);
    const std::vector<TCase> cases = {
        {0x301, Bytes(), 1000, 0, false},
        {0x303, Bytes().i32(1500), 1500, 0, false},
        {0x305, Bytes().i32(1500).i32(4000).raw(CurveBlock(false).vec()), 1500, 4000, false},
        {0x305, Bytes().i32(1500).i32(4000).raw(CurveBlock(true).vec()), 1500, 4000, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Version);
        const Bytes data = Concat({PlayableData(7000), base, c.Tail});
        const Bytes run = Concat({ListRun(1), ItemChunk("TSoundSlideShowObject", data)});
        TSlideShowObjectList list;
        const TReadOutcome r = ReadRunBytes(list, run.vec(), c.Version);
        ASSERT_FALSE(r.Failed);
        auto* item = dynamic_cast<TSoundSlideShowObject*>(list.GetItem(0));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->FileName, "Musik\\a.wav");
        EXPECT_EQ(item->SoundLength, 12000);
        EXPECT_FALSE(item->DurationFromSound);
        EXPECT_TRUE(item->FadeMusic);
        EXPECT_EQ(item->Volume, 200);
        EXPECT_EQ(item->EndMode, 0);
        EXPECT_EQ(item->FadeOutTime, c.FadeOut);
        EXPECT_EQ(item->StartOffset, c.Offset);
        ASSERT_EQ(item->VolumeCurve != nullptr, c.Curve);
        if (c.Curve) {
            EXPECT_EQ(item->VolumeCurve->GetValue(1000), 128);
        }
        EXPECT_EQ(r.EndPosition, int64_t(run.vec().size()));
        // Written in the current form; a current document comes back byte for byte.
        if (c.Version == 0x305) {
            EXPECT_EQ(WriteRunBytes(list), run.vec());
        }
    }
}

TEST_F(SoundItemTest, DamagedValuesAreTakenIntoTheirRanges) {
    const Bytes data = Concat({PlayableData(-1), SoundFields("a.wav", -9, true, false, 300, 7),
                               Bytes().i32(-5).i32(-100).raw(CurveBlock(false).vec())});
    TSlideShowObjectList list;
    ReadRunBytes(list, Concat({ListRun(1), ItemChunk("TSoundSlideShowObject", data)}).vec());
    auto* item = dynamic_cast<TSoundSlideShowObject*>(list.GetItem(0));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->SoundLength, -1);
    EXPECT_EQ(item->Volume, 255);
    EXPECT_EQ(item->EndMode, 1);
    EXPECT_EQ(item->FadeOutTime, 0);
    EXPECT_EQ(item->StartOffset, 0);

    const Bytes quiet = Concat({PlayableData(-1), SoundFields("a.wav", 1, true, false, -4, 2),
                                Bytes().i32(0).i32(0).raw(CurveBlock(false).vec())});
    TSlideShowObjectList list2;
    ReadRunBytes(list2, Concat({ListRun(1), ItemChunk("TSoundSlideShowObject", quiet)}).vec());
    EXPECT_EQ(dynamic_cast<TSoundSlideShowObject*>(list2.GetItem(0))->Volume, 0);
}

TEST(FadeSoundPropertiesTest, StoredFormsBeforeAndAfterTheWideVolume) {
    TestPlugins();
    struct TCase {
        uint32_t Version;
        Bytes Payload;
        int Volume, FadeTime, Kind;
    };
    const std::vector<TCase> cases = {
        {771, Bytes().u8(100).i32(1500).u8(1), 100, 1500, 1},
        {773, Bytes().i32(100).i32(1500).u8(2), 100, 1500, 2},
        {773, Bytes().i32(999).i32(0).u8(9), 255, 0, 3},
        {773, Bytes().i32(-3).i32(10).u8(0), 0, 10, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Version);
        const std::vector<uint8_t> bytes = Block(c.Payload).vec();
        TMemoryStream m(bytes);
        TOKFStreamWinTypes s(&m, okfRaw);
        s.Header.ContentVersion = c.Version;
        TFadeSoundProperties p;
        ASSERT_TRUE(p.ReadProperties(s));
        EXPECT_EQ(p.Volume, c.Volume);
        EXPECT_EQ(p.FadeTime, c.FadeTime);
        EXPECT_EQ(p.Kind, c.Kind);
        if (c.Version == 773 && c.Volume == 100) {
            TMemoryStream out;
            TOKFStreamWinTypes w(&out, okfRaw);
            w.Header.ContentVersion = 773;
            ASSERT_TRUE(p.WriteProperties(w));
            w.Close();
            EXPECT_EQ(out.Bytes(), bytes);
        }
    }
}

TEST_F(SoundItemTest, DurationFollowsTheSoundTheSettingAndTheMusicFades) {
    struct TCase {
        const char* Name;
        bool FromSound, FadeMusic;
        int32_t Own, Offset;
        uint8_t EndMode;
        int32_t Length, Expected;
    };
    const std::vector<TCase> cases = {
        {"sound with music fades", true, true, -1, 0, 1, 10000, 10600},
        {"rest of the sound after an offset", true, true, -1, 4000, 1, 10000, 6600},
        {"own duration, fade-out added", false, false, 5000, 0, 0, 10000, 6000},
        {"own duration, stop", false, false, 5000, 0, 1, 10000, 5000},
        {"own duration at least the sound", false, false, 5000, 0, 2, 10000, 10000},
        {"never beyond the sound", false, false, 20000, 0, 1, 10000, 10000},
        {"unmeasured sound takes the own duration", true, false, 3000, 0, 0, -1, 3000},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSoundSlideShowObject* item = AddItem();
        item->DurationFromSound = c.FromSound;
        item->FadeMusic = c.FadeMusic;
        item->Duration = c.Own;
        item->StartOffset = c.Offset;
        item->EndMode = c.EndMode;
        item->SoundLength = c.Length;
        EXPECT_EQ(item->GetDuration(), c.Expected);
    }
}

TEST_F(SoundItemTest, RestartsNeverChangeTheDuration) {
    TSoundSlideShowObject* item = AddItem();
    item->DurationFromSound = false;
    item->Duration = 5000;
    item->EndMode = 0;
    const int32_t first = item->GetDuration();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(item->ExecuteInitializationStep(&Player, 0));
        item->Reset();
    }
    EXPECT_EQ(item->GetDuration(), first);
    EXPECT_EQ(item->Duration, 5000);
}

// A 10 s sound with the default music timing: the music goes down over 300 ms, the
// sound plays 300 ms after the item's start for 10 s, the music comes back up over the
// last 300 ms, and the item ends after 10.6 s.
TEST_F(SoundItemTest, PlaysBetweenTheMusicFades) {
    TSoundSlideShowObject* item = AddItem();
    ASSERT_TRUE(item->ExecuteInitializationStep(&Player, 0));
    TFakeSound* sound = Sounds.Last;
    EXPECT_EQ(sound->OpenedName, "/show/a.wav");
    EXPECT_EQ(Sounds.Objects.Count(), 1);

    EXPECT_EQ(PlayAt(item, 1000), 300);
    EXPECT_EQ(Sounds.Music.Volume, 255);
    Player.PlayTime = 1150;
    Player.RunQueue();
    EXPECT_EQ(Sounds.Music.Volume, 148);
    Player.PlayTime = 1300;
    Player.RunQueue();
    EXPECT_EQ(Sounds.Music.Volume, 40);
    EXPECT_FALSE(sound->IsPlaying());

    EXPECT_EQ(PlayAt(item, 1300), 10000);
    EXPECT_TRUE(sound->IsPlaying());
    EXPECT_EQ(sound->PlayedFrom, std::vector<int>{0});
    EXPECT_EQ(PlayAt(item, 6300), 5000);

    EXPECT_EQ(PlayAt(item, 11300), 300);
    EXPECT_FALSE(sound->IsPlaying());
    Player.PlayTime = 11600;
    Player.RunQueue();
    EXPECT_EQ(Sounds.Music.Volume, 255);
    EXPECT_EQ(PlayAt(item, 11600), -1);
    EXPECT_TRUE(item->IsFinished());
}

TEST_F(SoundItemTest, OwnDurationFadesTheSoundOutOverItsLastTime) {
    TSoundSlideShowObject* item = AddItem();
    item->FadeMusic = false;
    item->DurationFromSound = false;
    item->Duration = 5000;
    item->EndMode = 0;
    item->ExecuteInitializationStep(&Player, 0);
    TFakeSound* sound = Sounds.Last;
    EXPECT_EQ(PlayAt(item, 1000), 5000);
    EXPECT_EQ(PlayAt(item, 6000), 1000);
    EXPECT_EQ(sound->Volume, 255);
    Player.PlayTime = 6500;
    Player.RunQueue();
    EXPECT_EQ(sound->Volume, 128);
    Player.PlayTime = 7000;
    Player.RunQueue();
    EXPECT_EQ(sound->Volume, 0);
    EXPECT_TRUE(Player.Queue.empty());
    EXPECT_EQ(PlayAt(item, 6900), -1);
}

// A jump into the middle: the file plays from the matching position, and the next call
// is measured from now.
TEST_F(SoundItemTest, JumpIntoTheMiddlePlaysFromTheMatchingPosition) {
    struct TCase {
        bool FadeMusic;
        int32_t Offset, At, Position, Next;
    };
    const std::vector<TCase> cases = {
        {true, 0, 6000, 4700, 5300},
        {false, 0, 6000, 5000, 5000},
        {true, 2000, 6000, 6700, 3300},
        {true, 2000, 1100, 2000, -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.At);
        TSoundSlideShowObject* item = AddItem();
        item->FadeMusic = c.FadeMusic;
        item->StartOffset = c.Offset;
        item->ExecuteInitializationStep(&Player, 0);
        TFakeSound* sound = Sounds.Last;
        item->SeekTo(c.At);
        EXPECT_EQ(sound->Position, c.Position);
        if (c.Next >= 0) {
            EXPECT_EQ(PlayAt(item, c.At), c.Next);
            EXPECT_EQ(sound->PlayedFrom, std::vector<int>{c.Position});
        }
        item->Reset();
        Player.Queue.clear();
        Sounds.Music.Volume = 255;
    }
}

TEST_F(SoundItemTest, FadeEventValuesAndZeroLengthFades) {
    TSoundSlideShowObject* item = AddItem();
    struct TCase {
        int32_t FadeTime, After, Expected;
        bool Done;
    };
    const std::vector<TCase> cases = {
        {2000, 1000, 128, false}, {2000, 2000, 0, true}, {2000, 500, 191, false}, {0, 0, 0, true}, {-5, 0, 0, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.FadeTime);
        Sounds.Music.Volume = 255;
        THighPriorityFadeSoundEvent fade(&Player, item);
        fade.FadeTime = c.FadeTime;
        fade.Kind = THighPriorityFadeSoundEvent::fkMusic;
        Player.PlayTime = 100;
        fade.Execute();
        Player.PlayTime = 100 + c.After;
        EXPECT_EQ(fade.Execute(), c.Done);
        EXPECT_EQ(Sounds.Music.Volume, c.Expected);
    }
    // An own-sound fade without a sound is complete at once.
    THighPriorityFadeSoundEvent own(&Player, item);
    own.Kind = THighPriorityFadeSoundEvent::fkSound;
    own.FadeTime = 1000;
    EXPECT_TRUE(own.Execute());
}

// The object sounds lowered with the music come back to their own level, not the music's.
TEST_F(SoundItemTest, LoweredListsComeBackEachToItsOwnLevel) {
    TSoundSlideShowObject* item = AddItem();
    struct TLowering : IShowMusicProperties {
        void SetSlideShow(TSlideShow*) override {}
        bool HasMusic() const override { return true; }
        int32_t GetEndFadeTime() const override { return 2000; }
        int32_t GetSoundFadeTime() const override { return 300; }
        int32_t GetVolumeDuringSound() const override { return 40; }
        bool GetLowerObjectSounds() const override { return true; }
    };
    static TLowering lowering;
    Show.Music = &lowering;
    Sounds.Objects.Volume = 200;
    Sounds.Music.Volume = 230;
    item->ExecuteInitializationStep(&Player, 0);
    PlayAt(item, 1000);
    Player.PlayTime = 1300;
    Player.RunQueue();
    EXPECT_EQ(Sounds.Objects.Volume, 40);
    EXPECT_EQ(Sounds.Music.Volume, 40);
    PlayAt(item, 1300);
    EXPECT_EQ(Sounds.Last->Master, 255);
    PlayAt(item, 11300);
    Player.PlayTime = 11600;
    Player.RunQueue();
    EXPECT_EQ(Sounds.Objects.Volume, 200);
    EXPECT_EQ(Sounds.Music.Volume, 230);
    Show.Music = nullptr;
}

// Twenty sound items in a row, each reset as the player does when it ends (its music-up
// fade possibly not finished), and a jump out of a lowered item: the music is back at
// its level every time.
TEST_F(SoundItemTest, MusicIsBackAfterEveryItemAndAfterAJumpOut) {
    Sounds.Music.Volume = 220;
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        TSoundSlideShowObject* item = AddItem();
        item->ExecuteInitializationStep(&Player, 0);
        PlayAt(item, 1000);
        PlayAt(item, 1300);
        PlayAt(item, 11300);
        // The fade's first run comes a frame late; the item ends before the fade does.
        Player.PlayTime = 11350;
        Player.RunQueue();
        item->Reset();
        EXPECT_EQ(Sounds.Music.Volume, 220);
        EXPECT_TRUE(Player.Queue.empty());
    }
    TSoundSlideShowObject* item = AddItem();
    item->ExecuteInitializationStep(&Player, 0);
    PlayAt(item, 1000);
    PlayAt(item, 1200);
    item->Reset();
    EXPECT_EQ(Sounds.Music.Volume, 220);
    EXPECT_TRUE(Player.Queue.empty());
    EXPECT_EQ(Sounds.Objects.Count(), 0);
}

TEST_F(SoundItemTest, MissingFilePlaysSilentlyAndRecordsNoTime) {
    Sounds.FilesOpen = false;
    TSoundSlideShowObject* item = AddItem();
    item->BeginInitializationStep(&Player, 0);
    EXPECT_TRUE(item->ExecuteInitializationStep(&Player, 0));
    EXPECT_EQ(item->GetSound(), nullptr);
    EXPECT_EQ(Sounds.Objects.Count(), 0);
    EXPECT_EQ(Player.Bench.EstimateTime(BenchmarkNames::OpenSound, TFileSizeBenchmarkValue::CreateValue("x"), -7), -7);
    // Silent, it has nothing to do before its end: that is when it wants the next frame.
    EXPECT_EQ(PlayAt(item, 1000), item->GetStartTime() + item->GetDuration() - 1000);
    EXPECT_GT(item->GetStartTime() + item->GetDuration() - 1000, 0);
    EXPECT_EQ(item->GetState(), psPlaying);
    EXPECT_TRUE(Player.Queue.empty());

    // ChangeFileName reports a new sound file only when it opened.
    item->ChangeFileName("b.wav");
    Sounds.FilesOpen = true;
    Sounds.Length = 4321;
    item->ChangeFileName("c.wav");
    ASSERT_EQ(Show.Changes.size(), 2u);
    EXPECT_EQ(Show.Changes[0].Flags, 40);
    EXPECT_EQ(Show.Changes[1].Flags, 42);
    EXPECT_EQ(item->SoundLength, 4321);
    EXPECT_EQ(Sounds.Objects.Count(), 0);
}

TEST_F(SoundItemTest, FadeActionReachesTheRightSound) {
    TSoundSlideShowObject* item = AddItem();
    item->ExecuteInitializationStep(&Player, 0);
    for (uint8_t kind : {0, 1, 2, 3}) {
        TFadeSoundAction action;
        action.Settings()->Kind = kind;
        action.Settings()->Volume = 10;
        action.Settings()->FadeTime = 700;
        action.Execute(&Player, item, nullptr);
    }
    using F = TFadePlayer::TFade;
    EXPECT_EQ(Player.Fades, (std::vector<F>{{1, 10, 700}, {2, 10, 700}, {3, 10, 700}}));
    ASSERT_NE(item->FadeEvent, nullptr);
    EXPECT_EQ(item->FadeEvent->Kind, 0);
    EXPECT_EQ(item->FadeEvent->EndVolume, 10);
    EXPECT_EQ(Player.Queue.size(), 1u);
    // An item without a sound interface is left alone.
    TDummySlideShowObject dummy;
    TFadeSoundAction action;
    action.Settings()->Kind = 0;
    action.Execute(&Player, &dummy, nullptr);
    EXPECT_EQ(Player.Queue.size(), 1u);
    EXPECT_TRUE(item->Supports(IID_ISound));
    EXPECT_TRUE(item->Supports(IID_IFileReferences));
}

}  // namespace

// Items reach the sound system through the one installed seam: the fake while its guard
// lives, nothing once it has gone, and a system installed again is the one used next.
TEST(SoundSystemSeam, ItemsReachOnlyTheSystemInstalledNow) {
    TestPlugins();
    TFakeShow show;
    TFadePlayer player;
    auto* item = new TSoundSlideShowObject();
    show.Root.Add(item);
    item->FileName = "a.wav";
    TFakeSoundSystem first;
    {
        TInstalled<SetSoundSystem> installed(first);
        EXPECT_EQ(CurrentSoundSystem(), &first);
        ASSERT_TRUE(item->ExecuteInitializationStep(&player, 0));
        ASSERT_NE(first.Last, nullptr);
        EXPECT_EQ(first.Objects.Count(), 1);
        item->Reset();
        EXPECT_EQ(first.Objects.Count(), 0);
    }
    EXPECT_EQ(CurrentSoundSystem(), nullptr);
    TFakeSoundSystem second;
    TInstalled<SetSoundSystem> installed(second);
    ASSERT_TRUE(item->ExecuteInitializationStep(&player, 0));
    EXPECT_EQ(first.Objects.Count(), 0);
    EXPECT_EQ(second.Objects.Count(), 1);
    show.Root.Clear();
    EXPECT_EQ(second.Objects.Count(), 0);
}
