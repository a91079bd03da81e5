// Background music on the driven clock, with the silent sound system: the layout of the
// play list, passes with and without repeat, items whose length cannot be told, jumps
// back across a pass, pauses on the music's own clock, item fades, placeholders and the
// loop's waits.
#include "PlayerTestSupport.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/DebugOutput.h"
#include "playback/BackgroundMusic.h"

#include <map>

namespace {

class BackgroundMusicTest : public ::testing::Test {
protected:
    BackgroundMusicTest() { SetDebugOutput(&Debug); }
    ~BackgroundMusicTest() override { SetDebugOutput(nullptr); }
    // The play-list trace lines among what the debug output was told.
    std::vector<AnsiString> Trace() const {
        std::vector<AnsiString> t;
        for (const AnsiString& line : Debug.Lines)
            if (line.rfind("Start: ", 0) == 0) t.push_back(line);
        return t;
    }

    static TSoundSystem* Silent() {
        InitSoundSystem({.Silent = true, .ForceNew = true});
        return SoundSystem();
    }
    TMusicProperties& Music() { return *dynamic_cast<TMusicProperties*>(Rig.Show.MusicProperties); }
    // A play-list item of a known length.
    TMusicPlayListItem* AddItem(int32_t length, int32_t gap = 1000) {
        auto item = std::make_unique<TMusicPlayListItem>();
        item->FileName = "song.wav";
        item->Length = length;
        item->Gap = gap;
        TMusicPlayListItem* p = item.get();
        Music().PlayList->Add(std::move(item));
        return p;
    }
    int32_t ItemStart(int i) { return MusicRuntimeData(Music().PlayList->Item(i))->ItemStart; }
    std::vector<TMusicPlayListItem*> Active() {
        return Rig.Player->MusicEvent ? Rig.Player->MusicEvent->ActiveItems : std::vector<TMusicPlayListItem*>{};
    }
    TMusicPlayListItem* Item(int i) { return Music().PlayList->Item(i); }
    void Play(int32_t showLength = 600000) {
        Rig.Add(showLength);
        Rig.Host.Play(&Rig.Show);
        Rig.Host.Tick();
    }

