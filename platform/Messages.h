// Window messages as the program passes them around: one record for the queue, the window
// procedures and the player's message hook, the message numbers Windows gives them, the
// virtual-key codes and the layout of the key data and mouse parameters.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <functional>

using HWND = uintptr_t;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// {window, message, wParam, lParam}; Result is what a procedure answers to a send.
struct TMessage {
    HWND Window = 0;
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// A window procedure; the class library's WindowProc is one of these and can be replaced.
using TWndMethod = std::function<void(TMessage& Message)>;

// Message numbers.
constexpr UINT WM_SIZE = 5;
constexpr UINT WM_PAINT = 15;
constexpr UINT WM_CLOSE = 16;
constexpr UINT WM_QUIT = 18;
constexpr UINT WM_WINDOWPOSCHANGING = 70;
constexpr UINT WM_HELP = 83;
constexpr UINT WM_KEYDOWN = 256;
constexpr UINT WM_KEYUP = 257;
constexpr UINT WM_SYSKEYDOWN = 260;
constexpr UINT WM_SYSCOMMAND = 274;
constexpr UINT WM_TIMER = 275;
constexpr UINT WM_MOUSEMOVE = 512;
constexpr UINT WM_LBUTTONDOWN = 513;
constexpr UINT WM_RBUTTONDOWN = 516;
constexpr UINT WM_MBUTTONDOWN = 519;
constexpr UINT WM_USER = 1024;
constexpr UINT WM_APP = 0x8000;

// WM_SYSCOMMAND's wParam for a minimised window.
constexpr WPARAM SC_MINIMIZE = 0xF020;

// The player's private messages (WM_USER+3, +4 and +6 to +9 are accepted and ignored).
constexpr UINT WM_PLAYER_PAUSE = WM_USER + 1;
constexpr UINT WM_PLAYER_RESUME = WM_USER + 2;
constexpr UINT WM_PLAYER_STOP = WM_USER + 5;
constexpr UINT WM_PLAYER_JUMPTOTIME = WM_USER + 16;  // wParam: show time in ms; lParam != 0: prepare first

// Virtual-key codes. Letters are their capitals ('A' = 65 ... 'Z' = 90), digits their
// characters ('0' = 48 ... '9' = 57); a key without a code arrives as VK_UNKNOWN.
constexpr WPARAM VK_BACK = 8;
constexpr WPARAM VK_TAB = 9;
constexpr WPARAM VK_RETURN = 13;
constexpr WPARAM VK_SHIFT = 16;
constexpr WPARAM VK_CONTROL = 17;
constexpr WPARAM VK_MENU = 18;  // Alt
constexpr WPARAM VK_ESCAPE = 27;
constexpr WPARAM VK_SPACE = 32;
constexpr WPARAM VK_LEFT = 37;
constexpr WPARAM VK_UP = 38;
constexpr WPARAM VK_RIGHT = 39;
constexpr WPARAM VK_DOWN = 40;
constexpr WPARAM VK_F1 = 112;
constexpr WPARAM VK_F4 = 115;
constexpr WPARAM VK_F24 = 135;
constexpr WPARAM VK_UNKNOWN = 255;

// Key data (the lParam of key messages): bits 0-15 repeat count, 16-23 scan code,
// bit 29 Alt held, bit 30 the key was already down (auto-repeat).
constexpr LPARAM KF_ALTDOWN_MASK = LPARAM(1) << 29;
constexpr LPARAM KF_REPEAT_MASK = LPARAM(1) << 30;

inline LPARAM MakeKeyData(uint16_t repeatCount, uint8_t scanCode, bool altDown, bool repeat) {
    return LPARAM(repeatCount) | (LPARAM(scanCode) << 16) | (altDown ? KF_ALTDOWN_MASK : 0) |
           (repeat ? KF_REPEAT_MASK : 0);
}

// The shift state a key message's data carries: only Alt travels in it.
inline TShiftState KeyDataToShiftState(LPARAM keyData) {
    return (keyData & KF_ALTDOWN_MASK) != 0 ? TShiftState(ssAlt) : TShiftState(0);
}

// Mouse messages carry the client position as two signed 16-bit halves of lParam.
inline LPARAM MakeMouseLParam(int32_t x, int32_t y) {
    return LPARAM(uint32_t(uint16_t(int16_t(x))) | (uint32_t(uint16_t(int16_t(y))) << 16));
}
inline int32_t GetXLParam(LPARAM lParam) { return int16_t(uint16_t(uint32_t(lParam) & 0xFFFF)); }
inline int32_t GetYLParam(LPARAM lParam) { return int16_t(uint16_t(uint32_t(lParam) >> 16)); }
