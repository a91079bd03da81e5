#include "platform/MessageQueue.h"

#include "dynload/SdlLibrary.h"
#include "platform/Clock.h"
#include "platform/RunEnd.h"
#include "platform/Sdl.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <utility>

namespace {

// Wrapping tick arithmetic: how long until Due, 0 when it has passed.
int MsUntil(uint32_t due, uint32_t now) {
    const int32_t left = static_cast<int32_t>(due - now);
    return left > 0 ? left : 0;
}

// --- SDL events as Windows messages ---

WPARAM VirtualKeyOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
    if (key >= SDLK_F13 && key <= SDLK_F24) return VK_F1 + 12 + (key - SDLK_F13);
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_TAB: return VK_TAB;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    default: return VK_UNKNOWN;
    }
}

// The PC keyboard's scan code of a physical key, as Windows reports it; 0 for keys that
// have no virtual-key code here.
uint8_t ScanCodeOf(SDL_Scancode code) {
    // Letters A-Z and digits 1-0 in USB order.
    static const uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                        0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                        0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    static const uint8_t f13to24[12] = {0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
                                        0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x76};
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) return letters[code - SDL_SCANCODE_A];
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_0) return uint8_t(0x02 + (code - SDL_SCANCODE_1));
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F10) return uint8_t(0x3B + (code - SDL_SCANCODE_F1));
    if (code >= SDL_SCANCODE_F13 && code <= SDL_SCANCODE_F24) return f13to24[code - SDL_SCANCODE_F13];
    switch (code) {
    case SDL_SCANCODE_F11: return 0x57;
    case SDL_SCANCODE_F12: return 0x58;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 0x1C;
    case SDL_SCANCODE_ESCAPE: return 0x01;
    case SDL_SCANCODE_BACKSPACE: return 0x0E;
    case SDL_SCANCODE_TAB: return 0x0F;
    case SDL_SCANCODE_SPACE: return 0x39;
    case SDL_SCANCODE_RIGHT: return 0x4D;
    case SDL_SCANCODE_LEFT: return 0x4B;
    case SDL_SCANCODE_DOWN: return 0x50;
    case SDL_SCANCODE_UP: return 0x48;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return 0x1D;
    case SDL_SCANCODE_LSHIFT: return 0x2A;
    case SDL_SCANCODE_RSHIFT: return 0x36;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return 0x38;
    default: return 0;
    }
}

TMessage KeyDownMessage(HWND window, const SDL_KeyboardEvent& key) {
    const WPARAM vk = VirtualKeyOf(key.keysym.sym);
    const bool alt = (key.keysym.mod & KMOD_ALT) != 0;
    const bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
    // Windows sends keys typed with Alt (and without Ctrl) as system keys. Alt+F4 comes
    // as a plain key down so that the player's hook sees it and ends the show.
    const bool system = alt && !ctrl && vk != VK_F4;
    return TMessage{window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, vk,
                    MakeKeyData(1, ScanCodeOf(key.keysym.scancode), alt, key.repeat != 0)};
}

WPARAM MouseKeyFlags(uint32_t buttons) {
    const SDL_Keymod mod = SdlFunctions().SDL_GetModState();
    WPARAM flags = 0;
    if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
    if (mod & KMOD_SHIFT) flags |= MK_SHIFT;
    if (mod & KMOD_CTRL) flags |= MK_CONTROL;
    return flags;
}

// A mouse message goes to the child under the pointer, in that child's coordinates.
void PostMouse(TMessageQueue& queue, uint32_t windowId, UINT msg, int32_t x, int32_t y, uint32_t buttons) {
    const HWND form = queue.FindSystemWindow(windowId);
    if (!form) return;
    const HWND target = queue.ChildWindowFromPoint(form, TPoint{x, y});
    if (target != form) {
        const TRect bounds = queue.GetWindowBounds(target);
        x -= bounds.Left;
        y -= bounds.Top;
    }
    queue.PostInput(TMessage{target, msg, MouseKeyFlags(buttons), MakeMouseLParam(x, y)});
}

