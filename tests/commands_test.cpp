#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

constexpr std::uint32_t MB = 1000000;

TEST(Commands, SayWhyProjectsAreInNoSet)
{
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.push_back("P" + std::to_string(i));
    struct Case {
        std::vector<std::string> names;
        Medium medium;
        std::string notice;
    };
    const Case cases[] = {
        {{"Big"}, CDMedium(), "This project fits on no CD: Big."},
        {{"Big", "Huge"}, DVDMedium(), "These projects fit on no DVD: Big, Huge."},
        {twelve, CDMedium(), "These projects fit on no CD: P1, P2, P3, P4, P5, P6, P7, P8, P9, P10 and 2 more."},
        {{"Big"}, Media()[4], "This project fits on no BD-R: Big."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NoSetNotice(c.names, c.medium), c.notice);
}

TEST(Commands, ListTheProjectsThePlanLeftInNoSet)
{
    Studio studio;
    WriteProject(studio.root.path(), "Big", {{"big.wav", 700 * MB}});
    WriteProject(studio.root.path(), "Small", {{"small.wav", MB}});
    WriteProject(studio.root.path(), "Wide", {{"wide1.wav", 400 * MB}, {"wide2.wav", 400 * MB}});
    studio.Read(true);
    EXPECT_EQ(ProjectsInNoSet(studio.list), std::vector<std::string>({"Big", "Wide"}));
    studio.Read(false);
    EXPECT_TRUE(ProjectsInNoSet(studio.list).empty());
}

// The discs the plan needs and what they hold; the projects left in no set after them.
TEST(Commands, SumUpThePlan)
{
    Studio studio;
    EXPECT_EQ(PlanSummary(studio.list), "No disc needed");
    WriteProject(studio.root.path(), "Big", {{"big.wav", 700 * MB}});
    studio.Read(true);
    EXPECT_EQ(PlanSummary(studio.list), "1 project fits on no CD");
    WriteProject(studio.root.path(), "Wide", {{"wide1.wav", 400 * MB}, {"wide2.wav", 400 * MB}});
    WriteProject(studio.root.path(), "Small", {{"small.wav", MB}});
    studio.Read(true);
    EXPECT_EQ(PlanSummary(studio.list), "1 CD, 1.0 MB; 2 projects fit on no CD");
    studio.Read(false);
    EXPECT_EQ(PlanSummary(studio.list), "1 DVD, 1.5 GB");
    WriteProject(studio.root.path(), "Long", {{"long.wav", 4000 * MB}});
    studio.Read(false);
    EXPECT_EQ(PlanSummary(studio.list), "2 DVDs, 5.5 GB");
}

TEST(Commands, KeepFolderStringsEndingWithTheSeparator)
{
    EXPECT_EQ(WithSeparator("/studio"), "/studio/");
    EXPECT_EQ(WithSeparator("/studio/"), "/studio/");
    EXPECT_EQ(WithSeparator("/"), "/");
    EXPECT_EQ(WithSeparator(""), "");
}

TEST(ReadFolderCommand, ScansAndPlans)
{
    Studio studio;
    WriteProject(studio.root.path(), "One", {{"one.wav", 400 * MB}});
    WriteProject(studio.root.path(), "Two", {{"two.wav", 400 * MB}});
    WriteFile(studio.root.path() / "Three.cue", CueText({{{"missing.wav", 0, 10}}}));

    EXPECT_EQ(ReadFolderCommand(studio.list, studio.root.str(), false, true, CDMedium()).Message(),
              "Errors for this folder: \r\n\r\n  Project: Three\r\n     File not found: missing.wav");
    EXPECT_EQ(studio.list.numBackups, 2);
    ASSERT_EQ(studio.list.projects.Count(), 3);
    EXPECT_EQ(studio.Project(2).BackupNum, 1);

    EXPECT_FALSE(ReadFolderCommand(studio.list, studio.root.str(), true, false, DVDMedium()).Failed());
    EXPECT_EQ(studio.list.projects.Count(), 0);
}

TEST(ReportCommand, MovesNothing)
{
    Studio studio;
    WriteProject(studio.root.path(), "001 Song", {{"song.wav", 400 * MB}});
    studio.Read(false);

    EXPECT_EQ(ReportCommand(studio.list, studio.root.str(), studio.ui.commands()).Message(),
              "Done.  CSV files are in folder " + studio.root.str()
                  + ".\r\nWrote Backup Report.txt, Backups.csv, BackupProjects.csv into " + studio.root.str() + ".");
    EXPECT_TRUE(studio.ui.messages.shown.empty());
    EXPECT_TRUE(fs::exists(studio.root.path() / "001 Song.cue"));
    // The plan's medium names the sets.
    EXPECT_EQ(ReadFile(studio.root.path() / "Backup Report.txt"),
              "ORVEX Project Backup Organizer\r\n\r\nDVD-A\r\n----\r\n001 Song\r\n");
    EXPECT_TRUE(fs::exists(studio.root.path() / "Backups.csv"));
    EXPECT_TRUE(fs::exists(studio.root.path() / "BackupProjects.csv"));
}

// With no project in a set the reports would describe nothing: Report Only
// refuses before it asks to leave the projects out.
TEST(ReportCommand, RefusesWhenNoProjectIsInASet)
{
    Studio studio;
    WriteProject(studio.root.path(), "Huge", {{"huge.wav", 700 * MB}});
    studio.Read(true);

    const Result result = ReportCommand(studio.list, studio.root.str(), studio.ui.commands());
    EXPECT_EQ(result.Ended(), Result::Status::Refused);
    EXPECT_EQ(result.Message(), "Nothing was written: no project fits on one CD.\r\nThis project fits on no CD: Huge.");
    EXPECT_TRUE(studio.ui.question.asked.empty());
    EXPECT_EQ(EntryNames(studio.root.path()), (std::vector<std::string>{"Huge.cue", "huge.wav"}));
}

TEST(Commands, NameTheFilesADiscForWindowsCannotKeep)
{
    Studio studio;
    const std::string kept = std::string(60, 'k') + ".wav"; // 64 characters
    const std::string cut = std::string(61, 'c') + ".wav"; // 65
    std::string wide; // 30 characters beyond U+FFFF: 60 UTF-16 code units, and 5 more
    for (int i = 0; i < 30; ++i)
        wide += "\xF0\x9F\x8E\xB5";
    wide += ".flac";
    std::string accented; // 60 two-byte characters: 64 code units in 124 bytes
    for (int i = 0; i < 60; ++i)
        accented += "\xC3\xA9";
    accented += ".wav";
    WriteProject(studio.root.path(), "Song", {{kept}, {cut}, {wide}, {accented}, {"a;b.wav"}, {"why?.wav"}});
    studio.Read(false);
    EXPECT_EQ(DiscNamesWarning(studio.list),
              "These names are longer than a disc written for Windows keeps (64 characters): \"" + cut + "\", \"" + wide
                  + "\".\r\n\r\nThese names hold characters a disc written for Windows can't keep (* / : ; ? \\): "
                    "\"a;b.wav\", \"why?.wav\".");
}

// A wave whose header declares 4 GiB or more, and an own file of that length
// (sparse), are named; a file a byte shorter is not.
TEST(Commands, NameTheFilesOf4GiBOrMore)
{
    Studio studio;
    // The largest data chunk whose RIFF size does not wrap: the file declares 4 GiB and 7 bytes.
    const std::uint32_t largest = UINT32_MAX - static_cast<std::uint32_t>(DeclaredSize(0)) + 8;
    WriteProject(studio.root.path(), "Song", {{"huge.wav", largest}, {"small.wav"}});
    for (const auto& [name, length] :
         {std::pair{"Song.bak", LargeFileSize}, std::pair{"Song.txt", LargeFileSize - 1}}) {
        WriteFile(studio.root.path() / name, "");
        fs::resize_file(studio.root.path() / name, static_cast<std::uintmax_t>(length));
    }
    studio.Read(false);
    studio.list.CalcBackup(Media()[4]); // a BD-R holds the project
    EXPECT_EQ(DiscNamesWarning(studio.list), "These files are 4,294,967,296 bytes or larger: a disc for them needs UDF "
                                             "or ISO 9660 level 3: \"Song.bak\", \"huge.wav\".");
}

} // namespace
