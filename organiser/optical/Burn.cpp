#include "Burn.h"

#include "FileOps.h"
#include "Regional.h"
#include "Xorriso.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/stat.h>

namespace kelvark {

namespace {

// Says why the write of set ended early: the disc is spoilt unless a look
// at it finds it still blank. After a stop, the look itself can't be stopped.
std::string EndedEarly(const SetDisc& set, const std::string& device, bool stopped, const std::string& problem,
                       const Progress& progress)
{
    LoadedDisc after;
    const NeverStopped never;
    const bool blank = !LookAtDisc(device, after, stopped ? never : progress).Failed() && after.blank;
    const std::string disc = "the disc in " + device;
    if (stopped)
        return blank ? "Stopped before " + set.name + " was written: " + disc + " is still blank."
                     : "Stopped: " + disc + " is spoilt: " + set.name + " was not written whole.";
    return blank ? set.name + " was not written: " + problem
                 : set.name + " was not written whole, " + disc + " is spoilt: " + problem;
}

} // namespace

std::string StdioRefusal(const std::string& device)
{
    constexpr std::string_view stdio = "stdio:";
    if (!device.starts_with(stdio))
        return {};
    struct stat status {};
    if (::lstat(device.c_str() + stdio.size(), &status) != 0)
        return errno == ENOENT ? std::string() : device + " can't be looked at: " + ErrorText(LastErrno()) + ".";
    const std::string must = "; a disc image or blank disc target must be absent or empty.";
    if (S_ISREG(status.st_mode))
        return status.st_size == 0 ? std::string() : device + " holds data" + must;
    const std::string kind = S_ISDIR(status.st_mode)                              ? "a folder"
                             : S_ISLNK(status.st_mode)                            ? "a symbolic link"
                             : S_ISFIFO(status.st_mode)                           ? "a pipe"
                             : S_ISBLK(status.st_mode) || S_ISCHR(status.st_mode) ? "a device"
                                                                                  : "a special file";
    return device + " is " + kind + must;
}

std::string DiscRefusal(const SetDisc& set, const std::string& device, const LoadedDisc& disc)
{
    const std::string notWritten = set.name + " was not written: ";
    if (!disc.present)
        return notWritten + "there is no disc in " + device + ".";
    if (!disc.blank)
        return notWritten + "the disc in " + device + " is not blank.";
    if (disc.freeSectors < 0)
        return notWritten + "xorriso does not tell how much the disc in " + device + " holds.";
    if (disc.freeSectors < BurnSectors(set))
        return notWritten + "it needs up to " + Grouped(BurnSectors(set), ",") + " sectors, more than the "
               + Grouped(disc.freeSectors, ",") + " free on the disc in " + device + ".";
    return {};
}

Result BurnDisc(const SetDisc& set, const std::string& device, Progress& progress)
{
    // The progress shows nothing until xorriso talks.
    progress.Startup(1000);
    if (progress.StopRequested())
        return Result("Stopped before " + set.name + " was written.", Result::Status::Stopped);
    std::vector<std::string> arguments = DiscArguments(set.folder, set.volumeId, device);
    arguments.insert(arguments.end(), {"-close", "on", "-commit"});
    // Stopped, xorriso asks for the time the write would take before it is
    // ended for good: a drive killed while it writes may stay unusable until
    // it is restarted. A file taken as a drive gets the usual grace.
    const std::chrono::milliseconds grace =
        device.starts_with("stdio:")
            ? XorrisoGrace
            : std::max<std::chrono::milliseconds>(
                XorrisoGrace, std::chrono::seconds(BurnSectors(set) * SectorSize / SlowestDriveBytesPerSecond));
    const XorrisoRun run = RunWriting(arguments, "Writing " + set.name, 0, set.sectors, progress, grace);
    progress.Hide();
    if (run.stopped)
        return Result(EndedEarly(set, device, true, {}, progress), Result::Status::Stopped);
    if (!run.Succeeded())
        return Result(EndedEarly(set, device, false, run.Problem(), progress));
    return Result::Done("Wrote " + set.name + " onto the disc in " + device + ".");
}

} // namespace kelvark
