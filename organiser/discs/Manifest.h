#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kelvark {

// SHA256SUMS: the checksum of every file of a set folder, one line per file,
// in the format `sha256sum -c` checks: 64 lower-case hex digits, two spaces
// and the name's bytes as on disk, then a line feed. A name holding a
// backslash, a line feed or a carriage return is written with them as \\, \n
// and \r on a line that starts with a backslash, as sha256sum writes it.

inline const std::string ManifestName = "SHA256SUMS";

using Digest = std::array<unsigned char, 32>;

// The 64 lower-case hex digits of a digest.
std::string DigestHex(const Digest& digest);

struct ManifestEntry {
    std::string name;
    Digest digest{};
};

// How many sentences about lines that are not checksum lines a read keeps,
// unless asked for all; the rest are counted.
constexpr std::size_t MalformedShown = 100;

// A SHA256SUMS as read: the files it lists, in its order, and a sentence for
// each line that is not a checksum line (the first ones; all are counted).
struct Manifest {
    std::vector<ManifestEntry> entries;
    std::vector<std::string> malformed;
    std::size_t malformedCount = 0;
};

// One line of the file, its line feed included.
std::string ManifestLine(const ManifestEntry& entry);
// The lines of text, read as `sha256sum -c` reads them: a line starting with
// "#" is a remark, a carriage return before the line feed and empty lines
// are passed over; a line is "HASH  NAME" or "HASH *NAME" (binary mode),
// "HASH NAME" when the file's first checksum line is of that shape, or
// "SHA256 (NAME) = HASH", each after any white space, and a line starting
// with "\" has its name escaped. The hex digits may be of either case.
// A name is a path inside the folder: one naming a file outside it (an
// absolute path, a ".." component) is not taken; "." components and doubled
// "/" are left out of it. A line that is not a checksum line, is longer than
// 64 KiB, or lists a name a second time with another checksum, is left out
// and named in malformed ("Line 3 of SHA256SUMS is not a checksum line."),
// up to shown sentences.
Manifest ParseManifest(std::string_view text, std::size_t shown = MalformedShown);

// Reads SHA256SUMS of the open folder, block by block with bounded memory:
// a link is not followed (ELOOP), nothing waits on a pipe, and only a regular
// file is read (EISDIR for a folder, EINVAL for anything else).
std::error_code ReadManifest(int folder, Manifest& manifest, std::size_t shown = MalformedShown);
// Writes folder's SHA256SUMS whole or not at all (a hidden file beside it,
// flushed to the disk, then renamed). An existing SHA256SUMS is replaced only
// when replace; else it is an error (EEXIST).
std::error_code WriteManifest(const std::string& folder, const std::vector<ManifestEntry>& entries, bool replace);

} // namespace kelvark
