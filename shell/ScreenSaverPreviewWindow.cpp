#include "shell/ScreenSaverPreviewWindow.h"

#include "platform/Window.h"

TScreenSaverPreviewWindowForm::TScreenSaverPreviewWindowForm() = default;

TScreenSaverPreviewWindowForm::TScreenSaverPreviewWindowForm(std::unique_ptr<TWindow> parent)
    : TPlayerWindowForm(std::move(parent)) {}

void TScreenSaverPreviewWindowForm::DefaultWndProc(TMessage& message) {
    if (message.Msg == WM_SYSCOMMAND && (message.WParam & 0xFFF0) == SC_MINIMIZE) {
        Window().Hide();
        return;
    }
    TPlayerWindowForm::DefaultWndProc(message);
}
