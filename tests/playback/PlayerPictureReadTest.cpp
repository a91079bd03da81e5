// A picture that is read while the show plays is read on the player's helper thread: the
// tick that asks for the read goes on, the read's end wakes the loop and the next pass takes
// the picture up; a picture due while its read runs waits for it; the end of a run neither
// waits for a read under way nor keeps what it read. The read is held at a gate (a
// decipher that serves the package's pictures) that the test opens, on the driven clock
// with a host that ticks only when the player's wait is over.
#include "PlayerTestSupport.h"

#include "objects/BaseBitmapSlideShowObject.h"
#include "objects/PicSlideShowObject.h"
#include "platform/Stream.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Serves every picture from memory as a PNG; the gated one waits at the gate until the
// test opens it (or 2 s have passed, so that a read on the tick's own thread ends).
class TGatedDecipher : public IPictureDecipher {
public:
    bool IsEnciphered(const AnsiString&) override { return true; }
    AnsiString GetStoredFileName(const AnsiString&) override { return "bild.png"; }
    std::unique_ptr<TStream> OpenPicture(const AnsiString& name) override {
        if (name == Gated) {
            std::unique_lock<std::mutex> guard(lock_);
            Entered = true;
            Reader = std::this_thread::get_id();
            changed_.notify_all();
            changed_.wait_for(guard, 2s, [this] { return open_; });
            Left = true;
            changed_.notify_all();
        }
        return std::make_unique<TMemoryStream>(Pictures.at(name));
    }
    void Open() {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits (at most 5 s) until the gated read has come to the gate, or has left it.
    bool AwaitEntered() { return Await([this] { return Entered; }); }
    bool AwaitLeft() { return Await([this] { return Left; }); }
    bool HasLeft() {
        std::lock_guard<std::mutex> guard(lock_);
        return Left;
    }
    std::thread::id ReaderThread() {
        std::lock_guard<std::mutex> guard(lock_);
        return Reader;
    }

    AnsiString Gated;
    std::map<AnsiString, std::vector<uint8_t>> Pictures;

private:
    template <class TPredicate>
    bool Await(TPredicate done) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, 5s, done);
    }
    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = false;
    bool Entered = false;
    bool Left = false;
    std::thread::id Reader;
};

// Two pictures of 2 s, red then green, the green one read at the gate; each is prepared
// while the one before shows.
struct PictureReadTest : ::testing::Test {
    PictureReadTest() {
        Rig.Settings().PreloadTime = 0;
        Rig.Host.Strict = true;
        Red = AddPicture("rot.dat", kRed32);
        Green = AddPicture("gruen.dat", kGreen32);
        Decipher.Gated = Green->GetResolvedFileName();
        Rig.Host.OnTick = [this] {
            if (GreenFrom < 0 && Rig.Pixel(1, 1) == kGreen32) GreenFrom = Rig.Host.LastTickStart() - ShowStart;
        };
    }
    ~PictureReadTest() override { Decipher.Open(); }

    TExtPicSlideShowObject* AddPicture(const std::string& name, TColor32 color) {
        const std::string file = (Dir.Path() / name).string();
        WriteFileBytes(file, {1});  // the package's item: it must exist to be resolved
        auto* item = new TExtPicSlideShowObject();
        item->FileName = AnsiString(file);
        item->Transition.reset();
        item->SetDuration(2000);
        Rig.Show.RootList().Add(item);
        Decipher.Pictures[item->GetResolvedFileName()] = EncodePng(8, 6, [&](int, int) { return color; });
        return item;
    }
    void Play() {
        Rig.Host.Play(&Rig.Show);
        ShowStart = Rig.Host.Elapsed();
    }
    // Waits (at most 5 s of real time) until something is posted to the loop.
    bool AwaitWake() {
        for (int k = 0; k < 2500; ++k) {
            if (!Rig.Host.PendingMessages().empty()) return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    TempDir Dir;
    TGatedDecipher Decipher;
    TInstalled<SetPictureDecipher> Installed{Decipher};
    TPlayerRig Rig;
    TExtPicSlideShowObject* Red = nullptr;
    TExtPicSlideShowObject* Green = nullptr;
    int64_t ShowStart = 0;
    int64_t GreenFrom = -1;  // show time of the first tick that showed green
};

TEST_F(PictureReadTest, TheTickThatAsksForAReadGoesOnAndTheReadsEndWakesTheLoop) {
    Play();
    Rig.Host.RunFor(100);
    ASSERT_TRUE(Decipher.AwaitEntered());
    EXPECT_NE(Decipher.ReaderThread(), std::this_thread::get_id());
    // The ticks went on while the read waits at the gate.
    EXPECT_FALSE(Decipher.HasLeft());
    EXPECT_FALSE(Green->IsInitialized());
    EXPECT_EQ(Rig.Pixel(1, 1), kRed32);
    // Nothing else is due for a while: the loop sleeps on and does not look for the read.
    EXPECT_GT(Rig.Player->TimeToNextTick(), Rig.Host.FrameStep);

    Decipher.Open();
    // The end of the read ends the wait: the next pass comes at once, on the driven clock
    // without a moment passing.
    ASSERT_TRUE(AwaitWake());
    const int64_t woken = Rig.Now();
    Rig.Host.RunFor(0);
    EXPECT_TRUE(Green->IsInitialized());
    EXPECT_EQ(Rig.Now(), woken);
    EXPECT_EQ(Rig.Pixel(1, 1), kRed32);
    Rig.Host.RunFor(2100 - Rig.Now());
    EXPECT_EQ(GreenFrom, 2000);
}

TEST_F(PictureReadTest, APictureDueWhileItsReadRunsWaitsForItAndShowsAtItsStart) {
    Play();
    Rig.Host.RunFor(100);
    ASSERT_TRUE(Decipher.AwaitEntered());
    // The gate opens while the loop runs on towards the green picture's start, which the
    // driven clock reaches long before: the first tick from the start waits for the read
    // and prepares the picture whole before its frame, as a render at any time must find it.
    std::thread opener([this] {
        std::this_thread::sleep_for(300ms);
        Decipher.Open();
    });
    Rig.Host.RunFor(2100);
    opener.join();
    // The first tick at or after the start.
    EXPECT_GE(GreenFrom, 2000);
    EXPECT_LT(GreenFrom, 2000 + Rig.Host.FrameStep);
    EXPECT_EQ(Rig.Pixel(1, 1), kGreen32);
}

TEST_F(PictureReadTest, TheEndOfARunNeitherWaitsForAReadUnderWayNorKeepsIt) {
    Play();
    Rig.Host.RunFor(100);
    ASSERT_TRUE(Decipher.AwaitEntered());
    Rig.Host.Finish();
    Rig.Player->SetSlideShow(nullptr, false);
    EXPECT_FALSE(Decipher.HasLeft());
    EXPECT_EQ(Green->Picture, nullptr);
    EXPECT_EQ(Green->Bitmap, nullptr);
    // The helper ends the read on its own; the player lets go of its thread when it goes.
    Decipher.Open();
    ASSERT_TRUE(Decipher.AwaitLeft());
    EXPECT_EQ(Green->Picture, nullptr);
}

}  // namespace
