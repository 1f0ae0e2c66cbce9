#pragma once

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
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

} // namespace fixtures
