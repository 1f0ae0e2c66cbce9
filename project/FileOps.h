#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <utility>

namespace kelvark {

// The file operations that touch users' files. None of them ever replaces an
// existing file: an existing destination is an error (EEXIST), and a move across
// file systems is an error (EXDEV), never a silent copy.

// The error of the last failed system call (errno).
std::error_code LastErrno();

// Moves (renames) one file. Uses an atomic no-replace rename; on file systems
// without it, a hard link followed by removing the old name; on file systems
// without either (FAT, exFAT, some shares), a look-up of the destination
// followed by a rename, which the caller's folder lock keeps safe from other
// runs of the program.
std::error_code MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// The same for the file from of the open folder fromFolder and the name to of
// the open folder toFolder (AT_FDCWD: the working folder): the kernel looks
// up the names alone, not the folders' paths again for every file.
std::error_code MoveNoReplace(int fromFolder, const char* from, int toFolder, const char* to);

// Copies one regular file with its permissions and times into a name that
// must not exist yet; a link, a folder or a special file is refused (EINVAL).
// The copy is written under a hidden name beside to, flushed to the disk, and
// takes its own name only when whole, by a no-replace move (EEXIST when the
// name is taken), so a copy cut short never passes for the file; a failed
// copy is removed.
std::error_code CopyNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates and opens for writing a new hidden file beside target (no listing
// takes it for one of the user's files), with a short name of its own and the
// permissions mode less the umask, locked (flock) for as long as the
// descriptor is open. Its name goes to temp. The file descriptor, or -1 with
// errno set.
int CreateHiddenTemp(const std::filesystem::path& target, std::filesystem::path& temp, unsigned mode);
// True when name has the shape of CreateHiddenTemp's names, ".kelvark-PID-N.tmp":
// a temporary of this program that a stop may have left behind.
bool IsHiddenTemp(std::string_view name);
// Removes from folder the temporaries (IsHiddenTemp) that runs no longer
// alive left behind when they were stopped or killed: those whose lock is
// free. A process that now has a dead run's number keeps nothing alive.
void RemoveOrphanTemps(const std::string& folder);

// Puts temp, a hidden temporary written whole through fd, in target's place:
// its bytes reach the disk and fd is closed before temp is renamed to target,
// over an existing target only when replace. Removes temp when a step fails.
std::error_code CommitTemp(int fd, const std::filesystem::path& temp, const std::filesystem::path& target,
                           bool replace);

// Writes all of data to fd, resuming after interrupted or short writes.
std::error_code WriteAll(int fd, const char* data, std::size_t size);

// Raises the process's limit of open files to what the system allows: a
// move across file systems holds every source of a project open until its
// copies are whole, and a project may have thousands of files. The
// programs call it once in their main.
void AllowManyOpenFiles();

// Flushes a folder's entries (a file made, renamed or removed) to the disk.
void SyncFolder(const std::string& folder);

// Removes one file (used to undo a copy).
std::error_code RemoveFile(const std::filesystem::path& path);

// True when the path names an entry of any kind (file, folder, link, not followed).
bool EntryExists(const std::filesystem::path& path);

// True when the file's owner may not write it.
bool IsReadOnly(const std::filesystem::path& path);

// Puts the file's length in bytes in length; the error, with length 0, when
// the file cannot be looked up.
std::error_code FileLength(const std::filesystem::path& path, std::int64_t& length);
// The length of the file name in the open folder (AT_FDCWD: the working folder).
std::error_code FileLength(int folder, const char* name, std::int64_t& length);

// An open file descriptor, closed by its owner; -1 when none.
class FileDescriptor final {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int Get() const { return fd; }

private:
    int fd = -1;
};

// Opens the folder for looking its files up by name (-1 in the descriptor when it cannot).
FileDescriptor OpenFolder(const std::string& folder);

// CopyNoReplace from a file OpenRegular opened, with the status it told.
std::error_code CopyNoReplace(const FileDescriptor& from, const struct stat& status, const std::filesystem::path& to);
// True when a and b are one file (device and inode) of the same size,
// modification time and change time: nothing was written to it, and its
// permissions and names are as they were, between the two looks.
bool SameState(const struct stat& a, const struct stat& b);
// True when the file opened as path with status opened is as it was then
// (SameState), and path still names it.
bool StillAsOpened(const FileDescriptor& file, const struct stat& opened, const std::filesystem::path& path);

// Opens the file name, relative to the open folder (AT_FDCWD: the working
// folder), for reading, with extra, and without marking it read: reading a
// folder's headers or checksums is not a use of the recordings, and leaves
// every file's inode as it was, with nothing to write back. Only a file's
// owner may ask that: a file that refuses it is opened plainly, and the next
// one is tried without access times again.
FileDescriptor OpenRead(int folder, const char* name, int extra = 0);
// Asks the kernel to start reading the file's first length bytes (0: all of
// it) at once: a read later finds them in memory, and a scan that announces
// many files keeps a cold disk busy with all of them.
void Announce(const FileDescriptor& file, std::int64_t length);
// OpenRead of a regular file, then Announce.
FileDescriptor OpenAhead(int folder, const std::string& name, std::int64_t length);
// OpenRead of a regular file: a link is not followed and nothing waits for a
// FIFO's writer or a device; what was opened is tested, and only a regular
// file is given in file, with what fstat told of it in status. The open's
// error otherwise, or EINVAL for anything else (a link included), as
// CopyNoReplace refuses it.
std::error_code OpenRegular(int folder, const char* name, FileDescriptor& file, struct stat& status);
// IsReadOnly of an open file.
bool IsReadOnly(const FileDescriptor& file);
// IsReadOnly of the file name in the open folder (AT_FDCWD: the working folder).
bool IsReadOnly(int folder, const char* name);

// Tells whether files' first bytes are in memory, found out without waiting
// for the disk. A file system that answers that it cannot tell (a network
// share) is not asked again: one probe serves one folder scan.
class MemoryProbe final {
public:
    // True when the file's first byte is in memory; false when it is not or
    // that cannot be told.
    bool InMemory(const FileDescriptor& file);

private:
    bool unsupported = false;
};

// True when both names are regular files (links not followed) of the same
// bytes, read to their ends: a copy that may stand in for the other.
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);

// True when the lookup of the name to found the very file named from, under
// another spelling: to (its status toStatus) is the file of fromStatus, which
// has no other name. A file system that folds letter case (FAT, exFAT, a
// folder with case folding) finds "Song.cue" under "song.cue"; a second name
// (a hard link) is not the same entry, and the file then has two links.
bool SameEntryOtherSpelling(const std::string& from, const std::string& to, const struct stat& fromStatus,
                            const struct stat& toStatus);

// The system's description of an error.
std::string ErrorText(const std::error_code& error);

// A folder string as the system keeps it: ending with the path separator.
std::string WithSeparator(std::string folder);

// A file of Kelvark's own that a plan removes before its first step, known by
// what it was when the plan was made: a set folder's checksums that an undone
// sort left behind, or a report that gives way to a project's file of its
// name. It is removed only while the name still gives that file.
struct OwnFile {
    std::string path;
    std::int64_t size = 0;
    std::int64_t mtime = 0; // nanoseconds since 1970
    std::uint64_t inode = 0;
};
// The OwnFile at path as it is now; false when path is not a regular file.
bool LookOwnFile(const std::string& path, OwnFile& file);

// Why the entry at path is not a regular file (it is missing, a folder, a
// link or something else); empty when it is one.
std::string NotRegular(const std::string& path);
// Why the file folder + name cannot be moved or copied (it is missing, a
// folder, a link, not a regular file, or hidden); empty when it can.
std::string NotOrdinary(const std::string& folder, const std::string& name);

} // namespace kelvark
