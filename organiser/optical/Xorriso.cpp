#include "Xorriso.h"

#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kelvark {

namespace {

constexpr int Minimum[3] = {1, 5, 6}; // the oldest xorriso that writes long Rock Ridge names whole

// The severities of xorriso's messages that say something went wrong.
bool IsProblem(std::string_view info)
{
    // "xorriso : FAILURE : …", "libisofs: FATAL : …", "libisofs: MISHAP :
    // Size of file … has changed" (between SORRY and FAILURE).
    for (const std::string_view severity : {": FATAL : ", ": FAILURE : ", ": MISHAP : ", ": SORRY : "})
        if (info.find(severity) != std::string_view::npos)
            return true;
    return false;
}

// A line of standard output as -pkt_output tags it: "R:1: text". The digit
// says whether the line feed belongs to the text; a packet is one line here
// either way.
XorrisoLine Untagged(std::string_view packet)
{
    XorrisoLine line;
    if (packet.size() >= 5 && packet[1] == ':' && packet[3] == ':' && packet[4] == ' '
        && (packet[0] == 'R' || packet[0] == 'I' || packet[0] == 'M')) {
        line.kind = packet[0] == 'R'   ? XorrisoLine::Kind::Result
                    : packet[0] == 'M' ? XorrisoLine::Kind::Mark
                                       : XorrisoLine::Kind::Info;
        packet.remove_prefix(5);
    }
    line.text = packet;
    return line;
}

// One output stream of the child: its read end and the part of a line read so far.
struct Stream {
    int fd = -1;
    bool tagged = false; // standard output, tagged by -pkt_output
    std::string pending;
};

// The child's side of the pipes and /dev/null, and the signals it starts
// with: the defaults, none blocked, whatever the caller had set. error is
// the first set-up step that failed.
struct Spawn {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    int error = 0;
    Spawn(int out, int err)
    {
        const bool made = Check(posix_spawn_file_actions_init(&actions));
        const bool madeAttributes = Check(posix_spawnattr_init(&attributes));
        destroyActions = made;
        destroyAttributes = madeAttributes;
        if (!made || !madeAttributes)
            return;
        sigset_t signals;
        sigemptyset(&signals);
        Check(posix_spawnattr_setsigmask(&attributes, &signals));
        for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
            sigaddset(&signals, number);
        Check(posix_spawnattr_setsigdefault(&attributes, &signals));
        Check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
        Check(posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
        Check(posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO));
        Check(posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO));
    }
    ~Spawn()
    {
        if (destroyActions)
            posix_spawn_file_actions_destroy(&actions);
        if (destroyAttributes)
            posix_spawnattr_destroy(&attributes);
    }
    Spawn(const Spawn&) = delete;
    Spawn& operator=(const Spawn&) = delete;

private:
    bool destroyActions = false;
    bool destroyAttributes = false;
    bool Check(int result)
    {
        if (result != 0 && error == 0)
            error = result;
        return result == 0;
    }
};

void Deliver(XorrisoRun& run, const XorrisoLines& onLine, const Stream& stream, std::string_view text)
{
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    XorrisoLine line = stream.tagged ? Untagged(text) : XorrisoLine{XorrisoLine::Kind::Info, std::string(text)};
    (line.kind == XorrisoLine::Kind::Result ? run.results : run.infos).push_back(line.text);
    if (onLine)
        onLine(line);
}

// Reads what stream has; delivers each whole line. False at its end.
bool ReadStream(XorrisoRun& run, const XorrisoLines& onLine, Stream& stream)
{
    char buffer[65536];
    const ssize_t got = ::read(stream.fd, buffer, sizeof buffer);
    if (got < 0)
        return errno == EINTR || errno == EAGAIN;
    if (got == 0) {
        if (!stream.pending.empty())
            Deliver(run, onLine, stream, stream.pending);
        stream.pending.clear();
        return false;
    }
    stream.pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t end = stream.pending.find('\n'); end != std::string::npos;
         end = stream.pending.find('\n', start)) {
        Deliver(run, onLine, stream, std::string_view(stream.pending).substr(start, end - start));
        start = end + 1;
    }
    stream.pending.erase(0, start);
    return true;
}