    TSoundSystem* Sounds = Silent();
    TPlayerRig Rig{Sounds};
    TFakeDebugOutput Debug;
};

TEST_F(BackgroundMusicTest, TwoItemsStartAtTheirPlacesAndAgainInTheNextPass) {
    AddItem(10000);
    AddItem(10000);
    Play();
    EXPECT_EQ(ItemStart(0), 0);
    EXPECT_EQ(ItemStart(1), 11000);
    EXPECT_EQ(Rig.Player->MusicEvent->TotalDuration, 21000);
    EXPECT_EQ(Active(), std::vector<TMusicPlayListItem*>{Item(0)});
    EXPECT_EQ(Sounds->MusicSounds().Count(), 1);
    Rig.Host.RunFor(10500);
    EXPECT_TRUE(Active().empty());
    EXPECT_EQ(Sounds->MusicSounds().Count(), 0);
    Rig.Host.RunFor(1000);
    EXPECT_EQ(Active(), std::vector<TMusicPlayListItem*>{Item(1)});
    Rig.Host.RunFor(10000);
    EXPECT_EQ(Active(), std::vector<TMusicPlayListItem*>{Item(0)});
    // One trace line per start, no more.
    EXPECT_EQ(Trace(), (std::vector<AnsiString>{"Start: 0 -> End: 10000", "Start: 11000 -> End: 21000",
                                              "Start: 0 -> End: 10000"}));
}

TEST_F(BackgroundMusicTest, WithoutRepeatTheEventLeavesAfterItsPassAndStaysGone) {
    AddItem(10000);
    AddItem(10000);
    Music().RepeatPlayList = false;
    Play();
    Rig.Host.RunFor(21500);
    EXPECT_EQ(Rig.Player->MusicEvent, nullptr);
    EXPECT_EQ(Sounds->MusicSounds().Count(), 0);
    Rig.Player->SetMusicClockTime(100);
    Rig.Host.RunFor(1000);
    EXPECT_EQ(Sounds->MusicSounds().Count(), 0);
    EXPECT_EQ(Trace().size(), 2u);
}

// The item whose length cannot be told (its file could not be opened: a dead address)
// never starts and takes no time but its gap; the items after it keep playing.
TEST_F(BackgroundMusicTest, AnUnmeasurableItemTakesNoTimeAndTheNextOnesPlay) {
    AddItem(10000, 500);
    TMusicPlayListItem* unknown = AddItem(-1);
    AddItem(10000);
    Play();
    EXPECT_EQ(ItemStart(0), 0);
    EXPECT_EQ(ItemStart(1), -1);
    EXPECT_EQ(ItemStart(2), 11500);
    EXPECT_EQ(Rig.Player->MusicEvent->TotalDuration, 21500);
    Rig.Host.RunFor(25000);
    EXPECT_EQ(Trace(), (std::vector<AnsiString>{"Start: 0 -> End: 10000", "Start: 11500 -> End: 21500",
                                              "Start: 0 -> End: 10000"}));
    EXPECT_EQ(unknown->GetSound(), nullptr);
}

TEST_F(BackgroundMusicTest, APassOfNoLengthEndsTheEventAtOnce) {
    AddItem(0, 0);
    Play();
    EXPECT_EQ(Rig.Player->MusicEvent, nullptr);
    EXPECT_TRUE(Trace().empty());
}

TEST_F(BackgroundMusicTest, NegativeDelaysGapsAndSpansCountAsNone) {
    TMusicPlayListItem* a = AddItem(10000, -4000);
    a->Delay = -100;
    TMusicPlayListItem* b = AddItem(10000);
    b->EndPoint = 2000;
    b->StartPoint = 5000;
    AddItem(3000);
    Play();
    EXPECT_EQ(ItemStart(0), 0);
    EXPECT_EQ(ItemStart(1), 10000);
    EXPECT_EQ(ItemStart(2), 11000);
    EXPECT_EQ(Rig.Player->MusicEvent->TotalDuration, 14000);
}

TEST_F(BackgroundMusicTest, GoingBackAcrossAPassStopsWhatPlaysAndStartsAgain) {
    AddItem(10000);
    AddItem(10000);
    Play();
    Rig.Host.RunFor(27000);  // pass 1, the first item
    EXPECT_EQ(Rig.Player->MusicEvent->LastPass, 1);
    Rig.Player->SetMusicClockTime(12000);  // pass 0, the second item
    Rig.Host.Tick();
    EXPECT_EQ(Rig.Player->MusicEvent->LastPass, 0);
    EXPECT_EQ(Active(), std::vector<TMusicPlayListItem*>{Item(1)});
    EXPECT_EQ(Sounds->MusicSounds().Count(), 1);
    EXPECT_EQ(Trace().back(), "Start: 11000 -> End: 21000");
}

// Paused, the music on its own clock goes on: items still start and their fades end.
TEST_F(BackgroundMusicTest, WhilePausedTheMusicOnItsOwnClockGoesOn) {
    for (bool follows : {false, true}) {
        SCOPED_TRACE(follows);
        TPlayerRig rig(Sounds);
        auto& music = *dynamic_cast<TMusicProperties*>(rig.Show.MusicProperties);
        music.FollowShowTime = follows;
        for (int i = 0; i < 2; ++i) {
            auto item = std::make_unique<TMusicPlayListItem>();
            item->Length = 10000;
            item->FadeInTime = i == 1 ? 2000 : 0;
            music.PlayList->Add(std::move(item));
        }
        rig.Add(600000);
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(1000);
        rig.Player->Pause(false);
        Debug.Lines.clear();
        rig.Host.RunFor(14000);
        auto* second = MusicRuntimeData(music.PlayList->Item(1));
        if (follows) {
            EXPECT_TRUE(Trace().empty());
        } else {
            EXPECT_EQ(Trace(), std::vector<AnsiString>{"Start: 11000 -> End: 21000"});
            EXPECT_TRUE(second->FadingIn);
            EXPECT_EQ(second->ItemFade, nullptr);  // done and gone from the queue
        }
        rig.Host.Finish();
    }
}

TEST_F(BackgroundMusicTest, ItemFadesInAndOutAndLetsGoOfEachFade) {
    TMusicPlayListItem* a = AddItem(10000, 5000);
    a->FadeInTime = 3000;
    a->FadeOutTime = 3000;
    AddItem(1000);
    Play();
    auto* data = MusicRuntimeData(a);
    EXPECT_TRUE(data->FadingIn);
    ASSERT_NE(data->ItemFade, nullptr);
    EXPECT_EQ(data->ItemFade->Duration, 3000);
    Rig.Host.RunFor(3500);
    EXPECT_EQ(data->ItemFade, nullptr);
    Rig.Host.RunFor(3520);  // three seconds before the end
    EXPECT_TRUE(data->FadingOut);
    ASSERT_NE(data->ItemFade, nullptr);
    EXPECT_EQ(data->ItemFade->TargetVolume, 0);
    Rig.Host.RunFor(3200);
    EXPECT_EQ(data->ItemFade, nullptr);
    EXPECT_FALSE(data->FadingOut);
    EXPECT_TRUE(Active().empty());
}

// Over five minutes, each item gets at most one placeholder a pass.
TEST_F(BackgroundMusicTest, AtMostOnePlaceholderPerItemAndPass) {
    AddItem(10000);
    AddItem(10000);
    std::map<const TMusicPlayListItem*, int> placeholders;
    std::vector<const TSlideShowObject*> seen;
    Rig.Host.OnTick = [&] {
        std::vector<const TSlideShowObject*> now;
        for (TSlideShowObject* o : Rig.Player->ComingObjects)
            if (auto* p = dynamic_cast<TBackgroundMusicSlideShowObject*>(o)) {
                now.push_back(o);
                if (std::find(seen.begin(), seen.end(), o) == seen.end())
                    ++placeholders[dynamic_cast<TMusicPlayListItem*>(p->MusicItem)];
            }
        seen = now;
    };
    Play();
    Rig.Host.RunFor(300000);
    const int passes = 300000 / 21000 + 1;
    ASSERT_EQ(placeholders.size(), 2u);
    for (const auto& [item, count] : placeholders) {
        EXPECT_LE(count, passes + 1);
        EXPECT_GE(count, passes - 1);
    }
}

// A still picture with music and no fade: the loop sleeps until something is due.
TEST_F(BackgroundMusicTest, AStillPictureWithMusicTakesFewTicks) {
    AddItem(30000);
    Rig.Add(10000);
    Rig.Host.Play(&Rig.Show);
    const int before = Rig.Host.TickCount();
    Rig.Host.RunFor(10000);
    EXPECT_LE(Rig.Host.TickCount() - before, 4);
}

TEST_F(BackgroundMusicTest, TheShowEndsWithAFadeOfAllSound) {
    AddItem(10000);
    Play(5000);
    TDummySlideShowObject* fade = Rig.Player->MusicFadeObject;
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->GetDuration(), 2000);
    EXPECT_EQ(Rig.Show.RootList().Last(), fade);
    Rig.Host.RunFor(5100);
    ASSERT_NE(Rig.Player->SoundFade, nullptr);
    EXPECT_EQ(Rig.Player->SoundFade->Kind, TFadeBackgroundMusicHighPriorityEvent::fkAll);
    EXPECT_EQ(Rig.Player->SoundFade->TargetVolume, 0);
    EXPECT_EQ(Rig.Player->SoundFade->Duration, 2000);
}

}  // namespace

