#include "document/PlayerServices.h"

#include "foundation/Benchmark.h"
#include "foundation/StopWatch.h"

GC_IMPLEMENT_CLASS(THighPriorityEvent, TObject)

bool TimedInitializationStep(IPlayerServices* player, const char* name, std::unique_ptr<TBenchmarkValue> value,
                             const std::function<bool()>& work) {
    TStopWatch watch;
    const bool ok = work();
    if (ok && player) {
        value->SetTime(watch.Elapsed());
        player->GetBenchmark().Add(name, std::move(value));
    }
    return ok;
}
