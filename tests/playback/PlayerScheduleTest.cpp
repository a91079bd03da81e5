// The schedule and the preparation of coming objects, the player's waits, and slide
// changes that preparation must not hold up.
#include "PlayerTestSupport.h"


namespace {

// The start of every frame that was not a final one, and that there was exactly one
// object start per item.
void ExpectFirstPlay(const TScriptedItem* item, int32_t start, int32_t slack = 16) {
    const int32_t first = item->FirstPlay();
    EXPECT_GE(first, start) << item->Name;
    EXPECT_LE(first, start + slack) << item->Name;
}

// ---- start times and cursors ----

TEST(PlayerSchedule, ChaptersPlayTheirChildrenInTurnAndADisabledChildTakesNoTime) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    TScriptedItem* a = rig.Add(1000);
    TContainerSlideShowObject* chapter = AddChapter(rig.Show.RootList());
    TScriptedItem* b = rig.Add(1000, kGreen32, chapter->GetChildList());
    TScriptedItem* off = rig.Add(1000, kBlue32, chapter->GetChildList());
    off->SetEnabled(false);
    TScriptedItem* d = rig.Add(1000, kYellow32, chapter->GetChildList());
    TScriptedItem* e = rig.Add(1000);
    rig.Host.Play(&rig.Show);
    EXPECT_EQ(chapter->GetStartTime(), 1000);
    EXPECT_EQ(d->GetStartTime(), 2000);
    EXPECT_EQ(e->GetStartTime(), 3000);
    // The walk of the show: the chapter itself, then into it, past the disabled child.
    EXPECT_EQ(rig.Player->FindNextObject(nullptr), a);
    EXPECT_EQ(rig.Player->FindNextObject(a), chapter);
    EXPECT_EQ(rig.Player->FindNextObject(chapter), b);
    EXPECT_EQ(rig.Player->FindNextObject(b), d);
    EXPECT_EQ(rig.Player->FindNextObject(d), e);
    EXPECT_EQ(rig.Player->FindNextObject(e), nullptr);
    rig.Host.RunFor(3900);
    ExpectFirstPlay(a, 0);
    ExpectFirstPlay(b, 1000);
    ExpectFirstPlay(d, 2000);
    ExpectFirstPlay(e, 3000);
    EXPECT_EQ(off->Starts, 0);
    EXPECT_TRUE(off->Plays.empty());
}

TEST(PlayerSchedule, EveryBranchOfAParallelGroupHasItsOwnCursorThatStaysInsideIt) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    TParallelSlideShowObject* group = AddParallel(rig.Show.RootList());
    TScriptedItem* x = rig.Add(2000, kGreen32, group->GetChildList());
    x->Area = TRect{0, 0, 8, 8};
    TContainerSlideShowObject* branch = AddChapter(*group->GetChildList());
    branch->SetTimeOffset(500);
    TScriptedItem* y1 = rig.Add(1000, kBlue32, branch->GetChildList());
    y1->Area = TRect{8, 0, 16, 8};
    TScriptedItem* y2 = rig.Add(1000, kYellow32, branch->GetChildList());
    y2->Area = TRect{8, 0, 16, 8};
    TScriptedItem* z = rig.Add(1000);
    rig.Host.Play(&rig.Show);
    EXPECT_EQ(y1->GetStartTime(), 500);
    EXPECT_EQ(y2->GetStartTime(), 1500);
    EXPECT_EQ(z->GetStartTime(), 2500);
    // A branch ends where its group's list ends.
    EXPECT_EQ(rig.Player->FindNextObject(x), nullptr);
    EXPECT_EQ(rig.Player->FindNextObject(y2), nullptr);
    EXPECT_EQ(rig.Player->FindNextObject(group), z);
    rig.Host.RunFor(3400);
    ExpectFirstPlay(x, 0);
    ExpectFirstPlay(y1, 500);
    ExpectFirstPlay(y2, 1500);
    ExpectFirstPlay(z, 2500);
    for (TScriptedItem* item : {x, y1, y2, z}) EXPECT_EQ(item->Starts, 1) << item->GetStartTime();
}

