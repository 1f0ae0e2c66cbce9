#include "ChildProcess.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvark;

// This program's openat: an open of a name ending in heldName never returns,
// as on a share that does not answer; every other open goes through.
namespace {
std::string heldName;
} // namespace

extern "C" int openat(int folder, const char* name, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    while (!heldName.empty() && std::string_view(name).ends_with(heldName))
        ::pause();
    static const auto next = reinterpret_cast<int (*)(int, const char*, int, ...)>(::dlsym(RTLD_NEXT, "openat"));
    return next(folder, name, flags, mode);
}

namespace {

using namespace fixtures;

// A progress dialog that changes the folder once it is listed, before any of
// its files is read.
struct ChangingProgress final : Progress {
    std::function<void()> change;
    void Hide() override {}
    void Startup(int) override { change(); }
    void Show(int, const std::string&) override {}
};

TEST(ReadFolder, TellsMixFromRegularProjectsByTheCaseSensitiveMarker)
{
    Studio studio;
    for (const char* name : {"Song Mix", "Demo mix", "Mix", "Song Mixdown", "Ballad"})
        WriteProject(studio.root.path(), name, {});
    WriteFile(studio.root.path() / "notes.txt", "not a project");
    WriteFile(studio.root.path() / ".Hidden.cue", CueText({}));

    EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), true, true));
    EXPECT_EQ(studio.Names(), (std::vector<std::string>{"Ballad", "Demo mix", "Mix", "Song Mix", "Song Mixdown"}));
    std::vector<bool> regular;
    for (const auto& project : studio.list.projects)
        regular.push_back(project->IsAProject);
    EXPECT_EQ(regular, (std::vector<bool>{true, true, true, false, false}));

    EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), true, false));
    EXPECT_EQ(studio.Names(), (std::vector<std::string>{"Song Mix", "Song Mixdown"}));
    EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), false, true));
    EXPECT_EQ(studio.Names(), (std::vector<std::string>{"Ballad", "Demo mix", "Mix"}));

    studio.ui.progress.calls.clear();
    EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), false, false));
    EXPECT_EQ(studio.list.projects.Count(), 0);
    EXPECT_EQ(studio.ui.progress.calls, (std::vector<std::string>{"Hide", "Startup 0"}));
}

TEST(ReadFolder, ReadsEveryProjectUnderTheProgressDialog)
{
    Studio studio;
    WriteProject(studio.root.path(), "One", {{"one.wav", 4000}});
    WriteProject(studio.root.path(), "Two", {{"two.wav", 2000}, {"shared.wav", 10}});
    WriteFile(studio.root.path() / "Two.bak", "12345");
    WriteFile(studio.root.path() / "Song.CUE", CueText({}));

    EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), true, true));
    EXPECT_EQ(studio.ui.progress.calls,
              (std::vector<std::string>{"Hide", "Startup 3", "OK 0 One", "OK 1 Song", "OK 2 Two"}));
    EXPECT_EQ(studio.list.LastError, "");
    const orvoProject& two = *studio.list.projects.Item(2);
    EXPECT_EQ(two.ReadDir, studio.root.str());
    EXPECT_EQ(two.WaveCount(), 2);
    EXPECT_EQ(two.wavSize, DeclaredSize(2000) + DeclaredSize(10));
    EXPECT_EQ(two.OwnFiles(), (std::vector<std::string>{"Two.bak", "Two.cue"}));
    EXPECT_EQ(two.fileSize, 5 + static_cast<std::int64_t>(ReadFile(studio.root.path() / "Two.cue").size()));
    EXPECT_EQ(studio.list.projects.Item(1)->Name, "Song"); // the upper-case extension is a project file too
}

