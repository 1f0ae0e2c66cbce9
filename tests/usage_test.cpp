#include "Fixtures.h"
#include "ReferenceUsage.h"
#include "orvoProject.h"

#include <gtest/gtest.h>

#include <random>

using namespace kelvark;

namespace {

using namespace fixtures;

// The regions of one wave, track by track.
struct Regions {
    std::vector<std::vector<orvoAudio>> tracks{1};

    void Add(std::int32_t offset, std::int32_t length, int track = 0)
    {
        while (tracks.size() <= static_cast<std::size_t>(track))
            tracks.emplace_back();
        orvoAudio audio;
        audio.Offset = offset;
        audio.Length = length;
        tracks[static_cast<std::size_t>(track)].push_back(audio);
    }

    std::int64_t Used()
    {
        std::vector<const orvoAudio*> regions; // in track and entry order
        for (const auto& track : tracks)
            for (const auto& audio : track)
                regions.push_back(&audio);
        orvoWave wave;
        wave.CalcUsage(regions);
        EXPECT_EQ(wave.samplesUsed, ReferenceUsage(regions));
        return wave.samplesUsed;
    }
};

TEST(CalcUsage, UnionOfOverlappingRegions)
{
    Regions a;
    a.Add(0, 10);
    a.Add(5, 10);
    EXPECT_EQ(a.Used(), 15);

    Regions nested;
    nested.Add(0, 20);
    nested.Add(5, 5);
    EXPECT_EQ(nested.Used(), 20);

    Regions identical;
    identical.Add(0, 10);
    identical.Add(0, 10);
    EXPECT_EQ(identical.Used(), 10);
}

TEST(CalcUsage, SharedBoundariesCountOnce)
{
    Regions sharedStart;
    sharedStart.Add(0, 10);
    sharedStart.Add(0, 20);
    EXPECT_EQ(sharedStart.Used(), 10);

    Regions endFirst;
    endFirst.Add(0, 10);
    endFirst.Add(10, 10);
    EXPECT_EQ(endFirst.Used(), 10);

    Regions startFirst;
    startFirst.Add(10, 10);
    startFirst.Add(0, 10);
    EXPECT_EQ(startFirst.Used(), 0);

    // Order runs over tracks first, then entries.
    Regions acrossTracks;
    acrossTracks.Add(10, 10, 1);
    acrossTracks.Add(0, 10, 0);
    EXPECT_EQ(acrossTracks.Used(), 10);
}

TEST(CalcUsage, ExtremePositions)
{
    Regions beyond;
    beyond.Add(2147418000, 1000); // the end lies beyond the last reachable position
    EXPECT_EQ(beyond.Used(), 0);

    Regions wide;
    wide.Add(0, 2147418111);
    wide.Add(2147483647, 2147483647); // 64-bit sum, beyond the limit
    EXPECT_EQ(wide.Used(), 2147418111);

    Regions negative;
    negative.Add(-50, 100);
    negative.Add(20, -10);
    negative.Add(7, 0);
    EXPECT_GE(negative.Used(), 0);
}

TEST(CalcUsage, MatchesTheReferenceOnRandomRegions)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        Regions r;
        const int count = static_cast<int>(random() % 12);
        const int span = 1 + static_cast<int>(random() % 40); // small spans make shared boundaries common
        for (int i = 0; i < count; ++i) {
            const int offset = static_cast<int>(random() % span) - 3;
            const int length = static_cast<int>(random() % span) - 2;
            r.Add(offset, length, static_cast<int>(random() % 3));
            if (random() % 6 == 0)
                r.Add(offset, length); // an identical copy
        }
        r.Used();
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
}

} // namespace
