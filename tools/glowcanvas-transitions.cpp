// glowcanvas-transitions: the transitions as pictures, for review without a player.
//   glowcanvas-transitions sheet OUT.png [--size WxH] [--seed N]
//       every registered transition in registration order, one row per class: its caption,
//       then cells at 20, 40, 60 and 80 % of its duration; WxH is the size of one cell
//       (default 240x180)
//   glowcanvas-transitions frames CLASS DIR [--size WxH] [--fps N]
//       one run of CLASS from 0 to one frame past its duration as DIR/frame-0000.png ...
//       (default 640x480 at 25 frames per second)
// Each transition reveals a generated test card over a dark checkerboard. Paths on the
// command line reach the file system as typed. Exit status 0 when the job is done, 1 when
// it failed (the reason on stderr), 2 for a wrong call.

#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "graphics/GraphicsModules.h"
#include "graphics/PngWriter.h"
#include "platform/AtomicFile.h"
#include "platform/Charset.h"
#include "platform/Random.h"
#include "transitions/TransitionModules.h"
#include "transitions/TransitionPlugin.h"
#include "tools/ToolCalls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: glowcanvas-transitions sheet OUT.png [--size WxH] [--seed N]\n"
    "       glowcanvas-transitions frames CLASS DIR [--size WxH] [--fps N]\n"
    "       glowcanvas-transitions --help\n"
    "  sheet   every transition at 20, 40, 60 and 80 % of its duration, one row per class\n"
    "          in registration order; --size is one cell (default 240x180), --seed the\n"
    "          random generator's start (default 1)\n"
    "  frames  one run of the transition CLASS as DIR/frame-0000.png ...; --size is the\n"
    "          frame (default 640x480), --fps the frame rate (default 25)\n";

constexpr int kMaxSide = 16384;
constexpr int kSheetPercents[] = {20, 40, 60, 80};
constexpr int kSheetMargin = 8;
constexpr int kCaptionWidth = 184;
constexpr TColor32 kGutter = Color32(0x44, 0x44, 0x48);
constexpr TColor32 kDarkA = Color32(0x10, 0x10, 0x14);
constexpr TColor32 kDarkB = Color32(0x1C, 0x1C, 0x22);

// A failure the tool words itself, in UTF-8 (what the layers below raise is Windows-1252).
struct TToolFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TOptions {
    std::vector<std::string> Args;  // the command and its operands
    int Width = 0, Height = 0;      // 0: the command's default
    std::optional<uint64_t> Seed;
    std::optional<int> Fps;
};

bool ParseInt(const std::string& s, uint64_t max, uint64_t& value) {
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoull(s);
    return value <= max;
}

bool ParseSize(const std::string& s, int& w, int& h) {
    const size_t x = s.find_first_of("xX");
    uint64_t a = 0, b = 0;
    if (x == std::string::npos || !ParseInt(s.substr(0, x), kMaxSide, a) || !ParseInt(s.substr(x + 1), kMaxSide, b) ||
        a == 0 || b == 0)
        return false;
    w = int(a);
    h = int(b);
    return true;
}

// What is wrong with the call; empty when it fits a command.
std::string ParseArguments(const std::vector<std::string>& args, TOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--size" || a == "--seed" || a == "--fps") {
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string& v = args[++i];
            uint64_t n = 0;
            if (a == "--size") {
                if (!ParseSize(v, o.Width, o.Height))
                    return "--size takes WxH, each from 1 to " + std::to_string(kMaxSide) + ", not " + v;
            } else if (a == "--seed") {
                if (!ParseInt(v, UINT64_MAX / 2, n)) return "--seed takes a whole number, not " + v;
                o.Seed = n;
            } else {
                if (!ParseInt(v, 1000, n) || n == 0) return "--fps takes 1 to 1000, not " + v;
                o.Fps = int(n);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            o.Args.push_back(a);
        }
    }
    if (o.Args.empty()) return "no command given";
    const std::string& command = o.Args[0];
    if (command != "sheet" && command != "frames") return "unknown command " + command;
    if (o.Args.size() != (command == "sheet" ? 2u : 3u)) return "wrong number of arguments for " + command;
    if (command == "sheet" && o.Fps) return "--fps goes with frames";
    if (command == "frames" && o.Seed) return "--seed goes with sheet";
    return {};
}

