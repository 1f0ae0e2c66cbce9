#include "Commands.h"
#include "Executor.h"
#include "Fixtures.h"
#include "Journal.h"
#include "Plans.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvark;

// Faults a user meets while the backup sort, a move of selected projects, a
// rename or the reports work on their files. After each, every file that
// existed before still exists exactly once with its content, and the user was
// told what went wrong.

namespace {

using namespace fixtures;

std::string Text(std::errc error)
{
    return std::make_error_code(error).message();
}

// The file layer's message for a report that could not be written.
std::string FileError(std::errc error)
{
    return "error " + std::to_string(static_cast<int>(error)) + " " + Text(error);
}

// A progress dialog and an input box that let a fault strike at the moment an
// operation reaches a project, or asks for a new name: after the operation's
// own checks, before its file operations.
struct FaultingProgress final : Progress {
    std::function<void(const std::string& project)> reached;
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string& text) override
    {
        if (reached)
            reached(text);
    }
};

// A root folder of the projects A, B and C, each with its project file, an
// earlier save (".bak"), a take of 400 MB and a small room recording, so that
// a CD plan puts each into a set of its own: A in CD-A, B in CD-B, C in CD-C.
// Within a project the files move in this order: .bak, .cue, take, room.
struct Folder {
    TempDir root;
    RecordingMessages messages;
    std::function<void()> whileTyping; // runs while the user types a new name
    FaultingProgress progress;
    ScriptedQuestion question;
    orvoProjectList list{UserInterface{messages, progress}};
    FakeGrid grid;

    explicit Folder(const fs::path& base = fs::temp_directory_path()) : root(base)
    {
        for (const std::string name : {"A", "B", "C"}) {
            WriteProject(root.path(), name, {{name + " take.wav", 400000000}, {name + " room.wav", 1000}});
            WriteFile(root.path() / (name + ".bak"), "earlier save of " + name);
        }
        Read();
    }
    void Read()
    {
        EXPECT_FALSE(ReadFolderCommand(list, root.str(), true, true, CDMedium()).Failed());
        grid.Fill(list);
    }
    CommandUi Ui() { return {messages, progress, question}; }
    // Shows a command's messages as the window does; true when it did not end Done.
    bool Shown(const Result& result)
    {
        question.answers.clear(); // those of questions it did not ask
        return ShowResult(messages, result);
    }

    fs::path operator/(const std::string& relative) const { return root.path() / relative; }
    bool Has(const std::string& relative) const { return fs::exists(root.path() / relative); }
    // A sort that leaves no project in the folder.
    bool Sort()
    {
        question.answers = {true, false};
        return Shown(SortCommand(list, root.str(), Ui()));
    }
    bool Report() { return Shown(ReportCommand(list, root.str(), Ui())); }
    // Moves the selected projects; the grid shows the list that is left.
    bool Move(const std::string& dest)
    {
        const bool failed = Shown(MoveCommand(list, grid.Selection(list), dest, Ui()));
        grid.Fill(list);
        return failed;
    }
    bool Rename(int row, const std::string& newName)
    {
        grid.Select(row);
        if (whileTyping)
            whileTyping();
        return !Shown(RenameCommand(list, *grid.Selection(list).front(), newName, Ui()));
    }
    // The hidden names in the root folder: what an unfinished report would leave.
    std::vector<std::string> Hidden() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root.path()))
            if (entry.path().filename().string()[0] == '.')
                names.push_back(entry.path().filename().string());
        return names;
    }
};

// The files of project name, in the root folder or in folder.
void ExpectProjectIn(const Folder& f, const std::string& name, const std::string& folder = "")
{
    for (const std::string& file : {name + ".bak", name + ".cue", name + " take.wav", name + " room.wav"})
        EXPECT_TRUE(f.Has(folder + file)) << folder + file;
}

bool SameFileSystem(const fs::path& a, const fs::path& b)
{
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// A file system mounted over a folder for one test. Mounting needs root and a
// system that allows it; when it cannot be done, why is in `unavailable`.
class Mount final {
public:
    // A tmpfs of the given size in bytes.
    static Mount Tmpfs(const fs::path& folder, int bytes)
    {
        Mount m(folder);
        const std::string options = "size=" + std::to_string(bytes);
        m.Try(::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()));
        return m;
    }
    // The folder itself, read-only.
    static Mount ReadOnly(const fs::path& folder)
    {
        Mount m(folder);
        if (m.Try(::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr))
            && !m.Try(::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr)))
            m.Unmount();
        return m;
    }
    Mount(Mount&& other) noexcept : folder(other.folder), unavailable(other.unavailable), mounted(other.mounted)
    {
        other.mounted = false;
    }
    ~Mount() { Unmount(); }

    fs::path folder;
    std::string unavailable;

