#pragma once

#include "DiscImage.h"
#include "Drives.h"
#include "Result.h"
#include "UserInterface.h"

#include <cstdint>
#include <string>

namespace kelvark {

// Writing a set folder onto the blank disc in a drive: what the disc of the
// set holds (DiscArguments), written by xorriso straight onto the disc and
// closed, so that nothing can be added to it later.

// Why a file taken as a drive ("stdio:FILE") can't be written, before
// xorriso is asked: xorriso takes a file whose start is zeros for a blank
// disc, and a recording that begins with silence would be written over. Only
// a missing file or an empty regular file is a blank disc: "stdio:/x/take.raw
// holds data; a disc image or blank disc target must be absent or empty."; a
// folder, a link, a device or any other kind of entry is refused too. Empty
// for a real drive, and for a target that may be written.
std::string StdioRefusal(const std::string& device);

// Why the disc loaded in device can't take set's disc; empty when it can:
// "DVD-B was not written: the disc in /dev/sr0 is not blank.", or "DVD-B was
// not written: it needs up to 2,295,254 sectors, more than the 2,295,100
// free on the disc in /dev/sr0."
std::string DiscRefusal(const SetDisc& set, const std::string& device, const LoadedDisc& disc);

// Writes set's disc onto the disc in device, which DiscRefusal accepted.
// progress counts thousandths of the disc and tells its percent, speed and
// time left. A stop ends xorriso as it ends a write: then, and when the write
// fails, the disc is looked at again, and called spoilt unless it is still
// blank. Done, it says "Wrote DVD-B onto the disc in /dev/sr0."
Result BurnDisc(const SetDisc& set, const std::string& device, Progress& progress);

} // namespace kelvark
