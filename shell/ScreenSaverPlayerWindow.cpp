#include "shell/ScreenSaverPlayerWindow.h"

#include "platform/DebugOutput.h"
#include "platform/MessageQueue.h"
#include "platform/Window.h"
#include "shell/ScreenSaverSlideShowPlayer.h"
#include "shell/ScreenSaverTools.h"

#include <cstdlib>

TScreenSaverPlayerWindowForm::TScreenSaverPlayerWindowForm() = default;

TScreenSaverPlayerWindowForm::TScreenSaverPlayerWindowForm(std::unique_ptr<TWindow> window)
    : TPlayerWindowForm(std::move(window)) {}

void TScreenSaverPlayerWindowForm::WndProc(TMessage& message) {
    // Escape has the player post a close before the password is asked for; while a
    // password was refused that close must not end the show.
    const auto* player = dynamic_cast<const TScreenSaverSlideShowPlayer*>(Player);
    if (message.Msg == WM_CLOSE && player && !player->MayStop) return;
    TPlayerWindowForm::WndProc(message);
    CheckUserInput(message);
}

void TScreenSaverPlayerWindowForm::PaintBoxWndProc(TMessage& message) {
    CheckUserInput(message);
    TPlayerWindowForm::PaintBoxWndProc(message);
}

void TScreenSaverPlayerWindowForm::CheckUserInput(TMessage& message) {
    bool quit = false;
    switch (message.Msg) {
    case WM_KEYDOWN:
        message.WParam = 0;
        message.LParam = 0;
        quit = true;
        break;
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: quit = true; break;
    case WM_MOUSEMOVE: {
        // Where the cursor is now, not where the message says it was: a queue of moves
        // is judged by its last position.
        const TPoint screen = WindowSystem().GetCursorPos();
        const TPoint origin = Window().ClientOrigin();
        const TPoint pos{screen.X - origin.X, screen.Y - origin.Y};
        if (LastMousePos.X > 0 && LastMousePos.Y > 0 &&
            (std::abs(pos.X - LastMousePos.X) >= 6 || std::abs(pos.Y - LastMousePos.Y) >= 6))
            quit = true;
        LastMousePos = pos;
        break;
    }
    default: break;
    }
    if (!quit) return;
    TraceMoment("input-ends-run " + std::to_string(message.Msg));
    RequestQuit();
}

bool TScreenSaverPlayerWindowForm::PlayEndsAtOnce() {
    if (TPlayerWindowForm::PlayEndsAtOnce() || MessageQueue().QuitOrInputPending(true, false)) return true;
    if (!cursorAtStartKnown_) {
        cursorAtStart_ = WindowSystem().GetCursorPos();
        cursorAtStartKnown_ = true;
        return false;
    }
    // Only a waiting move makes the pointer worth asking for.
    if (!MessageQueue().QuitOrInputPending(true, true)) return false;
    const TPoint now = WindowSystem().GetCursorPos();
    return std::abs(now.X - cursorAtStart_.X) >= 6 || std::abs(now.Y - cursorAtStart_.Y) >= 6;
}

void TScreenSaverPlayerWindowForm::RequestQuit() {
    auto* player = dynamic_cast<TScreenSaverSlideShowPlayer*>(Player);
    if (!VerifyScreenSaverPassword(Handle())) {
        if (player) {
            player->MayStop = false;
            // A stop the same input set off before the password was asked (Escape in the
            // player's loop) is taken back; its close is dropped in WndProc.
            player->Stopping = false;
        }
        return;
    }
    if (player) player->MayStop = true;
    Close();
}
