// Every shell test runs with the program's modules started, as the program does.
#include "shell/ScreenSaverMain.h"

#include <gtest/gtest.h>

namespace {

class ShellEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitializeScreenSaverModules(); }
    void TearDown() override { FinalizeScreenSaverModules(); }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

}  // namespace