TEST(ReadFolder, ListsTheErrorsOfTheFolder)
{
    Studio studio;
    WriteProject(studio.root.path(), "A Good", {{"good.wav"}});
    WriteFile(studio.root.path() / "B Lost.cue", CueText({{{"gone.wav", 0, 10}, {"empty.wav", 0, 10}}}));
    WriteFile(studio.root.path() / "empty.wav", "");
    WriteFile(studio.root.path() / "B Lost.txt", "1234567");
    // A folder named like a project file is no project.
    fs::create_directory(studio.root.path() / "C Folder.cue");

    EXPECT_TRUE(studio.list.ReadFolder(studio.root.str(), true, true));
    EXPECT_EQ(studio.list.LastError, "Errors for this folder: \r\n\r\n"
                                     "  Project: B Lost\r\n"
                                     "     File not found: gone.wav\r\n"
                                     "     File size zero: empty.wav");
    // The project that failed still has its own files measured.
    EXPECT_EQ(studio.list.projects.Item(1)->OwnFiles().size(), 2U);

    // A project file that vanishes between the listing and its read, read one
    // file at a time and with many under way.
    for (const int requests : {1, 32}) {
        WriteFile(studio.root.path() / "B Lost.cue", CueText({{{"gone.wav", 0, 10}, {"empty.wav", 0, 10}}}));
        WriteProject(studio.root.path(), "D Gone", {});
        ChangingProgress removing;
        removing.change = [&] { fs::remove(studio.root.path() / "D Gone.cue"); };
        orvoProjectList list({studio.ui.messages, removing});
        list.requestsInFlight = requests;
        EXPECT_TRUE(list.ReadFolder(studio.root.str(), true, true));
        EXPECT_EQ(list.LastError, "Errors for this folder: \r\n\r\n"
                                  "  Project: B Lost\r\n"
                                  "     File not found: gone.wav\r\n"
                                  "     File size zero: empty.wav\r\n"
                                  "  Can't open CUE file D Gone");

        // A second scan starts a fresh listing.
        fs::remove(studio.root.path() / "B Lost.cue");
        EXPECT_FALSE(list.ReadFolder(studio.root.str(), true, true));
        EXPECT_EQ(list.LastError, "");
    }
}

TEST(ReadFolder, NamesWhatIsNoLongerARegularFileAndNeverWaitsForIt)
{
    // Files listed as regular files that are replaced by a FIFO, or by a link
    // to one, before they are read: a read that waited for a writer would never end.
    for (const int requests : {1, 32}) {
        TempDir root;
        const fs::path folder = root.path();
        WriteProject(folder, "A Pipe", {});
        WriteProject(folder, "B Waves", {{"b fifo.wav"}, {"b link.wav"}, {"b plain.wav"}});
        const auto before = Snapshot(folder);
        ChangingProgress replacing;
        replacing.change = [&] {
            for (const char* name : {"A Pipe.cue", "b fifo.wav", "b link.wav"})
                fs::remove(folder / name);
            ::mkfifo((folder / "A Pipe.cue").c_str(), 0644);
            ::mkfifo((folder / "b fifo.wav").c_str(), 0644);
            fs::create_symlink("b fifo.wav", folder / "b link.wav");
        };
        const auto errors = RunBounded([&] {
            RecordingMessages messages;
            orvoProjectList list({messages, replacing});
            list.requestsInFlight = requests;
            list.ReadFolder(root.str(), true, true);
            return list.LastError;
        });
        EXPECT_EQ(errors, "Errors for this folder: \r\n\r\n"
                          "  Can't open CUE file A Pipe: A Pipe.cue is not a regular file\r\n"
                          "  Project: B Waves\r\n"
                          "     b fifo.wav is not a regular file\r\n"
                          "     b link.wav is not a regular file")
            << requests << " in flight";
        auto after = Snapshot(folder);
        for (const char* name : {"A Pipe.cue", "b fifo.wav", "b link.wav"}) {
            EXPECT_TRUE(fs::is_fifo(folder / name)) << name; // the link still leads to its FIFO
            after[name] = before.at(name);
        }
        EXPECT_EQ(after, before);
    }
}

TEST(ReadFolder, StopsReadingWhenCancelledAndKeepsTheUnreadProjects)
{
    Studio studio;
    WriteProject(studio.root.path(), "One", {{"one.wav"}});
    WriteProject(studio.root.path(), "Two", {{"two.wav"}});
    studio.ui.progress.cancelAtCall = 1;

    EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), true, true));
    EXPECT_EQ(studio.list.projects.Count(), 2);
    EXPECT_EQ(studio.list.projects.Item(0)->WaveCount(), 1);
    const orvoProject& unread = *studio.list.projects.Item(1);
    EXPECT_EQ(unread.WaveCount(), 0);
    EXPECT_EQ(unread.TotalSize(), 0);

    studio.list.CalcBackup(CDMedium());
    EXPECT_EQ(studio.list.FillGrid()[1], (GridRow{"Two", ".0", "0", "0", "A", "ERR"}));

    // Cancelled while the project read ahead at its turn never comes: the
    // read is asked again, and stops without waiting for it.
    struct CancellingProgress final : Progress {
        std::vector<std::string> calls;
        void Hide() override {}
        void Startup(int) override {}
        void Show(int k, const std::string& text) override
        {
            calls.push_back(std::to_string(k) + " " + text);
            if (calls.size() >= 3)
                RequestStop();
        }
    } cancelling;
    const auto read = RunBounded([&] {
        heldName = "Two.cue";
        orvoProjectList list({studio.ui.messages, cancelling});
        list.requestsInFlight = 32;
        list.ReadFolder(studio.root.str(), true, true);
        std::string outcome;
        for (const std::string& call : cancelling.calls)
            outcome += call + "|";
        return outcome + std::to_string(list.projects.Item(0)->WaveCount())
               + std::to_string(list.projects.Item(1)->WaveCount());
    });
    EXPECT_EQ(read, "0 One|1 Two|1 Two|10");
}