private:
    explicit Mount(fs::path folder) : folder(std::move(folder)) {}
    bool Try(int result)
    {
        if (result != 0) {
            unavailable = "cannot mount over " + folder.string() + ": " + std::strerror(errno)
                          + (::geteuid() != 0 ? " (mounting needs root)" : "");
            return false;
        }
        mounted = true;
        return true;
    }
    void Unmount()
    {
        if (mounted)
            ::umount2(folder.c_str(), MNT_DETACH);
        mounted = false;
    }
    bool mounted = false;
};

// Makes a folder refuse new entries and renames: its owner's write permission
// taken away, which stops everyone but root; for root a read-only mount.
class ReadOnlyFolder final {
public:
    explicit ReadOnlyFolder(const fs::path& folder) : folder(folder)
    {
        if (::geteuid() != 0) {
            fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
            refusal = std::errc::permission_denied;
            return;
        }
        mount.emplace(Mount::ReadOnly(folder));
        unavailable = mount->unavailable;
        refusal = std::errc::read_only_file_system;
    }
    ~ReadOnlyFolder()
    {
        if (!mount)
            fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
    }

    std::string unavailable;
    std::errc refusal{}; // what the file system answers
private:
    fs::path folder;
    std::optional<Mount> mount;
};

TEST(FaultOtherFileSystem, MoveCopiesEveryProjectAcrossAndRemovesTheMovedOnes)
{
    std::error_code error;
    if (!fs::is_directory("/dev/shm", error))
        GTEST_SKIP() << "no /dev/shm to hold a destination on another file system";
    TempDir dest("/dev/shm");
    Folder f;
    if (SameFileSystem(f.root.path(), dest.path()))
        GTEST_SKIP() << "/dev/shm and " << f.root.path() << " are one file system";
    MakeReadOnly(f / "A.cue");
    f.Read();
    for (int row = 1; row <= 3; ++row)
        f.grid.Select(row);
    const auto before = Snapshot(f.root.path());

    EXPECT_FALSE(f.Move(dest.str())); // no conflicts: the move was tried
    EXPECT_EQ(f.messages.shown,
              std::vector<std::string>{"Moved B, C to " + dest.str() + ".\r\nCopied A to " + dest.str() + "."});
    // A, read-only, was copied across and stays; B and C moved: copied, then removed.
    const auto copied = Snapshot(dest.path());
    EXPECT_EQ(copied.size(), before.size());
    for (const auto& [file, content] : copied)
        EXPECT_EQ(before.at(file), content) << file;
    EXPECT_TRUE(f.Has("A.cue"));
    EXPECT_FALSE(f.Has("B.cue"));
    EXPECT_FALSE(f.Has("C take.wav"));
    EXPECT_EQ(f.list.projects.Count(), 1);
}

