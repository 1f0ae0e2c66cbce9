#include "Catalogue.h"
#include "Commands.h"
#include "DiscLabel.h"
#include "Fixtures.h"
#include "Journal.h"
#include "SetLetters.h"
#include "idata_common.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

using namespace kelvark;

namespace {

using namespace fixtures;

constexpr std::uint32_t MB = 1000000;

struct Sorted : Studio {
    bool Exists(const std::string& relative) const { return fs::exists(root.path() / relative); }
    // The backup folders the sort made.
    std::vector<std::string> Folders() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root.path()))
            if (entry.is_directory())
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(Rearrange, MovesEveryProjectIntoItsSetAndCopiesReadOnlyOnes)
{
    Sorted s;
    WriteProject(s.root.path(), "Big", {{"big1.wav", 3000 * MB}, {"big2.wav", 1000 * MB}});
    WriteProject(s.root.path(), "Locked", {{"locked.wav", 1000}});
    WriteFile(s.root.path() / "Locked.txt", "notes");
    WriteProject(s.root.path(), "Small", {{"small.wav", 700 * MB}});
    MakeReadOnly(s.root.path() / "Locked.cue");
    const fs::file_time_type lockedTime = fs::last_write_time(s.root.path() / "Locked.txt");
    s.Read(false);
    ASSERT_EQ(s.list.numBackups, 2);

    s.ui.AnswerSort(s.list, false);
    const Result sorted = SortCommand(s.list, s.root.str(), s.ui.commands());
    EXPECT_EQ(sorted.Message(), "Done.  CSV files are in folder " + s.root.str()
                                    + ".\r\nMade 2 set folders: DVD-A, DVD-B.\r\n"
                                      "Sorted 3 projects: 2 moved, 1 copied (read-only: the original stays in the "
                                      "folder).\r\nWrote Backup Report.txt, Backups.csv, BackupProjects.csv into "
                                    + s.root.str() + ".");
    EXPECT_TRUE(s.ui.messages.shown.empty());
    EXPECT_EQ(s.Folders(), (std::vector<std::string>{"DVD-A", "DVD-B"}));
    for (const char* moved :
         {"DVD-A/Big.cue", "DVD-A/big1.wav", "DVD-A/big2.wav", "DVD-B/Small.cue", "DVD-B/small.wav"})
        EXPECT_TRUE(s.Exists(moved)) << moved;
    for (const char* gone : {"Big.cue", "big1.wav", "Small.cue", "small.wav"})
        EXPECT_FALSE(s.Exists(gone)) << gone;

    // The read-only project is in its set's folder and still in the root folder, unchanged.
    const std::string lockedSet = "DVD-" + SetLetters(s.Project(1).BackupNum) + "/";
    for (const char* file : {"Locked.cue", "Locked.txt", "locked.wav"}) {
        EXPECT_TRUE(s.Exists(file)) << file;
        EXPECT_EQ(ReadFile(s.root.path() / (lockedSet + file)), ReadFile(s.root.path() / file)) << file;
    }
    EXPECT_EQ(fs::status(s.root.path() / (lockedSet + "Locked.cue")).permissions(),
              fs::status(s.root.path() / "Locked.cue").permissions());
    EXPECT_EQ(fs::last_write_time(s.root.path() / (lockedSet + "Locked.txt")), lockedTime);

    EXPECT_EQ(s.ui.progress.calls.back(), "OK 2 Small");
}

