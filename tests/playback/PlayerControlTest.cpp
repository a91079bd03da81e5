// Pause, stop, the end of a show, jumps, and the queue of high-priority events with the
// volume fades.
#include "PlayerTestSupport.h"

namespace {

// ---- the end of a show ----

TEST(PlayerEnd, AUserStopStopsOrAsksAsTheShowSays) {
    struct TCase {
        uint8_t Action;
        bool AskOnUserStop;
        int Answer;  // what the player answers when asked; -1 the base player's stop
        bool Stops;
        int Queries;
        int Restarts;
    };
    for (const TCase& c : {TCase{1, true, -1, true, 0, 0}, TCase{0, false, -1, true, 0, 0},
                           TCase{2, true, -1, true, 1, 0}, TCase{3, true, 2, false, 1, 1},
                           TCase{2, false, 0, true, 0, 0}, TCase{0, true, -1, true, 0, 0}}) {
        TPlayerRig rig;
        rig.Add(5000);
        rig.ShowSettings().EndAction = c.Action;
        rig.ShowSettings().EndActionOnUserStop = c.AskOnUserStop;
        rig.Player->Answer = c.Answer;
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(1000);
        rig.Player->EndShow(true);
        EXPECT_EQ(rig.Player->Stopping, c.Stops) << int(c.Action) << c.AskOnUserStop;
        EXPECT_EQ(rig.Player->Queries, c.Queries) << int(c.Action) << c.AskOnUserStop;
        EXPECT_EQ(rig.Player->Restarts, c.Restarts) << int(c.Action) << c.AskOnUserStop;
        // Once stopping, the end of the show is no longer acted on.
        rig.Player->EndShow(false);
        EXPECT_EQ(rig.Player->Restarts, c.Restarts);
    }
}

TEST(PlayerEnd, TheNaturalEndRestartsClosesOrStaysAsTheEndActionSays) {
    struct TCase {
        uint8_t Action;
        bool Restarts;
        bool Closes;
    };
    for (const TCase& c : {TCase{0, true, false}, TCase{4, true, false}, TCase{1, false, true},
                           TCase{5, false, false}, TCase{2, false, true}}) {
        TPlayerRig rig;
        TScriptedItem* a = rig.Add(1000);
        rig.Add(1000, kGreen32);
        rig.ShowSettings().EndAction = c.Action;
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(2200);
        EXPECT_EQ(rig.Player->Restarts > 0, c.Restarts) << int(c.Action);
        EXPECT_EQ(rig.Host.Closed(), c.Closes) << int(c.Action);
        if (c.Restarts) {
            EXPECT_LT(rig.Player->GetPlayTime(), 1000);
            EXPECT_EQ(rig.Pixel(1, 1), kRed32);
            EXPECT_EQ(a->Starts, 2);
        }
        if (!c.Restarts && !c.Closes) {
            // The last picture stays and the player waits.
            EXPECT_EQ(rig.Pixel(1, 1), kGreen32);
            EXPECT_EQ(rig.Player->TimeToNextTick(), -1);
        }
    }
}

TEST(PlayerEnd, StopPostsTheWindowsCloseAndTheLoopEnds) {
    TPlayerRig rig;
    rig.Add(5000);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(100);
    rig.Player->Stop();
    EXPECT_TRUE(rig.Player->Stopping);
    rig.Host.RunFor(1000);
    EXPECT_TRUE(rig.Host.Closed());
}

// ---- pause ----

TEST(PlayerPause, PauseAndResumeActOnlyOnAChangeAndPauseTheClockAndTheSounds) {
    TFakeSoundSystem sounds;
    TPlayerRig rig(&sounds);
    rig.Add(10000);
    int notified = 0;
    rig.Player->OnPause = [&](TSlideShowPlayer*) { ++notified; };
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(1000);
    rig.Player->SetPaused(true);
    rig.Player->SetPaused(true);
    EXPECT_EQ(notified, 1);
    EXPECT_TRUE(sounds.Objects.Paused);
    rig.Host.RunFor(5000);
    EXPECT_EQ(rig.Player->GetCurrentPlayTime(), 1000);
    rig.Player->SetPaused(false);
    rig.Player->Resume(false);
    EXPECT_EQ(notified, 2);
    EXPECT_FALSE(sounds.Objects.Paused);
    rig.Host.RunFor(500);
    EXPECT_EQ(rig.Player->GetPlayTime(), 1500);
}

// ---- jumps ----

struct JumpTest : ::testing::Test {
    TPlayerRig Rig;
    TScriptedItem* A = Rig.Add(5000, kRed32);
    TScriptedItem* B = Rig.Add(5000, kGreen32);
    TScriptedItem* C = Rig.Add(5000, kBlue32);
    TScriptedItem* D = Rig.Add(20000, kYellow32);

