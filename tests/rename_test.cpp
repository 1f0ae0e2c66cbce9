#include "Fixtures.h"

#include <gtest/gtest.h>

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

TEST(RenameFiles, RenamesTheOwnFilesAndKeepsTheWaves)
{
    Renaming r;
    const std::string cue = ReadFile(r.root.path() / "Take.cue");
    r.Select({2});
    r.ui.input.answers = {"Final"};

    EXPECT_TRUE(r.list.RenameFiles(r.grid));
    EXPECT_EQ(r.ui.input.prompts, std::vector<std::string>{"Enter new name|Rename project|Take"});
    EXPECT_EQ(EntryNames(r.root.path()), (std::vector<std::string>{"Final.bak", "Final.cue", "Other 1.wav", "Other.bak", "Other.cue",
                                                   "Take 1.wav", "Third 1.wav", "Third.bak", "Third.cue"}));
    EXPECT_EQ(ReadFile(r.root.path() / "Final.cue"), cue);
    EXPECT_EQ(r.Rows(), (std::vector<std::string>{"Other", "Final", "Third"}));
    const orvoProject& renamed = r.Project(1);
    EXPECT_EQ(renamed.Name, "Final");
    EXPECT_EQ(renamed.OwnFiles(), (std::vector<std::string>{"Final.bak", "Final.cue"}));
    EXPECT_EQ(renamed.waves.Item(0)->FileName, "Take 1.wav");

    // The renamed project moves under its new names.
    TempDir dest(r.root.path());
    r.Select({2});
    r.list.MoveList(r.grid, dest.str());
    EXPECT_TRUE(r.ui.messages.shown.empty());
    EXPECT_TRUE(fs::exists(dest.path() / "Final.cue"));
    EXPECT_TRUE(fs::exists(dest.path() / "Take 1.wav"));
}

TEST(RenameFiles, KeepsAWaveNamedLikeTheProject)
{
    Studio studio;
    WriteProject(studio.root.path(), "Take", {{"Take.wav"}});
    studio.Read();
    studio.grid.Select(1);
    studio.ui.input.answers = {"Final"};

    EXPECT_TRUE(studio.list.RenameFiles(studio.grid));
    EXPECT_TRUE(fs::exists(studio.root.path() / "Final.cue"));
    EXPECT_TRUE(fs::exists(studio.root.path() / "Take.wav"));
    EXPECT_FALSE(fs::exists(studio.root.path() / "Final.wav"));
}

TEST(RenameFiles, StopsAtACancelledInputBox)
{
    Renaming r;
    r.Select({1, 2, 3});
    r.ui.input.answers = {"Renamed", ""};

    EXPECT_FALSE(r.list.RenameFiles(r.grid));
    EXPECT_EQ(r.ui.input.prompts, (std::vector<std::string>{"Enter new name|Rename project|Other",
                                                            "Enter new name|Rename project|Take"}));
    EXPECT_EQ(r.Rows(), (std::vector<std::string>{"Renamed", "Take*", "Third*"}));
    EXPECT_TRUE(fs::exists(r.root.path() / "Renamed.cue"));
    EXPECT_TRUE(fs::exists(r.root.path() / "Take.cue"));
}

TEST(RenameFiles, AsksNothingWithoutSelection)
{
    Renaming r;
    EXPECT_TRUE(r.list.RenameFiles(r.grid));
    EXPECT_TRUE(r.ui.input.prompts.empty());
}

TEST(Rename, RefusesBeforeRenamingAnything)
{
    const std::string invalid = "Error in project.Rename: " + std::make_error_code(std::errc::invalid_argument).message();
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"Other", "Project name Other already exists.  Can't rename."},
        {"Take", "Project name Take already exists.  Can't rename."},
        {"sub/Take", invalid},
        {".", invalid},
        {"..", invalid},
        {std::string("Nul\0l", 5), invalid},
        {std::string(252, 'x'), "Error in project.Rename: " + std::make_error_code(std::errc::filename_too_long).message()},
    };
    for (const auto& [newName, message] : refusals) {
        Renaming r;
        const auto before = Snapshot(r.root.path());
        r.Select({2, 3});
        r.ui.input.answers = {newName};

        EXPECT_FALSE(r.list.RenameFiles(r.grid)) << newName;
        EXPECT_EQ(r.ui.messages.shown, std::vector<std::string>{message}) << newName;
        EXPECT_EQ(r.ui.input.prompts.size(), 1u) << newName;
        EXPECT_EQ(r.Rows(), (std::vector<std::string>{"Other", "Take*", "Third*"})) << newName;
        EXPECT_EQ(r.Project(1).Name, "Take");
        EXPECT_EQ(Snapshot(r.root.path()), before) << newName;
    }
}

TEST(Rename, RefusesANameTakenByAFolder)
{
    Renaming r;
    fs::create_directory(r.root.path() / "Final.cue");
    const auto before = Snapshot(r.root.path());
    r.Select({2});
    r.ui.input.answers = {"Final"};

    EXPECT_FALSE(r.list.RenameFiles(r.grid));
    EXPECT_EQ(r.ui.messages.shown, std::vector<std::string>{"Project name Final already exists.  Can't rename."});
    EXPECT_EQ(r.Project(1).Name, "Take");
    EXPECT_EQ(Snapshot(r.root.path()), before);
}

} // namespace
