#include "FileHashes.h"

#include "FileOps.h"

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

namespace kelvark {

namespace {

constexpr std::size_t BlockSize = 1 << 20;
constexpr std::int64_t MiB = 1 << 20;
// How much a reader leaves behind before it drops it: a call per few blocks.
constexpr std::int64_t DropEvery = 8 * MiB;
constexpr unsigned MaxThreads = 4;

// The SHA-256 and MD5 functions of libcrypto. The library is loaded on the first
// hash, not with the program: loading it costs every run some 1.6 MB of
// memory (the relocations of its tables), and a scan or a plan never hashes.
struct Evp {
    decltype(&::EVP_MD_CTX_new) newContext = nullptr;
    decltype(&::EVP_MD_CTX_free) freeContext = nullptr;
    decltype(&::EVP_sha256) sha256 = nullptr;
    decltype(&::EVP_md5) md5 = nullptr;
    decltype(&::EVP_DigestInit_ex) init = nullptr;
    decltype(&::EVP_DigestUpdate) update = nullptr;
    decltype(&::EVP_DigestFinal_ex) finish = nullptr;
};

// The functions, loaded once and kept to the end; nullptr when the library
// or one of them is missing.
const Evp* LoadedEvp()
{
    static const std::optional<Evp> loaded = []() -> std::optional<Evp> {
        // By the soname of the library the build found (KELVARK_LIBCRYPTO).
        void* library = ::dlopen(KELVARK_LIBCRYPTO, RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return std::nullopt;
        Evp evp;
        const auto find = [library](auto& function, const char* symbol) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, symbol));
            return function != nullptr;
        };
        if (find(evp.newContext, "EVP_MD_CTX_new") && find(evp.freeContext, "EVP_MD_CTX_free")
            && find(evp.sha256, "EVP_sha256") && find(evp.md5, "EVP_md5") && find(evp.init, "EVP_DigestInit_ex")
            && find(evp.update, "EVP_DigestUpdate") && find(evp.finish, "EVP_DigestFinal_ex"))
            return evp;
        return std::nullopt;
    }();
    return loaded ? &*loaded : nullptr;
}

// One thread's digest context, made once for all its files.
class DigestContext final {
public:
    explicit DigestContext(const Evp& evp) : evp(evp), context(evp.newContext()) {}
    ~DigestContext() { evp.freeContext(context); }
    DigestContext(const DigestContext&) = delete;
    DigestContext& operator=(const DigestContext&) = delete;
    const Evp& Functions() const { return evp; }
    EVP_MD_CTX* Get() const { return context; }

private:
    const Evp& evp;
    EVP_MD_CTX* context;
};

// Opens path, names inside the open folder, for reading: a component that
// is a link is not followed, so the file lies beneath the folder, and
// nothing waits on a FIFO.
FileDescriptor OpenBeneath(int folder, const std::string& path)
{
    FileDescriptor inner;
    std::size_t from = 0;
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', from)) {
        const std::string part = path.substr(from, slash - from);
        FileDescriptor next(::openat(inner.Get() >= 0 ? inner.Get() : folder, part.c_str(),
                                     O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.Get() < 0)
            return next;
        inner = std::move(next);
        from = slash + 1;
    }
    return OpenRead(inner.Get() >= 0 ? inner.Get() : folder, path.c_str() + from, O_NOFOLLOW | O_NONBLOCK);
}

// Reads the regular file of job to its end into digest, adding what it read
// to bytes; ECANCELED once stop is set.
std::error_code HashFile(const HashJob& job, Digest& digest, std::vector<char>& buffer, const DigestContext& context,
                         std::atomic<std::int64_t>& bytes, const std::atomic<bool>& stop)
{
    const FileDescriptor file = OpenBeneath(job.folder, job.path);
    const int fd = file.Get();
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return LastErrno();
    if (!S_ISREG(status.st_mode))
        return std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    const Evp& evp = context.Functions();
    if (!context.Get() || evp.init(context.Get(), evp.sha256(), nullptr) != 1)
        return std::make_error_code(std::errc::not_enough_memory);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // A file whose first block is in memory was written or read a moment ago
    // and stays there. A file read from the disk is read once: its blocks are
    // dropped behind the reader, so a disc's worth of files does not push out
    // of memory what the machine was using.
    iovec first{buffer.data(), buffer.size()};
    ssize_t got = ::preadv2(fd, &first, 1, 0, RWF_NOWAIT);
    const auto firstBlock = std::min<std::int64_t>(status.st_size, static_cast<std::int64_t>(buffer.size()));
    const bool cached = got >= 0 && got == firstBlock;
    got = std::max<ssize_t>(got, 0);
    std::int64_t offset = 0;
    std::int64_t dropped = 0;
    for (;;) {
        if (got > 0) {
            evp.update(context.Get(), buffer.data(), static_cast<std::size_t>(got));
            offset += got;
            bytes += got;
            if (!cached && offset - dropped >= DropEvery) {
                ::posix_fadvise(fd, dropped, offset - dropped, POSIX_FADV_DONTNEED);
                dropped = offset;
            }
        }
        if (stop)
            return std::make_error_code(std::errc::operation_canceled);
        got = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (got == 0)
            break;
        if (got < 0 && errno != EINTR)
            return LastErrno();
    }
    if (!cached)
        ::posix_fadvise(fd, dropped, 0, POSIX_FADV_DONTNEED);
    unsigned length = 0;
    evp.finish(context.Get(), digest.data(), &length);
    return {};
}

