#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvark {

// Kelvark Disc.txt: what a disc is, written by a Backup Sort into each set
// folder, so that a disc found years later tells the backup it belongs to,
// its place in it, its medium and its projects. Its lines, each ending with
// CR LF as the reports' do:
//   Kelvark backup disc
//   This is disc 2 of 4 of the backup sort of 2026-12-10 13:05, DVD-B.
//   Medium: DVD (dvd)
//   Backed up from: /music
//   Disc id: 3f9a0c1b2d4e5f60
//   Discs of this backup: DVD-A to DVD-D
//   Projects on this disc: 3
//   Alder Road
//   …
inline const std::string DiscLabelName = "Kelvark Disc.txt";

struct DiscLabel {
    std::string set; // "DVD-B"
    int number = 0; // its place among the backup's discs, from 1
    int count = 0; // the backup's discs
    std::string date; // the day of the sort, "2026-12-10"
    std::string medium; // the medium's key, "dvd", or a custom disk's size in bytes
    std::string mediumName; // "DVD"
    std::string first, last; // the backup's first and last discs, "DVD-A", "DVD-D"
    std::vector<std::string> projects; // on this disc, in the order of the folder's list
    // The folder sorted, "/music": with the date and the set it tells the
    // catalogue which disc this is. Empty on labels written before it was.
    std::string root;
    // The time of day of the sort, "13:05", which tells two sorts of one
    // day apart; empty on labels written before it was.
    std::string time = {};
    // The disc's identity, drawn at random by its sort (NewDiscId): two
    // discs with one set name and root are still two discs. Empty on labels
    // written before it was.
    std::string id = {};
};

// A new disc's identity: 16 lowercase hex digits from the system's random source.
std::string NewDiscId();

// The folder given (or an image file) as a label and the catalogue name it: "/music",
// absolute, without trailing separators ("/" stays itself).
std::string DiscRoot(const std::string& given);

// The heading and the projects' lines of a disc's label, without line ends.
std::vector<std::string> DiscLabelLines(const DiscLabel& label);
// Where the disc stands in its backup: "disc 2 of 4 of the backup sort of
// 2026-12-10 13:05" (without the time on older labels), and with its name,
// DiscPlace: "…, DVD-B".
std::string BackupPlace(const DiscLabel& label);
std::string DiscPlace(const DiscLabel& label);
// A label read from a disc or a folder: any bytes, from anybody. Empty
// unless its first line and its place line are a label's; a label cut short
// keeps what it holds.
std::optional<DiscLabel> ParseDiscLabel(std::string_view text);
// The label of the open folder, when it holds one that reads as a label; a
// link, a pipe, anything but a regular file, or one over 1 MiB is passed over.
std::optional<DiscLabel> ReadDiscLabel(int folder);

} // namespace kelvark
