// A still picture with background music and no fade, on the real clock with our sound
// library (run it with SDL_AUDIODRIVER=dummy): the loop sleeps until the music or the
// show next has work. Reports the GUI thread's CPU time as a share of one core over 10 s
// of playing ("gui_share", target: at most 0.02) and, beside it, the rest of the
// process, which is the mixer's ("mixer_share").
#include "bench/BenchSupport.h"
#include "tests/soundlib/SoundFixtures.h"

#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "objects/ObjectModules.h"
#include "foundation/SlideShowGlobals.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "playback/OffscreenPlayerHost.h"
#include "playback/PlaybackModules.h"
#include "playback/RealTimeSlideShowPlayer.h"

#include <ctime>
#include <filesystem>

namespace {

double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

class TStillItem : public TPlayableSlideShowObject {
public:
    int32_t Play(IPlayerServices* player, bool final) override {
        TPlayableSlideShowObject::Play(player, final);
        return std::max(0, GetStartTime() + GetDuration() - player->GetPlayTime());
    }
    bool IsInitialized() override { return true; }
};

void BM_MusicIdle(benchmark::State& state) {
    static TPlugins* plugins = [] {
        if (!Plugins) Plugins = new TPlugins();
        TPlugins* p = Plugins;
        InitializeShowItemModules(*p);
        SlideShowDocument::Initialize();
        SlideShowPlayerProperties::Initialize();
        MusicPlayListUnit::Initialize();
        SlideShowPlayerModule::Initialize();
        return p;
    }();
    (void)plugins;
    const std::string music = (std::filesystem::temp_directory_path() / "glowcanvas-bench-music.wav").string();
    soundtest::WriteSine(music, 44100, 30.0, 440.0, 8000);
    InitSoundSystem({.ForceNew = true, .FmodPath = soundtest::LibraryPath()});
    for (auto _ : state) {
        TSlideShow show;
        auto& settings = *dynamic_cast<TMusicProperties*>(show.MusicProperties);
        auto item = std::make_unique<TMusicPlayListItem>();
        item->FileName = music;
        settings.PlayList->Add(std::move(item));
        auto* still = new TStillItem();
        still->SetDuration(60000);
        show.RootList().Add(still);
        TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(CurrentSoundSystem()));
        TOffscreenPlayerHost host(*player, 320, 240);
        host.Play(&show);
        host.RunFor(500);
        const double gui0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID), all0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const int ticks0 = host.TickCount();
        host.RunFor(10000);
        const double gui = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - gui0;
        const double all = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - all0;
        state.counters["gui_share"] = gui / 10.0;
        state.counters["mixer_share"] = (all - gui) / 10.0;
        state.counters["gui_share_target"] = 0.02;
        state.counters["ticks"] = host.TickCount() - ticks0;
        host.Finish();
    }
    ShutdownSoundSystem(true);
}

}  // namespace

BENCHMARK(BM_MusicIdle)->Iterations(1)->Unit(benchmark::kSecond);
