#include "Commands.h"
#include "Fixtures.h"
#include "Plans.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// A root folder of projects A to E (each with its project file, a ".bak" and
// one wave) and a move destination: a folder inside the root folder, so that
// one snapshot of the root folder holds every file, or a folder under destBase.
struct Move : Studio {
    TempDir dest;

    explicit Move(const fs::path& destBase = {}) : dest(destBase.empty() ? root.path() : destBase)
    {
        for (const char* name : {"A", "B", "C", "D", "E"}) {
            WriteProject(root.path(), name, {{std::string(name) + " take.wav"}});
            WriteFile(root.path() / (std::string(name) + ".bak"), std::string("backup of ") + name);
        }
    }
    bool InDest(const std::string& file) const { return fs::exists(dest.path() / file); }
    bool InRoot(const std::string& file) const { return fs::exists(root.path() / file); }
};

// Writes file when the first item of a run is announced.
struct AppearingFile final : Progress {
    explicit AppearingFile(fs::path file) : file(std::move(file)) {}
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string&) override
    {
        if (!fs::exists(file))
            WriteFile(file, "someone else's wave");
    }
    fs::path file;
};

TEST(MoveTest, ListsEveryFileOfTheSelectedProjectsThatIsAlreadyThere)
{
    Move m;
    m.Read();
    m.Select({1, 3, 4});
    WriteFile(m.dest.path() / "A.cue", "");
    WriteFile(m.dest.path() / "A take.wav", "");
    WriteFile(m.dest.path() / "B.cue", ""); // B is not selected
    fs::create_directory(m.dest.path() / "D.bak"); // any entry blocks a move
    WriteFile(m.dest.path() / "D take.wav", "");
    const auto before = Snapshot(m.root.path());

    const Result conflicts = MoveTest(m.list, m.Selected(), m.dest.str());
    EXPECT_TRUE(conflicts.Failed());
    EXPECT_EQ(conflicts.Message(), "Already in destination directory:\r\n"
                                   "\r\n"
                                   "Project: A\r\n"
                                   "     A.cue\r\n"
                                   "     A take.wav\r\n"
                                   "Project: D\r\n"
                                   "     D.bak\r\n"
                                   "     D take.wav");
    EXPECT_EQ(m.Project(2).LastError, ""); // C was tested and found nothing

    // The window's move command shows the conflicts and moves nothing.
    EXPECT_EQ(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Message(),
              "Nothing was moved.\r\n" + conflicts.Message());
    EXPECT_EQ(m.list.projects.Count(), 5);
    ExpectNothingLost(before, m.root.path());
    EXPECT_TRUE(m.InRoot("C.cue"));
}

TEST(MoveTest, FindsOneWaveAloneAndNothingWithoutSelection)
{
    Move m;
    m.Read();
    WriteFile(m.dest.path() / "C take.wav", "");
    const Result none = MoveTest(m.list, m.Selected(), m.dest.str());
    EXPECT_FALSE(none.Failed());
    EXPECT_EQ(none.Message(), "");

    m.Select({3});
    const Result one = MoveTest(m.list, m.Selected(), m.dest.str());
    EXPECT_TRUE(one.Failed());
    EXPECT_EQ(one.Message(), "Already in destination directory:\r\n\r\nProject: C\r\n     C take.wav");
}

TEST(MoveList, MovesAdjacentSelectedProjectsAndKeepsRowsMatched)
{
    Move m;
    m.Read();
    m.Select({2, 3, 5});
    m.ui.progress.calls.clear();

    const Result result = MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands());
    EXPECT_EQ(result.Ended(), Result::Status::Done);
    EXPECT_EQ(result.Lines(), std::vector<std::string>{"Moved B, C, E to " + m.dest.str() + "."});
    m.grid.Fill(m.list);
    EXPECT_EQ(m.Names(), (std::vector<std::string>{"A", "D"}));
    EXPECT_EQ(m.Rows(), (std::vector<std::string>{"A", "D"}));
    EXPECT_EQ(m.ui.progress.calls, (std::vector<std::string>{"Hide", "Startup 3", "OK 0 B", "OK 1 C", "OK 2 E"}));
    for (const char* name : {"B", "C", "E"})
        for (const char* ext : {".cue", ".bak", " take.wav"}) {
            EXPECT_TRUE(m.InDest(name + std::string(ext)));
            EXPECT_FALSE(m.InRoot(name + std::string(ext)));
        }
    EXPECT_TRUE(m.InRoot("D.cue"));
}