class TSdlEventSource : public TEventSource {
public:
    TSdlEventSource() {
        // A closed window is the player's business; quitting is for SDL_QUIT proper
        // (and SIGINT and SIGTERM, which SDL turns into it unless a run took them over:
        // platform/RunEnd.h).
        const TSdlFunctions& sdl = SdlFunctions();
        sdl.SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        if (sdl.SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) throw Exception(sdl.SDL_GetError());
        wakeType_ = sdl.SDL_RegisterEvents(1);
    }
    ~TSdlEventSource() override { SdlFunctions().SDL_QuitSubSystem(SDL_INIT_EVENTS); }

    void Pump(TMessageQueue& queue) override {
        SdlFunctions().SDL_PumpEvents();
        SDL_Event event;
        while (SdlFunctions().SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
            Translate(queue, event);
    }

    bool Wait(int timeoutMs) override { return SdlFunctions().SDL_WaitEventTimeout(nullptr, timeoutMs) != 0; }

    void Wake() override {
        // One wake event in flight is enough; Translate lets the next one through.
        if (wakePending_.exchange(true)) return;
        SDL_Event event{};
        event.type = wakeType_;
        if (SdlFunctions().SDL_PushEvent(&event) != 1) wakePending_ = false;
    }

private:
    void Translate(TMessageQueue& queue, const SDL_Event& event) {
        if (event.type == wakeType_) {
            wakePending_ = false;
            return;
        }
        switch (event.type) {
        case SDL_QUIT: queue.PostInput(TMessage{0, WM_QUIT, 0, 0}); break;
        case SDL_WINDOWEVENT: {
            const HWND window = queue.FindSystemWindow(event.window.windowID);
            if (!window) break;
            // A top-level window's bounds are its client area, for paints of the whole.
            int w = 0, h = 0;
            if (SDL_Window* sdlWindow = SdlFunctions().SDL_GetWindowFromID(event.window.windowID))
                SdlFunctions().SDL_GetWindowSize(sdlWindow, &w, &h);
            queue.SetWindowBounds(window, TRect{0, 0, w, h});
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE: queue.PostInput(TMessage{window, WM_CLOSE, 0, 0}); break;
            case SDL_WINDOWEVENT_EXPOSED: queue.Expose(window); break;
            case SDL_WINDOWEVENT_MINIMIZED:
                queue.PostInput(TMessage{window, WM_SYSCOMMAND, SC_MINIMIZE, 0});
                break;
            default: break;
            }
            break;
        }
        case SDL_KEYDOWN:
            if (const HWND window = queue.FindSystemWindow(event.key.windowID))
                queue.PostInput(KeyDownMessage(window, event.key));
            break;
        case SDL_MOUSEBUTTONDOWN: {
            UINT msg = 0;
            uint32_t mask = 0;
            switch (event.button.button) {
            case SDL_BUTTON_LEFT: msg = WM_LBUTTONDOWN, mask = SDL_BUTTON_LMASK; break;
            case SDL_BUTTON_RIGHT: msg = WM_RBUTTONDOWN, mask = SDL_BUTTON_RMASK; break;
            case SDL_BUTTON_MIDDLE: msg = WM_MBUTTONDOWN, mask = SDL_BUTTON_MMASK; break;
            default: return;
            }
            PostMouse(queue, event.button.windowID, msg, event.button.x, event.button.y,
                      SdlFunctions().SDL_GetMouseState(nullptr, nullptr) | mask);
            break;
        }
        case SDL_MOUSEMOTION:
            PostMouse(queue, event.motion.windowID, WM_MOUSEMOVE, event.motion.x, event.motion.y,
                      event.motion.state);
            break;
        default: break;
        }
    }