    void SetUp() override {
        Rig.Settings().PreloadTime = 0;
        for (TScriptedItem* item : {A, B, C, D}) item->Steps = {{100, 0}};
        Rig.Host.Play(&Rig.Show);
    }
};

TEST_F(JumpTest, AJumpTo30sShowsWhatRunsThereAndLetsGoOfWhatRanBefore) {
    Rig.Host.RunFor(2000);
    Rig.Player->JumpToTime(30000, false);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 30000);
    ASSERT_EQ(Rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(Rig.Player->PlayingObjects[0], D);
    EXPECT_EQ(D->Seeks.back(), 30000);
    EXPECT_GE(A->Releases, 1);
    Rig.Host.RunFor(100);
    EXPECT_EQ(D->FirstPlay(), 30000);
    EXPECT_EQ(Rig.Pixel(1, 1), kYellow32);
    EXPECT_FALSE(Rig.Host.Closed());
}

TEST_F(JumpTest, AJumpToTheStartWithPreparationStartsTheShowAgainInTheSameWindow) {
    Rig.Host.RunFor(7000);
    Rig.Player->JumpToTime(0, true);
    EXPECT_TRUE(A->IsInitialized());
    ASSERT_EQ(Rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(Rig.Player->PlayingObjects[0], A);
    Rig.Host.Tick();
    EXPECT_EQ(Rig.Pixel(1, 1), kRed32);
    EXPECT_EQ(Rig.Player->Restarts, 0);
}

TEST_F(JumpTest, APausedShowStaysPausedWhereAJumpPutsIt) {
    Rig.Host.RunFor(2000);
    Rig.Player->Pause(false);
    Rig.Player->JumpToTime(12000, false);
    Rig.Host.RunFor(3000);
    EXPECT_EQ(Rig.Player->GetCurrentPlayTime(), 12000);
    Rig.Player->Resume(false);
    Rig.Host.RunFor(500);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 12500);
}

TEST_F(JumpTest, NextObjectWhilePausedPlaysExactlyThatObjectAndPausesAgain) {
    Rig.Host.RunFor(2000);
    Rig.Player->Pause(false);
    Rig.Player->JumpToNextObject(false);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 5000);
    EXPECT_EQ(Rig.Player->RunToTime, 9999);
    Rig.Host.RunFor(8000);
    EXPECT_TRUE(Rig.Player->Paused);
    EXPECT_FALSE(Rig.Player->RunToMode);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 9999);
    EXPECT_EQ(Rig.Pixel(1, 1), kGreen32);
    EXPECT_TRUE(C->Plays.empty());
    EXPECT_EQ(Rig.Player->TimeToNextTick(), -1);
}

TEST_F(JumpTest, PreviousObjectWhilePausedPlaysThatObjectAndPausesBeforeTheNext) {
    Rig.Host.RunFor(7000);
    Rig.Player->Pause(false);
    const size_t bFrames = B->Plays.size();
    Rig.Player->JumpToPreviousObject(false);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 0);
    Rig.Host.RunFor(8000);
    EXPECT_TRUE(Rig.Player->Paused);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 4999);
    EXPECT_EQ(Rig.Pixel(1, 1), kRed32);
    EXPECT_EQ(B->Plays.size(), bFrames);
}