namespace {

// An item whose opening takes time on the clock, as a MIDI song's does while its sound
// font loads.
class TSlowOpeningItem : public TMusicPlayListItem {
public:
    TSlowOpeningItem(TManualTickCount& clock, uint32_t ms) : clock_(clock), ms_(ms) {}
    void Open(const AnsiString& fileName) override {
        clock_.Advance(ms_);
        TMusicPlayListItem::Open(fileName);
    }

private:
    TManualTickCount& clock_;
    uint32_t ms_;
};

}  // namespace

// A song opened at its start plays whole from when it really started: its end moves by
// what the opening took, the next item keeps its place.
TEST_F(BackgroundMusicTest, ASongOpenedAtItsStartEndsItsLengthAfterItsRealStart) {
    auto slow = std::make_unique<TSlowOpeningItem>(Rig.Clock, 400);
    slow->FileName = "song.wav";
    slow->Length = 10000;
    slow->Gap = 1000;
    Music().PlayList->Add(std::move(slow));
    AddItem(10000);
    Play();
    EXPECT_EQ(GetMusicItemEnd(Item(0)), 10400);
    Rig.Host.RunFor(9800);
    EXPECT_EQ(Active(), std::vector<TMusicPlayListItem*>{Item(0)}) << "cut at its planned end";
    Rig.Host.RunFor(300);
    EXPECT_TRUE(Active().empty());
    EXPECT_EQ(ItemStart(1), 11000);
    Rig.Host.RunFor(700);
    EXPECT_EQ(Active(), std::vector<TMusicPlayListItem*>{Item(1)});
}
