#pragma once

#include <array>
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

// A SHA256SUMS as read: the files it lists, in its order, and a sentence for
// each line that is not a checksum line.
struct Manifest {
    std::vector<ManifestEntry> entries;
    std::vector<std::string> malformed;
};

// One line of the file, its line feed included.
std::string ManifestLine(const ManifestEntry& entry);
// The lines of text. Lines starting with "#" are remarks; "*" in place of the
// second space (sha256sum's binary mode) is read as a space. A line that is
// not a checksum line, or lists a name a second time, is left out and named in
// malformed ("Line 3 of SHA256SUMS is not a checksum line.").
Manifest ParseManifest(std::string_view text);

// Reads folder's SHA256SUMS (folder ends with the separator).
std::error_code ReadManifest(const std::string& folder, Manifest& manifest);
// Writes folder's SHA256SUMS whole or not at all (a hidden file beside it,
// flushed to the disk, then renamed). An existing SHA256SUMS is replaced only
// when replace; else it is an error (EEXIST).
std::error_code WriteManifest(const std::string& folder, const std::vector<ManifestEntry>& entries, bool replace);

// The names of a folder's ordinary files (in listing order) that manifest does
// not list, SHA256SUMS itself aside, in the same order.
std::vector<std::string> Unlisted(const Manifest& manifest, const std::vector<std::string_view>& names);

} // namespace kelvark
