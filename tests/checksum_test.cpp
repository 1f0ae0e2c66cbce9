// Checksums on the set folders and their verify: the SHA256SUMS format, what
// `kelvark-cli checksum` writes (checked by sha256sum itself) and what
// `kelvark-cli verify` says of each fault, with its exit status.

#include "ChildProcess.h"
#include "Commands.h"
#include "DiscCheck.h"
#include "DiscLabel.h"
#include "Fixtures.h"
#include "Journal.h"
#include "Manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace kelvark;

namespace {

using namespace fixtures;

Output Cli(const std::vector<std::string>& args)
{
    return Run(KELVARK_CLI_PATH, args);
}

// sha256sum's own check of a set folder, run inside it; a line it can't read fails it.
Output Sha256Check(const fs::path& folder)
{
    return Run("/bin/sh", {"-c", "cd \"$1\" && sha256sum -c --strict --quiet SHA256SUMS", "sh", folder.string()});
}

// Takes the line of name out of the set folder's SHA256SUMS.
void Unlist(const fs::path& set, const std::string& name)
{
    std::string sums = ReadFile(set / "SHA256SUMS");
    const auto end = sums.find("  " + name + "\n") + name.size() + 3;
    sums.erase(end - name.size() - 3 - 64, name.size() + 3 + 64);
    WriteFile(set / "SHA256SUMS", sums);
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

// Hand-edited checksum files in a set folder of three files: every one that
// sha256sum -c --strict accepts (no line it can't read), verify accepts, and
// every one it refuses, verify refuses; a line naming a file outside the
// folder is malformed even where sha256sum reads that file and accepts it.
TEST_F(checksum, HandEditedSumsAreReadAsSha256sumReadsThem)
{
    fs::remove_all(set);
    fs::create_directory(set);
    const std::string odd = "Blue.take\\\\1\\n2"; // Odd's name escaped
    WriteFile(set / "a.wav", "take one");
    WriteFile(set / "b c.wav", "take two");
    WriteFile(set / Odd, "an earlier take");
    WriteFile(root.path() / "outside.txt", "not on the disc");
    const auto hash = [&](const fs::path& file) {
        const Output sum = fixtures::Run("/bin/sh", {"-c", "sha256sum <\"$1\"", "sh", file.string()});
        return sum.out.substr(0, 64);
    };
    const std::string a = hash(set / "a.wav"), b = hash(set / "b c.wav"), e = hash(set / Odd);
    const std::string outside = hash(root.path() / "outside.txt");
    std::string upper = a;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
    const std::string all = a + "  a.wav\n" + b + "  b c.wav\n\\" + e + "  " + odd + "\n";
    struct Row {
        std::string sums;
        int status; // of both
    };
    const std::vector<Row> rows = {
        {all, 0},
        {a + "  a.wav\r\n" + b + "  b c.wav\r\n\\" + e + "  " + odd + "\r\n", 0},
        {"# remarks and empty lines\n\n" + all + "\n\r\n\n", 0},
        {a + " *a.wav\n" + b + " *b c.wav\n\\" + e + " *" + odd, 0}, // binary, no last line feed
        {" \t" + upper + "  ./a.wav\n" + a + "  a.wav\n" + b + "\t b c.wav\n\\" + e + "  " + odd + "\n", 0},
        {"SHA256 (a.wav) = " + a + "\nSHA256(b c.wav)=" + b + "\n\\SHA256 (" + odd + ") = " + e + "\n", 0},
        {a + " a.wav\n" + b + " b c.wav\n\\" + e + " " + odd + "\n", 0}, // one blank, from the first line on
        {a + "  a.wav\n" + b + " b c.wav\n\\" + e + "  " + odd + "\n", 1}, // one blank after two
        {a + "  a.wav\r\r\n" + b + "  b c.wav\n\\" + e + "  " + odd + "\n", 1}, // "a.wav\r"
        {all + " \n", 1},
        {all + a + "  a.wav/\n", 1},
        {all + "\\" + a + "  a\\tb\n", 1},
        {b + "  a.wav\n" + b + "  b c.wav\n\\" + e + "  " + odd + "\n", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sums);
        WriteFile(set / "SHA256SUMS", row.sums);
        EXPECT_EQ(Sha256Check(set).status, row.status);
        EXPECT_EQ(Cli({"verify", set.string()}).status, row.status);
    }
    for (const std::string& name : {std::string("../outside.txt"), (root.path() / "outside.txt").string()}) {
        WriteFile(set / "SHA256SUMS", all + outside + "  " + name + "\n");
        EXPECT_EQ(Sha256Check(set).status, 0) << name;
        const Output verified = Cli({"verify", set.string()});
        EXPECT_EQ(verified.status, 1);
        EXPECT_EQ(verified.out,
                  "DVD-A: not part of a project: intact\nDVD-A: Line 4 of SHA256SUMS names a file outside "
                  "its folder: \""
                      + name
                      + "\".\nDVD-A: 0 projects intact, 0 changed, 0 missing, 0 extra files, 1 "
                        "malformed line\n");
    }
}

// What stands in for SHA256SUMS is read without waiting, following no link
// and holding no more than a line; the malformed lines are bounded.
TEST_F(checksum, SumsAreReadWithBoundedTimeMemoryAndOutput)
{
    const std::string sums = set.string() + "/SHA256SUMS";
    const std::string good = std::string(64, '0') + "  notes.txt\n";
    std::string malformed;
    for (int i = 0; i < 150; ++i)
        malformed += "not a checksum line\n";
    struct Row {
        std::string what;
        std::function<void()> make;
        int status;
        std::string err; // standard error
        std::string lines; // lines of standard output
    };
    const std::vector<Row> rows = {
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(sums.c_str(), 0644), 0); }, 2,
         "Can't read " + set.string() + "/SHA256SUMS: it is not a regular file\n", ""},
        {"a link", [&] { fs::create_symlink("/dev/zero", sums); }, 2,
         "Can't read " + set.string() + "/SHA256SUMS: it is a symbolic link\n", ""},
        {"a line of 1 MiB", [&] { WriteFile(sums, std::string(1 << 20, '0') + "\n" + good); }, 1, "",
         "DVD-A: Line 1 of SHA256SUMS is longer than 65,536 bytes.\n"},
        {"150 malformed lines", [&] { WriteFile(sums, malformed); }, 1, "",
         "DVD-A: Line 100 of SHA256SUMS is not a checksum line.\n"
         "DVD-A: … and 50 more malformed lines (see --all)\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(sums);
        row.make();
        const Output verified = Cli({"verify", set.string()});
        EXPECT_EQ(verified.status, row.status);
        EXPECT_EQ(verified.err, row.err);
        EXPECT_NE(verified.out.find(row.lines), std::string::npos) << verified.out;
    }
    const Output all = Cli({"verify", "--all", set.string()});
    EXPECT_NE(all.out.find("DVD-A: Line 150 of SHA256SUMS is not a checksum line.\nDVD-A: 0 projects"),
              std::string::npos);
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
        {"wave and its line deleted",
         [](const fs::path& s) {
             fs::remove(s / "Alder 2.wav");
             Unlist(s, "Alder 2.wav");
         },
         "DVD-A: Alder: missing \"Alder 2.wav\"\n"
         "DVD-A: Blue: intact\nDVD-A: Cedar: intact\nDVD-A: not part of a project: intact\n"
         "DVD-A: 2 projects intact, 0 changed, 1 missing, 0 extra files\n",
         1},
        {"line of a wave two projects play deleted", [](const fs::path& s) { Unlist(s, "Shared.wav"); },
         "DVD-A: Alder: intact\nDVD-A: Blue: not in SHA256SUMS \"Shared.wav\"\n"
         "DVD-A: Cedar: not in SHA256SUMS \"Shared.wav\"\nDVD-A: not part of a project: intact\n"
         "DVD-A: 1 project intact, 0 changed, 0 missing, 2 not in SHA256SUMS, 0 extra files\n",
         1},
        {"hidden file and folder added",
         [](const fs::path& s) {
             WriteFile(s / ".later", "");
             fs::create_directory(s / "more");
         },
         intact
             + "DVD-A: extra file \".later\"\nDVD-A: extra file \"more/\"\n"
               "DVD-A: 3 projects intact, 0 changed, 0 missing, 2 extra files\n",
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
    // A set a later sort made is written all the same; those holding one keep theirs.
    const fs::path third = root.path() / "DVD-C";
    fs::create_directory(third);
    WriteProject(third, "Ember", {{"Ember 1.wav"}});
    const std::string kept = ReadFile(second / ManifestName);
    const Output others = Cli({"checksum", root.str()});
    EXPECT_EQ(others.status, 0) << others.err;
    EXPECT_EQ(others.err, "DVD-C: SHA256SUMS lists 2 files.\n"
                          "DVD-A, DVD-B keep their SHA256SUMS. Give --replace to write new ones.\n");
    EXPECT_EQ(Sha256Check(third).status, 0);
    EXPECT_EQ(ReadFile(second / ManifestName), kept);
    EXPECT_EQ(Cli({"checksum", "--replace", root.str()}).status, 0);
    EXPECT_EQ(Sha256Check(second).status, 0);
    fs::remove_all(third);

    // The root's own SHA256SUMS is checked besides its set folders, which are not its extra files.
    WriteFile(root.path() / "Backup Report.txt", "DVD-A: Alder, Blue, Cedar");
    ASSERT_EQ(
        fixtures::Run("/bin/sh", {"-c", "cd \"$1\" && sha256sum 'Backup Report.txt' >SHA256SUMS", "sh", root.str()})
            .status,
        0);
    FlipByte(set / "Alder 1.wav", 100);
    const Output withRoot = Cli({"verify", root.str()});
    EXPECT_EQ(withRoot.status, 1);
    const std::string rootName = root.path().filename().string();
    EXPECT_EQ(withRoot.out.substr(0, withRoot.out.find("DVD-A: Blue")),
              rootName + ": not part of a project: intact\nDVD-A: Alder: changed \"Alder 1.wav\"\n");
    EXPECT_NE(withRoot.out.find(rootName + ": 0 projects intact, 0 changed, 0 missing, 0 extra files\n"),
              std::string::npos)
        << withRoot.out;
    fs::remove(root.path() / "SHA256SUMS");

    fs::remove(set / "SHA256SUMS");
    const Output none = Cli({"verify", set.string()});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err,
              set.string() + "/ holds no SHA256SUMS, nor does any backup set folder (CD-A, DVD-A, BD-A, …) in it.\n");
    EXPECT_EQ(none.out, "");
}

