// Checksums on the set folders and their verify: the SHA256SUMS format, what
// `kelvark-cli checksum` writes (checked by sha256sum itself) and what
// `kelvark-cli verify` says of each fault, with its exit status.

#include "ChildProcess.h"
#include "DiscCheck.h"
#include "Fixtures.h"
#include "Manifest.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>

using namespace kelvark;

namespace {

using namespace fixtures;

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

Output Run(const std::string& program, const std::vector<std::string>& args)
{
    TempDir capture;
    ChildProcess child(program, args, capture.path());
    const int status = child.Wait();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(capture.path() / "out"),
            ReadFile(capture.path() / "err")};
}

Output Cli(const std::vector<std::string>& args)
{
    return Run(KELVARK_CLI_PATH, args);
}

// sha256sum's own check of a set folder, run inside it.
Output Sha256Check(const fs::path& folder)
{
    return Run("/bin/sh", {"-c", "cd \"$1\" && sha256sum -c --quiet SHA256SUMS", "sh", folder.string()});
}

void FlipByte(const fs::path& file, std::size_t at)
{
    std::string bytes = ReadFile(file);
    bytes.at(at) ^= 0x01;
    WriteFile(file, bytes);
}

// A name with both characters that sha256sum escapes, an own file of Blue.
const std::string Odd = "Blue.take\\1\n2";

// The set folder DVD-A of a root folder:
//   Alder  Alder 1.wav, Alder 2.wav      Blue   Blue 1.wav, Shared.wav, and its own file Odd
//   Cedar  Shared.wav                    notes.txt, which no project claims
class checksum : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(set);
        WriteProject(set, "Alder", {{"Alder 1.wav"}, {"Alder 2.wav"}});
        WriteProject(set, "Blue", {{"Blue 1.wav"}, {"Shared.wav"}});
        WriteProject(set, "Cedar", {{"Shared.wav", 1000}});
        WriteFile(set / Odd, "an earlier take");
        WriteFile(set / "notes.txt", "session notes");
    }

    // Writes the checksums of root and lets sha256sum check each set folder.
    void WriteSums(const std::vector<fs::path>& sets)
    {
        const Output written = Cli({"checksum", root.str()});
        ASSERT_EQ(written.status, 0) << written.err;
        for (const auto& folder : sets) {
            const Output check = Sha256Check(folder);
            EXPECT_EQ(check.status, 0) << folder << ": " << check.out << check.err;
        }
    }

    TempDir root;
    fs::path set = root.path() / "DVD-A";
};

TEST(manifest, LinesAreReadAsSha256sumWritesThem)
{
    const std::string hash(64, 'a');
    const std::string upper(64, 'A');
    struct Row {
        std::string line;
        std::string name; // empty: the line is malformed
    };
    const std::vector<Row> rows = {
        {hash + "  take 1.wav", "take 1.wav"},
        {upper + " *take 1.wav", "take 1.wav"},
        {hash + "  a\\b", "a\\b"}, // a backslash stands for itself on a line that does not start with one
        {"\\" + hash + "  a\\\\b\\nc\\rd", "a\\b\nc\rd"},
        {"\\" + hash + "  a\\tb", ""}, // an escape sha256sum never writes
        {hash + " take 1.wav", ""}, // one space
        {hash.substr(1) + "  take 1.wav", ""},
        {"g" + hash.substr(1) + "  take 1.wav", ""},
        {hash + "  ", ""}, // no name
    };
    for (const auto& row : rows) {
        const Manifest manifest = ParseManifest(row.line + "\n# a remark\n");
        if (row.name.empty()) {
            EXPECT_TRUE(manifest.entries.empty()) << row.line;
            EXPECT_EQ(manifest.malformed, std::vector<std::string>{"Line 1 of SHA256SUMS is not a checksum line."});
        } else {
            ASSERT_EQ(manifest.entries.size(), 1u) << row.line;
            EXPECT_EQ(manifest.entries[0].name, row.name);
            EXPECT_EQ(DigestHex(manifest.entries[0].digest), hash);
            EXPECT_TRUE(manifest.malformed.empty()) << row.line;
            // Written back, the line reads the same.
            EXPECT_EQ(ParseManifest(ManifestLine(manifest.entries[0])).entries[0].name, row.name);
        }
    }
    const Manifest twice = ParseManifest(hash + "  a\n" + hash + "  a\n");
    EXPECT_EQ(twice.entries.size(), 1u);
    EXPECT_EQ(twice.malformed, std::vector<std::string>{"Line 2 of SHA256SUMS lists \"a\" a second time."});
}

