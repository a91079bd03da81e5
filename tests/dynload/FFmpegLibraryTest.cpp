#include "dynload/FFmpegLibrary.h"

#include <gtest/gtest.h>

namespace {

int ResolvedCount(const TFFmpegFunctions& f) {
    int n = 0;
#define GC_COUNT(part, name) n += f.name != nullptr;
    GC_FFMPEG_FUNCTIONS(GC_COUNT)
#undef GC_COUNT
    return n;
}

constexpr int kFunctionCount = 0
#define GC_ONE(part, name) +1
    GC_FFMPEG_FUNCTIONS(GC_ONE)
#undef GC_ONE
    ;

TEST(FFmpegLibrary, LoadsTheLibrariesOfItsHeadersAndResolvesEveryFunction) {
    const std::vector<std::string> names = FFmpegSonames();
    EXPECT_EQ(names[ffFormat], "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR));
    TFFmpegLibrary library;
    std::string error;
    ASSERT_TRUE(library.Load(names, error)) << error;
    EXPECT_EQ(ResolvedCount(library.Functions()), kFunctionCount);

    std::string sharedError;
    const TFFmpegFunctions* shared = FFmpeg(sharedError);
    ASSERT_NE(shared, nullptr) << sharedError;
    EXPECT_EQ(FFmpeg(sharedError), shared);
    EXPECT_EQ(shared->avformat_open_input, library.Functions().avformat_open_input);
}

TEST(FFmpegLibrary, AMissingLibraryOrFunctionFailsCleanlyAndSaysWhich) {
    struct TCase {
        TFFmpegPart Part;
        std::string Soname;
        std::string Named;
    };
    // The process's FFmpeg stays loaded meanwhile, as it does in the program: what the
    // failed loads open and close is then only counted, never unloaded.
    std::string sharedError;
    ASSERT_NE(FFmpeg(sharedError), nullptr) << sharedError;
    const TCase cases[] = {
        {ffFormat, "libavformat.so.9999", "libavformat.so.9999"},
        {ffResample, "libglowcanvas-none.so", "libglowcanvas-none.so"},
        // A library that loads but lacks the functions asked of it.
        {ffScale, FFmpegSonames()[ffUtil], "sws_getCachedContext"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Soname);
        std::vector<std::string> names = FFmpegSonames();
        names[c.Part] = c.Soname;
        TFFmpegLibrary library;
        std::string error;
        EXPECT_FALSE(library.Load(names, error));
        EXPECT_NE(error.find(c.Named), std::string::npos) << error;
        EXPECT_EQ(ResolvedCount(library.Functions()), 0);
    }
}

}  // namespace
