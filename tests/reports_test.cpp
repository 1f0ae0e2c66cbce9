#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// A list as if read from the root folder and planned for a CD.
struct Reports : Studio {
    Reports()
    {
        list.readFrom = root.str();
        list.medium = CDMedium();
    }
    // A project of the plan, set directly: the reports read only names, sets and kinds.
    void Add(const std::string& name, int set, bool regular = true)
    {
        auto project = std::make_shared<orvoProject>(ui.messages);
        project->Name = name;
        project->BackupNum = set;
        project->IsAProject = regular;
        project->ReadDir = list.readFrom;
        project->ReadFailure.clear();
        list.projects.add(project);
    }
    // Report Only, answering Yes.
    Result Write() { return ReportCommand(list, list.readFrom, ui.commands()); }
    std::string Read(const std::string& file) const { return ReadFile(root.path() / file); }
    // Hidden names count too: no temporary file may stay.
    std::vector<std::string> Files() const { return EntryNames(root.path()); }
};

TEST(Reports, WriteTheWorkedExampleByteForByte)
{
    Reports r;
    r.Add("001 Song", 0);
    r.Add("002 Ballad", 1);
    r.Add("014 Live Mix", 0, false);
    r.Add("Unplaced", -1);
    r.list.numBackups = 2;

    EXPECT_EQ(r.Write().Lines().front(), "Done.  CSV files are in folder " + r.root.str() + ".");
    EXPECT_TRUE(r.ui.messages.shown.empty());
    EXPECT_EQ(r.Read("Backup Report.txt"), "ORVEX Project Backup Organizer\r\n"
                                           "\r\nCD-A\r\n----\r\n001 Song\r\n014 Live Mix\r\n"
                                           "\r\nCD-B\r\n----\r\n002 Ballad\r\n");
    EXPECT_EQ(r.Read("Backups.csv"), "BackupID, TheDate, NumCDs\r\n"
                                     "2026_12_07a, 12/07/2026, 1\r\n"
                                     "2026_12_07b, 12/07/2026, 1\r\n");
    EXPECT_EQ(r.Read("BackupProjects.csv"), "Collection, BackupID, ChronoSN, TypeProject\r\n"
                                            "TALVO, 2026_12_07a, 001, TRUE\r\n"
                                            "TALVO, 2026_12_07a, 014, FALSE\r\n"
                                            "TALVO, 2026_12_07b, 002, TRUE\r\n");
    EXPECT_EQ(r.Files(), (std::vector<std::string>{"Backup Report.txt", "BackupProjects.csv", "Backups.csv"}));
}

TEST(Reports, WriteHeadingsForEmptySetsAndOnlyTitlesWithoutSets)
{
    Reports r;
    r.Add("Al", 2, false);
    r.Add("", 2);
    r.Add("A, B", 0);
    r.list.numBackups = 3;
    r.list.regional.dateSeparator = ".";
    r.list.medium = DVDMedium();

    EXPECT_FALSE(r.Write().Failed());
    EXPECT_EQ(r.Read("Backup Report.txt"), "ORVEX Project Backup Organizer\r\n"
                                           "\r\nDVD-A\r\n----\r\nA, B\r\n"
                                           "\r\nDVD-B\r\n----\r\n"
                                           "\r\nDVD-C\r\n----\r\nAl\r\n\r\n");
    EXPECT_EQ(r.Read("Backups.csv"), "BackupID, TheDate, NumCDs\r\n"
                                     "2026_12_07a, 12.07.2026, 1\r\n"
                                     "2026_12_07b, 12.07.2026, 1\r\n"
                                     "2026_12_07c, 12.07.2026, 1\r\n");
    EXPECT_EQ(r.Read("BackupProjects.csv"), "Collection, BackupID, ChronoSN, TypeProject\r\n"
                                            "TALVO, 2026_12_07a, A, , TRUE\r\n"
                                            "TALVO, 2026_12_07c, Al, FALSE\r\n"
                                            "TALVO, 2026_12_07c, , TRUE\r\n");

    // Without sets: the title and the headers only, and the old files replaced.
    r.list.numBackups = 0;
    r.list.medium = CDMedium();
    EXPECT_FALSE(r.Write().Failed());
    EXPECT_EQ(r.Read("Backup Report.txt"), "ORVEX Project Backup Organizer\r\n");
    EXPECT_EQ(r.Read("Backups.csv"), "BackupID, TheDate, NumCDs\r\n");
    EXPECT_EQ(r.Read("BackupProjects.csv"), "Collection, BackupID, ChronoSN, TypeProject\r\n");
}

