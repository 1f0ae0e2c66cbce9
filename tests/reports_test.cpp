#include "Fixtures.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

struct Reports : Studio {
    // A project of the plan, set directly: the reports read only names, sets and kinds.
    void Add(const std::string& name, int set, bool regular = true)
    {
        auto project = std::make_shared<orvoProject>(ui.messages);
        project->Name = name;
        project->BackupNum = set;
        project->IsAProject = regular;
        list.projects.add(project);
    }
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

    EXPECT_FALSE(r.list.ReportTxt(r.root.str(), "CD"));
    EXPECT_FALSE(r.list.ReportCsv(r.root.str()));
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

    EXPECT_FALSE(r.list.ReportTxt(r.root.str(), "DVD"));
    EXPECT_FALSE(r.list.ReportCsv(r.root.str()));
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
    EXPECT_FALSE(r.list.ReportTxt(r.root.str(), "CD"));
    EXPECT_FALSE(r.list.ReportCsv(r.root.str()));
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
    EXPECT_FALSE(r.list.ReportCsv(r.root.str()));
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
    EXPECT_FALSE(r.list.ReportTxt(r.root.str(), "CD"));
    EXPECT_FALSE(r.list.ReportCsv(r.root.str()));
    EXPECT_NE(r.Read("Backup Report.txt").find("\r\nCD-AA\r\n----\r\n\r\nCD-AB\r\n----\r\nLate\r\n"),
              std::string::npos);
    EXPECT_NE(r.Read("Backups.csv").find("2026_12_07ab, 12/07/2026, 1\r\n"), std::string::npos);
    EXPECT_EQ(r.Read("BackupProjects.csv"), "Collection, BackupID, ChronoSN, TypeProject\r\n"
                                            "TALVO, 2026_12_07ab, Lat, TRUE\r\n");
}

TEST(Reports, SayNothingButTheirOwnMessageForAMissingFolder)
{
    Reports r;
    const std::string missing = r.root.str() + "gone/";
    EXPECT_TRUE(r.list.ReportTxt(missing, "CD"));
    EXPECT_TRUE(r.list.ReportCsv(missing));
    EXPECT_EQ(r.ui.messages.shown, (std::vector<std::string>{"Could not write the log report.",
                                                             "Could not write the CSV file for import to TALVO DB."}));
}

TEST(Reports, KeepAReadOnlyReportAndShowTheError)
{
    Reports r;
    WriteFile(r.root.path() / "BackupProjects.csv", "kept");
    MakeReadOnly(r.root.path() / "BackupProjects.csv");
    const auto before = Snapshot(r.root.path());

    EXPECT_TRUE(r.list.ReportCsv(r.root.str()));
    const std::string denied =
        "error " + std::to_string(EACCES) + " " + std::make_error_code(std::errc::permission_denied).message();
    EXPECT_EQ(r.ui.messages.shown,
              (std::vector<std::string>{denied, "Could not write the projects CSV file for import to TALVO DB."}));
    EXPECT_EQ(r.Read("Backups.csv"), "BackupID, TheDate, NumCDs\r\n"); // the first file stays as written
    ExpectNothingLost(before, r.root.path());
    EXPECT_EQ(r.Files(), (std::vector<std::string>{"BackupProjects.csv", "Backups.csv"}));
}

TEST(Reports, FailAndKeepTheOldFileWhenAWriteFails)
{
    Reports r;
    r.Add("001 Song", 0);
    r.list.numBackups = 1;
    WriteFile(r.root.path() / "Backup Report.txt", "the previous report");
    WriteFile(r.root.path() / "Backups.csv", "the previous sets");
    const auto before = Snapshot(r.root.path());
    bool txtFailed = false;
    bool csvFailed = false;
    {
        const FileSizeLimit limit(20); // nothing else may be written meanwhile, test output included
        txtFailed = r.list.ReportTxt(r.root.str(), "CD");
        csvFailed = r.list.ReportCsv(r.root.str());
    }
    EXPECT_TRUE(txtFailed);
    EXPECT_TRUE(csvFailed);
    const std::string tooLarge =
        "error " + std::to_string(EFBIG) + " " + std::make_error_code(std::errc::file_too_large).message();
    EXPECT_EQ(r.ui.messages.shown, (std::vector<std::string>{tooLarge, "Could not write the log report.", tooLarge,
                                                             "Could not write the CSV file for import to TALVO DB."}));
    ExpectNothingLost(before, r.root.path());
    EXPECT_EQ(r.Files(), (std::vector<std::string>{"Backup Report.txt", "Backups.csv"}));
}

} // namespace
