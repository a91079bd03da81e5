// How long the packaged screen saver takes to show something: a package of about 100 MB of
// 12-megapixel photos (grainy as a camera's, 3 to 5 MB each) appended to the program,
// from the start of its full-screen run ("/s") to its first visible frame, against
// copying a package file of the same items with cp. The first picture fades in over a
// second, as a show's pictures come in. Each is the median of 5 runs, taken in turns;
// "ratio" = start / copy (target: at most 1.3 without a display; on X the start
// includes mapping a full-screen window, which feh's time holds and a copy's does not).
// With a DISPLAY (run it under Xvfb without a window manager, 1920x1080) the saver runs
// on SDL's x11 driver and a start ends when the screen's centre shows neither what it
// showed before nor black: the fade's first frame that shows anything. feh showing the
// show's first picture full screen ("feh -F") is timed the same way in the same turns:
// "feh_ratio" = start / feh (target: at most 1).
// Without one the saver runs on SDL's offscreen driver and a start ends with its debug
// line "first frame flushed".
// BM_StartFlat: a start must not grow with the show. Two savers, one of 10 pictures and
// one of 1,000, both beginning with the same 12-megapixel photo, are started in turns (median
// of 9 each): "flat_ratio" = start of 1,000 / start of 10 (target: at most 1.1). The other
// pictures are grainy 2-megapixel photos (1600 x 1200), not 12-megapixel ones: a thousand
// of those would be gigabytes, while these still make a package of about 560 MB that the
// extraction has to copy around the start.
#include "bench/BenchSupport.h"
#include "objects/PicSlideShowObject.h"
#include "document/SlideShow.h"
#include "foundation/Packager.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "shell/ScreenSaverMain.h"
#include "shell/ScreenSaverProperties.h"
#include "transitions/PicTransitions.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

using TClock = std::chrono::steady_clock;

constexpr int64_t kPackageBytes = 100 * 1000 * 1000;
constexpr int kRuns = 5;
// The flat case's starts are short and the two differ little: more turns.
constexpr int kFlatRuns = 9;

// <build>/<sub>/<name> beside this benchmark's <build>/bench.
std::string Built(const char* sub, const char* name) {
    std::error_code ec;
    return (fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / sub / name).string();
}

// The package's items: stored name and the file that holds its bytes.
using TItems = std::vector<std::pair<AnsiString, std::string>>;

// What a show holds: the first picture is a 12-megapixel photo, the others are photos
// of restWidth x restHeight, up to count pictures or bytes of them, whichever is less.
struct TPictures {
    int Count;
    int64_t Bytes;
    int RestWidth, RestHeight;
};

// A camera's grain over picture, different for every seed.
void AddGrain(TBitmap32& picture, uint32_t seed, int levels) {
    std::mt19937 rng(seed);
    for (int y = 0; y < picture.Height(); ++y) {
        TColor32* row = picture.ScanLine(y);
        for (int x = 0; x < picture.Width(); ++x) {
            const uint32_t r = rng();
            TColor32 c = row[x];
            for (int shift = 0; shift < 24; shift += 8) {
                // Two uniform draws: a triangular spread of about levels / 2.5 either way.
                const int noise = int((r >> shift) & 15) + int((r >> (shift + 4)) & 15) - 15;
                const int v = std::clamp(int((c >> shift) & 255) + noise * levels / 8, 0, 255);
                c = (c & ~(TColor32(255) << shift)) | (TColor32(v) << shift);
            }
            row[x] = c;
        }
    }
}

