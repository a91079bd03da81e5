#include "ShellTestSupport.h"
#include "platform/Registry.h"
#include "shell/ScreenSaverTools.h"

#include <gtest/gtest.h>

namespace {

// What the fake libraries' entry points saw.
struct Calls {
    int changes = 0;
    AnsiString provider;
    HWND changeWindow = 0;
    int verifies = 0;
    HWND verifyWindow = 0;
    int32_t verifyAnswer = 1;
} g_calls;

uint32_t FakeChange(const char* provider, HWND window, uint32_t, void*) {
    ++g_calls.changes;
    g_calls.provider = provider;
    g_calls.changeWindow = window;
    return 0;
}

int32_t FakeVerify(HWND window) {
    ++g_calls.verifies;
    g_calls.verifyWindow = window;
    return g_calls.verifyAnswer;
}

class NinetyFive : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls = Calls{};
        fake.NT = false;
        fake.SystemDir = "C:\\WINDOWS\\SYSTEM";
        fake.Foreground = 77;
        fake.Libraries["C:\\WINDOWS\\SYSTEM\\MPR.DLL"]["PwdChangePasswordA"] = reinterpret_cast<void*>(&FakeChange);
        fake.Libraries["C:\\WINDOWS\\SYSTEM\\PASSWORD.CPL"]["VerifyScreenSavePwd"] = reinterpret_cast<void*>(&FakeVerify);
        SetScreenSaverSystem(&fake);
    }
    void TearDown() override { SetScreenSaverSystem(nullptr); }

    void SetUsePassword(int32_t value) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Control Panel\\desktop", true));
        reg.WriteInteger("ScreenSaveUsePassword", value);
    }

    TestRegistry registry;
    TFakeScreenSaverSystem fake;
};

}  // namespace

TEST_F(NinetyFive, NTFamilyLeavesEverythingAlone) {
    fake.NT = true;
    SetUsePassword(1);
    SetScreenSaverRunning(true);
    ChangeScreenSaverPassword(0);
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
    EXPECT_TRUE(fake.ParameterCalls.empty());
    EXPECT_TRUE(fake.LoadedPaths.empty());

    // And the real system is the NT family.
    SetScreenSaverSystem(nullptr);
    EXPECT_TRUE(ScreenSaverSystem().IsNTFamily());
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
}

TEST_F(NinetyFive, RunningFlagGoesToTheSystemParameter) {
    SetScreenSaverRunning(true);
    SetScreenSaverRunning(false);
    ASSERT_EQ(fake.ParameterCalls.size(), 2u);
    EXPECT_EQ(fake.ParameterCalls[0].Action, 97u);
    EXPECT_EQ(fake.ParameterCalls[0].Param, 1u);
    EXPECT_TRUE(fake.ParameterCalls[0].HadData);
    EXPECT_EQ(fake.ParameterCalls[0].WinIni, 0u);
    EXPECT_EQ(fake.ParameterCalls[1].Param, 0u);
}

TEST_F(NinetyFive, PasswordChangeCallsTheProviderWithTheForegroundWindow) {
    ChangeScreenSaverPassword(0);
    EXPECT_EQ(fake.LoadedPaths, std::vector<AnsiString>{"C:\\WINDOWS\\SYSTEM\\MPR.DLL"});
    EXPECT_EQ(g_calls.changes, 1);
    EXPECT_EQ(g_calls.provider, "SCRSAVE");
    EXPECT_EQ(g_calls.changeWindow, 77u);
    EXPECT_EQ(fake.FreeCount, 1);

    ChangeScreenSaverPassword(5);
    EXPECT_EQ(g_calls.changeWindow, 5u);

    // A system folder that already ends in a backslash gets none added; a missing
    // library or entry point does nothing.
    fake.SystemDir = "C:\\OTHER\\";
    ChangeScreenSaverPassword(0);
    EXPECT_EQ(fake.LoadedPaths.back(), "C:\\OTHER\\MPR.DLL");
    fake.Libraries["C:\\OTHER\\MPR.DLL"];
    ChangeScreenSaverPassword(0);
    EXPECT_EQ(g_calls.changes, 2);
    EXPECT_EQ(fake.FreeCount, 3);
}

TEST_F(NinetyFive, VerifyAsksTheControlPanelOnlyWhenAPasswordIsSet) {
    // No key, then a value of 0: no password.
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
    SetUsePassword(0);
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
    EXPECT_TRUE(fake.LoadedPaths.empty());

    SetUsePassword(1);
    g_calls.verifyAnswer = 0;
    EXPECT_FALSE(VerifyScreenSaverPassword(0));
    EXPECT_EQ(g_calls.verifyWindow, 77u);
    g_calls.verifyAnswer = 1;
    EXPECT_TRUE(VerifyScreenSaverPassword(9));
    EXPECT_EQ(g_calls.verifyWindow, 9u);
    EXPECT_EQ(fake.FreeCount, 2);

    // Without the entry point or the library the check passes.
    fake.Libraries["C:\\WINDOWS\\SYSTEM\\PASSWORD.CPL"].clear();
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
    fake.Libraries.clear();
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
    EXPECT_EQ(g_calls.verifies, 2);
}

TEST_F(NinetyFive, VerifyPassesWhenTheFlagIsNoInteger) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Control Panel\\desktop", true));
    reg.WriteString("ScreenSaveUsePassword", "1");
    EXPECT_TRUE(VerifyScreenSaverPassword(0));
    EXPECT_EQ(g_calls.verifies, 0);
}