// A second sort after new projects arrived continues the first: Report Only
// and the sort letter their sets after CD-A, CD-B, whose files stay as they
// were; the first sort's reports are kept under its date (never over another
// file: "(2)" after it here), Report Only's own are replaced. Undo backup
// sort then undoes the latest sort only; run again, the one before.
TEST(Rearrange, ASecondSortContinuesTheFirst)
{
    Sorted s;
    const fs::path root = s.root.path();
    WriteProject(root, "One", {{"one.wav", 400 * MB}});
    WriteProject(root, "Two", {{"two.wav", 400 * MB}});
    s.Read(true);
    ASSERT_FALSE(s.Sort());
    const auto earlierSets = [&] {
        auto files = Snapshot(root);
        std::erase_if(files, [](const auto& file) {
            return !file.first.starts_with("CD-A/") && !file.first.starts_with("CD-B/");
        });
        return files;
    };
    const auto firstSort = earlierSets();
    std::vector<std::string> reports;
    for (const std::string& name : ReportNames)
        reports.push_back(ReadFile(root / name));
    WriteFile(root / "Backups 2026-12-07.csv", "the user's own");
    WriteProject(root, "Three", {{"three.wav", 400 * MB}});
    WriteProject(root, "Four", {{"four.wav", 400 * MB}});
    s.list.regional.today = [] {
        return std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::December, std::chrono::day{10}};
    };

    // Report Only renames the sort's reports; again, and then the sort, replace its own.
    const std::string kept = "\r\nKept the earlier sort's reports as Backup Report 2026-12-07 (2).txt, Backups "
                             "2026-12-07 (2).csv, BackupProjects 2026-12-07 (2).csv.\r\n";
    for (const auto& [sort, renames] : {std::pair{false, true}, {false, false}, {true, false}}) {
        s.Read(true);
        EXPECT_EQ(s.grid.rows[0].texts[4], "D"); // Four, then Three
        const Result done = sort ? SortCommand(s.list, s.root.str(), s.ui.commands())
                                 : ReportCommand(s.list, s.root.str(), s.ui.commands());
        ASSERT_EQ(done.Ended(), Result::Status::Done) << done.Message();
        EXPECT_EQ(done.Message().find(kept) != std::string::npos, renames) << done.Message();
        EXPECT_EQ(earlierSets(), firstSort);
        for (std::size_t i = 0; i < ReportNames.size(); ++i)
            EXPECT_EQ(ReadFile(root / DatedReportName(ReportNames[i], "2026-12-07", 2)), reports[i]);
        EXPECT_FALSE(fs::exists(root / DatedReportName(ReportNames[0], "2026-12-07", 3)));
        EXPECT_EQ(ReadFile(root / "Backups 2026-12-07.csv"), "the user's own");
        EXPECT_NE(ReadFile(root / "Backup Report.txt").find("\r\nCD-C\r\n----\r\nThree\r\n"), std::string::npos);
    }
    EXPECT_TRUE(s.Exists("CD-D/four.wav"));
    const std::string label = ReadFile(root / "CD-C" / "Kelvark Disc.txt");
    EXPECT_NE(label.find("This is disc 1 of 2 of the backup sort of 2026-12-10 13:05, CD-C.\r\n"), std::string::npos);
    EXPECT_NE(label.find("Discs of this backup: CD-C to CD-D\r\n"), std::string::npos);

    ASSERT_FALSE(UnsortCommand(s.root.str(), CDMedium(), s.ui.commands()).Failed());
    EXPECT_EQ(earlierSets(), firstSort);
    EXPECT_FALSE(fs::exists(root / "CD-C"));
    EXPECT_TRUE(s.Exists("three.wav"));
    ASSERT_FALSE(UnsortCommand(s.root.str(), CDMedium(), s.ui.commands()).Failed());
    EXPECT_TRUE(s.Exists("one.wav"));
    EXPECT_FALSE(s.Exists("CD-A/one.wav"));

    // Set names known from elsewhere are taken too.
    s.list.knownSets = {"CD-F", "DVD-Z"};
    PlanCommand(s.list, CDMedium());
    EXPECT_EQ(s.list.SetTotals().front().name, "CD-G");
}

