#pragma once

#include <algorithm>
#include <cstdint>

namespace kelvark {

inline constexpr std::int64_t SectorSize = 2048;

// What a file of size bytes costs on a disc: its size rounded up to whole
// sectors, and 1,024 bytes for the directory records that name it.
constexpr std::int64_t FileCost(std::int64_t size)
{
    return (std::max<std::int64_t>(size, 0) + SectorSize - 1) / SectorSize * SectorSize + 1024;
}

// A disc image holds a file of this size or larger only in UDF or ISO 9660
// level 3, which not every writing program makes by default.
inline constexpr std::int64_t LargeFileSize = std::int64_t{4} << 30;

} // namespace kelvark
