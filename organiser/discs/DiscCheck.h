#pragma once

#include "DiscLabel.h"
#include "Manifest.h"
#include "Result.h"
#include "UserInterface.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvark {

// Checksums on every disc, and the check of a disc against them: which
// projects are still whole, byte for byte. The window and the command line
// both run these and show the sentences they give.

// Writing the checksums: the set folders of a folder (the folder itself when
// its name is a set folder's, CD-A or DVD-C), each getting one SHA256SUMS of
// its files, hidden ones included.
struct ChecksumPlan {
    std::vector<std::string> folders; // full paths, ending with the separator, in set order
    // The folder whose lock the writing holds: the folder given, or the one
    // holding the set folder given, as a sort of that folder does.
    std::string root;
    std::int64_t bytes = 0; // what writing them reads
    std::vector<std::string> holding; // the names of those that hold a SHA256SUMS already
    bool replace = false; // their SHA256SUMS may be replaced
    std::string refusal; // why nothing may be written; empty when it may
};
// What a plan does with the set folders that hold a SHA256SUMS already:
// refuse to write any (naming them), replace theirs, or keep theirs and
// write the others only.
enum class HeldSums : unsigned char { Refuse, Replace, Keep };
// The plan; holding names the set folders that held a SHA256SUMS, whatever held.
ChecksumPlan PlanChecksums(const std::string& folder, HeldSums held);

// What writing the checksums did: one sentence per set folder, in set order.
// Offered once a Backup Sort has ended: "Write checksums into the 6 set
// folders now? Reading 27.4 GB takes about 2 minutes." The time is what
// reading at 300 MB a second takes, in whole minutes rounded up; "takes less
// than a minute" below one.
std::string ChecksumOffer(const ChecksumPlan& plan);

// Removes the temporary files a stopped run of this program left in the
// plan's folders, reads every file of them
// once and writes each folder's SHA256SUMS once all its files are read. A
// folder holding anything but regular files, or where a project's wave is
// missing, gets none, and neither does one with a file that can't be read;
// a stop writes none for the folders not read to their end. The caller holds
// the lock of the plan's root: a sort, an unsort or a recover moves files
// into and out of the set folders, and copies through temporary files there.
Result WriteChecksums(const ChecksumPlan& plan, Progress& progress);
Result WriteChecksums(const std::string& folder, HeldSums held, Progress& progress);

// Verifying: what each file listed in a SHA256SUMS turned out to be.
// Unlisted: a file of a project that SHA256SUMS does not list.
enum class FileState { Unchecked, Intact, Changed, Missing, Unreadable, Unlisted };

struct CheckedFile {
    std::string name; // as listed: the bytes on disk
    FileState state = FileState::Unchecked;
    std::string error; // why an unreadable file could not be read
};

// The files a project's project file names as its own or plays (positions in
// FolderCheck::files, in its order).
struct ProjectCheck {
    std::string name;
    std::vector<std::size_t> files;
};

// One set folder or disc.
struct FolderCheck {
    std::string path; // ending with the separator
    std::string name; // the set's name: its label's, else the folder's own name
    std::string place; // from its label: "disc 2 of 4 of the backup sort of 2026-12-10"; empty without one
    std::optional<DiscLabel> label; // its label, when it holds one of a set that is intact
    // The files SHA256SUMS lists, in its order; then the files of projects
    // that it does not list: missing waves and files of the folder.
    std::vector<CheckedFile> files;
    std::size_t listed = 0; // those SHA256SUMS lists
    std::vector<ProjectCheck> projects; // in listing order of their names
    std::vector<std::size_t> loose; // the listed files no project claims
    // The folder's other entries SHA256SUMS does not list, hidden ones
    // included; a folder's name ends with "/".
    std::vector<std::string> extra;
    std::vector<std::string> malformed; // SHA256SUMS's lines that are not checksum lines, the first ones
    std::size_t malformedCount = 0; // all of them
    // The damage of a disc beyond its files, each in a sentence: its Joliet
    // tree, its primary tree, its sectors that belong to no file.
    std::vector<std::string> damage;
};

struct VerifyResult {
    std::vector<std::string> refusals; // paths that hold no SHA256SUMS or cannot be read: nothing was read
    std::vector<FolderCheck> folders;
    bool stopped = false;
};

// True when every file of folder's SHA256SUMS and of its projects is
// intact, and it holds no extra file, no malformed line and no damage.
bool Whole(const FolderCheck& folder);

