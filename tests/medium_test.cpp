#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Why a project one byte larger than the medium's budget is in no set.
std::string TooLargeReason(const Medium& medium)
{
    FakeUi ui;
    orvoProjectList list(ui.services());
    auto project = std::make_shared<orvoProject>(ui.messages);
    project->discSize = medium.budget + 1;
    list.projects.add(project);
    list.CalcBackup(medium);
    return NoSetReason(list, *project);
}

TEST(Medium, EachMediumHasItsBudgetAndPrefix)
{
    // The question keeps its words; every other size is the budget in decimal units.
    struct Case {
        std::string key, prefix, name, size, shortSize;
        std::int64_t sectors, budget;
    };
    const Case cases[] = {
        {"cd", "CD", "CD", "649 megabytes", "680.5 MB", 333000, 680525824},
        {"cd80", "CD", "80-minute CD", "733 megabytes", "733.0 MB", 360000, 733085696},
        {"dvd", "DVD", "DVD", "4.6 gigabytes", "4.6 GB", 2295104, 4600000000},
        {"dvd-dl", "DVDDL", "dual-layer DVD", "8.5 gigabytes", "8.5 GB", 4171712, 8539471872},
        {"bd", "BD", "BD-R", "24.2 gigabytes", "24.2 GB", 11826176, 24215814144},
        {"bd-dl", "BDDL", "dual-layer BD-R", "48.4 gigabytes", "48.4 GB", 23652352, 48435822592},
        {"bdxl", "BDXL", "BDXL disc", "100.0 gigabytes", "100.0 GB", 48878592, 100099162112},
    };
    ASSERT_EQ(Media().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const Medium& m = Media()[i];
        EXPECT_EQ(m.key, c.key);
        EXPECT_EQ(m.prefix, c.prefix) << c.key;
        EXPECT_EQ(m.name, c.name) << c.key;
        EXPECT_EQ(m.size, c.size) << c.key;
        EXPECT_EQ(m.shortSize, c.shortSize) << c.key;
        EXPECT_EQ(m.sectors, c.sectors) << c.key;
        EXPECT_EQ(m.budget, c.budget) << c.key;
        EXPECT_EQ(BackupSortQuestion(m), "Move projects in to backup directories with a max size of " + c.size + "?");
    }
    EXPECT_EQ(TooLargeReason(CDMedium()), "Larger than one CD (680.5 MB)");
    EXPECT_EQ(TooLargeReason(DVDMedium()), "Larger than one DVD (4.6 GB)");
}

// The window's size box takes sizes only; --medium takes a medium's key too,
// and sizes spelt as the box takes them.
TEST(Medium, ATypedSizeIsACustomDiskAndAWordNamesAMediumOrOne)
{
    constexpr std::int64_t MiB = 1024 * 1024;
    const std::string hint = "Enter a size such as 700 MB, 16 GB or 25 GiB.";
    const std::string limits = hint + " One disk's size is from 8.4 MB to 1125.8 TB.";
    struct Case {
        std::string typed;
        std::int64_t bytes; // of a custom size; 0: a medium's key, which --medium takes; -1: no size
        std::string refusal; // the size box's; empty: hint
    };
    const Case cases[] = {
        {"16G", 16000000000, ""},
        {"16 GB", 16000000000, ""},
        {" 16gb ", 16000000000, ""},
        {"700MiB", 700 * MiB, ""},
        {"700 MB", 700000000, ""},
        {"4.7 GB", 4700000000, ""},
        {"25 GiB", 25 * 1024 * MiB, ""},
        {"2T", 2000000000000, ""},
        {"1TiB", 1024 * 1024 * MiB, ""},
        {"64000000000", 64000000000, ""},
        {"64000000 B", 64000000, ""},
        {"8MiB", 8 * MiB, ""},
        {"8.4 MB", 8400000, ""},
        {"cd", 0, ""},
        {"bd-dl", 0, ""},
        {"8M", -1, limits},
        {"9999999T", -1, limits},
        {"99999999999999999999", -1, ""},
        {"16 GBs", -1, ""},
        {"4. GB", -1, ""},
        {"", -1, ""},
        {"BD", -1, ""},
        {"abc", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Medium typed = DVDMedium(), named = DVDMedium();
        const Result size = CustomSize(c.typed, typed);
        const Result word = MediumNamed(c.typed, named);
        EXPECT_EQ(size.Message(), c.bytes > 0 ? "" : c.refusal.empty() ? hint : c.refusal);
        EXPECT_EQ(word.Failed(), c.bytes < 0);
        if (c.bytes > 0) {
            EXPECT_EQ(typed.prefix, "DISC");
            EXPECT_EQ(typed.key, std::to_string(c.bytes));
            EXPECT_EQ(typed.sectors, c.bytes / SectorSize);
            EXPECT_EQ(typed.budget, c.bytes / SectorSize * SectorSize - 4 * MiB);
            EXPECT_EQ(named.key, typed.key);
        } else if (c.bytes == 0) {
            EXPECT_EQ(typed.key, "dvd") << "the box names no medium";
            EXPECT_EQ(named.key, c.typed);
        } else {
            EXPECT_EQ(word.Message(), c.refusal.empty()
                                          ? "unknown medium \"" + c.typed
                                                + "\": give cd, cd80, dvd, dvd-dl, bd, bd-dl, bdxl, or a size such "
                                                  "as 700MB, 16GB or 25GiB"
                                          : "a custom size must be from 8.4 MB to 1125.8 TB: \"" + c.typed + "\"");
        }
    }
    EXPECT_EQ(CustomMedium(16000000000)->size, "15.9 gigabytes");
    EXPECT_EQ(TooLargeReason(*CustomMedium(16000000000)), "Larger than one custom disk (15.9 GB)");
    EXPECT_EQ(CustomMedium(700 * MiB)->shortSize, "729.8 MB");
    // A size beyond a budget is rounded up, never down to the budget's text.
    EXPECT_EQ(ShortSizeAbove(DVDMedium().budget + 1), "4.7 GB");
    EXPECT_EQ(ShortSizeAbove(5100000000), "5.1 GB");
    EXPECT_EQ(ShortSizeAbove(CDMedium().budget + 1), "680.6 MB");
}

TEST(Medium, AFileCostsWholeSectorsAndItsRecords)
{
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 1024}, {1, 3072}, {2048, 3072}, {2049, 5120}, {3000000000, 3000000512 + 1024}};
    for (const auto& [size, cost] : cases)
        EXPECT_EQ(FileCost(size), cost) << size;
}