TEST(PlayerSchedule, WithALookAheadAnObjectIsQueuedThatLongBeforeItsStartAndNotBefore) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 10000;
    rig.Add(25000);
    TScriptedItem* b = rig.Add(5000, kGreen32);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(14990);
    EXPECT_EQ(b->Starts, 0);
    rig.Host.RunFor(20);
    EXPECT_EQ(b->Starts, 1);
    EXPECT_TRUE(b->IsInitialized());
}

TEST(PlayerSchedule, AStartAt30sSeeksWhatRunsThenAndNeverPreparesWhatEndedBefore) {
    TPlayerRig rig;
    TScriptedItem* a = rig.Add(20000);
    a->Steps = {{10, 0}};
    TContainerSlideShowObject* chapter = AddChapter(rig.Show.RootList());
    TScriptedItem* b = rig.Add(8000, kGreen32, chapter->GetChildList());
    b->Steps = {{10, 0}};
    TScriptedItem* c = rig.Add(12000, kBlue32, chapter->GetChildList());
    c->Steps = {{10, 0}};
    rig.Host.PlayFromTime(&rig.Show, 30000);
    EXPECT_EQ(rig.Player->StartPosition, 30000);
    EXPECT_EQ(rig.Player->GetPlayTime(), 30000);
    ASSERT_EQ(rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(rig.Player->PlayingObjects[0], c);
    EXPECT_EQ(c->Seeks, (std::vector<int32_t>{30000}));
    rig.Host.Tick();
    EXPECT_EQ(c->FirstPlay(), 30000);
    EXPECT_EQ(rig.Pixel(1, 1), kBlue32);
    for (TScriptedItem* gone : {a, b}) {
        EXPECT_TRUE(gone->StepLog.empty());
        EXPECT_EQ(gone->Starts, 0);
    }
}

// ---- preparation ----

TEST(PlayerPreparation, ADelayOf40msLeavesNoBudgetSoOnlyDueObjectsArePrepared) {
    TPlayerRig rig;
    rig.Add(60000);
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();
    TScriptedItem* due = rig.Add(1000);
    due->Steps = {{500, 0}, {500, 0}};
    due->SetStartTime(0);
    TScriptedItem* later = rig.Add(1000);
    later->Steps = {{1, 0}};
    later->SetStartTime(50000);
    rig.Player->ComingObjects = {due, later};
    rig.Player->PrepareWhileWaiting(rig.Player->ComingObjects, 40);
    EXPECT_TRUE(due->IsInitialized());
    EXPECT_TRUE(later->StepLog.empty());
    rig.Player->PrepareWhileWaiting(rig.Player->ComingObjects, 1000);
    EXPECT_TRUE(later->IsInitialized());
    // Nothing is left: the next call does nothing.
    rig.Player->PrepareWhileWaiting(rig.Player->ComingObjects, 1000);
    EXPECT_EQ(due->StepLog.size() + later->StepLog.size(), 3u);
}

// Notes whether the player called each of its steps urgent.
class TUrgencyItem : public TScriptedItem {
public:
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override {
        Urgent.push_back(PreparationOf(player)->StepIsUrgent());
        return TScriptedItem::ExecuteInitializationStep(player, step);
    }
    std::vector<bool> Urgent;
};

// A step for an item that is due, or that must run now lest its item start late, is
// urgent (a picture then may take a second core); a step ahead of its item's start is not.
TEST(PlayerPreparation, StepsForDueOrLateItemsAreUrgentAndStepsAheadAreNot) {
    TPlayerRig rig;
    rig.Add(60000);
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();
    const auto add = [&](int32_t start, std::vector<TScriptStep> steps) {
        auto* item = new TUrgencyItem();
        item->SetDuration(1000);
        item->Clock = &rig.Clock;
        item->Steps = std::move(steps);
        item->SetStartTime(start);
        rig.Show.RootList().Add(item);
        return item;
    };
    TUrgencyItem* due = add(0, {{10, 0}});
    TUrgencyItem* soon = add(100, {{500, 0}, {500, 0}});
    TUrgencyItem* later = add(50000, {{10, 0}});
    rig.Player->ComingObjects = {due, soon, later};
    rig.Player->PrepareWhileWaiting(rig.Player->ComingObjects, 40);
    EXPECT_EQ(due->Urgent, std::vector<bool>{true});
    EXPECT_EQ(soon->Urgent, std::vector<bool>{true});
    EXPECT_TRUE(later->Urgent.empty());
    rig.Player->ComingObjects = {later};
    rig.Player->PrepareWhileWaiting(rig.Player->ComingObjects, 1000);
    EXPECT_EQ(later->Urgent, std::vector<bool>{false});
    EXPECT_FALSE(rig.Player->Preparation().StepIsUrgent());
}

TEST(PlayerPreparation, StepsRunEarliestFirstAndCheapestFirstWithinTheSameStart) {
    TPlayerRig rig;
    rig.Add(60000);
    rig.Host.Play(&rig.Show);
    TScriptedItem* late = rig.Add(1000);
    late->Steps = {{5, 0}};
    late->SetStartTime(30000);
    TScriptedItem* early = rig.Add(1000);
    early->Steps = {{40, 0}, {20, 0}};
    early->SetStartTime(20000);
    rig.Player->ComingObjects = {late, early};
    rig.Player->PrepareWhileWaiting(rig.Player->ComingObjects, 10000);
    ASSERT_EQ(early->StepLog.size(), 2u);
    EXPECT_EQ(early->StepLog[0].second, 1);  // 20 ms before 40 ms
    EXPECT_EQ(early->StepLog[1].second, 0);
    EXPECT_TRUE(late->IsInitialized());
}

TEST(PlayerPreparation, AFailedStepEndsItsObjectsPreparationAndTheShowGoesOnWithoutIt) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    TScriptedItem* a = rig.Add(1000);
    TScriptedItem* broken = rig.Add(1000, kGreen32);
    broken->Steps = {{10, 0}, {20, 0, true}, {30, 0}};
    TScriptedItem* c = rig.Add(1000, kBlue32);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(2500);
    ASSERT_EQ(broken->StepLog.size(), 2u);  // the step after the failed one never runs
    EXPECT_EQ(broken->StepLog[1].second, 1);
    EXPECT_GE(broken->Resets, 1);
    EXPECT_GE(broken->Releases, 1);
    EXPECT_TRUE(broken->Plays.empty());
    ExpectFirstPlay(a, 0);
    ExpectFirstPlay(c, 2000);
    EXPECT_EQ(rig.Pixel(2, 2), kBlue32);
}

