#pragma once

#include "orvoWave.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using namespace kelvark;

// The usage target's input: a list of audio regions, each a control byte
// followed by its numbers.
//   bits 0-1  the track (0 to 3)
//   bit 2     the region plays the other wave
//   bits 3-4  0: offset and length one signed byte each (shared boundaries are common)
//             1: two bytes each, 2: four bytes each (little-endian, signed)
//             3: no numbers; a copy of the previous region (identical regions)
//   bits 5-6  where the offset counts from: 0, just below the sweep's limit,
//             just below the largest offset, just above the smallest
namespace fuzzing {

struct EncodedRegion {
    int track = 0;
    bool onOther = false;
    std::int32_t offset = 0;
    std::int32_t length = 0;
};

inline std::vector<EncodedRegion> DecodeRegions(const std::uint8_t* data, std::size_t size, std::size_t most)
{
    std::vector<EncodedRegion> regions;
    std::size_t at = 0;
    // A number of width bytes; bytes past the end read as 0.
    const auto number = [&](int width) {
        std::uint32_t value = 0;
        for (int i = 0; i < width; ++i, ++at)
            value |= static_cast<std::uint32_t>(at < size ? data[at] : 0) << (8 * i);
        const int unused = 32 - 8 * width;
        return static_cast<std::int32_t>(value << unused) >> unused; // sign-extended
    };
    while (at < size && regions.size() < most) {
        const std::uint8_t control = data[at++];
        EncodedRegion region;
        const int width = (control >> 3) & 3;
        if (width == 3 && !regions.empty()) {
            region = regions.back();
        } else {
            const int bytes = width == 3 ? 1 : 1 << width;
            const std::int64_t bases[] = {0, UsageLimit - 128, std::numeric_limits<std::int32_t>::max() - 127,
                                          std::numeric_limits<std::int32_t>::min() + 128};
            // Offsets are 32-bit fields: a sum beyond them wraps.
            region.offset = static_cast<std::int32_t>(bases[(control >> 5) & 3] + number(bytes));
            region.length = number(bytes);
        }
        region.track = control & 3;
        region.onOther = (control & 4) != 0;
        regions.push_back(region);
    }
    return regions;
}

// The encoding of regions with four-byte numbers counted from 0; an identical
// copy of the region before it is written as a copy.
inline std::string EncodeRegions(const std::vector<EncodedRegion>& regions)
{
    std::string bytes;
    const auto number = [&](std::int32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    };
    for (std::size_t i = 0; i < regions.size(); ++i) {
        const EncodedRegion& r = regions[i];
        const int place = r.track | (r.onOther ? 4 : 0);
        if (i > 0 && r.offset == regions[i - 1].offset && r.length == regions[i - 1].length) {
            bytes += static_cast<char>(place | 3 << 3);
        } else {
            bytes += static_cast<char>(place | 2 << 3);
            number(r.offset);
            number(r.length);
        }
    }
    return bytes;
}

} // namespace fuzzing