    uint32_t wakeType_ = 0;
    std::atomic<bool> wakePending_{false};
};

// The fake's waits: a condition variable, or the test's own hook.
class TFakeEventSource : public TEventSource {
public:
    explicit TFakeEventSource(TFakeMessageQueue& owner) : owner_(owner) {}

    void Pump(TMessageQueue&) override {}

    bool Wait(int timeoutMs) override {
        owner_.Waits.push_back(timeoutMs);
        std::unique_lock<std::mutex> lock(mutex_);
        if (owner_.OnWait) {
            lock.unlock();
            owner_.OnWait(timeoutMs);
            lock.lock();
        } else if (timeoutMs < 0) {
            woken_.wait(lock, [this] { return wake_; });
        } else {
            woken_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return wake_; });
        }
        return std::exchange(wake_, false);
    }

    void Wake() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            wake_ = true;
        }
        woken_.notify_all();
    }

private:
    TFakeMessageQueue& owner_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool wake_ = false;
};

// Read from any thread that posts.
std::atomic<TMessageQueue*> installed{nullptr};
// The process's own queue, once made.
std::atomic<TMessageQueue*> made{nullptr};

}  // namespace

// --- TMessageQueue ---

TMessageQueue::TMessageQueue(std::unique_ptr<TEventSource> source)
    : source_(std::move(source)), guiThread_(std::this_thread::get_id()) {}

TMessageQueue::~TMessageQueue() {
    // Nobody may stay blocked on a send to a queue that is gone.
    std::lock_guard<std::mutex> lock(lock_);
    for (auto& sent : sends_) sent->Done = true;
    sends_.clear();
    sendDone_.notify_all();
}

HWND TMessageQueue::CreateWindowHandle(TWndMethod proc, HWND parent, const TRect& bounds) {
    std::lock_guard<std::mutex> lock(lock_);
    const HWND handle = nextHandle_++;
    TWindowRecord& record = windows_[handle];
    record.Proc = std::move(proc);
    record.Parent = windows_.count(parent) ? parent : 0;
    record.Bounds = bounds;
    return handle;
}

void TMessageQueue::DestroyWindowHandle(HWND window) {
    std::vector<TWndMethod> dropped;  // procedures die outside the lock
    std::lock_guard<std::mutex> lock(lock_);
    if (!windows_.count(window)) return;
    std::vector<HWND> gone{window};
    // Children were made after their parents, so one pass in handle order finds them all.
    for (auto& [handle, record] : windows_)
        if (std::find(gone.begin(), gone.end(), record.Parent) != gone.end()) gone.push_back(handle);
    const auto isGone = [&](HWND h) { return std::find(gone.begin(), gone.end(), h) != gone.end(); };
    for (HWND h : gone) {
        auto it = windows_.find(h);
        dropped.push_back(std::move(it->second.Proc));
        windows_.erase(it);
    }
    std::erase_if(posted_, [&](const TMessage& m) { return isGone(m.Window); });
    std::erase_if(timers_, [&](const TTimer& t) { return isGone(t.Window); });
    bool answered = false;
    std::erase_if(sends_, [&](const std::shared_ptr<TSentMessage>& s) {
        if (!isGone(s->Message.Window)) return false;
        s->Message.Result = 0;
        s->Done = true;
        answered = true;
        return true;
    });
    if (answered) sendDone_.notify_all();
}

bool TMessageQueue::IsWindow(HWND window) const {
    std::lock_guard<std::mutex> lock(lock_);
    return windows_.count(window) != 0;
}

template <typename T>
T TMessageQueue::Field(HWND window, T TWindowRecord::*field, T fallback) const {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = windows_.find(window);
    return it != windows_.end() ? it->second.*field : fallback;
}

template <typename T>
void TMessageQueue::SetField(HWND window, T TWindowRecord::*field, T value) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = windows_.find(window);
    if (it != windows_.end()) it->second.*field = std::move(value);
}

