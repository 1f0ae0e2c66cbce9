#pragma once

#include "DiscCheck.h"
#include "Medium.h"
#include "Result.h"
#include "UserInterface.h"
#include "Xorriso.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvark {

// Disc images of the set folders: one ISO 9660 image per set folder, which
// holds what the disc of the set holds, sized before it is written.

// What the disc of a set folder holds, as xorriso's commands, for an image
// file and a drive alike: the folder's files at the root, with Rock Ridge
// and Joliet names; ISO 9660 level 3, so that a file of 4 GiB or more is kept
// whole in several extents; the volume id; an MD5 of every file recorded in
// the image; and one plain session at the first sector, without the table of
// sessions xorriso otherwise emulates on a file or a rewritable disc. A
// problem ends the run with exit status 32, a failure at once. outdev is
// "stdio:" and a file's path for an image, or a drive ("/dev/sr0"). The
// caller adds -commit to write it; PlanDisc measures it.
std::vector<std::string> DiscArguments(const std::string& setFolder, const std::string& volumeId,
                                       const std::string& outdev);

// The volume id of a set's disc, from its name and the day of its sort,
// "DVD-B" and "2026-12-10": "DVD_B_2026_12_10". An ISO 9660 volume id takes
// capital letters, digits and "_" only, 32 at most: a letter is made capital,
// anything else "_", and the rest cut.
std::string VolumeId(std::string_view set, std::string_view date);

// The disc of one set folder.
struct SetDisc {
    std::string name; // the set folder's name, "DVD-B"
    std::string folder; // its path, ending with the separator
    std::string volumeId;
    Medium medium; // the medium the set was sorted for
    // The most 2,048-byte sectors the disc takes: the size xorriso foresees
    // and what recording the files' MD5s adds to it.
    std::int64_t sectors = 0;
    std::int64_t measured = 0; // the size xorriso foresees: an image of fewer sectors is cut short
    std::string image; // written as an image: its path, DIR/DVD-B.iso; empty for a drive
};

// The sectors a write of set's disc takes: its image and the padding a burn
// writes after it (BurnPaddingSectors).
std::int64_t BurnSectors(const SetDisc& set);

// Checks the set folder root + name and measures its disc; empty when it can
// be written, else why not. The day of the sort and the medium come from the
// set folder's label (Kelvark Disc.txt); without one, the day is that of the
// folder's last change and the medium the first of its prefix's (a DISC-A
// folder without a label is refused: its disk's size is unknown). A set is
// refused when it holds no SHA256SUMS (the disc carries its checksums), holds
// anything but regular files, or may need more sectors with the burn's
// padding (BurnSectors) than its medium holds. A stop (asked at least every 100 ms) sets stopped.
std::string PlanDisc(const std::string& root, const std::string& name, const Progress& stop, SetDisc& set,
                     bool& stopped);

// The images to write: the set folders of root (all of them, or those named),
// each with its image in into. Every set is checked before any image is
// written; refusals says, for each set that can't be written, why, and then
// nothing is written.
struct ImagePlan {
    std::vector<SetDisc> sets; // in set order
    std::vector<std::string> refusals;
    bool stopped = false; // a stop came while the images were measured
};

// Why the files of set no longer match its SHA256SUMS, before its disc is
// written; empty when they may. A file it lists that is missing, a file it
// does not list (a temporary a killed run left too) and a malformed line are
// named at once. A file is read and its SHA-256 compared only when its status
// changed (its ctime) at or after SHA256SUMS was written, which an edit does
// even when it keeps the file's time: reading every file here would read the
// set twice, and the read-back of the written disc reads every byte anyway.
// A stop while files are read sets stopped.
std::string ManifestMismatch(const SetDisc& set, Progress& progress, bool& stopped);

// Plans the images of root's set folders named in names (all of them when
// empty) into the folder into, each set as PlanDisc plans it and checked
// against its SHA256SUMS (ManifestMismatch); a set whose image is there
// already is refused too (nothing is ever replaced). With
// into empty, the discs of a burn, which writes no image file.
// progress counts the sets measured; a stop ends the plan.
ImagePlan PlanImages(const std::string& root, const std::string& into, const std::vector<std::string>& names,
                     Progress& progress);

// Runs xorriso with arguments that write a disc or an image (DiscArguments
// and -commit), grace as RunXorriso takes it, stopped by progress. Each line
// xorriso gives while it writes shows text; a line of its writing progress
// adds what it tells, "DVD-B.iso: 47 %, 166.8 MB/s, about 2 min left", and
// counts the sectors written after done of total in thousandths.
XorrisoRun RunWriting(const std::vector<std::string>& arguments, const std::string& text, std::int64_t done,
                      std::int64_t total, Progress& progress, std::chrono::milliseconds grace = XorrisoGrace);

// Writes the plan's images, one after the other, each under a hidden
// temporary name in its folder that becomes the image's name only once it is
// whole, read back and on the disk, never replacing a file; a temporary of an
// image that failed, failed its read-back or was stopped is removed. Before
// the first, the temporaries that dead runs left in the folders it writes go
// (RemoveOrphanTemps). progress counts a thousandth of the plan's sectors at a
// time and tells the image's percent, speed and time left. An image larger
// than its plan measured, or smaller than xorriso foresaw, fails. Each image
// is read back per project as a burnt disc is (ReadBack), its check appended
// to checks (its path the image's); one that is not whole (Whole) fails with
// its check's lines. Done, it names each image written with its sectors,
// then its check's lines and summary.
Result WriteImages(const ImagePlan& plan, Progress& progress, VerifyResult& checks);

} // namespace kelvark
