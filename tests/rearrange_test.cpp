#include "BackupSet.h"
#include "Fixtures.h"
#include "Journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using namespace fixtures;

constexpr std::uint32_t MB = 1000000;

struct Sort : Studio {
    bool Exists(const std::string& relative) const { return fs::exists(root.path() / relative); }
    // The backup folders the sort made.
    std::vector<std::string> Folders() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root.path()))
            if (entry.is_directory())
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(Rearrange, MovesEveryProjectIntoItsSetAndCopiesReadOnlyOnes)
{
    Sort s;
    WriteProject(s.root.path(), "Big", {{"big1.wav", 3000 * MB}, {"big2.wav", 1000 * MB}});
    WriteProject(s.root.path(), "Locked", {{"locked.wav", 1000}});
    WriteFile(s.root.path() / "Locked.txt", "notes");
    WriteProject(s.root.path(), "Small", {{"small.wav", 700 * MB}});
    MakeReadOnly(s.root.path() / "Locked.cue");
    const fs::file_time_type lockedTime = fs::last_write_time(s.root.path() / "Locked.txt");
    s.Read(false);
    ASSERT_EQ(s.list.numBackups, 2);

    EXPECT_FALSE(s.list.Rearrange(s.root.str(), "DVD"));
    EXPECT_TRUE(s.ui.messages.shown.empty());
    EXPECT_EQ(s.Folders(), (std::vector<std::string>{"DVD-A", "DVD-B"}));
    for (const char* moved : {"DVD-A/Big.cue", "DVD-A/big1.wav", "DVD-A/big2.wav", "DVD-B/Small.cue", "DVD-B/small.wav"})
        EXPECT_TRUE(s.Exists(moved)) << moved;
    for (const char* gone : {"Big.cue", "big1.wav", "Small.cue", "small.wav"})
        EXPECT_FALSE(s.Exists(gone)) << gone;

    // The read-only project is in its set's folder and still in the root folder, unchanged.
    const std::string lockedSet = "DVD-" + SetLetters(s.Project(1).BackupNum) + "/";
    for (const char* file : {"Locked.cue", "Locked.txt", "locked.wav"}) {
        EXPECT_TRUE(s.Exists(file)) << file;
        EXPECT_EQ(ReadFile(s.root.path() / (lockedSet + file)), ReadFile(s.root.path() / file)) << file;
    }
    EXPECT_EQ(fs::status(s.root.path() / (lockedSet + "Locked.cue")).permissions(),
              fs::status(s.root.path() / "Locked.cue").permissions());
    EXPECT_EQ(fs::last_write_time(s.root.path() / (lockedSet + "Locked.txt")), lockedTime);

    EXPECT_EQ(s.ui.progress.calls.back(), "OK 2 Small");

    // The set-0 folder now blocks a second sort.
    EXPECT_TRUE(s.list.Rearrange(s.root.str(), "DVD"));
    EXPECT_EQ(s.ui.messages.shown.back(), "Backup folder \"" + s.root.str()
                                              + "DVD-A\" already exists.  Empty and remove this folder to rearrange the files.");
}

// Cancel stops the sort before the next project and keeps the journal, so the
// sort can be finished or undone.
TEST(Rearrange, StopsBetweenProjectsWhenCancelled)
{
    Sort s;
    WriteProject(s.root.path(), "One", {{"one.wav", 400 * MB}});
    WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}});
    s.Read(true);
    s.ui.progress.okCalls = 0;
    s.ui.progress.cancelAtCall = 1;

    EXPECT_TRUE(s.list.Rearrange(s.root.str(), "CD"));
    EXPECT_TRUE(s.Exists("CD-A/one.wav"));
    EXPECT_TRUE(s.Exists("two.wav"));
    EXPECT_TRUE(s.ui.messages.shown.empty());
    Journal journal;
    EXPECT_EQ(journal.Look(s.root.str()), Journal::State::Stopped);
    EXPECT_EQ(journal.Describe(), "The backup sort of " + s.root.str() + " stopped after 1 of 2 projects.");
}

TEST(Rearrange, NamesSetsBeyondZWithTwoLetters)
{
    Sort s;
    for (int i = 0; i < 27; ++i)
        WriteProject(s.root.path(), "P" + std::to_string(100 + i), {{"w" + std::to_string(100 + i) + ".wav", 400 * MB}});
    s.Read(true);
    ASSERT_EQ(s.list.numBackups, 27);

    EXPECT_FALSE(s.list.Rearrange(s.root.str(), "CD"));
    const auto folders = s.Folders();
    EXPECT_EQ(folders.size(), 27u);
    EXPECT_EQ(folders.front(), "CD-A");
    EXPECT_EQ(folders.back(), "CD-Z");
    EXPECT_TRUE(s.Exists("CD-AA/P126.cue"));
    EXPECT_TRUE(s.Exists("CD-AA/w126.wav"));
}

