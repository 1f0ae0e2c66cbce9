#pragma once

#include "orvoWave.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>

namespace kelvark {

// Reads the heads of a few wave files of an open folder at once, with one
// system call through an io_uring: for each file an open, a read of its first
// bytes, its length and a close, each step waiting for the one before. A scan
// of a folder in memory spends most of its time entering and leaving the
// kernel, four times a wave when each step is a call of its own.
// Only what is in memory is taken: the open and the read are asked not to
// wait for a disk or a network. A file one of whose steps would wait, or
// failed, and one that is not a regular file, gets no head and is measured
// the usual way, which gives its outcome and its errors. Where the kernel
// offers no io_uring, or refuses one of these steps, no file gets a head.
class HeadRing final {
public:
    // The files read at once, at most.
    static constexpr std::size_t Files = 8;
    // The bytes read of each: a usual wave file's headers up to its bext chunk.
    // Within one page, which is in memory whole or not at all: a read that
    // must not wait then reads short only at the file's end.
    static constexpr std::size_t HeadBytes = 512;

    HeadRing();
    ~HeadRing();
    HeadRing(const HeadRing&) = delete;
    HeadRing& operator=(const HeadRing&) = delete;

    // Reads the heads of the named files (at most Files; a null name is
    // skipped) relative to the open folder. The head of names[i] is the
    // result's [i], empty where it got none; it holds until the next Read.
    std::span<const std::optional<WaveHead>> Read(int folder, std::span<const char* const> names);

private:
    // Sets the ring up, on the first call with a file to read: a thread of a
    // read that measures no waves never needs one.
    void SetUp();

    struct Ring;
    bool setUp = false;
    std::unique_ptr<Ring> ring; // null before SetUp and where io_uring cannot be used
    std::array<std::optional<WaveHead>, Files> heads;
};

} // namespace kelvark
