// Background music whose files open off the player's thread, with our sound library
// (dummy audio driver) on the driven clock: a web address that never answers, first in
// the play list, holds no tick, is asked for once in the run, and the song after it
// plays; a run's end stops an open under way at once.
#include "DeadServer.h"
#include "MusicShow.h"
#include "PlayerTestSupport.h"

#include "media/SlideShowSoundSystem.h"
#include "playback/BackgroundMusic.h"
#include "playback/MusicOpener.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class MusicOpenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("GC_TEST_WALL_CLOCK"))
            GTEST_SKIP() << "timed on the wall clock: runs alone (ctest Playback.MusicOpensOffThePlayersThread)";
    }
    MusicOpenerTest() {
        PlayerTestPlugins();
        soundtest::WriteSine((dir.Path() / "song.wav").string(), 22050, 1.0, 440.0, 8000);
        InitSoundSystem({.ForceNew = true, .FmodPath = soundtest::LibraryPath()});
    }
    ~MusicOpenerTest() override { ShutdownSoundSystem(true); }

    TempDir dir;
    TDeadServer server;
};

TEST_F(MusicOpenerTest, ADeadAddressFirstHoldsNoTickIsAskedForOnceAndTheNextSongPlays) {
    ASSERT_NE(server.Port, 0);
    ASSERT_NE(CurrentSoundSystem(), nullptr);
    {
        TPlayerRig rig(CurrentSoundSystem());
        rig.PlayWithMusic(AnsiString(server.Address("stille.mp3")));
        auto& music = *dynamic_cast<TMusicProperties*>(rig.Show.MusicProperties);
        auto song = std::make_unique<TMusicPlayListItem>();
        song->FileName = AnsiString(dir.Program()) + "song.wav";
        TMusicPlayListItem* next = song.get();
        music.PlayList->Add(std::move(song));
        rig.Add(60000);
        rig.Host.Play(&rig.Show);
        // Ticks every 20 ms of real time: none waits for the address, which the opener
        // gives up after its deadline of 5 s.
        long slowest = 0;
        bool played = false;
        const auto start = Clock::now();
        while (!played && MsSince(start) < 12000) {
            const auto tick = Clock::now();
            rig.Host.RunFor(20);
            slowest = std::max(slowest, MsSince(tick));
            played = next->GetSound() && next->GetSound()->IsPlaying();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(played) << "the song after the dead address did not play";
        EXPECT_LT(slowest, 250) << "a tick waited for the address";
        // The first item counts as none: the song starts one gap into the pass.
        EXPECT_EQ(MusicRuntimeData(music.PlayList->Item(0))->ItemStart, -1);
        EXPECT_EQ(MusicRuntimeData(next)->ItemStart, 1000);
        // Several passes (2 s each): the address is not asked for again.
        const int accepted = server.Accepted.load();
        for (int i = 0; i < 100; ++i) {
            rig.Host.RunFor(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(accepted, 1);
        EXPECT_EQ(server.Accepted.load(), accepted);
        rig.Host.Finish();
    }
}

// The opener's answer lands between a tick and the loop's question for its wait (the
// question lays the play list out when the measure is in): the loop still wakes for the
// song that is due, which then starts at the show's start, not at the next picture.
TEST_F(MusicOpenerTest, AnAnswerArrivingBetweenTicksStillWakesTheLoop) {
    ASSERT_NE(CurrentSoundSystem(), nullptr);
    TPlayerRig rig(CurrentSoundSystem());
    rig.PlayWithMusic(AnsiString(dir.Program()) + "song.wav");
    auto& music = *dynamic_cast<TMusicProperties*>(rig.Show.MusicProperties);
    TMusicPlayListItem* song = music.PlayList->Item(0);
    rig.Add(60000);
    rig.Host.Strict = true;
    rig.Host.Play(&rig.Show);
    rig.Host.Tick();
    TMusicOpener* opener = rig.Player->MusicOpener();
    ASSERT_NE(opener, nullptr);
    for (int step = 0; step < 20 && !(song->GetSound() && song->GetSound()->IsPlaying()); ++step) {
        ASSERT_TRUE(opener->WaitUntilAnswered(5000));
        const int32_t wait = rig.Player->TimeToNextTick();
        ASSERT_GE(wait, 0);
        ASSERT_LE(wait, 50) << "at show time " << rig.Now();
        rig.Host.RunFor(wait + 1);
    }
    ASSERT_TRUE(song->GetSound() && song->GetSound()->IsPlaying());
    EXPECT_LT(rig.Now(), 500);
    rig.Host.Finish();
}

TEST_F(MusicOpenerTest, CancelStopsAnOpenUnderWayAndForgetsNothingItFailed) {
    TMusicOpener opener;
    int key = 0;
    opener.Ask(&key, TMusicOpener::TKind::Open, AnsiString(server.Address("a.mp3")));
    while (server.Accepted.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(opener.Waiting(&key, TMusicOpener::TKind::Open));
    const auto cancel = Clock::now();
    opener.Cancel();
    EXPECT_LT(MsSince(cancel), 500);
    EXPECT_FALSE(opener.Busy());
    // Stopped is not failed: the address may be asked for again.
    EXPECT_FALSE(opener.Failed(AnsiString(server.Address("a.mp3"))));
    // A file that is not there fails, and is remembered.
    const AnsiString missing = AnsiString(dir.Program()) + "fehlt.wav";
    opener.Ask(&key, TMusicOpener::TKind::Measure, missing);
    ASSERT_TRUE(opener.WaitUntilAnswered(5000));
    std::vector<TMusicOpener::TAnswer> answers = opener.TakeAnswers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].Length, -1);
    EXPECT_TRUE(opener.Failed(missing));
    // A song is measured.
    opener.Ask(&key, TMusicOpener::TKind::Measure, AnsiString(dir.Program()) + "song.wav");
    ASSERT_TRUE(opener.WaitUntilAnswered(5000));
    answers = opener.TakeAnswers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].Length, 1000);
}

}  // namespace
