#include "Fixtures.h"
#include "FuzzTarget.h"
#include "ReferenceUsage.h"
#include "RegionBytes.h"
#include "orvoSections.h"
#include "orvoWave.h"

#include <vector>

using namespace kelvark;

// CalcUsage on arbitrary region lists must give exactly what the
// straightforward sweep gives, for the wave and for the other wave the
// regions share the tracks with.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reference sweep costs the square of the region count; a few hundred
    // regions reach every case.
    std::vector<std::vector<orvoAudio>> tracks(4);
    for (const auto& region : fuzzing::DecodeRegions(data, size, 300)) {
        orvoAudio audio;
        audio.Offset = region.offset;
        audio.Length = region.length;
        audio.File = region.onOther ? 1 : 0;
        tracks[static_cast<std::size_t>(region.track)].push_back(audio);
    }
    for (std::int32_t file = 0; file < 2; ++file) {
        std::vector<const orvoAudio*> regions; // the wave's, in track and entry order
        for (const auto& track : tracks)
            for (const auto& audio : track)
                if (audio.File == file)
                    regions.push_back(&audio);
        orvoWave wave;
        wave.CalcUsage(regions);
        const std::int64_t expected = fixtures::ReferenceUsage(regions);
        if (wave.samplesUsed != expected) {
            std::fprintf(stderr, "CalcUsage gave %lld, the reference sweep %lld\n",
                         static_cast<long long>(wave.samplesUsed), static_cast<long long>(expected));
            std::abort();
        }
        FUZZ_CHECK(wave.samplesUsed >= 0 && wave.samplesUsed < UsageLimit);
    }
    return 0;
}
