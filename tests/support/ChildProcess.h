#pragma once

#include "Fixtures.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fixtures {

// A program a test starts: standard input from /dev/null, standard output
// and standard error into the files "out" and "err" of a folder. A child still
// running when the test ends is killed.
class ChildProcess final {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& outputFolder)
    {
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const std::string out = (outputFolder / "out").string();
        const std::string err = (outputFolder / "err").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        if (!ended) {
            ::kill(pid, SIGKILL);
            Wait();
        }
    }

    void Kill(int signal) const { ::kill(pid, signal); }

    // Waits for the program to end and returns its wait status.
    int Wait()
    {
        while (!ended && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        ended = true;
        return status;
    }

    // True once the program has ended (without waiting for it).
    bool Ended()
    {
        if (!ended && ::waitpid(pid, &status, WNOHANG) == pid)
            ended = true;
        return ended;
    }

private:
    pid_t pid = -1;
    int status = 0;
    bool ended = false;
};

// What a program said, and how it ended: its exit status, -1 when a signal
// ended it.
struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs program with args to its end.
inline Output Run(const std::string& program, const std::vector<std::string>& args)
{
    TempDir capture;
    ChildProcess child(program, args, capture.path());
    const int status = child.Wait();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(capture.path() / "out"),
            ReadFile(capture.path() / "err")};
}

// Runs body in a child of this process that the system ends after seconds
// if it has not ended by then: what body returned, or nothing when it did not
// return (it hung, or threw). A test of what must never wait fails so rather
// than hang.
inline std::optional<std::string> RunBounded(const std::function<std::string()>& body, unsigned seconds = 30)
{
    int ends[2];
    if (::pipe(ends) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]);
        ::alarm(seconds);
        try {
            const std::string text = body();
            for (std::size_t done = 0; done < text.size();) {
                const ssize_t wrote = ::write(ends[1], text.data() + done, text.size() - done);
                if (wrote <= 0)
                    ::_exit(1);
                done += static_cast<std::size_t>(wrote);
            }
            ::_exit(0);
        } catch (...) {
            ::_exit(1);
        }
    }
    ::close(ends[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got = 0; (got = ::read(ends[0], buffer, sizeof buffer)) != 0;)
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    ::close(ends[0]);
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::optional(text) : std::nullopt;
}

} // namespace fixtures
