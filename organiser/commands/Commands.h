#pragma once

#include "Catalogue.h"
#include "DiscCheck.h"
#include "Result.h"
#include "UserInterface.h"
#include "orvoProjectList.h"

#include <string>
#include <system_error>
#include <vector>

namespace kelvark {

// The command sequences that the window and the command line share.

// Why the last plan left project in no set: it does not fit an empty one,
// "Larger than one CD (680.5 MB)", or it shares files with projects that do not
// fit one together, "Shares takes with A; together they need 5.1 GB, more than one DVD".
std::string NoSetReason(const orvoProjectList& list, const orvoProject& project);
// The names of the projects that the last plan left in no set, in list order.
std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list);
// Says which projects fit on no disc of the medium, naming the first ten:
// "These projects fit on no CD: A, B." or "This project fits on no DVD: A.".
std::string NoSetNotice(const std::vector<std::string>& names, const Medium& medium);
// Said when the read of folder found no project: "No ORVEX projects in
// /music." (the folder as shown, without its trailing "/"). Backup Sort and
// Report Only refuse with it.
std::string NoProjectsText(const std::string& folder);
// The Backup Sort question, asked with the title "Backup sort".
std::string BackupSortQuestion(const Medium& medium);

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
// A size in bytes with grouped digits, for a tooltip that gives a size
// exactly: "680,525,824 bytes".
std::string ExactBytes(std::int64_t bytes, const Regional& regional);

// Whom a command talks to: the window, the terminal or a test's recorders.
struct CommandUi {
    Messages& messages;
    Progress& progress;
    Question& question;
};

// The commands. Each takes what it acts on as arguments, asks its questions
// through ui in one order, plans the whole operation, takes the folder's
// lock, runs the plan through its journal, and answers one Result. A
// command that finds, or leaves, the journal of an operation that did not
// end says so in its last message and offers finish, undo or forget.

// Read folder: refused while RootFolder holds such a journal; else reads the
// folder, takes the sets catalogue knows of its backups as list.knownSets
// (a catalogue that can't be read adds its sentence to the messages), and
// plans its sets for medium. It fails when the read met errors, whose
// listing is its message.
Result ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix, bool chkRegular,
                         const Medium& medium, const std::string& catalogue = {});

// Plans the sets of the projects list holds for medium: what the grid shows,
// and what a sort or the reports take. The sets are lettered after those of
// earlier sorts: the set folders of the folder read that hold a sort, and
// list.knownSets.
void PlanCommand(orvoProjectList& list, const Medium& medium);

// Backup Sort of the projects list read from RootFolder, planned for list's
// medium: refused before any question when there are no projects, or when it
// can sort none;
// asks Sort, then DiscNames when names need it, then SortTheRest when some
// projects can't be sorted (No: the sort refuses and names them); moves the
// projects into their sets, writes the reports and says what it did.
// A sort that ran records its backup in the catalogue.
Result SortCommand(orvoProjectList& list, const std::string& RootFolder, CommandUi ui,
                   const std::string& catalogue = {});

// Report Only: writes the three reports of list's plan into RootFolder under
// the folder's lock, moving nothing. Refused when there are no projects or
// none is in a set; asks ReportWithoutSome when some fit on no disc; says
// which names a disc can't keep, and which files it wrote.
Result ReportCommand(orvoProjectList& list, const std::string& RootFolder, CommandUi ui);

// Move: asks MoveReadOnly when read-only projects are among selected (they are
// copied), runs the conflict test (MoveTest), then moves the projects into
// MoveFolder and drops those that left the folder from the list. Done, it
// says what it moved and copied: "Moved Alpha, Beta to /x/.", "Copied C to /x/.".
Result MoveCommand(orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& MoveFolder,
                   CommandUi ui);

// Renames project's own files to newName's; nothing to do when the name is
// the same. Done, it says so: "Renamed "A" to "B": 4 files."
Result RenameCommand(orvoProjectList& list, orvoProject& project, const std::string& newName, CommandUi ui);

