#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace kelvark {

std::error_code LastErrno()
{
    return {errno, std::generic_category()};
}

namespace {

// The answers of a file system that lacks a feature, rather than of a failed call.
bool Unsupported(int error)
{
    // ENOTSUP is EOPNOTSUPP on this system.
    return error == EINVAL || error == EOPNOTSUPP || error == EPERM || error == ENOSYS;
}

// A pair of file systems, a copy's source and destination.
struct Devices {
    dev_t from = 0;
    dev_t to = 0;
    bool operator==(const Devices&) const = default;
};

// Asks the kernel to copy in to out with copy, copy_file_range or sendfile,
// to the end of in. False when the kernel can't copy between these file
// systems that way, which it says before the first byte: refused then holds
// the pair, and the copies between them that follow don't ask again. Else
// true, with the error of a failing call in error.
template <typename Copy> bool KernelCopy(const Copy& copy, Devices devices, Devices& refused, std::error_code& error)
{
    if (devices == refused)
        return false;
    for (;;) {
        const ssize_t copied = copy();
        if (copied > 0 || (copied < 0 && errno == EINTR))
            continue;
        if (copied == 0)
            return true;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            error = LastErrno();
            return true;
        }
        refused = devices;
        return false;
    }
}

// Copies the bytes of in to out: within the file system where it can (a
// clone or a copy on the server), else in the kernel from the source's pages,
// else through a buffer. The error of the first failing read or write.
std::error_code CopyBytes(int in, int out, Devices devices)
{
    constexpr std::size_t Chunk = 1 << 30;
    constexpr Devices none{static_cast<dev_t>(-1), static_cast<dev_t>(-1)};
    thread_local Devices inPlaceRefused = none, sendRefused = none;
    std::error_code error;
    if (KernelCopy([&] { return ::copy_file_range(in, nullptr, out, nullptr, Chunk, 0); }, devices, inPlaceRefused,
                   error)
        || KernelCopy([&] { return ::sendfile(out, in, nullptr, Chunk); }, devices, sendRefused, error))
        return error;
    constexpr std::size_t BufferSize = 1 << 20;
    thread_local const std::unique_ptr<char[]> buffer(new char[BufferSize]);
    for (;;) {
        const ssize_t got = ::read(in, buffer.get(), BufferSize);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return LastErrno();
        }
        if (got == 0)
            return {};
        if ((error = WriteAll(out, buffer.get(), static_cast<std::size_t>(got))))
            return error;
    }
}

// Closes fd; a file descriptor is closed only once, even when close fails.
std::error_code Close(int fd)
{
    return ::close(fd) == 0 ? std::error_code() : LastErrno();
}

} // namespace

std::error_code WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return LastErrno();
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

void AllowManyOpenFiles()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void SyncFolder(const std::string& folder)
{
    const FileDescriptor fd = OpenFolder(folder);
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

std::error_code MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return MoveNoReplace(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str());
}

std::error_code MoveNoReplace(int fromFolder, const char* from, int toFolder, const char* to)
{
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return {};
    // EEXIST and EXDEV are answers. Only a file system or kernel without the
    // no-replace flag makes us take another way: a new link, which fails when
    // the name exists, then removing the old name.
    if (!Unsupported(errno))
        return LastErrno();
    if (::linkat(fromFolder, from, toFolder, to, 0) == 0) {
        if (::unlinkat(fromFolder, from, 0) != 0) {
            const std::error_code error = LastErrno();
            ::unlinkat(toFolder, to, 0); // the file must not be left under two names
            return error;
        }
        return {};
    }
    // FAT, exFAT and some network shares have neither: the destination is
    // looked up, then a plain rename moves the file. Every operation that moves
    // files holds the folder's lock, so no other run of the program can take
    // the name in between; only another program writing that very name in the
    // same instant could.
    if (!Unsupported(errno))
        return LastErrno();
    struct stat status {};
    if (::fstatat(toFolder, to, &status, AT_SYMLINK_NOFOLLOW) == 0)
        return std::make_error_code(std::errc::file_exists);
    return ::renameat(fromFolder, from, toFolder, to) == 0 ? std::error_code() : LastErrno();
}

std::error_code CopyNoReplace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    FileDescriptor in;
    struct stat source {};
    if (const std::error_code error = OpenRegular(AT_FDCWD, from.c_str(), in, source))
        return error;
    return CopyNoReplace(in, source, to);
}