// Cancel stops the sort before the next project and keeps the journal, so the
// sort can be finished or undone.
TEST(Rearrange, StopsBetweenProjectsWhenCancelled)
{
    Sorted s;
    WriteProject(s.root.path(), "One", {{"one.wav", 400 * MB}});
    WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}});
    s.Read(true);
    s.ui.progress.okCalls = 0;
    s.ui.progress.cancelAtCall = 1;

    EXPECT_EQ(SortCommand(s.list, s.root.str(), s.ui.commands()).Ended(), Result::Status::Stopped);
    EXPECT_TRUE(s.Exists("CD-A/one.wav"));
    EXPECT_TRUE(s.Exists("two.wav"));
    EXPECT_TRUE(s.ui.messages.shown.empty());
    Journal journal;
    EXPECT_EQ(journal.LookAndTidy(s.root.str()), Journal::State::Stopped);
    EXPECT_EQ(journal.Describe(), "The backup sort of " + s.root.str() + " stopped after 1 of 2 projects.");
}

TEST(Rearrange, NamesSetsBeyondZWithTwoLetters)
{
    Sorted s;
    for (int i = 0; i < 27; ++i)
        WriteProject(s.root.path(), "P" + std::to_string(100 + i),
                     {{"w" + std::to_string(100 + i) + ".wav", 400 * MB}});
    s.Read(true);
    ASSERT_EQ(s.list.numBackups, 27);

    EXPECT_FALSE(s.Sort());
    const auto folders = s.Folders();
    EXPECT_EQ(folders.size(), 27u);
    EXPECT_EQ(folders.front(), "CD-A");
    EXPECT_EQ(folders.back(), "CD-Z");
    EXPECT_TRUE(s.Exists("CD-AA/P126.cue"));
    EXPECT_TRUE(s.Exists("CD-AA/w126.wav"));
}

TEST(Rearrange, RefusesBeforeMakingAnyFolder)
{
    struct Refusal {
        const char* what;
        std::function<void(Sorted&)> arrange;
        std::string message;
        std::size_t asked; // questions asked before the refusal
    };
    const std::vector<Refusal> refusals = {
        {"set folder holding files made since the read",
         [](Sorted& s) {
             fs::create_directory(s.root.path() / "CD-B");
             WriteFile(s.root.path() / "CD-B/take.wav", "x");
         },
         "Nothing was sorted.\r\n"
         "\"CD-B\" has the name of a backup folder the sort makes. Rename or move it to sort the folder.",
         1},
        {"file named like the set-0 folder", [](Sorted& s) { WriteFile(s.root.path() / "CD-A", "x"); },
         "Nothing was sorted.\r\n"
         "\"CD-A\" has the name of a backup folder the sort makes. Rename or move it to sort the folder.",
         1},
        {"link named like the set-0 folder", [](Sorted& s) { fs::create_symlink("nowhere", s.root.path() / "CD-A"); },
         "Nothing was sorted.\r\n"
         "\"CD-A\" has the name of a backup folder the sort makes. Rename or move it to sort the folder.",
         1},
        {"project in no set", [](Sorted& s) { s.Project(1).BackupNum = -1; },
         "Nothing was sorted: 1 project fits on no CD.\r\nProject Two: larger than one CD (680.5 MB)", 2},
        {"project in no set that misses a wave",
         [](Sorted& s) {
             fs::remove(s.root.path() / "two.wav");
             s.Read(true);
             s.Project(1).BackupNum = -1;
         },
         "Nothing was sorted: 1 project fits on no CD.\r\nProject Two: larger than one CD (680.5 MB)\r\n"
         "Project Two: can't move \"two.wav\": "
             + std::make_error_code(std::errc::no_such_file_or_directory).message(),
         2},
        {"no project in a set",
         [](Sorted& s) {
             s.Project(0).BackupNum = -1;
             s.Project(1).BackupNum = -1;
         },
         "Nothing was sorted: 2 projects fit on no CD.\r\nProject One: larger than one CD (680.5 MB)\r\n"
         "Project Two: larger than one CD (680.5 MB)",
         0},
        {"invalid wave name",
         [](Sorted& s) {
             WriteFile(s.root.path() / "Three.cue", CueText({{{"../escape.wav", 0, 10}}}));
             s.Read(true);
         },
         "Nothing was sorted: 1 project can't be sorted.\r\nProject Three: invalid wave file name: ../escape.wav", 2},
    };
    for (const auto& refusal : refusals) {
        Sorted s;
        WriteProject(s.root.path(), "One", {{"one.wav", 400 * MB}});
        WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}});
        s.Read(true);
        refusal.arrange(s);
        const auto before = Snapshot(s.root.path());
        const auto foldersBefore = s.Folders();

        s.ui.question.answers = {true, false}; // Sort, and not SortTheRest
        const Result result = SortCommand(s.list, s.root.str(), s.ui.commands());
        EXPECT_EQ(result.Ended(), Result::Status::Refused) << refusal.what;
        EXPECT_EQ(s.ui.question.asked.size(), refusal.asked) << refusal.what;
        EXPECT_EQ(result.Message(), refusal.message) << refusal.what;
        EXPECT_TRUE(s.ui.messages.shown.empty()) << refusal.what;
        EXPECT_EQ(s.Folders(), foldersBefore) << refusal.what;
        EXPECT_TRUE(s.Exists("One.cue")) << refusal.what;
        EXPECT_FALSE(s.Exists("Backup Report.txt")) << refusal.what;
        ExpectNothingLost(before, s.root.path());
    }
}

