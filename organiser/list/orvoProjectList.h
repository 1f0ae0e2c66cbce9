#pragma once

#include "FolderOwners.h"
#include "Medium.h"
#include "Regional.h"
#include "UserInterface.h"
#include "acList.h"
#include "idata_common.h"
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

// Why project can't take wave, a wave the folder read did not find: a
// FileFailure line.
std::string WaveFailure(const orvoProject& project, const std::string& wave);
// True when the wave's file is not in the project's folder at all.
bool WaveMissing(const orvoProject& project, const std::string& wave);

// The shape of every failure to move, copy or rename a file:
// Project NAME: can't VERB "FILE" to "DEST": REASON (without " to …" when dest
// is empty, and "Can't …" alone for files of no project).
std::string FileFailure(const std::string& project, const std::string& verb, const std::string& file,
                        const std::string& dest, const std::string& reason);

// The texts of a project's row in a list of projects: name, size in MB ("-"
// for a read-only project), tracks, waves, set letters and the share used.
using GridRow = std::array<std::string, 6>;

// The projects of one root folder: the folder read, the plan of its sets, the
// rows of the grid and the texts of the reports. ReadFolder returns true on
// failure with the folder's error listing in LastError. The operations that
// change files are the commands' (Commands.h), planned by Plans.h.
class orvoProjectList final {
public:
    explicit orvoProjectList(UserInterface ui) : ui(ui) {}

    acList<orvoProject> projects;
    int numBackups = 0;
    // The sets of earlier sorts of the folder, which the plan's sets follow:
    // its set n is lettered SetLetters(firstSet + n) (DVD-C after DVD-A, DVD-B).
    int firstSet = 0;
    // The set names of the folder's backups known from elsewhere ("DVD-B"),
    // which the plan's sets follow too: the catalogue's discs of the folder.
    std::vector<std::string> knownSets;
    // Why the catalogue could not be read for knownSets, empty when it was:
    // said once, by the read, and not again by the sort that follows.
    std::string catalogueFault;
    // The projects a sort leaves in the folder as a disc of the folder's
    // backups holds them already, the same byte for byte: each with that disc's set name.
    std::unordered_map<const orvoProject*, std::string> onDisc;
    // The folder the last ReadFolder read, and whether the user stopped it
    // before its end (the projects after the stop are not read).
    std::string readFrom;
    bool readStopped = false;
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
    // costs of a set's files (DiscCost), its projects' lines in its label and
    // its own two files add up to at most its ProjectsRoom, which leaves the
    // padding a burn writes after the image.
    // Projects that play a common file go into one set, or all into none.
    void CalcBackup(const Medium& ForMedium);
    // Why the plan left project in no set: "larger than one CD (680.5 MB)", or
    // for a project that shares files with others "shares takes with A;
    // together they need 5.1 GB, more than one DVD".
    std::string NoSetReason(const orvoProject& project) const;
    // What each set of the plan holds, in set order.
    struct SetTotal {
        std::string name; // "DVD-C"
        int projects = 0;
        std::int64_t files = 0;
        std::int64_t bytes = 0; // what the files cost on the disc, its SHA256SUMS and label (DiscFilesCost) with them
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
    // Scans RootFolder and reads every accepted project. True when no folder
    // was given, the folder could not be listed or a project reported an
    // error; the folder's error listing is then in LastError.
    bool ReadFolder(const std::string& RootFolder, bool chkMix, bool chkRegular);

    // The three reports of the plan, in the order they are written; the
    // projects of notSorted, which a sort leaves in the folder, are named
    // apart in the text report.
    ReportTexts Reports(const std::string& prefix, const std::unordered_set<const orvoProject*>& notSorted) const;
    // Removes a project that left the folder from the list and the owners.
    void Drop(const orvoProject& project);
    // The project's own files were renamed to newName's, each from its old name to its new one.
    void Renamed(orvoProject& project, const std::string& newName,
                 const std::vector<std::pair<std::string, std::string>>& renames);

private:
    // A file that projects of the list play: each of them by its position
    // in the list, with what the file costs in its size, in list order.
    struct Share {
        std::vector<std::pair<int, std::int64_t>> players;
    };
    std::vector<Share> Shares() const;
    // Why the projects of groups too large for one disc are in no set.
    std::unordered_map<const orvoProject*, std::string> sharedNoSet;

    UserInterface ui;
};

} // namespace kelvark
