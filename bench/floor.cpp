// The I/O floor of a folder scan: what any scan of a root folder cannot avoid,
// done as tightly as one process can. It lists the folder once, then, in name
// order, reads every ".cue" file whole and the first 64 bytes of every ".wav"
// file, one after the other, each opened relative to the folder's descriptor.
//
//   floor FOLDER          prints "warm SECONDS" (best of 3 runs), then "cold
//                         SECONDS" (best of 3 runs, the page cache dropped
//                         before each) or "cold skipped: REASON"
//   floor --drop-caches   drops the page cache; exit status 1 with the reason
//                         on standard error when it cannot
//
// Dropping the page cache needs root: sync, then "3" written to
// /proc/sys/vm/drop_caches.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Runs = 3;

bool EndsWithFolded(const std::string& name, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    return name.size() >= n && strncasecmp(name.c_str() + name.size() - n, suffix, n) == 0;
}

// Empty when the page cache was dropped, else why not.
std::string DropCaches()
{
    if (geteuid() != 0)
        return "not run as root";
    sync();
    const int fd = open("/proc/sys/vm/drop_caches", O_WRONLY);
    if (fd < 0)
        return std::string("/proc/sys/vm/drop_caches: ") + std::strerror(errno);
    const bool written = write(fd, "3", 1) == 1;
    const std::string reason = written ? std::string() : std::string("/proc/sys/vm/drop_caches: ") + std::strerror(errno);
    close(fd);
    return reason;
}

// One pass: list, then read. Returns the seconds it took, or -1 on an error.
double Pass(const char* folder)
{
    const auto start = std::chrono::steady_clock::now();
    const int dirFd = open(folder, O_RDONLY | O_DIRECTORY);
    DIR* dir = dirFd < 0 ? nullptr : fdopendir(dup(dirFd));
    if (!dir) {
        std::perror(folder);
        return -1;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir))
        if (entry->d_type == DT_REG && entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());

    std::vector<char> buffer(1 << 16);
    for (const auto& name : names) {
        const bool cue = EndsWithFolded(name, ".cue");
        if (!cue && !EndsWithFolded(name, ".wav"))
            continue;
        const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (cue)
            while (read(fd, buffer.data(), buffer.size()) > 0) {
            }
        else
            (void)!read(fd, buffer.data(), 64);
        close(fd);
    }
    close(dirFd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double BestOf(const char* folder, bool cold)
{
    double best = -1;
    for (int run = 0; run < Runs; ++run) {
        if (cold)
            DropCaches();
        const double seconds = Pass(folder);
        if (seconds < 0)
            return -1;
        if (best < 0 || seconds < best)
            best = seconds;
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--drop-caches") == 0) {
        const std::string reason = DropCaches();
        if (reason.empty())
            return 0;
        std::fprintf(stderr, "floor: cannot drop the page cache: %s\n", reason.c_str());
        return 1;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: floor FOLDER | floor --drop-caches\n");
        return 2;
    }
    const double warm = BestOf(argv[1], false);
    if (warm < 0)
        return 1;
    std::printf("warm %.4f\n", warm);
    if (const std::string reason = DropCaches(); !reason.empty()) {
        std::printf("cold skipped: %s\n", reason.c_str());
        return 0;
    }
    const double cold = BestOf(argv[1], true);
    if (cold < 0)
        return 1;
    std::printf("cold %.4f\n", cold);
    return 0;
}