// A program that saves a project while the move copies it to another file
// system: the move removes no source and leaves no copy, whatever the change.
TEST(FaultOtherFileSystem, MoveRemovesNothingWhenASourceChangedWhileItWasCopied)
{
    std::error_code error;
    if (!fs::is_directory("/dev/shm", error))
        GTEST_SKIP() << "no /dev/shm to hold a destination on another file system";
    const struct {
        const char* what;
        std::string file;
        std::function<void(const fs::path&)> change;
    } cases[] = {
        {"the project file saved longer", "B.cue",
         [](const fs::path& file) { WriteFile(file, ReadFile(file) + "\n"); }},
        {"a take appended to", "B take.wav",
         [](const fs::path& file) { std::ofstream(file, std::ios::app) << "more"; }},
        {"other bytes of the same length", "B.bak",
         [](const fs::path& file) { WriteFile(file, std::string(ReadFile(file).size(), 'x')); }},
        {"replaced by a file of its name", "B room.wav",
         [](const fs::path& file) {
             const std::string bytes = ReadFile(file);
             fs::remove(file);
             WriteFile(file, bytes);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dest("/dev/shm");
        Folder f;
        if (SameFileSystem(f.root.path(), dest.path()))
            GTEST_SKIP() << "/dev/shm and " << f.root.path() << " are one file system";
        // Times well before now: a write now gives another.
        for (const auto& entry : fs::directory_iterator(f.root.path()))
            fs::last_write_time(entry.path(), fs::last_write_time(entry.path()) - std::chrono::hours(1));
        std::map<std::string, std::string> changed;
        AfterCopiesAcross = [&] {
            c.change(f / c.file);
            changed = Snapshot(f.root.path());
            changed.erase(Journal::FileName);
        };
        f.grid.Select(2);

        EXPECT_TRUE(f.Move(dest.str()));
        AfterCopiesAcross = nullptr;
        EXPECT_EQ(f.messages.shown, std::vector<std::string>{
                                        c.file + " changed while it was copied; nothing was removed. Move it again."});
        EXPECT_EQ(Snapshot(f.root.path()), changed); // every source, as the program left it; no journal
        EXPECT_EQ(EntryNames(dest.path()), std::vector<std::string>{});
        EXPECT_EQ(f.list.projects.Count(), 3);
    }
}

TEST(FaultOtherFileSystem, SortAndReportsOfAListReadElsewhereAreRefused)
{
    std::error_code error;
    if (!fs::is_directory("/dev/shm", error))
        GTEST_SKIP() << "no /dev/shm to hold a root folder on another file system";
    TempDir other("/dev/shm");
    Folder f;
    if (SameFileSystem(f.root.path(), other.path()))
        GTEST_SKIP() << "/dev/shm and " << f.root.path() << " are one file system";
    const auto before = Snapshot(f.root.path());

    // Neither the sort nor the reports act on a folder that was not read.
    EXPECT_TRUE(f.Shown(SortCommand(f.list, other.str(), f.Ui())));
    EXPECT_TRUE(f.Shown(ReportCommand(f.list, other.str(), f.Ui())));
    const std::string refusal = ReadFolderFirst(other.str());
    EXPECT_EQ(f.messages.shown, (std::vector<std::string>{refusal, refusal}));
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_TRUE(fs::is_empty(other.path()));
}

TEST(FaultMissingFile, SortRefusesBeforeMovingAnything)
{
    Folder f;
    fs::remove(f / "B room.wav");
    const auto before = Snapshot(f.root.path());

    EXPECT_TRUE(f.Sort());
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Nothing was sorted.\r\nProject B: can't move \"B room.wav\": "
                                                         + Text(std::errc::no_such_file_or_directory)});
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_FALSE(f.Has("CD-A"));
}

TEST(FaultMissingFile, MoveAndRenameLeaveTheProjectWhole)
{
    Folder f;
    const fs::path dest = f / "Elsewhere";
    fs::create_directory(dest);
    fs::remove(f / "B.cue");
    auto before = Snapshot(f.root.path());

    f.grid.Select(2);
    EXPECT_TRUE(f.Move(dest.string() + "/"));
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Nothing was moved.\r\nProject B: can't move \"B.cue\": "
                                                         + Text(std::errc::no_such_file_or_directory)});
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_EQ(f.list.projects.Count(), 3);

    f.messages.shown.clear();
    EXPECT_FALSE(f.Rename(2, "Final"));
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Project B: can't rename \"B.cue\": "
                                                         + Text(std::errc::no_such_file_or_directory)});
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_EQ(f.list.projects.Item(1)->Name, "B");
}

TEST(FaultMissingFile, ReportsNeedOnlyTheNames)
{
    Folder f;
    fs::remove(f / "C.cue");
    const auto before = Snapshot(f.root.path());

    EXPECT_FALSE(f.Report());
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Done.  CSV files are in folder " + f.root.str()
                                                         + ".\r\nWrote Backup Report.txt, Backups.csv, "
                                                           "BackupProjects.csv into "
                                                         + f.root.str() + "."});
    ExpectNothingLost(before, f.root.path());
    EXPECT_EQ(ReadFile(f / "Backup Report.txt"), "ORVEX Project Backup Organizer\r\n"
                                                 "\r\nCD-A\r\n----\r\nA\r\n"
                                                 "\r\nCD-B\r\n----\r\nB\r\n"
                                                 "\r\nCD-C\r\n----\r\nC\r\n");
}

// Runs the test from here on as the user nobody, who may open only what
// others may read; root again at its end. Why it can't, in unavailable.
class AsNobody final {
public:
    AsNobody()
    {
        if (::geteuid() != 0 || ::seteuid(65534) != 0)
            unavailable = "cannot act as another user: not root";
    }
    ~AsNobody()
    {
        if (unavailable.empty() && ::seteuid(0) != 0)
            std::abort(); // every later test would run as nobody
    }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;
    std::string unavailable;
};

