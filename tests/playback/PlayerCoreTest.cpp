// The player's core: clocks, show and settings binding, messages, fonts, registration.
#include "PlayerTestSupport.h"

#include "platform/FontRegistry.h"

#include <filesystem>

namespace {

// ---- clocks ----

struct ClockTest : ::testing::Test {
    TManualTickCount Clock{1000};
    TInstalled<SetTickSource> InstalledClock{Clock};
    TPluginPtr<TRealTimeSlideShowPlayer> Player{(PlayerTestPlugins(), new TRealTimeSlideShowPlayer(nullptr))};
};

TEST_F(ClockTest, AfterConstructionTheShowTimeReadsZeroUntilAClockOperation) {
    Clock.Advance(700);
    EXPECT_EQ(Player->GetPlayTime(), 0);
    EXPECT_EQ(Player->GetMusicClockTime(), 0);
    EXPECT_EQ(Player->GetCurrentPlayTime(), 700);  // the clock runs from construction
}

TEST_F(ClockTest, TheShowTimeIsReadOncePerTickAndAgainAfterSettingIt) {
    Player->StartClock(1000);
    Clock.Advance(500);
    EXPECT_EQ(Player->GetPlayTime(), 1000);
    EXPECT_EQ(Player->GetCurrentPlayTime(), 1500);
    Player->SetClockTime(5000);
    EXPECT_EQ(Player->GetPlayTime(), 5000);
    Clock.Advance(20);
    EXPECT_EQ(Player->GetPlayTime(), 5000);
    EXPECT_EQ(Player->GetCurrentPlayTime(), 5020);
}

TEST_F(ClockTest, APausedClockStandsStillAndGoesOnWhereItStood) {
    Player->StartClock(0);
    Clock.Advance(300);
    Player->PauseClock();
    Clock.Advance(1000);
    EXPECT_EQ(Player->GetCurrentPlayTime(), 300);
    Player->ResumeClock();
    EXPECT_EQ(Player->GetPlayTime(), 300);
    Clock.Advance(200);
    EXPECT_EQ(Player->GetCurrentPlayTime(), 500);
}

TEST_F(ClockTest, AStopWatchMadeWhileThePlayClockStandsMeasuresNothingUntilItGoesOn) {
    Player->StartClock(0);
    Player->PauseClock();
    TSlideShowPlayerStopWatch cached(Player.get());
    TRealTimeSlideShowPlayerStopWatch current(Player.get());
    Clock.Advance(400);
    EXPECT_EQ(cached.Elapsed(), 0);
    EXPECT_EQ(current.Elapsed(), 0);
    Player->ResumeClock();
    Clock.Advance(250);
    EXPECT_EQ(current.Elapsed(), 250);
    EXPECT_EQ(cached.Elapsed(), 250);  // the first reading after the resume
    Clock.Advance(100);
    EXPECT_EQ(cached.Elapsed(), 250);  // and it holds for the tick
}

TEST_F(ClockTest, TheMusicClockIsReadAgainAfterItResumes) {
    Player->StartMusicClock(0);
    Clock.Advance(400);
    Player->PauseMusicClock();
    Clock.Advance(600);
    Player->ResumeMusicClock();
    EXPECT_EQ(Player->GetMusicClockTime(), 400);
    Player->SetMusicClockTime(9000);
    EXPECT_EQ(Player->GetMusicClockTime(), 9000);
}

TEST_F(ClockTest, TheMusicTimeIsTheShowTimeOnlyWhenTheMusicFollowsTheShow) {
    TSlideShow show;
    auto* music = dynamic_cast<TMusicProperties*>(show.MusicProperties);
    ASSERT_NE(music, nullptr);
    Player->SetSlideShow(&show, false);
    Player->StartClock(1000);
    Player->StartMusicClock(7000);
    EXPECT_EQ(Player->GetMusicTime(), 7000);
    music->FollowShowTime = true;
    EXPECT_EQ(Player->GetMusicTime(), 1000);
    Player->SetSlideShow(nullptr, false);
}

TEST(PlayerTick, EveryObjectOfAFrameSeesTheSameTime) {
    TPlayerRig rig;
    TScriptedItem* a = rig.Add(5000);
    TScriptedItem* b = rig.Add(5000, kGreen32);
    b->Area = TRect{0, 0, 10, 10};
    b->SetStartTime(0);
    std::vector<int32_t> seen;
    a->OnPlay = [&](IPlayerServices* p, bool) {
        seen.push_back(p->GetPlayTime());
        rig.Clock.Advance(30);
        seen.push_back(p->GetPlayTime());
        seen.push_back(p->GetCurrentPlayTime());
    };
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], 0);
    EXPECT_EQ(seen[1], 0);
    EXPECT_EQ(seen[2], 30);
}