TEST(Rearrange, RefusesAProjectWhoseFileChangedAfterTheScanBeforeMovingAnything)
{
    struct Case {
        const char* change;
        std::function<void(const fs::path&)> make; // what becomes of the wave after the scan
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"gone", [](const fs::path&) {}, std::make_error_code(std::errc::no_such_file_or_directory).message()},
        {"a folder", [](const fs::path& wave) { fs::create_directory(wave); }, "it is a folder"},
        {"a link", [](const fs::path& wave) { fs::create_symlink("two.wav", wave); }, "it is a symbolic link"},
    };
    for (const Case& c : cases) {
        Sorted s;
        WriteProject(s.root.path(), "One", {{"one.wav", 500 * MB}});
        WriteProject(s.root.path(), "Two", {{"two.wav", 400 * MB}, {"two-b.wav", 100}});
        WriteFile(s.root.path() / "Two.bak", "backup of two");
        s.Read(true);
        fs::remove(s.root.path() / "two-b.wav");
        c.make(s.root.path() / "two-b.wav");
        const auto before = Snapshot(s.root.path());

        EXPECT_EQ(SortCommand(s.list, s.root.str(), s.ui.commands()).Message(),
                  "Nothing was sorted.\r\nProject Two: can't move \"two-b.wav\": " + c.reason)
            << c.change;
        EXPECT_TRUE(s.Exists("One.cue"));
        EXPECT_FALSE(fs::exists(s.root.path() / "CD-A"));
        for (const char* file : {"Two.bak", "Two.cue", "two.wav"})
            EXPECT_TRUE(s.Exists(file)) << file;
        ExpectNothingLost(before, s.root.path());
    }
}

// A folder without projects: Backup Sort and Report Only refuse before they
// ask anything, and write nothing.
TEST(Rearrange, RefusesAFolderWithoutProjects)
{
    for (const bool sort : {true, false}) {
        Sorted s;
        s.Read(true);
        s.ui.progress.calls.clear();
        const Result result = sort ? SortCommand(s.list, s.root.str(), s.ui.commands())
                                   : ReportCommand(s.list, s.root.str(), s.ui.commands());
        EXPECT_EQ(result.Ended(), Result::Status::Refused) << sort;
        EXPECT_EQ(result.Message(), "No ORVEX projects in " + s.root.path().string() + ".") << sort;
        EXPECT_TRUE(s.ui.question.asked.empty()) << sort;
        EXPECT_TRUE(s.ui.progress.calls.empty()) << sort;
        EXPECT_TRUE(EntryNames(s.root.path()).empty()) << sort;
    }
    EXPECT_EQ(NoProjectsText("/"), "No ORVEX projects in /.");
}