TEST_F(JumpTest, NextObjectWhilePlayingJumpsAndPlaysOn) {
    Rig.Host.RunFor(1000);
    Rig.Player->JumpToNextObject(false);
    EXPECT_EQ(Rig.Player->GetPlayTime(), 5000);
    Rig.Host.RunFor(6000);
    EXPECT_FALSE(Rig.Player->Paused);
    EXPECT_EQ(Rig.Pixel(1, 1), kBlue32);
}

// ---- high-priority events ----

// An event that counts its runs, is done after Runs, and may do something to the queue
// while it runs.
class TScriptedEvent : public THighPriorityEvent {
public:
    using THighPriorityEvent::THighPriorityEvent;
    bool Execute() override {
        ++Ran;
        if (During) During();
        return Ran >= Runs;
    }
    int Runs = 1000;
    int Ran = 0;
    std::function<void()> During;
};

TEST(PlayerEvents, EventsMayTakeOutAndQueueEventsWhileTheQueueRuns) {
    TPlayerRig rig;
    rig.Add(60000)->Animates = true;
    rig.Host.Play(&rig.Show);
    TSlideShowPlayer& player = *rig.Player;
    auto taken = std::make_shared<TScriptedEvent>(&player);
    auto added = std::make_shared<TScriptedEvent>(&player);
    auto taker = std::make_shared<TScriptedEvent>(&player);
    taker->Runs = 1;
    taker->During = [&] {
        player.RemoveHighPriorityEvent(taken.get());
        player.AddHighPriorityEvent(added);
    };
    // Run from the last to the first: the taker runs before the one it takes out.
    player.AddHighPriorityEvent(taken);
    player.AddHighPriorityEvent(taker);
    player.AddHighPriorityEvent(taker);  // queued once only
    rig.Host.Tick();
    EXPECT_EQ(taker->Ran, 1);
    EXPECT_EQ(taken->Ran, 0);
    EXPECT_EQ(added->Ran, 0);  // not in the snapshot of this frame
    EXPECT_EQ(player.QueuedHighPriorityEvents(), (std::vector<std::shared_ptr<THighPriorityEvent>>{added}));
    rig.Clock.Advance(16);
    rig.Host.Tick();
    EXPECT_EQ(added->Ran, 1);
}

TEST(PlayerEvents, TheQueueKeepsAnEventAliveOnlyWhileItHoldsIt) {
    TPlayerRig rig;
    rig.Add(60000);
    rig.Host.Play(&rig.Show);
    auto owned = std::make_shared<TScriptedEvent>(rig.Player.get());
    owned->Owned = true;
    owned->Runs = 2;
    std::weak_ptr<TScriptedEvent> watch = owned;
    rig.Player->AddHighPriorityEvent(std::move(owned));
    auto kept = std::make_shared<TScriptedEvent>(rig.Player.get());
    rig.Player->AddHighPriorityEvent(kept);
    rig.Host.Tick();
    EXPECT_FALSE(watch.expired());
    rig.Clock.Advance(16);
    rig.Host.Tick();
    EXPECT_TRUE(watch.expired());  // done: the queue's was the last reference
    rig.Player->ClearHighPriorityEvents();
    EXPECT_EQ(kept->Ran, 2);  // its maker still holds it
    EXPECT_TRUE(rig.Player->QueuedHighPriorityEvents().empty());
}

TEST(PlayerEvents, AQueuedEventsNeedWakesAWaitingPlayer) {
    TPlayerRig rig;
    rig.Add(60000);
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();
    EXPECT_GT(rig.Player->TimeToNextTick(), 50000);
    auto event = std::make_shared<TScriptedEvent>(rig.Player.get());
    rig.Player->AddHighPriorityEvent(event);
    EXPECT_EQ(rig.Player->TimeToNextTick(), 0);  // the base need: every frame
    rig.Player->SuspendHighPriorityEvents();
    EXPECT_GT(rig.Player->TimeToNextTick(), 50000);
}

// ---- fades ----

struct FadeTest : ::testing::Test {
    TFakeSoundSystem Sounds;
    TPlayerRig Rig{&Sounds};
    void SetUp() override {
        Rig.Add(60000);
        Rig.Host.Play(&Rig.Show);
        Rig.Host.RunFor(500);
    }
    void Frame(int32_t ms) {
        Rig.Clock.Advance(static_cast<uint32_t>(ms));
        Rig.Host.Tick();
    }
};

