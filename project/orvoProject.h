#pragma once

#include "FolderListing.h"
#include "Messages.h"
#include "orvoSections.h"
#include "orvoWave.h"

#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvark {

// The record of one project: its name and folder, what its project file and
// the wave files its regions play add up to, the size of its own files, its
// backup set and the errors met while reading it.
// Operations that can fail return true on failure with the reason in LastError.
class orvoProject final {
public:
    explicit orvoProject(Messages& messages) : messages(messages) {}
    orvoProject(const orvoProject&) = delete;
    orvoProject& operator=(const orvoProject&) = delete;

    std::string Name; // the project file's name without ".cue"
    std::string ReadDir; // the folder of the project file, its own files and its waves
    // What the read of the project file gives, kept until the waves are
    // summed: the tracks with their regions, and each wave as found and
    // measured. Only the projects being read hold one.
    struct Reading {
        orvoTrackList trackList;
        std::vector<orvoWave> waves; // one per distinct file name, in the order of first use
    };
    std::unique_ptr<Reading> reading;
    std::size_t trackCount = 0; // the tracks of the project file, once its waves are kept
    std::int64_t wavSize = 0; // sum of the waves' declared sizes
    std::int64_t samples = 0;
    std::int64_t samplesUsed = 0;
    std::int64_t fileSize = 0; // sum of the lengths of the project's own files
    // What the files a sort moves cost on a disc (DiscCost of each, and the
    // project's line in the disc's label), and how many they are; set with
    // the own files, once the waves are measured.
    std::int64_t discSize = 0;
    int discFiles = 0;
    int BackupNum = -1; // backup set, -1 when in none
    bool IsAProject = false; // false for a mix project
    bool ReadOnly = false; // the project file is read-only
    std::string LastError;
    // Why the project could not be read; empty once it was read.
    std::string ReadFailure = "The read was cancelled before this project.";

    // The listing of ReadDir that a folder scan shares among its projects. When
    // it is not set, the project lists ReadDir itself on first need.
    std::shared_ptr<const FolderListing> folder;
    // The lengths of the files that may be the project's own (named as the
    // project, alone or followed by "."), each with its position in folder, in
    // listing order, found while the project was read ahead of its turn: the
    // next SetOwnFiles takes its files' lengths from them rather than asking
    // the folder one file after another, then lets them go.
    std::vector<std::pair<std::size_t, std::int64_t>> ownLengths;

    // Opens the project file under fi, relative to the open folder ReadDir
    // (AT_FDCWD: by its path). True when it could not be opened.
    bool FileOpenRead(TagFile& fi, int folder = AT_FDCWD);
    // Reads the open project file to its end into reading and closes it.
    bool FileRead(TagFile& fi);
    // Builds the read's wave list and finds each wave's file, without measuring.
    void ListWaves();
    // Builds the wave list and measures the waves, opening their files
    // relative to the open folder ReadDir (AT_FDCWD: by their paths). True
    // when a wave failed.
    bool GetWaveInfo(int folder = AT_FDCWD);
    // The same, asking probe, which a folder scan keeps from project to
    // project, whether the waves are in memory already.
    bool GetWaveInfo(int folder, MemoryProbe& probe);
    // Adds up the waves once measured: wavSize, the samples and those the
    // regions use, and an error line for each wave that failed, then keeps
    // the waves (KeepWaves). True when one failed.
    bool SumWaves();
    // Keeps of the read only what the grid, the plans and the moves use: the
    // track count, and each wave's file with what it costs on a disc. The
    // read, regions and measures included, goes.
    void KeepWaves();
    // Takes over what ahead, a project of the same name and folder read apart
    // from this one, read: the folder with its separator, the read-only test,
    // why its file could not be opened, the read and the lengths of its own files.
    void TakeRead(orvoProject& ahead);

    // True when a file of the project already exists in destDir; those files
    // are listed in LastError.
    bool MoveTest(const std::string& destDir);
    // Takes files as the project's own files and sizes them and the project on a disc.
    void SetOwnFiles(const std::vector<std::string>& files);

    // Adds one line to LastError under the project's name.
    void AddError(const std::string& text);

    // The names of the own files, in listing order.
    std::vector<std::string> OwnFiles() const;
    // The size the plan counts for own file i, in the order of OwnFiles().
    std::int64_t OwnFileSize(std::size_t i) const { return ownFileSizes.at(i); }
    // The files a move handles: the own files, then every wave file found,
    // each once (a wave may also be an own file, two wave names one file).
    // The names are views into the project's own files and its listing, good
    // while the project's own files stay as they are.
    std::vector<std::string_view> FilesToMove() const;

    // The waves kept, in the order the project file first names them.
    int WaveCount() const { return static_cast<int>(wavePositions.size()); }
    // The position of wave i's file in the listing of ReadDir; npos when none was found.
    std::size_t WavePosition(int i) const;
    // The ordinary file of ReadDir that wave i found, as the listing names it; empty when none.
    std::string_view WaveDiskName(int i) const;
    // Wave i's name as the project file gives it.
    std::string_view WaveName(int i) const;
    // The size the plan counts for wave i's file; 0 when none was found.
    std::int64_t WaveSize(int i) const { return waveSizes.at(static_cast<std::size_t>(i)); }
    // The files a move handles (FilesToMove) whose size in the plan is bytes
    // or more, each once.
    std::vector<std::string_view> FilesOfAtLeast(std::int64_t bytes) const;

    Messages& messages;

    // The listing of ReadDir: the scan's, else one the project makes on first need and keeps.
    const FolderListing& Listing();

private:
    // The own files' names, each followed by a zero byte (no file name holds
    // one): one string per project, not one per file.
    std::string ownFiles;
    // The size the plan counts for each own file, in the order of ownFiles.
    std::vector<std::int64_t> ownFileSizes;

    // The waves kept. Each is its file's position in the listing: a folder
    // scan keeps hundreds of thousands of waves, and the listing names them.
    static constexpr std::uint32_t Unlisted = UINT32_MAX; // no file found
    std::vector<std::uint32_t> wavePositions;
    std::vector<std::int64_t> waveSizes; // per wave, its file's size (fileSize)
    // What only some projects' waves need, kept apart: most projects have
    // none of it, and a folder scan keeps thousands of projects.
    struct WaveExtras {
        // The names that the listing does not hold as the project file gives
        // them (a wave not found, or found under another spelling), by wave,
        // in wave order.
        std::vector<std::pair<std::uint32_t, std::string>> names;
        // The sizes of the wave files that may be own files too (named as the
        // project), by position, in wave order: such a file costs what the
        // larger of its length and the wave's size costs.
        std::vector<std::pair<std::uint32_t, std::int64_t>> ownSizes;
    };
    std::unique_ptr<WaveExtras> extras; // none when both are empty
    // What the other wave files cost on a disc, each once, and how many they are.
    std::int64_t waveCost = 0;
    int waveFiles = 0;
};

} // namespace kelvark
