#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace kelvark {

inline constexpr std::int64_t SectorSize = 2048;

// What a file of size bytes costs on a disc: its size rounded up to whole
// sectors, and 1,024 bytes for the directory records that name it.
constexpr std::int64_t FileCost(std::int64_t size)
{
    return (std::max<std::int64_t>(size, 0) + SectorSize - 1) / SectorSize * SectorSize + 1024;
}

// The line a file adds to its set folder's SHA256SUMS: 64 hex digits, two
// spaces, its name and a line feed; a backslash, line feed or carriage return
// in the name takes two characters, behind a backslash that starts the line.
constexpr std::int64_t ChecksumLineSize(std::string_view name)
{
    std::int64_t escapes = 0;
    for (const char c : name)
        escapes += c == '\\' || c == '\n' || c == '\r' ? 1 : 0;
    return 64 + 2 + static_cast<std::int64_t>(name.size()) + 1 + escapes + (escapes > 0 ? 1 : 0);
}

// What a file of a set costs on its disc: FileCost, and its line in the
// set's SHA256SUMS.
constexpr std::int64_t DiscCost(std::int64_t size, std::string_view name)
{
    return FileCost(size) + ChecksumLineSize(name);
}

// The line a project adds to its disc's label (Kelvark Disc.txt): its name
// and CR LF.
constexpr std::int64_t LabelLineSize(std::string_view project)
{
    return static_cast<std::int64_t>(project.size()) + 2;
}

// What a set's own two files, its SHA256SUMS and its label, cost on a disc
// besides the lines its files and projects add to them: the last sector of
// each and their directory records, the label's heading (at most 512 bytes),
// its line of the folder sorted (a path, at most 4 KiB) and SHA256SUMS's
// line for the label.
inline constexpr std::int64_t DiscFilesCost = std::int64_t{12} * 1024;

// The 300 kB a write of a disc adds after its image (xorriso's padding, so
// that a drive that reads ahead never meets the end): a set is planned with
// room for it, so that a set that fits its medium is never refused by a burn.
inline constexpr std::int64_t BurnPaddingSectors = 150;

// What the projects of a set may cost on a disc of budget (a Medium's): the
// budget less the set's own two files and the burn's padding.
constexpr std::int64_t ProjectsRoom(std::int64_t budget)
{
    return budget - DiscFilesCost - BurnPaddingSectors * SectorSize;
}

// A disc image holds a file of this size or larger only in UDF or ISO 9660
// level 3, which not every writing program makes by default.
inline constexpr std::int64_t LargeFileSize = std::int64_t{4} << 30;

} // namespace kelvark
