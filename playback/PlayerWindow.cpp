#include "playback/PlayerWindow.h"

#include "document/SlideShowPlayerProperties.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/RunEnd.h"
#include "platform/Window.h"
#include "platform/WindowSurface.h"
#include "playback/PaintBoxPlacement.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <future>
#include <system_error>
#include <vector>

TWinPaintBox32::TWinPaintBox32() = default;

TWinPaintBox32::~TWinPaintBox32() {
    if (handle_) MessageQueue().DestroyWindowHandle(handle_);
}

void TWinPaintBox32::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    bounds_ = Bounds(left, top, std::max(width, 0), std::max(height, 0));
    if (handle_) MessageQueue().SetWindowBounds(handle_, bounds_);
    ResizeBuffer();
}

void TWinPaintBox32::CreateHandle(HWND parent) {
    if (handle_) MessageQueue().DestroyWindowHandle(handle_);
    handle_ = MessageQueue().CreateWindowHandle([this](TMessage& m) { WndProc(m); }, parent, bounds_);
}

TWndMethod TWinPaintBox32::GetWindowProc() const {
    return handle_ ? MessageQueue().GetWindowProc(handle_) : TWndMethod();
}

void TWinPaintBox32::SetWindowProc(TWndMethod proc) {
    if (handle_) MessageQueue().SetWindowProc(handle_, std::move(proc));
}

void TWinPaintBox32::WndProc(TMessage& message) {
    if (message.Msg == WM_PAINT) Paint();
}

void TWinPaintBox32::Paint() {
    ResizeBuffer();
    // Nothing paints the buffer here: the player's items draw into it between paints.
    TRect r = handle_ ? MessageQueue().BeginPaint(handle_) : invalidScreenRect_;
    ValidateScreen();
    r = IntersectRect(r, ClientRect());
    Present(r.IsEmpty() ? ClientRect() : r);
}

void TWinPaintBox32::ResizeBuffer() {
    int32_t width = Width(), height = Height();
    // The bitmap keeps no strip of zero height or width: neither does a buffer of one.
    if (width == 0 || height == 0) width = height = 0;
    if (buffer_.Width() == width && buffer_.Height() == height) return;
    buffer_.SetSizeForOverwrite(width, height);
    buffer_.Clear(clBlack32);
    bufferValid_ = false;
    ++bufferSerial_;
}

void TWinPaintBox32::Present(const TRect& r) {
    // The buffer has the box's size except while a resize is under way: cut to both.
    const TRect part = IntersectRect(IntersectRect(r, ClientRect()), buffer_.BoundsRect());
    if (!surface_ || part.IsEmpty()) return;
    surface_->Present(buffer_.Bits(), buffer_.Width(), buffer_.Width(), buffer_.Height(), bounds_.TopLeft(), &part,
                      1);
}

void TWinPaintBox32::Flush() { Present(ClientRect()); }

void TWinPaintBox32::Flush(const TRect& r) { Present(r); }

void TWinPaintBox32::InvalidateBufferRect(const TRect& r) {
    if (dirtyRect_.Left == dirtyRect_.Right)
        dirtyRect_ = r;
    else if (r.Left != r.Right)
        dirtyRect_ = UnionRect(dirtyRect_, r);
    bufferValid_ = false;
}

void TWinPaintBox32::InvalidateBuffer() {
    dirtyRect_ = ClientRect();
    bufferValid_ = false;
}

void TWinPaintBox32::InvalidateScreenRect(const TRect& r) {
    // Right and bottom lie outside the box, so they are cut at Width and Height.
    const TRect part = IntersectRect(r, ClientRect());
    if (part.IsEmpty()) return;
    invalidScreenRect_ = UnionRect(invalidScreenRect_, part);
    if (handle_) MessageQueue().InvalidateRect(handle_, &part);
}

void TWinPaintBox32::InvalidateScreen() { InvalidateScreenRect(ClientRect()); }

void TWinPaintBox32::InvalidateParts(bool screen, bool buffer) {
    if (buffer) InvalidateBuffer();
    if (screen) InvalidateScreen();
}

void TWinPaintBox32::ValidateBuffer() {
    bufferValid_ = true;
    dirtyRect_ = TRect{};
}