void TMessageQueue::SetWindowProc(HWND window, TWndMethod proc) {
    SetField(window, &TWindowRecord::Proc, std::move(proc));
}
TWndMethod TMessageQueue::GetWindowProc(HWND window) const {
    return Field(window, &TWindowRecord::Proc, TWndMethod());
}
HWND TMessageQueue::GetParent(HWND window) const { return Field(window, &TWindowRecord::Parent, HWND(0)); }
void TMessageQueue::SetWindowBounds(HWND window, const TRect& bounds) {
    SetField(window, &TWindowRecord::Bounds, bounds);
}
TRect TMessageQueue::GetWindowBounds(HWND window) const { return Field(window, &TWindowRecord::Bounds, TRect{}); }
void TMessageQueue::SetSystemWindowId(HWND window, uint32_t systemId) {
    SetField(window, &TWindowRecord::SystemId, systemId);
}
uint32_t TMessageQueue::GetSystemWindowId(HWND window) const {
    return Field(window, &TWindowRecord::SystemId, uint32_t(0));
}

HWND TMessageQueue::FindSystemWindow(uint32_t systemId) const {
    std::lock_guard<std::mutex> lock(lock_);
    if (systemId == 0) return 0;
    for (const auto& [handle, record] : windows_)
        if (record.SystemId == systemId) return handle;
    return 0;
}

HWND TMessageQueue::ChildWindowFromPoint(HWND parent, TPoint point) const {
    std::lock_guard<std::mutex> lock(lock_);
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        const TRect& b = it->second.Bounds;
        if (it->second.Parent == parent && point.X >= b.Left && point.X < b.Right && point.Y >= b.Top &&
            point.Y < b.Bottom)
            return it->first;
    }
    return parent;
}

bool TMessageQueue::PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (window != 0 && !windows_.count(window)) return false;
        posted_.push_back(TMessage{window, msg, wParam, lParam});
    }
    // The GUI thread looks at the queue before it sleeps; only others must wake it.
    if (!IsGuiThread()) source_->Wake();
    return true;
}

void TMessageQueue::PostInput(const TMessage& msg) {
    std::lock_guard<std::mutex> lock(lock_);
    posted_.push_back(msg);
}

LRESULT TMessageQueue::SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (IsGuiThread()) {
        TMessage message{window, msg, wParam, lParam};
        return DispatchMessage(message);
    }
    auto sent = std::make_shared<TSentMessage>();
    sent->Message = TMessage{window, msg, wParam, lParam};
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!windows_.count(window)) return 0;
        sends_.push_back(sent);
    }
    served_.notify_all();
    source_->Wake();
    std::unique_lock<std::mutex> lock(lock_);
    sendDone_.wait(lock, [&] { return sent->Done; });
    return sent->Message.Result;
}

bool TMessageQueue::HandleSends() {
    for (bool handled = false;; handled = true) {
        std::shared_ptr<TSentMessage> sent;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (sends_.empty()) return handled;
            sent = sends_.front();
            sends_.pop_front();
        }
        TMessage message = sent->Message;
        const LRESULT result = DispatchMessage(message);
        {
            std::lock_guard<std::mutex> lock(lock_);
            sent->Message.Result = result;
            sent->Done = true;
        }
        sendDone_.notify_all();
    }
}

bool TMessageQueue::QuitOrInputPending(bool inputToo, bool movesToo) {
    // A quit already taken ends every loop still to come; slow work is asked about what
    // waits now only, so that an ended run's queue holds nobody else up.
    if (!inputToo && terminated_) return true;
    if (IsGuiThread()) source_->Pump(*this);
    std::lock_guard<std::mutex> lock(lock_);
    for (const TMessage& msg : posted_) {
        if (msg.Msg == WM_QUIT) return true;
        if (!inputToo) continue;
        switch (msg.Msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        // A moved mouse ends a screen saver as a key does.
        case WM_MOUSEMOVE:
            if (movesToo) return true;
            break;
        default: break;
        }
    }
    return false;
}

