#pragma once

#include "orvoSections.h"
#include "orvoWave.h"

#include <cstdint>
#include <span>

using namespace kelvark;

namespace fixtures {

// The straightforward usage sweep: at every step it searches all regions for
// the smallest boundary beyond the current position. Kept as the reference
// that the sorted sweep of orvoWave::CalcUsage must match exactly, given the
// regions of one wave in track and entry order.
inline std::int64_t ReferenceUsage(std::span<const orvoAudio* const> regions)
{
    std::int64_t used = 0;
    std::int64_t position = -1;
    int depth = 0;
    std::int64_t stretchStart = 0;
    for (;;) {
        const int previousDepth = depth;
        std::int64_t next = UsageLimit;
        enum { none, start, end } kind = none;
        for (const orvoAudio* audio : regions) {
            const std::int64_t offset = audio->Offset;
            const std::int64_t stop = offset + audio->Length;
            if (offset > position && offset < next) {
                next = offset;
                kind = start;
            }
            if (stop > position && stop < next) {
                next = stop;
                kind = end;
            }
        }
        if (kind == start)
            ++depth;
        else if (kind == end)
            --depth;
        if (kind != none)
            position = next;
        if (depth == 0 && previousDepth > 0)
            used += position - stretchStart;
        if (depth > 0 && previousDepth == 0)
            stretchStart = position;
        if (kind == none)
            return used;
    }
}

} // namespace fixtures
