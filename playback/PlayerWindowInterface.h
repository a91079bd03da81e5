// The window a player plays in, as the player sees it, and the one message of our own
// that the player posts to it.
#pragma once

#include "platform/Messages.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>

class TSlideShow;
class TSlideShowPlayer;
class TSlideShowPlayerProperties;
class TWinPaintBox32;

// Our own message: it only ends the loop's wait, so that a tick takes up what another
// thread finished.
constexpr UINT WM_PLAYER_WAKE = WM_APP + 1;

// The window a player plays in, as the player sees it: the paint box its items draw
// into and the window's message queue. The player window form and the off-screen host
// fill it in.
class IPlayerWindow {
public:
    virtual ~IPlayerWindow() = default;
    // Sizes and places the window and its paint box for the show and sizes the back
    // buffer to the paint box.
    virtual void Setup(TSlideShowPlayer* player, TSlideShow* show, TSlideShowPlayerProperties* settings) = 0;
    virtual TWinPaintBox32* GetPaintBox() = 0;
    virtual void PostMessage(const TMessage& message) = 0;
    virtual void SendMessage(TMessage& message) = 0;
    // Shows the frame-rate text on the window itself, not in the back buffer.
    virtual void DrawFrameRate(const AnsiString& text) = 0;
    virtual void SetOnMessageLoop(std::function<void()> step) = 0;
    virtual void SetMessageHook(std::function<bool(TMessage&)> hook) = 0;
    // Runs until the window closes.
    virtual int32_t RunModalLoop() = 0;
    // Runs prepare (the preparation before the first frame); a window not yet on screen
    // maps meanwhile, black, so that the first frame finds it mapped. Returns when both
    // are done, with prepare's exception if it threw.
    virtual void RevealWhile(const std::function<void()>& prepare) { prepare(); }
    // Ends the loop's wait at once, from any thread: a message through the window's queue
    // that the player takes and ignores.
    virtual void Wake() { PostMessage(TMessage{0, WM_PLAYER_WAKE, 0, 0, 0}); }
};