// Under the folder's lock, the temporaries a stopped run left go; a set
// folder whose disc would lack a file, or hold what has no checksum, gets no
// SHA256SUMS.
TEST_F(checksum, WritingRemovesStaleTemporariesAndRefusesAnIncompleteFolder)
{
    const fs::path stale = set / (".kelvark-" + std::to_string(INT_MAX) + "-0.tmp"); // of a run that is gone
    std::unique_ptr<Journal> running;
    struct Row {
        std::string what;
        std::function<void()> make;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"the folder's lock taken",
         [&] {
             running = std::make_unique<Journal>();
             ASSERT_FALSE(running->Lock(root.str(), Operation::Sort).Failed());
         },
         "Kelvark is already sorting this folder"},
        {"a wave missing", [&] { fs::remove(set / "Alder 2.wav"); },
         "DVD-A: Alder: \"Alder 2.wav\" is missing; no SHA256SUMS was written."},
        {"a folder", [&] { fs::create_directory(set / "more"); },
         "DVD-A: can't list \"more\" in SHA256SUMS: it is a folder; no SHA256SUMS was written."},
        {"a pipe", [&] { ASSERT_EQ(::mkfifo((set / "take.wav").c_str(), 0644), 0); },
         "DVD-A: can't list \"take.wav\" in SHA256SUMS: it is not a regular file; no SHA256SUMS was written."},
    };
    const auto before = Snapshot(set);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(stale, "the sums of a run killed");
        row.make();
        RecordingMessages messages;
        RecordingProgress never;
        ScriptedQuestion question;
        const Result outcome = ChecksumCommand(root.str(), false, {messages, never, question});
        EXPECT_TRUE(outcome.Failed());
        ASSERT_FALSE(outcome.Lines().empty());
        EXPECT_TRUE(outcome.Lines()[0].starts_with(row.line)) << outcome.Lines()[0];
        EXPECT_EQ(fs::exists(stale), running != nullptr);
        EXPECT_FALSE(fs::exists(set / "SHA256SUMS"));
        running.reset();
        fs::remove_all(set);
        fs::create_directory(set);
        for (const auto& [name, bytes] : before)
            WriteFile(set / name, bytes);
    }
    // A hidden file of another shape is the user's: it is listed.
    WriteFile(stale, "the sums of a run killed");
    WriteFile(set / ".kelvark-notes.tmp", "kept");
    RecordingProgress never;
    EXPECT_EQ(WriteChecksums(root.str(), HeldSums::Refuse, never).Lines(),
              std::vector<std::string>{"DVD-A: SHA256SUMS lists 10 files."});
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(Sha256Check(set).status, 0);
}

