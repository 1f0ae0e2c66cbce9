#include "Fixtures.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Projects Take, Other and Third, each with a ".bak" and a wave.
struct Renaming : Studio {
    Renaming()
    {
        for (const char* name : {"Take", "Other", "Third"}) {
            WriteProject(root.path(), name, {{std::string(name) + " 1.wav"}});
            WriteFile(root.path() / (std::string(name) + ".bak"), std::string("backup of ") + name);
        }
        Read();
        // Rows: Other, Take, Third.
    }
};

TEST(RenameProject, RenamesTheOwnFilesAndKeepsTheWaves)
{
    Renaming r;
    const std::string cue = ReadFile(r.root.path() / "Take.cue");

    EXPECT_FALSE(r.list.RenameProject(r.Project(1), "Final"));
    EXPECT_EQ(EntryNames(r.root.path()),
              (std::vector<std::string>{"Final.bak", "Final.cue", "Other 1.wav", "Other.bak", "Other.cue", "Take 1.wav",
                                        "Third 1.wav", "Third.bak", "Third.cue"}));
    EXPECT_EQ(ReadFile(r.root.path() / "Final.cue"), cue);
    const orvoProject& renamed = r.Project(1);
    EXPECT_EQ(renamed.Name, "Final");
    EXPECT_EQ(renamed.OwnFiles(), (std::vector<std::string>{"Final.bak", "Final.cue"}));
    EXPECT_EQ(renamed.WaveName(0), "Take 1.wav");

    // The renamed project moves under its new names.
    TempDir dest(r.root.path());
    r.list.MoveList({&r.Project(1)}, dest.str());
    EXPECT_TRUE(r.ui.messages.shown.empty());
    EXPECT_TRUE(fs::exists(dest.path() / "Final.cue"));
    EXPECT_TRUE(fs::exists(dest.path() / "Take 1.wav"));
}

TEST(RenameProject, KeepsAWaveNamedLikeTheProject)
{
    Studio studio;
    WriteProject(studio.root.path(), "Take", {{"Take.wav"}});
    studio.Read();

    EXPECT_FALSE(studio.list.RenameProject(studio.Project(0), "Final"));
    EXPECT_TRUE(fs::exists(studio.root.path() / "Final.cue"));
    EXPECT_TRUE(fs::exists(studio.root.path() / "Take.wav"));
    EXPECT_FALSE(fs::exists(studio.root.path() / "Final.wav"));
}

// Each refusal names its reason and renames nothing; the unchanged name does nothing and says nothing.
TEST(RenameProject, RefusesBeforeRenamingAnything)
{
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"Take", ""},
        {"Other", "Project name Other already exists.  Can't rename."},
        {"sub/Take", "A project name can't contain \"/\"."},
        {"Tab\tName", "A project name can't contain control characters."},
        {".", "A project name can't be \".\"."},
        {"..", "A project name can't be \"..\"."},
        {std::string("Nul\0l", 5), "A project name can't contain control characters."},
        {std::string(252, 'x'), "Can't rename Take: " + std::make_error_code(std::errc::filename_too_long).message()},
    };
    for (const auto& [newName, message] : refusals) {
        Renaming r;
        const auto before = Snapshot(r.root.path());

        EXPECT_EQ(r.list.RenameProject(r.Project(1), newName), !message.empty()) << newName;
        EXPECT_EQ(r.ui.messages.shown, message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message})
            << newName;
        EXPECT_EQ(r.Project(1).Name, "Take");
        EXPECT_EQ(Snapshot(r.root.path()), before) << newName;
    }
}

TEST(RenameProject, RefusesANameTakenByAFolder)
{
    Renaming r;
    fs::create_directory(r.root.path() / "Final.cue");
    const auto before = Snapshot(r.root.path());

    EXPECT_TRUE(r.list.RenameProject(r.Project(1), "Final"));
    EXPECT_EQ(r.ui.messages.shown, std::vector<std::string>{"Project name Final already exists.  Can't rename."});
    EXPECT_EQ(r.Project(1).Name, "Take");
    EXPECT_EQ(Snapshot(r.root.path()), before);
}

} // namespace
