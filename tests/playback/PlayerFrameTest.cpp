// The tick and the frame routine: order of drawing, events of a frame, what reaches the
// window, the frame-rate counter, pauses.
#include "PlayerTestSupport.h"


namespace {

class TCountAction : public TSlideShowObjectEventAction {
public:
    explicit TCountAction(int* counter) : Counter(counter) {}
    void Execute(IPlayerServices*, TSlideShowObject*, TSlideShowObjectEvent*) override { ++*Counter; }
    int* Counter;
};

class TTestEvent : public TSlideShowObjectEvent {
    GC_DECLARE_CLASS(TTestEvent)
public:
    void AssignEventData(const TSlideShowObjectEvent& source) override {
        if (auto* e = dynamic_cast<const TTestEvent*>(&source)) Data = e->Data;
    }
    int Data = 0;
};

class TTestSubEvent : public TTestEvent {
    GC_DECLARE_CLASS(TTestSubEvent)
};

GC_IMPLEMENT_CLASS(TTestEvent, TSlideShowObjectEvent)
GC_IMPLEMENT_CLASS(TTestSubEvent, TTestEvent)

// Adds an event with one counting action to an item.
template <class E>
E* AddEvent(TPlayableSlideShowObject* item, int* counter) {
    if (!item->GetEventList()) item->CreateEventList();
    auto* event = new E();
    event->CreateActionList()->Add(new TCountAction(counter));
    item->GetEventList()->Add(event);
    return event;
}

// Ticks until the log holds the entry; the log of that tick.
std::vector<std::string> TickUntil(TPlayerRig& rig, std::vector<std::string>& log, const std::string& entry) {
    for (int i = 0; i < 400; ++i) {
        log.clear();
        rig.Clock.Advance(10);
        rig.Host.Tick();
        if (std::find(log.begin(), log.end(), entry) != log.end()) return log;
    }
    return {};
}

TEST(PlayerFrame, BackgroundsComeBackLastToFirstAndObjectsPlayFirstToLastWhileOneLeaves) {
    TPlayerRig rig;
    TParallelSlideShowObject* group = AddParallel(rig.Show.RootList());
    std::vector<std::string> log;
    int k = 0;
    for (int32_t duration : {1000, 2000, 3000}) {
        TScriptedItem* item = rig.Add(duration, kRed32, group->GetChildList());
        item->Name = std::string(1, char('a' + k++));
        item->Log = &log;
    }
    rig.Host.Play(&rig.Show);
    EXPECT_EQ(TickUntil(rig, log, "Fa"), (std::vector<std::string>{"Rc", "Rb", "Ra", "Fa", "Pb", "Pc"}));
    EXPECT_EQ(rig.Player->PlayingObjects.size(), 2u);
}

TEST(PlayerFrame, TheStartedEventRunsInEveryFrameWhileTheObjectStaysInItsStartedState) {
    TPlayerRig rig;
    TScriptedItem* item = rig.Add(5000);
    item->Animates = true;
    int started = 0;
    AddEvent<TSlideShowObjectEventObjectStarted>(item, &started);
    // The item leaves its started state only in its third frame.
    item->OnPlay = [&](IPlayerServices*, bool) {
        if (item->Plays.size() < 3) item->State = psStarted;
    };
    rig.Host.Play(&rig.Show);
    for (int i = 0; i < 6; ++i) rig.Host.Tick();
    EXPECT_EQ(started, 3);
}

TEST(PlayerFrame, ATimerFiresOnceARunAndAgainAfterTheShowStartsOver) {
    TPlayerRig rig;
    TScriptedItem* item = rig.Add(3000);
    int fired = 0;
    auto* timer = AddEvent<TSlideShowObjectEventTimer>(item, &fired);
    timer->Offset = 1000;
    // Only the waits the player asks for: no pass at the end of each span to find it.
    rig.Host.Strict = true;
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(999);
    EXPECT_EQ(fired, 0);
    rig.Host.RunFor(1500);
    EXPECT_EQ(fired, 1);
    rig.Host.RunFor(2000);  // over the end: the show starts again and the timer re-arms
    EXPECT_EQ(rig.Player->Restarts, 1);
    EXPECT_EQ(fired, 2);
}

TEST(PlayerFrame, PendingEventsReachTheObjectsEventsOfExactlyTheirClassOnceWithTheirData) {
    TPlayerRig rig;
    TScriptedItem* item = rig.Add(5000);
    item->Animates = true;
    int exact = 0, derived = 0;
    auto* own = AddEvent<TTestEvent>(item, &exact);
    AddEvent<TTestSubEvent>(item, &derived);
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();
    auto* pending = new TTestEvent();
    pending->Data = 7;
    rig.Player->PendingEvents.Add(pending);
    rig.Host.Tick();
    EXPECT_EQ(exact, 1);
    EXPECT_EQ(derived, 0);
    EXPECT_EQ(own->Data, 7);
    EXPECT_EQ(rig.Player->PendingEvents.Count(), 0);
    rig.Host.Tick();
    EXPECT_EQ(exact, 1);
}

TEST(PlayerFrame, AnObjectsLastPictureReachesTheWindow) {
    TPlayerRig rig;
    TParallelSlideShowObject* group = AddParallel(rig.Show.RootList());
    TScriptedItem* leaving = rig.Add(1000, kRed32, group->GetChildList());
    leaving->Area = TRect{0, 0, 10, 10};
    leaving->OnPlay = [&](IPlayerServices*, bool final) {
        if (final) leaving->Color = kYellow32;
    };
    TScriptedItem* staying = rig.Add(3000, kBlue32, group->GetChildList());
    staying->Area = TRect{20, 20, 30, 30};
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(900);
    EXPECT_EQ(rig.Pixel(5, 5), kRed32);
    rig.Host.Surface().TakePresented();
    rig.Host.RunFor(200);
    ASSERT_EQ(leaving->Plays.back().Final, true);
    EXPECT_EQ(rig.Pixel(5, 5), kYellow32);
    const std::vector<TRect> presented = rig.Host.Surface().TakePresented();
    EXPECT_NE(std::find(presented.begin(), presented.end(), TRect{0, 0, 10, 10}), presented.end());
}

// Halves every pixel of its area toward its colour, over the background it saved first,
// in every frame; notes whether the player told it that the background it put back was
// still there.
class THalfItem : public TScriptedItem {
public:
    int32_t Play(IPlayerServices* player, bool final) override {
        TVisibleSlideShowObject::Play(player, final);
        ClearUpdateRect();
        TBitmap32* back = player->GetBackBuffer();
        if (!back) return -1;
        const IFrameState* frame = FrameStateOf(player);
        Kept.push_back(Background && RestoredSerial && frame &&
                       frame->UntouchedSinceRestore(RestoredSerial, Bounds(BackgroundPos.X, BackgroundPos.Y,
                                                                            Background->Width(),
                                                                            Background->Height())));
        if (!final) SaveBackground(Area, player);
        for (int32_t y = Area.Top; y < Area.Bottom; ++y)
            for (int32_t x = Area.Left; x < Area.Right; ++x) back->SetPixel(x, y, Half(back->Pixel(x, y), Color));
        AddUpdateRect(Area);
        return -1;
    }
    static uint32_t Half(uint32_t a, uint32_t b) {
        return 0xFF000000u | (((a & 0xFEFEFEu) >> 1) + ((b & 0xFEFEFEu) >> 1));
    }
    std::vector<bool> Kept;
};

// A colour of its own for every frame of the item below.
TColor32 FrameColour(size_t frame) { return 0xFF000000u | uint32_t((frame * 37) % 256) << 16 | uint32_t(frame % 7) * 30; }

// The item on top keeps the background it put back while nothing below drew over it, and
// saves it again where something did: the frames stay what the items draw.
TEST(PlayerFrame, ABackgroundIsSavedAgainOnlyWhereAnItemBelowDrewOverIt) {
    struct TCase {
        const char* Name;
        TRect Below;      // empty: no item below
        bool KeptAfterFirst;
    };
    const TCase cases[] = {
        {"nothing below", TRect{}, true},
        {"an item beside it", TRect{0, 0, 20, 48}, true},
        {"an item under it", TRect{0, 0, 40, 48}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPlayerRig rig;
        TParallelSlideShowObject* group = AddParallel(rig.Show.RootList());
        TScriptedItem* below = nullptr;
        if (!c.Below.IsEmpty()) {
            below = rig.Add(300, kRed32, group->GetChildList());
            below->Area = c.Below;
            below->Animates = true;
            below->OnPlay = [&below](IPlayerServices*, bool) { below->Color = FrameColour(below->Plays.size()); };
        }
        auto* top = new THalfItem();
        top->SetDuration(1000);
        top->Color = kBlue32;
        top->Clock = &rig.Clock;
        top->Area = TRect{24, 0, 64, 48};
        group->GetChildList()->Add(top);
        rig.Host.Play(&rig.Show);
        uint32_t alone = 0;  // the top item over what lies under it alone: the same in every frame
        for (int frame = 0; frame < 60; ++frame) {
            rig.Clock.Advance(10);
            rig.Host.Tick();
            if (below && !below->Plays.empty() && rig.Now() < 250) {
                EXPECT_EQ(rig.Pixel(10, 10) & 0xFFFFFFu, below->Color & 0xFFFFFFu);
                if (c.Below.Right > 24) {
                    EXPECT_EQ(rig.Pixel(30, 10) & 0xFFFFFFu, THalfItem::Half(below->Color, kBlue32) & 0xFFFFFFu);
                }
            }
            if (top->Kept.empty()) continue;
            if (!alone) alone = rig.Pixel(60, 10);
            EXPECT_EQ(rig.Pixel(60, 10), alone) << frame;
        }
        ASSERT_GT(top->Kept.size(), 20u);
        // The first frame has nothing to keep; the frames once the item below has gone
        // keep theirs in every case.
        EXPECT_FALSE(top->Kept.front());
        EXPECT_EQ(bool(top->Kept[5]), c.KeptAfterFirst);
        EXPECT_TRUE(top->Kept.back());
        if (below && c.Below.Right > 24) {
            // Its last colour stays under the top item after it left.
            EXPECT_EQ(rig.Pixel(30, 10) & 0xFFFFFFu, THalfItem::Half(below->Color, kBlue32) & 0xFFFFFFu);
        }
    }
}

TEST(PlayerFrame, ChangedRectanglesAreCutDroppedAndMergedAsTheyOverlap) {
    struct TCase {
        std::vector<TRect> In;
        std::vector<TRect> Out;
    };
    const TRect buffer{0, 0, 200, 200};
    const std::vector<TCase> cases = {
        {{{0, 0, 100, 100}, {50, 0, 150, 100}}, {{0, 0, 100, 100}, {50, 0, 150, 100}}},  // half each: both kept
        {{{0, 0, 100, 100}, {10, 0, 110, 100}}, {{0, 0, 110, 100}}},
        {{{0, 0, 100, 100}, {40, 40, 50, 50}}, {{0, 0, 100, 100}}},  // a small one inside a large one
        {{{5, 5, 5, 9}, {0, 0, 100, 100}, {10, 0, 110, 100}}, {{0, 0, 110, 100}}},  // an empty first one
        {{{30, 30, 10, 10}, {0, 0, 10, 10}}, {{0, 0, 10, 10}}},                      // an inverted one
        {{{150, 150, 300, 300}, {-50, -50, -10, -10}}, {{150, 150, 200, 200}}},     // cut to the buffer
        {{{0, 0, 10, 10}, {100, 100, 110, 110}, {3, 0, 13, 10}}, {{0, 0, 13, 10}, {100, 100, 110, 110}}},
        {{{0, 0, 10, 10}, {5, 0, 15, 10}}, {{0, 0, 10, 10}, {5, 0, 15, 10}}},
        {{}, {}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<TRect> rects = cases[i].In;
        ReduceUpdateRects(rects, buffer);
        EXPECT_EQ(rects, cases[i].Out) << i;
    }
}

TEST(PlayerFrame, TheFrameRateIsCountedOverWindowsOf26Frames) {
    TPlayerRig rig;
    TScriptedItem* item = rig.Add(60000);
    item->Animates = true;
    rig.Player->ShowFps = true;
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();  // at show time 0 no time has passed: no rate to show
    EXPECT_TRUE(rig.Host.FrameRateTexts.empty());
    std::vector<int32_t> frames;
    for (int i = 0; i < 26; ++i) {
        rig.Clock.Advance(20);
        rig.Host.Tick();
        frames.push_back(rig.Player->FpsFrames);
    }
    EXPECT_EQ(frames[23], 25);
    EXPECT_EQ(frames[24], 0);  // the 26th frame closed the window
    EXPECT_EQ(rig.Player->FpsWindowStart, 500);
    EXPECT_EQ(rig.Host.FrameRateTexts.back(), "50.00 fps");
    EXPECT_EQ(rig.Player->FrameCount, 27);
}

TEST(PlayerFrame, AnEmptyShowEndsInTheFrameAfterTheFirstNotInTheFirst) {
    TPlayerRig rig;
    rig.ShowSettings().EndAction = 1;
    rig.Host.Play(&rig.Show);
    rig.Player->MessageLoopStep();
    EXPECT_FALSE(rig.Player->Stopping);
    rig.Player->MessageLoopStep();
    EXPECT_TRUE(rig.Player->Stopping);
}

TEST(PlayerFrame, AnObjectPlaysNormallyAtItsEndAndFinishesInTheFrameAfter) {
    TPlayerRig rig;
    TScriptedItem* item = rig.Add(1000);
    rig.Add(1000, kGreen32);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(1000);
    ASSERT_FALSE(item->Plays.empty());
    EXPECT_EQ(item->Plays.back().Time, 1000);
    EXPECT_FALSE(item->Plays.back().Final);
    rig.Host.RunFor(1);
    EXPECT_EQ(item->Plays.back().Time, 1001);
    EXPECT_TRUE(item->Plays.back().Final);
}

TEST(PlayerFrame, WhilePausedNoFrameIsDrawnButDueObjectsArePreparedAndHandedOver) {
    TPlayerRig rig;
    rig.Settings().PreloadTime = 0;
    TScriptedItem* a = rig.Add(5000);
    TScriptedItem* b = rig.Add(5000, kGreen32);
    b->Steps = {{4000, 0}};  // too dear for any idle time before its start
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(2000);
    rig.Player->Pause(false);
    rig.Player->SetClockTime(6000);
    const size_t frames = a->Plays.size();
    rig.Host.Tick();
    EXPECT_EQ(a->Plays.size(), frames);
    EXPECT_TRUE(b->Plays.empty());
    EXPECT_TRUE(b->IsInitialized());
    EXPECT_NE(std::find(rig.Player->PlayingObjects.begin(), rig.Player->PlayingObjects.end(), b),
              rig.Player->PlayingObjects.end());
}

TEST(PlayerFrame, WhilePausedMusicOnItsOwnClockStillFadesAndMusicThatFollowsTheShowDoesNot) {
    for (bool follows : {false, true}) {
        TFakeSoundSystem sounds;
        TPlayerRig rig(&sounds);
        rig.Add(60000);
        dynamic_cast<TMusicProperties*>(rig.Show.MusicProperties)->FollowShowTime = follows;
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(100);
        rig.Player->FadeMusicVolume(0, 2000);
        rig.Player->Pause(false);
        rig.Host.RunFor(1000);
        EXPECT_EQ(sounds.Music.Volume, follows ? 255 : 128) << follows;
        EXPECT_EQ(sounds.Music.Paused, follows) << follows;
        EXPECT_TRUE(sounds.Objects.Paused);
    }
}


TEST(PlayerFrame, TheFirstFrameIsToldOnceWhenItHasReachedTheWindow) {
    TPlayerRig rig;
    TScriptedItem* item = rig.Add(1000, kRed32);
    item->Area = TRect{0, 0, 10, 10};
    rig.Add(1000, kBlue32)->Area = TRect{0, 0, 10, 10};
    int told = 0;
    uint32_t shown = 0;
    rig.Player->OnFirstFrame = [&](TSlideShowPlayer*) {
        ++told;
        shown = rig.Pixel(5, 5);
    };
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(1500);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(shown, kRed32);
}

}  // namespace