// A picture whose every change is easy to see: colour bars, a grey and a hue ramp, a
// two-way colour gradient, a grid, a ring and a frame. It is opaque throughout and has
// no part as dark as the background, so what a transition has not drawn yet stands out.
TBitmap32 MakeTestCard(int w, int h) {
    TBitmap32 card(w, h);
    const int barsEnd = h * 2 / 5, greyEnd = h * 11 / 20, hueEnd = h * 7 / 10;
    const TColor32 bars[] = {Color32(235, 235, 235), Color32(235, 235, 16), Color32(16, 235, 235), Color32(16, 235, 16),
                             Color32(235, 16, 235), Color32(235, 16, 16), Color32(16, 16, 235), Color32(80, 80, 80)};
    for (int i = 0; i < 8; ++i) card.FillRectS(w * i / 8, 0, w * (i + 1) / 8, barsEnd, bars[i]);
    for (int x = 0; x < w; ++x) {
        const double u = w > 1 ? double(x) / (w - 1) : 0.0;
        const auto grey = uint8_t(std::lround(64 + u * 191));
        card.FillRectS(x, barsEnd, x + 1, greyEnd, Color32(grey, grey, grey));
        // Hue around the circle at full saturation.
        const double hue = u * 6.0;
        const auto ramp = [&](double offset) {
            const double d = std::fabs(std::fmod(hue + offset, 6.0) - 3.0);
            return uint8_t(std::lround(std::clamp(d - 1.0, 0.0, 1.0) * 255));
        };
        card.FillRectS(x, greyEnd, x + 1, hueEnd, Color32(ramp(0), ramp(4), ramp(2)));
        for (int y = hueEnd; y < h; ++y) {
            const double v = h > hueEnd + 1 ? double(y - hueEnd) / (h - hueEnd - 1) : 0.0;
            card.SetPixel(x, y, Color32(uint8_t(std::lround(60 + u * 195)), uint8_t(std::lround(60 + v * 195)), 140));
        }
    }
    const int step = std::max(8, std::min(w, h) / 6);
    for (int x = step; x < w; x += step) card.FillRectTS(x, 0, x + 1, h, Color32(255, 255, 255, 110));
    for (int y = step; y < h; y += step) card.FillRectTS(0, y, w, y + 1, Color32(255, 255, 255, 110));
    // A ring, white outside and black inside, with soft edges.
    const double cx = w / 2.0, cy = h / 2.0, radius = std::min(w, h) * 0.32, thick = std::max(2.0, radius / 12);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - radius;
            const double cover = std::clamp(thick + 0.5 - std::fabs(d), 0.0, 1.0);
            if (cover <= 0) continue;
            const TColor32 c = d > 0 ? clWhite32 : clBlack32;
            card.SetPixelTS(x, y, SetAlpha(c, uint8_t(std::lround(cover * 255))));
        }
    card.FrameRectS(0, 0, w, h, clWhite32);
    return card;
}

// A dark checkerboard: what lies under the picture before the transition reveals it.
void FillBackground(TBitmap32& target, const TRect& r) {
    constexpr int kSquare = 8;
    for (int y = r.Top; y < r.Bottom; y += kSquare)
        for (int x = r.Left; x < r.Right; x += kSquare)
            target.FillRectS(x, y, std::min(x + kSquare, r.Right), std::min(y + kSquare, r.Bottom),
                             ((x - r.Left) / kSquare + (y - r.Top) / kSquare) % 2 ? kDarkB : kDarkA);
}

// The registered transition classes in registration order.
std::vector<const ClassInfo*> TransitionClasses() {
    std::vector<const ClassInfo*> classes;
    if (auto subset = Plugins->SubsetOf<TTransitionPlugin>())
        for (int i = 0; i < subset->GetCount(); ++i) classes.push_back(&subset->GetItem(i)->PluginClass());
    return classes;
}

