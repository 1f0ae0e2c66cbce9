#pragma once

#include "FilePlan.h"
#include "FolderOwners.h"
#include "Journal.h"
#include "Medium.h"
#include "Regional.h"
#include "UserInterface.h"
#include "acList.h"
#include "orvoProject.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kelvark {

// Adds a line to a folder's error listing, which opens with its heading.
void AddFolderError(std::string& listing, const std::string& line);

// "Project X was not read: " and why, as an operation refuses such a project.
std::string NotReadText(const orvoProject& project);

// The texts of a project's row in a list of projects: name, size in MB ("-"
// for a read-only project), tracks, waves, set letters and the share used.
using GridRow = std::array<std::string, 6>;

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
    // How many files ReadFolder has under way at once, from 1 (one after the
    // other, on the calling thread) to MaxRequestsInFlight: on a network share
    // every open and read waits for a round trip.
    int requestsInFlight = 32;
    static constexpr int MaxRequestsInFlight = 256;

    // The medium of the last plan.
    Medium medium = DVDMedium();

    // Packs the projects into sets that each fit one disc of the medium: the
    // costs of a set's files (FileCost) add up to at most its budget.
    // Projects that play a common file go into one set, or all into none.
    void CalcBackup(const Medium& ForMedium);
    // Why the plan left project in no set: "larger than one CD (649 MB)", or
    // for a project that shares files with others "shares takes with A;
    // together they need 5.1 GB, more than one DVD".
    std::string NoSetReason(const orvoProject& project) const;
    // What each set of the plan holds, in set order.
    struct SetTotal {
        std::string name; // "DVD-C"
        int projects = 0;
        std::int64_t files = 0;
        std::int64_t bytes = 0; // what the files cost on the disc
    };
    std::vector<SetTotal> SetTotals() const;
    // A project the sort must leave in the folder, and why.
    struct Unsortable {
        const orvoProject* project;
        std::string reason;
    };
    // The projects a sort can't take, in list order: not read, in no set, a
    // wave not found or named so that no file has it, or a file shared with
    // such a project.
    std::vector<Unsortable> UnsortableProjects() const;
    // One row per project: row i shows project i.
    std::vector<GridRow> FillGrid() const;
    // Moves the projects into destDir, dropping from the list each project
    // whose files left the folder (a read-only project is copied and stays).
    Outcome MoveList(const std::vector<orvoProject*>& selected, const std::string& destDir);
    // True when a file of one of the projects already exists in destDir, or
    // the move must not run; the listing is in LastError.
    bool MoveTest(const std::vector<orvoProject*>& selected, const std::string& destDir);
    // Scans RootFolder and reads every accepted project. True when no folder
    // was given, the folder could not be listed or a project reported an
    // error; the folder's error listing is then in LastError.
    bool ReadFolder(const std::string& RootFolder, bool chkMix, bool chkRegular);
    // Creates the backup folders, moves every project into its set's folder
    // and writes the reports. True when it was refused, failed or stopped.
    // With leaveUnsortable, the projects it can't take stay in the folder and
    // the text report names them; without, they refuse the sort.
    bool Rearrange(const std::string& RootFolder, const std::string& prefix, bool leaveUnsortable = false);
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

private:
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

    // A file that projects of the list play: each of them by its position
    // in the list, with what the file costs in its size, in list order.
    struct Share {
        std::vector<std::pair<int, std::int64_t>> players;
    };
    std::vector<Share> Shares() const;
    // Why the projects of groups too large for one disc are in no set.
    std::unordered_map<const orvoProject*, std::string> sharedNoSet;

    // The projects the sort in progress leaves in the folder.
    std::unordered_set<const orvoProject*> notSorted;

    UserInterface ui;
};

} // namespace kelvark
