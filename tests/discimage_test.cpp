// A set that the plan fills to the last sector of the CD budget must still fit
// a real CD once it is a disc image. The test fills set CD-A to within one
// sector of the budget with sparse files (nothing but their wave headers is
// written), sorts the folder for real, writes its checksums and lets xorriso
// measure the image of CD-A as Kelvark writes it (Rock Ridge and Joliet
// names, ISO 9660 level 3, an MD5 per file): the 1,024 bytes per file and the
// room the budget leaves below the disc's sectors must cover the directory
// records, path tables, checksum array and descriptors that the image adds,
// and the set's own SHA256SUMS and label must fit in what the plan counted
// for them.
//
// Long names: xorriso's mkisofs emulation does not refuse a name longer than
// Joliet's 64 characters, nor warn of it. It cuts the Joliet name to about 64
// characters, keeping the extension, and gives names that the cut makes equal
// a number at their end, so the plain "-J" of the command below measures
// every name used here and no "-joliet-long" is needed. The names still
// differ in their first bytes, so that the cut alone keeps them distinct.

#include "ChildProcess.h"
#include "Commands.h"
#include "DiscLabel.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// The full path of program in a folder of PATH; empty when none holds it.
std::string FindInPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "";
    while (!folders.empty()) {
        const std::size_t end = std::min(folders.find(':'), folders.size());
        const fs::path candidate = fs::path(folders.substr(0, end).empty() ? "." : folders.substr(0, end)) / program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        folders.remove_prefix(std::min(end + 1, folders.size()));
    }
    return {};
}

// A name of exactly length bytes: start keeps the names distinct, filler words
// make up the rest, extension ends it.
std::string NameOfLength(const std::string& start, std::size_t length, const std::string& extension)
{
    static const std::string filler = "-vocal-take-room-mix";
    std::string name = start;
    while (name.size() + extension.size() < length)
        name += filler[name.size() % filler.size()];
    return name + extension;
}

// The lengths of the names, 20 to 200 bytes, spread over the files.
std::size_t NameLength(int file)
{
    return 20 + static_cast<std::size_t>(file) * 37 % 181;
}

// What the regular files of folder cost on a disc by the plan's rule, with
// their set's SHA256SUMS and label.
std::int64_t CostOfFiles(const fs::path& folder)
{
    std::int64_t cost = DiscFilesCost;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) {
            const std::string name = entry.path().filename().string();
            cost += DiscCost(static_cast<std::int64_t>(entry.file_size()), name);
            if (name.ends_with(".cue"))
                cost += LabelLineSize(name.substr(0, name.size() - 4));
        }
    return cost;
}

constexpr int WavesPerProject = 3;

class DiscImage : public testing::TestWithParam<int> {
protected:
    Studio studio;
    int nextFile = 0;

    // Writes a project of the given wave data sizes, its project file and
    // names numbered from nextFile on, and makes each wave file as long as
    // its header declares (sparse: no data written). Returns its file names.
    std::vector<std::string> Project(int number, const std::vector<std::uint32_t>& dataSizes)
    {
        char start[16];
        std::snprintf(start, sizeof start, "p%05d", number);
        const std::string name = NameOfLength(start, NameLength(nextFile++), ".cue");
        std::vector<std::string> files{name};
        std::vector<FixtureWave> waves;
        for (const std::uint32_t dataSize : dataSizes) {
            std::snprintf(start, sizeof start, "w%05d-%d", number, static_cast<int>(waves.size()));
            waves.push_back({NameOfLength(start, NameLength(nextFile++), ".wav"), dataSize});
            files.push_back(waves.back().file);
        }
        const fs::path& root = studio.root.path();
        WriteProject(root, name.substr(0, name.size() - 4), waves);
        for (const FixtureWave& wave : waves)
            fs::resize_file(root / wave.file, static_cast<std::uintmax_t>(DeclaredSize(wave.dataSize)));
        return files;
    }
};