// A time limit in words, rounded up: "10 min", "1 s".
std::string Duration(std::chrono::milliseconds limit)
{
    const auto seconds = (limit.count() + 999) / 1000;
    return seconds >= 120 ? std::to_string(seconds / 60) + " min" : std::to_string(seconds) + " s";
}

// Ends the child: sends it signal, and SIGKILL once grace has passed since
// the first signal; reaps it. The streams' writers may outlive it (a
// program it started): they are read no further once it is gone.
struct Ending {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> since;
    bool killed = false;

    void Signal(pid_t child, int signal)
    {
        if (since)
            return;
        ::kill(child, signal);
        since = Clock::now();
    }
    void KillAfter(pid_t child, std::chrono::milliseconds grace)
    {
        if (since && !killed && Clock::now() - *since >= grace) {
            ::kill(child, SIGKILL);
            killed = true;
        }
    }
};

// Runs program (an absolute path) -no_rc -pkt_output on arguments, as
// RunXorriso says.
XorrisoRun RunProgram(const std::string& program, const std::vector<std::string>& arguments, const Progress& stop,
                      const XorrisoLines& onLine, std::chrono::milliseconds grace, std::chrono::milliseconds limit)
{
    XorrisoRun run;
    std::vector<std::string> words{program, "-no_rc", "-pkt_output", "on"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        run.startError = LastErrno();
        for (const int fd : {out[0], out[1]})
            if (fd >= 0)
                ::close(fd);
        return run;
    }
    const FileDescriptor outRead(out[0]), errRead(err[0]);
    FileDescriptor outWrite(out[1]), errWrite(err[1]);

    pid_t child = -1;
    {
        const Spawn spawn(outWrite.Get(), errWrite.Get());
        const int error = spawn.error != 0 ? spawn.error
                                           : posix_spawn(&child, program.c_str(), &spawn.actions, &spawn.attributes,
                                                         argv.data(), environ);
        if (error != 0) {
            run.startError = std::error_code(error, std::generic_category());
            return run;
        }
    }
    // The child holds its own copies of the write ends: the streams end when it does.
    outWrite = FileDescriptor();
    errWrite = FileDescriptor();

    Stream streams[2] = {{outRead.Get(), true, {}}, {errRead.Get(), false, {}}};
    const auto deadline = Ending::Clock::now() + limit;
    Ending ending;
    int status = 0;
    bool reaped = false;
    while ((streams[0].fd >= 0 || streams[1].fd >= 0) && !reaped) {
        if (stop.StopRequested())
            ending.Signal(child, SIGINT);
        if (Ending::Clock::now() >= deadline && !ending.since) {
            run.failure = "xorriso did not end within its time limit of " + Duration(limit) + " and was ended.";
            ending.Signal(child, SIGTERM);
        }
        ending.KillAfter(child, grace);
        if (ending.killed)
            reaped = ::waitpid(child, &status, WNOHANG) == child;
        pollfd waiting[2];
        nfds_t count = 0;
        for (const Stream& stream : streams)
            if (stream.fd >= 0)
                waiting[count++] = {stream.fd, POLLIN, 0};
        if (::poll(waiting, count, 100) < 0 && errno != EINTR) {
            run.failure = "Can't wait for xorriso: " + ErrorText(LastErrno());
            ::kill(child, SIGKILL);
            break;
        }
        for (nfds_t i = 0; i < count; ++i)
            if (waiting[i].revents != 0)
                for (Stream& stream : streams)
                    if (stream.fd == waiting[i].fd && !ReadStream(run, onLine, stream))
                        stream.fd = -1;
    }

    while (!reaped && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status))
        run.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    // A stop that came after xorriso had ended its work stops nothing; a
    // Ctrl-C on the terminal reaches xorriso too, which may end before the
    // stop is seen.
    run.stopped = run.failure.empty() && run.exitStatus != 0 && stop.StopRequested();
    return run;
}

