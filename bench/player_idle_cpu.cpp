// The player on the real clock in an SDL window: what a still picture costs while it
// shows (process CPU time over wall time, both measured in the run; at most 2 % of one
// core is the aim), how late the first frame of each object came after its start (aim:
// within one display refresh), and the frames per second of a 2 s cross-fade against the
// display's rate. Run it under Xvfb with SDL's x11 driver: the offscreen driver has no
// way to sleep until an event and polls. The sound system starts as the screen saver
// starts it, with the built sound library and no sound playing (SDL_AUDIODRIVER=dummy
// stands in for a sound card): a still picture costs at most 0.05 % of a core then.
#include "bench/BenchSupport.h"
#include "objects/PicSlideShowObject.h"
#include "tests/soundlib/SoundFixtures.h"
#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "foundation/Startup.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Window.h"
#include "playback/PlaybackModules.h"
#include "playback/PlayerWindow.h"
#include "playback/RealTimeSlideShowPlayer.h"
#include "transitions/PicTransitions.h"

#include <time.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

void StartModules() {
    static const bool started = [] {
        AddShowPlayingModules();
        RunInitializations();
        return true;
    }();
    (void)started;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string PictureFile(const char* name, int w, int h) {
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    const std::vector<uint8_t> jpeg = EncodeJpeg(Photo(w, h));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    return path;
}

// The first picture fades in (its default transition), then stands still until here.
constexpr int32_t kStillEnd = 7000;

void BM_PlayerStillPictureAndFade(benchmark::State& state) {
    StartModules();
    const std::string still = PictureFile("glowcanvas-bench-still.jpg", 1280, 960);
    const std::string next = PictureFile("glowcanvas-bench-next.jpg", 960, 1280);
    InitSoundSystem({.FmodPath = soundtest::LibraryPath()});
    for (auto _ : state) {
        TSlideShow show;
        show.SlideShowProperties->EndAction = 1;
        auto* a = new TExtPicSlideShowObject();
        a->SetFileName(AnsiString(still.c_str()));
        a->SetDuration(kStillEnd);
        auto* b = new TExtPicSlideShowObject();
        b->SetFileName(AnsiString(next.c_str()));
        b->SetDuration(3000);
        auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
        fade->Duration = 2000;
        b->Transition = std::move(fade);
        show.RootList().Add(a);
        show.RootList().Add(b);

        TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(SoundSystem()));
        player->GetSettings()->FullScreen = false;
        player->GetSettings()->ClientWidth = 800;
        player->GetSettings()->ClientHeight = 600;
        TPlayerWindowForm form;
        player->BeginPlay(&form, &show, false, nullptr, 0);

        std::set<TSlideShowObject*> seen;
        std::vector<int32_t> late;  // each object's first frame after its start, in ms
        double cpu0 = -1, wall0 = 0, cpu1 = 0, wall1 = 0;
        int fadeFrames = 0;
        int32_t fadeFirst = -1, fadeLast = -1;
        form.SetOnMessageLoop([&] {
            // The still phase: from the tick after which the player first sleeps (the
            // picture's own fade-in done) to the one at the picture's end, whose work
            // belongs to the next.
            if (cpu0 >= 0 && cpu1 == 0 && player->GetCurrentPlayTime() >= kStillEnd - 50)
                cpu1 = CpuSeconds(), wall1 = WallSeconds();
            player->MessageLoopStep();
            const int32_t now = player->GetCurrentPlayTime();
            for (TSlideShowObject* o : player->PlayingObjects)
                if (seen.insert(o).second)
                    if (IPlayable* p = dynamic_cast<IPlayable*>(o)) late.push_back(now - p->GetStartTime());
            if (cpu0 < 0 && !seen.empty() && now < kStillEnd - 1000 && player->TimeToNextTick() > 100)
                cpu0 = CpuSeconds(), wall0 = WallSeconds();
            if (now >= kStillEnd && now < kStillEnd + 2000) {
                ++fadeFrames;
                if (fadeFirst < 0) fadeFirst = now;
                fadeLast = now;
            }
        });
        form.SetMessageHook([&](TMessage& m) { return player->HandlePlayerMessage(m); });
        form.RunModalLoop();
        player->EndPlay();
        const double wall = std::max(wall1 - wall0, 1e-3);
        state.counters["still_cpu_percent"] = 100.0 * (cpu1 - cpu0) / wall;
        state.counters["still_cpu_percent_target"] = 0.05;
        state.counters["still_seconds"] = wall;
        for (size_t i = 0; i < late.size(); ++i)
            state.counters["late_ms_object" + std::to_string(i + 1)] = late[i];
        const int32_t rate = WindowSystem().DisplayRefreshRate();
        state.counters["refresh_ms"] = 1000.0 / rate;
        const double fadeSeconds = std::max(fadeLast - fadeFirst, 1) / 1000.0;
        state.counters["fade_fps"] = fadeFrames / fadeSeconds;
        state.counters["fade_fps_over_display"] = fadeFrames / fadeSeconds / rate;
    }
    ShutdownSoundSystem(false);
}
BENCHMARK(BM_PlayerStillPictureAndFade)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
