// Extracting a package must take time linear in its items: the screen saver's own
// extraction of 10,000 and of 40,000 small items into one folder, as seconds per
// 10,000 items, and "ratio" = the larger package's cost per item / the smaller's
// (target: under 1.5).
#include "foundation/Packager.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "shell/ScreenSaverOptions.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// A host with a package of count items of 16 bytes each, all in one folder.
void MakeHost(const std::string& host, int count) {
    TFileStream(TExactPath{host}, fmCreate).WriteBuffer("host", 4);
    TPackager packager;
    if (!packager.AppendToFile(FromPosixPath(host))) std::abort();
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Bilder\\Bild%06d.jpg", i);
        TMemoryStream data(std::vector<uint8_t>(16, static_cast<uint8_t>(i)));
        if (!packager.AddStream(data, std::make_unique<TPackageFileListItem>(name))) std::abort();
    }
    if (!packager.Close()) std::abort();
}

// Seconds per 10,000 items for extracting a package of count items.
double SecondsPer10k(const fs::path& work, int count) {
    const std::string host = (work / ("host" + std::to_string(count))).string();
    MakeHost(host, count);
    const fs::path out = work / ("out" + std::to_string(count));
    const auto start = Clock::now();
    if (!ExtractPackage(FromPosixPath(host), FromPosixPath(out.string()))) std::abort();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // The items stay until both runs are timed: ext4 looks past inodes freed in the last
    // minute or so whenever it hands out a new one, so a run right after the smaller
    // package's 10,000 deletions would be timed with that search (up to twice as slow).
    fs::remove(host);
    return seconds * 10000.0 / count;
}

void BM_ExtractIsLinear(benchmark::State& state) {
    PackagerModule::Initialize();
    const fs::path work = fs::temp_directory_path() / ("gcbench-extract-" + std::to_string(::getpid()));
    fs::create_directories(work);
    double small = 0, large = 0;
    for (auto _ : state) {
        small = SecondsPer10k(work, 10000);
        large = SecondsPer10k(work, 40000);
    }
    fs::remove_all(work);
    PackagerModule::Finalize();
    state.counters["s_per_10k_at_10k"] = small;
    state.counters["s_per_10k_at_40k"] = large;
    state.counters["ratio"] = small > 0 ? large / small : 0;
    state.counters["target"] = 1.5;
}
BENCHMARK(BM_ExtractIsLinear)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