// The version program says it is ("xorriso 1.5.6 : RockRidge filesystem
// manipulator, ..."), when it ran and said one; empty otherwise.
std::string VersionOf(const std::string& program)
{
    const NeverStopped never;
    const XorrisoRun run = RunProgram(program, {"-version"}, never, {}, XorrisoGrace, std::chrono::seconds(30));
    if (!run.Succeeded())
        return {};
    for (const std::string& line : run.results) {
        constexpr std::string_view start = "xorriso ";
        if (!line.starts_with(start))
            continue;
        const std::size_t end = line.find(' ', start.size());
        return line.substr(start.size(), end == std::string::npos ? std::string::npos : end - start.size());
    }
    return {};
}

// True when version ("1.5.6", "1.5.6.pl01") is 1.5.6 or newer.
bool NewEnough(std::string_view version)
{
    int parts[3] = {0, 0, 0};
    for (int& part : parts) {
        const auto [end, error] = std::from_chars(version.data(), version.data() + version.size(), part);
        if (error != std::errc())
            return false;
        version.remove_prefix(static_cast<std::size_t>(end - version.data()));
        if (!version.empty() && version.front() == '.')
            version.remove_prefix(1);
    }
    return !std::lexicographical_compare(std::begin(parts), std::end(parts), std::begin(Minimum), std::end(Minimum));
}

// program, with its version, when it is usable; else why not, added to why.
std::optional<XorrisoProgram> Usable(const std::string& program, std::string& why)
{
    const auto add = [&](const std::string& reason) {
        why += (why.empty() ? "" : "; ") + program + reason;
        return std::nullopt;
    };
    if (!program.starts_with('/'))
        return add(" is not an absolute path");
    if (::access(program.c_str(), X_OK) != 0)
        return add(": " + ErrorText(LastErrno()));
    const std::string version = VersionOf(program);
    if (version.empty())
        return add(" does not say its version");
    if (!NewEnough(version))
        return add(" is " + version);
    return XorrisoProgram{program, version, {}};
}

// Kelvark's own copies that are there: lib/kelvark/xorriso beside the
// folder of the running program, as installed; the one the build made.
std::vector<std::string> OwnCopies()
{
    std::vector<std::string> copies;
    char self[PATH_MAX];
    if (const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1); length > 0) {
        std::string bin(self, static_cast<std::size_t>(length));
        bin.erase(bin.rfind('/'));
        if (const std::size_t parent = bin.rfind('/'); parent != std::string::npos)
            copies.push_back(bin.substr(0, parent) + "/lib/kelvark/xorriso");
    }
#ifdef KELVARK_BUILT_XORRISO
    copies.emplace_back(KELVARK_BUILT_XORRISO);
#endif
    std::erase_if(copies, [](const std::string& copy) { return ::access(copy.c_str(), F_OK) != 0; });
    return copies;
}

// The absolute paths of the xorriso in each folder of PATH that has one.
std::vector<std::string> OnPath()
{
    std::vector<std::string> found;
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "";
    while (!folders.empty()) {
        const std::size_t end = std::min(folders.find(':'), folders.size());
        const std::string candidate = std::string(folders.substr(0, end)) + "/xorriso";
        if (candidate.starts_with('/') && ::access(candidate.c_str(), X_OK) == 0)
            found.push_back(candidate);
        folders.remove_prefix(std::min(end + 1, folders.size()));
    }
    return found;
}

} // namespace

std::string XorrisoRun::Problem() const
{
    if (!failure.empty())
        return failure;
    if (startError)
        return "Can't start xorriso: " + ErrorText(startError);
    if (Succeeded())
        return {};
    if (stopped)
        return "xorriso was stopped.";
    std::string said;
    for (const std::string& info : infos)
        if (IsProblem(info))
            said += (said.empty() ? "" : LineEnd) + info;
    if (!said.empty())
        return said;
    return signal != 0 ? "xorriso ended on signal " + std::to_string(signal) + "."
                       : "xorriso ended with exit status " + std::to_string(exitStatus) + ".";
}

