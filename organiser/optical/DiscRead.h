#pragma once

#include "DiscCheck.h"
#include "FileHashes.h"
#include "FileOps.h"
#include "Manifest.h"
#include "UserInterface.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvark {

// Reading a disc back without mounting it: an ISO 9660 image file, or the
// disc in a drive. xorriso lists the disc's files, where each lies and the
// MD5 the image recorded for it, from each of its two directory trees;
// Kelvark then reads the disc itself, every sector of its session once and
// in order, and checks each file against the disc's own SHA256SUMS and its
// recorded MD5. The verdict is a FolderCheck, per project as Verify gives it
// for a folder.

// A run of whole sectors of a file, from sector on, holding bytes of it.
struct DiscExtent {
    std::int64_t sector = 0;
    std::int64_t bytes = 0;
};

// A regular file of a disc.
struct DiscFile {
    std::string name; // its path on the disc, without the leading "/"
    std::vector<DiscExtent> extents; // in the file's order; several for a file of 4 GiB or more
    std::optional<Md5> md5; // the MD5 the image recorded for it
};

// What xorriso tells of a disc: the session read and what it holds.
struct DiscListing {
    std::string volume; // the volume id
    std::int64_t start = 0; // the session's first sector
    std::int64_t sectors = 0; // its sectors
    std::vector<DiscFile> files;
    std::vector<std::string> folders; // every folder but the root, as a path like the files'
    std::vector<std::string> others; // links and other entries that are neither
    // What the listing found damaged, in sentences: the Joliet tree, or the
    // primary tree it had to do without.
    std::vector<std::string> damage;
};

// A disc to read: an image file, or a drive's device ("/dev/sr0", or
// "stdio:FILE" for a file taken as a drive).
struct DiscSource {
    std::string path;
    bool drive = false;
};

struct ListedDisc {
    DiscSource source;
    DiscListing listing;
};

// Lists each disc through xorriso, nothing of its files' contents read yet:
// its primary tree, and its Joliet tree to hold against it (the listing's
// damage). A disc whose primary tree can't be read is listed from its Joliet
// tree, and its damage says so. A disc that can't be listed or holds no
// SHA256SUMS at its root gets a sentence in result.refusals instead, as does
// DiscFolderRefusal for all of them; a stop sets result.stopped.
std::vector<ListedDisc> ListDiscs(const std::vector<DiscSource>& discs, Progress& progress, VerifyResult& result);

// Why no disc can be checked here: the temporary folder a disc's check
// needs (TMPDIR's, else /tmp) is no folder Kelvark may write into; empty
// when it is. Each command that reads a disc asks before it changes anything.
std::string DiscFolderRefusal();

// Reads each disc listed and appends its check to result.folders, named by
// the disc's label ("Kelvark Disc.txt": the set's name, its place in the
// backup shown once) when it is intact, or else by the image's file name (a
// drive: the volume id). The disc's damage beyond its files is named too:
// a Joliet tree whose files are not those of the primary tree, a disc read
// from its Joliet tree, sectors of no file that can't be read. Each file is
// checked against SHA256SUMS and the MD5 the image recorded: a file whose
// SHA-256 or MD5 differs is changed; a file whose sectors can't be read is
// unreadable, with the first sector lost; the others are still checked. A
// file whose extents overlap another's or run backwards (a damaged directory
// record) is read on its own after the rest. A SHA256SUMS that can't be read
// adds a refusal; one that differs from its recorded MD5 is a changed file
// of no project. Progress counts the mebibytes read, its text says how much
// and how long is left (ReadingProgress); a stop ends the reading within a
// block and sets result.stopped: the files not reached are not checked, and
// a disc whose SHA256SUMS was not reached gets no check. Of SHA256SUMS's
// lines that are not checksum lines, the first MalformedShown are kept, all
// of them with all.
void ReadDiscs(const std::vector<ListedDisc>& discs, Progress& progress, bool all, VerifyResult& result);

// Opens the image or the drive's device of source for reading; -1 in the
// descriptor, with errno set, when it can't be.
FileDescriptor OpenDisc(const DiscSource& source);

// Reads file from the disc open as fd, extent by extent, a block at a time,
// giving each block to take in the file's order; take returns false to stop
// the read. Empty when it was read (or stopped), else why not: the error and
// the sector where it met it, or where the image or the disc ends.
std::string ReadDiscFile(int fd, bool drive, const DiscFile& file,
                         const std::function<bool(const char*, std::size_t)>& take);

// What ReadDiscs tells of a disc before reading its files' contents: its
// SHA256SUMS (manifest), its name and place from its label, and which project
// each listed file belongs to, from its project files. Only those files are
// read, through their extents. Refused when SHA256SUMS can't be read, or
// when the label is not the one SHA256SUMS lists (a changed label names no
// disc); stopped when progress asked to stop.
Result ReadDiscProjects(const ListedDisc& disc, Progress& progress, FolderCheck& check, Manifest& manifest);

// The read-back after a burn: lists and reads the disc in device ("/dev/sr0",
// "stdio:FILE").
VerifyResult ReadBack(const std::string& device, Progress& progress);

} // namespace kelvark
