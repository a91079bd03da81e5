#include "document/BackgroundMusicSlideShowObject.h"

#include "foundation/Benchmark.h"
#include "foundation/StopWatch.h"

GC_IMPLEMENT_PLUGIN(TBackgroundMusicSlideShowObject, TPlayableSlideShowObject)

void TBackgroundMusicSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TPlayableSlideShowObject::BuildInitializationSteps(player, step);
    if (!initializationList_ || !MusicItem) return;
    // Step -3 asks for every step not yet begun.
    if (step != 0 && !(step == -3 && initializationList_->CurrentStep < 0)) return;
    int32_t estimate = BenchmarkDefaults::OpenSound;
    if (player) {
        const AnsiString file = ResolveFileName(MusicItem->GetFileName());
        estimate = player->GetBenchmark().EstimateTime(BenchmarkNames::OpenSound,
                                                        TFileSizeBenchmarkValue::CreateValue(file),
                                                        BenchmarkDefaults::OpenSound);
    }
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(0, estimate, 0));
}

bool TBackgroundMusicSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    if (step != 0) return true;
    if (!MusicItem) return false;
    if (!MusicItem->GetSound()) {
        const AnsiString file = ResolveFileName(MusicItem->GetFileName());
        TStopWatch watch;
        MusicItem->Open(file);
        const int32_t elapsed = watch.Stop();
        if (player) {
            std::unique_ptr<TFileSizeBenchmarkValue> value = TFileSizeBenchmarkValue::CreateValue(file);
            value->SetTime(elapsed);
            player->GetBenchmark().Add(BenchmarkNames::OpenSound, std::move(value));
        }
    }
    return MusicItem->GetSound() && MusicItem->IsSoundOpen();
}

bool TBackgroundMusicSlideShowObject::IsInitialized() {
    return MusicItem && MusicItem->GetSound() && MusicItem->IsSoundOpen();
}
