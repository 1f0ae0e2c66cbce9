#include "ChildProcess.h"
#include "Commands.h"
#include "Fixtures.h"
#include "idTagLine.h"

#include <gtest/gtest.h>

#include <random>

using namespace kelvark;

// Hostile project files: wave names that would leave the root folder, very
// long names, names with control characters, a project file that is one line
// of 100 MB and one of 100,000 nested-looking lines. Reading, the backup sort,
// moves and the reports never crash, never hang and never touch a file outside
// the root folder, and every file stays whole.

namespace {

using namespace fixtures;

// A root folder beside files that names from its project files could reach:
// outside.wav next to it and elsewhere/victim.wav further away.
struct Hostile {
    TempDir base;
    fs::path root = base.path() / "root";
    fs::path victim = base.path() / "elsewhere" / "victim.wav";
    FakeUi ui;
    orvoProjectList list{ui.services()};

    Hostile()
    {
        fs::create_directories(root / "sub");
        fs::create_directories(victim.parent_path());
        WriteFile(base.path() / "outside.wav", WaveHeader(1000));
        WriteFile(victim, WaveHeader(2000));
        WriteFile(root / "sub" / "inner.wav", WaveHeader(3000));
    }
    std::string Root() const { return root.string() + "/"; }
    // A project playing the given waves; those in present are written too.
    void Project(const std::string& name, const std::vector<std::string>& waves,
                 const std::vector<std::string>& present = {})
    {
        std::vector<Region> regions;
        for (const auto& wave : waves)
            regions.push_back({wave, 0, 100});
        WriteFile(root / (name + ".cue"), CueText({regions}));
        for (const auto& wave : present)
            WriteFile(root / wave, WaveHeader(4000));
    }
    // True when the read met errors.
    bool Read() { return ReadFolderCommand(list, Root(), true, true, DVDMedium()).Failed(); }
    // A sort that leaves no project in the folder, its Result shown.
    bool Sort()
    {
        ui.AnswerSort(list, false);
        const Result result = SortCommand(list, Root(), ui.commands());
        ui.question.answers.clear(); // those of questions it did not ask
        return ui.Shown(result);
    }
};

TEST(HostileNames, NamesThatLeaveTheRootFolderAreNeverFollowed)
{
    Hostile h;
    h.Project("Escape", {"Escape take.wav", "../outside.wav", "..", "sub/inner.wav", h.victim.string(), "a\\b.wav"},
              {"Escape take.wav"});
    h.Project("Plain", {"Plain take.wav"}, {"Plain take.wav"});
    const auto before = Snapshot(h.base.path());

    EXPECT_TRUE(h.Read());
    EXPECT_EQ(h.list.LastError, "Errors for this folder: \r\n\r\n  Project: Escape\r\n"
                                "     Invalid wave file name: ../outside.wav\r\n"
                                "     Invalid wave file name: ..\r\n"
                                "     Invalid wave file name: sub/inner.wav\r\n"
                                "     Invalid wave file name: "
                                    + h.victim.string()
                                    + "\r\n"
                                      "     Invalid wave file name: a\\b.wav");

    // The sort refuses before making any folder; a move of the project fails before touching a file.
    EXPECT_TRUE(h.Sort());
    fs::create_directory(h.root / "dest");
    EXPECT_TRUE(h.ui.Shown(MoveCommand(h.list, {h.list.projects.Item(0).get()}, h.Root() + "dest/", h.ui.commands())));
    EXPECT_EQ(h.ui.messages.shown,
              (std::vector<std::string>{"Nothing was sorted: 1 project can't be sorted.\r\n"
                                        "Project Escape: invalid wave file name: ../outside.wav",
                                        "Nothing was moved.\r\nInvalid wave file name: ../outside.wav"}));
    EXPECT_EQ(Snapshot(h.base.path()), before);
    EXPECT_FALSE(fs::exists(h.root / "DVD-A"));
}

TEST(HostileNames, LongAndControlCharacterNamesMoveLikeAnyOther)
{
    Hostile h;
    const std::string longest = std::string(251, 'L') + ".wav"; // the longest name a file can have
    const std::string tooLong = std::string(300, 'T') + ".wav";
    h.Project("Bell\a", {"bell\a.wav"}, {"bell\a.wav"});
    h.Project("Controls", {"esc\x1b[2J.wav", "tab\there.wav", "cr\r.wav", "del\x7f.wav"},
              {"esc\x1b[2J.wav", "tab\there.wav", "cr\r.wav", "del\x7f.wav"});
    h.Project("Long", {longest}, {longest});
    h.Project("TooLong", {tooLong});
    const auto before = Snapshot(h.base.path());

    EXPECT_TRUE(h.Read());
    EXPECT_EQ(h.list.LastError,
              "Errors for this folder: \r\n\r\n  Project: TooLong\r\n     File not found: " + tooLong);
    ASSERT_EQ(h.list.numBackups, 1);

    // The one whose wave cannot exist refuses the sort before anything moves.
    EXPECT_TRUE(h.Sort());
    EXPECT_EQ(
        h.ui.messages.shown,
        std::vector<std::string>{"Nothing was sorted: 1 project can't be sorted.\r\nProject TooLong: can't move \""
                                 + tooLong + "\": " + std::make_error_code(std::errc::filename_too_long).message()});
    EXPECT_EQ(Snapshot(h.base.path()), before);

    // Without it, every project moves into its set.
    fs::rename(h.root / "TooLong.cue", h.base.path() / "TooLong.cue");
    h.ui.messages.shown.clear();
    h.Read();
    EXPECT_FALSE(h.Sort());
    for (const std::string& file :
         std::vector<std::string>{"Bell\a.cue", "bell\a.wav", "Controls.cue", "esc\x1b[2J.wav", "tab\there.wav",
                                  "cr\r.wav", "del\x7f.wav", "Long.cue", longest})
        EXPECT_TRUE(fs::exists(h.root / "DVD-A" / file)) << file;
    ExpectNothingLost(before, h.base.path());
    EXPECT_TRUE(fs::exists(h.victim));
    EXPECT_TRUE(fs::exists(h.base.path() / "outside.wav"));
}

TEST(HostileNames, TheCommandLineRefusesToSortAndExitsNormally)
{
    Hostile h;
    h.Project("Escape", {"../outside.wav", h.victim.string()});
    h.Project("Bell\a", {"bell\a.wav"}, {"bell\a.wav"});
    const auto before = Snapshot(h.base.path());
    TempDir output;

    ChildProcess sort(KELVARK_CLI_PATH, {"sort", "--yes", h.Root()}, output.path());
    const int status = sort.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << "kelvark-cli ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(ReadFile(output.path() / "err").find("Invalid wave file name: ../outside.wav"), std::string::npos);
    EXPECT_EQ(Snapshot(h.base.path()), before);
}

// The section readers keep only the first slots of the token array; those
// must hold what the growing array holds, line after line.
TEST(HostileLines, TheReadersSlotsHoldWhatTheWholeArrayHolds)
{
    std::mt19937 random(6);
    const std::vector<std::string> words{"Track", "File", "=", "\"a b\"", "'q'", "x:", ":", "\"", "{", "}", "\t", "  "};
    TagList whole;
    TagList kept;
    for (int line = 0; line < 3000; ++line) {
        std::string text;
        const int tokens = static_cast<int>(random() % 40);
        for (int t = 0; t < tokens; ++t)
            text += words[random() % words.size()] + (random() % 3 == 0 ? "" : " ");
        const int count = SplitTagLine(whole, text, true);
        ASSERT_EQ(SplitTagLine(kept, text, true, ReaderSlots), count) << text;
        ASSERT_EQ(kept.size(), ReaderSlots);
        ASSERT_TRUE(std::equal(kept.begin(), kept.end(), whole.begin())) << text;
    }
}

TEST(HostileLines, AHundredMegabyteLineAndManyNestedLinesAreReadAndSorted)
{
    Hostile h;
    // One line of four million tokens ending in a colon, which makes all of it
    // but the colon's own token one first token of 100 MB.
    std::string huge;
    const std::string pattern = "Qlist { Track { Audio { File = x.wav } } } ";
    while (huge.size() < 100'000'000)
        huge += pattern;
    huge += "end: x";
    WriteFile(h.root / "Huge.cue", huge);
    // 100,000 lines that open sections again and again; every region plays a wave of its own name.
    std::string nested;
    for (int i = 0; i < 20'000; ++i)
        nested += "Qlist {\nTrack {\nAudio {\nFile = \"n" + std::to_string(i) + ".wav\"\n}\n";
    WriteFile(h.root / "Nested.cue", nested);
    h.Project("Plain", {"Plain take.wav"}, {"Plain take.wav"});
    const auto before = Snapshot(h.base.path());

    EXPECT_TRUE(h.Read());
    ASSERT_EQ(h.list.projects.Count(), 3);
    const orvoProject& hugeProject = *h.list.projects.Item(0);
    EXPECT_EQ(hugeProject.trackCount, 0u);
    EXPECT_EQ(hugeProject.fileSize, static_cast<std::int64_t>(huge.size()));
    // The sections nest no deeper than the format does: one track holds every region.
    const orvoProject& nestedProject = *h.list.projects.Item(1);
    EXPECT_EQ(nestedProject.trackCount, 1u);
    EXPECT_EQ(nestedProject.WaveCount(), 20'000);
    EXPECT_TRUE(h.list.LastError.starts_with("Errors for this folder: \r\n\r\n  Project: Nested\r\n"
                                             "     File not found: n0.wav\r\n     File not found: n1.wav\r\n"));
    EXPECT_EQ(h.list.FillGrid()[1], (GridRow{"Nested", ".0", "1", "20000", "A", "ERR"}));

    // The nested project misses its waves: the sort names each of them and moves nothing.
    EXPECT_TRUE(h.Sort());
    ASSERT_EQ(h.ui.messages.shown.size(), 1u);
    EXPECT_TRUE(
        h.ui.messages.shown[0].starts_with("Nothing was sorted: 1 project can't be sorted.\r\n"
                                           "Project Nested: can't move \"n0.wav\": "
                                           + std::make_error_code(std::errc::no_such_file_or_directory).message()));
    EXPECT_TRUE(
        h.ui.messages.shown[0].ends_with("\r\nProject Nested: can't move \"n19999.wav\": "
                                         + std::make_error_code(std::errc::no_such_file_or_directory).message()));
    EXPECT_EQ(Snapshot(h.base.path()), before);
    ExpectNothingLost(before, h.base.path());
}

} // namespace