TEST(FaultUnreadableFile, CountsAndMovesATakeTheUserCannotRead)
{
    // Another user's take, which only its owner may read, in a folder the
    // user may write: it is there, its length counts in the plan, and the
    // sort moves it. Read one file at a time and with many under way (the
    // waves' heads then come through a ring as well).
    for (const int requests : {1, 32}) {
        TempDir root;
        fs::permissions(root.path(), fs::perms::all);
        WriteProject(root.path(), "Big", {{"Big 01.wav", 1000}, {"Big 02.wav", 7000000}});
        WriteProject(root.path(), "Small", {{"Small 01.wav", 6000000}});
        for (const auto& [file, size] :
             {std::pair{"Big 01.wav", 1000}, {"Big 02.wav", 7000000}, {"Small 01.wav", 6000000}})
            fs::resize_file(root.path() / file, static_cast<std::uintmax_t>(DeclaredSize(size)));
        fs::permissions(root.path() / "Big 02.wav", fs::perms::owner_read | fs::perms::owner_write);
        const auto before = Snapshot(root.path());
        FakeUi ui;
        orvoProjectList list(ui.services());
        list.requestsInFlight = requests;
        {
            AsNobody nobody;
            if (!nobody.unavailable.empty())
                GTEST_SKIP() << nobody.unavailable;
            EXPECT_TRUE(ReadFolderCommand(list, root.str(), true, true, *CustomMedium(16 << 20)).Failed());
            EXPECT_EQ(list.LastError, "Errors for this folder: \r\n\r\n"
                                      "  Project: Big\r\n"
                                      "     Can't read \"Big 02.wav\": "
                                          + Text(std::errc::permission_denied));
            const std::vector<GridRow> rows = list.FillGrid();
            ASSERT_EQ(rows.size(), 2U);
            EXPECT_EQ(rows[0][4], "A");
            EXPECT_EQ(rows[1][4], "B"); // with Big, the set would need more than the disk
            EXPECT_FALSE(SortCommand(list, root.str(), ui.commands()).Failed());
        }
        ExpectNothingLost(before, root.path());
        EXPECT_TRUE(fs::exists(root.path() / "DISC-A" / "Big 02.wav")) << requests << " in flight";
    }
}

TEST(FaultAppearingFile, SortRefusesToReplaceAFileThatAppearedInTheSetFolder)
{
    Folder f;
    const auto before = Snapshot(f.root.path());
    f.progress.reached = [&](const std::string& project) {
        if (project == "B")
            WriteFile(f / "CD-B/B take.wav", "someone else's take");
    };

    EXPECT_TRUE(f.Sort());
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Project B: can't move \"B take.wav\" to \"CD-B\": "
                                                         + Text(std::errc::file_exists)});
    ExpectNothingLost(before, f.root.path());
    EXPECT_EQ(ReadFile(f / "CD-B/B take.wav"), "someone else's take");
    ExpectProjectIn(f, "A", "CD-A/");
    ExpectProjectIn(f, "B");
    ExpectProjectIn(f, "C");
}

TEST(FaultAppearingFile, MoveRefusesToReplaceAFileThatAppearedAfterTheConflictTest)
{
    Folder f;
    const fs::path dest = f / "Elsewhere";
    fs::create_directory(dest);
    const auto before = Snapshot(f.root.path());
    f.progress.reached = [&](const std::string& project) {
        if (project == "C")
            WriteFile(dest / "C room.wav", "someone else's room");
    };
    f.grid.Select(2);
    f.grid.Select(3);

    EXPECT_TRUE(f.Move(dest.string() + "/")); // the conflict test found nothing; the move failed
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Project C: can't move \"C room.wav\" to \"Elsewhere\": "
                                                         + Text(std::errc::file_exists)});
    ExpectNothingLost(before, f.root.path());
    EXPECT_EQ(ReadFile(dest / "C room.wav"), "someone else's room");
    ExpectProjectIn(f, "B", "Elsewhere/");
    ExpectProjectIn(f, "C");
    EXPECT_EQ(f.list.projects.Count(), 2);
}

TEST(FaultAppearingFile, RenameRefusesANameThatAppearedWhileTheUserTypedIt)
{
    Folder f;
    f.whileTyping = [&] { WriteFile(f / "Final.bak", "someone else's project"); };
    const auto before = Snapshot(f.root.path());

    EXPECT_FALSE(f.Rename(1, "Final"));
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Project name Final already exists.  Can't rename."});
    ExpectNothingLost(before, f.root.path());
    ExpectProjectIn(f, "A");
    EXPECT_EQ(ReadFile(f / "Final.bak"), "someone else's project");
}

