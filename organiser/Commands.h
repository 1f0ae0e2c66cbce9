#pragma once

#include "UserInterface.h"
#include "orvoProjectList.h"

#include <string>
#include <system_error>
#include <vector>

// The command sequences that the window and the command line share.

// "CD" or "DVD".
std::string MediumPrefix(bool forCD);
// "649 megabytes" or "4.6 gigabytes".
std::string MediumSize(bool forCD);
// Why a project is in no set of the plan for the medium: it does not fit an
// empty one. "Larger than one CD (649 MB)" or "Larger than one DVD (4.6 GB)".
std::string NoSetReason(bool forCD);
// The names of the projects that the last plan left in no set, in list order.
std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list);
// Says which projects fit on no disc of the medium, naming the first ten:
// "These projects fit on no CD: A, B." or "This project fits on no DVD: A.".
std::string NoSetNotice(const std::vector<std::string>& names, bool forCD);
// The Backup Sort question, asked with the title "Backup sort".
std::string BackupSortQuestion(bool forCD);
inline const std::string BackupSortTitle = "Backup sort";

// Read folder: scan, plan for the medium and fill the grid. True when the scan
// recorded errors (the listing is in list.LastError).
bool ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix,
                       bool chkRegular, bool forCD, Grid& g);

// Backup Sort (sort true, after the user agreed) or Report Only: rearranges
// when asked to, writes the three reports and says where they are. True when a
// step stopped the command (it has told the user why).
bool BackupCommand(orvoProjectList& list, const std::string& RootFolder, bool forCD, bool sort,
                   Messages& messages);

// The projects of the selected rows, in list order.
std::vector<orvoProject*> Selection(const orvoProjectList& list, const Grid& g);

// Move: the conflict test, then the move of the projects and a new grid.
// True when the test found conflicts (shown to the user; nothing moved), or
// the move failed or stopped.
bool MoveCommand(orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& MoveFolder,
                 Messages& messages, Grid& g);

// Said before a move of read-only projects, which are copied: "Ember Tide is
// read-only: its files will be copied, and stay in /music/." Empty when none is.
std::string ReadOnlyMoveNotice(const std::vector<orvoProject*>& selected);

// The set folders whose sort wrote the reports in RootFolder: none when there
// is no report, or no set folder beside it.
std::vector<std::string> SortedSetFolders(const std::string& RootFolder);
// Asked before Report Only replaces them: "Replace the reports of the backup
// sort into DVD-A … DVD-F?"
std::string ReplaceReportsQuestion(const std::vector<std::string>& folders);

// Undo backup sort: the plan that moves every regular file of the root
// folder's set folders of one medium back into the root folder, one unit per
// folder, in set order. Its refusals say why it must not run. A read-only
// project's files were copied into its set: the root folder still holds them,
// and their copies, the same byte for byte, are removed instead.
struct UnsortPlan {
    std::size_t files = 0; // files moved back or copies removed
    FilePlan plan;         // its folders are the set folders' names
};
UnsortPlan PlanUnsort(const std::string& RootFolder, bool forCD);
// The Undo backup sort question, asked with the title "Undo backup sort".
std::string UnsortQuestion(const UnsortPlan& unsort, const std::string& RootFolder);
inline const std::string UnsortTitle = "Undo backup sort";
// Moves the files back under the folder's journal, then removes the emptied
// set folders. True when it was refused, failed or stopped (the user was told
// why, except for a stop, which leaves the journal).
bool UnsortCommand(UnsortPlan& unsort, const std::string& RootFolder, Progress& progress, Messages& messages);

// True when name is a set folder of prefix ("CD" or "DVD"): the prefix, "-" and capital letters.
bool IsSetFolder(const std::string& name, const std::string& prefix);
// The names of the set folders of RootFolder of the given prefixes, in set
// order; links are not followed. The error of the listing, if any.
std::vector<std::string> SetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes,
                                    std::error_code& error);

// Why the backup commands refuse a list that does not hold the projects of RootFolder.
std::string ReadFolderFirst(const std::string& RootFolder);

// A folder string as the system keeps it: ending with the path separator.
std::string WithSeparator(std::string folder);
