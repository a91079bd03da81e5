// The queue's own rules, on SDL's queue and on the fake alike; timers on a driven clock
// through the fake, and on the real clock through SDL's.
#include "platform/Clock.h"
#include "platform/MessageQueue.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// A window that records what its procedure got; destroyed with the test.
struct TRecordingWindow {
    explicit TRecordingWindow(HWND parent = 0, const TRect& bounds = {})
        : Handle(MessageQueue().CreateWindowHandle([this](TMessage& m) { Got.push_back(m); }, parent, bounds)) {}
    ~TRecordingWindow() { MessageQueue().DestroyWindowHandle(Handle); }
    HWND Handle;
    std::vector<TMessage> Got;
};

void Drain() {
    TMessage m;
    while (MessageQueue().PeekMessage(m)) {}
}

// Runs the loop as a player window does until Done says so (at most 10 s).
template <typename Done>
void RunLoopUntil(Done done) {
    const uint32_t start = GetTickCount();
    while (!done() && GetTickCount() - start < 10000) {
        TMessage m;
        if (MessageQueue().PeekMessage(m))
            MessageQueue().DispatchMessage(m);
        else
            MessageQueue().WaitMessage(100);
    }
}

class QueueTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!GetParam()) {
            fake_ = std::make_unique<TFakeMessageQueue>();
            SetMessageQueue(fake_.get());
        }
        Drain();
    }
    void TearDown() override {
        Drain();
        SetMessageQueue(nullptr);
    }

    std::unique_ptr<TFakeMessageQueue> fake_;
};

INSTANTIATE_TEST_SUITE_P(SdlAndFake, QueueTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Sdl" : "Fake"; });

TEST_P(QueueTest, PostFromAnotherThreadWakesAWaitingLoopAtOnce) {
    TRecordingWindow window;
    EXPECT_FALSE(MessageQueue().WaitMessage(0));
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_TRUE(PostMessage(window.Handle, WM_USER + 7, 1, 2));
    });
    const auto start = std::chrono::steady_clock::now();
    const bool woken = MessageQueue().WaitMessage(20000);
    const auto waited = std::chrono::steady_clock::now() - start;
    poster.join();
    EXPECT_TRUE(woken);
    EXPECT_LT(waited, std::chrono::seconds(5));  // the post ended it, not the timeout

    TMessage m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.Window, window.Handle);
    EXPECT_EQ(m.Msg, WM_USER + 7);
    EXPECT_EQ(m.WParam, 1u);
    EXPECT_EQ(m.LParam, 2);
}

TEST_P(QueueTest, SendRunsTheProcedureOnTheGuiThreadAlsoFromAnotherThread) {
    std::vector<std::thread::id> ranOn;
    const HWND window = MessageQueue().CreateWindowHandle([&](TMessage& m) {
        ranOn.push_back(std::this_thread::get_id());
        m.Result = LRESULT(m.WParam * 2);
    });
    EXPECT_EQ(SendMessage(window, WM_USER, 21, 0), 42);
    ASSERT_EQ(ranOn.size(), 1u);  // at once, before the send returned

    std::atomic<bool> done{false};
    LRESULT result = 0;
    std::thread sender([&] {
        result = SendMessage(window, WM_USER, 5, 0);
        done = true;
    });
    RunLoopUntil([&] { return done.load(); });
    sender.join();
    EXPECT_EQ(result, 10);
    ASSERT_EQ(ranOn.size(), 2u);
    EXPECT_EQ(ranOn[1], std::this_thread::get_id());

    MessageQueue().DestroyWindowHandle(window);
    std::thread late([&] { result = SendMessage(window, WM_USER, 5, 0); });
    late.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ranOn.size(), 2u);
}

TEST_P(QueueTest, PeekTakesOneMessageAtATimeInOrder) {
    TRecordingWindow window;
    EXPECT_FALSE(PostMessage(window.Handle + 1000, WM_USER, 0, 0));  // no such window
    for (WPARAM i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessage(window.Handle, WM_USER, i, 0));
    PostQuitMessage(3);

    TMessage m;
    ASSERT_TRUE(PeekMessage(m, PM_NOREMOVE));
    EXPECT_EQ(m.WParam, 1u);
    for (WPARAM i = 1; i <= 3; ++i) {
        ASSERT_TRUE(PeekMessage(m, PM_REMOVE));
        EXPECT_EQ(m.WParam, i);
    }
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.Window, 0u);
    EXPECT_EQ(m.Msg, WM_QUIT);
    EXPECT_EQ(m.WParam, 3u);
    EXPECT_FALSE(PeekMessage(m));
    EXPECT_TRUE(window.Got.empty());  // peeking dispatches nothing
}

