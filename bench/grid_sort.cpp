// The project grid at 100,000 rows: the time to show them, and to sort them
// by Size (1) and by name (0) as a click on a header does. Runs without a display (offscreen).
#include "ProjectGrid.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

using namespace kelvark;

namespace {

constexpr int Rows = 100'000;

// Rows as a read of a large folder gives them: sizes up to 5 GB, some
// read-only ("-"), some in no set, some without audio ("ERR").
std::vector<GridRow> Generated()
{
    std::mt19937 random(7);
    std::vector<GridRow> rows;
    rows.reserve(Rows);
    for (int i = 0; i < Rows; ++i) {
        const std::uint32_t tenths = random() % 50'000;
        const bool readOnly = random() % 50 == 0;
        rows.push_back({"Project " + std::to_string(random() % 1'000'000),
                        readOnly ? "-" : std::to_string(tenths / 10) + "." + std::to_string(tenths % 10),
                        std::to_string(random() % 48), std::to_string(random() % 200),
                        random() % 20 == 0 ? "" : std::string(1, static_cast<char>('A' + random() % 26)),
                        readOnly             ? "-"
                        : random() % 30 == 0 ? "ERR"
                                             : std::to_string(random() % 101) + "%"});
    }
    return rows;
}

QApplication& App()
{
    static int argc = 1;
    static char name[] = "grid_sort";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void GridShowRows(benchmark::State& state)
{
    App();
    const std::vector<GridRow> rows = Generated();
    ProjectGrid grid(nullptr);
    for (auto _ : state) {
        grid.ShowRows(rows);
        benchmark::DoNotOptimize(grid.RowCount());
    }
}

// Sorts by the column of the argument, from list order each time.
void GridSortBy(benchmark::State& state)
{
    App();
    ProjectGrid grid(nullptr);
    grid.ShowRows(Generated());
    for (auto _ : state) {
        state.PauseTiming();
        grid.sortByColumn(-1, Qt::AscendingOrder);
        state.ResumeTiming();
        grid.sortByColumn(static_cast<int>(state.range(0)), Qt::AscendingOrder);
        benchmark::DoNotOptimize(grid.model()->index(0, 0));
    }
}

BENCHMARK(GridShowRows)->Unit(benchmark::kMillisecond);
BENCHMARK(GridSortBy)->Arg(ProjectModel::Size)->Arg(ProjectModel::Project)->Unit(benchmark::kMillisecond);

} // namespace
