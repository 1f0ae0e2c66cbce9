// Disc images of the set folders, written by xorriso and read back with it:
// each image holds exactly its folder's files with their MD5s and fits its
// disc; a set that can't be written refuses the whole run before any image
// is written; a stop leaves nothing behind.

#include "ChildProcess.h"
#include "Commands.h"
#include "DiscCheck.h"
#include "DiscImage.h"
#include "Fixtures.h"
#include "Manifest.h"
#include "Xorriso.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Runs a program of the build, its output in folder; true when it exited 0.
bool RunProgram(const std::string& program, const std::vector<std::string>& args, const fs::path& folder)
{
    ChildProcess child(program, args, folder);
    const int status = child.Wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The files of the image's root, as xorriso lists them ("'/name'").
std::vector<std::string> ImageFiles(const fs::path& image)
{
    const NeverStopped never;
    const XorrisoRun run = RunXorriso({"-indev", image.string(), "-find", "/", "-type", "f"}, never);
    EXPECT_TRUE(run.Succeeded()) << run.Problem();
    std::vector<std::string> names;
    for (const std::string& line : run.results)
        names.push_back(line.size() > 3 ? line.substr(2, line.size() - 3) : line);
    std::sort(names.begin(), names.end());
    return names;
}

// A CD set folder of files named by number, files long names of shortest
// to longest bytes, with its SHA256SUMS.
void WriteLongNames(const fs::path& root, int files, std::size_t shortest, std::size_t longest)
{
    const fs::path set = root / "CD-A";
    fs::create_directory(set);
    static const std::string filler = "-vocal-take-room-mix";
    for (int file = 0; file < files; ++file) {
        char start[16];
        std::snprintf(start, sizeof start, "f%05d", file);
        std::string name = start;
        const std::size_t length = shortest + static_cast<std::size_t>(file) * 37 % (longest - shortest + 1);
        while (name.size() + 4 < length)
            name += filler[name.size() % filler.size()];
        WriteFile(set / (name + ".wav"), std::string(start));
    }
    RecordingProgress never;
    ASSERT_FALSE(WriteChecksums(set.string() + "/", HeldSums::Refuse, never).Failed());
}

TEST(image, EachSetBecomesAnImageOfExactlyItsFilesThatFitsItsDisc)
{
    struct Row {
        std::string what;
        std::function<void(const fs::path& root)> make;
    };
    const std::vector<Row> rows = {
        {"the sample, sorted for DVDs",
         [](const fs::path& root) {
             TempDir out;
             ASSERT_TRUE(RunProgram(KELVARK_SAMPLE_PATH, {root.string()}, out.path()));
             ASSERT_TRUE(
                 RunProgram(KELVARK_CLI_PATH, {"sort", "--yes", "--skip-unsortable", root.string()}, out.path()))
                 << ReadFile(out.path() / "err");
             ASSERT_TRUE(RunProgram(KELVARK_CLI_PATH, {"checksum", root.string()}, out.path()))
                 << ReadFile(out.path() / "err");
         }},
        {"2,000 files with names of 100 to 250 bytes",
         [](const fs::path& root) { WriteLongNames(root, 2000, 100, 250); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir root, into;
        row.make(root.path());
        std::error_code error;
        const std::vector<std::string> sets = SetFolders(root.str(), SetPrefixes(), error);
        ASSERT_FALSE(sets.empty());
        FakeUi ui;
        const Result result = ImageCommand(root.str(), into.str(), {}, ui.commands());
        ASSERT_FALSE(result.Failed()) << result.Message();
        // Each image is named, then its read-back's lines.
        const auto wrote = std::count_if(result.Lines().begin(), result.Lines().end(),
                                         [](const std::string& line) { return line.starts_with("Wrote "); });
        ASSERT_EQ(static_cast<std::size_t>(wrote), sets.size()) << result.Message();
        // A set with a label is named by it, one without by its image.
        for (const std::string& set : sets)
            EXPECT_TRUE(result.Message().find(set + ": ") != std::string::npos
                        || result.Message().find(set + ".iso: ") != std::string::npos)
                << result.Message();
        for (const std::string& set : sets) {
            const fs::path image = into.path() / (set + ".iso");
            ASSERT_TRUE(fs::is_regular_file(image)) << set;
            const Medium& medium = set.starts_with("CD") ? CDMedium() : DVDMedium();
            EXPECT_LE(static_cast<std::int64_t>(fs::file_size(image)), medium.sectors * SectorSize) << set;
            EXPECT_EQ(ImageFiles(image), EntryNames(root.path() / set)) << set;
            const XorrisoRun check =
                RunXorriso({"-md5", "on", "-indev", image.string(), "-check_md5_r", "SORRY", "/"}, NeverStopped());
            EXPECT_TRUE(check.Succeeded()) << set << ": " << check.Problem();
        }
        EXPECT_EQ(EntryNames(into.path()).size(), sets.size());
    }
}

TEST(image, ASetThatCantBeWrittenRefusesTheRunBeforeAnyImage)
{
    struct Row {
        std::string what;
        std::function<void(const fs::path& root)> make;
        std::vector<std::string> sets;
        std::string says;
    };
    // A set folder of files of the given sizes (sparse) and an empty SHA256SUMS.
    const auto set = [](const fs::path& root, const std::string& name, std::vector<std::uintmax_t> sizes) {
        fs::create_directory(root / name);
        WriteFile(root / name / ManifestName, "");
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            WriteFile(root / name / ("Take " + std::to_string(i) + ".wav"), "");
            fs::resize_file(root / name / ("Take " + std::to_string(i) + ".wav"), sizes[i]);
        }
    };
    const std::vector<Row> rows = {
        {"too large",
         [&](const fs::path& root) {
             set(root, "CD-A", {400'000'000, 300'000'000});
         },
         {},
         "CD-A does not fit: its disc needs up to 342,"},
        {"image there",
         [&](const fs::path& root) {
             set(root, "DVD-A", {1000});
             set(root, "DVD-B", {1000});
             WriteFile(root / "DVD-B.iso", "mine");
         },
         {},
         "DVD-B.iso is there already: an image is never replaced."},
        {"no checksums",
         [&](const fs::path& root) {
             set(root, "DVD-A", {1000});
             fs::remove(root / "DVD-A" / ManifestName);
         },
         {},
         "DVD-A holds no SHA256SUMS: write its checksums first"},
        {"custom size unknown",
         [&](const fs::path& root) { set(root, "DISC-A", {1000}); },
         {},
         "DISC-A holds no Kelvark Disc.txt: the size of its disk is unknown."},
        {"a folder inside",
         [&](const fs::path& root) {
             set(root, "DVD-A", {1000});
             fs::create_directory(root / "DVD-A" / "more");
         },
         {},
         "DVD-A holds \"more\", which a disc of the set can't hold: it is a folder."},
        {"no such set",
         [&](const fs::path& root) { set(root, "DVD-A", {1000}); },
         {"DVD-A", "DVD-C"},
         "No set folder DVD-C in "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir root;
        row.make(root.path());
        const std::vector<std::string> before = EntryNames(root.path());
        FakeUi ui;
        const Result result = ImageCommand(root.str(), root.str(), row.sets, ui.commands());
        EXPECT_EQ(result.Ended(), Result::Status::Refused);
        EXPECT_NE(result.Message().find(row.says), std::string::npos) << result.Message();
        EXPECT_EQ(EntryNames(root.path()), before);
    }
}

// Two DVD set folders of small takes with their checksums and labels-free,
// DVD-A and DVD-B.
void WriteTwoSets(const fs::path& root)
{
    for (const std::string set : {"DVD-A", "DVD-B"}) {
        fs::create_directory(root / set);
        WriteFile(root / set / "Take 1.wav", set + " first take");
        WriteFile(root / set / "Take 2.wav", set + " second take");
        RecordingProgress never;
        ASSERT_FALSE(WriteChecksums((root / set).string() + "/", HeldSums::Refuse, never).Failed());
    }
}

// An image is written only of a set that matches its SHA256SUMS: what the
// folder shows (names, and the files changed since the checksums) refuses
// every image before the first is written; what only reading the bytes
// shows is found by the read-back of each image, before it takes its name.
TEST(image, ASetThatNoLongerMatchesItsChecksumsIsNeverWritten)
{
    struct Row {
        std::string what;
        std::function<void(const fs::path& set)> change;
        Result::Status ends;
        std::string says;
    };
    const auto hideChange = [](const fs::path& set) {
        // As if the checksums were written after the change: only the bytes tell.
        fs::last_write_time(set / ManifestName, fs::file_time_type::clock::now() + std::chrono::hours(1));
    };
    const std::vector<Row> rows = {
        {"a file added", [](const fs::path& set) { WriteFile(set / "notes.txt", "mine"); }, Result::Status::Refused,
         "DVD-B does not match its SHA256SUMS: not in SHA256SUMS \"notes.txt\"."},
        {"a temporary a killed run left", [](const fs::path& set) { WriteFile(set / ".kelvark-999999-0.tmp", "x"); },
         Result::Status::Refused, "DVD-B does not match its SHA256SUMS: not in SHA256SUMS \".kelvark-999999-0.tmp\"."},
        {"a file gone", [](const fs::path& set) { fs::remove(set / "Take 2.wav"); }, Result::Status::Refused,
         "DVD-B does not match its SHA256SUMS: missing \"Take 2.wav\"."},
        {"a file edited, its time kept",
         [](const fs::path& set) {
             const auto time = fs::last_write_time(set / "Take 1.wav");
             WriteFile(set / "Take 1.wav", "DVD-B first tak3");
             fs::last_write_time(set / "Take 1.wav", time);
         },
         Result::Status::Refused,
         "DVD-B does not match its SHA256SUMS: changed since its checksums were written \"Take 1.wav\"."},
        {"a file edited, only its bytes tell",
         [&](const fs::path& set) {
             WriteFile(set / "Take 1.wav", "DVD-B first tak3");
             hideChange(set);
         },
         Result::Status::Failed, "its read-back found it no whole copy of DVD-B."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir root, into;
        WriteTwoSets(root.path());
        row.change(root.path() / "DVD-B");
        FakeUi ui;
        const Result result = ImageCommand(root.str(), into.str(), {}, ui.commands());
        EXPECT_EQ(result.Ended(), row.ends) << result.Message();
        EXPECT_NE(result.Message().find(row.says), std::string::npos) << result.Message();
        // Refused: no image at all; failed: DVD-A's, read back whole, and no part of DVD-B's.
        const std::vector<std::string> left = EntryNames(into.path());
        EXPECT_EQ(left, row.ends == Result::Status::Refused ? std::vector<std::string>{}
                                                            : std::vector<std::string>{"DVD-A.iso"});
        EXPECT_EQ(result.Message().find("Wrote " + into.str() + "DVD-B.iso"), std::string::npos);
    }
}

// An image xorriso did not write whole is never said written: a program that
// exits 0 having written nothing, or less than it measured, fails; a failed
// write gives xorriso's own words.
TEST(image, AnImageXorrisoDidNotWriteWholeFails)
{
    TempDir root, into, bin;
    WriteTwoSets(root.path());
    // Measures 100 sectors, then does what the row says to the image it is given.
    const struct {
        std::string what;
        std::string writes;
        std::string says;
    } rows[] = {
        {"nothing, exit 0", "exit 0", "xorriso wrote 0 sectors, fewer than the 100 it measured."},
        {"ten sectors, exit 0", "head -c 20480 /dev/zero > \"${out#stdio:}\"; exit 0",
         "xorriso wrote 10 sectors, fewer than the 100 it measured."},
        {"a mishap, exit 32",
         "echo \"I:1: libisofs: MISHAP : Size of file '/Take 1.wav' has changed\"; echo 'I:1: xorriso : NOTE : "
         "done'; exit 32",
         "libisofs: MISHAP : Size of file '/Take 1.wav' has changed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(bin.path() / "xorriso", "#!/bin/sh\ncase \"$*\" in *-version*) echo 'R:1: xorriso 1.5.6 : RockRidge'; "
                                          "exit 0;; *-print_size*) echo 'R:1: Image size   : "
                                          "100s'; exit 0;; esac\nwhile [ $# -gt 0 ]; do [ \"$1\" = -outdev ] && "
                                          "out=$2; shift; done\n"
                                              + row.writes + "\n");
        fs::permissions(bin.path() / "xorriso", fs::perms::owner_all);
        // The xorriso this process runs, found once: the same file each row.
        ::setenv("KELVARK_XORRISO", (bin.path() / "xorriso").c_str(), 1);
        FakeUi ui;
        const Result result = ImageCommand(root.str(), into.str(), {"DVD-A"}, ui.commands());
        EXPECT_EQ(result.Ended(), Result::Status::Failed) << result.Message();
        EXPECT_EQ(result.Message(), "Can't write " + into.str() + "DVD-A.iso: " + row.says);
        EXPECT_TRUE(EntryNames(into.path()).empty());
    }
}

// The next image or checksum removes the temporaries that killed runs left
// in the folders it writes: those whose lock is free, even when the number
// in their name is now another process's; one being written stays.
TEST(image, TheNextRunRemovesTheTemporariesOfKilledRuns)
{
    struct Row {
        std::string what;
        std::string folder; // where it writes, in the root
        std::function<Result(const std::string& root, CommandUi ui)> run;
    };
    const std::vector<Row> rows = {
        {"image", "images/",
         [](const std::string& root, CommandUi ui) { return ImageCommand(root, root + "images/", {"DVD-A"}, ui); }},
        {"checksum, declined", "DVD-A/",
         [](const std::string& root, CommandUi ui) { return ChecksumCommand(root, false, ui); }},
    };
    const std::string reused = std::to_string(::getppid()); // a process that is alive
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir root;
        WriteTwoSets(root.path());
        const fs::path folder = root.path() / row.folder;
        fs::create_directories(folder);
        const fs::path killed = folder / (".kelvark-" + reused + "-7.tmp");
        const fs::path writing = folder / (".kelvark-" + reused + "-8.tmp");
        WriteFile(killed, "part of a run killed");
        WriteFile(writing, "part of a run writing");
        const FileDescriptor held(::open(writing.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(held.Get(), LOCK_EX | LOCK_NB), 0);
        FakeUi ui;
        EXPECT_NE(row.run(root.str(), ui.commands()).Ended(), Result::Status::Failed);
        EXPECT_FALSE(fs::exists(killed));
        EXPECT_TRUE(fs::exists(writing));
    }
}

// Runs a command of another process once, the first time the writing of DVD-A shows its progress.
struct RunsWhileWriting final : Progress {
    std::function<void()> run;
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string& text) override
    {
        if (run && text.find("DVD-A") != std::string::npos) {
            run();
            run = {};
        }
    }
};

// The writing of an image, of a disc and the window's write of a disc hold
// the root's lock for their whole run: a sort of another process is refused.
TEST(image, AnotherProcessCantSortWhileADiscIsWritten)
{
    struct Row {
        std::string what;
        std::function<Result(const std::string& root, const std::string& into, CommandUi ui)> write;
    };
    const std::vector<Row> rows = {
        {"image", [](const std::string& root, const std::string& into,
                     CommandUi ui) { return ImageCommand(root, into, {"DVD-A"}, ui); }},
        {"burn onto a file taken as a drive",
         [](const std::string& root, const std::string& into, CommandUi ui) {
             VerifyResult checks;
             return BurnCommand(root, {"DVD-A"}, "stdio:" + into + "disc", ui, checks);
         }},
        {"the window's write of an image",
         [](const std::string& root, const std::string& into, CommandUi ui) {
             VerifyResult check;
             return WriteDiscCommand(root, "DVD-A", {into, {}}, ui, check);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir root, into, out;
        WriteTwoSets(root.path());
        WriteProject(root.path(), "Alpha", {{"alpha.wav", 1000}});
        bool refused = false;
        RunsWhileWriting progress;
        progress.run = [&] {
            ChildProcess sort(KELVARK_CLI_PATH, {"sort", "--yes", root.str()}, out.path());
            const int status = sort.Wait();
            refused = WIFEXITED(status) && WEXITSTATUS(status) != 0
                      && ReadFile(out.path() / "err").find("Kelvark is already writing discs of this folder")
                             != std::string::npos;
            EXPECT_TRUE(refused) << ReadFile(out.path() / "out") << ReadFile(out.path() / "err");
        };
        RecordingMessages messages;
        ScriptedQuestion question;
        const Result result = row.write(root.str(), into.str(), {messages, progress, question});
        EXPECT_FALSE(result.Failed()) << result.Message();
        EXPECT_TRUE(refused);
        EXPECT_TRUE(fs::exists(root.path() / "Alpha.cue"));
    }
}

// Stops at the first progress of a write, as the window's Cancel would.
struct StopWhileWriting final : Progress {
    void Hide() override {}
    void Startup(int) override { ClearStop(); }
    void Show(int, const std::string& text) override
    {
        if (text.find('%') != std::string::npos)
            RequestStop();
    }
};

TEST(image, AStopWhileWritingLeavesNoPartOfTheImage)
{
    TempDir root;
    fs::create_directory(root.path() / "DVD-A");
    WriteFile(root.path() / "DVD-A" / "Take.wav", "");
    fs::resize_file(root.path() / "DVD-A" / "Take.wav", 2'000'000'000);
    // Its checksum, not read: the stop comes before the read-back.
    WriteFile(root.path() / "DVD-A" / ManifestName, std::string(64, '0') + "  Take.wav\n");
    fs::last_write_time(root.path() / "DVD-A" / ManifestName, fs::file_time_type::clock::now() + std::chrono::hours(1));
    const std::vector<std::string> before = EntryNames(root.path());
    RecordingMessages messages;
    StopWhileWriting progress;
    ScriptedQuestion question;
    const Result result = ImageCommand(root.str(), root.str(), {}, {messages, progress, question});
    EXPECT_EQ(result.Ended(), Result::Status::Stopped) << result.Message();
    EXPECT_EQ(result.Message(), "Stopped while " + root.str() + "DVD-A.iso was written: the part written was removed.");
    EXPECT_EQ(EntryNames(root.path()), before);
}

} // namespace