// The pictures, the show naming them as the show builder does (relative to the show's
// folder, in name order), the options and the sound library.
TItems MakeItems(const fs::path& dir, const TPictures& pictures) {
    TItems items;
    TSlideShow show;
    const TBitmap32 first = CameraPhoto(4000, 3000, 17, 0.0f);
    const TBitmap32 rest = CameraPhoto(pictures.RestWidth, pictures.RestHeight, 29, 0.0f);
    int64_t total = 0;
    for (int i = 0; i < pictures.Count && total < pictures.Bytes; ++i) {
        TBitmap32 photo = i == 0 || (pictures.RestWidth == 4000 && pictures.RestHeight == 3000) ? first : rest;
        // A tint and grain of its own: every picture is a file of its own, of the bytes a
        // camera's takes.
        for (int y = 0; y < photo.Height(); ++y) {
            TColor32* row = photo.ScanLine(y);
            for (int x = 0; x < photo.Width(); ++x) row[x] = (row[x] & 0xFF00FFFF) | (uint32_t(i * 37 & 255) << 16);
        }
        AddGrain(photo, uint32_t(i + 1), 12);
        char name[32];
        std::snprintf(name, sizeof name, "Bild%04d.jpg", i + 1);
        const std::vector<uint8_t> jpeg = EncodeJpeg(photo);
        TFileStream(TExactPath{(dir / name).string()}, fmCreate).WriteBuffer(jpeg.data(), int64_t(jpeg.size()));
        total += int64_t(jpeg.size());
        items.emplace_back(AnsiString("Lumivor\\") + name, (dir / name).string());
        auto* item = new TExtPicSlideShowObject();
        item->FileName = name;
        item->SetDuration(5000);
        if (i == 0) {
            // The show fades in from black.
            auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
            fade->Duration = 1000;
            item->Transition = std::move(fade);
        } else {
            item->FreeTransition();
        }
        show.RootList().Add(item);
    }
    const std::string showFile = (dir / "Slideshow.kls").string();
    if (!show.SaveToFile(FromPosixPath(showFile))) std::abort();
    items.emplace_back("Lumivor\\Slideshow.kls", showFile);
    items.emplace_back("fmod.dll", Built("soundlib", "fmod.dll"));
    TScreenSaverProperties options;
    TMemoryStream stored;
    if (!options.SaveToStream(stored, 0, 0)) std::abort();
    const std::string settings = (dir / "settings.dat").string();
    TFileStream(TExactPath{settings}, fmCreate).WriteBuffer(stored.Bytes().data(), int64_t(stored.Bytes().size()));
    items.emplace_back("settings.dat", settings);
    return items;
}

void AddItems(TPackager& packager, const TItems& items) {
    for (const auto& [name, file] : items)
        if (!packager.AddFile(FromPosixPath(file), std::make_unique<TPackageFileListItem>(name))) std::abort();
    if (!packager.Close()) std::abort();
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int errFd) {
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::vector<std::string> Environment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    return env;
}

// Seconds cp takes for the package file.
double CopySeconds(const std::string& package, const std::string& copy) {
    const auto t0 = TClock::now();
    const pid_t pid = Spawn({"cp", package, copy}, Environment(), -1);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    const double seconds = std::chrono::duration<double>(TClock::now() - t0).count();
    fs::remove(copy);
    return seconds;
}

// The X server the starts are shown on, or null for the offscreen driver.
Display* Screen() {
    static Display* const display = std::getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr;
    return display;
}

// The pixel at the screen's centre.
unsigned long CentrePixel(Display* display) {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes a{};
    XGetWindowAttributes(display, root, &a);
    XImage* image = XGetImage(display, root, a.width / 2, a.height / 2, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFu;
    XDestroyImage(image);
    return pixel;
}

// Ends a started program as a quit ends it, draining its error output meanwhile.
void EndProgram(pid_t pid, int errFd) {
    if (pid <= 0) return;
    char buffer[4096];
    ::kill(pid, SIGTERM);
    int status = 0;
    bool open = errFd >= 0;
    const auto end = TClock::now() + std::chrono::seconds(30);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        pollfd p{errFd, POLLIN, 0};
        if (open && ::poll(&p, 1, 50) > 0) open = ::read(errFd, buffer, sizeof buffer) > 0;
        else std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (TClock::now() > end) ::kill(pid, SIGKILL);
    }
}

