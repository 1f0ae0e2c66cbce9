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

// The sectors a write of set's disc takes: its image and the 300 kB xorriso
// writes after it, so that a drive that reads ahead never meets the end.
std::int64_t BurnSectors(const SetDisc& set);

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
