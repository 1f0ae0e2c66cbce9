#include "Executor.h"
#include "Fixtures.h"
#include "Journal.h"
#include "JournalFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace kelvark;

// While set, looking up a name that is not there finds the entry whose name
// differs from it in letter case only, as a file system that folds case
// (FAT, exFAT) does; renames still see the names as they are.
static bool foldCase = false;

extern "C" int lstat(const char* path, struct stat* status)
{
    const auto look = [&](const char* name) {
        return static_cast<int>(::syscall(SYS_newfstatat, AT_FDCWD, name, status, AT_SYMLINK_NOFOLLOW));
    };
    if (const int found = look(path); found == 0 || errno != ENOENT || !foldCase)
        return found;
    const std::filesystem::path wanted(path);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(wanted.parent_path(), error))
        if (::strcasecmp(entry.path().filename().c_str(), wanted.filename().c_str()) == 0)
            return look(entry.path().c_str());
    errno = ENOENT;
    return -1;
}

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

    EXPECT_FALSE(RenameCommand(r.list, r.Project(1), "Final", r.ui.commands()).Failed());
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
    EXPECT_FALSE(MoveCommand(r.list, {&r.Project(1)}, dest.str(), r.ui.commands()).Failed());
    EXPECT_TRUE(r.ui.messages.shown.empty());
    EXPECT_TRUE(fs::exists(dest.path() / "Final.cue"));
    EXPECT_TRUE(fs::exists(dest.path() / "Take 1.wav"));
}

TEST(RenameProject, KeepsAWaveNamedLikeTheProject)
{
    Studio studio;
    WriteProject(studio.root.path(), "Take", {{"Take.wav"}});
    studio.Read();

    EXPECT_FALSE(RenameCommand(studio.list, studio.Project(0), "Final", studio.ui.commands()).Failed());
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

        const Result result = RenameCommand(r.list, r.Project(1), newName, r.ui.commands());
        EXPECT_EQ(result.Failed(), !message.empty()) << newName;
        EXPECT_EQ(result.Message(), message) << newName;
        EXPECT_TRUE(r.ui.messages.shown.empty()) << newName;
        EXPECT_EQ(r.Project(1).Name, "Take");
        EXPECT_EQ(Snapshot(r.root.path()), before) << newName;
    }
}

TEST(RenameProject, RefusesANameTakenByAFolder)
{
    Renaming r;
    fs::create_directory(r.root.path() / "Final.cue");
    const auto before = Snapshot(r.root.path());

    EXPECT_EQ(RenameCommand(r.list, r.Project(1), "Final", r.ui.commands()).Message(),
              "Project name Final already exists.  Can't rename.");
    EXPECT_EQ(r.Project(1).Name, "Take");
    EXPECT_EQ(Snapshot(r.root.path()), before);
}

// A name that changes in letter case only goes through a hidden name, which a
// file system that folds case needs; a second name of the file (a hard link)
// spelled so is another file, and the name is taken.
TEST(RenameProject, ChangesTheLetterCaseThroughAHiddenName)
{
    for (const bool folds : {false, true}) {
        SCOPED_TRACE(folds ? "a file system that folds case" : "a file system that keeps case");
        Renaming r;
        auto renamed = Snapshot(r.root.path());
        for (const std::string ext : {".cue", ".bak"})
            renamed["take" + ext] = renamed.extract("Take" + ext).mapped();
        foldCase = folds;
        EXPECT_FALSE(RenameCommand(r.list, r.Project(1), "take", r.ui.commands()).Failed());
        foldCase = false;
        EXPECT_TRUE(r.ui.messages.shown.empty());
        EXPECT_EQ(EntryNames(r.root.path()),
                  (std::vector<std::string>{"Other 1.wav", "Other.bak", "Other.cue", "Take 1.wav", "Third 1.wav",
                                            "Third.bak", "Third.cue", "take.bak", "take.cue"}));
        EXPECT_EQ(r.Project(1).OwnFiles(), (std::vector<std::string>{"take.bak", "take.cue"}));
        EXPECT_EQ(Snapshot(r.root.path()), renamed);

        fs::create_hard_link(r.root.path() / "Other.bak", r.root.path() / "other.bak");
        const auto linked = Snapshot(r.root.path());
        foldCase = folds;
        const Result taken = RenameCommand(r.list, r.Project(0), "other", r.ui.commands());
        foldCase = false;
        EXPECT_EQ(taken.Message(), "Project name other already exists.  Can't rename.");
        EXPECT_EQ(Snapshot(r.root.path()), linked);
    }
}

// A rename through a hidden name that stopped anywhere is finished or undone.
TEST(RenameProject, StoppedInLetterCaseIsFinishedOrUndone)
{
    const std::string hidden = ".take.cue.kelvark";
    for (const std::string& at : std::vector<std::string>{"Take.cue", hidden, "take.cue"})
        for (const bool undo : {false, true}) {
            SCOPED_TRACE(at + (undo ? ", undo" : ", finish"));
            TempDir root;
            WriteFile(root.path() / at, "the project");
            WriteJournal(
                root.path(),
                JournalText("rename", {{"unit", "Take"}, {"move", "Take.cue", hidden}, {"move", hidden, "take.cue"}}));
            Journal journal;
            ASSERT_EQ(journal.TakeStopped(root.str()).Message(), "");
            FilePlan plan = undo ? journal.plan().Inverse() : journal.plan();
            RecordingProgress progress;
            RecordingMessages messages;

            EXPECT_EQ(RunPlan(plan, journal, progress, messages).Ended(), Result::Status::Done);
            EXPECT_TRUE(messages.shown.empty());
            EXPECT_EQ(EntryNames(root.path()), std::vector<std::string>{undo ? "Take.cue" : "take.cue"});
            EXPECT_EQ(ReadFile(root.path() / (undo ? "Take.cue" : "take.cue")), "the project");
        }
}

} // namespace
