#pragma once

#include "Result.h"
#include "UserInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvark {

// The optical drives of the machine and the disc loaded in one, as xorriso
// sees them. A drive shows only to a user who may read and write its device.

struct Drive {
    std::string device; // "/dev/sr0"
    std::string vendor; // "HL-DT-ST"
    std::string model; // "DVDRAM GH24NSD1"
};

// The drives of xorriso -devices' result lines, "0  -dev '/dev/sr0' rwrw-- :
// 'HL-DT-ST' 'DVDRAM GH24NSD1' "; other lines are skipped.
std::vector<Drive> ParseDevices(const std::vector<std::string>& lines);

// The disc loaded in a drive.
struct LoadedDisc {
    bool present = false; // a disc is loaded
    bool blank = false;
    std::string medium; // its kind, as xorriso names it: "DVD+R", "stdio file, overwriteable"
    std::string state; // "blank", "written, closed", "not recognizable"
    std::int64_t freeSectors = -1; // the 2,048-byte sectors a write may still fill; -1 when not told
};

// The disc that xorriso's lines about a drive describe: "Media current:
// DVD+R", "Media status : is blank", "Media space  : 2295104s". Nothing is
// present when neither of the first two is there or they say "is not
// present".
LoadedDisc ParseLoadedDisc(const std::vector<std::string>& lines);

// The disc in words: "DVD+R, blank, 2,295,104 sectors free", "CD-RW, written,
// closed", "no disc".
std::string LoadedDiscText(const LoadedDisc& disc);

// Lists the drives. Fails when xorriso can't be run, or is stopped by stop;
// none found is no failure.
Result ListDrives(std::vector<Drive>& drives, const Progress& stop);

// Looks at the disc in device ("/dev/sr0", or "stdio:FILE", a file taken as
// a drive: blank while it does not exist). Fails, saying why, when xorriso
// can't look at the drive or is stopped by stop.
Result LookAtDisc(const std::string& device, LoadedDisc& disc, const Progress& stop);

} // namespace kelvark