// ---- show and settings ----

class TCountedShow : public TSlideShow {
public:
    explicit TCountedShow(int* destroyed = nullptr) : Destroyed(destroyed) {}
    ~TCountedShow() override {
        if (Destroyed) ++*Destroyed;
    }
    int* Destroyed;
};

TEST(PlayerShow, ACopyIsThePlayersOwnAndAShowHandedOverIsNeverFreed) {
    PlayerTestPlugins();
    TManualTickCount clock;
    TInstalled<SetTickSource> installedClock(clock);
    int destroyed = 0;
    TCountedShow show(&destroyed);
    show.RootList().Add(new TDummySlideShowObject());
    {
        TPluginPtr<TSlideShowPlayer> player(new TSlideShowPlayer(nullptr));
        player->SetSlideShow(&show, true);
        EXPECT_TRUE(player->OwnsSlideShow);
        ASSERT_NE(player->SlideShow, &show);
        EXPECT_EQ(player->SlideShow->RootList().Count(), 1);
        player->SetSlideShow(nullptr, false);
        EXPECT_EQ(player->SlideShow, nullptr);
        EXPECT_FALSE(player->OwnsSlideShow);
        player->SetSlideShow(&show, false);
        EXPECT_EQ(player->SlideShow, &show);
        EXPECT_FALSE(player->OwnsSlideShow);
    }
    EXPECT_EQ(destroyed, 0);
}

TEST(PlayerShow, PlayingFromAnObjectOfTheGivenShowPlaysTheCopysObject) {
    TPlayerRig rig;
    rig.Add(2000);
    rig.Add(2000, kGreen32);
    TSlideShowObject* second = rig.Show.RootList()[1];
    rig.Host.PlayFromObject(&rig.Show, second, true);
    ASSERT_NE(rig.Player->SlideShow, &rig.Show);
    EXPECT_EQ(rig.Player->StartPosition, 2000);
    rig.Host.Tick();
    ASSERT_EQ(rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(rig.Player->PlayingObjects[0], rig.Player->SlideShow->RootList()[1]);
    EXPECT_TRUE(dynamic_cast<TScriptedItem*>(second)->Plays.empty());
}

TEST(PlayerShow, SettingsOfADerivedClassKeepOnlyThePlayersOwnFields) {
    PlayerTestPlugins();
    TPluginPtr<TSlideShowPlayer> player(new TSlideShowPlayer(nullptr));
    TStandardSlideShowPlayerProperties given;
    given.PreloadTime = 1234;
    given.ClientWidth = 640;
    given.StdValueA = 9;
    player->SetProperties(&given);
    EXPECT_EQ(&player->GetSettings()->ClassType(), &TSlideShowPlayerProperties::StaticClassInfo());
    EXPECT_EQ(player->GetSettings()->PreloadTime, 1234);
    EXPECT_EQ(player->GetSettings()->ClientWidth, 640);
    TSlideShowInfoProperties other;
    player->SetProperties(&other);
    EXPECT_EQ(player->GetSettings()->PreloadTime, 1234);
}

TEST(PlayerShow, APlayerThatNeverPlayedTouchesNoSoundAndNamesNoFile) {
    PlayerTestPlugins();
    TFakeSoundSystem sounds;
    {
        TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(&sounds));
        EXPECT_EQ(player->GetResolvedFileName(), "");
        EXPECT_EQ(player->GetFileCount(), 0);
        EXPECT_TRUE(player->GetFileNames().empty());
        EXPECT_TRUE(player->FontFiles.empty());
    }
    EXPECT_EQ(sounds.Objects.Clears + sounds.Music.Clears, 0);
    EXPECT_TRUE(sounds.Objects.Volumes.empty());
}

