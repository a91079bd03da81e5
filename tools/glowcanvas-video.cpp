// Writes the demo's video: drifting waves of colour, MPEG-4 in AVI (the encoder follows
// the extension, see tools/VideoWriter.h). The same call writes the same frames.

#include "tools/ToolCalls.h"
#include "tools/VideoWriter.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: glowcanvas-video OUT [--size WxH] [--seconds N]\n"
    "           waves of colour, 25 frames a second (default 640x400, 4 s); the encoder\n"
    "           follows OUT's extension: .avi, .mov, .mpg, .mpeg or .wmv\n"
    "       glowcanvas-video --help\n";

int WrongCall(const std::string& why) { return ::WrongCall("glowcanvas-video", kUsage, why); }

// Three interfering waves, one per channel, drifting with time; even sizes only, as
// the 4:2:0 encoders want them.
void Paint(int n, int width, int height, std::vector<uint8_t>& rgb) {
    const double t = n / 25.0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const double r = std::sin(6.0 * u + 2.0 * std::sin(3.0 * v + t) + 1.3 * t);
            const double g = std::sin(5.0 * v + 3.0 * std::cos(2.0 * u - 0.7 * t) + 0.5);
            const double b = std::sin(7.0 * std::hypot(u - 0.5, v - 0.5) - 2.0 * t);
            uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            p[0] = uint8_t(150 + 100 * r);
            p[1] = uint8_t(110 + 90 * g);
            p[2] = uint8_t(160 + 90 * b);
        }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (AsksForHelp(args, kUsage)) return 0;
    long long width = 640, height = 400, seconds = 4;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--size" && i + 1 < args.size()) {
            const std::string& s = args[++i];
            const size_t x = s.find('x');
            if (x == std::string::npos || !ParseNumber(s.substr(0, x), 2, 4096, width) ||
                !ParseNumber(s.substr(x + 1), 2, 4096, height) || width % 2 || height % 2)
                return WrongCall("--size takes WxH with even numbers, not " + s);
        } else if (a == "--seconds" && i + 1 < args.size()) {
            if (!ParseNumber(args[++i], 1, 600, seconds)) return WrongCall("--seconds takes 1 to 600, not " + args[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return WrongCall("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 1) return WrongCall("one output file, please");
    if (videowriter::CodecFor(files[0]) == AV_CODEC_ID_NONE)
        return WrongCall("no video kind for " + files[0] + ": .avi, .mov, .mpg, .mpeg or .wmv");
    std::string error;
    const int w = int(width), h = int(height);
    if (!videowriter::WriteVideo(files[0], w, h, int(seconds) * 25, 25,
                                 [&](int n, std::vector<uint8_t>& rgb) { Paint(n, w, h, rgb); }, &error)) {
        std::cerr << "glowcanvas-video: " << files[0] << ": " << error << "\n";
        return 1;
    }
    return 0;
}