// Slow work asks whether it should give up: for a quit, and, unless it asks about a
// quit only, for the input that ends a screen saver, a mouse move among it.
TEST_P(QueueTest, QuitOrInputPendingNamesWhatEndsASaver) {
    TRecordingWindow window;
    struct TCase {
        UINT Msg;
        bool Input;  // counts when input is asked about too
    };
    const TCase cases[] = {
        {WM_KEYDOWN, true},     {WM_SYSKEYDOWN, true}, {WM_LBUTTONDOWN, true}, {WM_RBUTTONDOWN, true},
        {WM_MBUTTONDOWN, true}, {WM_MOUSEMOVE, true},  {WM_KEYUP, false},      {WM_USER, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Msg);
        Drain();
        ASSERT_TRUE(PostMessage(window.Handle, c.Msg, 0, 0));
        EXPECT_EQ(QuitOrInputPending(), c.Input);
        EXPECT_FALSE(QuitOrInputPending(false));
    }
    Drain();
    PostQuitMessage(0);
    EXPECT_TRUE(QuitOrInputPending(false));
    Drain();
}

TEST_P(QueueTest, DispatchReachesAReplacedProcedure) {
    TRecordingWindow window;
    TMessageQueue& queue = MessageQueue();
    // As a form replaces a control's WindowProc and passes on what it does not take.
    const TWndMethod saved = queue.GetWindowProc(window.Handle);
    std::vector<UINT> taken;
    queue.SetWindowProc(window.Handle, [&](TMessage& m) {
        if (m.Msg == WM_USER + 10) {
            taken.push_back(m.Msg);
            m.Result = 7;
        } else {
            saved(m);
        }
    });
    PostMessage(window.Handle, WM_USER + 10, 0, 0);
    PostMessage(window.Handle, WM_USER + 11, 0, 0);
    TMessage m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(DispatchMessage(m), 7);
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(DispatchMessage(m), 0);
    EXPECT_EQ(taken, std::vector<UINT>{WM_USER + 10});
    ASSERT_EQ(window.Got.size(), 1u);
    EXPECT_EQ(window.Got[0].Msg, WM_USER + 11);
    EXPECT_EQ(DispatchMessage(TMessage{0, WM_USER, 0, 0}), 0);  // to no window
}

TEST_P(QueueTest, DestroyingAWindowDropsItsChildrenMessagesTimersAndPaints) {
    TRecordingWindow other;
    TMessageQueue& queue = MessageQueue();
    const HWND parent = queue.CreateWindowHandle([](TMessage&) {});
    const HWND child = queue.CreateWindowHandle([](TMessage&) {}, parent, TRect{0, 0, 10, 10});
    PostMessage(parent, WM_USER, 1, 0);
    PostMessage(other.Handle, WM_USER, 2, 0);
    PostMessage(child, WM_USER, 3, 0);
    queue.SetTimer(child, 1, 1);
    queue.InvalidateRect(child, nullptr);
    queue.DestroyWindowHandle(parent);
    EXPECT_FALSE(queue.IsWindow(parent));
    EXPECT_FALSE(queue.IsWindow(child));
    EXPECT_FALSE(PostMessage(child, WM_USER, 0, 0));
    EXPECT_EQ(queue.SetTimer(child, 2, 10), 0u);

    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TMessage m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.Window, other.Handle);
    EXPECT_FALSE(PeekMessage(m));
}