TEST_P(DiscImage, FullSetFitsOneCd)
{
    const std::string xorriso = FindInPath("xorriso");
    if (xorriso.empty())
        GTEST_SKIP() << "xorriso is not installed (not found in PATH): no disc image to measure";

    const int files = GetParam();
    const int projects = files / (WavesPerProject + 1);
    const Medium& cd = CDMedium();
    const fs::path& root = studio.root.path();

    // Every project but the last has waves of one size, odd so that each
    // rounds up to whole sectors, leaving the last one at least a project's share.
    // What a set's files cost at most, its own two with them: the budget
    // less the burn's padding.
    const std::int64_t full = ProjectsRoom(cd.budget) + DiscFilesCost;
    const std::int64_t share = full / projects;
    const auto dataSize = static_cast<std::uint32_t>(
        ((share - FileCost(SectorSize)) / WavesPerProject - FileCost(DeclaredSize(0)) - SectorSize) | 1);
    const std::vector<std::uint32_t> sizes(WavesPerProject, dataSize);
    std::vector<std::string> setA;
    for (int p = 0; p + 1 < projects; ++p)
        for (const std::string& file : Project(p, sizes))
            setA.push_back(file);

    // The last project's last wave takes what the budget has left, to the
    // sector; its project file is written twice, as its text holds the wave's length.
    const int last = projects - 1;
    const int firstFileOfLast = nextFile;
    Project(last, sizes);
    const std::int64_t othersCost = CostOfFiles(root) - FileCost(DeclaredSize(dataSize));
    const std::int64_t lastWave = (full - othersCost - 1024) / SectorSize * SectorSize;
    ASSERT_GE(lastWave, DeclaredSize(0));
    std::vector<std::uint32_t> lastSizes = sizes;
    lastSizes.back() = static_cast<std::uint32_t>(lastWave - DeclaredSize(0));
    nextFile = firstFileOfLast;
    for (const std::string& file : Project(last, lastSizes))
        setA.push_back(file);
    const std::int64_t setCost = CostOfFiles(root);
    ASSERT_EQ(static_cast<int>(setA.size()), files);
    ASSERT_LE(setCost, full);
    ASSERT_GT(setCost, full - SectorSize);

    // One more project, the smallest, finds no room left in CD-A.
    const std::vector<std::string> setB = Project(projects, {1000});

    ASSERT_FALSE(ReadFolderCommand(studio.list, studio.root.str(), true, true, cd).Failed()) << studio.list.LastError;
    ASSERT_EQ(studio.list.projects.Count(), projects + 1);
    for (const auto& project : studio.list.projects) {
        EXPECT_EQ(project->BackupNum, project->Name + ".cue" == setB[0] ? 1 : 0) << project->Name;
    }
    const auto totals = studio.list.SetTotals();
    ASSERT_EQ(totals.size(), 2u);
    EXPECT_EQ(totals[0].name, "CD-A");
    EXPECT_EQ(totals[0].projects, projects);
    EXPECT_EQ(totals[0].files, files);
    EXPECT_EQ(totals[0].bytes, setCost);

    ASSERT_FALSE(studio.Sort()) << testing::PrintToString(studio.ui.messages.shown);
    setA.push_back(DiscLabelName);
    std::sort(setA.begin(), setA.end());
    EXPECT_EQ(EntryNames(root / "CD-A"), setA);
    ASSERT_FALSE(ChecksumCommand((root / "CD-A").string(), false, studio.ui.commands()).Failed());
    EXPECT_EQ(EntryNames(root / "CD-B").size(), setB.size() + 1); // and its label

    // -print-size writes the image's size in 2,048-byte sectors, alone on a
    // line of standard output, and no image; the rest goes to standard error.
    TempDir capture;
    ChildProcess child(
        xorriso, {"-as", "mkisofs", "-R", "-J", "-iso-level", "3", "--md5", "-print-size", (root / "CD-A").string()},
        capture.path());
    const int status = child.Wait();
    const std::string out = ReadFile(capture.path() / "out");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(capture.path() / "err");
    ASSERT_TRUE(!out.empty() && out.find_first_not_of("0123456789\n") == std::string::npos
                && out.find_first_of("0123456789") == 0)
        << "unexpected output: " << out << ReadFile(capture.path() / "err");
    const std::int64_t sectors = std::stoll(out);

    RecordProperty("sectors", std::to_string(sectors));
    std::cout << "CD-A, " << files << " files, " << setCost << " bytes planned of " << full
              << ": the disc image needs " << sectors << " sectors of " << cd.sectors << " (" << cd.sectors - sectors
              << " to spare), the burn's padding " << BurnPaddingSectors << " more\n";
    EXPECT_LE(sectors + BurnPaddingSectors, cd.sectors);
}

INSTANTIATE_TEST_SUITE_P(Files, DiscImage, testing::Values(40, 2000, 8000), testing::PrintToStringParamName());

} // namespace