// ---- the form ----

namespace {

// The form's resource: its place and size as stored, and its paint box.
constexpr int32_t kDesignLeft = 344, kDesignTop = 234, kDesignWidth = 521, kDesignHeight = 372;
constexpr TRect kDesignPaintBox{16, 16, 16 + 301, 16 + 189};
const char* const kCaption = "Lumivor-Player";

// One black row that stands for a whole black image: a row stride of 0 repeats it.
void PresentBlack(IWindowSurface& surface, TSize client, const std::vector<TRect>& rects) {
    if (client.cx <= 0 || client.cy <= 0 || rects.empty()) return;
    const std::vector<uint32_t> row(size_t(client.cx), 0xFF000000u);
    surface.Present(row.data(), 0, client.cx, client.cy, TPoint{0, 0}, rects.data(), int32_t(rects.size()));
}

}  // namespace

TPlayerWindowForm::TPlayerWindowForm() : window_(WindowSystem().CreateWindow(kDesignWidth, kDesignHeight)) {
    window_->SetPosition(kDesignLeft, kDesignTop);
    Construct();
}

TPlayerWindowForm::TPlayerWindowForm(std::unique_ptr<TWindow> window) : window_(std::move(window)) {
    if (!window_) throw Exception("Kein Fenster");
    Construct();
}

void TPlayerWindowForm::Construct() {
    Font = TFont{"MS Sans Serif", -11, 0, 0};
    window_->SetCaption(kCaption);
    MessageQueue().SetWindowProc(window_->Handle(), [this](TMessage& m) { WndProc(m); });
    PaintBox.SetBoundsRect(kDesignPaintBox);
    PaintBox.CreateHandle(window_->Handle());
    PaintBox.SetSurface(&window_->Surface());
    SavedPaintBoxWindowProc = PaintBox.GetWindowProc();
    clientSize_ = window_->ClientSize();
}

TPlayerWindowForm::~TPlayerWindowForm() {
    // The box's window goes before the form's, whose surface it draws on.
    PaintBox.SetSurface(nullptr);
}

HWND TPlayerWindowForm::Handle() const { return window_->Handle(); }

TRect TPlayerWindowForm::ClientRect() const {
    const TSize size = window_->ClientSize();
    return TRect{0, 0, size.cx, size.cy};
}

bool TPlayerWindowForm::Visible() const { return window_->Visible(); }

void TPlayerWindowForm::InstallWindowProcs() {
    MessageQueue().SetWindowProc(Handle(), [this](TMessage& m) { WndProc(m); });
    PaintBox.SetWindowProc([this](TMessage& m) { PaintBoxWndProc(m); });
}

void TPlayerWindowForm::WndProc(TMessage& message) {
    if (MessageHook && MessageHook(message)) return;
    DefaultWndProc(message);
}

void TPlayerWindowForm::PaintBoxWndProc(TMessage& message) {
    if (MessageHook && MessageHook(message)) return;
    if (SavedPaintBoxWindowProc) SavedPaintBoxWindowProc(message);
}

void TPlayerWindowForm::DefaultWndProc(TMessage& message) {
    switch (message.Msg) {
    case WM_CLOSE: Close(); break;
    case WM_PAINT:
        MessageQueue().BeginPaint(Handle());
        PaintBackground();
        break;
    default: break;
    }
}

void TPlayerWindowForm::Close() {
    if (modal_) {
        ModalResult = mrCancel;
        return;
    }
    TCloseAction action = TCloseAction::caHide;
    if (OnClose) OnClose(action);
    if (action == TCloseAction::caHide || action == TCloseAction::caFree) window_->Hide();
}

void TPlayerWindowForm::PaintBackground() {
    const TRect client = ClientRect();
    const TRect box = IntersectRect(PaintBox.BoundsRect(), client);
    std::vector<TRect> rects;
    if (box.IsEmpty()) {
        rects.push_back(client);
    } else {
        rects = {TRect{0, 0, client.Right, box.Top}, TRect{0, box.Bottom, client.Right, client.Bottom},
                 TRect{0, box.Top, box.Left, box.Bottom}, TRect{box.Right, box.Top, client.Right, box.Bottom}};
        std::erase_if(rects, [](const TRect& r) { return r.IsEmpty(); });
    }
    PresentBlack(window_->Surface(), TSize{client.Right, client.Bottom}, rects);
}

