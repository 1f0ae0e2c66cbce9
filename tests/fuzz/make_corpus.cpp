#include "Samples.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& folder, const std::vector<fuzzing::NamedBytes>& inputs)
{
    fs::create_directories(folder);
    for (const auto& input : inputs) {
        std::ofstream out(folder / input.name, std::ios::binary | std::ios::trunc);
        out.write(input.bytes.data(), static_cast<std::streamsize>(input.bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + (folder / input.name).string());
    }
}

} // namespace

// Writes the seed corpus of every fuzz target: one folder per target below the
// folder named on the command line, which is emptied first.
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_corpus FOLDER\n";
        return 2;
    }
    const fs::path out = argv[1];
    fs::remove_all(out);
    auto lines = fuzzing::SampleProjects();
    for (auto& input : fuzzing::SampleLines())
        lines.push_back(std::move(input));
    Write(out / "tagline", lines);
    Write(out / "project", fuzzing::SampleProjects());
    Write(out / "wave", fuzzing::SampleWaves());
    Write(out / "usage", fuzzing::SampleRegionLists());
    Write(out / "journal", fuzzing::SampleJournals());
    return 0;
}
