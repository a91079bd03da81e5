// Test videos written at test time through FFmpeg's own encoders: colour bars in the
// upper two thirds, the frame number in eight black or white blocks (bit 7 first) in
// the lower third.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The encoder follows the extension: MPEG-4 in .avi, MJPEG in .mov, MPEG-1 in .mpg and
// .mpeg, WMV2 in .wmv. False (with the reason) when writing fails.
bool WriteTestVideo(const std::string& path, int width, int height, int frames, int fps = 25,
                    std::string* error = nullptr);

// The colour written at (x, y) of a frame, 0xFFRRGGBB.
uint32_t TestVideoColor(int frame, int x, int y, int width, int height);

// The frame number read back from a picture of the video, through pixel(x, y) answering
// 0xAARRGGBB; -1 when a block is neither clearly black nor clearly white.
int ReadTestFrameNumber(int width, int height, const std::function<uint32_t(int x, int y)>& pixel);

// The bars' centres, to compare colours away from the edges where codecs blur.
int TestBarCenterX(int bar, int width);
int TestBarCenterY(int height);
constexpr int kTestBars = 8;

// Whether every bar's centre in a picture of the frame, read through pixel(x, y), is
// within tolerance of the colour written; the first that is not goes to mismatch.
bool TestBarsMatch(int frame, int width, int height, const std::function<uint32_t(int x, int y)>& pixel,
                   int tolerance, std::string* mismatch = nullptr);

// Runs the current message queue's loop until done() answers true; false when timeoutMs
// pass first.
bool RunMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs = 10000);
void RunMessagesFor(uint32_t ms);
