// What the catalogue costs (journal_bench times a sort with and without it):
// the recording of a sort of 2,000 projects with 40 waves each alone
// (opening a new catalogue, one transaction of 2,000 projects and 84,000
// files, closing it), which a busy disk does not blur as it does the sorts; and where on a
// catalogue of 100,000 projects (target: under 50 ms), for a name a few
// projects hold and for one most of them do; and the look-up of a folder's
// sets a read makes.
#include "Catalogue.h"
#include "Commands.h"
#include "GeneratedFolder.h"

#include <benchmark/benchmark.h>

using namespace kelvark;

namespace {

using namespace bench;

constexpr int Projects = 2000;

void RecordingASort(benchmark::State& state)
{
    // 50 projects on each of 40 DVDs, each with its project file, its backup and 40 waves.
    CatalogueBackup backup{"/music", "2026-12-10", "dvd", {}};
    for (int d = 0; d < 40; ++d) {
        CatalogueDisc& disc = backup.discs.emplace_back();
        disc.set = "DVD-" + std::to_string(d);
        disc.number = d + 1;
        disc.count = 40;
        for (int p = 0; p < Projects / 40; ++p) {
            const std::string name = "Song " + std::to_string(1000 + d * 50 + p);
            CatalogueProject& project = disc.projects.emplace_back(name);
            project.files.push_back({name + ".cue", 4000, {}});
            project.files.push_back({name + ".bak", 4000, {}});
            for (int w = 0; w < WavesPerProject; ++w)
                project.files.push_back({name + "_T" + std::to_string(w) + ".wav", 50000000, {}});
        }
    }
    const fs::path folder = fs::temp_directory_path() / ("kelvark-catalogue-record-" + std::to_string(::getpid()));
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder);
        state.ResumeTiming();
        Catalogue catalogue;
        if (catalogue.Open((folder / "catalogue.sqlite").string()).Failed() || catalogue.RecordBackup(backup).Failed())
            state.SkipWithError("the sort was not recorded");
    }
    fs::remove_all(folder);
}
BENCHMARK(RecordingASort)->Unit(benchmark::kMillisecond);

// A catalogue of 100,000 projects: 50 backups of 40 DVDs of 50 projects,
// each project with its project file and 4 waves. One project in 1,000 is
// named "… Blue Hour …"; every one holds "Session".
class BigCatalogue final {
public:
    BigCatalogue()
    {
        fs::remove_all(folder);
        Catalogue catalogue;
        if (catalogue.Open(file).Failed())
            return;
        int project = 0;
        for (int b = 0; b < 50; ++b) {
            CatalogueBackup backup{"/music/" + std::to_string(b), "2026-12-10", "dvd", {}};
            for (int d = 0; d < 40; ++d) {
                CatalogueDisc& disc = backup.discs.emplace_back();
                disc.set = "DVD-" + std::string(1, static_cast<char>('A' + d % 26)) + std::to_string(d / 26);
                disc.number = d + 1;
                disc.count = 40;
                for (int p = 0; p < 50; ++p, ++project) {
                    const std::string name =
                        std::to_string(project) + (project % 1000 == 7 ? " Blue Hour" : "") + " Session";
                    CatalogueProject& kept = disc.projects.emplace_back(name);
                    kept.files.push_back({name + ".cue", 4000, {}});
                    for (int w = 0; w < 4; ++w)
                        kept.files.push_back({name + " " + std::to_string(w) + ".wav", 50000000, {}});
                }
            }
            if (catalogue.RecordBackup(backup).Failed())
                return;
        }
        ready = true;
    }
    ~BigCatalogue() { fs::remove_all(folder); }
    BigCatalogue(const BigCatalogue&) = delete;
    BigCatalogue& operator=(const BigCatalogue&) = delete;

    fs::path folder = fs::temp_directory_path() / ("kelvark-catalogue-where-" + std::to_string(::getpid()));
    std::string file = (folder / "catalogue.sqlite").string();
    bool ready = false;
};

void Where(benchmark::State& state, const std::string& text, std::size_t expected)
{
    static const BigCatalogue big;
    if (!big.ready) {
        state.SkipWithError("the catalogue was not made");
        return;
    }
    for (auto _ : state) {
        std::vector<WhereRow> rows;
        const Result found = WhereCommand(text, big.file, rows);
        if (found.Failed() || rows.size() != expected)
            state.SkipWithError("where found other rows");
    }
}
void WhereFew(benchmark::State& state)
{
    Where(state, "blue hour", 100);
}
void WhereMost(benchmark::State& state)
{
    Where(state, "SESSION", 100000);
}
BENCHMARK(WhereFew)->Unit(benchmark::kMillisecond);
BENCHMARK(WhereMost)->Unit(benchmark::kMillisecond);

// The look-up a folder's read makes of the sets the catalogue knows of the
// folder, opening it read-only (target: 2 ms at most), on the same catalogue.
void SetsOfAFolder(benchmark::State& state)
{
    static const BigCatalogue big;
    if (!big.ready) {
        state.SkipWithError("the catalogue was not made");
        return;
    }
    for (auto _ : state) {
        Catalogue catalogue;
        std::vector<std::string> sets;
        if (catalogue.Open(big.file, CatalogueUse::Read).Failed() || catalogue.SetsOf("/music/7", sets).Failed()
            || sets.size() != 40)
            state.SkipWithError("the sets were not found");
    }
}
BENCHMARK(SetsOfAFolder)->Unit(benchmark::kMillisecond);

} // namespace