TEST_P(QueueTest, PaintComesOnceAfterPostedMessagesWithTheUnionOfTheRequests) {
    TMessageQueue& queue = MessageQueue();
    TRecordingWindow form;
    TRecordingWindow box(form.Handle, TRect{16, 16, 216, 166});
    const TRect a{1, 2, 3, 4}, b{10, 20, 30, 40};
    queue.InvalidateRect(form.Handle, &a);
    queue.InvalidateRect(form.Handle, &b);
    queue.InvalidateRect(box.Handle, nullptr);
    PostMessage(form.Handle, WM_USER, 0, 0);

    TMessage m;
    std::vector<std::pair<HWND, UINT>> order;
    while (PeekMessage(m)) order.push_back({m.Window, m.Msg});
    const std::vector<std::pair<HWND, UINT>> expected{
        {form.Handle, WM_USER}, {form.Handle, WM_PAINT}, {box.Handle, WM_PAINT}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(queue.BeginPaint(form.Handle), (TRect{1, 2, 30, 40}));
    EXPECT_EQ(queue.BeginPaint(box.Handle), (TRect{0, 0, 200, 150}));
    EXPECT_EQ(queue.BeginPaint(box.Handle), TRect{});
}

TEST_P(QueueTest, ChildrenTakeThePointsInsideThem) {
    TMessageQueue& queue = MessageQueue();
    TRecordingWindow form;
    TRecordingWindow box(form.Handle, TRect{16, 16, 216, 166});
    EXPECT_EQ(queue.ChildWindowFromPoint(form.Handle, TPoint{16, 16}), box.Handle);
    EXPECT_EQ(queue.ChildWindowFromPoint(form.Handle, TPoint{215, 165}), box.Handle);
    EXPECT_EQ(queue.ChildWindowFromPoint(form.Handle, TPoint{216, 100}), form.Handle);
    EXPECT_EQ(queue.ChildWindowFromPoint(form.Handle, TPoint{15, 100}), form.Handle);
    queue.SetWindowBounds(box.Handle, TRect{0, 0, 10, 10});
    EXPECT_EQ(queue.ChildWindowFromPoint(form.Handle, TPoint{100, 100}), form.Handle);
}

TEST(FakeQueue, TimersFireOnTheDrivenClockWhenNothingElseWaits) {
    TFakeMessageQueue queue;
    TInstalled<SetMessageQueue> installed(queue);
    TManualTickCount clock(1000);
    TInstalled<SetTickSource> installedClock(clock);
    queue.OnWait = [&](int timeoutMs) { clock.Advance(uint32_t(timeoutMs)); };
    TRecordingWindow window;
    EXPECT_EQ(SetTimer(window.Handle, 7, 50), 7u);

    EXPECT_TRUE(WaitMessage(-1));
    EXPECT_EQ(queue.Waits, std::vector<int>{50});
    PostMessage(window.Handle, WM_USER, 0, 0);
    TMessage m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.Msg, WM_USER);  // posted messages go first
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.Msg, WM_TIMER);
    EXPECT_EQ(m.WParam, 7u);
    EXPECT_FALSE(PeekMessage(m));

    clock.Advance(175);  // late by more than three periods: reported once
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.Msg, WM_TIMER);
    EXPECT_FALSE(PeekMessage(m));

    EXPECT_TRUE(KillTimer(window.Handle, 7));
    EXPECT_FALSE(KillTimer(window.Handle, 7));
    EXPECT_FALSE(WaitMessage(200));
    EXPECT_EQ(queue.Waits.back(), 200);
    EXPECT_FALSE(PeekMessage(m));
}

TEST(SdlQueue, AMessageOnlyWindowGetsItsTimerAndPostsFromAnotherThread) {
    Drain();
    std::vector<TMessage> got;
    const HWND window = AllocateHWnd([&](TMessage& m) { got.push_back(m); });
    const uint32_t start = GetTickCount();
    SetTimer(window, 1, 50);
    std::thread poster([&] { PostMessage(window, WM_USER + 3, 9, 0); });
    const auto count = [&](UINT msg, WPARAM wParam) {
        int n = 0;
        for (const TMessage& m : got) n += m.Msg == msg && m.WParam == wParam;
        return n;
    };
    RunLoopUntil([&] { return count(WM_TIMER, 1) >= 3 && count(WM_USER + 3, 9) >= 1; });
    const uint32_t elapsed = GetTickCount() - start;
    poster.join();
    DeallocateHWnd(window);

    EXPECT_GE(count(WM_TIMER, 1), 3);
    EXPECT_GE(elapsed, 150u);  // a timer never fires early
    EXPECT_EQ(count(WM_USER + 3, 9), 1);
}

}  // namespace
