// The preview's window: drawn into the window another program hands us (the desktop's
// settings panel), at its size, which it keeps.
#pragma once

#include "playback/PlayerWindow.h"

#include <cstdint>

class TScreenSaverPreviewWindowForm : public TPlayerWindowForm {
public:
    // Without a parent: the player window as its resource has it.
    TScreenSaverPreviewWindowForm();
    // Drawing into the parent's window, at the parent's size.
    explicit TScreenSaverPreviewWindowForm(std::unique_ptr<TWindow> parent);

    // The parent decides the size.
    void ApplyWindowedSize(TSlideShowPlayerProperties*) override {}

protected:
    // A minimise hides the preview instead.
    void DefaultWndProc(TMessage& message) override;
};