TEST(PlayerPreparation, AnObjectThatStaysUnreadyAfterItsLastStepNeitherHangsNorHoldsUpTheEnd) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    rig.ShowSettings().EndAction = 1;
    rig.Add(1000);
    TScriptedItem* stuck = rig.Add(1000, kGreen32);
    stuck->Steps = {{10, 0}};
    stuck->NeverReady = true;
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(3000);
    EXPECT_EQ(stuck->StepLog.size(), 1u);
    EXPECT_TRUE(stuck->Plays.empty());
    EXPECT_TRUE(rig.Player->ComingObjects.empty());
    EXPECT_TRUE(rig.Host.Closed());  // the show reached its end and stopped
}

// ---- waiting ----

TEST(PlayerWait, ATenSecondStillPictureTakesAtMostThreeTicks) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    rig.Add(10000);
    rig.Add(10000, kGreen32);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(10000);
    EXPECT_LE(rig.Host.TickCount(), 3);
    EXPECT_EQ(rig.Pixel(1, 1), kGreen32);
}

TEST(PlayerWait, APausedShowWaitsForAMessage) {
    TPlayerRig rig;
    rig.Add(10000);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(1000);
    rig.Player->Pause(false);
    rig.Host.Tick();
    EXPECT_EQ(rig.Player->TimeToNextTick(), -1);
    const int ticks = rig.Host.TickCount();
    rig.Host.RunFor(60000);
    EXPECT_EQ(rig.Host.TickCount(), ticks + 2);  // one now, one at the end of the run
}