void TMessageQueue::PostQuitMessage(int exitCode) { PostMessage(0, WM_QUIT, WPARAM(exitCode), 0); }

bool TMessageQueue::TakeNext(TMessage& msg, bool remove) {
    if (!posted_.empty()) {
        msg = posted_.front();
        if (remove) posted_.pop_front();
        return true;
    }
    for (auto& [handle, record] : windows_) {
        if (!record.PaintPending) continue;
        msg = TMessage{handle, WM_PAINT, 0, 0};
        if (remove) record.PaintPending = false;
        return true;
    }
    const uint32_t now = GetTickCount();
    TTimer* due = nullptr;
    for (TTimer& timer : timers_)
        if (MsUntil(timer.Due, now) == 0 &&
            (!due || static_cast<int32_t>(timer.Due - due->Due) < 0))
            due = &timer;
    if (!due) return false;
    msg = TMessage{due->Window, WM_TIMER, due->Id, 0};
    if (remove) due->Due = now + due->Interval;
    return true;
}

bool TMessageQueue::HasWaiting() const {
    if (!posted_.empty()) return true;
    for (const auto& [handle, record] : windows_)
        if (record.PaintPending) return true;
    return TimeToNextTimer() == 0;
}

int TMessageQueue::TimeToNextTimer() const {
    const uint32_t now = GetTickCount();
    int next = -1;
    for (const TTimer& timer : timers_) {
        const int left = MsUntil(timer.Due, now);
        if (next < 0 || left < next) next = left;
    }
    return next;
}

bool TMessageQueue::PeekMessage(TMessage& msg, UINT removeMsg) {
    HandleSends();
    source_->Pump(*this);
    std::lock_guard<std::mutex> lock(lock_);
    return TakeNext(msg, (removeMsg & PM_REMOVE) != 0);
}

LRESULT TMessageQueue::DispatchMessage(const TMessage& msg) {
    TWndMethod proc = GetWindowProc(msg.Window);
    if (!proc) return 0;
    TMessage message = msg;
    message.Result = 0;
    proc(message);
    return message.Result;
}

bool TMessageQueue::WaitMessage(int timeoutMs) {
    const uint32_t start = GetTickCount();
    for (;;) {
        // A send may have changed what the caller waits for: it ends the wait too.
        if (HandleSends()) return true;
        source_->Pump(*this);
        int wait = -1;
        int timer = -1;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (HasWaiting()) return true;
            timer = TimeToNextTimer();
        }
        if (timeoutMs >= 0) {
            const uint32_t elapsed = GetTickCount() - start;
            if (elapsed >= uint32_t(timeoutMs)) return false;
            wait = timeoutMs - int(elapsed);
        }
        const bool timerFirst = timer >= 0 && (wait < 0 || timer < wait);
        if (timerFirst) wait = timer;
        // A wait that ran its full length without a timer cutting it short is the
        // timeout, whatever a driven clock says.
        if (!source_->Wait(wait) && !timerFirst) {
            std::lock_guard<std::mutex> lock(lock_);
            if (!HasWaiting()) return false;
        }
    }
}

void TMessageQueue::WaitServingSends(const std::function<bool()>& done, int pollMs) {
    for (;;) {
        HandleSends();
        source_->Pump(*this);
        if (done()) return;
        std::unique_lock<std::mutex> lock(lock_);
        served_.wait_for(lock, std::chrono::milliseconds(std::max(pollMs, 1)),
                         [this] { return woken_ || !sends_.empty(); });
        woken_ = false;
    }
}

void TMessageQueue::Wake() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        woken_ = true;
    }
    served_.notify_all();
    source_->Wake();
}