// Seconds from starting a program until the screen's centre shows a picture: neither what
// it showed before nor black (a window's empty background). Below 0 after 60 s.
double SecondsToPicture(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    Display* display = Screen();
    const unsigned long before = CentrePixel(display);
    const auto t0 = TClock::now();
    const pid_t pid = Spawn(args, env, -1);
    double seconds = -1;
    const auto limit = t0 + std::chrono::seconds(60);
    while (pid > 0 && TClock::now() < limit) {
        const unsigned long now = CentrePixel(display);
        if (now != before && now != 0) {
            seconds = std::chrono::duration<double>(TClock::now() - t0).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EndProgram(pid, -1);
    return seconds;
}

// Seconds feh takes to show the picture full screen.
double FehSeconds(const std::string& picture) { return SecondsToPicture({"feh", "-F", picture}, Environment()); }

// Seconds from starting "saver /s" to its first picture; below 0 when it ended without
// one. The run is then ended as a quit ends it.
double StartSeconds(const std::string& saver, const fs::path& work) {
    const fs::path registry = work / "registry", temp = work / "tmp";
    fs::remove_all(registry);
    fs::create_directories(registry);
    fs::create_directories(temp);
    std::vector<std::string> env;
    for (const std::string& e : Environment())
        if (e.rfind("DISPLAY=", 0) != 0 && e.rfind("WAYLAND_DISPLAY=", 0) != 0 && e.rfind("GC_", 0) != 0 &&
            e.rfind("SDL_", 0) != 0 && e.rfind("TMPDIR=", 0) != 0)
            env.push_back(e);
    env.push_back("GC_REGISTRY_DIR=" + registry.string());
    env.push_back("TMPDIR=" + temp.string());
    env.push_back("SDL_AUDIODRIVER=dummy");
    if (Screen()) {
        env.push_back("SDL_VIDEODRIVER=x11");
        env.push_back(std::string("DISPLAY=") + std::getenv("DISPLAY"));
        return SecondsToPicture({saver, "/s"}, env);
    }
    for (const char* e : {"GC_DEBUG=1", "SDL_VIDEODRIVER=offscreen"}) env.push_back(e);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    const auto t0 = TClock::now();
    const pid_t pid = Spawn({saver, "/s"}, env, pipeFds[1]);
    ::close(pipeFds[1]);
    double seconds = -1;
    std::string text;
    char buffer[4096];
    const auto limit = t0 + std::chrono::seconds(60);
    while (pid > 0 && seconds < 0 && TClock::now() < limit) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) continue;
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, size_t(n));
        if (text.find("first frame flushed") != std::string::npos)
            seconds = std::chrono::duration<double>(TClock::now() - t0).count();
    }
    // The pipe stays drained, so a talkative end never blocks on it.
    EndProgram(pid, pipeFds[0]);
    ::close(pipeFds[0]);
    if (seconds < 0) std::fprintf(stderr, "no first frame; the saver said:\n%s\n", text.c_str());
    return seconds;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The program with the items appended as its package.
void MakeSaver(const std::string& saver, const TItems& items) {
    fs::copy_file(Built("tools", "glowcanvas"), saver);
    fs::permissions(saver, fs::perms::owner_all);
    TPackager appended;
    if (!appended.AppendToFile(FromPosixPath(saver))) std::abort();
    AddItems(appended, items);
}

// Folders that runs left in the work folder's temporary folder: a fault of their own.
size_t FoldersLeft(const fs::path& work) {
    size_t left = 0;
    for (const auto& e : fs::directory_iterator(work / "tmp")) left += e.is_directory();
    return left;
}

