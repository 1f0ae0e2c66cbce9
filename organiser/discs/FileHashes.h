#pragma once

#include "Manifest.h"
#include "UserInterface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

struct evp_md_ctx_st; // libcrypto's digest context

namespace kelvark {

// One file to read: its path inside an open folder, and how progress names it.
struct HashJob {
    int folder = -1;
    std::string path; // names separated by "/", none of them "." or ".."
    std::string shown;
};

// What reading one file gave: its digest when read to its end, else why it
// could not be read. A file a stop left unread has neither.
struct FileHash {
    Digest digest{};
    std::error_code error;
    bool read = false;
};

// The SHA-256 of every file of jobs, in the jobs' order. Files are read whole
// in blocks of 1 MiB on as many threads as the machine has cores, at most 4,
// each thread reading one file after another from the start to the end. The
// blocks of a file that was not in memory are dropped from the page cache
// behind the reader. A file is opened beneath its folder, following no link
// on the way; a link, a folder or anything but a regular file is not read
// (ELOOP or ENOTDIR, EISDIR, EINVAL).
// Progress counts mebibytes read, its text says how much and how long is left
// (ReadingProgress); it is asked about ten times a second on the calling
// thread. Once OK returns false, the reads stop within a block, and stopped is
// set.
std::vector<FileHash> HashFiles(const std::vector<HashJob>& jobs, Progress& progress, bool& stopped);

using Md5 = std::array<unsigned char, 16>;

// The SHA-256 and the MD5 of bytes given piece by piece, as a disc is read
// back: its files' pieces come in the disc's order, each to its own digests.
class StreamDigests final {
public:
    StreamDigests();
    ~StreamDigests();
    StreamDigests(const StreamDigests&) = delete;
    StreamDigests& operator=(const StreamDigests&) = delete;
    // False when libcrypto or memory for the digests is missing: Add and
    // Finish then do nothing.
    bool Ready() const { return ready; }
    void Add(const char* data, std::size_t size);
    void Finish(Digest& sha256, Md5& md5);

private:
    evp_md_ctx_st* sha = nullptr;
    evp_md_ctx_st* md = nullptr;
    bool ready = false;
};

// An amount of bytes as reading shows it: "4.6 GB" in decimal gigabytes with
// one decimal, "640 MB" in whole megabytes below a gigabyte, "less than 1 MB"
// below a megabyte.
std::string ReadAmount(std::int64_t bytes);

// "1.2 of 4.6 GB, 2:05 left: DVD-C/take 1.wav", "120 of 640 MB: …" while the
// time left cannot be told yet.
std::string ReadingProgress(std::int64_t done, std::int64_t total, double seconds, const std::string& shown);

} // namespace kelvark