void TPlayerWindowForm::ApplyWindowedSize(TSlideShowPlayerProperties* settings) {
    window_->SetFullScreen(false);
    // Stored sizes below 1 would make no window at all.
    const int32_t clientWidth = std::max(settings ? settings->ClientWidth : 800, 1);
    const int32_t clientHeight = std::max(settings ? settings->ClientHeight : 600, 1);
    window_->SetClientSize(clientWidth, clientHeight);
    const TRect work = WindowSystem().GetWorkArea();
    const TRect outer = window_->GetWindowRect();
    const int32_t width = std::min(outer.Width(), work.Width());
    const int32_t height = std::min(outer.Height(), work.Height());
    // The frame stays; the client gives up what the window loses.
    window_->SetClientSize(clientWidth - (outer.Width() - width), clientHeight - (outer.Height() - height));
    window_->SetPosition((work.Width() - width) / 2, (work.Height() - height) / 2);
}

void TPlayerWindowForm::AlignPaintBox() {
    aligned_ = true;
    clientSize_ = window_->ClientSize();
    PaintBox.SetBoundsRect(PaintBoxPlacement(SlideShow, ClientRect()));
    PaintBackground();
}

void TPlayerWindowForm::CheckClientSize() {
    const TSize size = window_->ClientSize();
    if (aligned_ && (size.cx != clientSize_.cx || size.cy != clientSize_.cy)) AlignPaintBox();
}

void TPlayerWindowForm::Setup(TSlideShowPlayer* player, TSlideShow* show, TSlideShowPlayerProperties* settings) {
    Player = player;
    SlideShow = show;
    Settings = settings;
    if (settings && settings->FullScreen)
        window_->SetFullScreen(true);
    else
        ApplyWindowedSize(settings);
    AlignPaintBox();
    TMessage msg;
    while (PumpMessage(msg)) {
    }
    PaintBox.ResizeBuffer();
}

void TPlayerWindowForm::SetMessageHook(std::function<bool(TMessage&)> hook) { MessageHook = std::move(hook); }

void TPlayerWindowForm::SetOnMessageLoop(std::function<void()> method) { OnMessageLoop = std::move(method); }

bool TPlayerWindowForm::PumpMessage(TMessage& msg) {
    if (!MessageQueue().PeekMessage(msg, PM_REMOVE)) return false;
    if (msg.Msg == WM_QUIT)
        MessageQueue().Terminate();
    else
        MessageQueue().DispatchMessage(msg);
    return true;
}

void TPlayerWindowForm::CloseModal() {
    TCloseAction action = TCloseAction::caHide;
    if (OnClose) OnClose(action);
    if (action == TCloseAction::caNone) ModalResult = mrNone;
}

void TPlayerWindowForm::PostMessage(const TMessage& message) {
    MessageQueue().PostMessage(message.Window ? message.Window : Handle(), message.Msg, message.WParam,
                               message.LParam);
}

void TPlayerWindowForm::SendMessage(TMessage& message) {
    message.Result = MessageQueue().SendMessage(message.Window ? message.Window : Handle(), message.Msg,
                                                message.WParam, message.LParam);
}

void TPlayerWindowForm::DrawFrameRate(const AnsiString& text) {
    // Written on the window at the box's corner, over whatever the last flush showed, as
    // a fresh canvas writes: black on a white cell.
    TBitmap32 cell;
    cell.Font = Font;
    const TSize size = cell.TextExtent(text);
    if (size.cx <= 0 || size.cy <= 0) return;
    cell.SetSize(size.cx, size.cy);
    cell.Clear(clWhite32);
    cell.Textout(0, 0, text);
    const TRect part = IntersectRect(cell.BoundsRect(), PaintBox.ClientRect());
    if (part.IsEmpty()) return;
    window_->Surface().Present(cell.Bits(), cell.Width(), cell.Width(), cell.Height(), PaintBox.BoundsRect().TopLeft(),
                               &part, 1);
}