TEST_F(checksum, EachFaultIsNamedUnderItsProjectsWithItsExitStatus)
{
    const std::string intact = "DVD-A: Alder: intact\n"
                               "DVD-A: Blue: intact\n"
                               "DVD-A: Cedar: intact\n"
                               "DVD-A: not part of a project: intact\n";
    struct Row {
        std::string fault;
        std::function<void(const fs::path&)> apply;
        std::string out;
        int status;
    };
    const std::vector<Row> rows = {
        {"none", [](const fs::path&) {}, intact + "DVD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files\n", 0},
        {"flipped byte in one wave", [](const fs::path& s) { FlipByte(s / "Alder 2.wav", 100); },
         "DVD-A: Alder: changed \"Alder 2.wav\"\n"
         "DVD-A: Blue: intact\nDVD-A: Cedar: intact\nDVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 1 changed, 0 missing, 0 extra files\n",
         1},
        {"flipped byte in a wave two projects play", [](const fs::path& s) { FlipByte(s / "Shared.wav", 60); },
         "DVD-A: Alder: intact\nDVD-A: Blue: changed \"Shared.wav\"\nDVD-A: Cedar: changed \"Shared.wav\"\n"
         "DVD-A: not part of a project: intact\n"
         "DVD-A: 1 project intact, 2 changed, 0 missing, 0 extra files\n",
         1},
        {"truncated file", [](const fs::path& s) { fs::resize_file(s / "Blue 1.wav", 10); },
         "DVD-A: Alder: intact\nDVD-A: Blue: changed \"Blue 1.wav\"\nDVD-A: Cedar: intact\n"
         "DVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 1 changed, 0 missing, 0 extra files\n",
         1},
        {"deleted file", [](const fs::path& s) { fs::remove(s / "Alder 1.wav"); },
         "DVD-A: Alder: missing \"Alder 1.wav\"\n"
         "DVD-A: Blue: intact\nDVD-A: Cedar: intact\nDVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 0 changed, 1 missing, 0 extra files\n",
         1},
        {"deleted project file", [](const fs::path& s) { fs::remove(s / "Blue.cue"); },
         "DVD-A: Alder: intact\nDVD-A: Blue: missing \"Blue.cue\"\nDVD-A: Cedar: intact\n"
         "DVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 0 changed, 1 missing, 0 extra files\n",
         1},
        {"flipped byte in a file of no project", [](const fs::path& s) { FlipByte(s / "notes.txt", 0); },
         "DVD-A: Alder: intact\nDVD-A: Blue: intact\nDVD-A: Cedar: intact\n"
         "DVD-A: not part of a project: changed \"notes.txt\"\n"
         "DVD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files, 1 file of no project not intact\n",
         1},
        {"extra file", [](const fs::path& s) { WriteFile(s / "Alder.bak", "a later save"); },
         intact
             + "DVD-A: extra file \"Alder.bak\"\n"
               "DVD-A: 3 projects intact, 0 changed, 0 missing, 1 extra file\n",
         1},
        // A folder where a file was: unreadable even for root, whom no permission stops.
        {"unreadable file",
         [](const fs::path& s) {
             fs::remove(s / "Blue 1.wav");
             fs::create_directory(s / "Blue 1.wav");
         },
         "DVD-A: Alder: intact\nDVD-A: Blue: unreadable \"Blue 1.wav\" (it is a folder)\nDVD-A: Cedar: intact\n"
         "DVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 0 changed, 0 missing, 1 unreadable, 0 extra files\n",
         1},
        {"renamed file", [](const fs::path& s) { fs::rename(s / "Alder 1.wav", s / "Alder 9.wav"); },
         "DVD-A: Alder: missing \"Alder 1.wav\"\n"
         "DVD-A: Blue: intact\nDVD-A: Cedar: intact\nDVD-A: not part of a project: intact\n"
         "DVD-A: extra file \"Alder 9.wav\"\n"
         "DVD-A: 2 projects intact, 0 changed, 1 missing, 1 extra file\n",
         1},
        {"malformed line",
         [](const fs::path& s) {
             std::string sums = ReadFile(s / "SHA256SUMS");
             const auto line = sums.find("  notes.txt");
             sums.replace(line - 64, 64, "not a checksum");
             WriteFile(s / "SHA256SUMS", sums);
         },
         "DVD-A: Alder: intact\nDVD-A: Blue: intact\nDVD-A: Cedar: intact\n"
         "DVD-A: extra file \"notes.txt\"\nDVD-A: Line 8 of SHA256SUMS is not a checksum line.\n"
         "DVD-A: 3 projects intact, 0 changed, 0 missing, 1 extra file, 1 malformed line\n",
         1},
        {"changed file whose name holds \\ and a line feed", [](const fs::path& s) { FlipByte(s / Odd, 0); },
         "DVD-A: Alder: intact\nDVD-A: Blue: changed \"Blue.take\\1\\n2\"\nDVD-A: Cedar: intact\n"
         "DVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 1 changed, 0 missing, 0 extra files\n",
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        fs::remove(set / "SHA256SUMS");
        const auto before = Snapshot(set);
        WriteSums({set});
        row.apply(set);
        const Output verified = Cli({"verify", set.string()});
        EXPECT_EQ(verified.out, row.out);
        EXPECT_EQ(verified.status, row.status) << verified.err;
        // Every fault is taken back for the next row.
        fs::remove_all(set);
        fs::create_directory(set);
        for (const auto& [name, bytes] : before)
            WriteFile(set / name, bytes);
    }
}

TEST_F(checksum, RootFolderMeansEachSetFolderAndAFolderWithoutSumsIsRefused)
{
    const fs::path second = root.path() / "DVD-B";
    fs::create_directory(second);
    WriteProject(second, "Dune", {{"Dune 1.wav"}});
    WriteSums({set, second});
    const Output both = Cli({"verify", root.str()});
    EXPECT_EQ(both.status, 0);
    EXPECT_NE(both.out.find("DVD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files\n"
                            "DVD-B: 1 project intact, 0 changed, 0 missing, 0 extra files\n"),
              std::string::npos)
        << both.out;

    // A set folder holding one is refused unless it may be replaced.
    WriteFile(second / "Dune 1.wav", "recorded again");
    const Output refused = Cli({"checksum", root.str()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "DVD-A, DVD-B hold a SHA256SUMS already. Give --replace to write new ones.\n");
    EXPECT_EQ(Sha256Check(second).status, 1);
    EXPECT_EQ(Cli({"checksum", "--replace", root.str()}).status, 0);
    EXPECT_EQ(Sha256Check(second).status, 0);

    fs::remove(set / "SHA256SUMS");
    const Output none = Cli({"verify", set.string()});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err,
              set.string() + "/ holds no SHA256SUMS, nor does any backup set folder (CD-A, DVD-A, BD-A, …) in it.\n");
    EXPECT_EQ(none.out, "");
}

TEST_F(checksum, ReadingTheFilesLeavesTheirAccessTimesAsTheyWere)
{
    AgeAccessTimes(set);
    RecordingProgress never;
    ASSERT_FALSE(WriteChecksums(root.str(), false, never).failed);
    for (const auto& entry : fs::directory_iterator(set))
        EXPECT_TRUE(entry.path().filename() == "SHA256SUMS" || AccessTime(entry.path()) == OldAccess) << entry.path();
}

TEST_F(checksum, StopSaysWhatWasChecked)
{
    RecordingProgress never;
    ASSERT_FALSE(WriteChecksums(root.str(), false, never).failed);
    EXPECT_EQ(Sha256Check(set).status, 0);
    // The scan of the projects asks first, then the reading: stopped at its first question.
    for (const int at : {0, 3}) {
        RecordingProgress progress;
        progress.cancelAtCall = at;
        const VerifyResult result = Verify({set.string()}, progress);
        EXPECT_TRUE(result.stopped);
        EXPECT_EQ(result.ExitStatus(), 1);
        EXPECT_EQ(StopSummary(result), "Stopped: 0 of 9 files checked.");
    }
}

TEST(checksumOffer, SaysTheSetFoldersTheAmountAndTheMinutesRoundedUp)
{
    const struct {
        std::size_t folders;
        std::int64_t bytes;
        const char* offer;
    } cases[] = {
        {1, 640000000, "Write checksums into the 1 set folder now? Reading 640 MB takes less than a minute."},
        {2, 17999999999, "Write checksums into the 2 set folders now? Reading 18.0 GB takes less than a minute."},
        {3, 18000000000, "Write checksums into the 3 set folders now? Reading 18.0 GB takes about 1 minute."},
        {6, 27400000000, "Write checksums into the 6 set folders now? Reading 27.4 GB takes about 2 minutes."},
    };
    for (const auto& c : cases) {
        ChecksumPlan plan;
        plan.folders.assign(c.folders, "/music/DVD-A/");
        plan.bytes = c.bytes;
        EXPECT_EQ(ChecksumOffer(plan), c.offer);
    }
}

} // namespace
