// What the journal costs a backup sort: the sort of a generated root folder
// of 2,000 projects with 40 waves each (the journal included), and the
// journal's own work on the same plan: writing it whole and flushing it with
// its folder, a line for each project, removing it. Each sort runs on a fresh
// copy of the folder, made outside the timing.
#include "Commands.h"
#include "GeneratedFolder.h"
#include "Journal.h"
#include "SetLetters.h"

#include <benchmark/benchmark.h>

using namespace kelvark;

namespace {

using namespace bench;

constexpr int Projects = 2000;

// A fresh copy of the generated folder, read and planned for DVDs.
struct Copy {
    Silent ui;
    orvoProjectList list{{ui, ui}};
    std::string root;

    Copy()
    {
        const fs::path path = fs::temp_directory_path() / ("kelvark-journal-bench-" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::copy(fs::path(Generated(Projects).Folder()).parent_path(), path, fs::copy_options::recursive);
        root = path.string() + "/";
        list.ReadFolder(root, true, true);
        list.CalcBackup(DVDMedium());
    }
    ~Copy() { fs::remove_all(root); }
};

void SortWithJournal(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = std::make_unique<Copy>();
        state.ResumeTiming();
        if (SortCommand(copy->list, copy->root, {copy->ui, copy->ui, copy->ui}).Failed())
            state.SkipWithError("the sort stopped");
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(SortWithJournal)->Unit(benchmark::kMillisecond)->Iterations(3);

void JournalAlone(benchmark::State& state)
{
    Copy copy;
    FilePlan plan;
    plan.root = copy.root;
    const auto whereTo = [](const orvoProject& project) {
        return FilePlan::Destination{"DVD-" + SetLetters(project.BackupNum), true};
    };
    for (int n = 0; n < copy.list.numBackups; ++n)
        plan.folders.push_back("DVD-" + SetLetters(n));
    for (const auto& project : copy.list.projects)
        plan.AddProject(*project, copy.root + "DVD-" + SetLetters(project->BackupNum) + "/", copy.list.owners, whereTo);
    for (auto _ : state) {
        Journal journal;
        if (journal.Lock(copy.root, Operation::Sort).Failed() || journal.Begin(plan).Failed())
            state.SkipWithError("the journal was not written");
        for (std::size_t k = 0; k < plan.units.size(); ++k)
            journal.Done(k);
        journal.End();
    }
}
BENCHMARK(JournalAlone)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
