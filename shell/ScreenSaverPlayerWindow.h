// The full-screen run's window: the player window that ends the show on the first key,
// mouse button or real mouse movement, once the screen-saver password allows it.
#pragma once

#include "playback/PlayerWindow.h"

class TScreenSaverPlayerWindowForm : public TPlayerWindowForm {
public:
    TScreenSaverPlayerWindowForm();
    explicit TScreenSaverPlayerWindowForm(std::unique_ptr<TWindow> window);

    // The player's handling first, then the input check.
    void WndProc(TMessage& message) override;
    // The input check first: the key data it clears is what the box's handling sees.
    void PaintBoxWndProc(TMessage& message) override;
    // Keys, system keys, mouse buttons and moves of 6 pixels or more from the last
    // recorded position ask to quit. A key's data is cleared.
    virtual void CheckUserInput(TMessage& message);
    // A key or a mouse button waiting ends the play too, and so does a move once the
    // pointer lies 6 pixels or more from where it was at the first question (a window
    // mapping under a still pointer reports moves too).
    bool PlayEndsAtOnce() override;
    // Asks for the password; refused, the player's stops are dropped and the show goes
    // on; accepted, the form closes.
    void RequestQuit();

    // The cursor's last position in client coordinates; a coordinate of 0 or less counts
    // as none recorded.
    TPoint LastMousePos{-1, -1};

private:
    bool cursorAtStartKnown_ = false;
    TPoint cursorAtStart_;
};
