#include "video_testsupport.h"

#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "tools/VideoWriter.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kBars[kTestBars] = {0xFFFFFFFF, 0xFFFFFF00, 0xFF00FFFF, 0xFF00FF00,
                                       0xFFFF00FF, 0xFFFF0000, 0xFF0000FF, 0xFF000000};

}  // namespace

int TestBarCenterX(int bar, int width) { return (2 * bar + 1) * width / (2 * kTestBars); }
int TestBarCenterY(int height) { return height / 3; }

uint32_t TestVideoColor(int frame, int x, int y, int width, int height) {
    if (y < height * 2 / 3) return kBars[std::min(x * kTestBars / width, kTestBars - 1)];
    const int bit = 7 - std::min(x * 8 / width, 7);
    return (frame >> bit) & 1 ? 0xFFFFFFFF : 0xFF000000;
}

bool TestBarsMatch(int frame, int width, int height, const std::function<uint32_t(int x, int y)>& pixel,
                   int tolerance, std::string* mismatch) {
    for (int bar = 0; bar < kTestBars; ++bar) {
        const int x = TestBarCenterX(bar, width), y = TestBarCenterY(height);
        const uint32_t got = pixel(x, y), want = TestVideoColor(frame, x, y, width, height);
        for (int shift : {0, 8, 16})
            if (std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) {
                if (mismatch) *mismatch = "bar " + std::to_string(bar);
                return false;
            }
    }
    return true;
}

bool RunMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint32_t start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        TMessage m;
        if (PeekMessage(m)) DispatchMessage(m);
        else WaitMessage(5);
    }
    return true;
}

void RunMessagesFor(uint32_t ms) {
    const uint32_t start = GetTickCount();
    RunMessagesUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

int ReadTestFrameNumber(int width, int height, const std::function<uint32_t(int x, int y)>& pixel) {
    int n = 0;
    const int y = height * 5 / 6;
    for (int i = 0; i < 8; ++i) {
        const uint32_t c = pixel((2 * i + 1) * width / 16, y);
        const int luma = (int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF)) / 3;
        if (luma > 170) n = n * 2 + 1;
        else if (luma < 85) n = n * 2;
        else return -1;
    }
    return n;
}

bool WriteTestVideo(const std::string& path, int width, int height, int frames, int fps, std::string* error) {
    return videowriter::WriteVideo(
        path, width, height, frames, fps,
        [&](int n, std::vector<uint8_t>& rgb) {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const uint32_t c = TestVideoColor(n, x, y, width, height);
                    uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
                    p[0] = uint8_t(c >> 16);
                    p[1] = uint8_t(c >> 8);
                    p[2] = uint8_t(c);
                }
        },
        error);
}
