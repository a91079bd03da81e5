#include "platform/DebugOutput.h"
#include "platform/Shell.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(Shell, SplitsLikeAWindowsCommandLine) {
    using V = std::vector<AnsiString>;
    EXPECT_EQ(SplitCommandLine(""), V{});
    EXPECT_EQ(SplitCommandLine("  a  b\tc "), (V{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("\"two words\" x\"y z\"w"), (V{"two words", "xy zw"}));
    EXPECT_EQ(SplitCommandLine("a\\\"b c\\\\\"d e\" f\\g"), (V{"a\"b", "c\\d e", "f\\g"}));
    EXPECT_EQ(SplitCommandLine("\"\""), (V{""}));
}

TEST(Shell, AddressesAndDrives) {
    EXPECT_TRUE(IsAddress("http://x"));
    EXPECT_TRUE(IsAddress("mailto:a@b"));
    EXPECT_TRUE(IsAddress("HTTPS://X"));
    EXPECT_FALSE(IsAddress("C:\\Programme\\x.exe"));
    EXPECT_FALSE(IsAddress("relative\\file.txt"));
    EXPECT_FALSE(IsAddress("1a:b"));
}

TEST(Shell, RequestsGoToTheSystemWithoutAShell) {
    TFakeShellSystem shell;
    TInstalled<SetShellSystem> installed(shell);
    TempDir dir;
    const std::string doc = dir / "Brief.txt";
    WriteFileBytes(doc, {'x'});
    EXPECT_TRUE(ShellExecute("", "http://example.org/?a=1;rm -rf", "", SW_SHOWNORMAL));
    EXPECT_EQ(shell.Calls.back(), (std::vector<std::string>{"xdg-open", "http://example.org/?a=1;rm -rf"}));
    // A document that is not executable opens with the desktop's opener.
    EXPECT_TRUE(ShellExecute("", doc, "ignored", SW_SHOWNORMAL));
    EXPECT_EQ(shell.Calls.back(), (std::vector<std::string>{"xdg-open", doc}));
    // Names are matched without regard to case, as stored names expect.
    EXPECT_TRUE(ShellExecute("open", dir / "BRIEF.TXT", "", SW_SHOWNORMAL));
    EXPECT_EQ(shell.Calls.back(), (std::vector<std::string>{"xdg-open", doc}));
    // A program: its arguments as a list, blanks and shell characters untouched.
    const std::string prog = dir / "run.sh";
    WriteFileBytes(prog, {'#', '!'});
    std::filesystem::permissions(prog, std::filesystem::perms::owner_all);
    EXPECT_TRUE(ShellExecute("", prog, "\"a b\" $HOME;x", SW_SHOWNORMAL));
    EXPECT_EQ(shell.Calls.back(), (std::vector<std::string>{prog, "a b", "$HOME;x"}));
    const size_t n = shell.Calls.size();
    EXPECT_FALSE(ShellExecute("", dir / "missing.exe", "", SW_SHOWNORMAL));
    EXPECT_FALSE(ShellExecute("", "", "", SW_SHOWNORMAL));
    EXPECT_EQ(shell.Calls.size(), n);
    MessageBeep(0);
    EXPECT_EQ(shell.Beeps, 1);
}

TEST(Shell, LinuxSystemStartsAProgramAndReportsMissingOnes) {
    // Only true(1)/nonexistent names: nothing visible is started.
    EXPECT_TRUE(ShellSystem().Spawn({"true"}));
    EXPECT_FALSE(ShellSystem().Spawn({"/nonexistent/glowcanvas-no-such-program"}));
    EXPECT_FALSE(ShellSystem().Spawn({}));
}

// The settings dialog's link says nothing to the user when it cannot open: the debug
// output names why.
TEST(Shell, AnOpenThatFailsIsNamedOnTheDebugOutput) {
    TempDir empty;
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", empty.Path().c_str(), 1);  // no xdg-open anywhere
    TFakeDebugOutput debug;
    std::vector<AnsiString>& said = debug.Lines;
    SetDebugOutput(&debug);
    EXPECT_FALSE(ShellExecute("open", "http://www.velmorra.example", "", SW_SHOWNORMAL));
    EXPECT_FALSE(ShellExecute("open", empty / "missing.txt", "", SW_SHOWNORMAL));
    SetDebugOutput(nullptr);
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0], "Cannot start xdg-open: No such file or directory");
    EXPECT_EQ(said[1], "Nothing to open: " + (empty / "missing.txt"));
}
