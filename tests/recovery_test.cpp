#include "Commands.h"
#include "Executor.h"
#include "Fixtures.h"
#include "Journal.h"
#include "JournalFile.h"
#include "Plans.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace kelvark;

// Reads of a journal fail while this is set, as on a network share that
// answers EIO; every other read goes to the system.
static bool failJournalReads = false;

extern "C" ssize_t pread(int fd, void* buffer, size_t size, off_t at)
{
    char path[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    if (failJournalReads && ::readlink(link.c_str(), path, sizeof path - 1) > 0
        && std::string_view(path).ends_with(Journal::FileName)) {
        errno = EIO;
        return -1;
    }
    return ::syscall(SYS_pread64, fd, buffer, size, at);
}

// Recovery on folders that come from elsewhere: journals nobody checked, files
// changed by hand after a stop, copies of a stopped folder. Whatever happens,
// every file that existed before exists exactly once with its content, nothing
// outside the root folder (and a move's destination) changes, and no project
// is left split without a journal that says so.

namespace {

using namespace fixtures;

constexpr std::uint32_t MB = 1000000;

// A received root folder "music" of the projects A, B and C (one CD set each),
// beside the user's own "documents" and a move destination "dest".
struct Received {
    TempDir base;
    fs::path root = base.path() / "music";
    fs::path documents = base.path() / "documents";
    fs::path dest = base.path() / "dest";
    RecordingMessages messages;
    RecordingProgress progress;
    ScriptedQuestion question;
    orvoProjectList list{UserInterface{messages, progress}};

    Received()
    {
        for (const auto& folder : {root, documents, dest})
            fs::create_directory(folder);
        for (const std::string name : {"A", "B", "C"})
            WriteProject(root, name, {{name + " take.wav", 400 * MB}});
        WriteFile(documents / "letter.txt", "the user's only copy");
    }
    std::string Root() const { return root.string() + "/"; }
    void Read() { ASSERT_FALSE(ReadFolderCommand(list, Root(), true, true, CDMedium()).Failed()); }
    CommandUi Ui() { return {messages, progress, question}; }
    // A sort stopped by Cancel after its first project: A is in CD-A.
    void StopSort()
    {
        Read();
        progress.okCalls = 0;
        progress.cancelAtCall = 1;
        ASSERT_EQ(SortCommand(list, Root(), Ui()).Ended(), Result::Status::Stopped);
        progress.cancelAtCall = -1;
        ASSERT_EQ(Look(), Journal::State::Stopped);
    }
    Journal::State Look() const
    {
        Journal journal;
        return journal.LookAndTidy(Root());
    }
    // Recovers forward or back; what it said, empty when it was done.
    std::string Recover(bool undo, const fs::path& folder = {})
    {
        Journal journal;
        messages.shown.clear();
        if (const Result refusal = journal.TakeStopped(folder.empty() ? Root() : folder.string() + "/");
            refusal.Failed())
            return refusal.Message();
        FilePlan plan = undo ? journal.plan().Inverse() : journal.plan();
        const Result result = RunPlan(plan, journal, progress, messages);
        if (!result.Failed())
            return {};
        return !result.Message().empty() ? result.Message()
               : messages.shown.empty()  ? "stopped"
                                         : messages.shown.back();
    }
    std::map<std::string, std::string> Everything() const { return Snapshot(base.path()); }
    // Every project's files lie in one folder, unless a stopped journal says otherwise.
    void ExpectNoSplitWithoutJournal() const
    {
        if (Look() == Journal::State::Stopped)
            return;
        for (const std::string name : {"A", "B", "C"}) {
            std::set<fs::path> folders;
            for (const auto& entry : fs::recursive_directory_iterator(root))
                if (entry.path().filename().string().starts_with(name + ".")
                    || entry.path().filename() == name + " take.wav")
                    folders.insert(entry.path().parent_path());
            EXPECT_LE(folders.size(), 1u) << "project " << name << " split";
        }
    }
};

std::string Named(const std::string& text, const fs::path& base)
{
    std::string named = text;
    for (std::size_t at; (at = named.find("@")) != std::string::npos;)
        named.replace(at, 1, base.string());
    return named;
}

// Journals of shapes the program never writes are refused by every command,
// never run and never removed but on the user's word; nothing else changes.
TEST(ReceivedJournal, OfAnotherShapeIsRefusedKeptAndForgottenOnlyOnRequest)
{
    const std::string valid = JournalText("sort", {{"folder", "CD-A"}, {"unit", "A"}, {"move", "A.cue", "CD-A/A.cue"}});
    std::string flipped = valid;
    flipped[flipped.find("CD-A/A.cue")] ^= 0x20;
    std::string crlf;
    for (const char c : valid)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const struct {
        const char* what;
        std::string journal;
        std::string problem;
    } cases[] = {
        {"a step from a file outside the folder",
         JournalText("sort",
                     {{"folder", "CD-A"}, {"unit", "A"}, {"move", "../documents/letter.txt", "CD-A/letter.txt"}}),
         "its line 6 is not of a shape Kelvark writes"},
        {"a step naming an absolute path",
         JournalText("sort", {{"folder", "CD-A"}, {"unit", "A"}, {"move", "/home/user/letter.txt", "CD-A/letter.txt"}}),
         "its line 6 is not of a shape Kelvark writes"},
        {"a set folder outside the folder", JournalText("sort", {{"folder", "../documents"}}),
         "its line 4 is not of a shape Kelvark writes"},
        {"a folder the plan does not make", JournalText("sort", {{"unit", "A"}, {"move", "A.cue", "Other/A.cue"}}),
         "its line 5 is not of a shape Kelvark writes"},
        {"a copy whose undo would remove a file outside",
         JournalText("sort", {{"folder", "CD-A"}, {"unit", "A"}, {"copy", "A.cue", "../documents/letter.txt"}}),
         "its line 6 is not of a shape Kelvark writes"},
        {"a move into a relative destination", JournalText("move", {{"dest", "documents"}, {"unit", "A"}}),
         "its line 4 is not of a shape Kelvark writes"},
        {"an unsort that removes a file of the root folder",
         JournalText("unsort", {{"folder", "CD-A"}, {"unit", "CD-A"}, {"uncopy", "A.cue", "CD-A/A.cue"}}),
         "its line 6 is not of a shape Kelvark writes"},
        {"the journal of another version, with its root",
         JournalLine({"kelvark-journal 1"}) + JournalLine({"kind", "sort"}) + JournalLine({"root", "/home/user/"}),
         "it was written by another version of Kelvark"},
        {"one flipped byte", flipped, "its line 6 is damaged"},
        {"CR LF line ends", crlf, "its line 1 is damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Received r;
        r.Read();
        WriteJournal(r.root, c.journal);
        const auto before = r.Everything();
        const std::string refusal = "The journal \"" + r.Root()
                                    + ".kelvark-journal\" of a stopped operation can't be read: " + c.problem
                                    + ". Nothing was changed.";

        EXPECT_EQ(r.Look(), Journal::State::Unreadable);
        EXPECT_EQ(r.Recover(false), refusal);
        EXPECT_EQ(r.Recover(true), refusal);
        r.messages.shown.clear();
        EXPECT_EQ(SortCommand(r.list, r.Root(), r.Ui()).Message(), refusal);
        EXPECT_TRUE(r.messages.shown.empty());
        EXPECT_EQ(r.Everything(), before);

        Journal journal;
        EXPECT_EQ(journal.Forget(r.Root()).Message(), "");
        auto left = before;
        left.erase("music/.kelvark-journal");
        EXPECT_EQ(r.Everything(), left);
    }
}

// Something else than a file under the journal's name is never followed, read
// through or waited on.
TEST(ReceivedJournal, ThatIsNotAFileIsNeverUsed)
{
    const struct {
        const char* what;
        std::function<void(const fs::path& root)> make;
        std::string problem;
    } cases[] = {
        {"a link to a file elsewhere",
         [](const fs::path& root) { fs::create_symlink("../documents/.profile", root / ".kelvark-journal"); },
         "a symbolic link"},
        {"a pipe", [](const fs::path& root) { ASSERT_EQ(::mkfifo((root / ".kelvark-journal").c_str(), 0644), 0); },
         "a pipe"},
        {"a folder", [](const fs::path& root) { fs::create_directory(root / ".kelvark-journal"); }, "a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Received r;
        r.Read();
        c.make(r.root);
        const auto before = r.Everything();
        const std::string refusal =
            "\"" + r.Root() + ".kelvark-journal\" is " + c.problem
            + ", not a journal: Kelvark won't read or write through it. Remove or rename it, then try again.";

        EXPECT_EQ(r.Look(), Journal::State::NotAFile);
        EXPECT_EQ(SortCommand(r.list, r.Root(), r.Ui()).Message(), refusal);
        EXPECT_TRUE(r.messages.shown.empty());
        EXPECT_EQ(r.Recover(false), refusal);
        EXPECT_EQ(r.Everything(), before);
        EXPECT_FALSE(fs::exists(r.documents / ".profile"));
    }
}

// Recover never removes a file whose bytes exist nowhere else, and finish and
// undo check the same things both ways; a file that is gone leaves forget as
// the way out.
TEST(Recover, RefusesWhatWouldLoseAFileAndNamesTheProject)
{
    const struct {
        const char* what;
        std::function<void(Received&)> make; // leaves a stopped journal
        std::string finish, undo; // what each says; empty: done
    } cases[] = {
        {"a move across file systems: another project's take has the name at the destination",
         [](Received& r) {
             WriteJournal(
                 r.root,
                 JournalText("move", {{"dest", r.dest.string()}, {"unit", "A"}, {"move", "A take.wav", "A take.wav"}}));
             WriteFile(r.dest / "A take.wav", "the take of another project");
         },
         "Can't finish: nothing was changed.\r\nProject A: can't move \"A take.wav\" to \"@/dest/A take.wav\": another "
         "file has that name",
         "Can't undo: nothing was changed.\r\nProject A: can't move \"@/dest/A take.wav\" to \"A take.wav\": another "
         "file has that name"},
        {"a move across file systems cut short with the copy whole",
         [](Received& r) {
             WriteJournal(
                 r.root,
                 JournalText("move", {{"dest", r.dest.string()}, {"unit", "A"}, {"move", "A take.wav", "A take.wav"}}));
             fs::copy_file(r.root / "A take.wav", r.dest / "A take.wav");
         },
         "", ""},
        {"a sort undone after a new file took a sorted project's name",
         [](Received& r) {
             r.StopSort();
             WriteFile(r.root / "A take.wav", "a new recording");
         },
         "Can't finish: nothing was changed.\r\nProject A: can't move \"A take.wav\" to \"CD-A/A take.wav\": another "
         "file has that name",
         "Can't undo: nothing was changed.\r\nProject A: can't move \"CD-A/A take.wav\" to \"A take.wav\": another "
         "file has that name"},
        {"a file of the stopped sort deleted by hand",
         [](Received& r) {
             r.StopSort();
             fs::remove(r.root / "B take.wav");
         },
         "Can't finish: nothing was changed.\r\nProject B: can't move \"B take.wav\" to \"CD-B/B take.wav\": neither "
         "file is there",
         "Can't undo: nothing was changed.\r\nProject B: can't move \"CD-B/B take.wav\" to \"B take.wav\": neither "
         "file is there"},
    };
    for (const auto& c : cases)
        for (const bool undo : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (undo ? ", undo" : ", finish"));
            Received r;
            c.make(r);
            const auto before = r.Everything();
            const std::string expected = Named(undo ? c.undo : c.finish, r.base.path());

            EXPECT_EQ(r.Recover(undo), expected);
            auto now = r.Everything();
            now.erase("music/.kelvark-journal");
            auto was = before;
            was.erase("music/.kelvark-journal");
            if (!expected.empty()) {
                EXPECT_EQ(now, was);
                EXPECT_EQ(r.Look(), Journal::State::Stopped);
                Journal journal;
                EXPECT_EQ(journal.Forget(r.Root()).Message(), ""); // the way out: every file stays where it is
                EXPECT_EQ(r.Everything(), now);
            } else {
                ExpectNothingLost(was, r.base.path());
                EXPECT_EQ(r.Look(), Journal::State::None);
                r.ExpectNoSplitWithoutJournal();
            }
            EXPECT_EQ(Snapshot(r.documents), Snapshot(Received().documents));
        }
}

// A journal that can't be read to its end is never taken for one cut short:
// it stays, byte for byte, and every command says why it can't be read.
TEST(ReceivedJournal, ThatCanNotBeReadToItsEndIsKept)
{
    const std::string cutShort = JournalLine({"kelvark-journal 2"}) + JournalLine({"kind", "sort"});
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "a stopped sort" : "a journal cut short before its plan was whole");
        Received r;
        if (whole)
            r.StopSort();
        else
            WriteJournal(r.root, cutShort);
        const auto before = r.Everything();
        const std::string refusal = "The journal \"" + r.Root()
                                    + ".kelvark-journal\" of a stopped operation can't be read: "
                                    + std::make_error_code(std::errc::io_error).message() + ". Nothing was changed.";

        failJournalReads = true;
        EXPECT_EQ(r.Look(), Journal::State::Unreadable);
        EXPECT_EQ(r.Recover(false), refusal);
        Journal journal;
        EXPECT_EQ(journal.Lock(r.Root(), Operation::Sort).Message(), refusal);
        failJournalReads = false;
        EXPECT_EQ(r.Everything(), before);
        EXPECT_EQ(r.Look(), whole ? Journal::State::Stopped : Journal::State::None);
    }
}

// Recover removes the temporaries a stopped run left in the folders it works
// in, and only those: names of their own shape, whose lock is free.
// Forgetting the journal removes them too.
TEST(Recover, RemovesTheTemporariesOfRunsThatAreGone)
{
    for (const bool forget : {false, true}) {
        SCOPED_TRACE(forget ? "forget" : "finish");
        Received r;
        r.StopSort();
        const std::string gone = std::to_string(INT_MAX), alive = std::to_string(::getpid());
        const std::vector<std::string> removed{".kelvark-" + gone + "-0.tmp", "CD-A/.kelvark-" + gone + "-1.tmp"};
        const std::vector<std::string> kept{".kelvark-" + alive + "-2.tmp", ".kelvark-" + gone + "-3.tmp.wav",
                                            ".kelvark-" + gone + ".tmp", "CD-A/.kelvark-x-4.tmp",
                                            "kelvark-" + gone + "-5.tmp"};
        for (const auto& name : removed)
            WriteFile(r.root / name, "partial copy");
        for (const auto& name : kept)
            WriteFile(r.root / name, "someone's");
        // A run that is writing its temporary holds its lock.
        const FileDescriptor writing(::open((r.root / kept.front()).c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(writing.Get(), LOCK_EX | LOCK_NB), 0);
        WriteFile(r.dest / (".kelvark-" + gone + "-6.tmp"), "outside the sort's folders");
        auto expected = r.Everything();
        for (const auto& name : removed)
            expected.erase("music/" + name);
        expected.erase("music/.kelvark-journal");

        Journal journal;
        EXPECT_EQ(forget ? journal.Forget(r.Root()).Message() : r.Recover(false), "");
        ExpectNothingLost(expected, r.base.path());
        for (const auto& name : removed)
            EXPECT_FALSE(fs::exists(r.root / name)) << name;
    }
}

// A copy of a stopped folder, or the folder renamed, recovers itself: names are
// relative to the folder the command was given.
TEST(Recover, ActsOnTheFolderItIsGivenOnly)
{
    Received r;
    r.StopSort();
    const fs::path copy = r.base.path() / "music-copy";
    fs::copy(r.root, copy, fs::copy_options::recursive);
    const auto original = Snapshot(r.root);

    EXPECT_EQ(r.Recover(true, copy), "");
    EXPECT_EQ(Snapshot(r.root), original);
    EXPECT_FALSE(fs::exists(copy / "CD-A"));
    EXPECT_TRUE(fs::exists(copy / "A take.wav"));
    EXPECT_EQ(r.Look(), Journal::State::Stopped);
}

// One run per folder: while one holds the folder, every other operation and
// recover are refused at once, and the folder is not taken for a stopped one.
TEST(FolderLock, RefusesASecondRunOnTheFolder)
{
    Received r;
    r.Read();
    Journal running;
    ASSERT_EQ(running.Lock(r.Root(), Operation::Sort).Message(), "");
    const auto before = r.Everything();
    const std::string busy = "Kelvark is already sorting this folder";

    EXPECT_EQ(r.Look(), Journal::State::Running);
    const Result refused[] = {
        SortCommand(r.list, r.Root(), r.Ui()),
        MoveCommand(r.list, {&*r.list.projects.Item(0)}, r.dest.string() + "/", r.Ui()),
        RenameCommand(r.list, *r.list.projects.Item(0), "Z", r.Ui()),
        ReportCommand(r.list, r.Root(), r.Ui()),
    };
    for (const Result& result : refused) {
        EXPECT_EQ(result.Ended(), Result::Status::Refused);
        EXPECT_TRUE(result.Message().starts_with(busy + " (since ")) << result.Message();
        EXPECT_TRUE(result.Message().ends_with("). Wait for it to end.")) << result.Message();
    }
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_TRUE(r.Recover(false).starts_with(busy));
    EXPECT_EQ(r.Everything(), before);

    running.End();
    EXPECT_EQ(r.Look(), Journal::State::None);
    EXPECT_FALSE(SortCommand(r.list, r.Root(), r.Ui()).Failed());
}

// An unsort journals the removal of a read-only project's copies before it
// removes anything: undone, the copies come back.
TEST(Unsort, StoppedIsUndoneWithTheCopiesOfReadOnlyProjects)
{
    Received r;
    MakeReadOnly(r.root / "C.cue");
    r.Read();
    ASSERT_FALSE(SortCommand(r.list, r.Root(), r.Ui()).Failed());
    const auto sorted = r.Everything();
    r.progress.okCalls = 0;
    r.progress.cancelAtCall = 1;
    // Stopped after CD-A, which held C's copies.
    ASSERT_EQ(UnsortCommand(r.Root(), CDMedium(), r.Ui()).Ended(), Result::Status::Stopped);
    r.progress.cancelAtCall = -1;

    EXPECT_EQ(r.Recover(true), "");
    EXPECT_EQ(r.Everything(), sorted);

    // On a full disk the journal can't be written: no copy is gone.
    {
        const FileSizeLimit full(0);
        EXPECT_TRUE(UnsortCommand(r.Root(), CDMedium(), r.Ui()).Failed());
    }
    EXPECT_EQ(r.Everything(), sorted);
}

// A finished sort writes its reports.
TEST(Recover, FinishingASortWritesItsReports)
{
    Received r;
    r.StopSort();
    EXPECT_EQ(r.Recover(false), "");
    EXPECT_EQ(ReadFile(r.root / "Backup Report.txt"),
              "ORVEX Project Backup "
              "Organizer\r\n\r\nCD-A\r\n----\r\nA\r\n\r\nCD-B\r\n----\r\nB\r\n\r\nCD-C\r\n----\r\nC\r\n");
}

// What a stopped run's journal says, and what finishing or undoing it says it
// did: a run whose every project moved says so, not "stopped after 2 of 2".
TEST(Recover, SaysWhatTheStoppedRunDidAndWhatFinishOrUndoDid)
{
    const std::string sortedBoth = "moved all 2 projects but stopped before writing its reports";
    const struct {
        const char* what;
        std::function<void(Received&)> make; // leaves a stopped journal
        std::string run, howFar; // "backup sort of @/music/", "stopped after 1 of 3 projects"
    } cases[] = {
        {"a sort stopped after its first project", [](Received& r) { r.StopSort(); }, "backup sort of @/music/",
         "stopped after 1 of 3 projects"},
        {"a sort stopped after its last move",
         [](Received& r) {
             WriteJournal(r.root, JournalText("sort",
                                              {{"folder", "CD-A"},
                                               {"unit", "A"},
                                               {"move", "A take.wav", "CD-A/A take.wav"},
                                               {"unit", "B"},
                                               {"move", "B take.wav", "CD-A/B take.wav"}},
                                              {{"done", "0"}, {"done", "1"}}));
             fs::create_directory(r.root / "CD-A");
             for (const std::string name : {"A take.wav", "B take.wav"})
                 fs::rename(r.root / name, r.root / "CD-A" / name);
         },
         "backup sort of @/music/", sortedBoth},
        {"a move stopped after its last project",
         [](Received& r) {
             WriteJournal(r.root,
                          JournalText("move",
                                      {{"dest", r.dest.string()}, {"unit", "A"}, {"move", "A take.wav", "A take.wav"}},
                                      {{"done", "0"}}));
             fs::rename(r.root / "A take.wav", r.dest / "A take.wav");
         },
         "move of @/music/ into @/dest/", "moved its one project but stopped before removing its journal"},
    };
    for (const auto& c : cases)
        for (const bool undo : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (undo ? ", undo" : ", finish"));
            Received r;
            c.make(r);
            const std::string run = Named(c.run, r.base.path());
            Journal journal;
            ASSERT_EQ(journal.LookAndTidy(r.Root()), Journal::State::Stopped);
            EXPECT_EQ(journal.Describe(), "The " + run + " " + c.howFar + ".");
            const Result result = RecoverCommand(r.Root(), undo, r.Ui());
            EXPECT_EQ(result.Ended(), Result::Status::Done);
            EXPECT_EQ(result.Lines(),
                      std::vector<std::string>{undo ? "Undid the " + run + ", which had " + c.howFar
                                                          + ": every file it moved is back where it was."
                                                    : "Finished the " + run + ", which had " + c.howFar + "."});
        }
}

// A project is split when its files are in two places: one that never moved,
// a file of it deleted by hand, is not.
TEST(Recover, CallsSplitOnlyAProjectInTwoPlaces)
{
    const struct {
        const char* what;
        std::function<void(Received&)> change;
        std::string split;
    } cases[] = {
        {"a take of a project not yet moved deleted", [](Received& r) { fs::remove(r.root / "B take.wav"); },
         "No project is split."},
        {"a take of a project not yet moved moved by hand",
         [](Received& r) { fs::rename(r.root / "B take.wav", r.root / "CD-B" / "B take.wav"); },
         "These projects are split: B."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Received r;
        r.StopSort();
        c.change(r);
        Journal journal;
        ASSERT_EQ(journal.LookAndTidy(r.Root()), Journal::State::Stopped);
        EXPECT_EQ(SplitProjects(journal.plan()), c.split);
    }
}

} // namespace