TEST_F(checksum, ReadingTheFilesLeavesTheirAccessTimesAsTheyWere)
{
    AgeAccessTimes(set);
    RecordingProgress never;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, never).Failed());
    for (const auto& entry : fs::directory_iterator(set))
        EXPECT_TRUE(entry.path().filename() == "SHA256SUMS" || AccessTime(entry.path()) == OldAccess) << entry.path();
}

TEST_F(checksum, StopSaysWhatWasChecked)
{
    RecordingProgress never;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, never).Failed());
    EXPECT_EQ(Sha256Check(set).status, 0);
    // The scan of the projects asks first, then the reading: stopped at its first question.
    for (const int at : {0, 3}) {
        RecordingProgress progress;
        progress.cancelAtCall = at;
        VerifyResult result;
        EXPECT_EQ(VerifyCommand({set.string()}, false, progress, result).Ended(), Result::Status::Stopped);
        EXPECT_TRUE(result.stopped);
        EXPECT_EQ(StopSummary(result), "Stopped: 0 of 9 files checked.");
    }
}

// Writing that replaces checksums and ends without new ones says, for each
// set folder, whether it keeps its earlier SHA256SUMS or has none.
TEST_F(checksum, WritingThatEndsEarlySaysWhatEachFolderKeeps)
{
    RecordingProgress never;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, never).Failed());
    const std::string earlier = ReadFile(set / "SHA256SUMS");
    fs::create_directory(root.path() / "DVD-B");
    WriteProject(root.path() / "DVD-B", "Dune", {{"Dune 1.wav"}});
    const struct {
        const char* what;
        int cancelAtCall;
        std::string line;
    } rows[] = {
        {"stopped", 0, "Stopped: no SHA256SUMS was written into DVD-B; DVD-A keeps its earlier SHA256SUMS."},
        {"a wave missing", -1, "DVD-A: Alder: \"Alder 2.wav\" is missing; it keeps its earlier SHA256SUMS."},
    };
    for (const auto& row : rows) {
        if (row.cancelAtCall < 0)
            fs::remove(set / "Alder 2.wav");
        RecordingProgress progress;
        progress.cancelAtCall = row.cancelAtCall;
        EXPECT_EQ(WriteChecksums(root.str(), HeldSums::Replace, progress).Lines().front(), row.line) << row.what;
        EXPECT_EQ(ReadFile(set / "SHA256SUMS"), earlier) << row.what;
    }
}

