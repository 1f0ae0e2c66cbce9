#pragma once

#include <string>
#include <vector>

// The fixed inputs the fuzz targets start from: written into the seed corpus,
// and the project target's folder of wave files.
namespace fuzzing {

struct NamedBytes {
    std::string name;
    std::string bytes;
};

// Wave files of every kind the wave reader is tested with: the RIFF, fmt and
// bext layout at 16, 20, 24 and 4 bits, bext before fmt, other chunks before
// bext, no bext, an extensible fmt body, 3 GB and largest declared sizes,
// headers cut short, no RIFF chunk and an empty file.
std::vector<NamedBytes> SampleWaves();

// Project files of every kind the reader is tested with. They play the sample
// waves and names that are missing, hidden, folders, links or invalid.
std::vector<NamedBytes> SampleProjects();

// Lines that show each rule of the tokenizer.
std::vector<NamedBytes> SampleLines();

// Region lists in the usage target's encoding: overlapping, nested, identical,
// shared boundaries in both orders, several tracks and waves, extreme positions.
std::vector<NamedBytes> SampleRegionLists();

// Journals of every kind of operation, as the program writes them (with units
// done and units moved across file systems), and of shapes it refuses.
std::vector<NamedBytes> SampleJournals();

} // namespace fuzzing
