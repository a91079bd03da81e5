#include "shell/ScreenSaverPreviewPlayer.h"

#include "document/SlideShowPlayerProperties.h"
#include "platform/Window.h"
#include "shell/ScreenSaverPreviewWindow.h"

GC_IMPLEMENT_PLUGIN(TScreenSaverPreviewPlayer, TScreenSaverSlideShowPlayer)

TScreenSaverPreviewPlayer::TScreenSaverPreviewPlayer(uint64_t parentWindow) : ParentWindow(parentWindow) {
    ApplyPreviewSettings();
}

void TScreenSaverPreviewPlayer::ApplyPreviewSettings() {
    TSlideShowPlayerProperties* settings = GetSettings();
    settings->FullScreen = false;
    settings->OnlyDueAtStart = true;
    TRect parent;
    if (ParentWindow && WindowSystem().GetWindowRect(ParentWindow, parent)) {
        settings->ClientWidth = parent.Width();
        settings->ClientHeight = parent.Height();
    }
}

void TScreenSaverPreviewPlayer::SetProperties(const TProperties* given) {
    TScreenSaverSlideShowPlayer::SetProperties(given);
    ApplyPreviewSettings();
}

void TScreenSaverPreviewPlayer::MessageLoopStep() {
    TScreenSaverSlideShowPlayer::MessageLoopStep();
    // The application's idle processing would run once here; this program has none.
    FirstTick = false;
}

std::unique_ptr<IPlayerWindow> TScreenSaverPreviewPlayer::CreateWindowForm() {
    if (!ParentWindow) return std::make_unique<TScreenSaverPreviewWindowForm>();
    std::unique_ptr<TWindow> parent = WindowSystem().CreateForeignWindow(ParentWindow);
    if (!parent) return nullptr;
    return std::make_unique<TScreenSaverPreviewWindowForm>(std::move(parent));
}
