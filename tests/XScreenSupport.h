// Looking at an X server's screen from a test (under Xvfb): screenshots of the whole
// screen or of one window, and comparisons with pictures a render made.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/Image32.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

// What the window (the root window: the whole screen) shows, as 0xFFRRGGBB pixels;
// empty when it cannot be read.
inline TImage32 Screenshot(Display* display, ::Window window = 0) {
    if (!window) window = DefaultRootWindow(display);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, window, &a)) return TImage32();
    XImage* x = XGetImage(display, window, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!x) return TImage32();
    TImage32 image(a.width, a.height);
    for (int y = 0; y < a.height; ++y)
        for (int i = 0; i < a.width; ++i) image.SetPixel(i, y, 0xFF000000u | uint32_t(XGetPixel(x, i, y) & 0xFFFFFF));
    XDestroyImage(x);
    return image;
}

// Each channel within 1 of the other's.
inline bool NearPixel(uint32_t p, uint32_t q, int tolerance = 1) {
    for (int s : {0, 8, 16})
        if (std::abs(int(p >> s & 0xFF) - int(q >> s & 0xFF)) > tolerance) return false;
    return true;
}

// The same size, every pixel within 1 per channel.
inline bool Near(const TImage32& a, const TBitmap32& b) {
    if (a.Width != b.Width() || a.Height != b.Height()) return false;
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x)
            if (!NearPixel(a.Pixel(x, y), b.Pixel(x, y))) return false;
    return true;
}

// What a window manager sends when the user closes a window.
inline void AskToClose(Display* d, unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &e);
    XFlush(d);
}
