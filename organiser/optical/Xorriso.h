#pragma once

#include "UserInterface.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kelvark {

// xorriso, the program that writes and reads Kelvark's disc images and
// discs, run as a separate program: no shell, an argument vector, standard
// input from /dev/null, and both output streams read as they come (a full
// pipe would block it). Every run starts with -no_rc (no startup file of the
// machine or the user changes what it does) and -pkt_output on, which tags
// each line of standard output as a result ("R:"), an info or error message
// ("I:") or a mark ("M:"); the tags are stripped.

// One line xorriso wrote, without its tag and line feed. Standard error
// carries only its banner, before -pkt_output takes effect: its lines count
// as info.
struct XorrisoLine {
    enum class Kind : unsigned char { Result, Info, Mark };
    Kind kind = Kind::Info;
    std::string text;
};

// The xorriso Kelvark runs, found once by one rule: the program that
// KELVARK_XORRISO names, when set (tests give a fake one this way); else
// Kelvark's own copy, installed as lib/kelvark/xorriso beside the program's
// bin folder or, in a build tree, the one the build made; else the first
// xorriso on PATH. The one taken must be named by an absolute path and say
// it is 1.5.6 or newer (older ones write damaged images of folders of many
// long Rock Ridge names).
struct XorrisoProgram {
    std::string path; // absolute; empty when none is usable
    std::string version; // "1.5.6"
    std::string problem; // why none is usable, in a sentence
};
// The rule itself, asked again at each call.
XorrisoProgram FindXorriso();
// The xorriso found by the first call, kept for the program's run.
const XorrisoProgram& Xorriso();

// How a run ended.
struct XorrisoRun {
    std::error_code startError; // it could not be started: nothing else is set
    std::string failure; // why Kelvark ended or never began it: no usable xorriso, its time limit, a failed wait
    int exitStatus = -1; // its exit status; -1 when a signal ended it
    int signal = 0; // the signal that ended it, if one did
    bool stopped = false; // a stop was requested and the run was ended for it
    std::vector<std::string> results; // its result lines, in order
    std::vector<std::string> infos; // its info and error lines, in order

    // True when it started and ended by itself, whatever its exit status.
    bool EndedByItself() const { return !startError && failure.empty() && !stopped; }
    // True when it ran to its end with exit status 0 and was not stopped.
    bool Succeeded() const { return EndedByItself() && exitStatus == 0; }
    // Why it did not succeed, in a sentence: failure when set; else
    // xorriso's own FATAL, FAILURE, MISHAP and SORRY messages, or its exit
    // status or signal. Empty when it succeeded.
    std::string Problem() const;
};

// A stop never requested: for the look that must follow a stop (what a
// stopped write left on a disc), which its time limit still bounds.
class NeverStopped final : public Progress {
public:
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string&) override {}
};

// Called for each line as it arrives, on the thread that runs xorriso.
using XorrisoLines = std::function<void(const XorrisoLine&)>;

// How long a stopped xorriso gets by default to end after SIGINT (or SIGTERM
// at its time limit) before SIGKILL ends it. A drive that is writing needs
// longer: xorriso asks for the time the burn would have taken.
inline constexpr std::chrono::milliseconds XorrisoGrace{5000};
// The time limit of a run that moves no file's data: a look at the drives or
// a disc, a measure of a folder, a disc's listing.
inline constexpr std::chrono::milliseconds XorrisoLookLimit{std::chrono::minutes(10)};
// The slowest a drive writes or reads: a CD's single speed.
inline constexpr std::int64_t SlowestDriveBytesPerSecond = 153600;
// The time limit of a run that writes or reads bytes: the look's limit and
// the time the bytes take at the slowest a drive goes.
std::chrono::milliseconds XorrisoLimitFor(std::int64_t bytes);

// Runs Xorriso() -no_rc -pkt_output on, then arguments, and waits for it to
// end. Problems should be turned into exit statuses by the arguments
// (-abort_on FAILURE -return_with SORRY 32). While it runs, stop is asked at
// least every 100 ms whether a stop was requested (the window's Cancel,
// Ctrl-C): xorriso then gets SIGINT, which it answers by ending its work
// cleanly. A run still going at its time limit gets SIGTERM and fails. Either
// way SIGKILL ends it when it has not ended grace later, and the run waits
// for it to end.
XorrisoRun RunXorriso(const std::vector<std::string>& arguments, const Progress& stop, const XorrisoLines& onLine = {},
                      std::chrono::milliseconds grace = XorrisoGrace,
                      std::chrono::milliseconds limit = XorrisoLookLimit);

// What xorriso's progress line of a write says ("xorriso : UPDATE : Writing:
// 69674s 47.5% fifo 15% buf 50% 120.4xD"): the sectors written, the percent
// of the whole, and the speed in bytes a second (0 when not given yet; the
// speed factor's unit is the medium's: xC CD, xD DVD, xB BD).
struct XorrisoWriting {
    std::int64_t sectors = 0;
    double percent = 0;
    double bytesPerSecond = 0;
};
// The progress of a write that an info line gives; nothing for other lines.
std::optional<XorrisoWriting> WritingProgress(std::string_view info);
// The progress in words: "47 %, 166.8 MB/s, about 2 min left" (the time
// left from what is left at this speed; "less than a minute left" below one).
std::string WritingText(const XorrisoWriting& writing);

} // namespace kelvark
