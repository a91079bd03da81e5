#include "document/BackgroundMusicSlideShowObject.h"

#include "document/PreparationSteps.h"
#include "foundation/Benchmark.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/StopWatch.h"

GC_IMPLEMENT_PLUGIN(TBackgroundMusicSlideShowObject, TPlayableSlideShowObject)

namespace {

// The music file as found against the show, or the stored name when nothing is found
// (the sound then reports the missing file itself).
AnsiString MusicFile(const TSlideShowObject& item, const IMusicPlayListItem& music) {
    return item.FileToOpen(music.GetFileName());
}

}  // namespace

void TBackgroundMusicSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TPlayableSlideShowObject::BuildInitializationSteps(player, step);
    if (!initializationList_ || !MusicItem) return;
    if (!PreparationStep::Requests(step, PreparationStep::OpenSound, initializationList_->CurrentStep)) return;
    int32_t estimate = BenchmarkDefaults::OpenSound;
    if (player) {
        const AnsiString file = MusicFile(*this, *MusicItem);
        estimate = player->GetBenchmark().EstimateTime(BenchmarkNames::OpenSound,
                                                        TFileSizeBenchmarkValue::CreateValue(file),
                                                        BenchmarkDefaults::OpenSound);
    }
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(
        PreparationStep::OpenSound, estimate, PreparationStep::OpenSound));
}

bool TBackgroundMusicSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    if (step != PreparationStep::OpenSound) return true;
    if (!MusicItem) return false;
    if (!MusicItem->GetSound()) {
        const AnsiString file = MusicFile(*this, *MusicItem);
        TStopWatch watch;
        MusicItem->Open(file);
        const int32_t elapsed = watch.Stop();
        if (player) {
            std::unique_ptr<TFileSizeBenchmarkValue> value = TFileSizeBenchmarkValue::CreateValue(file);
            value->SetTime(elapsed);
            player->GetBenchmark().Add(BenchmarkNames::OpenSound, std::move(value));
        }
    }
    return MusicItem->GetSound() && MusicItem->GetSound()->IsOpen();
}

bool TBackgroundMusicSlideShowObject::IsInitialized() {
    return MusicItem && MusicItem->GetSound() && MusicItem->GetSound()->IsOpen();
}
