#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace kelvark;

namespace {

using namespace fixtures;

constexpr std::int64_t MB = 1000000;

struct Plan {
    FakeUi ui;
    orvoProjectList list{ui.services()};

    explicit Plan(const std::vector<std::int64_t>& sizes)
    {
        for (const std::int64_t size : sizes) {
            auto project = std::make_shared<orvoProject>(ui.messages);
            project->discSize = size;
            list.projects.add(project);
        }
    }

    std::vector<int> Sets(bool forCD)
    {
        list.CalcBackup(forCD ? CDMedium() : DVDMedium());
        std::vector<int> sets;
        for (const auto& project : list.projects)
            sets.push_back(project->BackupNum);
        return sets;
    }
};

// The plan as the straightforward walk makes it: for each choice, walk the
// whole list for the largest unplaced project that still fits, the earliest
// among equal sizes; open the next set when none fits; stop when nothing fits
// an empty set.
std::vector<int> ReferencePlan(const std::vector<std::int64_t>& sizes, std::int64_t capacity, int& numBackups)
{
    std::vector<int> sets(sizes.size(), -1);
    int set = 0;
    std::int64_t total = 0;
    numBackups = 0;
    for (;;) {
        std::int64_t best = -1;
        int chosen = -1;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            if (sets[i] < 0 && sizes[i] > best && total + sizes[i] <= capacity) {
                best = sizes[i];
                chosen = static_cast<int>(i);
            }
        }
        if (chosen >= 0) {
            sets[static_cast<std::size_t>(chosen)] = set;
            total += best;
            numBackups = set + 1;
        } else if (total == 0) {
            return sets;
        } else {
            ++set;
            total = 0;
        }
    }
}

