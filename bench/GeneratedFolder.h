#pragma once

// A generated root folder for the benchmarks: n projects, each a project
// file, a backup of it, and 40 waves of 20 to 120 MB played by regions spread
// over 8 tracks. The wave files are tiny: their RIFF headers declare realistic
// sizes. Each folder is generated once, in a temporary folder.
#include "orvoProjectList.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <unistd.h>

using namespace kelvark;

namespace bench {

namespace fs = std::filesystem;

constexpr int WavesPerProject = 40;
constexpr int TracksPerProject = 8;

struct Silent final : Messages, Progress, Question {
    void Show(const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string&) override {}
};

inline void PutLe(std::string& out, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// RIFF header, 16-byte fmt chunk (48 kHz, 24 bits, mono), 602-byte bext chunk
// and the header of a data chunk of dataSize bytes that is not written.
inline std::string WaveHeader(std::uint32_t dataSize)
{
    std::string out = "RIFF";
    PutLe(out, 4 + 24 + 8 + 602 + 8 + dataSize, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, 1, 2);
    PutLe(out, 48000, 4);
    PutLe(out, 48000 * 3, 4);
    PutLe(out, 3, 2);
    PutLe(out, 24, 2);
    out += "bext";
    PutLe(out, 602, 4);
    out += std::string(602, '\0') + "data";
    PutLe(out, dataSize, 4);
    return out;
}

inline void Write(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A root folder of n projects: each a project file, a backup of it, and 40
// waves of 20 to 120 MB played by regions spread over 8 tracks.
class RootFolder final {
public:
    explicit RootFolder(int n)
        : path(fs::temp_directory_path()
               / ("kelvark-scan-bench-" + std::to_string(::getpid()) + "-" + std::to_string(n)))
    {
        fs::create_directories(path);
        std::mt19937 random(static_cast<unsigned>(n));
        for (int p = 0; p < n; ++p) {
            const std::string name = "Song " + std::to_string(1000 + p);
            std::string tracks[TracksPerProject];
            for (int w = 0; w < WavesPerProject; ++w) {
                const std::string wave = "S" + std::to_string(1000 + p) + "_T" + std::to_string(w) + ".wav";
                const std::uint32_t dataSize = 20'000'000 + random() % 100'000'000;
                Write(path / wave, WaveHeader(dataSize));
                const std::uint32_t samples = dataSize / 3;
                tracks[w % TracksPerProject] += "Audio {\nFile = \"" + wave
                                                + "\"\nOffset = " + std::to_string(samples / 10)
                                                + "\nLength = " + std::to_string(samples / 2) + "\n}\n";
            }
            std::string cue = "Qlist {\n";
            for (int t = 0; t < TracksPerProject; ++t)
                cue += "Track {\nTrack = " + std::to_string(t + 1) + "\n" + tracks[t] + "}\n";
            cue += "}\n";
            Write(path / (name + ".cue"), cue);
            Write(path / (name + ".bak"), cue);
        }
    }
    ~RootFolder() { fs::remove_all(path); }
    RootFolder(const RootFolder&) = delete;
    RootFolder& operator=(const RootFolder&) = delete;

    std::string Folder() const { return path.string() + "/"; }

private:
    fs::path path;
};

inline const RootFolder& Generated(int n)
{
    static std::map<int, std::unique_ptr<RootFolder>> folders;
    auto& folder = folders[n];
    if (!folder)
        folder = std::make_unique<RootFolder>(n);
    return *folder;
}

} // namespace bench
