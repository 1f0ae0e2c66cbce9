#pragma once

#include "FilePlan.h"
#include "FolderOwners.h"
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
    // Who owns each file of the folder read last.
    FolderOwners owners;
    // A cancel stops a sort after the current project, leaving the journal
    // for recover (the command line); else a sort goes on to its end.
    bool sortStopsOnCancel = false;

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
    // True when the reports must not be written: the list was read from
    // another folder than RootFolder, a project was not read (not
    // tested afterSort, which Rearrange tests), or a report would replace a
    // file that a project owns or plays (afterSort: only a project whose files
    // stay in the folder). The reasons are in LastError.
    bool ReportTest(const std::string& RootFolder, bool afterSort);
    // Writes "Backups.csv" and "BackupProjects.csv" into RootFolder.
    bool ReportCsv(const std::string& RootFolder);
    // Writes "Backup Report.txt" into RootFolder.
    bool ReportTxt(const std::string& RootFolder, const std::string& prefix);

    // Capacities of one set, in bytes; a set's total stays strictly below.
    static constexpr std::int64_t CDCapacity = 680525824;   // 649 MiB
    static constexpr std::int64_t DVDCapacity = 4600000000; // 4.6 GB, fits a single-layer DVD

private:
    void AddFolderError(const std::string& text);
    // Why the list must not act on RootFolder: it was read from another folder. Empty when it was not.
    std::string ReadElsewhere(const std::string& RootFolder) const;
    // The plan of a move of the selected projects into destDir.
    FilePlan PlanMove(Grid& g, const std::string& destDir);
    // Renames one project's own files; true on failure, shown to the user.
    bool RenameProject(orvoProject& project, const std::string& newName);
    // Removes a project that left the folder from the list, the grid and the owners.
    void Drop(const orvoProject& project, Grid& g);

    UserInterface ui;
};