TEST(PlayerWait, AnEmptyShowWaitsWithoutStartingAgain) {
    TPlayerRig rig;
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(5000);
    EXPECT_EQ(rig.Player->TimeToNextTick(), -1);
    EXPECT_LE(rig.Host.TickCount(), 3);
    EXPECT_EQ(rig.Player->Restarts, 0);
    EXPECT_FALSE(rig.Host.Closed());
    // Input still ends it.
    TMessage escape{0, WM_KEYDOWN, VK_ESCAPE, 0, 0};
    rig.Player->HandlePlayerMessage(escape);
    rig.Host.Tick();
    EXPECT_TRUE(rig.Host.Closed());
}

TEST(PlayerWait, AShowWhoseEveryObjectFailsDoesNotStartAgain) {
    TPlayerRig rig;
    for (int i = 0; i < 3; ++i) rig.Add(1000)->Steps = {{10, 0, true}};
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(10000);
    EXPECT_EQ(rig.Player->Restarts, 0);
    EXPECT_EQ(rig.Player->TimeToNextTick(), -1);
}

TEST(PlayerWait, AnObjectsEndIsMetEvenWhenItAsksForALaterCall) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    TScriptedItem* a = rig.Add(1000);
    TScriptedItem* b = rig.Add(1000, kGreen32);
    // A dummy asks again after its whole duration, wherever it stands.
    auto* dummy = new TDummySlideShowObject();
    dummy->SetDuration(3000);
    rig.Show.RootList().Insert(0, dummy);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(4500);
    ExpectFirstPlay(a, 3000);
    ExpectFirstPlay(b, 4000);
}

// ---- slide changes that preparation must not hold up ----

struct NoFreezeTest : ::testing::Test {
    TPlayerRig Rig;
    std::vector<TScriptedItem*> Items;
    std::vector<std::pair<int64_t, int64_t>> Ticks;  // start, duration

    void Build(bool animates) {
        Rig.Settings().PreloadTime = 0;
        for (TColor32 color : {kRed32, kGreen32, kBlue32, kYellow32}) {
            TScriptedItem* item = Rig.Add(5000, color);
            item->Steps = {{150, 150}, {150, 150}, {150, 150}};
            item->Animates = animates;
            Items.push_back(item);
        }
        Rig.Host.OnTick = [this] { Ticks.emplace_back(Rig.Host.LastTickStart(), Rig.Host.LastTickDuration()); };
        Rig.Host.Play(&Rig.Show);
        // The show's clock starts here; it never pauses.
        ShowStart = Rig.Host.Elapsed();
        Rig.Host.RunFor(19000);
    }
    // How long the tick took that began at a show time; -1 when none began then.
    int64_t DurationOfTickAt(int64_t showTime) const {
        for (const auto& [start, duration] : Ticks)
            if (start - ShowStart == showTime) return duration;
        return -1;
    }
    int64_t ShowStart = 0;
};

TEST_F(NoFreezeTest, StillPicturesChangeOnTimeAndTheChangeTakesNoPreparation) {
    Build(false);
    for (size_t i = 1; i < Items.size(); ++i) {
        const int32_t start = static_cast<int32_t>(i) * 5000;
        EXPECT_EQ(Items[i]->FirstPlay(), start) << i;
        const int64_t took = DurationOfTickAt(start);
        EXPECT_GE(took, 0) << i;
        EXPECT_LE(took, Rig.Host.FrameStep) << i;
    }
}

TEST_F(NoFreezeTest, AnimatedPicturesStallNoTickLongerThanOneStep) {
    Build(true);
    for (size_t i = 1; i < Items.size(); ++i) {
        const int32_t start = static_cast<int32_t>(i) * 5000;
        ExpectFirstPlay(Items[i], start, Rig.Host.FrameStep);
    }
    int64_t longest = 0;
    for (size_t k = 0; k < Ticks.size(); ++k) longest = std::max(longest, Ticks[k].second);
    EXPECT_LE(longest, 150);
    EXPECT_GT(longest, 0);  // the steps did run in ticks, one at a time
}

}  // namespace
