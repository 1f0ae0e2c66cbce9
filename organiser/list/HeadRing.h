#pragma once

#include "orvoWave.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>

namespace kelvark {

// Reads the heads of a few wave files of an open folder at once: for each
// file an open, a read of its first bytes, its length from the file opened
// and a close. A scan of a folder in memory spends most of its time entering
// and leaving the kernel, four times a wave when each step is a call of its
// own: where liburing was there at build time and the kernel allows it, the
// steps go through an io_uring, the opens of all the files in one system
// call and their reads, lengths and closes in another; else each is a call.
// Only what is in memory is taken: the read (and on the ring the open) is
// asked not to wait for a disk or a network. A file one of whose steps would
// wait, or failed, whose read gave fewer bytes than its length holds, that is
// a link or not a regular file, gets no head and is measured the usual way,
// which gives its outcome and its errors. Where the file system cannot tell
// whether a read would wait, no file gets a head.
class HeadRing final {
public:
    // The files read at once, at most.
    static constexpr std::size_t Files = 8;
    // The bytes read of each: a usual wave file's headers up to its bext chunk.
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
    // The steps of one file, in their order.
    enum Step : unsigned { Open, ReadHead, Stat, Close, Steps };
    // What the steps of one file gave.
    struct File {
        std::array<int, Steps> got{}; // a descriptor or a count, or minus an errno; -ECANCELED: not run
        bool stated = false; // the length's step told the file's type and length
        bool regular = false;
        std::int64_t length = 0;
    };

    // Sets the ring up, on the first call with a file to read (a thread of a
    // read that measures no waves never needs one), and chooses the way.
    void SetUp();
    // The steps of the named files through the ring; false where the ring
    // failed, which then goes.
    bool ReadRing(int folder, std::span<const char* const> names);
    // Each step of the named files a system call of its own.
    void ReadPlain(int folder, std::span<const char* const> names);
    // The heads of the named files from what their steps gave; false, and no
    // head, where a step was refused for a reason that holds for every file.
    bool Take(std::span<const char* const> names);

    // How the heads are read: Untried before the first file to read, when
    // the ring is set up where there is one; None once a read was refused.
    enum class Way { Untried, Ring, Plain, None };
    struct Ring;
    Way way = Way::Untried;
    std::unique_ptr<Ring> ring; // set up while the way is Ring
    std::array<std::array<unsigned char, HeadBytes>, Files> blocks{};
    std::array<File, Files> files{};
    std::array<std::optional<WaveHead>, Files> heads;
};

} // namespace kelvark