// Undo backup sort: asks Unsort, then moves the files of RootFolder's set
// folders of medium's latest sort back and removes the emptied folders. The
// catalogue forgets the undone discs that were never written nor verified.
Result UnsortCommand(const std::string& RootFolder, const Medium& medium, CommandUi ui,
                     const std::string& catalogue = {});

// Finishes (or with undo, undoes) RootFolder's operation that did not end.
// Refused, offering forget, when the file system no longer allows it. Done,
// it says what it finished or undid (Journal::Recovered).
Result RecoverCommand(const std::string& RootFolder, bool undo, CommandUi ui);

// Forgets RootFolder's journal after asking Forget, with why (or, when empty,
// what the journal describes) and which projects are split as its finding:
// every file stays where it is.
Result ForgetCommand(const std::string& RootFolder, const std::string& why, CommandUi ui);

// Writes a SHA256SUMS into every set folder of folder (or into folder, a set
// folder itself). With offer (after a sort), asks OfferChecksums first, with
// how much there is to read; asks ReplaceChecksums when set folders hold one
// already. Its messages say what each set folder got; the catalogue gets
// each file's SHA-256.
Result ChecksumCommand(const std::string& folder, bool offer, CommandUi ui, const std::string& catalogue = {});
inline const std::string ChecksumsTitle = "Write checksums";

// Reads every file of the set folders or discs of paths against their
// SHA256SUMS (a root folder: each of its set folders that holds one; a
// regular file: a disc image) and of the discs in drives ("/dev/sr0",
// "stdio:FILE"), and tells, in checks, which projects are intact: the
// folders' first, then the discs' in the order given. Refused, naming them,
// when a path holds no SHA256SUMS or can't be read (nothing is read then);
// failed when a project is not intact or a file is extra or a line malformed.
// The catalogue gets the day and verdict of each disc or image read to its
// end and of its projects; a set folder's check is not recorded, since only
// a read of the disc checks the disc.
Result VerifyCommand(const std::vector<std::string>& paths, bool all, Progress& progress, VerifyResult& checks,
                     const std::vector<std::string>& drives = {}, const std::string& catalogue = {});

// Writes an ISO 9660 image of each set folder of RootFolder named in sets
// (all of them when empty) into the folder into, as PlanImages and
// WriteImages do, under RootFolder's lock for the whole run: refused while
// RootFolder holds the journal of an operation that did not end or another
// run holds its lock, and, naming each set that can't be written and why,
// before any image is written. Its messages name each image written and its
// read-back; the catalogue gets each one's volume id, day and path, once it
// was read back whole.
Result ImageCommand(const std::string& RootFolder, const std::string& into, const std::vector<std::string>& sets,
                    CommandUi ui, const std::string& catalogue = {});

// Where Write discs puts a set's disc: an image file in the folder images
// (DIR/CD-A.iso), or, when drive names one, the blank disc in that drive.
struct DiscTarget {
    std::string images; // ending with the separator
    std::string drive;
};

// A set folder as Write discs offers it: the sectors its disc needs against
// those its medium holds, "146,671 of 333,000 sectors", or why its disc can't
// be written to the target.
struct DiscOffer {
    std::string set;
    std::string size; // empty when it could not be measured
    std::string refusal; // empty when it can be written
};

// Lists the set folders of RootFolder in set order, each measured for target
// as writing its disc would measure it. Refused, listing none, when
// RootFolder holds no set folder or can't be read.
Result DiscOffersCommand(const std::string& RootFolder, const DiscTarget& target, Progress& progress,
                         std::vector<DiscOffer>& offers);