// Projects the sort can't take: one misses a wave, one shares a wave with it,
// one fits on no disc. The sort refuses them all and moves nothing; told to
// leave them, it sorts the others and names the ones left in the report.
TEST(Rearrange, SortsTheRestAndLeavesTheUnsortableInTheFolder)
{
    Sorted s;
    WriteProject(s.root.path(), "Good", {{"good.wav", 100 * MB}});
    WriteProject(s.root.path(), "Gap", {{"gap 1.wav", 100 * MB}, {"gap 2.wav", 100 * MB}});
    WriteProject(s.root.path(), "Gap Mix", {{"gap 1.wav", 100 * MB}, {"mix.wav", 100 * MB}});
    WriteProject(s.root.path(), "Huge", {{"huge.wav", 700 * MB}});
    fs::remove(s.root.path() / "gap 2.wav");
    s.Read(true);
    const auto before = Snapshot(s.root.path());

    const std::string missing = std::make_error_code(std::errc::no_such_file_or_directory).message();
    const std::vector<std::string> reasons{"Project Gap Mix: it shares \"gap 1.wav\" with Gap, which can't be sorted",
                                           "Project Gap: can't move \"gap 2.wav\": " + missing,
                                           "Project Huge: larger than one CD (680.5 MB)"};
    const auto left = s.list.UnsortableProjects();
    std::vector<std::string> found;
    for (const auto& u : left)
        found.push_back(u.reason);
    EXPECT_EQ(found, reasons);

    s.ui.question.answers = {true, false};
    EXPECT_EQ(SortCommand(s.list, s.root.str(), s.ui.commands()).Message(),
              "Nothing was sorted: 3 projects can't be sorted.\r\n" + reasons[0] + "\r\n" + reasons[1] + "\r\n"
                  + reasons[2]);
    EXPECT_EQ(Snapshot(s.root.path()), before);

    s.ui.AnswerSort(s.list, true);
    EXPECT_EQ(
        SortCommand(s.list, s.root.str(), s.ui.commands()).Lines(),
        (std::vector<std::string>{
            "Done.  CSV files are in folder " + s.root.str() + ".", "Made 1 set folder: CD-A.",
            "Sorted 1 project: 1 moved.", "Left 3 projects in the folder, as they can't be sorted: Gap Mix, Gap, Huge.",
            "Wrote Backup Report.txt, Backups.csv, BackupProjects.csv into " + s.root.str() + "."}));
    EXPECT_TRUE(s.Exists("CD-A/Good.cue"));
    EXPECT_TRUE(s.Exists("CD-A/good.wav"));
    for (const char* stays : {"Gap.cue", "gap 1.wav", "Gap Mix.cue", "mix.wav", "Huge.cue", "huge.wav"})
        EXPECT_TRUE(s.Exists(stays)) << stays;
    EXPECT_EQ(ReadFile(s.root.path() / "Backup Report.txt"),
              "ORVEX Project Backup Organizer\r\n\r\nCD-A\r\n----\r\nGood\r\n\r\nNot sorted\r\n----\r\nGap "
              "Mix\r\nGap\r\nHuge\r\n");
    EXPECT_EQ(ReadFile(s.root.path() / "BackupProjects.csv"),
              "Collection, BackupID, ChronoSN, TypeProject\r\nTALVO, 2026_12_07a, Goo, TRUE\r\n");
    ExpectNothingLost(before, s.root.path());
}

