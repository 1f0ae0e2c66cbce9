#pragma once

#include <string>

namespace kelvark {

// The lock of a root folder: the hidden file .kelvark-journal, opened without
// following a link or waiting on a pipe, held with an exclusive flock for an
// operation's whole run. A second run on the folder is refused at once, and
// the kernel drops the lock when the process ends, however it ends: a lock
// that is free means the run that took it is gone. The journal (Journal.h)
// keeps its record in the same file.
class FolderLock final {
public:
    static constexpr const char* FileName = ".kelvark-journal";

    enum class Taken : unsigned char {
        Held, // this run holds the lock; Fd() is the file
        Absent, // no file, and none was to be made
        Busy, // another run holds it; Fd() is the file, to be read, until Release
        NotAFile, // something else has the name: Problem() says what
        Failed, // the file could not be made or opened: Problem() says why
    };

    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() { Release(); }

    // Opens folder's lock file, making it when create, and takes its lock. A
    // run that ends removes the file while it holds the lock, and a look
    // holds it for a moment: a lock held elsewhere is tried again for about
    // 100 ms before it is Busy. A file system without locks (some network
    // shares) runs unguarded: the lock is Held.
    Taken Take(const std::string& folder, bool create);
    int Fd() const { return fd; }
    const std::string& Problem() const { return problem; }
    // Removes the file while the lock is held, then lets the lock go.
    void Remove();
    // Lets the lock go; the file stays.
    void Release();

private:
    std::string path;
    std::string problem;
    int fd = -1;
};

} // namespace kelvark
