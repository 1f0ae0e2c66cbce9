// Time of the usage sweep for one wave played by many regions.
#include "orvoSections.h"
#include "orvoWave.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

using namespace kelvark;

namespace {

void CalcUsageRegions(benchmark::State& state)
{
    orvoWave wave;
    std::mt19937 random(7);
    const int regions = static_cast<int>(state.range(0));
    // Regions spread over eight tracks, overlapping and touching.
    std::vector<std::vector<orvoAudio>> tracks(8);
    for (int i = 0; i < regions; ++i) {
        orvoAudio audio;
        audio.Offset = static_cast<std::int32_t>(random() % 100'000'000);
        audio.Length = static_cast<std::int32_t>(random() % 2'000'000);
        tracks[static_cast<std::size_t>(i % 8)].push_back(audio);
    }
    std::vector<const orvoAudio*> played; // in track and entry order
    for (const auto& track : tracks)
        for (const auto& audio : track)
            played.push_back(&audio);
    for (auto _ : state) {
        wave.CalcUsage(played);
        benchmark::DoNotOptimize(wave.samplesUsed);
    }
    state.SetComplexityN(regions);
}

BENCHMARK(CalcUsageRegions)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