void TPlayerWindowForm::WaitForNextTick(uint32_t frameStart, int32_t refreshInterval) {
    const int32_t next = Player ? Player->TimeToNextTick() : 0;
    if (next < 0) {
        MessageQueue().WaitMessage(-1);
    } else if (next > 0) {
        MessageQueue().WaitMessage(next);
    } else {
        // A frame sooner than the display's next one would never be seen.
        const int32_t spent = int32_t(GetTickCount() - frameStart);
        if (spent < refreshInterval) MessageQueue().WaitMessage(refreshInterval - spent);
    }
}

void TPlayerWindowForm::RevealWhile(const std::function<void()>& prepare) {
    if (Visible() || modal_) return prepare();
    TMessageQueue& queue = MessageQueue();
    std::atomic<bool> finished{false};
    std::future<void> prepared;
    try {
        prepared = std::async(std::launch::async, [&] {
            struct TTell {
                std::atomic<bool>& Finished;
                TMessageQueue& Queue;
                ~TTell() {
                    Finished = true;
                    Queue.Wake();
                }
            } tell{finished, queue};
            prepare();
        });
    } catch (const std::system_error&) {
        // No thread to spare: the window maps with the loop.
        return prepare();
    }
    // Only the window system's calls run here meanwhile, and the answers to what the
    // preparation sends to this thread's windows (a video's control sends its size): the
    // preparation touches neither the window nor its messages but through the queue.
    std::exception_ptr showFailed;
    try {
        window_->Show();
        revealed_ = true;
    } catch (...) {
        showFailed = std::current_exception();
    }
    // An end that waits for the loop stops the preparation at its next step: the loop
    // then ends before its first frame.
    queue.WaitServingSends([&] {
        if (!RunEndRequested() && PlayEndsAtOnce()) RequestRunEnd();
        return finished.load();
    });
    prepared.get();
    if (showFailed) std::rethrow_exception(showFailed);
}

bool TPlayerWindowForm::PlayEndsAtOnce() {
    return MessageQueue().Terminated() || MessageQueue().QuitOrInputPending(false) || window_->Vanished();
}

int32_t TPlayerWindowForm::RunModalLoop() {
    if ((Visible() && !revealed_) || modal_)
        throw EInvalidOperation("Aus einem sichtbaren Fenster kann kein modales gemacht werden");
    WindowSystem().ReleaseCapture();
    // The pointer's shape goes back to the default only: a pointer the shell hid stays
    // hidden, so there is nothing to do here.
    modal_ = true;
    struct TLeave {
        TPlayerWindowForm* Form;
        ~TLeave() {
            Form->window_->Hide();
            Form->modal_ = false;
            Form->revealed_ = false;
        }
    } leave{this};
    window_->Show();
    FormActivate();
    ModalResult = mrNone;
    InstallWindowProcs();
    // The clocks start before what was posted meanwhile is handled, so that a jump
    // posted before the loop is not undone by the start.
    if (Player) Player->StartAt(Player->StartPosition);
    TMessage msg;
    while (PumpMessage(msg)) {
    }
    CheckClientSize();
    if (!OnMessageLoop) throw Exception("OnMessageLoop = nil!");
    // Whole milliseconds, rounded up: a frame before the display has shown the last one
    // is never seen.
    const int32_t rate = std::max(WindowSystem().DisplayRefreshRate(), 1);
    const int32_t refreshInterval = (1000 + rate - 1) / rate;
    // A quit, the run's end, or a window destroyed from outside, ends the play; one that
    // came before the loop ends it before its first frame, which would only prepare again
    // what the end stopped.
    const auto ended = [&] {
        if (MessageQueue().Terminated() || RunEndRequested() || window_->Vanished())
            ModalResult = mrCancel;
        else if (ModalResult != mrNone)
            CloseModal();
        return ModalResult != mrNone;
    };
    while (!ended()) {
        const uint32_t frameStart = GetTickCount();
        OnMessageLoop();
        if (!PumpMessage(msg)) WaitForNextTick(frameStart, refreshInterval);
        CheckClientSize();
    }
    return ModalResult;
}
