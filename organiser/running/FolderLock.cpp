#include "FolderLock.h"

#include "FileOps.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelvark {

FolderLock::Taken FolderLock::Take(const std::string& folder, bool create)
{
    Release();
    path = folder + FileName;
    problem.clear();
    for (int attempt = 0;; ++attempt) {
        fd = ::open(path.c_str(), (create ? O_RDWR | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0) {
            const std::error_code error = LastErrno();
            if (error == std::errc::no_such_file_or_directory && !create)
                return Taken::Absent;
            if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::is_a_directory
                || error == std::errc::no_such_device_or_address) {
                problem = error == std::errc::too_many_symbolic_link_levels ? "a symbolic link"
                          : error == std::errc::is_a_directory              ? "a folder"
                                                                            : "a special file";
                return Taken::NotAFile;
            }
            problem = ErrorText(error);
            return Taken::Failed;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            problem = S_ISDIR(status.st_mode) ? "a folder" : S_ISFIFO(status.st_mode) ? "a pipe" : "a special file";
            Release();
            return Taken::NotAFile;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            if (attempt < 50) {
                Release();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            return Taken::Busy;
        }
        // The run that held the lock may have removed the file meanwhile: this
        // one then holds a file without a name, and opens again.
        struct stat named {};
        if (::lstat(path.c_str(), &named) == 0 && named.st_dev == status.st_dev && named.st_ino == status.st_ino)
            return Taken::Held;
        Release();
    }
}

void FolderLock::Remove()
{
    if (fd >= 0)
        ::unlink(path.c_str());
    Release();
}

void FolderLock::Release()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace kelvark
