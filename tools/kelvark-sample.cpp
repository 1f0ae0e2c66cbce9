// kelvark-sample writes a root folder of ORVEX projects: a small, realistic
// sample to try the window and the command line on, or large folders generated
// from a seed for benchmarks. The wave files are tiny: a RIFF header, a 16-byte
// fmt chunk, a 602-byte bext chunk and the header of a data chunk whose declared
// size is that of the recording; no audio follows.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t SampleRate = 48000;
constexpr std::uint16_t BitsPerSample = 24;
constexpr std::uint32_t BytesPerFrame = BitsPerSample / 8; // mono
constexpr std::uint32_t BextSize = 602;

struct Region {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

struct Wave {
    std::string name;
    std::uint32_t frames = 0;
    std::vector<Region> regions;
    bool written = true; // false leaves the file out, so the project misses it
};

struct Project {
    std::string name;
    std::vector<Wave> waves; // one track per wave
    std::vector<std::string> trackNames;
    bool readOnly = false;
};

void Usage(std::ostream& out)
{
    out << "usage: kelvark-sample FOLDER [--projects N] [--waves N] [--seed S] [--shared N]\n"
           "Writes a sample root folder of ORVEX projects into FOLDER (created when missing,\n"
           "refused when not empty). Without options: a small sample for trying Kelvark.\n"
           "With any option: N projects of N waves each, the same files for the same seed\n"
           "(defaults: 100 projects, 10 waves, seed 1). --shared N gives each of the first\n"
           "N projects a \"v2\" that plays its takes and one more, and adds a read-only\n"
           "project that plays the first project's first take.\n";
}

std::string Le16(std::uint16_t v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Le32(std::uint32_t v)
{
    return Le16(static_cast<std::uint16_t>(v & 0xFFFF)) + Le16(static_cast<std::uint16_t>(v >> 16));
}

std::string WaveHeader(std::uint32_t dataSize)
{
    const std::uint32_t riffSize = 4 + (8 + 16) + (8 + BextSize) + 8 + dataSize;
    const std::uint16_t align = BytesPerFrame;
    return "RIFF" + Le32(riffSize) + "WAVE" //
           + "fmt " + Le32(16) + Le16(1) + Le16(1) + Le32(SampleRate) + Le32(SampleRate * align) //
           + Le16(align) + Le16(BitsPerSample) //
           + "bext" + Le32(BextSize) + std::string(BextSize, '\0') //
           + "data" + Le32(dataSize);
}

std::string CueText(const Project& project)
{
    std::string text = "Qlist {\n";
    for (std::size_t t = 0; t < project.waves.size(); ++t) {
        const Wave& wave = project.waves[t];
        text += "Track {\nTrack = " + std::to_string(t + 1) + "\n";
        std::int64_t time = 0;
        for (const Region& region : wave.regions) {
            text += "Audio {\nFile = \"" + wave.name + "\"\nTime = " + std::to_string(time) + "\nOffset = "
                    + std::to_string(region.offset) + "\nLength = " + std::to_string(region.length) + "\n}\n";
            time += region.length;
        }
        text += "}\n";
    }
    text += "VirtualTracks {\n";
    for (std::size_t t = 0; t < project.trackNames.size(); ++t)
        text += "VTrack {\nVirtual = " + std::to_string(t + 1) + "\nPhysical = " + std::to_string(t + 1) + "\nName = \""
                + project.trackNames[t] + "\"\n}\n";
    return text + "}\n}\n";
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void WriteProject(const fs::path& folder, const Project& project)
{
    const std::string cue = CueText(project);
    WriteFile(folder / (project.name + ".cue"), cue);
    // An earlier save of the project file, as the recorder leaves beside it.
    WriteFile(folder / (project.name + ".bak"), cue);
    for (const Wave& wave : project.waves)
        if (wave.written)
            WriteFile(folder / wave.name, WaveHeader(wave.frames * BytesPerFrame));
    if (project.readOnly)
        fs::permissions(folder / (project.name + ".cue"),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
}

std::string WaveName(const std::string& project, std::size_t track)
{
    return project + (track < 9 ? " 0" : " ") + std::to_string(track + 1) + ".wav";
}

// The hand-made sample: regular projects with their mixes, usage from a rough
// comp to nearly everything kept, one read-only project and one whose wave is
// missing. The sizes make a DVD plan of more than one set.
std::vector<Project> SampleProjects()
{
    struct Recipe {
        const char* name;
        int tracks;
        int seconds;
        int usedPercent;
        bool readOnly;
        int missingTrack; // 1-based; 0 for none
    };
    static const Recipe recipes[] = {
        {"Alder Road", 24, 372, 92, false, 0},         {"Alder Road Mix", 2, 372, 100, false, 0},
        {"Blue Hour", 16, 268, 71, false, 0},          {"Blue Hour Mix", 2, 268, 100, false, 0},
        {"Cinder Lane", 20, 305, 58, false, 0},        {"Dust Choir", 12, 221, 45, false, 7},
        {"Ember Tide", 18, 415, 80, true, 0},          {"Granite Sky", 24, 392, 86, false, 0},
        {"Granite Sky Mix", 2, 392, 100, false, 0},    {"Harbour Lights", 24, 433, 34, false, 0},
        {"Harbour Lights Mix", 2, 433, 100, false, 0},
    };
    static const char* instruments[] = {"Kick",       "Snare",   "Hat",      "Tom 1",    "Tom 2",  "Overhead L",
                                        "Overhead R", "Bass DI", "Bass Amp", "Gtr L",    "Gtr R",  "Gtr Solo",
                                        "Keys L",     "Keys R",  "Organ",    "Lead Vox", "Double", "BV 1",
                                        "BV 2",       "BV 3",    "Perc",     "Shaker",   "Room L", "Room R"};

    std::vector<Project> projects;
    for (const Recipe& recipe : recipes) {
        Project project{recipe.name, {}, {}, recipe.readOnly};
        const bool mix = std::string_view(recipe.name).ends_with(" Mix");
        for (int t = 0; t < recipe.tracks; ++t) {
            // Drums and bass run the whole song; overdubs cover less of it.
            const int lengthPercent = mix ? 100 : 70 + (t * 37) % 31;
            const auto frames =
                static_cast<std::uint32_t>(std::int64_t{recipe.seconds} * SampleRate * lengthPercent / 100);
            // Each track keeps about the project's share, a few percent either way.
            const int used = std::min(100, recipe.usedPercent + (mix ? 0 : (t * 7) % 11 - 5));
            const std::int64_t kept = std::int64_t{frames} * used / 100;
            const std::int64_t start = (frames - kept) / 2;
            Wave wave{WaveName(recipe.name, static_cast<std::size_t>(t)), frames, {}, t + 1 != recipe.missingTrack};
            if (t % 3 == 1) {
                // A comp of two takes that overlap by a second.
                wave.regions = {{start, kept / 2 + SampleRate}, {start + kept / 2, kept - kept / 2}};
            } else {
                wave.regions = {{start, kept}};
            }
            project.waves.push_back(wave);
            project.trackNames.push_back(mix ? (t == 0 ? "Mix L" : "Mix R") : instruments[t % 24]);
        }
        projects.push_back(project);
    }
    return projects;
}

// A generated folder: every tenth project is a mix; recordings of 30 seconds to
// 7 minutes, each wave played by one to three regions. Only the engine defined
// by the standard is used, so a seed gives the same folder everywhere.
std::vector<Project> GeneratedProjects(int count, int waves, std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    const auto below = [&random](std::uint64_t n) { return static_cast<std::int64_t>(random() % n); };
    std::vector<Project> projects;
    for (int p = 1; p <= count; ++p) {
        std::string name = std::to_string(p);
        name = std::string(name.size() < 4 ? 4 - name.size() : 0, '0') + name + " Session";
        if (p % 10 == 0)
            name += " Mix";
        Project project{name, {}, {}, false};
        for (int w = 0; w < waves; ++w) {
            const auto frames = static_cast<std::uint32_t>((30 + below(391)) * SampleRate);
            Wave wave{WaveName(name, static_cast<std::size_t>(w)), frames, {}, true};
            for (std::int64_t r = 0, n = 1 + below(3); r < n; ++r) {
                const std::int64_t offset = below(frames);
                wave.regions.push_back({offset, 1 + below(frames - offset)});
            }
            project.waves.push_back(wave);
            project.trackNames.push_back("Track " + std::to_string(w + 1));
        }
        projects.push_back(project);
    }
    return projects;
}

// Each of the first count projects gets a second version, as a user saves one:
// "0042 Session v2" plays every take of "0042 Session" and one new take. A
// read-only rough mix then plays the first take of the first project.
void AddSharedVersions(std::vector<Project>& projects, int count, std::uint64_t seed)
{
    std::mt19937_64 random(seed + 1); // apart from the projects' own numbers, which stay as they were
    const auto n = std::min(static_cast<std::size_t>(count), projects.size());
    for (std::size_t p = 0; p < n; ++p) {
        Project version = projects[p];
        version.name += " v2";
        const auto frames = static_cast<std::uint32_t>((30 + static_cast<std::int64_t>(random() % 391)) * SampleRate);
        version.waves.push_back(
            {WaveName(version.name, version.waves.size()), frames, {{0, static_cast<std::int64_t>(frames)}}, true});
        version.trackNames.push_back("Overdub");
        for (Wave& wave : version.waves)
            wave.written = wave.name.starts_with(version.name); // the takes of the first version are written with it
        projects.push_back(version);
    }
    if (n > 0) {
        const Project& first = projects.front();
        projects.push_back({first.name + " Rough", {first.waves.front()}, {first.trackNames.front()}, true});
        projects.back().waves.front().written = false;
    }
}

template <typename Number> bool ParseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    int projectCount = 100;
    int waveCount = 10;
    int sharedCount = 0;
    std::uint64_t seed = 1;
    bool generated = false;

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help") {
            Usage(std::cout);
            return 0;
        }
        if (arg == "--projects" || arg == "--waves" || arg == "--seed" || arg == "--shared") {
            const bool ok = i + 1 < args.size()
                            && (arg == "--seed"       ? ParseNumber(args[i + 1], seed)
                                : arg == "--projects" ? ParseNumber(args[i + 1], projectCount) && projectCount > 0
                                : arg == "--shared"   ? ParseNumber(args[i + 1], sharedCount) && sharedCount > 0
                                                      : ParseNumber(args[i + 1], waveCount) && waveCount > 0);
            if (!ok) {
                std::cerr << "kelvark-sample: " << arg << " needs a positive whole number\n";
                Usage(std::cerr);
                return 2;
            }
            generated = true;
            ++i;
        } else if (arg.starts_with("-") || !folder.empty()) {
            std::cerr << "kelvark-sample: unexpected argument " << arg << "\n";
            Usage(std::cerr);
            return 2;
        } else {
            folder = arg;
        }
    }
    if (folder.empty()) {
        std::cerr << "kelvark-sample: missing FOLDER\n";
        Usage(std::cerr);
        return 2;
    }

    try {
        fs::create_directories(folder);
        if (!fs::is_empty(folder)) {
            std::cerr << "kelvark-sample: " << folder << " is not empty; nothing written\n";
            return 1;
        }
        auto projects = generated ? GeneratedProjects(projectCount, waveCount, seed) : SampleProjects();
        AddSharedVersions(projects, sharedCount, seed);
        for (const Project& project : projects)
            WriteProject(folder, project);
    } catch (const std::exception& error) {
        std::cerr << "kelvark-sample: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