TEST(MoveList, CopiesAReadOnlyProjectAndKeepsIt)
{
    Move m;
    MakeReadOnly(m.root.path() / "C.cue");
    m.Read();
    m.Select({2, 3, 4});

    const Result result = MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands());
    EXPECT_EQ(result.Ended(), Result::Status::Done);
    EXPECT_EQ(result.Lines(),
              (std::vector<std::string>{"Moved B, D to " + m.dest.str() + ".", "Copied C to " + m.dest.str() + "."}));
    EXPECT_EQ(m.ui.question.asked, std::vector<Asked>{Asked::MoveReadOnly});
    EXPECT_EQ(m.Names(), (std::vector<std::string>{"A", "C", "E"}));
    for (const char* file : {"C.cue", "C.bak", "C take.wav"}) {
        EXPECT_TRUE(m.InRoot(file));
        EXPECT_TRUE(m.InDest(file));
    }
    EXPECT_TRUE(m.InDest("D.cue"));
    EXPECT_EQ(m.Project(1).ReadDir, m.root.str());
}

// A set folder of the root holds what its disc holds: no move goes into it,
// nor into a folder inside it; a folder of another name is a destination.
TEST(MoveList, RefusesASetFolderOfTheRootAsItsDestination)
{
    const struct {
        std::string dest; // below the root
        bool refused;
    } rows[] = {{"DVD-A", true}, {"DVD-A/inside", true}, {"CD-B/", true}, {"Archive", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dest);
        Move m;
        fs::create_directories(m.root.path() / row.dest);
        m.Read();
        m.Select({2});
        const std::string dest = m.root.str() + row.dest;
        const Result result = MoveCommand(m.list, m.Selected(), dest, m.ui.commands());
        EXPECT_EQ(result.Ended(), row.refused ? Result::Status::Refused : Result::Status::Done) << result.Message();
        EXPECT_EQ(m.InRoot("B.cue"), row.refused);
        if (row.refused) {
            EXPECT_EQ(result.Message(), "Nothing was moved: " + dest + " is inside the set folder "
                                            + row.dest.substr(0, row.dest.find('/'))
                                            + ", which holds what its disc holds.");
        }
    }
}

TEST(MoveList, CountsTheProjectsItMovedWhenTheyAreMany)
{
    Move m;
    m.Read();
    m.Select({1, 2, 3, 4});
    EXPECT_EQ(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Lines(),
              std::vector<std::string>{"Moved 4 projects to " + m.dest.str() + "."});
}

TEST(MoveList, StopsWhereTheUserCancels)
{
    Move m;
    m.Read();
    m.Select({1, 2});
    m.ui.progress.calls.clear();
    m.ui.progress.okCalls = 0;
    m.ui.progress.cancelAtCall = 1;

    EXPECT_EQ(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Ended(), Result::Status::Stopped);
    EXPECT_EQ(m.Names(), (std::vector<std::string>{"B", "C", "D", "E"}));
    EXPECT_TRUE(m.InDest("A.cue"));
    EXPECT_TRUE(m.InRoot("B.cue"));
}

TEST(MoveList, MovesNothingWithoutSelection)
{
    Move m;
    m.Read();
    m.ui.progress.calls.clear();
    EXPECT_FALSE(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Failed());
    EXPECT_TRUE(m.ui.progress.calls.empty());
    EXPECT_EQ(m.list.projects.Count(), 5);
    EXPECT_TRUE(fs::is_empty(m.dest.path()));
}

TEST(MoveList, RefusesToReplaceAFileThatAppearedAfterTheTest)
{
    Move m;
    WriteFile(m.root.path() / "B.txt", "notes of B");
    m.Read();
    m.Select({1, 2, 3});
    const auto before = Snapshot(m.root.path());
    // B's wave appears once the move runs, after its conflict test. It is
    // the last of B's files to move: B's own files went first and must come back.
    AppearingFile appearing(m.dest.path() / "B take.wav");

    EXPECT_TRUE(MoveCommand(m.list, m.Selected(), m.dest.str(), {m.ui.messages, appearing, m.ui.question}).Failed());
    EXPECT_EQ(m.ui.messages.shown,
              std::vector<std::string>{"Project B: can't move \"B take.wav\" to \"" + m.dest.path().filename().string()
                                       + "\": " + std::make_error_code(std::errc::file_exists).message()});
    EXPECT_EQ(m.Names(), (std::vector<std::string>{"B", "C", "D", "E"}));
    for (const char* file : {"B.bak", "B.cue", "B.txt", "B take.wav", "C.cue"})
        EXPECT_TRUE(m.InRoot(file)) << file;
    EXPECT_EQ(ReadFile(m.dest.path() / "B take.wav"), "someone else's wave");
    EXPECT_TRUE(m.InDest("A.cue"));
    ExpectNothingLost(before, m.root.path());
}

