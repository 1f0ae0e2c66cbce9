// Loaded into a program with LD_PRELOAD, makes sectors of one file
// unreadable to it, as a failing disc's are: a pread that touches one of
// them fails with EIO. KELVARK_UNREADABLE names the file and its sectors of
// 2048 bytes: "/tmp/x/DVD-A.iso:20,21". Other files and other reads are left
// alone.

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr off_t SectorBytes = 2048;
constexpr int MostSectors = 64;

struct Unreadable {
    bool read = false; // KELVARK_UNREADABLE was read
    dev_t device = 0;
    ino_t inode = 0;
    off_t sectors[MostSectors] = {};
    int count = 0;
};

Unreadable& Wanted()
{
    static Unreadable wanted;
    if (wanted.read)
        return wanted;
    wanted.read = true;
    const char* text = std::getenv("KELVARK_UNREADABLE");
    const char* colon = text == nullptr ? nullptr : std::strrchr(text, ':');
    if (colon == nullptr)
        return wanted;
    char path[4096] = {};
    std::memcpy(path, text, std::min<std::size_t>(sizeof path - 1, static_cast<std::size_t>(colon - text)));
    struct stat status {};
    if (::stat(path, &status) != 0)
        return wanted;
    wanted.device = status.st_dev;
    wanted.inode = status.st_ino;
    for (char* at = const_cast<char*>(colon + 1); *at != '\0' && wanted.count < MostSectors;) {
        wanted.sectors[wanted.count++] = std::strtoll(at, &at, 10);
        if (*at == ',')
            ++at;
    }
    return wanted;
}

bool TouchesUnreadable(int fd, off_t offset, std::size_t bytes)
{
    const Unreadable& wanted = Wanted();
    struct stat status {};
    if (wanted.count == 0 || bytes == 0 || ::fstat(fd, &status) != 0 || status.st_dev != wanted.device
        || status.st_ino != wanted.inode)
        return false;
    for (int i = 0; i < wanted.count; ++i)
        if (offset < (wanted.sectors[i] + 1) * SectorBytes
            && wanted.sectors[i] * SectorBytes < offset + static_cast<off_t>(bytes))
            return true;
    return false;
}

using PreadFunction = ssize_t (*)(int, void*, std::size_t, off_t);

ssize_t Pread(const char* name, int fd, void* buffer, std::size_t bytes, off_t offset)
{
    if (TouchesUnreadable(fd, offset, bytes)) {
        errno = EIO;
        return -1;
    }
    const auto next = reinterpret_cast<PreadFunction>(::dlsym(RTLD_NEXT, name));
    return next(fd, buffer, bytes, offset);
}

} // namespace

extern "C" ssize_t pread(int fd, void* buffer, std::size_t bytes, off_t offset)
{
    return Pread("pread", fd, buffer, bytes, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, std::size_t bytes, off_t offset)
{
    return Pread("pread64", fd, buffer, bytes, offset);
}
