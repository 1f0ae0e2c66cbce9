#pragma once

#include "UserInterface.h"
#include "orvoProjectList.h"

#include <string>
#include <system_error>
#include <vector>

namespace kelvark {

// The command sequences that the window and the command line share.

// Names as a message lists them: "A, B, C", the first ten and "and N more"
// after them; with quoted, each in double quotes. unnamed counts the names
// beyond those given, which a caller of thousands needs not make.
std::string NamedList(const std::vector<std::string>& names, bool quoted = false, std::size_t unnamed = 0);

// Why the last plan left project in no set: it does not fit an empty one,
// "Larger than one CD (649 MB)", or it shares files with projects that do not
// fit one together, "Shares takes with A; together they need 5.1 GB, more than one DVD".
std::string NoSetReason(const orvoProjectList& list, const orvoProject& project);
// The names of the projects that the last plan left in no set, in list order.
std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list);
// Says which projects fit on no disc of the medium, naming the first ten:
// "These projects fit on no CD: A, B." or "This project fits on no DVD: A.".
std::string NoSetNotice(const std::vector<std::string>& names, const Medium& medium);
// The Backup Sort question, asked with the title "Backup sort".
std::string BackupSortQuestion(const Medium& medium);
inline const std::string BackupSortTitle = "Backup sort";
// "2 projects can't be sorted:" and a line of reason for each of the first ten.
std::string UnsortableText(const std::vector<orvoProjectList::Unsortable>& left);
// Asked before a sort when some projects can't be sorted: "2 projects can't be
// sorted: … Sort the other 9 projects and leave these in the folder?"
std::string SortTheRestQuestion(const orvoProjectList& list, const std::vector<orvoProjectList::Unsortable>& left);

// The names of the files a sort puts on the discs that a disc written for
// Windows can't keep: longer than 64 UTF-16 code units, or holding one of
// * / : ; ? \; and the files of 4 GiB or more, which a disc holds only in UDF
// or ISO 9660 level 3. Empty when there are none.
std::string DiscNamesWarning(const orvoProjectList& list);

// A set's tooltip: "DVD-C: 4,512.3 MB of 4,600.0 MB, 5 projects".
std::string SetTotalText(const orvoProjectList::SetTotal& set, const Medium& medium, const Regional& regional);
// The Size cell's tooltip of a read-only project, which the cell shows as
// "-": "Counted in the plan: 912.5 MB".
std::string ReadOnlySizeTip(const orvoProject& project, const Regional& regional);

// Read folder: scan and plan for the medium. True when the scan recorded
// errors (the listing is in list.LastError).
bool ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix, bool chkRegular,
                       const Medium& medium);

// What the backup command does with the plan of list's medium.
enum class BackupKind : unsigned char {
    Sort, // moves every project into its set, or refuses when one can't go
    SortTheRest, // leaves the projects that can't be sorted in the folder
    ReportOnly, // writes the reports, moves nothing
};
// Backup Sort (after the user agreed) or Report Only: rearranges when asked
// to, writes the three reports and says where they are. True when a step
// stopped the command (it has told the user why).
bool BackupCommand(orvoProjectList& list, const std::string& RootFolder, BackupKind kind, Messages& messages);

// Move: the conflict test, then the move of the projects. True when the test
// found conflicts (shown to the user; nothing moved), or the move failed or
// stopped.
bool MoveCommand(orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& MoveFolder,
                 Messages& messages);

// Said before a move of read-only projects, which are copied: "Ember Tide is
// read-only: its files will be copied, and stay in /music/." Empty when none is.
std::string ReadOnlyMoveNotice(const std::vector<orvoProject*>& selected);

// True when the set folder holds nothing but the checksum file a checksum
// wrote into it (what an undone sort leaves of a folder that had one): the
// sort takes such a folder as empty.
bool HoldsOnlyChecksums(const std::string& folder);
// The set folders of any medium in RootFolder that hold a backup sort: every
// one that holds more than its checksum file, in set order.
std::vector<std::string> SortedSetFolders(const std::string& RootFolder);
// Why Report Only must not plan RootFolder: its set folders hold a backup sort,
// which its reports describe. Empty when it holds none.
std::string ReportOnlyRefusal(const std::string& RootFolder);

// Undo backup sort: the plan that moves every regular file of the root
// folder's set folders of one medium back into the root folder, one unit per
// folder, in set order. Its refusals say why it must not run. A read-only
// project's files were copied into its set: the root folder still holds them,
// and their copies, the same byte for byte, are removed instead.
struct UnsortPlan {
    std::size_t files = 0; // files moved back or copies removed
    FilePlan plan; // its folders are the set folders' names
};
UnsortPlan PlanUnsort(const std::string& RootFolder, const Medium& medium);
// The Undo backup sort question, asked with the title "Undo backup sort".
std::string UnsortQuestion(const UnsortPlan& unsort, const std::string& RootFolder);
inline const std::string UnsortTitle = "Undo backup sort";
// Moves the files back under the folder's journal, then removes the emptied
// set folders. True when it was refused, failed or stopped (the user was told
// why, except for a stop, which leaves the journal).
bool UnsortCommand(UnsortPlan& unsort, const std::string& RootFolder, Progress& progress, Messages& messages);

// True when name is a set folder of prefix ("CD", "DVD", …): the prefix, "-" and capital letters.
bool IsSetFolder(const std::string& name, const std::string& prefix);
// True when name is a set folder of any medium.
bool IsAnySetFolder(const std::string& name);
// The names of the set folders of RootFolder of the given prefixes, in set
// order; links are not followed. The error of the listing, if any.
std::vector<std::string> SetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes,
                                    std::error_code& error);

// Why the backup commands refuse a list that does not hold the projects of RootFolder.
std::string ReadFolderFirst(const std::string& RootFolder);

// A folder string as the system keeps it: ending with the path separator.
std::string WithSeparator(std::string folder);

} // namespace kelvark
