#include "platform/Window.h"

#include "platform/MessageQueue.h"

#include <algorithm>

TWindow::TWindow() : handle_(MessageQueue().CreateWindowHandle(nullptr)) {}

TWindow::~TWindow() { MessageQueue().DestroyWindowHandle(handle_); }

// --- The fake ---

TFakeWindowSystem::TFakeWindow::TFakeWindow(TFakeWindowSystem& system, int32_t width, int32_t height,
                                            uint64_t foreignId)
    : system_(system), foreignId_(foreignId), surface_(width, height) {
    auto foreign = system.foreign_.find(foreignId);
    windowed_ = foreign != system.foreign_.end()
                    ? foreign->second
                    : TRect{0, 0, width + system.FrameLeft + system.FrameRight,
                            height + system.FrameTop + system.FrameBottom};
    system_.Windows.push_back(this);
}

TFakeWindowSystem::TFakeWindow::~TFakeWindow() { std::erase(system_.Windows, this); }

// A new client size starts a new, black surface, as SDL's does.
void TFakeWindowSystem::TFakeWindow::SyncSurface() {
    const TSize size = ClientSize();
    if (size.cx != surface_.Image().Width || size.cy != surface_.Image().Height)
        surface_.SetClientSize(size.cx, size.cy);
}

void TFakeWindowSystem::TFakeWindow::SetFullScreen(bool fullScreen) {
    if (foreignId_) return;
    fullScreen_ = fullScreen;
    SyncSurface();
}

void TFakeWindowSystem::TFakeWindow::SetClientSize(int32_t width, int32_t height) {
    if (foreignId_) return;
    width = std::max(width, 1);
    height = std::max(height, 1);
    windowed_.Right = windowed_.Left + width + system_.FrameLeft + system_.FrameRight;
    windowed_.Bottom = windowed_.Top + height + system_.FrameTop + system_.FrameBottom;
    SyncSurface();
}

void TFakeWindowSystem::TFakeWindow::SetPosition(int32_t left, int32_t top) {
    if (foreignId_) return;
    windowed_ = Bounds(left, top, windowed_.Width(), windowed_.Height());
}

TRect TFakeWindowSystem::TFakeWindow::GetWindowRect() const {
    return fullScreen_ ? system_.Screen : windowed_;
}

TSize TFakeWindowSystem::TFakeWindow::ClientSize() const {
    if (fullScreen_) return TSize{system_.Screen.Width(), system_.Screen.Height()};
    if (foreignId_) return TSize{windowed_.Width(), windowed_.Height()};
    return TSize{windowed_.Width() - system_.FrameLeft - system_.FrameRight,
                 windowed_.Height() - system_.FrameTop - system_.FrameBottom};
}

TPoint TFakeWindowSystem::TFakeWindow::ClientOrigin() const {
    if (fullScreen_) return system_.Screen.TopLeft();
    if (foreignId_) return windowed_.TopLeft();
    return TPoint{windowed_.Left + system_.FrameLeft, windowed_.Top + system_.FrameTop};
}

void TFakeWindowSystem::TFakeWindow::Vanish() {
    if (vanished_) return;
    vanished_ = true;
    MessageQueue().PostMessage(Handle(), WM_CLOSE, 0, 0);
}

std::unique_ptr<TWindow> TFakeWindowSystem::CreateWindow(int32_t clientWidth, int32_t clientHeight) {
    auto window = std::make_unique<TFakeWindow>(*this, std::max(clientWidth, 1), std::max(clientHeight, 1), 0);
    return std::unique_ptr<TWindow>(std::move(window));
}

std::unique_ptr<TWindow> TFakeWindowSystem::CreateForeignWindow(uint64_t id) {
    auto it = foreign_.find(id);
    if (id == 0 || it == foreign_.end()) return nullptr;
    return std::make_unique<TFakeWindow>(*this, it->second.Width(), it->second.Height(), id);
}

bool TFakeWindowSystem::GetWindowRect(uint64_t id, TRect& rect) {
    auto it = foreign_.find(id);
    if (it == foreign_.end()) return false;
    rect = it->second;
    return true;
}

void TFakeWindowSystem::AddForeignWindow(uint64_t id, const TRect& rect) { foreign_[id] = rect; }

void TFakeWindowSystem::DestroyForeignWindow(uint64_t id) {
    foreign_.erase(id);
    for (TFakeWindow* window : Windows)
        if (window->ForeignId() == id) window->Vanish();
}
