// Slide changes of 12-megapixel JPEG pictures on a 1920x1080 host on the real clock, with
// no look-ahead time (as the screen saver plays). The loop ticks at a fixed frame step of
// 16 ms, as a display would ask for frames; each benchmark reports "ratio":
// - StillPhases: the longest frame interval that ends with a new picture's first frame,
//   over the median frame interval of the run (target: at most 2) - the change is not
//   held up by loading the picture;
// - Animating: every picture, a camera-like photo of about 3 MB ("jpeg_mb"), moves every
//   frame, so there is no idle time; the longest tick over a frame's budget at 60 Hz,
//   16.7 ms (target: at most 1) - preparation runs a step at a time and the file is read
//   on the helper thread, so no tick holds a whole decode. Beside it, for comparison, the
//   decode the player does of the same file (at the DCT scale its reader picks for the
//   moving picture's size, "decode_scale" eighths) by libjpeg-turbo alone on one thread:
//   the longest of one decode per change, each after a second of frame-paced sleep
//   ("decode_ms"), and the best of three warm ones ("warm_decode_ms");
// - FadeFrame: a 2 s cross-fade of two 1440x1080 pictures on the 1920x1080 host: the
//   mean CPU time of a frame inside the fade over a cold copy of a full 1920x1080 frame
//   plus the present's copy of it, measured in the same run at the same frame steps
//   (target: at most 1.5).
#include "bench/BenchPlayer.h"
#include "bench/BenchSupport.h"
#include "bench/JpegYardstick.h"
#include "objects/PicSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "graphics/JpegReader.h"
#include "graphics/PictureRegistry.h"
#include "playback/OffscreenPlayerHost.h"
#include "playback/RealTimeSlideShowPlayer.h"
#include "transitions/PicTransitions.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kPictures = 5;
constexpr int32_t kDuration = 2000;  // ms a picture shows
constexpr auto kFrameStep = std::chrono::milliseconds(16);

// The budget of a frame at 60 Hz, in ms.
constexpr double kFrameBudgetMs = 1000.0 / 60;

// The JPEG as a file of that name in the temporary folder; its path.
std::string WriteTempJpeg(const std::string& name, const std::vector<uint8_t>& jpeg) {
    const std::string p = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    return p;
}

// Five different 12-megapixel camera-like photos of about 3 MB as files.
const std::vector<std::string>& CameraFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> list;
        for (int i = 0; i < kPictures; ++i)
            list.push_back(WriteTempJpeg("glowcanvas-bench-camera" + std::to_string(i) + ".jpg",
                                         EncodeJpeg(CameraPhoto(4000, 3000, uint32_t(40 + i), 7.0f))));
        return list;
    }();
    return files;
}

// Five different 12-megapixel photos as files.
const std::vector<std::string>& PictureFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> list;
        TBitmap32 photo = Photo(4000, 3000);
        for (int i = 0; i < kPictures; ++i) {
            // A tint per picture, so that every change changes the screen.
            for (int y = 0; y < photo.Height(); ++y) {
                TColor32* row = photo.ScanLine(y);
                for (int x = 0; x < photo.Width(); ++x) row[x] = (row[x] & 0xFF00FFFF) | (uint32_t(i * 50) << 16);
            }
            list.push_back(WriteTempJpeg("glowcanvas-bench-slide" + std::to_string(i) + ".jpg", EncodeJpeg(photo)));
        }
        return list;
    }();
    return files;
}

// The player, noting when each frame began and which picture each frame showed first.
class TTimedPlayer : public TRealTimeSlideShowPlayer {
public:
    using TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer;
    int32_t RenderFrame(std::vector<TSlideShowObject*>& objects) override {
        FrameStarts.push_back(TClock::now());
        for (TSlideShowObject* object : objects)
            if (std::find(Seen.begin(), Seen.end(), object) == Seen.end()) {
                Seen.push_back(object);
                FirstFrames.push_back(FrameStarts.size() - 1);
            }
        return TRealTimeSlideShowPlayer::RenderFrame(objects);
    }
    std::vector<TClock::time_point> FrameStarts;
    std::vector<TSlideShowObject*> Seen;
    std::vector<size_t> FirstFrames;  // index into FrameStarts of each picture's first frame
};

struct TRun {
    std::vector<double> Intervals;        // ms between consecutive frame starts
    std::vector<double> ChangeIntervals;  // those that end with a new picture's first frame
    double LongestTick = 0;               // ms
    double Seconds = 0;
};