// Writes the disc of RootFolder's set folder set to target and reads it back
// at once, per project, into check, under RootFolder's lock for the whole
// run: refused while RootFolder holds the journal of an operation that did
// not end or another run holds its lock, or when the set's disc can't be
// written there. Failed when it could not be written, or when the disc
// written is not a whole copy of the set folder; an image that failed its
// check is removed, so that it can be written again. Its messages say what
// was written and the check's summary. A drive's disc is written as
// BurnCommand writes one set, asking for its blank disc first. The catalogue
// gets the disc's volume id, day and image or drive.
Result WriteDiscCommand(const std::string& RootFolder, const std::string& set, const DiscTarget& target, CommandUi ui,
                        VerifyResult& check, const std::string& catalogue = {});

// The optical drives, one message each: "/dev/sr0  HL-DT-ST DVDRAM GH24NSD1
// DVD+R, blank, 2,295,104 sectors free"; "No optical drive found." when
// there is none. Fails when xorriso can't be run or stop ends it.
Result DrivesCommand(const Progress& stop);

// Writes the set folders of RootFolder named in sets (all of them when
// empty), in set order, each onto a blank disc in drive ("/dev/sr0", or
// "stdio:FILE", a file taken as a drive, which must be missing or empty:
// StdioRefusal), and reads each disc back, under RootFolder's lock for the
// whole run. Refused while RootFolder holds the journal of an operation that
// did not end or another run holds its lock, and,
// naming each set that can't be written and why, before any disc is written
// (PlanImages). Asks InsertBlank before each set but the first, and before
// the first when drive holds no disc or with askFirst; a No ends the run. A disc that is not
// blank or has too little room ends the run before it is written
// (DiscRefusal); a stop or a failed write says whether the disc is spoilt.
// Its messages say what was written, then each disc's check as verify gives
// it (FolderLines, FolderSummary), which checks gets; failed when a disc is
// not intact or can't be read back. The catalogue gets each written disc's
// volume id, day and drive.
Result BurnCommand(const std::string& RootFolder, const std::vector<std::string>& sets, const std::string& drive,
                   CommandUi ui, VerifyResult& checks, bool askFirst = false, const std::string& catalogue = {});
inline const std::string BurnTitle = "Write discs";

// The catalogue's commands. catalogue names its file; the commands that
// record into it take it last, and record nothing when it is empty. A
// recording that fails never fails the command: its notice is the result's
// last message, "The catalogue FILE could not be written: WHY. …".

// Reads the set folders, mounted discs and images of paths, and the discs in
// drives, into the catalogue: each one's label, SHA256SUMS and project files.
// Refused, naming them, when a path holds no label or no SHA256SUMS; an
// image or a drive's disc is read whole, as verify reads it.
Result CatalogueAddCommand(const std::vector<std::string>& paths, const std::vector<std::string>& drives,
                           const std::string& catalogue, Progress& progress);
// The projects whose name holds text, ignoring case: rows, and one line each
// as its message.
Result WhereCommand(const std::string& text, const std::string& catalogue, std::vector<WhereRow>& rows);
// The catalogue's discs, oldest check first, those due marked: rows, and one
// line each as its message.
Result DiscsCommand(const std::string& catalogue, std::vector<DiscRow>& rows);
// Copies projects (every project of the sources when empty) from the set
// folders, mounted discs and images of sources and the discs in drives into
// RootFolder, each file checked against its disc's SHA256SUMS, as a
// journalled plan. A file never replaces another: a name taken by the same
// bytes counts as restored, one taken by other bytes refuses the restore. A
// project on none of the sources is looked up in catalogue.
Result RestoreCommand(const std::string& RootFolder, const std::vector<std::string>& sources,
                      const std::vector<std::string>& drives, const std::vector<std::string>& projects, CommandUi ui,
                      const std::string& catalogue);

// The plan in one line: how many discs of its medium it needs and what they
// hold in all, "14 DVDs, 63.2 GB", then the projects it left in no set, "; 2
// projects fit on no DVD"; "No disc needed" when the list holds no project.
std::string PlanSummary(const orvoProjectList& list);

} // namespace kelvark
