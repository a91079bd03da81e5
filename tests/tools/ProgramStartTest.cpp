// The program's start: the libraries only some runs need are loaded, not linked, and a
// run that ends at once ends cleanly while SDL is still loading on its own thread.
#include "ToolRunSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Program() { return (ShowTool().parent_path() / "glowcanvas").string(); }

TEST(ProgramStart, LinksNoneOfTheLibrariesLoadedOnFirstUse) {
    const ToolRun dynamic = RunCommand("readelf -d " + Q(Program()));
    ASSERT_EQ(dynamic.status, 0);
    ASSERT_NE(dynamic.out.find("(NEEDED)"), std::string::npos) << dynamic.out;
    for (const char* library : {"libSDL2", "libgtk-", "libMagick", "libavformat", "libfluidsynth", "libopenmpt"})
        EXPECT_EQ(dynamic.out.find(library), std::string::npos) << library << " is linked";
}

TEST(ProgramStart, ARunThatEndsAtOnceEndsCleanlyEveryTime) {
    // "/x" ends before SDL is mapped: the loading thread must neither crash the exit nor
    // hold it up.
    for (int run = 0; run < 20; ++run) {
        const ToolRun r = RunCommand("SDL_VIDEODRIVER=offscreen timeout 10 " + Q(Program()) + " /x 2>&1");
        ASSERT_EQ(r.status, 0) << "run " << run << ": " << r.out;
    }
}

}  // namespace