TEST(FaultDestinationFolder, SortStopsWhenASetFolderIsAFile)
{
    Folder f;
    WriteFile(f / "CD-B", "a file where a folder should go");
    const auto before = Snapshot(f.root.path());

    EXPECT_TRUE(f.Sort());
    EXPECT_EQ(f.messages.shown,
              std::vector<std::string>{"Nothing was sorted.\r\n\"CD-B\" has the name of a backup folder the sort "
                                       "makes. Rename or move it to sort the folder."});
    EXPECT_EQ(Snapshot(f.root.path()), before); // nothing made, nothing moved
}

TEST(FaultDestinationFolder, MoveIntoAFileOrAMissingFolderLeavesEverythingInPlace)
{
    Folder f;
    WriteFile(f / "Notes", "a file, not a folder");
    const auto before = Snapshot(f.root.path());
    f.grid.Select(1);

    EXPECT_TRUE(f.Move((f / "Notes").string() + "/"));
    f.grid.Select(1); // the move refilled the grid
    EXPECT_TRUE(f.Move((f / "Gone").string() + "/"));
    EXPECT_EQ(f.messages.shown,
              (std::vector<std::string>{
                  "Project A: can't move \"A.bak\" to \"Notes\": " + Text(std::errc::not_a_directory),
                  "Project A: can't move \"A.bak\" to \"Gone\": " + Text(std::errc::no_such_file_or_directory)}));
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_EQ(f.list.projects.Count(), 3);
}

TEST(FaultDestinationFolder, ReadOnlyRootFolderRefusesSortRenameAndReports)
{
    Folder f;
    const auto before = Snapshot(f.root.path());
    ReadOnlyFolder readOnly(f.root.path());
    if (!readOnly.unavailable.empty())
        GTEST_SKIP() << "cannot make a folder read-only here: " << readOnly.unavailable;

    EXPECT_TRUE(f.Sort());
    EXPECT_FALSE(f.Rename(1, "Final"));
    EXPECT_TRUE(f.Report());
    // The sort and the rename stop at their journal, before any file moves.
    const std::string journal =
        "Can't write the journal \"" + f.root.str() + ".kelvark-journal\": " + Text(readOnly.refusal);
    EXPECT_EQ(f.messages.shown, (std::vector<std::string>{journal, journal, FileError(readOnly.refusal),
                                                          "Could not write the log report."}));
    EXPECT_EQ(Snapshot(f.root.path()), before);
}

TEST(FaultDestinationFolder, ReportNamesTakenByFoldersAreLeftAlone)
{
    Folder f;
    fs::create_directory(f / "Backup Report.txt");
    WriteFile(f / "Backup Report.txt/kept.txt", "the user's");
    const auto before = Snapshot(f.root.path());

    EXPECT_TRUE(f.Report());
    EXPECT_EQ(f.messages.shown,
              (std::vector<std::string>{FileError(std::errc::is_a_directory), "Could not write the log report."}));
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_TRUE(f.Hidden().empty());

    fs::remove_all(f / "Backup Report.txt");
    fs::create_directory(f / "Backups.csv");
    f.messages.shown.clear();
    EXPECT_TRUE(f.Report());
    EXPECT_EQ(f.messages.shown, (std::vector<std::string>{FileError(std::errc::is_a_directory),
                                                          "Could not write the CSV file for import to TALVO DB."}));
    EXPECT_TRUE(f.Has("Backup Report.txt"));
    EXPECT_TRUE(fs::is_directory(f / "Backups.csv"));
    EXPECT_TRUE(f.Hidden().empty());
}

// A root folder on a small tmpfs of its own, to be filled up once the projects are read.
struct SmallDisk {
    TempDir base;
    fs::path root = base.path() / "root";
    std::optional<Mount> disk;

    SmallDisk()
    {
        fs::create_directory(root);
        disk.emplace(Mount::Tmpfs(root, 256 * 1024));
    }

