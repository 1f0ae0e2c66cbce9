#pragma once

#include "FileOps.h"
#include "FolderListing.h"
#include "Messages.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kelvark {

class HeaderReader;
class orvoAudio;
class orvoProject;

// The first bytes of a wave file and its length, read before the file is
// measured.
struct WaveHead {
    std::span<const unsigned char> block; // the file's first bytes: fewer than asked only where the file ends
    std::size_t asked = 0; // the bytes asked for
    std::int64_t length = 0; // the file's length
};

// One wave file that a project's audio regions play, as the read of the
// project finds and measures it.
class orvoWave final {
public:
    std::string FileName; // as the project file names it, relative to the project's ReadDir
    orvoProject* project = nullptr; // the owner, whose read holds the wave
    std::int64_t fileSize = 0; // the larger of the length the RIFF header declares and the file's length
    std::int64_t samplesUsed = 0; // samples covered by the project's regions on this file
    std::int64_t samples = 0; // sample count derived from the chunk sizes
    std::int32_t Rate = 44100;
    int Bytes = 2; // bytes per sample

    // The ordinary file of ReadDir that FileName found, as the project's
    // folder listing names it; empty when none.
    std::string_view DiskName() const;
    // The position of that file in the project's folder listing; npos when none.
    std::size_t DiskPosition() const { return diskPosition == Unlisted ? FolderListing::npos : diskPosition; }
    // Why the wave could not be measured; empty when nothing failed.
    std::string LastError() const;

    // Measures the file that Open gave from its RIFF chunk headers; the notices
    // of its chunk walk go to notices. True when it could not be measured; the
    // reason is then in LastError().
    bool FileGetSize(const FileDescriptor& file, Messages& notices);
    // The same from the head of the file that Find found, read before; the
    // file itself, relative to the open folder, is read only when the walk
    // goes past the head.
    bool FileGetSize(const WaveHead& head, int folder, Messages& notices);
    // True when the last measure failed.
    bool Failed() const { return failure != Failure::None; }
    // Opens the wave's file, relative to the open folder (AT_FDCWD: ReadDir),
    // if it is a regular file. No descriptor when the wave names no file to
    // measure, or its file is not found, not a regular file any more or can't
    // be opened: FileGetSize then tells which.
    FileDescriptor Open(int folder);
    // Finds the file of FileName when the wave names one to measure; true
    // when it is found, whose name DiskName then gives.
    bool Find();
    // Finds the file of FileName in the project's folder, which sets DiskName.
    void Locate();

    // Sets samplesUsed from the regions that play this wave, given in track
    // and entry order: a project measuring all its waves gathers them in one walk.
    void CalcUsage(std::span<const orvoAudio* const> regions);

    // A name that stays inside the project's folder. An empty name names no
    // file and is valid (nothing is measured, moved or tested for it).
    static bool IsValidName(std::string_view name);

private:
    // The file found is held as its place in the project's folder listing,
    // which names it: a folder scan keeps hundreds of thousands of waves.
    static constexpr std::uint32_t Unlisted = UINT32_MAX;
    std::uint32_t diskPosition = Unlisted;
    // What failed, kept as a kind rather than a text: the text follows from
    // the kind and the names, and most waves have none.
    enum class Failure : std::uint8_t { None, InvalidName, NotFound, SizeZero, HeaderShort, Unreadable, NotRegular };
    Failure failure = Failure::None;
    // Why the last open gave no descriptor (None when it gave one), and the
    // system's error of an Unreadable file.
    Failure openFailure = Failure::None;
    int openError = 0;
    // The length of the file the last Open opened, found as it was tested; -1 when none.
    std::int64_t openedLength = -1;
    // The length the RIFF header declares, kept for the text of HeaderShort.
    std::int64_t declared = 0;

    friend class HeaderReader;
    bool Measured() const;
    // Opens the file that Find found, relative to the open folder, and sets
    // openFailure; a file that is there but can't be opened has its length
    // measured all the same: it is copied and moved like any other.
    FileDescriptor OpenFound(int folder);
    bool ReadChunks(HeaderReader& in, Messages& notices);
};

// The bytes of a wave file read at once for its chunk headers.
inline constexpr std::int64_t HeaderBlock = 4096;

// A chunk walk stops after this many chunks it does not know: what follows is
// not a header worth reading.
inline constexpr int UnknownChunkLimit = 100;

// Boundaries at or beyond this sample position are never reached by the usage sweep.
inline constexpr std::int64_t UsageLimit = 2147418112;

} // namespace kelvark
