#pragma once

#include "FolderOwners.h"
#include "orvoProject.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class Journal;

// One file operation: a move (a rename, in the same folder or into another)
// or a copy of one file, from and to full paths.
struct FileStep {
    std::string from;
    std::string to;
    bool copy = false;
};

// The steps of projects that go together: one project, or several that share
// a file. They are done together and, when one step fails, undone together,
// so no project is ever left split.
struct FileUnit {
    std::vector<orvoProject*> projects;
    std::vector<FileStep> steps;
};

// The whole list of file operations of a sort, a move or a rename, worked out
// and checked before the first one runs.
class FilePlan final {
public:
    std::vector<std::string> folders; // made before the first step
    std::vector<FileUnit> units;
    std::vector<std::string> refusals; // why the plan must not run, one line each

    // Where an operation leaves a project's files.
    struct Destination {
        std::string label; // shown in a refusal: a folder, "copied to …", "stays"
        bool moves;        // the operation takes the project's files out of the folder
    };
    // Adds project's files (FilesToMove) to the plan, into destDir: copies when
    // the project is read-only. A file that an earlier project of the plan
    // already takes to the same place joins that project's unit. whereTo tells,
    // for every project that uses a file, where the operation leaves it: a file
    // that leaves the folder while a project that uses it stays (or goes
    // elsewhere) is refused.
    void AddProject(orvoProject& project, const std::string& destDir, const FolderOwners& owners,
                    const std::function<Destination(const orvoProject&)>& whereTo);
    // Adds one step of project's own unit (a rename).
    void AddStep(orvoProject& project, FileStep step);

    // Runs the steps of unit k and records it done in journal. On failure the
    // steps done are taken back, newest first, and the returned text says what
    // failed and what could not be taken back (the journal then stays for
    // recover); empty on success. Moves to another file system copy every file
    // of the unit, then remove the sources.
    std::string RunUnit(std::size_t k, Journal* journal = nullptr) const;

    // The refusals as one message.
    std::string RefusalText() const;

private:
    std::string CopyUnitAcross(std::size_t k) const;

    std::unordered_map<std::string, std::size_t> planned; // destination -> unit
    std::unordered_set<std::string> refused;              // files refused for sharing, once each
};

// Why the entry at path is not a regular file (it is missing, a folder, a
// link or something else); empty when it is one.
std::string NotRegular(const std::string& path);
// Why the file folder + name cannot be moved or copied (it is missing, a
// folder, a link, not a regular file, or hidden); empty when it can.
std::string NotOrdinary(const std::string& folder, const std::string& name);

// The shape of every failure to move, copy or rename a file:
// Project NAME: can't VERB "FILE" to "DEST": REASON (without " to …" when dest
// is empty, and "Can't …" alone for files of no project).
std::string FileFailure(const std::string& project, const std::string& verb, const std::string& file,
                        const std::string& dest, const std::string& reason);
