#include "shell/ScreenSaverPreviewPlayer.h"

#include "document/SlideShowPlayerProperties.h"
#include "platform/Window.h"
#include "shell/ScreenSaverPreviewWindow.h"

GC_IMPLEMENT_PLUGIN(TScreenSaverPreviewPlayer, TScreenSaverSlideShowPlayer)

TScreenSaverPreviewPlayer::TScreenSaverPreviewPlayer() { ApplyPreviewSettings(); }

void TScreenSaverPreviewPlayer::ApplyPreviewSettings() {
    TSlideShowPlayerProperties* settings = GetSettings();
    settings->FullScreen = false;
    settings->OnlyDueAtStart = true;
    TRect parent;
    if (PreviewParentWindow && WindowSystem().GetWindowRect(PreviewParentWindow, parent)) {
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
    if (!PreviewParentWindow) return std::make_unique<TScreenSaverPreviewWindowForm>();
    std::unique_ptr<TWindow> parent = WindowSystem().CreateForeignWindow(PreviewParentWindow);
    if (!parent) return nullptr;
    return std::make_unique<TScreenSaverPreviewWindowForm>(std::move(parent));
}
