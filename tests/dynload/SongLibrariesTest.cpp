#include "dynload/SongLibraries.h"

#include <gtest/gtest.h>

namespace {

#define GC_COUNT(part, name) n += f.name != nullptr;
#define GC_ONE(part, name) +1

template <class TFunctions>
struct TTable;

template <>
struct TTable<TOpenMptFunctions> {
    static int Resolved(const TOpenMptFunctions& f) {
        int n = 0;
        GC_OPENMPT_FUNCTIONS(GC_COUNT)
        return n;
    }
    static constexpr int kCount = 0 GC_OPENMPT_FUNCTIONS(GC_ONE);
    static std::vector<std::string> Sonames() { return OpenMptSonames(); }
    static const TOpenMptFunctions* Shared(std::string& error) { return OpenMpt(error); }
    static constexpr const char* kPrefix = "libopenmpt.so.";
    static constexpr const char* kFirstFunction = "openmpt_probe_file_header";
};

template <>
struct TTable<TFluidSynthFunctions> {
    static int Resolved(const TFluidSynthFunctions& f) {
        int n = 0;
        GC_FLUIDSYNTH_FUNCTIONS(GC_COUNT)
        return n;
    }
    static constexpr int kCount = 0 GC_FLUIDSYNTH_FUNCTIONS(GC_ONE);
    static std::vector<std::string> Sonames() { return FluidSynthSonames(); }
    static const TFluidSynthFunctions* Shared(std::string& error) { return FluidSynth(error); }
    static constexpr const char* kPrefix = "libfluidsynth.so.";
    static constexpr const char* kFirstFunction = "fluid_set_log_function";
};
#undef GC_COUNT
#undef GC_ONE

template <class T>
class SongLibraries : public testing::Test {};
using TTables = testing::Types<TOpenMptFunctions, TFluidSynthFunctions>;
TYPED_TEST_SUITE(SongLibraries, TTables);

TYPED_TEST(SongLibraries, LoadTheLibraryTheBuildFoundAndResolveEveryFunction) {
    using T = TTable<TypeParam>;
    const std::vector<std::string> names = T::Sonames();
    ASSERT_EQ(names.size(), size_t{songPartCount});
    EXPECT_EQ(names[songLibrary].rfind(T::kPrefix, 0), 0u) << names[songLibrary];
    TDynamicTable<TypeParam> library;
    std::string error;
    ASSERT_TRUE(library.Load(names, error)) << error;
    EXPECT_EQ(T::Resolved(library.Functions()), T::kCount);

    std::string sharedError;
    const TypeParam* shared = T::Shared(sharedError);
    ASSERT_NE(shared, nullptr) << sharedError;
    EXPECT_EQ(T::Shared(sharedError), shared);
    EXPECT_EQ(T::Resolved(*shared), T::kCount);
}

TYPED_TEST(SongLibraries, AMissingLibraryOrFunctionFailsCleanlyAndSaysWhich) {
    using T = TTable<TypeParam>;
    // The process's copy stays loaded meanwhile, as it does in the sound library.
    std::string sharedError;
    ASSERT_NE(T::Shared(sharedError), nullptr) << sharedError;
    struct TCase {
        std::string Soname;
        std::string Named;
    };
    const TCase cases[] = {
        {"libglowcanvas-none.so", "libglowcanvas-none.so"},
        // A library that loads but lacks the functions asked of it.
        {"libz.so.1", T::kFirstFunction},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Soname);
        TDynamicTable<TypeParam> library;
        std::string error;
        EXPECT_FALSE(library.Load({c.Soname}, error));
        EXPECT_NE(error.find(c.Named), std::string::npos) << error;
        EXPECT_NE(error.find(TypeParam::kWhat), std::string::npos) << error;
        EXPECT_EQ(T::Resolved(library.Functions()), 0);
    }
}

}  // namespace
