#pragma once

#include "FileOps.h"
#include "FolderOwners.h"
#include "idata_common.h"
#include "orvoProject.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kelvark {

// What one step does with its two files.
enum class StepKind : unsigned char {
    Move, // from takes the name to (a rename, in one folder or into another)
    Copy, // to becomes a copy of from
    Uncopy, // from, a copy of to, is removed: the undoing of a copy
};

// One file operation, from and to as full paths.
struct FileStep {
    std::string from;
    std::string to;
    StepKind kind = StepKind::Move;
};

// The size and modification time of a step's source, recorded when its unit
// moves across file systems: recover then knows the file it copied.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
};

// A file a restore moved into the root folder, as its move left it (times
// in nanoseconds since 1970): an undo takes out that very file only, one
// untouched since, whose change time would have moved with any write.
struct PlacedFile {
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    std::int64_t ctime = 0;

    static PlacedFile Of(const struct stat& status);
    bool operator==(const PlacedFile&) const = default;
};

// The steps of projects that go together: one project, or several that share
// a file. They are done together and, when one step fails, undone together,
// so no project is ever left split.
struct FileUnit {
    std::vector<orvoProject*> projects; // none in a plan read back from a journal
    std::vector<std::string> names; // the projects' names (an unsort: the set folder's)
    std::vector<FileStep> steps;
    std::vector<FileStamp> stamps; // one per step, once the unit began to move across file systems
    bool done = false; // the journal records it done
    // A restore's: each step's file's SHA-256 as its disc lists it (hex),
    // and each file as its move left it, once the journal recorded it.
    std::vector<std::string> sums;
    std::vector<PlacedFile> placed;
};

// Every kind of operation that changes files, and the writing of discs and
// images, which must see the set folders unchanged; each holds the folder's lock.
enum class Operation : unsigned char { Sort, Move, Rename, Unsort, Report, Checksum, Restore, Disc };

// The hidden folder of the root folder where a restore puts the files it
// copies from the discs, each checked, before its plan moves them into the
// root folder: the same file system, so that each move is a rename. No
// folder read takes a hidden folder's files for projects.
inline const std::string RestoreStaging = ".kelvark-restore";

// The whole list of file operations of a sort, a move, a rename, an unsort or a restore,
// worked out and checked before the first one runs, or read back from the
// journal of one that stopped.
class FilePlan final {
public:
    Operation kind = Operation::Sort;
    std::string root; // the folder the command was given, ending with "/"
    std::string dest; // a move's destination, ending with "/"
    // Set folders in root (their names): a sort makes them before its first
    // step, an unsort removes them, emptied, after its last.
    std::vector<std::string> folders;
    bool makesFolders = true;
    std::vector<FileUnit> units;
    // Kelvark's own files in the way of the plan, removed before its first step.
    std::vector<OwnFile> removes;
    // The reports a sort writes into root once every unit is done: name, lines.
    // The recover of a stopped run removes those it wrote, which the journal
    // holds byte for byte: an undo gives their names back to the reports it
    // renamed, a finish writes them again. An undo keeps them for that.
    ReportTexts reports;
    std::vector<std::string> refusals; // why the plan must not run, one line each
    bool readBack = false; // read from a journal: the file system says what is done
    bool undoing = false; // the inverse of the plan the journal holds
    // A move takes a project without the waves that are not there at all;
    // any other wave that can't go refuses the plan.
    bool leavesMissingWaves = false;
    // The waves each project goes without, by project, in wave order.
    std::unordered_map<const orvoProject*, std::vector<std::string>> movedWithout;
    // A listing of root taken as the plan is made, for a plan that takes most
    // of root's files (a sort): a file it holds is an ordinary file without
    // being looked up on its own. None: each file is looked up.
    std::shared_ptr<const FolderListing> present;

    // Where an operation leaves a project's files.
    struct Destination {
        std::string label; // shown in a refusal: a folder, "copied to …", "stays"
        bool moves; // the operation takes the project's files out of the folder
        std::string set = {}; // the set folder a sort takes the files to, moved or copied
    };
    // Adds project's files (FilesToMove) to the plan, into destDir: copies when
    // the project is read-only. A file that an earlier project of the plan
    // already takes to the same place joins that project's unit. whereTo tells,
    // for every project that uses a file, where the operation leaves it: a file
    // that leaves the folder while a project that uses it stays (or goes
    // elsewhere) is refused. A file that every project using it takes into
    // one set, some of them copying, is copied: it stays for those.
    void AddProject(orvoProject& project, const std::string& destDir, const FolderOwners& owners,
                    const std::function<Destination(const orvoProject&)>& whereTo);
    // Adds one step of project's own unit (a rename).
    void AddStep(orvoProject& project, FileStep step);

    // The plan that takes every step back: units and steps newest first, each
    // step turned round (a move back, a copy removed, a removed copy made
    // again), folders made where they were removed and the other way round.
    FilePlan Inverse() const;

    // True when a run keeps the plan in the journal for recover: the reports
    // alone and the checksums are written whole or not at all, and need none,
    // nor does the writing of discs, which changes no file of the folder;
    // reports that rename an earlier sort's first do.
    bool Journaled() const
    {
        return (kind != Operation::Report || !units.empty()) && kind != Operation::Checksum && kind != Operation::Disc;
    }
    // The refusals as one message.
    std::string RefusalText() const;
    // True when unit k renames an earlier sort's reports (a sort's or Report
    // Only's; its steps stay in root, where a sort's others leave or enter it).
    bool RenamesReports(std::size_t k) const;
    // "Project A" (or "Projects A, B", "Folder DVD-A", "Reports Backups.csv") for unit k.
    std::string UnitLabel(std::size_t k) const;
    // A path as the user reads it: relative to root inside it.
    std::string Shown(const std::string& path) const;

private:
    // destination -> unit, for the files that more than one project may take
    std::unordered_map<std::string, std::size_t> planned;
    std::unordered_set<std::string> refused; // files refused for sharing, once each
};

} // namespace kelvark
