#include "Xorriso.h"

#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kelvark {

namespace {

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
// with: the defaults, none blocked, whatever the caller had set.
struct Spawn {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    Spawn()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~Spawn()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    Spawn(const Spawn&) = delete;
    Spawn& operator=(const Spawn&) = delete;
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

} // namespace

std::string XorrisoRun::Problem() const
{
    if (startError == std::errc::no_such_file_or_directory)
        return "xorriso is not installed: sudo apt install xorriso";
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

XorrisoRun RunXorriso(const std::vector<std::string>& arguments, const Progress* stop, const XorrisoLines& onLine,
                      std::chrono::milliseconds grace)
{
    XorrisoRun run;
    std::vector<std::string> words{"xorriso", "-no_rc", "-pkt_output", "on"};
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

    Spawn spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, outWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, errWrite.Get(), STDERR_FILENO);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&spawn.attributes, &signals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
        sigaddset(&signals, number);
    posix_spawnattr_setsigdefault(&spawn.attributes, &signals);
    posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = -1;
    if (const int error = posix_spawnp(&child, "xorriso", &spawn.actions, &spawn.attributes, argv.data(), environ);
        error != 0) {
        run.startError = std::error_code(error, std::generic_category());
        return run;
    }
    // The child holds its own copies of the write ends: the streams end when it does.
    outWrite = FileDescriptor();
    errWrite = FileDescriptor();

    Stream streams[2] = {{outRead.Get(), true, {}}, {errRead.Get(), false, {}}};
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> interrupted;
    bool killed = false;
    while (streams[0].fd >= 0 || streams[1].fd >= 0) {
        if (stop != nullptr && stop->StopRequested() && !interrupted) {
            ::kill(child, SIGINT);
            interrupted = Clock::now();
        }
        if (interrupted && !killed && Clock::now() - *interrupted >= grace) {
            ::kill(child, SIGKILL);
            killed = true;
        }
        pollfd waiting[2];
        nfds_t count = 0;
        for (const Stream& stream : streams)
            if (stream.fd >= 0)
                waiting[count++] = {stream.fd, POLLIN, 0};
        if (::poll(waiting, count, 100) < 0 && errno != EINTR)
            break;
        for (nfds_t i = 0; i < count; ++i)
            if (waiting[i].revents != 0)
                for (Stream& stream : streams)
                    if (stream.fd == waiting[i].fd && !ReadStream(run, onLine, stream))
                        stream.fd = -1;
    }

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status))
        run.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    // A stop that came after xorriso had ended its work stops nothing; a
    // Ctrl-C on the terminal reaches xorriso too, which may end before the
    // stop is seen.
    run.stopped = run.exitStatus != 0 && stop != nullptr && stop->StopRequested();
    return run;
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
