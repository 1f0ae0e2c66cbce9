#pragma once

#include "orvoWave.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>

namespace kelvark {

// Reads the heads of a few wave files of an open folder: for each file an
// open, its length from the file opened, a read of its first bytes asked not
// to wait for a disk or a network, and a close. Only what is in memory is
// taken, so a scan learns from the heads it did not get that the folder is
// not in memory. A file that could not be opened, whose read would wait or
// gave fewer bytes than its length holds, that is a link or not a regular
// file, gets no head and is measured the usual way, which gives its outcome
// and its errors. Where the file system cannot tell whether a read would
// wait, no file gets a head from then on.
class HeadBatch final {
public:
    // The files read at once, at most.
    static constexpr std::size_t Files = 8;
    // The bytes read of each: a usual wave file's headers up to its bext chunk.
    static constexpr std::size_t HeadBytes = 512;

    // Reads the heads of the named files (at most Files; a null name is
    // skipped) relative to the open folder. The head of names[i] is the
    // result's [i], empty where it got none; it holds until the next Read.
    std::span<const std::optional<WaveHead>> Read(int folder, std::span<const char* const> names);

private:
    bool refused = false; // a read was refused for a reason that holds for every file
    std::array<std::array<unsigned char, HeadBytes>, Files> blocks{};
    std::array<std::optional<WaveHead>, Files> heads;
};

} // namespace kelvark