std::unique_ptr<TTransitionPlugin> NewTransition(const ClassInfo& cls) {
    std::unique_ptr<TTransitionPlugin> made = CreateAs<TTransitionPlugin>(cls);
    if (!made) throw TToolFailure("cannot create " + AnsiString(cls.Name));
    return made;
}

// One frame the way the owning item makes it: the transition while it runs (its changed
// rectangle asked first, as the item does before saving the background), the picture
// itself once the transition is finished or declines to draw.
void DrawFrame(TTransitionPlugin& t, int32_t time, TBitmap32& target, TBitmap32& picture, const TRect& rect) {
    bool drawn = false;
    if (!t.IsFinished(time)) {
        TRect changed;
        t.GetChangedRect(time, target, changed);
        drawn = t.Draw(time, target);
    }
    if (!drawn) {
        picture.MasterAlpha = 255;
        picture.DrawTo(target, rect.Left, rect.Top);
    }
}

// The file as typed on the command line, replaced whole or not at all. A review picture
// need not survive a power failure, so it is not flushed to disk.
void WritePng(const TBitmap32& bitmap, const std::string& path) {
    const std::vector<uint8_t> png = EncodePngPicture(bitmap);
    try {
        TAtomicFile out(path, false);
        out.WriteBuffer(png.data(), int64_t(png.size()));
        out.Commit();
    } catch (const std::exception& e) {
        throw TToolFailure("cannot write " + path + ": " + FileErrorReason(e));
    }
}

std::string Describe(const ClassInfo& cls) { return std::string(cls.Name) + " \"" + AnsiToUtf8(PluginCaption(cls)) + "\""; }

