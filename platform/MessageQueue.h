// The GUI thread's message queue: windows with replaceable procedures, posted and sent
// messages, timers, paint requests, and the system's input turned into messages. The
// process's queue takes its input from SDL (its TEventSource); TFakeMessageQueue stands in
// for it in tests.
//
// Threads: the thread that makes a queue is its GUI thread. PostMessage and SendMessage
// may be called from any thread; everything else belongs to the GUI thread. Procedures
// always run on the GUI thread, never under the queue's lock, so they may post, send,
// peek, dispatch and create or destroy windows themselves.
#pragma once

#include "platform/Messages.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using UINT_PTR = uintptr_t;

// PeekMessage: leave the message in the queue or take it out.
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

class TMessageQueue;

// Where input comes from and how the GUI thread sleeps until something arrives.
class TEventSource {
public:
    virtual ~TEventSource() = default;
    // Turns the system's waiting events into messages (TMessageQueue::PostInput). GUI thread.
    virtual void Pump(TMessageQueue& queue) = 0;
    // Sleeps until a system event or a Wake arrives (true), at most timeoutMs (-1: no
    // limit; false when it ran out). GUI thread.
    virtual bool Wait(int timeoutMs) = 0;
    // Ends a Wait at once, or the next one when none runs. Any thread.
    virtual void Wake() = 0;
};

class TMessageQueue {
public:
    explicit TMessageQueue(std::unique_ptr<TEventSource> source);
    virtual ~TMessageQueue();
    TMessageQueue(const TMessageQueue&) = delete;
    TMessageQueue& operator=(const TMessageQueue&) = delete;

    // --- Windows ---
    // A new window handle with its procedure. A child lies at Bounds in its parent's
    // client area and gets the mouse messages that land there.
    HWND CreateWindowHandle(TWndMethod proc, HWND parent = 0, const TRect& bounds = {});
    // Destroys the window and its children: their queued messages, paint requests and
    // timers go, and threads waiting on a send to them get 0.
    void DestroyWindowHandle(HWND window);
    bool IsWindow(HWND window) const;
    // The procedure, as the class library's WindowProc: replacing it takes effect with the
    // next message.
    void SetWindowProc(HWND window, TWndMethod proc);
    TWndMethod GetWindowProc(HWND window) const;
    HWND GetParent(HWND window) const;
    void SetWindowBounds(HWND window, const TRect& bounds);
    TRect GetWindowBounds(HWND window) const;
    // The system window behind a top-level handle (the SDL window id), for routing input.
    void SetSystemWindowId(HWND window, uint32_t systemId);
    uint32_t GetSystemWindowId(HWND window) const;
    HWND FindSystemWindow(uint32_t systemId) const;
    // The last-made child of Parent whose bounds hold the client point, else Parent.
    HWND ChildWindowFromPoint(HWND parent, TPoint point) const;

    // --- Messages ---
    // Queues a message for the window (0: for the thread itself); false for a window that
    // does not exist. Wakes a waiting GUI thread at once. Any thread.
    bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    // Runs the window's procedure and answers its result. On the GUI thread it runs at
    // once; from another thread the caller waits until the GUI thread has handled it
    // (in PeekMessage, WaitMessage or its own sends). 0 for a window that does not exist
    // or is destroyed meanwhile.
    LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    // Queues WM_QUIT with the exit code in wParam.
    void PostQuitMessage(int exitCode);
    // Handles waiting sends, takes in the system's input, then answers the next message:
    // posted and input messages in order, then WM_PAINT for a window with a paint request,
    // then WM_TIMER for a due timer. With PM_REMOVE at most one message leaves the queue.
    bool PeekMessage(TMessage& msg, UINT removeMsg = PM_REMOVE);
    // Hands the message to its window's procedure and answers the result; 0 for messages
    // to no window or to one that no longer exists.
    LRESULT DispatchMessage(const TMessage& msg);
    // Sleeps until a message is waiting (true) or timeoutMs has passed (false); -1 waits
    // without limit, 0 only looks. A send arriving meanwhile is handled at once and ends
    // the wait (true), since it may have changed what the caller waits for.
    bool WaitMessage(int timeoutMs = -1);
    // Sleeps until done answers true, handling sends meanwhile and taking in the system's
    // input, which stays queued for the loop: the GUI thread waiting on other threads'
    // work keeps answering what they send it. done is asked after every send, every Wake
    // and at least every pollMs of real time (the input is taken in as often); whoever
    // makes it true from another thread calls Wake.
    void WaitServingSends(const std::function<bool()>& done, int pollMs = 20);
    // Ends a wait of the GUI thread at once, or its next one. Any thread.
    void Wake();