std::chrono::milliseconds XorrisoLimitFor(std::int64_t bytes)
{
    return XorrisoLookLimit + std::chrono::seconds(std::max<std::int64_t>(bytes, 0) / SlowestDriveBytesPerSecond);
}

XorrisoRun RunXorriso(const std::vector<std::string>& arguments, const Progress& stop, const XorrisoLines& onLine,
                      std::chrono::milliseconds grace, std::chrono::milliseconds limit)
{
    const XorrisoProgram& xorriso = Xorriso();
    if (xorriso.path.empty()) {
        XorrisoRun run;
        run.failure = xorriso.problem;
        return run;
    }
    return RunProgram(xorriso.path, arguments, stop, onLine, grace, limit);
}

XorrisoProgram FindXorriso()
{
    std::string why;
    std::vector<std::string> candidates;
    if (const char* named = std::getenv("KELVARK_XORRISO"); named != nullptr && *named != '\0')
        candidates.emplace_back(named);
    else {
        candidates = OwnCopies();
        for (std::string& program : OnPath())
            candidates.push_back(std::move(program));
    }
    for (const std::string& program : candidates)
        if (std::optional<XorrisoProgram> usable = Usable(program, why))
            return *usable;
    return {{}, {}, "xorriso 1.5.6 or newer is needed: " + (why.empty() ? "none is installed" : why) + "."};
}

const XorrisoProgram& Xorriso()
{
    static const XorrisoProgram found = FindXorriso();
    return found;
}

std::optional<XorrisoWriting> WritingProgress(std::string_view info)
{
    constexpr std::string_view marker = "UPDATE : Writing:";
    const std::size_t at = info.find(marker);
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = info.substr(at + marker.size());
    // The words in order: "69674s", "47.5%", "fifo", "15%", "buf", "50%", "120.4xD".
    std::vector<std::string_view> words;
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        words.push_back(rest.substr(0, end));
        rest.remove_prefix(end);
    }
    XorrisoWriting writing;
    if (words.size() < 2 || !words[0].ends_with('s') || !words[1].ends_with('%'))
        return {};
    const auto number = [](std::string_view word, auto& value) {
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        return error == std::errc() && end == word.data() + word.size();
    };
    if (!number(words[0].substr(0, words[0].size() - 1), writing.sectors)
        || !number(words[1].substr(0, words[1].size() - 1), writing.percent))
        return {};
    // The speed factor's unit: a CD's 1x is 150 KiB a second, a DVD's
    // 1,385,000 bytes and a BD's 4,495,625 bytes.
    if (words.size() >= 7 && words[6].size() > 2 && words[6][words[6].size() - 2] == 'x') {
        const char unit = words[6].back();
        const double one = unit == 'C' ? 153600.0 : unit == 'D' ? 1385000.0 : unit == 'B' ? 4495625.0 : 0.0;
        double factor = 0;
        if (one > 0 && number(words[6].substr(0, words[6].size() - 2), factor))
            writing.bytesPerSecond = factor * one;
    }
    return writing;
}

std::string WritingText(const XorrisoWriting& writing)
{
    std::string text = std::to_string(static_cast<int>(writing.percent)) + " %";
    if (writing.bytesPerSecond <= 0 || writing.percent <= 0)
        return text;
    char speed[32];
    std::snprintf(speed, sizeof speed, "%.1f MB/s", writing.bytesPerSecond / 1e6);
    const double leftBytes =
        static_cast<double>(writing.sectors) * 2048.0 * (100.0 - writing.percent) / writing.percent;
    const auto minutes = std::llround(leftBytes / writing.bytesPerSecond / 60.0);
    return text + ", " + speed + ", "
           + (minutes < 1 ? std::string("less than a minute left") : "about " + std::to_string(minutes) + " min left");
}

} // namespace kelvark