TEST(ReadFolder, WithoutARootFolderKeepsThePreviousList)
{
    Studio studio;
    WriteProject(studio.root.path(), "One", {});
    studio.list.ReadFolder(studio.root.str(), true, true);
    studio.ui.progress.calls.clear();

    EXPECT_TRUE(studio.list.ReadFolder("", true, true));
    EXPECT_EQ(studio.list.LastError, "No root folder chosen.");
    EXPECT_EQ(studio.list.projects.Count(), 1);
    EXPECT_TRUE(studio.ui.progress.calls.empty());
}

TEST(ReadFolder, AFolderThatCannotBeListedIsAnError)
{
    Studio studio;
    const std::string missing = studio.root.str() + "gone/";
    EXPECT_TRUE(studio.list.ReadFolder(missing, true, true));
    EXPECT_EQ(studio.list.LastError,
              "Errors for this folder: \r\n\r\n  Can't read folder " + missing + ": No such file or directory");
    EXPECT_EQ(studio.list.projects.Count(), 0);
}

TEST(ReadFolder, LeavesTheFilesAccessTimesAsTheyWere)
{
    Studio studio;
    WriteProject(studio.root.path(), "One", {{"one.wav"}, {"two.wav"}});
    AgeAccessTimes(studio.root.path());
    for (const int requests : {1, 32}) {
        studio.list.requestsInFlight = requests;
        EXPECT_FALSE(studio.list.ReadFolder(studio.root.str(), true, true));
        ASSERT_EQ(studio.list.projects.Item(0)->WaveCount(), 2);
        for (const auto& entry : fs::directory_iterator(studio.root.path()))
            EXPECT_EQ(AccessTime(entry.path()), OldAccess) << entry.path() << ", " << requests;
    }
}

// A project read from nothing, with the numbers the grid shows set directly.
orvoProject& AddProject(orvoProjectList& list, Messages& messages, const std::string& name)
{
    auto project = std::make_shared<orvoProject>(messages);
    project->Name = name;
    list.projects.add(project);
    return *project;
}

TEST(FillGrid, ShowsSizesAndUsageRoundedHalfAwayFromZero)
{
    RecordingMessages messages;
    FakeUi ui;
    orvoProjectList list(ui.services());
    struct Case {
        std::int64_t wavSize, samples, samplesUsed;
        const char* size;
        const char* used;
    };
    const std::vector<Case> cases = {
        {0, 4000, 0, ".0", "0%"},
        {512345, 4000, 4000, ".5", "100%"},
        {50000, 4000, 2999, ".1", "75%"},
        {49999, 8, 1, ".0", "13%"},
        {123456789, 4000, 2980, "123.5", "75%"},
        {123449999, 200, 1, "123.4", "1%"},
        {3000000000, 3, 1, "3000.0", "33%"},
        {999999, 0, 0, "1.0", "ERR"},
    };
    for (const auto& c : cases) {
        orvoProject& project = AddProject(list, messages, "P");
        project.wavSize = c.wavSize;
        project.samples = c.samples;
        project.samplesUsed = c.samplesUsed;
    }
    const std::vector<GridRow> rows = list.FillGrid();
    ASSERT_EQ(rows.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(rows[i][1], cases[i].size) << "row " << i + 1;
        EXPECT_EQ(rows[i][5], cases[i].used) << "row " << i + 1;
    }

    list.regional.decimalSeparator = ",";
    EXPECT_EQ(list.FillGrid()[4][1], "123,5");
}

TEST(FillGrid, ShowsCountsSetLettersAndReadOnlyProjects)
{
    Studio studio;
    WriteProject(studio.root.path(), "Alpha", {{"a.wav", 1000}, {"b.wav", 1000}});
    WriteProject(studio.root.path(), "Beta", {{"c.wav", 1000}});
    MakeReadOnly(studio.root.path() / "Beta.cue");
    studio.Read();
    studio.Project(0).BackupNum = 26;
    studio.Project(1).BackupNum = -1;
    const std::vector<GridRow> rows = studio.list.FillGrid();

    EXPECT_EQ(rows, (std::vector<GridRow>{{"Alpha", ".0", "1", "2", "AA", "100%"}, {"Beta", "-", "1", "1", "", "-"}}));
}

} // namespace