TEST(CalcBackup, PacksTheLargestProjectThatStillFits)
{
    Plan plan({400 * MB, 300 * MB, 200 * MB});
    EXPECT_EQ(plan.Sets(true), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(plan.list.numBackups, 2);

    // Planning again, for the other medium, starts from scratch.
    EXPECT_EQ(plan.Sets(false), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(plan.list.numBackups, 1);
    EXPECT_EQ(plan.Sets(true), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(plan.list.numBackups, 2);
}

TEST(CalcBackup, GivesTheLastRoomToTheEarlierOfTwoEqualProjects)
{
    Plan plan({500 * MB, 100 * MB, 150 * MB, 150 * MB});
    EXPECT_EQ(plan.Sets(true), (std::vector<int>{0, 1, 0, 1}));
}

// A set's own SHA256SUMS and label take their share of the budget first, and
// the padding a burn writes after the image: a set the plan fills is never
// refused by the burn.
TEST(CalcBackup, FillsEachSetUpToTheBudget)
{
    const std::int64_t cd = 680525824 - DiscFilesCost - 150 * 2048, dvdRoom = 4600000000 - DiscFilesCost - 150 * 2048;
    Plan exact({cd, 1000});
    EXPECT_EQ(exact.Sets(true), (std::vector<int>{0, 1}));
    EXPECT_EQ(exact.list.numBackups, 2);

    Plan over({cd + 1, 1000});
    EXPECT_EQ(over.Sets(true), (std::vector<int>{-1, 0}));

    Plan dvd({dvdRoom - 1, dvdRoom + 1, 1});
    EXPECT_EQ(dvd.Sets(false), (std::vector<int>{0, -1, 0}));
    EXPECT_EQ(dvd.list.numBackups, 1);
}

TEST(CalcBackup, PlacesEmptyProjectsWhereNothingLargerFits)
{
    Plan plan({0, 600 * MB, 600 * MB, 0});
    EXPECT_EQ(plan.Sets(true), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(plan.list.numBackups, 2);
}

TEST(CalcBackup, NeverPlacesAProjectLargerThanTheMedium)
{
    Plan alone({700 * MB});
    EXPECT_EQ(alone.Sets(true), (std::vector<int>{-1}));
    EXPECT_EQ(alone.list.numBackups, 0);

    Plan among({700 * MB, 300 * MB, 5 * 1000 * MB, 400 * MB});
    EXPECT_EQ(among.Sets(true), (std::vector<int>{-1, 1, -1, 0}));
    EXPECT_EQ(among.list.numBackups, 2);

    Plan none({});
    EXPECT_EQ(none.Sets(false), std::vector<int>{});
    EXPECT_EQ(none.list.numBackups, 0);

    Plan one({1});
    EXPECT_EQ(one.Sets(true), (std::vector<int>{0}));
    EXPECT_EQ(one.list.numBackups, 1);
}

TEST(CalcBackup, MakesTheSamePlanAsTheStraightforwardWalk)
{
    std::mt19937_64 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        const bool forCD = round % 2 == 0;
        const std::int64_t capacity = ProjectsRoom((forCD ? CDMedium() : DVDMedium()).budget);
        // Few distinct sizes make ties common; a few exceed the medium.
        const std::int64_t unit = capacity / std::uniform_int_distribution<std::int64_t>(2, 12)(random);
        // Now and then hundreds, so that long runs of placed projects are passed over.
        const std::size_t most = round % 100 == 0 ? 600 : 40;
        std::vector<std::int64_t> sizes(std::uniform_int_distribution<std::size_t>(0, most)(random));
        for (auto& size : sizes)
            size = std::uniform_int_distribution<std::int64_t>(0, 14)(random) * unit / 7
                   + std::uniform_int_distribution<std::int64_t>(0, 1)(random);
        int expectedSets = 0;
        const std::vector<int> expected = ReferencePlan(sizes, capacity, expectedSets);

        Plan plan(sizes);
        ASSERT_EQ(plan.Sets(forCD), expected) << "round " << round;
        ASSERT_EQ(plan.list.numBackups, expectedSets) << "round " << round;

        // What any plan of this rule holds: each set fits its disc and was
        // left only when no project placed later fitted it; only a project
        // larger than the disc is in no set; of two equal projects the earlier
        // is never in a later set.
        std::vector<std::int64_t> totals(static_cast<std::size_t>(expectedSets));
        std::vector<int> members(totals.size());
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            ASSERT_EQ(expected[i] < 0, (sizes[i] > capacity)) << "round " << round;
            if (expected[i] >= 0) {
                totals[static_cast<std::size_t>(expected[i])] += sizes[i];
                ++members[static_cast<std::size_t>(expected[i])];
            }
            for (std::size_t j = 0; j < i; ++j)
                ASSERT_FALSE(sizes[j] == sizes[i] && expected[j] > expected[i]) << "round " << round;
        }
        for (std::size_t i = 0; i < sizes.size(); ++i)
            for (int set = 0; set < expected[i]; ++set)
                ASSERT_GT(totals[static_cast<std::size_t>(set)] + sizes[i], capacity) << "round " << round;
        for (std::size_t set = 0; set < totals.size(); ++set)
            ASSERT_TRUE(members[set] > 0 && totals[set] <= capacity) << "round " << round;
    }
}

TEST(CalcBackup, NamesSetsBeyondZWithTwoLetters)
{
    // Thirty projects of 400 MB, one per CD: sets A to Z, then AA to AD.
    Studio studio;
    for (int i = 0; i < 30; ++i) {
        const std::string name = "P" + std::to_string(100 + i);
        WriteProject(studio.root.path(), name, {{name + ".wav", 400 * MB}});
    }
    studio.Read(true);
    EXPECT_EQ(studio.list.numBackups, 30);
    std::vector<std::string> letters;
    for (const auto& row : studio.grid.rows)
        letters.push_back(row.texts[4]);
    EXPECT_EQ(letters[0], "A");
    EXPECT_EQ(letters[25], "Z");
    EXPECT_EQ(std::vector<std::string>(letters.begin() + 26, letters.end()),
              (std::vector<std::string>{"AA", "AB", "AC", "AD"}));
    EXPECT_EQ(studio.grid.rows[0].texts[1], "400.0");
}

// Projects that play a common file are one item of the plan, as large as they
// are together with the file counted once; together too large, none has a set.
TEST(CalcBackup, PlansProjectsThatShareAFileAsOne)
{
    struct Case {
        std::vector<std::pair<std::string, std::vector<FixtureWave>>> projects; // in list order
        std::vector<int> sets; // on CD
        std::string firstReason; // of the first project in no set
    };
    const auto mb = [](std::uint32_t n) { return n * static_cast<std::uint32_t>(MB); };
    const Case cases[] = {
        // Apart, V1 v2 would fill set A and V1 set B.
        {{{"Other", {{"o.wav", mb(300)}}},
          {"V1", {{"s.wav", mb(400)}}},
          {"V1 v2", {{"s.wav", mb(400)}, {"n.wav", mb(200)}}},
          {"V1 v3", {{"n.wav", mb(200)}}}},
         {1, 0, 0, 0},
         ""},
        {{{"Big", {{"b1.wav", mb(400)}}},
          {"Big v2", {{"b1.wav", mb(400)}, {"b2.wav", mb(400)}}},
          {"Small", {{"m.wav"}}}},
         {-1, -1, 0},
         "Shares takes with Big; together they need 800.1 MB, more than one CD"}, // "Big v2.cue" lists first
    };
    for (const Case& c : cases) {
        Studio studio;
        for (const auto& [name, waves] : c.projects)
            WriteProject(studio.root.path(), name, waves);
        studio.Read(true);
        std::vector<int> sets;
        std::int64_t sizes = 0; // of the projects of set A, each file counted per project
        std::string reason;
        for (const auto& project : studio.list.projects) {
            sets.push_back(project->BackupNum);
            sizes += project->BackupNum == 0 ? project->discSize : 0;
            if (project->BackupNum < 0 && reason.empty())
                reason = NoSetReason(studio.list, *project);
        }
        EXPECT_EQ(sets, c.sets) << c.projects.front().first;
        EXPECT_EQ(reason, c.firstReason);
        // Set A counts each shared file once.
        const orvoProjectList::SetTotal setA = studio.list.SetTotals().front();
        if (c.firstReason.empty()) {
            EXPECT_EQ(setA.files, 5); // three project files and two waves
            EXPECT_EQ(setA.bytes, DiscFilesCost + sizes - DiscCost(DeclaredSize(mb(400)), "s.wav")
                                      - DiscCost(DeclaredSize(mb(200)), "n.wav"));
        }
    }
}

} // namespace