    // Writes one file until the disk refuses more.
    void Fill() const
    {
        const int fd = ::open((root / ".filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {}
        ::close(fd);
    }
    void Free() const { fs::remove(root / ".filler"); }
};

TEST(FaultFullDisk, ReportsFailWholeAndKeepTheEarlierOnes)
{
    SmallDisk disk;
    if (!disk.disk->unavailable.empty())
        GTEST_SKIP() << "no small file system to fill: " << disk.disk->unavailable;
    Folder f(disk.root);
    ASSERT_FALSE(f.Report());
    const std::string earlier = ReadFile(f / "Backup Report.txt");
    f.list.projects.Item(2)->BackupNum = 0; // a changed plan: a report written now would differ
    const auto before = Snapshot(f.root.path());
    disk.Fill();

    f.messages.shown.clear();
    EXPECT_TRUE(f.Report());
    EXPECT_EQ(f.messages.shown,
              (std::vector<std::string>{FileError(std::errc::no_space_on_device), "Could not write the log report."}));
    disk.Free();
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_EQ(ReadFile(f / "Backup Report.txt"), earlier);
    EXPECT_TRUE(f.Hidden().empty());
}

// A journal that takes no more lines stops the operation after the unit it
// could not record done; a unit whose stamps it could not record does not run.
TEST(FaultFullDisk, NoStepRunsPastAJournalLineThatCouldNotBeWritten)
{
    const std::string tooLarge = JournalFailure(std::make_error_code(std::errc::file_too_large));
    Folder f;
    const auto before = Snapshot(f.root.path());
    std::optional<FileSizeLimit> full;
    const auto fillAt = [&](const std::string& name) {
        f.progress.reached = [&, name](const std::string& project) {
            if (project == name)
                full.emplace(fs::file_size(f / Journal::FileName));
        };
    };
    fillAt("B");

    EXPECT_TRUE(f.Sort());
    full.reset();
    EXPECT_EQ(f.messages.shown, std::vector<std::string>{"Stopped: " + tooLarge + "."});
    ExpectProjectIn(f, "A", "CD-A/");
    ExpectProjectIn(f, "B", "CD-B/");
    ExpectProjectIn(f, "C");
    ExpectNothingLost(before, f.root.path());
    Journal journal;
    EXPECT_EQ(journal.LookAndTidy(f.root.str()), Journal::State::Stopped);
    // B moved though its record did not reach the journal: the count says so.
    EXPECT_EQ(journal.Describe(), "The backup sort of " + f.root.str() + " stopped after 2 of 3 projects.");

    std::error_code error;
    if (!fs::is_directory("/dev/shm", error))
        GTEST_SKIP() << "no /dev/shm to hold a destination on another file system";
    TempDir dest("/dev/shm");
    Folder g;
    if (SameFileSystem(g.root.path(), dest.path()))
        GTEST_SKIP() << "/dev/shm and " << g.root.path() << " are one file system";
    const auto moved = Snapshot(g.root.path());
    g.progress.reached = [&](const std::string& project) {
        if (project == "C")
            full.emplace(fs::file_size(g / Journal::FileName));
    };
    for (int row = 1; row <= 3; ++row)
        g.grid.Select(row);

    EXPECT_TRUE(g.Move(dest.str()));
    full.reset();
    EXPECT_EQ(g.messages.shown,
              std::vector<std::string>{"Project C: can't copy \"C.bak\" to \"" + dest.str() + "\": " + tooLarge});
    ExpectProjectIn(g, "C");
    EXPECT_FALSE(fs::exists(dest.path() / "C.bak"));
    for (const auto& [file, content] : Snapshot(dest.path()))
        EXPECT_EQ(moved.at(file), content) << file;
    EXPECT_EQ(Snapshot(dest.path()).size() + Snapshot(g.root.path()).size(), moved.size());
    EXPECT_EQ(journal.LookAndTidy(g.root.str()), Journal::State::None); // the move ended with no project split
}

TEST(FaultFullDisk, SortStopsAtItsJournalBeforeMovingAnything)
{
    SmallDisk disk;
    if (!disk.disk->unavailable.empty())
        GTEST_SKIP() << "no small file system to fill: " << disk.disk->unavailable;
    Folder f(disk.root);
    const auto before = Snapshot(f.root.path());
    disk.Fill();

    EXPECT_TRUE(f.Sort());
    EXPECT_EQ(f.messages.shown,
              std::vector<std::string>{"Can't write the journal \"" + f.root.str()
                                       + ".kelvark-journal\": " + Text(std::errc::no_space_on_device)});
    disk.Free();
    EXPECT_EQ(Snapshot(f.root.path()), before);
    EXPECT_FALSE(f.Has("CD-A"));
    EXPECT_TRUE(f.Hidden().empty());
}

} // namespace