TEST(PlayerShow, TheCpuLoopIsRecordedWithItsOneMillisecondMinimum) {
    PlayerTestPlugins();
    TManualTickCount clock;
    TInstalled<SetTickSource> installedClock(clock);
    TPluginPtr<TSlideShowPlayer> player(new TSlideShowPlayer(nullptr));
    auto probe = TIntegerBenchmarkValue::CreateValue(BenchmarkDefaults::CPUKey);
    EXPECT_EQ(player->GetBenchmark().EstimateTime(BenchmarkNames::CPU, std::move(probe), -1), 1);
}

TEST(PlayerShow, LettingGoOfAPreparedShowResetsItWhileItExistsAndKeepsThePosition) {
    TPlayerRig rig;
    TScriptedItem* a = rig.Add(5000);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(1200);
    const int resets = a->Resets;
    rig.Host.Finish();
    rig.Player->SetSlideShow(nullptr, false);
    EXPECT_GT(a->Resets, resets);
    EXPECT_GT(a->Releases, 0);
    EXPECT_EQ(rig.Player->GetPlayTime(), 1200);
    EXPECT_TRUE(rig.Player->PlayingObjects.empty());
    EXPECT_EQ(rig.Player->ScheduleItems.Count(), 0);
}

// ---- window operations ----

TEST(PlayerWindow, APlayerWithoutAWindowClassDoesNotPlay) {
    TPlayerRig rig;
    TScriptedItem* a = rig.Add(1000);
    rig.Player->PlayInWindow(&rig.Show, false);
    rig.Player->PlayInWindowFromTime(&rig.Show, 500, false);
    EXPECT_EQ(rig.Player->SlideShow, nullptr);
    EXPECT_EQ(a->Starts, 0);
}

// A window that records what the player does with it and closes after some passes.
class TScriptedWindow : public IPlayerWindow {
public:
    void Setup(TSlideShowPlayer*, TSlideShow*, TSlideShowPlayerProperties*) override {
        Box.SetBounds(0, 0, 8, 6);
        Calls.push_back("Setup");
    }
    TWinPaintBox32* GetPaintBox() override { return &Box; }
    void PostMessage(const TMessage& m) override { Posted.push_back(m); }
    void SendMessage(TMessage& m) override { Posted.push_back(m); }
    void DrawFrameRate(const AnsiString&) override {}
    void SetOnMessageLoop(std::function<void()> step) override {
        Step = std::move(step);
        Calls.push_back("Loop");
    }
    void SetMessageHook(std::function<bool(TMessage&)> hook) override {
        Hook = std::move(hook);
        Calls.push_back("Hook");
    }
    int32_t RunModalLoop() override {
        Calls.push_back("Run");
        for (int i = 0; i < 3; ++i) Step();
        TMessage m{0, WM_PLAYER_STOP, 0, 0, 0};
        Hook(m);
        return 2;
    }
    TWinPaintBox32 Box;
    std::vector<std::string> Calls;
    std::vector<TMessage> Posted;
    std::function<void()> Step;
    std::function<bool(TMessage&)> Hook;
};