    // --- Timers ---
    // Every elapseMs (at least 1) the window gets WM_TIMER with the id in wParam, when
    // nothing else is waiting; a due timer is reported once however late it is. Setting
    // an existing id again restarts it. Answers the id, 0 for a window that does not exist.
    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs);
    bool KillTimer(HWND window, UINT_PTR id);

    // --- Painting ---
    // Adds the rectangle (nullptr: the whole client) to the window's update area; WM_PAINT
    // follows once nothing else is waiting.
    void InvalidateRect(HWND window, const TRect* rect);
    // Takes the update area (its bounding box; empty when none) and clears it.
    TRect BeginPaint(HWND window);

    // --- For event sources (GUI thread) ---
    // Queues a message that came from the system.
    void PostInput(const TMessage& msg);
    // The system asks for the window to be drawn again: it and its children get paint
    // requests for their whole client areas.
    void Expose(HWND window);

    bool IsGuiThread() const { return std::this_thread::get_id() == guiThread_; }

    // Whether a quit, a key, a mouse button or a mouse move is waiting, so that slow work
    // on the GUI thread can give up early; with inputToo False whether a quit waits or was taken
    // already. On the GUI thread the system's input is taken in first (it stays queued
    // for the loop); other threads see only what is queued.
    // movesToo False leaves mouse moves out: a pointer crossing a window that maps is none
    // of the user's doing.
    bool QuitOrInputPending(bool inputToo = true, bool movesToo = true);

    // --- The application's end ---
    // A quit taken from the queue marks the application terminating; modal loops end
    // when they see it, and it stays so: the quit is never lost for a later loop.
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

protected:
    TEventSource& Source() { return *source_; }

private:
    struct TWindowRecord {
        TWndMethod Proc;
        HWND Parent = 0;
        TRect Bounds;
        uint32_t SystemId = 0;
        bool PaintPending = false;
        TRect UpdateRect;
    };
    struct TTimer {
        HWND Window = 0;
        UINT_PTR Id = 0;
        uint32_t Interval = 0;
        uint32_t Due = 0;  // GetTickCount value
    };
    struct TSentMessage {
        TMessage Message;
        bool Done = false;
    };

    // A field of a window's record, under the lock; Fallback for no such window.
    template <typename T>
    T Field(HWND window, T TWindowRecord::*field, T fallback) const;
    template <typename T>
    void SetField(HWND window, T TWindowRecord::*field, T value);
    bool HandleSends();  // true when it handled any
    bool TakeNext(TMessage& msg, bool remove);
    int TimeToNextTimer() const;  // -1 without timers; under lock
    bool HasWaiting() const;      // under lock

    std::unique_ptr<TEventSource> source_;
    std::thread::id guiThread_;
    mutable std::mutex lock_;
    std::condition_variable sendDone_;
    // WaitServingSends sleeps on this rather than on the source, whose waits a test may
    // drive: a send or a Wake ends the sleep.
    std::condition_variable served_;
    bool woken_ = false;
    std::map<HWND, TWindowRecord> windows_;
    HWND nextHandle_ = 0x1000;
    std::deque<TMessage> posted_;
    std::deque<std::shared_ptr<TSentMessage>> sends_;
    std::vector<TTimer> timers_;
    std::atomic<bool> terminated_{false};
};

// The queue in use: the process's queue on SDL's events (made on first use: make that use
// on the GUI thread) unless a test installed another.
TMessageQueue& MessageQueue();
// Installs queue (not owned) until it is called again with null.
void SetMessageQueue(TMessageQueue* queue);
// QuitOrInputPending of the queue in use; false while there is none (nothing made one).
// A run's end requested (platform/RunEnd.h) counts as a quit waiting.
bool QuitOrInputPending(bool inputToo = true);
// A quit posted to, and a wake of, the queue in use; nothing while there is none. Any thread.
void PostQueuedQuit();
void WakeQueuedGuiThread();

// A queue without SDL for tests. Waits sleep on a condition variable, or, when OnWait is
// set, call it instead so that a test can advance a driven clock (posts still end a real
// wait at once).
class TFakeMessageQueue : public TMessageQueue {
public:
    TFakeMessageQueue();

    std::function<void(int timeoutMs)> OnWait;
    // Every timeout a wait was called with, in order.
    std::vector<int> Waits;
};

// The Windows-style calls the program makes, on the current queue.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
bool PeekMessage(TMessage& msg, UINT removeMsg = PM_REMOVE);
LRESULT DispatchMessage(const TMessage& msg);
bool WaitMessage(int timeoutMs = -1);
void PostQuitMessage(int exitCode);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs);
bool KillTimer(HWND window, UINT_PTR id);
// A message-only window: a handle with a procedure and nothing on screen.
HWND AllocateHWnd(TWndMethod proc);
void DeallocateHWnd(HWND window);
