// Sounds whose headers claim far more than the file holds, opened and played through the
// sound library: each costs little more than the file, whether it plays or is refused.
#include "limits/counting_allocator.h"
#include "media/FMODBinding.h"
#include "soundlib/SoundFixtures.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

constexpr int64_t kMB = 1 << 20;

class ClaimedSoundSizes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fmod.Load(LibraryPath())) << LibraryPath(); }
    void TearDown() override {
        if (fmod.FSOUND_Close) fmod.FSOUND_Close();
    }
    // The on-demand output: each update decodes and mixes one buffer.
    void Start(int mixRate) {
        ASSERT_TRUE(fmod.FSOUND_SetOutput(12));
        ASSERT_TRUE(fmod.FSOUND_Init(mixRate, 32, 0x80));
    }
    // Opens the file and mixes it to its end (a minute at most): whether it opened, and
    // the most the heap held meanwhile beyond what it held before.
    bool Play(const std::vector<uint8_t>& bytes, int64_t& cost) {
        const std::string path = dir.File("claim.wav");
        WriteFile(path, bytes);
        const int64_t before = heapcount::Held();
        heapcount::StartPeak();
        FSoundStream s = fmod.FSOUND_Stream_Open(path.c_str(), 0x131, 0, 0);
        if (s) {
            const int ch = fmod.FSOUND_Stream_Play(-1, s);
            for (int i = 0; i < 1200 && fmod.FSOUND_IsPlaying(ch); ++i) fmod.FSOUND_Update();
            fmod.FSOUND_Stream_Close(s);
        }
        cost = heapcount::Peak() - before;
        return s != nullptr;
    }

    TFMOD fmod;
    SoundTempDir dir;
};

TEST_F(ClaimedSoundSizes, AWavClaimingARateOrAChunkCostsLittle) {
    Start(44100);
    const struct {
        const char* Name;
        std::vector<uint8_t> Bytes;
        bool MayOpen;
    } cases[] = {
        {"1 Hz, 4,096 samples", WavClaimingRate(1, 4096), false},
        {"a rate of 2^31-1", WavClaimingRate(0x7FFFFFFFu, 4096), false},
        {"a LIST chunk whose INFO claims 2 GB", WavWithInfoClaiming2GB(), true},
    };
    // FFmpeg's loading and first open are paid once, not by a file.
    int64_t cost = 0;
    ASSERT_TRUE(Play(WavClaimingRate(8000, 4096), cost));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const bool opened = Play(c.Bytes, cost);
        if (!c.MayOpen) {
            EXPECT_FALSE(opened);
        }
        EXPECT_LE(cost, 64 * kMB) << cost / kMB << " MB for " << c.Bytes.size() << " bytes";
    }
}

// 60,000 samples at 1000 Hz in one block make one decoded frame of 11.5 million frames at
// 192 kHz (46 MB); it plays through a buffer of a few pieces.
TEST_F(ClaimedSoundSizes, ALongFrameAtALowRateResamplesInPieces) {
    Start(192000);
    int64_t cost = 0;
    ASSERT_TRUE(Play(WavClaimingRate(8000, 4096), cost));
    ASSERT_TRUE(Play(WavClaimingRate(1000, 60000, 60000), cost));
    EXPECT_LE(cost, 4 * kMB) << cost / kMB << " MB";
}

}  // namespace
