// Time of reading a root folder as the Read folder command does: the scan, the
// plan and the grid, for root folders of 500, 1,000 and 2,000 projects with 40
// wave files each. The wave files are tiny: their RIFF headers declare
// realistic sizes. Each folder is generated once, in a temporary folder.
#include "GeneratedFolder.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace kelvark;

namespace {

using namespace bench;

void ReadPlanAndFill(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::string root = Generated(n).Folder();
    Silent ui;
    orvoProjectList list({ui, ui});
    std::size_t rows = 0;
    for (auto _ : state) {
        list.ReadFolder(root, true, true);
        list.CalcBackup(DVDMedium());
        rows = list.FillGrid().size();
    }
    if (rows != static_cast<std::size_t>(n) || list.numBackups == 0)
        state.SkipWithError("the folder was not read whole");
    state.counters["projects"] = n;
    state.counters["per project"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(ReadPlanAndFill)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The plan alone, on lists far larger than any root folder, to show n log n.
void PlanOnly(benchmark::State& state)
{
    Silent ui;
    orvoProjectList list({ui, ui});
    std::mt19937_64 random(3);
    for (int i = 0; i < state.range(0); ++i) {
        auto project = std::make_shared<orvoProject>(ui);
        project->wavSize = static_cast<std::int64_t>(random() % 2'000'000'000);
        list.projects.add(project);
    }
    for (auto _ : state)
        list.CalcBackup(DVDMedium());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(PlanOnly)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);

} // namespace