TEST(PlayerWindow, PlayInWindowSetsUpPreparesRunsAndLetsGoOfTheWindow) {
    PlayerTestPlugins();
    TManualTickCount clock;
    TInstalled<SetTickSource> installedClock(clock);
    TSlideShow show;
    auto* item = new TScriptedItem();
    item->SetDuration(1000);
    show.RootList().Add(item);
    std::vector<std::string> calls;
    std::vector<TMessage> posted;
    struct TPlayer : TRealTimeSlideShowPlayer {
        std::vector<std::string>* Calls;
        std::vector<TMessage>* Posted;
        std::unique_ptr<IPlayerWindow> CreateWindowForm() override {
            struct TWindow : TScriptedWindow {
                std::vector<std::string>* Calls;
                std::vector<TMessage>* Posted;
                ~TWindow() override {
                    *Calls = TScriptedWindow::Calls;
                    *Posted = TScriptedWindow::Posted;
                }
            };
            auto w = std::make_unique<TWindow>();
            w->Calls = Calls;
            w->Posted = Posted;
            return w;
        }
    };
    TPluginPtr<TPlayer> p(new TPlayer());
    p->Calls = &calls;
    p->Posted = &posted;
    p->PlayInWindow(&show, false);
    EXPECT_EQ(calls, (std::vector<std::string>{"Setup", "Loop", "Hook", "Run"}));
    EXPECT_EQ(p->Window, nullptr);
    EXPECT_GE(item->Plays.size(), 1u);
    ASSERT_EQ(posted.size(), 1u);  // the stop closes the window
    EXPECT_EQ(posted[0].Msg, WM_CLOSE);
    EXPECT_TRUE(p->Stopping);
    p->SetSlideShow(nullptr, false);
}

// ---- messages ----

struct MessageTest : ::testing::Test {
    TPlayerRig Rig;
    TScriptedItem* A = Rig.Add(10000);
    TScriptedItem* B = Rig.Add(40000, kGreen32);

    void SetUp() override {
        Rig.Host.Play(&Rig.Show);
        Rig.Host.RunFor(1000);
    }
    bool Send(UINT msg, WPARAM w = 0, LPARAM l = 0) {
        TMessage m{0, msg, w, l, 0};
        return Rig.Player->HandlePlayerMessage(m);
    }
};

TEST_F(MessageTest, PrivateMessagesPauseResumeAndStop) {
    EXPECT_TRUE(Send(WM_USER + 1));
    EXPECT_TRUE(Rig.Player->Paused);
    EXPECT_TRUE(Send(WM_USER + 2));
    EXPECT_FALSE(Rig.Player->Paused);
    for (UINT ignored : {WM_USER + 3, WM_USER + 4, WM_USER + 6, WM_USER + 7, WM_USER + 8, WM_USER + 9}) {
        EXPECT_TRUE(Send(ignored)) << ignored;
        EXPECT_FALSE(Rig.Player->Paused);
        EXPECT_FALSE(Rig.Player->Stopping);
    }
    EXPECT_FALSE(Send(WM_USER + 10));
    EXPECT_FALSE(Send(WM_PAINT));
    EXPECT_TRUE(Send(WM_USER + 5));
    EXPECT_TRUE(Rig.Player->Stopping);
    ASSERT_EQ(Rig.Host.PendingMessages().size(), 1u);
    EXPECT_EQ(Rig.Host.PendingMessages().front().Msg, WM_CLOSE);
    Rig.Host.Tick();
    EXPECT_TRUE(Rig.Host.Closed());
}

