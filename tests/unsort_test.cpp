// Undo backup sort: a sorted folder goes back to what it was before the sort,
// or, when something is in the way, nothing moves at all.

#include "Commands.h"
#include "DiscLabel.h"
#include "Fixtures.h"
#include "Manifest.h"
#include "Plans.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace kelvark;

namespace {

using namespace fixtures;

constexpr std::uint32_t MB = 1000 * 1000;

// Three projects over two CDs, one of them read-only (its files are copied).
struct Sorted : Studio {
    Sorted()
    {
        WriteProject(root.path(), "One", {{"one.wav", 400 * MB}});
        WriteProject(root.path(), "Two", {{"two.wav", 400 * MB}, {"two-b.wav", 100}});
        WriteProject(root.path(), "Frozen", {{"frozen.wav", 100}});
        WriteFile(root.path() / "Two.bak", "notes");
        MakeReadOnly(root.path() / "Frozen.cue");
        before = Snapshot(root.path());
        entries = EntryNames(root.path());
        Read(true);
        EXPECT_FALSE(Sort());
        for (const char* report : {"Backup Report.txt", "Backups.csv", "BackupProjects.csv"})
            fs::remove(root.path() / report);
        ui.messages.shown.clear();
    }
    Result Unsort() { return UnsortCommand(root.str(), CDMedium(), ui.commands()); }
    std::map<std::string, std::string> before;
    std::vector<std::string> entries;
};

TEST(Unsort, PutsASortedFolderBackOrTouchesNothing)
{
    const struct {
        const char* what;
        std::function<void(const fs::path&)> spoil; // what the user did after the sort
        std::vector<std::string> shown;
    } cases[] = {
        {"a sorted folder goes back as it was", [](const fs::path&) {}, {"Done.  The files are back in folder @."}},
        {"a name taken in the root folder",
         [](const fs::path& r) { WriteFile(r / "one.wav", "another take"); },
         {"Nothing was moved back.\r\nCan't move \"CD-B/one.wav\" back: \"one.wav\" already exists"}},
        {"a copy that differs from its original",
         [](const fs::path& r) { WriteFile(r / "CD-A" / "Frozen.cue", "edited"); },
         {"Nothing was moved back.\r\nCan't move \"CD-A/Frozen.cue\" back: \"Frozen.cue\" already exists"}},
        {"a subfolder and a link in a set folder",
         [](const fs::path& r) {
             fs::create_directory(r / "CD-A" / "Extra");
             fs::create_symlink("one.wav", r / "CD-B" / "link.wav");
         },
         {"Nothing was moved back.\r\nCan't move \"CD-A/Extra\" back: it is a folder\r\n"
          "Can't move \"CD-B/link.wav\" back: it is a symbolic link"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sorted s;
        c.spoil(s.root.path());
        const auto sorted = Snapshot(s.root.path());
        const bool refused = c.shown.front().starts_with("Nothing");

        const Result result = s.Unsort();
        EXPECT_EQ(result.Failed(), refused);
        std::vector<std::string> expected = c.shown;
        if (const auto at = expected.front().find('@'); at != std::string::npos)
            expected.front().replace(at, 1, s.root.str());
        EXPECT_EQ(result.Lines(), expected);
        EXPECT_TRUE(s.ui.messages.shown.empty());
        if (refused) {
            EXPECT_EQ(Snapshot(s.root.path()), sorted);
        } else {
            // The set folders go with the labels the sort wrote.
            EXPECT_EQ(Snapshot(s.root.path()), s.before);
            EXPECT_EQ(EntryNames(s.root.path()), s.entries);
        }
    }
}

// The labels and checksums the sort wrote go with their set folders, while
// they are as it wrote them (a label of that set naming the projects moved
// back; checksums of files moved back only): the folder is given back as it
// was, and the next sort letters its sets as the first did. A folder left
// holding anything else stays, named.
TEST(Unsort, RemovesTheLabelsAndChecksumsTheSortWroteOnly)
{
    const auto append = [](const fs::path& file, const std::string& text) { WriteFile(file, ReadFile(file) + text); };
    const struct {
        const char* what;
        bool checksums; // written after the sort
        std::function<void(const fs::path&)> change;
        std::vector<std::string> stays; // the lines after "Done."
    } rows[] = {
        {"labels alone", false, [](const fs::path&) {}, {}},
        {"labels and checksums", true, [](const fs::path&) {}, {}},
        {"a label edited",
         false,
         [&](const fs::path& r) { append(r / "CD-A" / DiscLabelName, "Spare take\r\n"); },
         {"CD-A stays: it still holds \"Kelvark Disc.txt\"."}},
        {"checksums that list a file not moved back",
         true,
         [&](const fs::path& r) { append(r / "CD-B" / ManifestName, std::string(64, '0') + "  gone.wav\n"); },
         {"CD-B stays: it still holds \"SHA256SUMS\"."}},
        {"checksums with a remark",
         true,
         [&](const fs::path& r) { append(r / "CD-B" / ManifestName, "# mine\n"); },
         {"CD-B stays: it still holds \"SHA256SUMS\"."}},
        {"checksums of an edited label",
         true,
         [&](const fs::path& r) { append(r / "CD-A" / DiscLabelName, "Spare take\r\n"); },
         {"CD-A stays: it still holds \"Kelvark Disc.txt\", \"SHA256SUMS\"."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Sorted s;
        if (row.checksums) {
            ASSERT_FALSE(ChecksumCommand(s.root.str(), false, s.ui.commands()).Failed());
        }
        row.change(s.root.path());
        const Result result = s.Unsort();
        std::vector<std::string> lines{"Done.  The files are back in folder " + s.root.str() + "."};
        lines.insert(lines.end(), row.stays.begin(), row.stays.end());
        EXPECT_EQ(result.Lines(), lines);
        std::vector<std::string> entries = s.entries;
        for (const std::string& line : row.stays)
            entries.push_back(line.substr(0, 4));
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(EntryNames(s.root.path()), entries);
        if (row.stays.empty()) {
            // Sorted again, the sets are lettered as the first time.
            s.Read(true);
            EXPECT_EQ(s.list.SetTotals().front().name, "CD-A");
        }
    }
}

TEST(Unsort, RefusesAFolderThatWasNotSorted)
{
    Studio s;
    WriteProject(s.root.path(), "One", {{"one.wav"}});
    const UnsortPlan unsort = PlanUnsort(s.root.str(), DVDMedium());
    EXPECT_EQ(unsort.plan.RefusalText(), "There is no DVD backup folder in " + s.root.str() + ".");
}

} // namespace
