#pragma once

#include "FilePlan.h"
#include "Result.h"
#include "orvoProjectList.h"

#include <string>
#include <utility>
#include <vector>

namespace kelvark {

// One planner per operation that changes files. Each works the whole
// operation out before anything changes, as a FilePlan whose refusals say why
// it must not run; the reports a plan writes are part of it.

// Why the list must not act on RootFolder: it holds the projects of another
// folder, "Read the folder first: …", or its read was stopped before the end.
Result ListRefusal(const orvoProjectList& list, const std::string& RootFolder);

// Backup Sort: every project into its set's folder, the read-only ones
// copied, then the reports. Its sets follow those of earlier sorts
// (list.firstSet), whose set folders it never writes into; an earlier sort's
// reports are renamed with its date first. With leaveUnsortable the projects it can't take
// stay in the folder and the text report names them; without, they refuse it.
// The projects of list.onDisc, which a disc holds already, stay in the folder too.
FilePlan PlanSort(const orvoProjectList& list, const std::string& RootFolder, bool leaveUnsortable);

// Report Only: the three reports of the plan, written into RootFolder after
// an earlier sort's reports are renamed with its date, as PlanSort does.
FilePlan PlanReports(const orvoProjectList& list, const std::string& RootFolder);

// The move of the selected projects into destDir.
FilePlan PlanMove(const orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& destDir);
// The conflict test before a move: the files of the selected projects that
// destDir holds already, "Already in destination directory: …", and why the
// move must not run. Done when there are none.
Result MoveTest(const orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& destDir);

// The rename of project's own files to newName's, and each file's old and new name.
struct RenamePlan {
    FilePlan plan;
    std::vector<std::pair<std::string, std::string>> renames;
};
RenamePlan PlanRename(const orvoProjectList& list, orvoProject& project, const std::string& newName);

// Undo backup sort: the plan that moves every regular file of the root
// folder's set folders of one medium, those of its latest sort (as their
// labels tell), back into the root folder, one unit per folder, in set
// order. A read-only project's files were copied into its set: the root
// folder still holds them, and their copies, the same byte for byte, are
// removed instead.
struct UnsortPlan {
    std::size_t files = 0; // files moved back or copies removed
    FilePlan plan; // its folders are the set folders' names
};
UnsortPlan PlanUnsort(const std::string& RootFolder, const Medium& medium);

// The first set a new plan of medium's sets for RootFolder letters: the one
// after the last set folder of the medium that holds a sort, and after the
// last of taken (set names known from elsewhere: "DVD-B") of the medium.
int FirstFreeSet(const std::string& RootFolder, const Medium& medium, const std::vector<std::string>& taken);

// Why the backup commands refuse a list that does not hold the projects of RootFolder.
std::string ReadFolderFirst(const std::string& RootFolder);

} // namespace kelvark