void BM_PackagedStart(benchmark::State& state) {
    InitializeScreenSaverModules();
    const fs::path work = fs::temp_directory_path() / ("gcbench-start-" + std::to_string(::getpid()));
    fs::create_directories(work / "items");
    const TItems items = MakeItems(work / "items", {INT32_MAX, kPackageBytes, 4000, 3000});
    const std::string saver = (work / "Sonne.scr").string();
    MakeSaver(saver, items);
    const std::string package = (work / "Sonne.pkg").string();
    {
        TPackager alone;
        if (!alone.CreateFile(FromPosixPath(package))) std::abort();
        AddItems(alone, items);
    }
    FinalizeScreenSaverModules();
    // The show's first picture stays for feh.
    const std::string first = (work / "first.jpg").string();
    fs::copy_file(items.front().second, first);
    fs::remove_all(work / "items");

    std::vector<double> starts, copies, fehs;
    for (auto _ : state) {
        for (int i = 0; i < kRuns; ++i) {
            copies.push_back(CopySeconds(package, (work / "copy.pkg").string()));
            starts.push_back(StartSeconds(saver, work));
            if (Screen()) fehs.push_back(FehSeconds(first));
        }
    }
    const bool failed = *std::min_element(starts.begin(), starts.end()) < 0 ||
                        *std::min_element(copies.begin(), copies.end()) < 0;
    const size_t left = FoldersLeft(work);
    state.counters["package_mb"] = double(fs::file_size(package)) / 1e6;
    state.counters["first_jpeg_mb"] = double(fs::file_size(first)) / 1e6;
    state.counters["start_ms"] = Median(starts) * 1000;
    state.counters["cp_ms"] = Median(copies) * 1000;
    state.counters["ratio"] = failed ? 0 : Median(starts) / Median(copies);
    if (!Screen()) state.counters["target"] = 1.3;
    if (!fehs.empty()) {
        state.counters["feh_ms"] = Median(fehs) * 1000;
        state.counters["feh_ratio"] = Median(fehs) > 0 ? Median(starts) / Median(fehs) : 0;
        state.counters["feh_target"] = 1;
    }
    state.counters["folders_left"] = double(left);
    fs::remove_all(work);
    if (failed) state.SkipWithError("the saver showed no first frame (does /s play yet?)");
}
BENCHMARK(BM_PackagedStart)->Iterations(1)->Unit(benchmark::kSecond);

void BM_StartFlat(benchmark::State& state) {
    InitializeScreenSaverModules();
    const fs::path work = fs::temp_directory_path() / ("gcbench-flat-" + std::to_string(::getpid()));
    const std::string small = (work / "Zehn.scr").string(), large = (work / "Tausend.scr").string();
    for (const auto& [saver, count] : {std::pair{small, 10}, std::pair{large, 1000}}) {
        fs::create_directories(work / "items");
        MakeSaver(saver, MakeItems(work / "items", {count, INT64_MAX, 1600, 1200}));
        fs::remove_all(work / "items");
    }
    FinalizeScreenSaverModules();

    std::vector<double> smallStarts, largeStarts;
    for (auto _ : state) {
        for (int i = 0; i < kFlatRuns; ++i) {
            smallStarts.push_back(StartSeconds(small, work));
            largeStarts.push_back(StartSeconds(large, work));
        }
    }
    const bool failed = *std::min_element(smallStarts.begin(), smallStarts.end()) < 0 ||
                        *std::min_element(largeStarts.begin(), largeStarts.end()) < 0;
    state.counters["package_mb"] = double(fs::file_size(large) - fs::file_size(Built("tools", "glowcanvas"))) / 1e6;
    state.counters["start_10_ms"] = Median(smallStarts) * 1000;
    state.counters["start_1000_ms"] = Median(largeStarts) * 1000;
    state.counters["flat_ratio"] = failed ? 0 : Median(largeStarts) / Median(smallStarts);
    state.counters["flat_target"] = 1.1;
    state.counters["folders_left"] = double(FoldersLeft(work));
    fs::remove_all(work);
    if (fs::exists(work)) state.SkipWithError("the work folder stayed");
    if (failed) state.SkipWithError("a saver showed no first frame");
}
BENCHMARK(BM_StartFlat)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
