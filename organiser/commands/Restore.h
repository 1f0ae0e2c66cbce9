#pragma once

#include "FilePlan.h"
#include "Result.h"
#include "UserInterface.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kelvark {

// Restoring projects from their discs into a root folder: what the discs
// hold is read and planned before anything is written, then every file to
// copy is copied into the root folder's hidden staging folder (RestoreStaging)
// and checked against its disc's SHA256SUMS, and only then does a journalled
// plan move the checked copies into the root folder, one unit per project.

// What a restore asks for: the set folders, mounted discs and images of
// sources, the discs in drives, the projects to restore (every project of
// the sources when none is named), and the catalogue that tells where a
// project on none of the sources is.
struct RestoreRequest {
    std::string root; // ending with the separator
    std::vector<std::string> sources;
    std::vector<std::string> drives;
    std::vector<std::string> projects;
    std::string catalogue; // empty: none to look in
};

// What the staging found and did.
struct RestoreStaged {
    std::vector<std::string> restored; // the projects with files to move into the root folder
    std::vector<std::string> already; // the projects whose every file the root folder holds already
    std::size_t files = 0; // the files staged
};

// Under the root folder's lock: reads the sources' SHA256SUMS and project
// files, plans each file of the projects asked for (a free name: copied; a
// name taken by the same bytes: restored already; by other bytes: refused,
// naming both), then copies each file to copy into the staging folder,
// hashing it as it is copied, and puts the moves into plan (kind Restore).
// Refused, naming why, when a project is on none of the sources (with the
// disc the catalogue knows it on), when a file can't be checked or when a
// name is taken; failed when a copied file differs from its SHA256SUMS line
// or from the MD5 its image recorded, naming the project and the file.
// Whatever ends it before the plan, a stop too, leaves no staging folder.
Result StageRestore(const RestoreRequest& request, Progress& progress, FilePlan& plan, RestoreStaged& staged);

// "Restored Blue Hour, Alder Road into /music/: 23 files.", then which
// projects were there already.
Result RestoredText(const RestoreStaged& staged, const std::string& root);

// Makes undo, the plan of a stopped restore turned round, leave in the root
// folder each file it is not sure the restore put there: one is, while its
// inode, size and times are those its move left (the journal's "placed"), or
// else while it holds the bytes of its disc (the journal's SHA-256, read from
// the file). The others stay, each named by a line of the answer ("… was
// changed since it was restored; it stays."). A stop while files are read
// sets stopped; undo is then as it was.
std::vector<std::string> KeepChangedRestores(FilePlan& undo, Progress& progress, bool& stopped);

// Removes root's staging folder with the copies it holds: whatever it holds
// is a copy of a disc's file.
void RemoveStaging(const std::string& root);

} // namespace kelvark
