#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// The file operations that touch users' files. None of them ever replaces an
// existing file: an existing destination is an error (EEXIST), and a move across
// file systems is an error (EXDEV), never a silent copy.

// Moves (renames) one file. Uses an atomic no-replace rename; on file systems
// without it, a hard link followed by removing the old name.
std::error_code MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies one file with its permissions and times into a name that must not
// exist yet. A partial copy is removed when the copy fails.
std::error_code CopyNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes one file (used to undo a copy).
std::error_code RemoveFile(const std::filesystem::path& path);

// True when path names an ordinary file: a regular file, not a symbolic link,
// whose name does not start with ".".
bool IsOrdinaryFile(const std::filesystem::path& path);

// True when the file's owner may not write it.
bool IsReadOnly(const std::filesystem::path& path);

// The file's length in bytes, 0 when it cannot be read.
std::int64_t FileLength(const std::filesystem::path& path);

// The system's description of an error.
std::string Describe(const std::error_code& error);