TEST(Rearrange, RefusesBeforeMakingAnyFolder)
{
    struct Refusal {
        const char* what;
        std::function<void(Sort&)> arrange;
        std::string message; // after the root folder's path where it starts with "/"
    };
    const std::vector<Refusal> refusals = {
        {"set-0 folder", [](Sort& s) { fs::create_directory(s.root.path() / "CD-A"); },
         "Backup folder \"@CD-A\" already exists.  Empty and remove this folder to rearrange the files."},
        {"file named like the set-0 folder", [](Sort& s) { WriteFile(s.root.path() / "CD-A", "x"); },
         "Backup folder \"@CD-A\" already exists.  Empty and remove this folder to rearrange the files."},
        {"link named like the set-0 folder", [](Sort& s) { fs::create_symlink("nowhere", s.root.path() / "CD-A"); },
         "Backup folder \"@CD-A\" already exists.  Empty and remove this folder to rearrange the files."},
        {"project in no set", [](Sort& s) { s.Project(1).BackupNum = -1; },
         "No backup directory defined for project Two"},
        {"invalid wave name",
         [](Sort& s) {
             WriteFile(s.root.path() / "Three.cue", CueText({{{"../escape.wav", 0, 10}}}));
             s.Read(true);
         },
         "Invalid wave file name: ../escape.wav"},
    };
    for (const auto& refusal : refusals) {
        Sort s;
        WriteProject(s.root.path(), "One", {{"one.wav", 400 * MB}});
        WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}});
        s.Read(true);
        refusal.arrange(s);
        const auto before = Snapshot(s.root.path());
        const auto foldersBefore = s.Folders();

        EXPECT_TRUE(s.list.Rearrange(s.root.str(), "CD")) << refusal.what;
        std::string expected = refusal.message;
        if (const auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, s.root.str());
        EXPECT_EQ(s.ui.messages.shown, std::vector<std::string>{expected}) << refusal.what;
        EXPECT_EQ(s.Folders(), foldersBefore) << refusal.what;
        EXPECT_TRUE(s.Exists("One.cue")) << refusal.what;
        ExpectNothingLost(before, s.root.path());
    }
}

TEST(Rearrange, RefusesWhenALaterBackupFolderExists)
{
    Sort s;
    WriteProject(s.root.path(), "One", {{"one.wav", 400 * MB}});
    WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}});
    s.Read(true);
    fs::create_directory(s.root.path() / "CD-B");
    const auto before = Snapshot(s.root.path());
    s.ui.progress.calls.clear();

    EXPECT_TRUE(s.list.Rearrange(s.root.str(), "CD"));
    EXPECT_EQ(s.ui.messages.shown, std::vector<std::string>{"Backup folder \"" + s.root.str()
                                                            + "CD-B\" already exists.  Empty and remove this folder to rearrange the files."});
    EXPECT_EQ(s.Folders(), (std::vector<std::string>{"CD-B"}));
    EXPECT_TRUE(s.ui.progress.calls.empty());
    ExpectNothingLost(before, s.root.path());
    EXPECT_TRUE(s.Exists("One.cue"));
}

TEST(Rearrange, RefusesAProjectWhoseFileWentMissingBeforeMovingAnything)
{
    Sort s;
    WriteProject(s.root.path(), "One", {{"one.wav", 500 * MB}});
    WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}, {"two-b.wav", 100}});
    WriteFile(s.root.path() / "Two.bak", "backup of two");
    s.Read(true);
    // The second wave of Two disappears after the scan.
    fs::remove(s.root.path() / "two-b.wav");
    const auto before = Snapshot(s.root.path());

    EXPECT_TRUE(s.list.Rearrange(s.root.str(), "CD"));
    EXPECT_EQ(s.ui.messages.shown,
              std::vector<std::string>{"Project Two: can't move \"two-b.wav\": "
                                       + std::make_error_code(std::errc::no_such_file_or_directory).message()});
    EXPECT_TRUE(s.Exists("One.cue"));
    EXPECT_TRUE(s.Folders().empty());
    for (const char* file : {"Two.bak", "Two.cue", "two.wav"})
        EXPECT_TRUE(s.Exists(file)) << file;
    ExpectNothingLost(before, s.root.path());
}

TEST(Rearrange, MovesNothingForAnEmptyList)
{
    Sort s;
    s.Read(true);
    s.ui.progress.calls.clear();
    EXPECT_FALSE(s.list.Rearrange(s.root.str(), "CD"));
    EXPECT_TRUE(s.Folders().empty());
    EXPECT_EQ(s.ui.progress.calls, (std::vector<std::string>{"Hide", "Startup 0"}));
}

} // namespace
