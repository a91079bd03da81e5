#include "dynload/DynloadTestSupport.h"
#include "dynload/FFmpegLibrary.h"

#include <gtest/gtest.h>

namespace {

int Resolved(const TFFmpegFunctions& functions) { return 0 GC_FFMPEG_FUNCTIONS(GC_DYNLOAD_COUNT_SET); }
constexpr int kFunctionCount = 0 GC_FFMPEG_FUNCTIONS(GC_DYNLOAD_COUNT_ALL);

TEST(FFmpegLibrary, LoadsTheLibrariesOfItsHeadersAndResolvesEveryFunction) {
    const std::vector<std::string> names = FFmpegSonames();
    EXPECT_EQ(names[ffFormat], "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR));
    TFFmpegLibrary library;
    std::string error;
    ASSERT_TRUE(library.Load(names, error)) << error;
    EXPECT_EQ(Resolved(library.Functions()), kFunctionCount);

    std::string sharedError;
    const TFFmpegFunctions* shared = FFmpeg(sharedError);
    ASSERT_NE(shared, nullptr) << sharedError;
    EXPECT_EQ(FFmpeg(sharedError), shared);
    EXPECT_EQ(shared->avformat_open_input, library.Functions().avformat_open_input);
}

TEST(FFmpegLibrary, AMissingLibraryOrFunctionFailsCleanlyAndSaysWhich) {
    // The process's FFmpeg stays loaded meanwhile, as it does in the program: what the
    // failed loads open and close is then only counted, never unloaded.
    std::string sharedError;
    ASSERT_NE(FFmpeg(sharedError), nullptr) << sharedError;
    ExpectEachMissingFailsCleanly<TFFmpegFunctions>(
        FFmpegSonames(),
        {
            {ffFormat, "libavformat.so.9999", "libavformat.so.9999"},
            {ffResample, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            // A library that loads but lacks the functions asked of it.
            {ffScale, FFmpegSonames()[ffUtil], "sws_getCachedContext"},
        },
        Resolved);
}

}  // namespace
