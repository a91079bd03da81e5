// The preview host on a real X server (under Xvfb, see tests/tools/xvfb_play.sh;
// skipped elsewhere), with a child that reports its arguments and process id: the
// child gets "/p" and the id of a window of the asked size; closing the window ends
// child and host, and so does the host's SIGTERM; a child that ends ends the host.
#include "ToolRunSupport.h"

#include <gtest/gtest.h>

#include "XScreenSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

bool UnderX() { return std::getenv("DISPLAY") && std::getenv("GC_TEST_UNDER_X"); }

std::string HostTool() { return (ShowTool().parent_path() / "glowcanvas-preview-host").string(); }

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

struct TChildReport {
    pid_t Pid = 0;
    std::string Switch;
    unsigned long Window = 0;
};

// Runs the host with a child script that writes "pid args" and then sleeps, or ends
// with exitCode after a second when it is not 0.
class HostRun {
public:
    HostRun(const TempDir& dir, const std::string& size, int exitCode) : report_(dir / "report.txt") {
        const std::string script = dir / "saver.sh";
        std::ofstream(script) << "#!/bin/sh\necho \"$$ $@\" > " << report_ << ".tmp\nmv " << report_ << ".tmp "
                              << report_ << "\n"
                              << (exitCode ? "sleep 1\nexit " + std::to_string(exitCode) : "exec sleep 60") << "\n";
        ::chmod(script.c_str(), 0755);
        std::vector<std::string> args = {HostTool()};
        if (!size.empty()) args.insert(args.end(), {"--size", size});
        args.push_back(script);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        started_ = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~HostRun() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return started_; }
    pid_t Pid() const { return pid_; }

    // What the child wrote, once it did (within 5 s).
    bool Report(TChildReport& r) const {
        for (int i = 0; i < 250; ++i) {
            std::ifstream f(report_);
            if (f >> r.Pid >> r.Switch >> r.Window) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // The host's exit status when it ends within limit; -1 otherwise.
    int Wait(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

private:
    std::string report_;
    pid_t pid_ = 0;
    bool started_ = false;
    bool ended_ = false;
};

bool Alive(pid_t pid) { return ::kill(pid, 0) == 0; }

bool WindowSize(Display* d, unsigned long window, int& w, int& h) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, window, &a)) return false;
    w = a.width;
    h = a.height;
    return true;
}

class PreviewHostX : public ::testing::Test {
protected:
    // One connection for the suite: Xvfb resets itself when its last client leaves,
    // and refuses connections meanwhile.
    static void SetUpTestSuite() {
        if (!UnderX()) return;
        XSetErrorHandler(IgnoreXErrors);
        display_ = XOpenDisplay(nullptr);
    }
    static void TearDownTestSuite() {
        if (display_) XCloseDisplay(display_);
        display_ = nullptr;
    }
    void SetUp() override {
        if (!UnderX()) GTEST_SKIP() << "needs an X server (tests/tools/xvfb_play.sh)";
        ASSERT_NE(display_, nullptr);
    }
    static inline Display* display_ = nullptr;
};

TEST_F(PreviewHostX, ClosingTheWindowEndsTheSaverAndTheHost) {
    TempDir dir;
    HostRun host(dir, "", 0);
    ASSERT_TRUE(host.Started());
    TChildReport child;
    ASSERT_TRUE(host.Report(child));
    EXPECT_EQ(child.Switch, "/p");
    int w = 0, h = 0;
    ASSERT_TRUE(WindowSize(display_, child.Window, w, h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    AskToClose(display_, child.Window);
    // The saver that does not notice gets its grace, then SIGTERM.
    EXPECT_EQ(host.Wait(8s), 0);
    EXPECT_FALSE(Alive(child.Pid));
    // The server destroys the host's window when it sees the host's connection close,
    // which need not come before our own next request: allow it a moment.
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        XSync(display_, False);
        gone = !WindowSize(display_, child.Window, w, h);
        if (!gone) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(gone);
}

TEST_F(PreviewHostX, ASaverThatEndsEndsTheHostWithItsStatus) {
    TempDir dir;
    HostRun host(dir, "152x112", 3);
    ASSERT_TRUE(host.Started());
    TChildReport child;
    ASSERT_TRUE(host.Report(child));
    int w = 0, h = 0;
    ASSERT_TRUE(WindowSize(display_, child.Window, w, h));
    EXPECT_EQ(w, 152);
    EXPECT_EQ(h, 112);
    EXPECT_EQ(host.Wait(5s), 3);
}

TEST_F(PreviewHostX, SigtermEndsTheHostAndItsSaver) {
    TempDir dir;
    HostRun host(dir, "200x150", 0);
    ASSERT_TRUE(host.Started());
    TChildReport child;
    ASSERT_TRUE(host.Report(child));
    ::kill(host.Pid(), SIGTERM);
    EXPECT_EQ(host.Wait(8s), 0);
    EXPECT_FALSE(Alive(child.Pid));
}

}  // namespace
