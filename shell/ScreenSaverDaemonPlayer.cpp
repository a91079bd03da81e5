#include "shell/ScreenSaverDaemonPlayer.h"

#include "platform/DebugOutput.h"
#include "platform/Window.h"
#include "shell/ScreenSaverTools.h"

#include <string>

GC_IMPLEMENT_PLUGIN(TScreenSaverDaemonPlayer, TScreenSaverSlideShowPlayer)

TScreenSaverDaemonWindowForm::TScreenSaverDaemonWindowForm(std::unique_ptr<TWindow> window)
    : TPlayerWindowForm(std::move(window)) {}

TScreenSaverDaemonPlayer::TScreenSaverDaemonPlayer() = default;

TScreenSaverDaemonPlayer::TScreenSaverDaemonPlayer(uint64_t window) : DaemonWindow(window) {}

bool TScreenSaverDaemonPlayer::HandlePlayerMessage(TMessage& message) {
    switch (message.Msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
        return true;
    default:
        return TScreenSaverSlideShowPlayer::HandlePlayerMessage(message);
    }
}

std::unique_ptr<IPlayerWindow> TScreenSaverDaemonPlayer::CreateWindowForm() {
    if (!DaemonWindow) return nullptr;
    std::unique_ptr<TWindow> window = WindowSystem().CreateForeignWindow(DaemonWindow);
    if (!window) return nullptr;
    return std::make_unique<TScreenSaverDaemonWindowForm>(std::move(window));
}

bool TScreenSaverDaemonPlayer::MayStartPrograms() {
    if (!toldNoPrograms_) OutputDebugString("A daemon's run: the show's actions start no programs and open nothing");
    toldNoPrograms_ = true;
    return false;
}

TScreenSaverSlideShowPlayer* NewFullScreenPlayer(uint64_t daemonWindow) {
    if (daemonWindow) return new TScreenSaverDaemonPlayer(daemonWindow);
    return new TScreenSaverSlideShowPlayer();
}

bool DaemonWindowMissing(uint64_t window) {
    if (!IsDaemonCall()) return false;
    TRect rect;
    if (window && WindowSystem().GetWindowRect(window, rect)) return false;
    OutputDebugString("Screen-saver daemon: no window " + std::to_string(window));
    return true;
}

void ShowSaverMessageBox(const AnsiString& text, TMsgDlgType type) {
    if (IsDaemonCall())
        OutputDebugString("Screen-saver daemon's run: " + text);
    else
        ShowMessageBox(text, type);
}
