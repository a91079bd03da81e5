#include "dynload/MagickLibrary.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

int ResolvedCount(const TMagickFunctions& f) {
    int n = 0;
#define GC_COUNT(part, name) n += f.name != nullptr;
    GC_MAGICK_FUNCTIONS(GC_COUNT)
#undef GC_COUNT
    return n;
}

constexpr int kFunctionCount = 0
#define GC_ONE(part, name) +1
    GC_MAGICK_FUNCTIONS(GC_ONE)
#undef GC_ONE
    ;

// The file a function was found in ends with the name asked for.
std::string FileOf(void* function) {
    Dl_info info{};
    return dladdr(function, &info) && info.dli_fname ? info.dli_fname : "";
}

TEST(MagickLibrary, LoadsTheLibrariesOfItsHeadersAndResolvesEveryFunction) {
    const std::vector<std::string> names = MagickSonames();
    TMagickLibrary library;
    std::string error;
    ASSERT_TRUE(library.Load(names, error)) << error;
    EXPECT_EQ(ResolvedCount(library.Functions()), kFunctionCount);
    const std::string core = FileOf(reinterpret_cast<void*>(library.Functions().BlobToImage));
    const std::string wand = FileOf(reinterpret_cast<void*>(library.Functions().MagickWandGenesis));
    EXPECT_EQ(core.substr(core.size() - std::min(core.size(), names[mgCore].size())), names[mgCore]);
    EXPECT_EQ(wand.substr(wand.size() - std::min(wand.size(), names[mgWand].size())), names[mgWand]);

    std::string sharedError;
    const TMagickFunctions* shared = ImageMagick(sharedError);
    ASSERT_NE(shared, nullptr) << sharedError;
    EXPECT_EQ(ImageMagick(sharedError), shared);
    EXPECT_EQ(shared->BlobToImage, library.Functions().BlobToImage);
}

TEST(MagickLibrary, AMissingLibraryOrFunctionFailsCleanlyAndSaysWhich) {
    struct TCase {
        TMagickPart Part;
        std::string Soname;
        std::string Named;
    };
    // The process's copy stays loaded meanwhile, as it does in the program.
    std::string sharedError;
    ASSERT_NE(ImageMagick(sharedError), nullptr) << sharedError;
    const TCase cases[] = {
        {mgWand, "libMagickWand-6.Q16.so.9999", "libMagickWand-6.Q16.so.9999"},
        {mgCore, "libglowcanvas-none.so", "libglowcanvas-none.so"},
        // A library that loads but lacks the functions asked of it.
        {mgWand, MagickSonames()[mgCore], "MagickWandGenesis"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Soname);
        std::vector<std::string> names = MagickSonames();
        names[c.Part] = c.Soname;
        TMagickLibrary library;
        std::string error;
        EXPECT_FALSE(library.Load(names, error));
        EXPECT_NE(error.find(c.Named), std::string::npos) << error;
        EXPECT_NE(error.find("ImageMagick"), std::string::npos) << error;
        EXPECT_EQ(ResolvedCount(library.Functions()), 0);
    }
}

}  // namespace
