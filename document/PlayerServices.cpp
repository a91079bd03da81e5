#include "document/PlayerServices.h"

#include "foundation/Benchmark.h"
#include "foundation/StopWatch.h"

GC_IMPLEMENT_CLASS(THighPriorityEvent, TObject)

bool TimedInitializationStep(IPlayerServices* player, const char* name, std::unique_ptr<TBenchmarkValue> value,
                             const std::function<bool()>& work) {
    TStopWatch watch;
    const bool ok = work();
    if (ok) RecordInitializationStep(player, name, std::move(value), watch.Elapsed());
    return ok;
}

void RecordInitializationStep(IPlayerServices* player, const char* name, std::unique_ptr<TBenchmarkValue> value,
                              int32_t ms) {
    if (!player || !value) return;
    value->SetTime(ms);
    player->GetBenchmark().Add(name, std::move(value));
}