// Words of text set in lines no wider than width (a single longer word gets a line of
// its own).
std::vector<AnsiString> WrapText(const TBitmap32& b, const AnsiString& text, int width) {
    std::vector<AnsiString> lines;
    AnsiString line;
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = std::min(text.find(' ', i), text.size());
        const AnsiString word = text.substr(i, end - i);
        i = end + 1;
        if (word.empty()) continue;
        if (!line.empty() && b.TextWidth(line + " " + word) > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The row's caption column: the transition's display name, for the random choice the
// one it picked, and the duration.
void DrawCaption(TBitmap32& sheet, int left, int top, int height, const TTransitionPlugin& t) {
    sheet.Font.Size = 12;
    std::vector<AnsiString> lines;
    sheet.Font.Color = 0x00F0F0F0;
    lines = WrapText(sheet, PluginCaption(t.ClassType()), kCaptionWidth);
    if (auto* random = dynamic_cast<const TRandomTransitionPlugin*>(&t)) {
        const AnsiString chosen = random->Chosen ? PluginCaption(random->Chosen->ClassType()) : AnsiString("keine");
        for (const AnsiString& l : WrapText(sheet, "\xBB " + chosen, kCaptionWidth)) lines.push_back(l);
    }
    lines.push_back(std::to_string(t.Duration) + " ms");
    const int lineHeight = sheet.TextHeight("Ag");
    // Only whole lines that fit the row, so small cells do not stack text into the next.
    for (size_t i = 0; i < lines.size() && int(i + 1) * lineHeight <= height; ++i) {
        // The duration a little dimmer than the names.
        sheet.Font.Color = i + 1 == lines.size() ? 0x00A8A8A8 : 0x00F0F0F0;
        sheet.Textout(left, top + int(i) * lineHeight, lines[i]);
    }
}

int Sheet(const std::string& out, int w, int h, uint64_t seed) {
    const std::vector<const ClassInfo*> classes = TransitionClasses();
    if (classes.empty()) throw TToolFailure("no transition is registered");
    const int columns = int(std::size(kSheetPercents));
    const int64_t sheetW = kSheetMargin + kCaptionWidth + int64_t(columns) * (kSheetMargin + w) + kSheetMargin;
    const int64_t sheetH = kSheetMargin + int64_t(classes.size()) * (h + kSheetMargin);
    if (sheetH * sheetW > kMaxBitmapPixels) throw TToolFailure("the sheet would be too large");
    TBitmap32 sheet{int(sheetW), int(sheetH)};
    sheet.Clear(kGutter);
    TBitmap32 card = MakeTestCard(w, h);

    for (size_t row = 0; row < classes.size(); ++row) {
        std::cout << "row " << row << ": " << Describe(*classes[row]);
        const int top = kSheetMargin + int(row) * (h + kSheetMargin);
        for (int col = 0; col < columns; ++col) {
            const int left = kSheetMargin + kCaptionWidth + kSheetMargin + col * (w + kSheetMargin);
            const TRect cell{left, top, left + w, top + h};
            FillBackground(sheet, cell);
            // The same seed for every cell of a row: random settings and schedules stay
            // the same across the row, so its cells show one run at four times.
            RandSeed(seed + row);
            card.MasterAlpha = 255;
            card.DrawMode = dmOpaque;
            std::unique_ptr<TTransitionPlugin> t = NewTransition(*classes[row]);
            const int32_t time = int32_t(int64_t(t->Duration) * kSheetPercents[col] / 100);
            t->Init(cell, &card);
            if (col == 0) {
                DrawCaption(sheet, kSheetMargin, top, h, *t);
                if (auto* random = dynamic_cast<TRandomTransitionPlugin*>(t.get()))
                    std::cout << " -> " << (random->Chosen ? Describe(random->Chosen->ClassType()) : "none");
            }
            DrawFrame(*t, time, sheet, card, cell);
            t->Done();
        }
        std::cout << "\n";
    }
    WritePng(sheet, out);
    std::cout << "wrote " << out << " (" << sheet.Width() << "x" << sheet.Height() << ")\n";
    return 0;
}

int Frames(const std::string& className, const std::string& dir, int w, int h, int fps) {
    const ClassInfo* cls = Plugins->FindClassByName(className);
    if (!cls || !cls->InheritsFrom(TTransitionPlugin::StaticClassInfo()))
        throw TToolFailure("no transition class named " + className);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir)) throw TToolFailure("cannot make the folder " + dir);

    RandSeed(1);  // repeatable runs, for a random transition too
    TBitmap32 card = MakeTestCard(w, h);
    TBitmap32 frame(w, h);
    const TRect rect{0, 0, w, h};
    std::unique_ptr<TTransitionPlugin> t = NewTransition(*cls);
    t->Init(rect, &card);
    std::cout << Describe(*cls) << ", " << t->Duration << " ms";
    if (auto* random = dynamic_cast<TRandomTransitionPlugin*>(t.get()))
        std::cout << " -> " << (random->Chosen ? Describe(random->Chosen->ClassType()) : "none");
    std::cout << "\n";
    // Frames until the first one past the duration, which shows the finished picture.
    int count = 0;
    for (int64_t k = 0;; ++k) {
        const auto time = int32_t(std::llround(double(k) * 1000.0 / fps));
        FillBackground(frame, rect);
        DrawFrame(*t, time, frame, card, rect);
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", int(k));
        WritePng(frame, (std::filesystem::path(dir) / name).string());
        ++count;
        if (t->IsFinished(time)) break;
    }
    t->Done();
    std::cout << "wrote " << count << " frames to " << dir << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (AsksForHelp(args, kUsage)) return 0;
    TOptions o;
    if (const std::string why = ParseArguments(args, o); !why.empty())
        return WrongCall("glowcanvas-transitions", kUsage, why);
    int status = 1;
    try {
        AddFoundationModules();
        AddGraphicsModules();
        AddTransitionModules();
        RunInitializations();
        if (o.Args[0] == "sheet")
            status = Sheet(o.Args[1], o.Width ? o.Width : 240, o.Width ? o.Height : 180, o.Seed.value_or(1));
        else
            status = Frames(o.Args[1], o.Args[2], o.Width ? o.Width : 640, o.Width ? o.Height : 480, o.Fps.value_or(25));
    } catch (const TToolFailure& e) {
        std::cerr << "glowcanvas-transitions: " << e.what() << "\n";
        status = 1;
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-transitions: " << AnsiToUtf8(e.what()) << "\n";
        status = 1;
    }
    RunFinalizations();
    return status;
}