// A set is measured in what its files cost on the disc: a project that fits
// the room left by bytes but not by sectors goes to the next set, and a
// read-only project counts like any other (its files are copied onto the disc).
TEST(Medium, SetsAreFilledBySectorsWithEveryProjectCounted)
{
    const Medium medium = *CustomMedium(16 * 1024 * 1024); // a budget of 12 MiB
    Studio s;
    const auto project = [&](const std::string& name, std::uint32_t data) {
        WriteProject(s.root.path(), name, {{name + ".wav", data}});
        return DiscCost(DeclaredSize(data), name + ".wav")
               + DiscCost(static_cast<std::int64_t>(fs::file_size(s.root.path() / (name + ".cue"))), name + ".cue")
               + LabelLineSize(name);
    };
    // What each set has for its projects once its SHA256SUMS and label are counted.
    const std::int64_t room = ProjectsRoom(medium.budget);
    // Big leaves 4,096 bytes of room; Small is far fewer bytes, but two files of two sectors.
    const std::int64_t small = project("Small", 700);
    const std::int64_t cueCost = small - DiscCost(DeclaredSize(700), "Small.wav");
    const auto bigData =
        static_cast<std::uint32_t>(room - 4096 - cueCost - ChecksumLineSize("Big.wav") - 1024 - 654 - 8 + 1);
    const std::int64_t big = project("Big", bigData - (bigData + 654 + 8) % 2048);
    project("Frozen", 2000000);
    MakeReadOnly(s.root.path() / "Frozen.cue");
    s.list.ReadFolder(s.root.str(), true, true);
    s.list.CalcBackup(medium);
    s.grid.Fill(s.list);

    EXPECT_LE(big, room - 4096);
    EXPECT_GT(big + small, room);
    EXPECT_LT(DeclaredSize(700) + 200, 4096); // Small's bytes would have fitted
    EXPECT_EQ(s.Rows(), (std::vector<std::string>{"Big", "Frozen", "Small"}));
    EXPECT_EQ(s.grid.rows[0].texts[4], "A");
    EXPECT_EQ(s.grid.rows[2].texts[4], "B");
    // Frozen is read-only: measured and planned, shown as "-".
    EXPECT_EQ(s.Project(1).discSize,
              DiscCost(DeclaredSize(2000000), "Frozen.wav")
                  + DiscCost(static_cast<std::int64_t>(fs::file_size(s.root.path() / "Frozen.cue")), "Frozen.cue")
                  + LabelLineSize("Frozen"));
    EXPECT_EQ(s.grid.rows[1].texts[1], "-");
    EXPECT_EQ(s.grid.rows[1].texts[5], "-");
    Regional regional;
    EXPECT_EQ(ReadOnlySizeTip(s.Project(1), regional), "Counted in the plan: 2.0 MB");

    const auto sets = s.list.SetTotals();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].name, "DISC-A");
    EXPECT_EQ(sets[0].projects, 1);
    EXPECT_EQ(sets[0].files, 2);
    EXPECT_EQ(sets[0].bytes, DiscFilesCost + big);
    EXPECT_EQ(sets[1].bytes, DiscFilesCost + small + s.Project(1).discSize);
    regional.groupSeparator = ".";
    regional.decimalSeparator = ",";
    EXPECT_EQ(SetTotalText(sets[1], medium, regional), "DISC-B: 2,0 MB of 12,5 MB, 2 projects");
    EXPECT_EQ(SetTotalText({"DVD-C", 5, 40, 4512345678}, DVDMedium(), Regional()),
              "DVD-C: 4,512.3 MB of 4,600.0 MB, 5 projects");
    // A full set reads as its budget does, never as more.
    const Medium& cd80 = Media()[1];
    EXPECT_EQ(SetTotalText({"CD-A", 1, 2, cd80.budget}, cd80, Regional()), "CD-A: 733.0 MB of 733.0 MB, 1 project");
    EXPECT_EQ(TooLargeReason(cd80), "Larger than one 80-minute CD (733.0 MB)");
    EXPECT_EQ(ExactBytes(CDMedium().budget, regional), "680.525.824 bytes");
}

} // namespace
