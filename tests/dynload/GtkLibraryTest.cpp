#include "dynload/DynloadTestSupport.h"
#include "dynload/GtkLibrary.h"

#include <gtest/gtest.h>

namespace {

int Resolved(const TGtkFunctions& functions) { return 0 GC_GTK_FUNCTIONS(GC_DYNLOAD_COUNT_SET); }
constexpr int kFunctionCount = 0 GC_GTK_FUNCTIONS(GC_DYNLOAD_COUNT_ALL);

// Loading asks nothing of a display: only gtk_init_check would.
TEST(GtkLibrary, LoadsGtk3AndItsGLibAndResolvesEveryFunction) {
    std::string sharedError;
    const TGtkFunctions* shared = Gtk(sharedError);
    ASSERT_NE(shared, nullptr) << sharedError;
    EXPECT_EQ(Gtk(sharedError), shared);

    const std::vector<std::string> names = GtkSonames();
    EXPECT_EQ(names[gtkGtk], "libgtk-3.so.0");
    TGtkLibrary library;
    std::string error;
    ASSERT_TRUE(library.Load(names, error)) << error;
    EXPECT_EQ(Resolved(library.Functions()), kFunctionCount);
    EXPECT_EQ(shared->g_signal_connect_data, library.Functions().g_signal_connect_data);
}

TEST(GtkLibrary, AMissingLibraryOrFunctionFailsCleanlyAndSaysWhich) {
    // GTK stays loaded meanwhile, as it does in the program once a box showed: it cannot
    // be unloaded, so the failed loads only count it up and down.
    std::string sharedError;
    ASSERT_NE(Gtk(sharedError), nullptr) << sharedError;
    ExpectEachMissingFailsCleanly<TGtkFunctions>(
        GtkSonames(),
        {
            {gtkGtk, "libgtk-9999.so.0", "GTK library libgtk-9999.so.0"},
            {gtkGObject, "libglowcanvas-none.so", "libglowcanvas-none.so"},
            // A library that loads but lacks the functions asked of it.
            {gtkGdk, GtkSonames()[gtkGLib], "gdk_display_get_default is missing"},
        },
        Resolved);
}

}  // namespace