// With the unsortable left in the folder, a set whose every project stays is
// no disc: no folder, no label, no line in the reports, none in the
// catalogue; the sets made count alone ("disc N of M", the first and last).
TEST(Rearrange, MakesNoSetThatTheProjectsLeftInTheFolderEmptied)
{
    struct Row {
        const char* gap; // the project that misses a take: its set, CD-A, CD-B or CD-C, is left empty
        std::vector<std::string> made = {};
    };
    const std::vector<Row> rows = {{"One"}, {"Two"}, {"Three"}};
    for (Row row : rows) {
        Sorted s;
        TempDir data;
        const std::string catalogue = (data.path() / "catalogue.sqlite").string();
        const std::vector<std::string> names{"One", "Two", "Three"};
        for (const std::string& name : names)
            WriteProject(s.root.path(), name, {{name + ".wav", 400 * MB}, {name + " b.wav", 100}});
        fs::remove(s.root.path() / (std::string(row.gap) + " b.wav"));
        s.Read(true);
        ASSERT_EQ(s.list.numBackups, 3);
        for (int p = 0; p < 3; ++p)
            if (s.Project(p).Name != row.gap)
                row.made.push_back("CD-" + SetLetters(s.Project(p).BackupNum));
        std::sort(row.made.begin(), row.made.end());

        s.ui.AnswerSort(s.list, true);
        const Result sorted = SortCommand(s.list, s.root.str(), s.ui.commands(), catalogue);
        EXPECT_EQ(sorted.Ended(), Result::Status::Done) << row.gap << ": " << sorted.Message();
        EXPECT_EQ(s.Folders(), row.made) << row.gap;
        for (std::size_t n = 0; n < row.made.size(); ++n) {
            const std::optional<DiscLabel> label =
                ParseDiscLabel(ReadFile(s.root.path() / row.made[n] / DiscLabelName));
            ASSERT_TRUE(label) << row.gap;
            EXPECT_EQ(std::vector<int>({label->number, label->count}), std::vector<int>({int(n) + 1, 2})) << row.gap;
            EXPECT_EQ(label->first + " " + label->last, row.made[0] + " " + row.made[1]) << row.gap;
        }
        std::string ids; // the BackupIDs' letters of Backups.csv
        std::istringstream csv(ReadFile(s.root.path() / "Backups.csv"));
        for (std::string line; std::getline(csv, line);)
            if (line.starts_with("2026_12_07"))
                ids += line.substr(10, 1);
        EXPECT_EQ(ids, std::string(1, char(std::tolower(row.made[0].back()))) + char(std::tolower(row.made[1].back())))
            << row.gap;
        const std::string report = ReadFile(s.root.path() / "Backup Report.txt");
        for (const std::string set : {"CD-A", "CD-B", "CD-C"})
            EXPECT_EQ(report.find("\r\n" + set + "\r\n") != std::string::npos,
                      std::find(row.made.begin(), row.made.end(), set) != row.made.end())
                << row.gap << " " << set;
        Catalogue opened;
        std::vector<DiscRow> discs;
        ASSERT_FALSE(opened.Open(catalogue).Failed());
        ASSERT_FALSE(opened.Discs("2026-12-07", discs).Failed());
        std::vector<std::string> recorded;
        for (const DiscRow& disc : discs)
            recorded.push_back(disc.disc.set);
        std::sort(recorded.begin(), recorded.end());
        EXPECT_EQ(recorded, row.made) << row.gap;
    }
}

// A project that shares a wave with one the read left out (a mix, when only
// the other projects are read) can't be sorted; the others can.
TEST(Rearrange, KeepsAProjectThatSharesAFileWithOneTheReadLeftOut)
{
    Sorted s;
    WriteProject(s.root.path(), "Good", {{"good.wav", 100 * MB}});
    WriteProject(s.root.path(), "Song", {{"song.wav", 100 * MB}});
    WriteProject(s.root.path(), "Song Mix", {{"song.wav", 100 * MB}, {"mix.wav", 100 * MB}});
    s.list.ReadFolder(s.root.str(), false, true);
    s.list.CalcBackup(CDMedium());
    const auto left = s.list.UnsortableProjects();
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(left[0].reason, "Project Song: it shares \"song.wav\" with Song Mix, which the read left out");
}