// Bytes in decimal gigabytes with one decimal, or whole megabytes below a gigabyte.
std::string Amount(std::int64_t bytes, bool gigabytes)
{
    if (!gigabytes)
        return std::to_string((bytes + 500000) / 1000000);
    const std::int64_t tenths = (bytes + 50000000) / 100000000;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

std::string ReadAmount(std::int64_t bytes)
{
    if (bytes < 1000000)
        return "less than 1 MB";
    const bool gigabytes = bytes >= 1000000000;
    return Amount(bytes, gigabytes) + (gigabytes ? " GB" : " MB");
}

std::string ReadingProgress(std::int64_t done, std::int64_t total, double seconds, const std::string& shown)
{
    const bool gigabytes = total >= 1000000000;
    std::string text = Amount(done, gigabytes) + " of " + Amount(total, gigabytes) + (gigabytes ? " GB" : " MB");
    // A second of reading tells the speed well enough.
    if (seconds >= 1 && done > 0 && done < total) {
        const double rate = static_cast<double>(done) / seconds;
        const auto left = static_cast<std::int64_t>(static_cast<double>(total - done) / rate);
        const std::string secs = std::to_string(left % 60);
        text += ", " + std::to_string(left / 60) + ":" + (secs.size() < 2 ? "0" : "") + secs + " left";
    }
    return text + ": " + shown;
}

StreamDigests::StreamDigests()
{
    const Evp* evp = LoadedEvp();
    if (!evp)
        return;
    sha = evp->newContext();
    md = evp->newContext();
    ready = sha && md && evp->init(sha, evp->sha256(), nullptr) == 1 && evp->init(md, evp->md5(), nullptr) == 1;
}

StreamDigests::~StreamDigests()
{
    if (const Evp* evp = LoadedEvp()) {
        evp->freeContext(sha);
        evp->freeContext(md);
    }
}

void StreamDigests::Add(const char* data, std::size_t size)
{
    if (!ready)
        return;
    const Evp& evp = *LoadedEvp();
    evp.update(sha, data, size);
    evp.update(md, data, size);
}

void StreamDigests::Finish(Digest& sha256, Md5& md5)
{
    if (!ready)
        return;
    const Evp& evp = *LoadedEvp();
    unsigned length = 0;
    evp.finish(sha, sha256.data(), &length);
    evp.finish(md, md5.data(), &length);
}

std::vector<FileHash> HashFiles(const std::vector<HashJob>& jobs, Progress& progress, bool& stopped)
{
    std::vector<FileHash> results(jobs.size());
    stopped = false;
    if (jobs.empty())
        return results;
    const Evp* evp = LoadedEvp();
    if (!evp) { // an installation without the library reads no file
        for (FileHash& result : results)
            result.error = std::error_code(ELIBACC, std::generic_category());
        return results;
    }
    std::int64_t total = 0;
    for (const auto& job : jobs) { // for the progress only: a file that cannot be read says so below
        std::int64_t length = 0;
        FileLength(job.folder, job.path.c_str(), length);
        total += length;
    }
    const auto units = static_cast<int>(std::max<std::int64_t>(1, (total + MiB - 1) / MiB));
    progress.Hide();
    progress.Startup(units);
    if (!progress.OK(0, ReadingProgress(0, total, 0, jobs.front().shown))) {
        stopped = true;
        return results;
    }

    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> latest{0}; // the file progress names: the last one started
    std::atomic<std::int64_t> bytes{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u,
                                        static_cast<unsigned>(std::min<std::size_t>(MaxThreads, jobs.size())));
    unsigned running = threads;
    const auto work = [&] {
        std::vector<char> buffer(BlockSize);
        const DigestContext context(*evp);
        for (std::size_t k = next++; k < jobs.size() && !stop; k = next++) {
            latest = k;
            FileHash& result = results[k];
            result.error = HashFile(jobs[k], result.digest, buffer, context, bytes, stop);
            result.read = !result.error;
            if (result.error == std::errc::operation_canceled)
                result.error.clear();
        }
        const std::lock_guard lock(mutex);
        --running;
        changed.notify_one();
    };
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back(work);

    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex);
    while (!changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
        lock.unlock();
        const std::int64_t done = bytes;
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        const auto unit = static_cast<int>(std::min<std::int64_t>(done / MiB, units - 1));
        if (!progress.OK(unit, ReadingProgress(done, total, seconds.count(), jobs[latest].shown)))
            stop = true;
        lock.lock();
    }
    lock.unlock();
    for (auto& worker : workers)
        worker.join();
    progress.Hide();
    stopped = stop;
    return results;
}

} // namespace kelvark
