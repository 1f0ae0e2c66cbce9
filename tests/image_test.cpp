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

#include <cstdio>
#include <cstdlib>
#include <functional>

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
    ASSERT_FALSE(WriteChecksums(set.string() + "/", false, never).Failed());
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
        ASSERT_EQ(result.Lines().size(), sets.size());
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
         "CD-A does not fit: its image needs up to 341,"},
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
    WriteFile(root.path() / "DVD-A" / ManifestName, "");
    WriteFile(root.path() / "DVD-A" / "Take.wav", "");
    fs::resize_file(root.path() / "DVD-A" / "Take.wav", 2'000'000'000);
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
