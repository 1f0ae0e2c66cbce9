#pragma once

#include "FolderListing.h"
#include "Messages.h"
#include "acList.h"
#include "orvoSections.h"
#include "orvoWave.h"

#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kelvark {

// The record of one project: its name and folder, the tracks of its project
// file, the wave files its regions play with their sizes, the size of its own
// files, its backup set and the errors met while reading it.
// Operations that can fail return true on failure with the reason in LastError.
class orvoProject final {
public:
    explicit orvoProject(Messages& messages) : messages(messages) {}
    orvoProject(const orvoProject&) = delete;
    orvoProject& operator=(const orvoProject&) = delete;

    std::string Name;     // the project file's name without ".cue"
    std::string ReadDir;  // the folder of the project file, its own files and its waves
    std::string WriteDir; // kept empty: no operation writes elsewhere than ReadDir
    orvoTrackList trackList;
    acList<orvoWave> waves;
    std::int64_t wavSize = 0;     // sum of the waves' declared sizes
    std::int64_t samples = 0;
    std::int64_t samplesUsed = 0;
    std::int64_t fileSize = 0;    // sum of the lengths of the project's own files
    // What the files a sort moves cost on a disc (FileCost of each), and how
    // many they are; set with the own files, once the waves are measured.
    std::int64_t discSize = 0;
    int discFiles = 0;
    int errorNum = 0;
    std::string errorText;
    int BackupNum = -1;           // backup set, -1 when in none
    bool IsAProject = false;      // false for a mix project
    bool ReadOnly = false;        // the project file is read-only
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
    // Reads the open project file to its end into trackList and closes it.
    bool FileRead(TagFile& fi);
    // Builds the wave list and finds each wave's file, without measuring.
    void ListWaves();
    // Builds the wave list and measures the waves, opening their files
    // relative to the open folder ReadDir (AT_FDCWD: by their paths). True
    // when a wave failed.
    bool GetWaveInfo(int folder = AT_FDCWD);
    // The same, asking probe, which a folder scan keeps from project to
    // project, whether the waves are in memory already.
    bool GetWaveInfo(int folder, MemoryProbe& probe);
    // Adds up the waves once measured: wavSize, the samples and those the
    // regions use, and an error line for each wave that failed. True when one did.
    bool SumWaves();
    // Takes over what ahead, a project of the same name and folder read apart
    // from this one, read: the folder with its separator, the read-only test,
    // why its file could not be opened, the tracks, the waves as measured and
    // the lengths of its own files.
    void TakeRead(orvoProject& ahead);
    // Lists and sizes the project's own files.
    void GetFileSize();

    // True when a file of the project already exists in destDir; those files
    // are listed in LastError.
    bool MoveTest(const std::string& destDir);
    // Takes files as the project's own files and sizes them and the project on a disc.
    void SetOwnFiles(std::vector<std::string> files);

    // Adds one line to LastError under the project's name.
    void AddError(const std::string& text);

    std::int64_t TotalSize() const { return wavSize + fileSize; }

    // The names of the own files, in listing order.
    const std::vector<std::string>& OwnFiles() const { return fileList; }
    int numFiles() const { return static_cast<int>(fileList.size()); }
    // The files a move handles: the own files, then every wave file found,
    // each once (a wave may also be an own file, two wave names one file).
    std::vector<std::string> FilesToMove() const;

    Messages& messages;

    // The listing of ReadDir: the scan's, else one the project makes on first need and keeps.
    const FolderListing& Listing();

private:

    std::vector<std::string> fileList;
};

} // namespace kelvark
