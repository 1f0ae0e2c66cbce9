// The I/O floor of a folder scan: what any scan of a root folder cannot avoid,
// done as tightly as one process can. It lists the folder once, then, in name
// order, reads every ".cue" file whole and the first 64 bytes of every ".wav"
// file, one after the other, each opened relative to the folder's descriptor.
// With --threads N, N threads share the files in name order, each taking the
// next one when it is done with its own, so N requests are in flight at once:
// the floor of a folder whose every request waits on a network.
//
//   floor [--threads N] [--runs N] [--warm] FOLDER
//                         prints "warm SECONDS" (best of 3 runs, or of --runs),
//                         then "cold SECONDS" (as many runs, the page cache
//                         dropped before each) or "cold skipped: REASON";
//                         --warm leaves the cold runs out
//   floor --drop-caches   drops the page cache; exit status 1 with the reason
//                         on standard error when it cannot
//
// Dropping the page cache needs root: sync, then "3" written to
// /proc/sys/vm/drop_caches.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Options {
    const char* folder = nullptr;
    unsigned threads = 1;
    int runs = 3;
    bool warmOnly = false;
};

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
    const std::string reason =
        written ? std::string() : std::string("/proc/sys/vm/drop_caches: ") + std::strerror(errno);
    close(fd);
    return reason;
}

// Reads a ".cue" file whole or the first 64 bytes of a ".wav" file; other
// files are left alone.
void ReadOne(int dirFd, const std::string& name, std::vector<char>& buffer)
{
    const bool cue = EndsWithFolded(name, ".cue");
    if (!cue && !EndsWithFolded(name, ".wav"))
        return;
    const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (cue)
        while (read(fd, buffer.data(), buffer.size()) > 0) {}
    else
        (void)!read(fd, buffer.data(), 64);
    close(fd);
}

// One pass: list, then read on the given number of threads. Returns the
// seconds it took, or -1 on an error.
double Pass(const char* folder, unsigned threads)
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

    std::atomic<std::size_t> next{0};
    auto readFiles = [&] {
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= names.size())
                return;
            ReadOne(dirFd, names[i], buffer);
        }
    };
    if (threads <= 1) {
        readFiles();
    } else {
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < threads; ++t)
            workers.emplace_back(readFiles);
        for (auto& worker : workers)
            worker.join();
    }
    close(dirFd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double BestOf(const Options& options, bool cold)
{
    double best = -1;
    for (int run = 0; run < options.runs; ++run) {
        if (cold)
            DropCaches();
        const double seconds = Pass(options.folder, options.threads);
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
    Options options;
    bool usage = false;
    for (int i = 1; i < argc && !usage; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--threads" || arg == "--runs") && i + 1 < argc) {
            const std::string_view value = argv[++i];
            int n = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
            usage = error != std::errc() || end != value.data() + value.size() || n < 1 || n > 1024;
            if (arg == "--threads")
                options.threads = static_cast<unsigned>(n);
            else
                options.runs = n;
        } else if (arg == "--warm") {
            options.warmOnly = true;
        } else if (!arg.empty() && arg[0] != '-' && !options.folder) {
            options.folder = argv[i];
        } else {
            usage = true;
        }
    }
    if (usage || !options.folder) {
        std::fprintf(stderr, "usage: floor [--threads N] [--runs N] [--warm] FOLDER | floor --drop-caches\n");
        return 2;
    }
    const double warm = BestOf(options, false);
    if (warm < 0)
        return 1;
    std::printf("warm %.4f\n", warm);
    if (options.warmOnly)
        return 0;
    if (const std::string reason = DropCaches(); !reason.empty()) {
        std::printf("cold skipped: %s\n", reason.c_str());
        return 0;
    }
    const double cold = BestOf(options, true);
    if (cold < 0)
        return 1;
    std::printf("cold %.4f\n", cold);
    return 0;
}
