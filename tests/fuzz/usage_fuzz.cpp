#include "Fixtures.h"
#include "FuzzTarget.h"
#include "ReferenceUsage.h"
#include "RegionBytes.h"
#include "orvoProject.h"

using namespace kelvark;

// CalcUsage on arbitrary region lists must give exactly what the
// straightforward sweep gives, for the wave and for the other wave the
// regions share the tracks with.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fixtures::RecordingMessages messages;
    orvoProject project(messages);
    std::shared_ptr<orvoWave> waves[2] = {std::make_shared<orvoWave>(), std::make_shared<orvoWave>()};
    for (const auto& wave : waves) {
        wave->project = &project;
        project.waves.add(wave);
    }
    for (int track = 0; track < 4; ++track)
        project.trackList.tracks.emplace_back();

    // The reference sweep costs the square of the region count; a few hundred
    // regions reach every case.
    for (const auto& region : fuzzing::DecodeRegions(data, size, 300)) {
        orvoAudio audio;
        audio.Offset = region.offset;
        audio.Length = region.length;
        audio.File = region.onOther ? 1 : 0;
        project.trackList.tracks[static_cast<std::size_t>(region.track)].audios.push_back(audio);
    }
    for (const auto& wave : waves) {
        wave->CalcUsage();
        const std::int64_t expected = fixtures::ReferenceUsage(*wave);
        if (wave->samplesUsed != expected) {
            std::fprintf(stderr, "CalcUsage gave %lld, the reference sweep %lld\n",
                         static_cast<long long>(wave->samplesUsed), static_cast<long long>(expected));
            std::abort();
        }
        FUZZ_CHECK(wave->samplesUsed >= 0 && wave->samplesUsed < UsageLimit);
    }
    return 0;
}