std::error_code CopyNoReplace(const FileDescriptor& from, const struct stat& status, const std::filesystem::path& to)
{
    std::filesystem::path temp;
    const int out = CreateHiddenTemp(to, temp, 0600);
    if (out < 0)
        return LastErrno();
    struct stat target {};
    std::error_code error =
        ::fstat(out, &target) == 0 ? CopyBytes(from.Get(), out, {status.st_dev, target.st_dev}) : LastErrno();
    const timespec times[2] = {status.st_atim, status.st_mtim};
    // File systems without POSIX permissions or settable times (FAT, some
    // shares) refuse these: the copy is whole all the same, without them.
    if (!error && ::fchmod(out, status.st_mode & 07777) != 0 && !Unsupported(errno))
        error = LastErrno();
    if (!error && ::futimens(out, times) != 0 && !Unsupported(errno))
        error = LastErrno();
    if (error) {
        ::close(out);
        ::unlink(temp.c_str());
        return error;
    }
    return CommitTemp(out, temp, to, false);
}

bool SameState(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
           && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
           && a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool StillAsOpened(const FileDescriptor& file, const struct stat& opened, const std::filesystem::path& path)
{
    struct stat now {
    }, named{};
    return ::fstat(file.Get(), &now) == 0 && SameState(now, opened)
           && ::fstatat(AT_FDCWD, path.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev
           && named.st_ino == opened.st_ino;
}

std::error_code CommitTemp(int fd, const std::filesystem::path& temp, const std::filesystem::path& target, bool replace)
{
    std::error_code error = ::fsync(fd) == 0 ? std::error_code() : LastErrno();
    const std::error_code closeError = Close(fd);
    if (!error)
        error = closeError;
    if (!error)
        error = replace ? (::rename(temp.c_str(), target.c_str()) == 0 ? std::error_code() : LastErrno())
                        : MoveNoReplace(temp, target);
    if (error)
        ::unlink(temp.c_str());
    return error;
}

namespace {

// True when the open file fd is the one path names.
bool Names(int fd, const char* path)
{
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && ::lstat(path, &named) == 0 && opened.st_dev == named.st_dev
           && opened.st_ino == named.st_ino;
}

} // namespace

int CreateHiddenTemp(const std::filesystem::path& target, std::filesystem::path& temp, unsigned mode)
{
    // A short name of its own, so that it fits whatever the length of the target's name.
    static unsigned counter = 0;
    for (;;) {
        temp = target.parent_path()
               / (".kelvark-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp");
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return fd;
        // Its lock says it is being written, as long as fd is open: the kernel
        // drops it when the process ends, however it ends. A file system
        // without locks writes it unlocked, and RemoveOrphanTemps leaves it.
        // A removal of dead runs' temporaries that took the lock first is
        // removing this one: it takes the next name.
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if ((locked || errno != EWOULDBLOCK) && Names(fd, temp.c_str()))
            return fd;
        ::close(fd);
    }
}

bool IsHiddenTemp(std::string_view name)
{
    constexpr std::string_view start = ".kelvark-", end = ".tmp";
    if (!name.starts_with(start) || !name.ends_with(end))
        return false;
    // The process number and the counter: digits, a "-", digits.
    const std::string_view numbers = name.substr(start.size(), name.size() - start.size() - end.size());
    const std::size_t dash = numbers.find('-');
    const auto digits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return dash != std::string_view::npos && digits(numbers.substr(0, dash)) && digits(numbers.substr(dash + 1));
}

void RemoveOrphanTemps(const std::string& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return;
    // A temporary that is being written is locked (CreateHiddenTemp); one
    // whose lock is free was left by a run that is gone, whichever process
    // has its number now. The lock is held while the name goes, so that a
    // run creating it then takes another name.
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsHiddenTemp(entry->d_name))
            continue;
        const FileDescriptor temp(
            ::openat(::dirfd(dir.get()), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {
        }, named{};
        if (temp.Get() >= 0 && ::fstat(temp.Get(), &opened) == 0 && S_ISREG(opened.st_mode)
            && ::flock(temp.Get(), LOCK_EX | LOCK_NB) == 0
            && ::fstatat(::dirfd(dir.get()), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

std::error_code RemoveFile(const std::filesystem::path& path)
{
    return ::unlink(path.c_str()) == 0 ? std::error_code() : LastErrno();
}

bool EntryExists(const std::filesystem::path& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool IsReadOnly(const std::filesystem::path& path)
{
    return IsReadOnly(AT_FDCWD, path.c_str());
}

bool IsReadOnly(int folder, const char* name)
{
    struct stat status {};
    return ::fstatat(folder, name, &status, 0) == 0 && (status.st_mode & S_IWUSR) == 0;
}

bool IsReadOnly(const FileDescriptor& file)
{
    struct stat status {};
    return ::fstat(file.Get(), &status) == 0 && (status.st_mode & S_IWUSR) == 0;
}

std::error_code FileLength(const std::filesystem::path& path, std::int64_t& length)
{
    return FileLength(AT_FDCWD, path.c_str(), length);
}

std::error_code FileLength(int folder, const char* name, std::int64_t& length)
{
    struct stat status {};
    length = 0;
    if (::fstatat(folder, name, &status, 0) != 0)
        return LastErrno();
    length = static_cast<std::int64_t>(status.st_size);
    return {};
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            ::close(fd);
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (fd >= 0)
        ::close(fd);
}

FileDescriptor OpenFolder(const std::string& folder)
{
    return FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

FileDescriptor OpenRead(int folder, const char* name, int extra)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NOATIME | extra;
    int fd = ::openat(folder, name, flags);
    if (fd < 0 && errno == EPERM) // another owner's file
        fd = ::openat(folder, name, flags & ~O_NOATIME);
    return FileDescriptor(fd);
}

void Announce(const FileDescriptor& file, std::int64_t length)
{
    if (file.Get() >= 0)
        ::posix_fadvise(file.Get(), 0, length, POSIX_FADV_WILLNEED);
}

FileDescriptor OpenAhead(int folder, const std::string& name, std::int64_t length)
{
    FileDescriptor file;
    struct stat status {};
    OpenRegular(folder, name.c_str(), file, status);
    Announce(file, length);
    return file;
}

std::error_code OpenRegular(int folder, const char* name, FileDescriptor& file, struct stat& status)
{
    // Only a regular file is read: a link is not followed, and a FIFO or a
    // device never blocks or streams forever.
    file = OpenRead(folder, name, O_NOFOLLOW | O_NONBLOCK);
    std::error_code error;
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0)
        // O_NOFOLLOW refuses a link as the name's last part with ELOOP.
        error = errno == ELOOP ? std::make_error_code(std::errc::invalid_argument) : LastErrno();
    else if (!S_ISREG(status.st_mode))
        error = std::make_error_code(std::errc::invalid_argument);
    if (error)
        file = FileDescriptor();
    return error;
}

bool MemoryProbe::InMemory(const FileDescriptor& file)
{
    if (unsupported)
        return false;
    char byte = 0;
    iovec target{&byte, 1};
    if (::preadv2(file.Get(), &target, 1, 0, RWF_NOWAIT) >= 0)
        return true;
    unsupported = errno == EOPNOTSUPP;
    return false;
}

bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const FileDescriptor one(OpenRead(AT_FDCWD, a.c_str(), O_NOFOLLOW | O_NONBLOCK));
    const FileDescriptor two(OpenRead(AT_FDCWD, b.c_str(), O_NOFOLLOW | O_NONBLOCK));
    struct stat x {
    }, y{};
    if (one.Get() < 0 || two.Get() < 0 || ::fstat(one.Get(), &x) != 0 || ::fstat(two.Get(), &y) != 0
        || !S_ISREG(x.st_mode) || !S_ISREG(y.st_mode) || x.st_size != y.st_size)
        return false;
    std::vector<char> bufferX(1 << 20), bufferY(1 << 20);
    for (;;) {
        const ssize_t got = ::read(one.Get(), bufferX.data(), bufferX.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 && ::read(two.Get(), bufferY.data(), 1) == 0;
        std::size_t have = 0;
        while (have < static_cast<std::size_t>(got)) {
            const ssize_t more = ::read(two.Get(), bufferY.data() + have, static_cast<std::size_t>(got) - have);
            if (more < 0 && errno == EINTR)
                continue;
            if (more <= 0)
                return false;
            have += static_cast<std::size_t>(more);
        }
        if (!std::equal(bufferX.begin(), bufferX.begin() + got, bufferY.begin()))
            return false;
    }
}

bool SameEntryOtherSpelling(const std::string& from, const std::string& to, const struct stat& fromStatus,
                            const struct stat& toStatus)
{
    return from != to && fromStatus.st_dev == toStatus.st_dev && fromStatus.st_ino == toStatus.st_ino
           && fromStatus.st_nlink == 1;
}

std::string ErrorText(const std::error_code& error)
{
    return error.message();
}

std::string WithSeparator(std::string folder)
{
    // An empty folder stays empty: it means that none was chosen.
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string NotRegular(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return ErrorText(LastErrno());
    if (S_ISLNK(status.st_mode))
        return "it is a symbolic link";
    if (S_ISDIR(status.st_mode))
        return "it is a folder";
    return S_ISREG(status.st_mode) ? std::string() : "it is not a regular file";
}

bool LookOwnFile(const std::string& path, OwnFile& file)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    file = {path, status.st_size, status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec, status.st_ino};
    return true;
}

std::string NotOrdinary(const std::string& folder, const std::string& name)
{
    if (std::string reason = NotRegular(folder + name); !reason.empty())
        return reason;
    return !name.empty() && name[0] == '.' ? "it is a hidden file" : std::string();
}

} // namespace kelvark