TRun PlaySlides(bool animate) {
    InitializePictureFormats();
    TSlideShow show;
    for (const std::string& file : animate ? CameraFiles() : PictureFiles()) {
        auto* item = new TExtPicSlideShowObject();
        item->FileName = AnsiString(file);
        item->Transition.reset();
        item->SetDuration(kDuration);
        if (animate) item->CreateMotionPath();
        show.RootList().Add(item);
    }
    show.SlideShowProperties->EndAction = 1;
    TPluginPtr<TTimedPlayer> player(new TTimedPlayer(nullptr));
    player->GetSettings()->PreloadTime = 0;
    TRun run;
    {
        TOffscreenPlayerHost host(*player, 1920, 1080);
        const auto begin = TClock::now();
        host.Play(&show);
        const auto end = TClock::now() + std::chrono::milliseconds(kPictures * kDuration + 100);
        for (auto next = TClock::now(); TClock::now() < end && !host.Closed();) {
            const auto t0 = TClock::now();
            host.Tick();
            run.LongestTick = std::max(run.LongestTick, std::chrono::duration<double, std::milli>(TClock::now() - t0).count());
            next += kFrameStep;
            std::this_thread::sleep_until(std::max(next, TClock::now()));
        }
        run.Seconds = std::chrono::duration<double>(TClock::now() - begin).count();
    }
    player->SetSlideShow(nullptr, false);
    const auto& starts = player->FrameStarts;
    for (size_t i = 1; i < starts.size(); ++i)
        run.Intervals.push_back(std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count());
    // The first picture was prepared before the loop began: the changes are the others.
    for (size_t k = 1; k < player->FirstFrames.size(); ++k)
        if (const size_t f = player->FirstFrames[k]; f > 0) run.ChangeIntervals.push_back(run.Intervals[f - 1]);
    return run;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void BM_StillPhases(benchmark::State& state) {
    for (auto _ : state) {
        const TRun run = PlaySlides(false);
        if (run.ChangeIntervals.size() + 1 < size_t(kPictures)) state.SkipWithError("not every picture showed");
        const double longest = run.ChangeIntervals.empty()
                                    ? 0
                                    : *std::max_element(run.ChangeIntervals.begin(), run.ChangeIntervals.end());
        const double median = Median(run.Intervals);
        state.SetIterationTime(run.Seconds);
        state.counters["ratio"] = median > 0 ? longest / median : 0;
        state.counters["change_ms"] = longest;
        state.counters["median_ms"] = median;
        state.counters["ratio_target"] = 2;
    }
}

// The DCT scale in eighths at which the player decodes a moving picture of the file.
unsigned PlayerDecodeScale(const std::string& file, const std::vector<uint8_t>& jpeg) {
    InitializePictureFormats();
    TSlideShow show;
    auto* item = new TExtPicSlideShowObject();
    item->FileName = AnsiString(file);
    item->CreateMotionPath();
    show.RootList().Add(item);
    TBenchPlayer player;
    if (!item->ExecuteInitializationStep(&player, PreparationStep::LoadPicture) || !item->Picture) return 0;
    int w = 0, h = 0;
    if (!ReadJpegPictureSize(jpeg.data(), jpeg.size(), w, h) || w <= 0) return 0;
    return unsigned((int64_t(item->Picture->Width()) * 8 + w - 1) / w);
}

void BM_Animating(benchmark::State& state) {
    std::ifstream in(CameraFiles()[0], std::ios::binary);
    const std::vector<uint8_t> jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const unsigned scale = PlayerDecodeScale(CameraFiles()[0], jpeg);
    if (scale == 0) return state.SkipWithError("the player's decode failed");
    for (auto _ : state) {
        const TRun run = PlaySlides(true);
        if (run.ChangeIntervals.size() + 1 < size_t(kPictures)) state.SkipWithError("not every picture showed");
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
        const auto decodeMs = [&] { return 1000 * Seconds([&] { PlainJpegDecode(jpeg, scale, pixels, w, h); }); };
        double warm = 1e9, paced = 0;
        for (int i = 0; i < 3; ++i) warm = std::min(warm, decodeMs());
        for (int i = 1; i < kPictures; ++i) {
            auto next = TClock::now();
            for (int k = 0; k < 60; ++k) std::this_thread::sleep_until(next += kFrameStep);
            paced = std::max(paced, decodeMs());
        }
        state.SetIterationTime(run.Seconds);
        state.counters["ratio"] = run.LongestTick / kFrameBudgetMs;
        state.counters["stall_ms"] = run.LongestTick;
        state.counters["jpeg_mb"] = double(jpeg.size()) / 1e6;
        state.counters["decode_ms"] = paced;
        state.counters["decode_scale"] = scale;
        state.counters["warm_decode_ms"] = warm;
        state.counters["ratio_target"] = 1;
    }
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Notes the CPU time and the show time of every frame.
class TFramePlayer : public TRealTimeSlideShowPlayer {
public:
    using TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer;
    int32_t RenderFrame(std::vector<TSlideShowObject*>& objects) override {
        const int32_t at = GetCurrentPlayTime();
        rusage u0{}, u1{};
        getrusage(RUSAGE_THREAD, &u0);
        const double t0 = ThreadCpuMs();
        const int32_t next = TRealTimeSlideShowPlayer::RenderFrame(objects);
        Frames.emplace_back(at, ThreadCpuMs() - t0);
        getrusage(RUSAGE_THREAD, &u1);
        if (at >= 2700 && at < 4300) Faults += u1.ru_minflt - u0.ru_minflt;
        return next;
    }
    std::vector<std::pair<int32_t, double>> Frames;  // show time, CPU ms
    long Faults = 0;
};

// Two full-frame copies from sources not in any cache (the restore or draw the frame
// cannot avoid, and the present's copy), in CPU ms: the mean of a pair per frame step, as
// the fade's frames come (a core that slept between frames runs a burst slower than one
// copying without a break, by a third on the machines measured).
double ColdFrameCopiesMs() {
    constexpr size_t kFrame = size_t(1920) * 1080;
    constexpr int kSources = 16;  // 130 MB: more than any cache
    std::vector<std::vector<uint32_t>> sources(kSources, std::vector<uint32_t>(kFrame, 0x80808080u));
    std::vector<uint32_t> target(kFrame), shown(kFrame);
    double sum = 0;
    auto next = TClock::now();
    for (int round = 0; round < 4; ++round)
        for (int i = 0; i < kSources; ++i) {
            std::this_thread::sleep_until(next += kFrameStep);
            const double t0 = ThreadCpuMs();
            std::memcpy(target.data(), sources[size_t(i)].data(), kFrame * 4);
            std::memcpy(shown.data(), target.data(), kFrame * 4);
            sum += ThreadCpuMs() - t0;
            benchmark::DoNotOptimize(shown.data());
        }
    return sum / (4 * kSources);
}

void BM_FadeFrame(benchmark::State& state) {
    InitializePictureFormats();
    std::vector<std::string> files;
    for (int i = 0; i < 2; ++i) {
        TBitmap32 photo = Photo(1440, 1080);
        for (int y = 0; y < photo.Height(); ++y) {
            TColor32* row = photo.ScanLine(y);
            for (int x = 0; x < photo.Width(); ++x) row[x] = (row[x] & 0xFF00FFFF) | (uint32_t(i * 90) << 16);
        }
        const std::vector<uint8_t> jpeg = EncodeJpeg(photo);
        files.push_back((std::filesystem::temp_directory_path() / ("glowcanvas-bench-fade" + std::to_string(i) + ".jpg")).string());
        std::ofstream(files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    }
    for (auto _ : state) {
        TSlideShow show;
        for (int i = 0; i < 2; ++i) {
            auto* item = new TExtPicSlideShowObject();
            item->FileName = AnsiString(files[size_t(i)]);
            item->SetDuration(2500);
            if (i == 0) {
                item->Transition.reset();
            } else {
                auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
                fade->Duration = 2000;
                item->Transition = std::move(fade);
            }
            show.RootList().Add(item);
        }
        show.SlideShowProperties->EndAction = 1;
        TPluginPtr<TFramePlayer> player(new TFramePlayer(nullptr));
        double seconds = 0;
        {
            TOffscreenPlayerHost host(*player, 1920, 1080);
            const auto begin = TClock::now();
            host.Play(&show);
            const auto end = TClock::now() + std::chrono::milliseconds(5200);
            for (auto next = TClock::now(); TClock::now() < end && !host.Closed();) {
                host.Tick();
                next += kFrameStep;
                std::this_thread::sleep_until(std::max(next, TClock::now()));
            }
            seconds = std::chrono::duration<double>(TClock::now() - begin).count();
        }
        player->SetSlideShow(nullptr, false);
        // The frames well inside the second picture's fade.
        double cpu = 0;
        int frames = 0;
        for (const auto& [at, ms] : player->Frames)
            if (at >= 2700 && at < 4300) cpu += ms, ++frames;
        const double frame = frames ? cpu / frames : 0;
        const double copies = ColdFrameCopiesMs();
        state.SetIterationTime(seconds);
        if (frames < 10) state.SkipWithError("too few fade frames");
        state.counters["ratio"] = copies > 0 ? frame / copies : 0;
        state.counters["ratio_target"] = 1.5;
        state.counters["frame_cpu_ms"] = frame;
        state.counters["core_percent_at_60fps"] = frame * 60 / 10;
        state.counters["two_cold_copies_ms"] = copies;
        state.counters["fade_frames"] = frames;
        state.counters["faults"] = double(player->Faults);
    }
}

}  // namespace

BENCHMARK(BM_FadeFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StillPhases)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Animating)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