TEST(Reports, KeepOneBackupIdDateAcrossMidnight)
{
    Reports r;
    r.Add("001 Song", 0);
    r.Add("002 Ballad", 1);
    r.list.numBackups = 2;
    int calls = 0;
    r.list.regional.today = [&calls] {
        using namespace std::chrono;
        return ++calls == 1 ? year_month_day{year{2026}, December, day{31}}
                            : year_month_day{year{2027}, January, day{1}};
    };
    EXPECT_FALSE(r.Write().Failed());
    EXPECT_EQ(r.Read("Backups.csv"), "BackupID, TheDate, NumCDs\r\n"
                                     "2026_12_31a, 01/01/2027, 1\r\n"
                                     "2026_12_31b, 01/01/2027, 1\r\n");
    EXPECT_EQ(r.Read("BackupProjects.csv"), "Collection, BackupID, ChronoSN, TypeProject\r\n"
                                            "TALVO, 2026_12_31a, 001, TRUE\r\n"
                                            "TALVO, 2026_12_31b, 002, TRUE\r\n");
}

TEST(Reports, LetterSetsBeyondZInBothCases)
{
    Reports r;
    r.Add("Late", 27);
    r.list.numBackups = 28;
    EXPECT_FALSE(r.Write().Failed());
    EXPECT_NE(r.Read("Backup Report.txt").find("\r\nCD-AA\r\n----\r\n\r\nCD-AB\r\n----\r\nLate\r\n"),
              std::string::npos);
    EXPECT_NE(r.Read("Backups.csv").find("2026_12_07ab, 12/07/2026, 1\r\n"), std::string::npos);
    EXPECT_EQ(r.Read("BackupProjects.csv"), "Collection, BackupID, ChronoSN, TypeProject\r\n"
                                            "TALVO, 2026_12_07ab, Lat, TRUE\r\n");
}

TEST(Reports, SayNothingButTheirOwnMessageForAMissingFolder)
{
    Reports r;
    r.list.readFrom = r.root.str() + "gone/";
    r.Add("Song", 0);
    r.list.numBackups = 1;
    EXPECT_TRUE(r.Write().Failed());
    EXPECT_EQ(r.ui.messages.shown, std::vector<std::string>{"Could not write the log report."});
}

TEST(Reports, KeepAReadOnlyReportAndShowTheError)
{
    Reports r;
    WriteFile(r.root.path() / "BackupProjects.csv", "kept");
    MakeReadOnly(r.root.path() / "BackupProjects.csv");
    r.Add("Song", 0);
    r.list.numBackups = 1;
    const auto before = Snapshot(r.root.path());

    EXPECT_TRUE(r.Write().Failed());
    const std::string denied =
        "error " + std::to_string(EACCES) + " " + std::make_error_code(std::errc::permission_denied).message();
    EXPECT_EQ(r.ui.messages.shown,
              (std::vector<std::string>{denied, "Could not write the projects CSV file for import to TALVO DB."}));
    EXPECT_TRUE(r.Read("Backups.csv").starts_with("BackupID, TheDate, NumCDs\r\n")); // the files before it stay
    ExpectNothingLost(before, r.root.path());
    EXPECT_EQ(r.Files(), (std::vector<std::string>{"Backup Report.txt", "BackupProjects.csv", "Backups.csv"}));
}

TEST(Reports, FailAndKeepTheOldFileWhenAWriteFails)
{
    Reports r;
    r.Add("001 Song", 0);
    r.list.numBackups = 1;
    WriteFile(r.root.path() / "Backup Report.txt", "the previous report");
    WriteFile(r.root.path() / "Backups.csv", "the previous sets");
    const auto before = Snapshot(r.root.path());
    Result result;
    {
        const FileSizeLimit limit(20); // nothing else may be written meanwhile, test output included
        result = r.Write();
    }
    EXPECT_TRUE(result.Failed());
    const std::string tooLarge =
        "error " + std::to_string(EFBIG) + " " + std::make_error_code(std::errc::file_too_large).message();
    EXPECT_EQ(r.ui.messages.shown, (std::vector<std::string>{tooLarge, "Could not write the log report."}));
    ExpectNothingLost(before, r.root.path());
    EXPECT_EQ(r.Files(), (std::vector<std::string>{"Backup Report.txt", "Backups.csv"}));
}

} // namespace