UINT_PTR TMessageQueue::SetTimer(HWND window, UINT_PTR id, UINT elapseMs) {
    std::lock_guard<std::mutex> lock(lock_);
    if (!windows_.count(window)) return 0;
    const uint32_t interval = std::max<UINT>(elapseMs, 1);
    const uint32_t due = GetTickCount() + interval;
    for (TTimer& timer : timers_)
        if (timer.Window == window && timer.Id == id) {
            timer.Interval = interval;
            timer.Due = due;
            return id;
        }
    timers_.push_back(TTimer{window, id, interval, due});
    return id;
}

bool TMessageQueue::KillTimer(HWND window, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(lock_);
    return std::erase_if(timers_, [&](const TTimer& t) { return t.Window == window && t.Id == id; }) > 0;
}

void TMessageQueue::InvalidateRect(HWND window, const TRect* rect) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    TWindowRecord& record = it->second;
    const TRect whole{0, 0, record.Bounds.Width(), record.Bounds.Height()};
    record.UpdateRect = UnionRect(record.UpdateRect, rect ? *rect : whole);
    record.PaintPending = true;
}

TRect TMessageQueue::BeginPaint(HWND window) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = windows_.find(window);
    if (it == windows_.end()) return TRect{};
    it->second.PaintPending = false;
    return std::exchange(it->second.UpdateRect, TRect{});
}

void TMessageQueue::Expose(HWND window) {
    std::vector<HWND> targets{window};
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (const auto& [handle, record] : windows_)
            if (record.Parent == window) targets.push_back(handle);
    }
    for (HWND target : targets) InvalidateRect(target, nullptr);
}

// --- The current queue ---

TMessageQueue& MessageQueue() {
    if (TMessageQueue* queue = installed.load(std::memory_order_acquire)) return *queue;
    // Made once and never freed: threads may still post to it while the process ends.
    static TMessageQueue* const queue = new TMessageQueue(std::make_unique<TSdlEventSource>());
    made.store(queue, std::memory_order_release);
    return *queue;
}

void SetMessageQueue(TMessageQueue* queue) { installed.store(queue, std::memory_order_release); }

namespace {

TMessageQueue* QueueInUse() {
    TMessageQueue* queue = installed.load(std::memory_order_acquire);
    return queue ? queue : made.load(std::memory_order_acquire);
}

}  // namespace

bool QuitOrInputPending(bool inputToo) {
    if (RunEndRequested()) return true;
    TMessageQueue* queue = QueueInUse();
    return queue && queue->QuitOrInputPending(inputToo);
}

void PostQueuedQuit() {
    if (TMessageQueue* queue = QueueInUse()) queue->PostQuitMessage(0);
}

void WakeQueuedGuiThread() {
    if (TMessageQueue* queue = QueueInUse()) queue->Wake();
}

TFakeMessageQueue::TFakeMessageQueue() : TMessageQueue(std::make_unique<TFakeEventSource>(*this)) {}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return MessageQueue().PostMessage(window, msg, wParam, lParam);
}
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return MessageQueue().SendMessage(window, msg, wParam, lParam);
}
bool PeekMessage(TMessage& msg, UINT removeMsg) { return MessageQueue().PeekMessage(msg, removeMsg); }
LRESULT DispatchMessage(const TMessage& msg) { return MessageQueue().DispatchMessage(msg); }
bool WaitMessage(int timeoutMs) { return MessageQueue().WaitMessage(timeoutMs); }
void PostQuitMessage(int exitCode) { MessageQueue().PostQuitMessage(exitCode); }
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs) { return MessageQueue().SetTimer(window, id, elapseMs); }
bool KillTimer(HWND window, UINT_PTR id) { return MessageQueue().KillTimer(window, id); }
HWND AllocateHWnd(TWndMethod proc) { return MessageQueue().CreateWindowHandle(std::move(proc)); }
void DeallocateHWnd(HWND window) { MessageQueue().DestroyWindowHandle(window); }