// Checks the set folders or discs of paths: a folder holding a SHA256SUMS,
// and each of its set folders that holds one. Every listed file is read once,
// beneath its folder; the project files in each folder, read as a folder read
// does, say which project each file belongs to and which files each project
// needs. Of the lines that are not checksum lines, the first MalformedShown
// are kept, all of them with all.
VerifyResult Verify(const std::vector<std::string>& paths, Progress& progress, bool all = false);

// Gives each file of check that SHA256SUMS lists to the projects whose
// project files in folder (read as a folder read does) name it as their own
// file or play it, and adds the waves they play that SHA256SUMS does not list:
// check.projects, check.loose and the files after check.listed. Verify does
// this on the folder it checks, a disc's read on a folder it made of the
// disc's project files. Stopped when progress asked to stop the read.
Result AttributeFiles(FolderCheck& check, const std::string& folder, Progress& progress);

// Once check's files are checked: a label whose file is not intact, or that
// SHA256SUMS does not list, does not name the folder or disc, nor tell its
// place or record it anywhere; name is its name then, the folder's or the
// image's own. Its state in check.files says that the label is changed.
void ForgetLabelUnlessIntact(FolderCheck& check, const std::string& name);
// True when manifest lists the label, with digest: a label read apart from a
// check (catalogue --add) is taken only then.
bool LabelListedAs(const Manifest& manifest, const Digest& digest);

// One line of a folder's report: a project, its files of no project, an extra
// file or a malformed line, with its faults.
struct Finding {
    std::string project; // the project's name, "not part of a project", or empty
    struct Fault {
        // "changed", "missing", "unreadable", "not in SHA256SUMS", "not checked",
        // "extra file", a malformed line, or how many more there are
        std::string kind;
        std::string files; // the files it concerns, each quoted: "a.wav", "b.wav"; empty for none
    };
    std::vector<Fault> faults; // none for an intact project
};
// The findings of a folder in the order of its lines (FolderLines).
std::vector<Finding> FolderFindings(const FolderCheck& folder);
// A finding's verdict as its line says it: "changed "a.wav"; missing "b.wav"", "intact".
std::string FindingText(const Finding& finding);

// The disc's place in its backup when its label gives it, then the
// per-project lines of a folder, its files of no project, its extra files
// and its malformed lines:
//   DVD-C: disc 3 of 4 of the backup sort of 2026-12-10
//   DVD-C: Alder Road: intact
//   DVD-C: Blue Hour: changed "Blue Hour 1.wav"; missing "Blue Hour 2.wav"
//   DVD-C: not part of a project: intact
//   DVD-C: extra file "notes.txt"
//   DVD-C: … and 12 more malformed lines (see --all)
std::vector<std::string> FolderLines(const FolderCheck& folder);
// The state that counts a project in the summary: its first fault in the
// order changed, missing, unreadable, unlisted, unchecked; intact when it has none.
FileState ProjectState(const FolderCheck& folder, const ProjectCheck& project);

// What a check of a folder found, counted: its projects by their state and
// its other findings. The catalogue keeps these and says them when shown.
struct CheckCounts {
    std::int64_t intact = 0, changed = 0, missing = 0, unreadable = 0, unlisted = 0, unchecked = 0;
    std::int64_t extra = 0; // extra files
    std::int64_t faulty = 0; // files of no project not intact
    std::int64_t malformed = 0; // malformed lines
    std::int64_t damage = 0; // faults of the disc beyond its files
};
CheckCounts CountsOf(const FolderCheck& folder);
// The summary of the counts, without the set's name: "7 projects intact, …".
std::string CountsText(const CheckCounts& counts);

// "DVD-C: 7 projects intact, 1 changed, 0 missing, 1 extra file"; projects
// unreadable, not in SHA256SUMS or not checked, faulty files of no project and
// malformed lines are added when there are any. A project counts under its
// first fault in the order changed, missing, unreadable, not in SHA256SUMS,
// not checked.
std::string FolderSummary(const FolderCheck& folder);
// After a stop: "Stopped: 120 of 300 files checked."
std::string StopSummary(const VerifyResult& result);
// The whole report of a verify, as the command line prints it and the window
// copies and saves it: the lines of each folder (FolderLines), then the
// summary of each (FolderSummary), then after a stop what was checked.
std::vector<std::string> VerifyLines(const VerifyResult& result);

} // namespace kelvark
