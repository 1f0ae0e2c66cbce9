// Time of the usage sweep for one wave played by many regions.
#include "Messages.h"
#include "orvoProject.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace kelvark;

namespace {

struct NoMessages final : Messages {
    void Show(const std::string&) override {}
};

void CalcUsageRegions(benchmark::State& state)
{
    NoMessages messages;
    orvoProject project(messages);
    auto wave = std::make_shared<orvoWave>();
    wave->project = &project;
    project.waves.add(wave);
    std::mt19937 random(7);
    const int regions = static_cast<int>(state.range(0));
    // Regions spread over eight tracks, overlapping and touching.
    for (int t = 0; t < 8; ++t)
        project.trackList.tracks.emplace_back();
    for (int i = 0; i < regions; ++i) {
        orvoAudio audio; // plays the project's first wave
        audio.Offset = static_cast<std::int32_t>(random() % 100'000'000);
        audio.Length = static_cast<std::int32_t>(random() % 2'000'000);
        project.trackList.tracks[static_cast<std::size_t>(i % 8)].audios.push_back(audio);
    }
    for (auto _ : state) {
        wave->CalcUsage();
        benchmark::DoNotOptimize(wave->samplesUsed);
    }
    state.SetComplexityN(regions);
}

BENCHMARK(CalcUsageRegions)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

BENCHMARK_MAIN();