TEST(MoveList, CopiesAcrossFileSystemsThenRemovesTheSources)
{
    std::error_code error;
    if (!fs::is_directory("/dev/shm", error))
        GTEST_SKIP() << "no /dev/shm";
    Move m("/dev/shm");
    struct stat rootStat {
    }, destStat{};
    ::stat(m.root.path().c_str(), &rootStat);
    ::stat(m.dest.path().c_str(), &destStat);
    if (rootStat.st_dev == destStat.st_dev)
        GTEST_SKIP() << "/dev/shm and the temporary folder are one file system";
    MakeReadOnly(m.root.path() / "A.cue");
    m.Read();
    m.Select({1, 2, 3});
    const auto before = Snapshot(m.root.path());

    EXPECT_FALSE(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Failed());
    EXPECT_TRUE(m.ui.messages.shown.empty());
    // The read-only project was copied and stays; the others arrived whole and left the root.
    for (const auto& [file, content] : Snapshot(m.dest.path()))
        EXPECT_EQ(before.at(file), content) << file;
    for (const char* file : {"A.cue", "B.cue", "B.bak", "C.cue"})
        EXPECT_TRUE(m.InDest(file)) << file;
    EXPECT_TRUE(m.InRoot("A.cue"));
    EXPECT_FALSE(m.InRoot("B.cue"));
    EXPECT_FALSE(m.InRoot("B.bak"));
    EXPECT_EQ(m.Names(), (std::vector<std::string>{"A", "D", "E"}));
    EXPECT_FALSE(fs::exists(m.root.path() / ".kelvark-journal"));
}

TEST(MoveProject, NeverTouchesAProjectWithAnInvalidWaveName)
{
    Move m;
    WriteFile(m.root.path() / "F.cue", CueText({{{"F.wav", 0, 10}, {"../F.wav", 0, 10}, {"", 0, 5}}}));
    WriteFile(m.root.path() / "F.wav", WaveHeader(100));
    m.Read();
    orvoProject& f = m.Project(5);
    ASSERT_EQ(f.Name, "F");
    const auto before = Snapshot(m.root.path());

    m.Select({6});
    EXPECT_EQ(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Message(),
              "Nothing was moved.\r\nInvalid wave file name: ../F.wav");
    EXPECT_TRUE(fs::is_empty(m.dest.path()));
    EXPECT_EQ(Snapshot(m.root.path()), before);

    // The conflict test skips the invalid and the empty name.
    WriteFile(m.dest.path() / "F.wav", "");
    EXPECT_TRUE(f.MoveTest(m.dest.str()));
    EXPECT_EQ(f.LastError, "Project: F\r\n     F.wav");
}

TEST(MoveProject, MovesAWaveNamedLikeAnOwnFileOnce)
{
    Move m;
    WriteProject(m.root.path(), "G", {{"G.wav"}, {"g2.wav"}});
    m.Read();
    ASSERT_EQ(m.Project(5).OwnFiles(), (std::vector<std::string>{"G.cue", "G.wav"}));

    m.Select({6});
    EXPECT_EQ(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Message(),
              "Moved G to " + m.dest.str() + ".");
    EXPECT_TRUE(m.ui.messages.shown.empty());
    for (const char* file : {"G.cue", "G.wav", "g2.wav"})
        EXPECT_TRUE(m.InDest(file)) << file;
}

TEST(MoveList, RefusesAnUnreadProject)
{
    Move m;
    m.ui.progress.cancelAtCall = 0;
    m.Read();
    m.ui.progress.cancelAtCall = -1;
    m.Select({1});

    EXPECT_EQ(MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands()).Message(),
              "Nothing was moved.\r\nProject A was not read: The read was cancelled before this project.");
    EXPECT_EQ(m.Names(), (std::vector<std::string>{"A", "B", "C", "D", "E"}));
    EXPECT_TRUE(m.InRoot("A.cue"));
    EXPECT_TRUE(fs::is_empty(m.dest.path()));
}

TEST(MoveList, MovesAProjectWithoutTheWavesThatAreNotThere)
{
    Move m;
    WriteProject(m.root.path(), "F", {{"F take.wav"}, {"F gone.wav"}, {"F gone 2.wav"}});
    fs::remove(m.root.path() / "F gone.wav");
    fs::remove(m.root.path() / "F gone 2.wav");
    m.Read();
    m.Select({6});
    ASSERT_EQ(m.Selected().front()->Name, "F");

    const Result result = MoveCommand(m.list, m.Selected(), m.dest.str(), m.ui.commands());
    EXPECT_FALSE(result.Failed());
    EXPECT_EQ(result.Message(), "Moved F to " + m.dest.str()
                                    + ".\r\nF was moved without \"F gone.wav\", \"F gone 2.wav\", "
                                      "which were not found.");
    EXPECT_TRUE(m.InDest("F.cue"));
    EXPECT_TRUE(m.InDest("F take.wav"));
}

} // namespace
