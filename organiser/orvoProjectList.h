#pragma once

#include "Regional.h"
#include "UserInterface.h"
#include "acList.h"
#include "orvoProject.h"

#include <cstdint>
#include <string>

// The projects of one root folder and every operation on them. Operations that
// can fail return true on failure; MoveTest returns true when it found
// conflicts and RenameFiles true when it visited every project.
class orvoProjectList final {
public:
    explicit orvoProjectList(UserInterface ui) : ui(ui) {}

    acList<orvoProject> projects;
    int numBackups = 0;
    std::string LastError;
    Regional regional;

    // Packs the projects into sets that each fit one CD or one DVD.
    void CalcBackup(bool ForCD);
    // Shows one row per project.
    void FillGrid(Grid& g) const;
    // Moves the selected projects into destDir, dropping them from list and grid.
    void MoveList(Grid& g, const std::string& destDir);
    // True when a file of a selected project already exists in destDir.
    bool MoveTest(Grid& g, const std::string& destDir);
    // Scans RootFolder and reads every accepted project. True when a project
    // reported an error; the folder's error listing is then in LastError.
    bool ReadFolder(const std::string& RootFolder, bool chkMix, bool chkRegular);
    // Creates the backup folders and moves every project into its set's folder.
    bool Rearrange(const std::string& RootFolder, const std::string& prefix);
    // Asks a new name for each selected project and renames it.
    bool RenameFiles(Grid& g);
    // Writes "Backups.csv" and "BackupProjects.csv" into RootFolder.
    bool ReportCsv(const std::string& RootFolder);
    // Writes "Backup Report.txt" into RootFolder.
    bool ReportTxt(const std::string& RootFolder, const std::string& prefix);

    // Capacities of one set, in bytes; a set's total stays strictly below.
    static constexpr std::int64_t CDCapacity = 680525824;   // 649 MiB
    static constexpr std::int64_t DVDCapacity = 4600000000; // 4.6 GB, fits a single-layer DVD

private:
    void AddFolderError(const std::string& text);

    UserInterface ui;
};
