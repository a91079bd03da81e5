// Every table of libraries loaded on first use: it loads the libraries the build found,
// each function comes from the library it is listed under, the process's copy is one,
// and a missing library or function fails cleanly, says which and leaves every pointer
// null.
#include "dynload/FFmpegLibrary.h"
#include "dynload/GtkLibrary.h"
#include "dynload/MagickLibrary.h"
#include "dynload/SdlLibrary.h"
#include "dynload/SongLibraries.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

// One library's name replaced by Soname; the error must name Named.
struct TMissingCase {
    size_t Part;
    std::string Soname;
    std::string Named;
};

// The file a function was found in.
std::string FileOf(const void* function) {
    Dl_info info{};
    return dladdr(function, &info) && info.dli_fname ? info.dli_fname : "";
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

template <class TFunctions>
struct TTable;

#define GC_COUNT_SET(part, name) +int(f.name != nullptr)
#define GC_COUNT_ALL(part, name) +1
#define GC_CHECK_FILE(part, name) \
    EXPECT_TRUE(EndsWith(FileOf(reinterpret_cast<const void*>(f.name)), names[part])) << #name;
#define GC_TABLE(TFunctions, LIST, SONAMES, SHARED)                                                        \
    template <>                                                                                            \
    struct TTable<TFunctions> {                                                                            \
        static int Resolved(const TFunctions& f) { return 0 LIST(GC_COUNT_SET); }                         \
        static constexpr int kCount = 0 LIST(GC_COUNT_ALL);                                                \
        static void ExpectEachFromItsLibrary(const TFunctions& f, const std::vector<std::string>& names) { \
            LIST(GC_CHECK_FILE)                                                                            \
        }                                                                                                  \
        static std::vector<std::string> Sonames() { return SONAMES(); }                                   \
        static const TFunctions* Shared(std::string& error) { return SHARED(error); }                     \
        static std::vector<TMissingCase> Missing();                                                        \
    }
GC_TABLE(TFFmpegFunctions, GC_FFMPEG_FUNCTIONS, FFmpegSonames, FFmpeg);
GC_TABLE(TGtkFunctions, GC_GTK_FUNCTIONS, GtkSonames, Gtk);
GC_TABLE(TMagickFunctions, GC_MAGICK_FUNCTIONS, MagickSonames, ImageMagick);
GC_TABLE(TOpenMptFunctions, GC_OPENMPT_FUNCTIONS, OpenMptSonames, OpenMpt);
GC_TABLE(TFluidSynthFunctions, GC_FLUIDSYNTH_FUNCTIONS, FluidSynthSonames, FluidSynth);
GC_TABLE(TSdlFunctions, GC_SDL_FUNCTIONS, SdlSonames, Sdl);

// Each: a library that does not exist, and one that loads but lacks the functions asked
// of it; with several libraries also one of a version that does not exist.
std::vector<TMissingCase> TTable<TFFmpegFunctions>::Missing() {
    return {{ffFormat, "libavformat.so.9999", "libavformat.so.9999"},
            {ffResample, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            {ffScale, FFmpegSonames()[ffUtil], "sws_getCachedContext"}};
}
std::vector<TMissingCase> TTable<TGtkFunctions>::Missing() {
    return {{gtkGtk, "libgtk-9999.so.0", "libgtk-9999.so.0"},
            {gtkGObject, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            {gtkGdk, GtkSonames()[gtkGLib], "gdk_display_get_default"}};
}
std::vector<TMissingCase> TTable<TMagickFunctions>::Missing() {
    return {{mgWand, "libMagickWand-6.Q16.so.9999", "libMagickWand-6.Q16.so.9999"},
            {mgCore, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            {mgWand, MagickSonames()[mgCore], "MagickWandGenesis"}};
}
std::vector<TMissingCase> TTable<TOpenMptFunctions>::Missing() {
    return {{songLibrary, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            {songLibrary, "libz.so.1", "openmpt_probe_file_header"}};
}
std::vector<TMissingCase> TTable<TFluidSynthFunctions>::Missing() {
    return {{songLibrary, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            {songLibrary, "libz.so.1", "fluid_set_log_function"}};
}
std::vector<TMissingCase> TTable<TSdlFunctions>::Missing() {
    return {{sdlLibrary, "libSDL9999-2.0.so.0", "libSDL9999-2.0.so.0"},
            {sdlLibrary, "libz.so.1", "SDL_GetError"}};
}

template <class T>
class LibraryTable : public testing::Test {};
using TTables =
    testing::Types<TFFmpegFunctions, TGtkFunctions, TMagickFunctions, TOpenMptFunctions, TFluidSynthFunctions,
                   TSdlFunctions>;
TYPED_TEST_SUITE(LibraryTable, TTables);

// Loading asks nothing of a display or a sound card.
TYPED_TEST(LibraryTable, LoadsTheLibrariesTheBuildFoundAndResolvesEveryFunctionFromItsOwn) {
    using T = TTable<TypeParam>;
    const std::vector<std::string> names = T::Sonames();
    TDynamicTable<TypeParam> library;
    std::string error;
    ASSERT_TRUE(library.Load(names, error)) << error;
    EXPECT_EQ(T::Resolved(library.Functions()), T::kCount);
    T::ExpectEachFromItsLibrary(library.Functions(), names);

    std::string sharedError;
    const TypeParam* shared = T::Shared(sharedError);
    ASSERT_NE(shared, nullptr) << sharedError;
    EXPECT_EQ(T::Shared(sharedError), shared);
    EXPECT_EQ(T::Resolved(*shared), T::kCount);
}

TYPED_TEST(LibraryTable, AMissingLibraryOrFunctionFailsCleanlyAndSaysWhich) {
    using T = TTable<TypeParam>;
    // The process's copy stays loaded meanwhile, as it does in the program: what the
    // failed loads open and close is then only counted, never unloaded.
    std::string sharedError;
    ASSERT_NE(T::Shared(sharedError), nullptr) << sharedError;
    for (const TMissingCase& c : T::Missing()) {
        SCOPED_TRACE(c.Soname);
        std::vector<std::string> names = T::Sonames();
        names[c.Part] = c.Soname;
        TDynamicTable<TypeParam> library;
        std::string error;
        EXPECT_FALSE(library.Load(names, error));
        EXPECT_NE(error.find(c.Named), std::string::npos) << error;
        EXPECT_EQ(error.rfind(TypeParam::kWhat, 0), 0u) << error;
        EXPECT_EQ(T::Resolved(library.Functions()), 0);
    }
}

}  // namespace
