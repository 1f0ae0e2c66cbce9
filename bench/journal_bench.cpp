// What the journal and the catalogue cost a backup sort: the sort of a
// generated root folder of 2,000 projects with 40 waves each (the journal
// included), without a catalogue and recording into one (a new file each
// time; target: within 1.1x), and the journal's own work on the same plan:
// writing it whole and flushing it with its folder, a line for each project,
// removing it. Each sort runs on a fresh copy of the folder, made outside the
// timing.
#include "Commands.h"
#include "GeneratedFolder.h"
#include "Journal.h"
#include "SetLetters.h"

#include <benchmark/benchmark.h>

using namespace kelvark;

namespace {

using namespace bench;

constexpr int Projects = 2000;

// A fresh copy of the generated folder, read and planned for DVDs, and a
// folder beside it for a catalogue.
struct Copy {
    Silent ui;
    orvoProjectList list{{ui, ui}};
    fs::path path = fs::temp_directory_path() / ("kelvark-journal-bench-" + std::to_string(::getpid()));
    std::string root = path.string() + "/music/";
    std::string catalogue = path.string() + "/data/catalogue.sqlite";

    Copy()
    {
        fs::remove_all(path);
        fs::create_directories(path);
        fs::copy(fs::path(Generated(Projects).Folder()).parent_path(), root, fs::copy_options::recursive);
        list.ReadFolder(root, true, true);
        list.CalcBackup(DVDMedium());
    }
    ~Copy() { fs::remove_all(path); }
};

void Sort(benchmark::State& state, bool withCatalogue)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = std::make_unique<Copy>();
        state.ResumeTiming();
        const Result sorted = SortCommand(copy->list, copy->root, {copy->ui, copy->ui, copy->ui},
                                          withCatalogue ? copy->catalogue : std::string());
        // A recording that failed is the last message of a sort that is done.
        if (sorted.Failed() || (withCatalogue && sorted.Lines().back().starts_with("The catalogue")))
            state.SkipWithError(sorted.Message().c_str());
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
}
void SortWithJournal(benchmark::State& state)
{
    Sort(state, false);
}
void SortWithCatalogue(benchmark::State& state)
{
    Sort(state, true);
}
BENCHMARK(SortWithJournal)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SortWithCatalogue)->Unit(benchmark::kMillisecond)->Iterations(3);

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
