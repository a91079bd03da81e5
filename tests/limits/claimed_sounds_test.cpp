// Sounds whose headers claim far more than the file holds, opened and played through the
// sound library: each costs little more than the file, whether it plays or is refused.
#include "graphics/picture_testsupport.h"
#include "limits/counting_allocator.h"
#include "media/FMODBinding.h"
#include "soundlib/SoundFixtures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

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

// The show builder's music check reads each as the sound library would: it refuses the
// rates, and holds little while it looks.
TEST(ClaimedSoundSizesInTheBuilder, AWavClaimingARateOrAChunkIsCheckedCheaply) {
    const std::string tool = (std::filesystem::path(LibraryPath()).parent_path().parent_path() / "tools" /
                              "glowcanvas-show").string();
    SoundTempDir dir;
    std::filesystem::create_directories(dir.File("bilder"));
    WriteFile(dir.File("bilder/1.png"), EncodePng(8, 8, [](int, int) { return Color32(200, 40, 40); }));
    const struct {
        const char* Name;
        std::vector<uint8_t> Bytes;
        bool MayPlay;
    } cases[] = {
        {"1 Hz, 4,096 samples", WavClaimingRate(1, 4096), false},
        {"a rate of 2^31-1", WavClaimingRate(0x7FFFFFFFu, 4096), false},
        {"a LIST chunk whose INFO claims 2 GB", WavWithInfoClaiming2GB(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string music = dir.File("bilder/musik.wav");
        WriteFile(music, c.Bytes);
        std::vector<std::string> args = {tool, "build", dir.File("bilder"), dir.File("bilder/Slideshow.kls"), "--music",
                                         music};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, tool.c_str(), &quiet, nullptr, argv.data(), environ), 0) << tool;
        posix_spawn_file_actions_destroy(&quiet);
        int status = 0;
        rusage usage{};
        ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
        ASSERT_TRUE(WIFEXITED(status));
        if (!c.MayPlay) {
            EXPECT_NE(WEXITSTATUS(status), 0) << "the builder took it as music";
        }
        EXPECT_LT(usage.ru_maxrss / 1024, 200) << usage.ru_maxrss / 1024 << " MB at the most";
    }
}

}  // namespace