TEST_F(MessageTest, TheJumpMessageGoesToItsTimeAndPreparesFirstWhenAsked) {
    EXPECT_TRUE(Send(WM_USER + 16, 30000, 1));
    EXPECT_EQ(Rig.Player->GetPlayTime(), 30000);
    ASSERT_EQ(Rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(Rig.Player->PlayingObjects[0], B);
    EXPECT_TRUE(B->IsInitialized());
    Rig.Host.Tick();
    EXPECT_EQ(Rig.Pixel(3, 3), kGreen32);
}

TEST_F(MessageTest, ADamagedNegativeJumpTimeCountsAsZero) {
    EXPECT_TRUE(Send(WM_USER + 16, static_cast<WPARAM>(static_cast<uint32_t>(-5000)), 1));
    EXPECT_EQ(Rig.Player->GetPlayTime(), 0);
    ASSERT_EQ(Rig.Player->PlayingObjects.size(), 1u);
    EXPECT_EQ(Rig.Player->PlayingObjects[0], A);
}

TEST_F(MessageTest, EscapeAndAltF4EndTheShowAndEveryOtherKeyIsSwallowed) {
    struct TKey {
        WPARAM Key;
        bool Alt;
        bool Ends;
    };
    for (const TKey& k : {TKey{'A', false, false}, TKey{VK_F4, false, false}, TKey{VK_RETURN, true, false},
                          TKey{VK_ESCAPE, false, true}, TKey{VK_F4, true, true}}) {
        Rig.Player->Stopping = false;
        EXPECT_TRUE(Send(WM_KEYDOWN, k.Key, MakeKeyData(1, 0, k.Alt, false))) << k.Key;
        // The show's default end of a user stop closes the window.
        EXPECT_EQ(Rig.Player->Stopping, k.Ends) << k.Key;
    }
}

TEST_F(MessageTest, PostedMessagesReachTheWindowOnlyWhileOnePlays) {
    Rig.Player->PostPlayerMessage(TMessage{0, WM_USER + 1, 0, 0, 0});
    ASSERT_EQ(Rig.Host.PendingMessages().size(), 1u);
    Rig.Host.Tick();
    EXPECT_TRUE(Rig.Player->Paused);
    TMessage resume{0, WM_USER + 2, 0, 0, 0};
    Rig.Player->SendPlayerMessage(resume);
    EXPECT_FALSE(Rig.Player->Paused);
    Rig.Host.Finish();
    Rig.Player->PostPlayerMessage(TMessage{0, WM_USER + 1, 0, 0, 0});
    EXPECT_TRUE(Rig.Host.PendingMessages().empty());
}

// ---- fonts ----

TEST(PlayerFonts, AShowsFontsAreFoundByFamilyWhilePlayingAndGoneAfterThePlayer) {
    const std::filesystem::path face = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(face)) GTEST_SKIP() << "no DejaVu face";
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Fonts");
    std::filesystem::copy_file(face, dir.Path() / "Fonts" / "ShowFace.ttf");
    dir.Write("Fonts/readme.txt", "not a font");
    const std::string copy = (dir.Path() / "Fonts" / "ShowFace.ttf").string();
    TFontFile found;
    {
        TPlayerRig rig;
        rig.Add(1000);
        rig.Show.SetFileName(AnsiString(dir.Program()) + "show.kls");
        ASSERT_FALSE(FindAddedFont("DejaVu Sans", 0, found) && found.Path == copy);
        rig.Host.Play(&rig.Show);
        EXPECT_EQ(rig.Player->FontFiles.size(), 2u);
        ASSERT_TRUE(FindAddedFont("DejaVu Sans", 0, found));
        EXPECT_EQ(found.Path, copy);
        // The show ends and starts again: its fonts are taken back and added again.
        rig.Host.RunFor(1100);
        ASSERT_GT(rig.Player->GetPlayTime(), 0);
        ASSERT_LT(rig.Player->GetPlayTime(), 1000);
        ASSERT_TRUE(FindAddedFont("DejaVu Sans", 0, found));
        EXPECT_EQ(found.Path, copy);
    }
    EXPECT_FALSE(FindAddedFont("DejaVu Sans", 0, found) && found.Path == copy);
}

TEST(PlayerFonts, AShowWithoutAFileInstallsNoFonts) {
    TempDir dir;
    dir.Write("Fonts/x.ttf", "junk");
    TPlayerRig rig;
    rig.Add(1000);
    rig.Host.Play(&rig.Show);
    EXPECT_TRUE(rig.Player->FontFiles.empty());
}

// ---- registration ----

TEST(PlayerModule, BothPlayersAreRegisteredAndAStoredPlayerNameSurvivesAResave) {
    PlayerTestPlugins();
    EXPECT_EQ(SlideShowPlayerBaseClass(), &TSlideShowPlayer::StaticClassInfo());
    TSlideShowProperties written;
    EXPECT_EQ(written.PlayerClass, &TSlideShowPlayer::StaticClassInfo());
    written.PlayerClass = &TRealTimeSlideShowPlayer::StaticClassInfo();
    TMemoryStream m;
    ASSERT_TRUE(written.SaveToStream(m, ShowFileType, ShowFileVersion));
    m.SetPosition(0);
    TSlideShowProperties read;
    ASSERT_TRUE(read.LoadFromStream(m, ShowFileType, ShowFileVersion));
    EXPECT_EQ(read.PlayerClass, &TRealTimeSlideShowPlayer::StaticClassInfo());
}

}  // namespace