TEST_F(FadeTest, AFadeFollowsTheMusicTimeToItsTargetAndLeavesTheQueue) {
    Rig.Player->FadeMusicVolume(0, 2000);
    Frame(0);
    EXPECT_EQ(Sounds.Music.Volume, 255);
    Frame(1000);
    EXPECT_EQ(Sounds.Music.Volume, 128);  // 127.5 to the even neighbour
    EXPECT_NE(Rig.Player->MusicFade, nullptr);
    Frame(1000);
    EXPECT_EQ(Sounds.Music.Volume, 0);
    EXPECT_EQ(Rig.Player->MusicFade, nullptr);
    EXPECT_TRUE(Rig.Player->QueuedHighPriorityEvents().empty());
    EXPECT_EQ(Sounds.Objects.Volume, 255);
}

TEST_F(FadeTest, ASecondMusicFadeReplacesTheFirstFromTheVolumeReached) {
    Rig.Player->FadeMusicVolume(0, 2000);
    Frame(0);
    Frame(1000);
    auto first = Rig.Player->MusicFade;
    Rig.Player->FadeMusicVolume(255, 1000);
    EXPECT_NE(Rig.Player->MusicFade, first);
    EXPECT_EQ(Rig.Player->QueuedHighPriorityEvents().size(), 1u);
    Frame(0);
    EXPECT_EQ(Sounds.Music.Volume, 128);
    Frame(500);
    EXPECT_EQ(Sounds.Music.Volume, 192);  // 191.5 to the even neighbour
}

TEST_F(FadeTest, EachFadeKindMovesItsListsAndAFadeOfAllReplacesBoth) {
    Rig.Player->FadeSoundVolume(100, 1000);
    Rig.Player->FadeMusicVolume(50, 1000);
    EXPECT_EQ(Rig.Player->QueuedHighPriorityEvents().size(), 2u);
    Frame(0);
    Frame(1000);
    EXPECT_EQ(Sounds.Objects.Volume, 100);
    EXPECT_EQ(Sounds.Music.Volume, 50);
    Rig.Player->FadeSoundVolume(200, 1000);
    Rig.Player->FadeMusicVolume(200, 1000);
    Rig.Player->FadeAllVolume(0, 1000);
    EXPECT_EQ(Rig.Player->QueuedHighPriorityEvents().size(), 1u);
    EXPECT_EQ(Rig.Player->MusicFade, nullptr);
    ASSERT_NE(Rig.Player->SoundFade, nullptr);
    EXPECT_EQ(Rig.Player->SoundFade->Kind, TFadeBackgroundMusicHighPriorityEvent::fkAll);
    Frame(0);
    Frame(500);
    EXPECT_EQ(Sounds.Objects.Volume, 50);  // each list from its own start volume
    EXPECT_EQ(Sounds.Music.Volume, 25);
}

TEST_F(FadeTest, AFadeOfNoLengthSetsItsTargetAtOnce) {
    for (int32_t length : {0, -100}) {
        Rig.Player->FadeAllVolume(77, length);
        Frame(0);
        EXPECT_EQ(Sounds.Objects.Volume, 77) << length;
        EXPECT_EQ(Sounds.Music.Volume, 77) << length;
        EXPECT_TRUE(Rig.Player->QueuedHighPriorityEvents().empty()) << length;
        EXPECT_EQ(Rig.Player->SoundFade, nullptr) << length;
    }
}

TEST_F(FadeTest, AFadePendingWhenTheShowStartsAgainIsDroppedOnce) {
    Rig.Player->FadeMusicVolume(0, 5000);
    Rig.Player->FadeSoundVolume(0, 5000);
    Frame(100);
    std::weak_ptr<TFadeBackgroundMusicHighPriorityEvent> watch = Rig.Player->MusicFade;
    Rig.Player->Restart();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(Rig.Player->MusicFade, nullptr);
    EXPECT_EQ(Rig.Player->SoundFade, nullptr);
    Rig.Player->Restart();
    Frame(100);
    EXPECT_EQ(Sounds.Music.Volume, 255);
}

}  // namespace
