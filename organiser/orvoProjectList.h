#pragma once

#include "FilePlan.h"
#include "Journal.h"
#include "FolderOwners.h"
#include "Regional.h"
#include "UserInterface.h"
#include "acList.h"
#include "orvoProject.h"

#include <cstdint>
#include <string>

// The projects of one root folder and every operation on them. Operations that
// can fail return true on failure; MoveTest returns true when it found
// conflicts. The operations take what they act on as arguments: the window
// and the command line turn their selection into projects.
class orvoProjectList final {
public:
    explicit orvoProjectList(UserInterface ui) : ui(ui) {}

    acList<orvoProject> projects;
    int numBackups = 0;
    std::string LastError;
    Regional regional;
    // Who owns each file of the folder read last.
    FolderOwners owners;

    // Packs the projects into sets that each fit one CD or one DVD.
    void CalcBackup(bool ForCD);
    // Shows one row per project.
    void FillGrid(Grid& g) const;
    // Moves the projects into destDir, dropping from the list each project
    // whose files left the folder (a read-only project is copied and stays).
    Outcome MoveList(const std::vector<orvoProject*>& selected, const std::string& destDir);
    // True when a file of one of the projects already exists in destDir, or
    // the move must not run; the listing is in LastError.
    bool MoveTest(const std::vector<orvoProject*>& selected, const std::string& destDir);
    // Scans RootFolder and reads every accepted project. True when a project
    // reported an error; the folder's error listing is then in LastError.
    bool ReadFolder(const std::string& RootFolder, bool chkMix, bool chkRegular);
    // Creates the backup folders, moves every project into its set's folder
    // and writes the reports. True when it was refused, failed or stopped.
    bool Rearrange(const std::string& RootFolder, const std::string& prefix);
    // Renames one project's own files; true on failure, shown to the user.
    bool RenameProject(orvoProject& project, const std::string& newName);
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
    // The three reports of the plan, in the order they are written.
    ReportTexts Reports(const std::string& prefix) const;

    // Capacities of one set, in bytes; a set's total stays strictly below.
    static constexpr std::int64_t CDCapacity = 680525824;   // 649 MiB
    static constexpr std::int64_t DVDCapacity = 4600000000; // 4.6 GB, fits a single-layer DVD

private:
    void AddFolderError(const std::string& text);
    // Why the list must not act on RootFolder: it was read from another folder. Empty when it was not.
    std::string ReadElsewhere(const std::string& RootFolder) const;
    // The plan of a move of the projects into destDir.
    FilePlan PlanMove(const std::vector<orvoProject*>& selected, const std::string& destDir);
    // Takes folder's lock for an operation of kind; false, after telling the user why, when it can't.
    bool Locked(Journal& journal, const std::string& folder, Operation kind);
    // Runs plan under journal (locked) unless it has refusals, which are shown.
    Outcome Execute(Journal& journal, FilePlan& plan);
    // Removes a project that left the folder from the list and the owners.
    void Drop(const orvoProject& project);

    UserInterface ui;
};