TEST(checksumOffer, SaysTheSetFoldersTheAmountAndTheMinutesRoundedUp)
{
    const struct {
        std::size_t folders;
        std::int64_t bytes;
        const char* offer;
    } cases[] = {
        {1, 999999, "Write checksums into the 1 set folder now? Reading less than 1 MB takes less than a minute."},
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

// Each disc of a sort carries its label, which a verify reads to name the
// disc, wherever it is mounted; a label from elsewhere is read only when it
// is one, and a cut one keeps what it holds.
TEST(DiscLabel, TheSortLabelsEachDiscAndVerifyNamesTheDiscByIt)
{
    Studio s;
    WriteProject(s.root.path(), "Alpha", {{"alpha.wav", 400000000}});
    WriteProject(s.root.path(), "Beta", {{"beta.wav", 400000000}});
    s.Read(true);
    ASSERT_FALSE(s.Sort());
    const std::string text = ReadFile(s.root.path() / "CD-B" / DiscLabelName);
    const std::string from = "Backed up from: " + s.root.path().string();
    const auto label = ParseDiscLabel(text);
    ASSERT_TRUE(label);
    // Each disc its own identity, drawn at random.
    ASSERT_EQ(label->id.size(), 16u);
    EXPECT_NE(label->id, ParseDiscLabel(ReadFile(s.root.path() / "CD-A" / DiscLabelName))->id);
    EXPECT_EQ(text, "Kelvark backup disc\r\nThis is disc 2 of 2 of the backup sort of 2026-12-07 13:05, CD-B.\r\n"
                    "Medium: CD (cd)\r\n"
                        + from + "\r\nDisc id: " + label->id
                        + "\r\nDiscs of this backup: CD-A to CD-B\r\nProjects on this disc: 1\r\nBeta\r\n");
    EXPECT_EQ(DiscLabelLines(*label),
              (std::vector<std::string>{"Kelvark backup disc",
                                        "This is disc 2 of 2 of the backup sort of 2026-12-07 13:05, CD-B.",
                                        "Medium: CD (cd)", from, "Disc id: " + label->id,
                                        "Discs of this backup: CD-A to CD-B", "Projects on this disc: 1", "Beta"}));

    // A disc mounted under another name is still CD-B.
    ASSERT_FALSE(ChecksumCommand(s.root.str(), false, s.ui.commands()).Failed());
    const fs::path mounted = s.root.path() / "cdrom";
    fs::rename(s.root.path() / "CD-B", mounted);
    RecordingProgress progress;
    VerifyResult checks;
    ASSERT_FALSE(VerifyCommand({mounted.string()}, false, progress, checks).Failed());
    const std::vector<std::string> lines = VerifyLines(checks);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "CD-B: disc 2 of 2 of the backup sort of 2026-12-07 13:05");
    EXPECT_EQ(lines[1], "CD-B: Beta: intact");

    const struct {
        const char* text;
        bool label;
        std::size_t projects;
        const char* time = "";
        const char* id = "";
    } cases[] = {
        {"", false, 0},
        {"Kelvark backup disc\n", false, 0},
        {"Kelvark backup disc\nThis is disc 3 of 2 of the backup sort of 2026-12-07, CD-B.\n", false, 0},
        {"Kelvark backup disc\nThis is disc 1 of 2 of the backup sort of 2026-12-07, CD-A\n", false, 0},
        {"kelvark backup disc\nThis is disc 1 of 2 of the backup sort of 2026-12-07, CD-A.\n", false, 0},
        {"Kelvark backup disc\nThis is disc 1 of 2 of the backup sort of 2026-12-07, CD-A.\nProjects on this disc: "
         "9\nA",
         true, 1},
        // A label of last year, without time and identity, and one with them.
        {"Kelvark backup disc\nThis is disc 1 of 1 of the backup sort of 2025-12-07, CD-A.\nBacked up from: /m\n", true,
         0},
        {"Kelvark backup disc\nThis is disc 1 of 1 of the backup sort of 2026-12-07 09:41, CD-A.\nDisc id: "
         "00ff00ff00ff00ff\n",
         true, 0, "09:41", "00ff00ff00ff00ff"},
        // An id of another shape names no disc.
        {"Kelvark backup disc\nThis is disc 1 of 1 of the backup sort of 2026-12-07 09:41, CD-A.\nDisc id: 00ff\n",
         true, 0, "09:41"},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseDiscLabel(c.text);
        EXPECT_EQ(parsed.has_value(), c.label) << c.text;
        EXPECT_EQ(parsed ? parsed->projects.size() : 0, c.projects) << c.text;
        EXPECT_EQ(parsed ? parsed->time : "", c.time) << c.text;
        EXPECT_EQ(parsed ? parsed->id : "", c.id) << c.text;
        if (parsed && c.label) {
            EXPECT_EQ(parsed->set, "CD-A") << c.text;
        }
    }
}

} // namespace