// Projects that share takes go into one set folder, with and without leaving
// the unsortable: a shared take moves once, or is copied where a read-only
// project plays it, since it stays for that one. A group too large for one
// disc stays in the folder, each of its projects saying why.
TEST(Rearrange, SortsProjectsThatShareTakesIntoOneSetFolder)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::vector<FixtureWave>>> projects; // besides "Solo"
        std::vector<std::string> together; // in one set folder after the sort
        std::vector<std::string> inRoot; // still in the root folder after it
        std::string refusal; // of the sort that does not leave the unsortable
    };
    const std::string tooLarge = "; together they need 800.1 MB, more than one CD";
    const Case cases[] = {
        {"versions",
         {{"Take", {{"t1.wav", 300 * MB}}}, {"Take v2", {{"t1.wav", 300 * MB}, {"t2.wav", 100 * MB}}}},
         {"Take.cue", "Take v2.cue", "t1.wav", "t2.wav"},
         {},
         ""},
        {"read-only",
         {{"Take", {{"t1.wav", 300 * MB}, {"t2.wav", 100 * MB}}}, {"Rough", {{"t1.wav", 300 * MB}}}},
         {"Take.cue", "Rough.cue", "t1.wav", "t2.wav"},
         {"Rough.cue", "t1.wav"},
         ""},
        {"too large",
         {{"Big", {{"b1.wav", 400 * MB}}}, {"Big v2", {{"b1.wav", 400 * MB}, {"b2.wav", 400 * MB}}}},
         {},
         {"Big.cue", "Big v2.cue", "b1.wav", "b2.wav"},
         "Nothing was sorted: 2 projects fit on no CD.\r\nProject Big v2: shares takes with Big" + tooLarge
             + "\r\nProject Big: shares takes with Big v2" + tooLarge},
    };
    for (const Case& c : cases)
        for (const bool leaveUnsortable : {false, true}) {
            Sorted s;
            WriteProject(s.root.path(), "Solo", {{"solo.wav", 400 * MB}});
            for (const auto& [name, waves] : c.projects)
                WriteProject(s.root.path(), name, waves);
            if (std::string(c.what) == "read-only")
                MakeReadOnly(s.root.path() / "Rough.cue");
            s.Read(true);
            const auto before = Snapshot(s.root.path());

            const bool refused = !c.refusal.empty() && !leaveUnsortable;
            s.ui.question.answers = {true, leaveUnsortable};
            const Result result = SortCommand(s.list, s.root.str(), s.ui.commands());
            EXPECT_EQ(result.Failed(), refused) << c.what;
            if (refused) {
                EXPECT_EQ(result.Message(), c.refusal) << c.what;
                EXPECT_EQ(Snapshot(s.root.path()), before) << c.what;
                continue;
            }
            EXPECT_TRUE(s.ui.messages.shown.empty()) << c.what;
            EXPECT_FALSE(s.Exists("Solo.cue")) << c.what;
            if (!c.together.empty()) {
                const std::vector<std::string> names = s.Names();
                const auto first = std::find(names.begin(), names.end(), c.projects.front().first);
                const std::string set =
                    "CD-" + SetLetters(s.Project(static_cast<int>(first - names.begin())).BackupNum);
                for (const std::string& file : c.together)
                    EXPECT_TRUE(s.Exists(set + "/" + file)) << c.what << ": " << set << "/" << file;
            }
            std::vector<std::string> inRoot = c.inRoot;
            inRoot.insert(inRoot.end(), {"Backup Report.txt", "BackupProjects.csv", "Backups.csv"});
            std::sort(inRoot.begin(), inRoot.end());
            std::vector<std::string> left;
            for (const auto& entry : fs::directory_iterator(s.root.path()))
                if (entry.is_regular_file())
                    left.push_back(entry.path().filename().string());
            std::sort(left.begin(), left.end());
            EXPECT_EQ(left, inRoot) << c.what;
            // What was copied is what stayed.
            for (const std::string& file : c.inRoot) {
                for (const auto& set : s.Folders()) {
                    if (s.Exists(set + "/" + file)) {
                        EXPECT_EQ(ReadFile(s.root.path() / set / file), before.at(file)) << c.what << ": " << file;
                    }
                }
            }
        }
}

} // namespace
