#include "orvoWave.h"

#include "orvoProject.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kelvark {

namespace {

// The whole number nearest to num / den (den > 0), a half going to the even neighbour.
std::int64_t RoundHalfEven(std::int64_t num, std::int64_t den)
{
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) { // floor division
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && q % 2 != 0))
        ++q;
    return q;
}

std::uint32_t Le32(const unsigned char* b)
{
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint16_t Le16(const unsigned char* b)
{
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

} // namespace

// The bytes a chunk walk reads, fetched from the open file in blocks of
// HeaderBlock bytes: one read holds every header of a usual wave file, and the
// walk reads again only when a skip takes it out of the block it has. A walk
// may start from a head read before, and then opens its file only when it
// leaves the head.
class HeaderReader final {
public:
    // length: the file's, -1 when it is not known yet.
    HeaderReader(int file, std::int64_t length) : file(file), length(length) {}
    HeaderReader(const WaveHead& head, orvoWave& wave, int folder)
        : data(head.block.data()), capacity(static_cast<std::int64_t>(head.asked)),
          blockBytes(static_cast<std::int64_t>(head.block.size())), loaded(true), length(head.length), wave(&wave),
          folder(folder)
    {
    }

    // Copies n bytes (at most HeaderBlock) from position pos into buffer;
    // bytes past the end of the file read as 0. True when the file ended
    // before all n bytes were read.
    bool Read(std::int64_t pos, unsigned char* buffer, std::size_t n)
    {
        if (!loaded || pos < blockStart || pos + static_cast<std::int64_t>(n) > blockStart + capacity)
            Load(pos);
        const std::int64_t inBlock = blockStart + blockBytes - pos;
        const std::size_t have = inBlock <= 0 ? 0 : std::min(n, static_cast<std::size_t>(inBlock));
        std::memcpy(buffer, data + (pos - blockStart), have);
        std::memset(buffer + have, 0, n - have);
        return have < n;
    }

    // The file's length in bytes.
    std::int64_t Length()
    {
        if (length < 0) {
            struct stat status {};
            length = ::fstat(file, &status) == 0 ? status.st_size : 0;
        }
        return length;
    }

private:
    // Reads the block at pos, up to the file's length: a read may give fewer
    // bytes than asked before the end (a network file system, a signal), so
    // the block is read on until it holds them all, or a read gives nothing.
    void Load(std::int64_t pos)
    {
        if (file < 0 && wave) {
            opened = wave->OpenFound(folder);
            file = opened.Get();
        }
        loaded = true;
        data = block.data();
        capacity = HeaderBlock;
        blockStart = pos;
        blockBytes = 0;
        const std::int64_t wanted = std::clamp<std::int64_t>(Length() - pos, 0, HeaderBlock);
        while (blockBytes < wanted) {
            const ssize_t got = ::pread(file, block.data() + blockBytes, static_cast<std::size_t>(wanted - blockBytes),
                                        pos + blockBytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            blockBytes += got;
        }
    }

    int file = -1;
    std::array<unsigned char, HeaderBlock> block; // not cleared: only bytes a read filled are copied out
    const unsigned char* data = block.data(); // the block the walk reads from: block, or a head's
    std::int64_t capacity = HeaderBlock; // the bytes asked for that block
    std::int64_t blockStart = 0;
    std::int64_t blockBytes = 0;
    bool loaded = false;
    std::int64_t length = -1;
    orvoWave* wave = nullptr; // whose file a walk from a head opens, relative to folder
    int folder = AT_FDCWD;
    FileDescriptor opened;
};

bool orvoWave::IsValidName(std::string_view name)
{
    if (name == "." || name == "..")
        return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    return true;
}

void orvoWave::Locate()
{
    // The folder listing decides whether the file exists: hidden files,
    // folders and symbolic links are not wave files.
    const std::size_t position = project->Listing().FindWave(FileName);
    diskPosition = position == FolderListing::npos ? Unlisted : static_cast<std::uint32_t>(position);
}

std::string_view orvoWave::DiskName() const
{
    return diskPosition == Unlisted ? std::string_view() : project->Listing().Name(diskPosition);
}

std::string orvoWave::LastError() const
{
    switch (failure) {
    case Failure::InvalidName: return "Invalid wave file name: " + FileName;
    case Failure::NotFound: return "File not found: " + FileName;
    case Failure::SizeZero: return "File size zero: " + std::string(DiskName());
    case Failure::HeaderShort:
        return "Header of \"" + std::string(DiskName()) + "\" gives " + std::to_string(declared)
               + " bytes, the file has " + std::to_string(fileSize) + ".";
    case Failure::Unreadable:
        return "Can't read \"" + std::string(DiskName()) + "\": " + ErrorText({openError, std::generic_category()});
    case Failure::NotRegular: return std::string(DiskName()) + " is not a regular file";
    case Failure::None: break;
    }
    return {};
}

bool orvoWave::Measured() const
{
    return !FileName.empty() && !project->ReadDir.empty();
}

bool orvoWave::Find()
{
    if (!Measured() || !IsValidName(FileName))
        return false;
    if (diskPosition == Unlisted)
        Locate();
    return diskPosition != Unlisted;
}

FileDescriptor orvoWave::Open(int folder)
{
    openFailure = Failure::NotFound;
    openedLength = -1;
    return Find() ? OpenFound(folder) : FileDescriptor();
}

FileDescriptor orvoWave::OpenFound(int folder)
{
    // A listed name is followed by a zero byte: it is a C string as it stands.
    const std::string path = folder == AT_FDCWD ? project->ReadDir + DiskName().data() : std::string();
    const char* name = folder == AT_FDCWD ? path.c_str() : DiskName().data();
    FileDescriptor file;
    struct stat opened {};
    const std::error_code error = OpenRegular(folder, name, file, opened);
    openedLength = error ? -1 : opened.st_size;
    openFailure = Failure::None;
    if (error) {
        // The name as it stands now tells a file gone since the folder was
        // listed, or replaced by something else, from one that is there.
        struct stat status {};
        if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            openFailure = Failure::NotFound;
        } else if (!S_ISREG(status.st_mode) || error == std::errc::invalid_argument) {
            openFailure = Failure::NotRegular;
        } else {
            openFailure = Failure::Unreadable;
            openError = error.value();
            fileSize = status.st_size;
        }
    }
    return file;
}

bool orvoWave::FileGetSize(const FileDescriptor& file, Messages& notices)
{
    failure = Failure::None;
    if (!Measured())
        return false;
    if (!IsValidName(FileName)) {
        failure = Failure::InvalidName;
        return true;
    }
    if (file.Get() < 0) {
        failure = openFailure == Failure::None ? Failure::NotFound : openFailure;
        return true;
    }
    HeaderReader in(file.Get(), openedLength);
    return ReadChunks(in, notices);
}

bool orvoWave::FileGetSize(const WaveHead& head, int folder, Messages& notices)
{
    failure = Failure::None;
    openFailure = Failure::None;
    HeaderReader in(head, *this, folder);
    const bool failed = ReadChunks(in, notices);
    // The walk went past the head, and the file could not be opened for the rest.
    if (openFailure != Failure::None) {
        failure = openFailure;
        return true;
    }
    return failed;
}

bool orvoWave::ReadChunks(HeaderReader& in, Messages& notices)
{

    // Every chunk size is an unsigned 32-bit count; a skip moves the position,
    // checked against the file's length, so no size field can make the walk run wild.
    std::int64_t pos = 0;
    std::int64_t remaining = 0;
    std::int64_t chunksEnd = 0; // where the last chunk that counts in the samples ends
    int unknown = 0;
    // The audio before any bext chunk is no unknown chunk: once the walk ends
    // without a bext chunk, the file is an ordinary wave, which one notice says.
    bool audio = false, bext = false;
    const auto stopNotice = [&](const std::string& why) {
        notices.Notice("Chunk walk stopped at byte " + std::to_string(pos) + " of file " + std::string(DiskName())
                       + why);
    };
    bool ended = false;
    while (!ended) {
        std::array<unsigned char, 8> header{};
        if (in.Read(pos, header.data(), header.size()))
            break;
        const std::string id(reinterpret_cast<const char*>(header.data()), 4);
        const std::int64_t size = Le32(header.data() + 4);
        // A recorder that stopped before it finalised the file leaves its
        // rest unwritten: zeros, which no header begins with.
        if (id == std::string(4, '\0')) {
            stopNotice(": the rest of the file is unwritten.");
            break;
        }
        pos += header.size();

        if (id == "RIFF") {
            std::array<unsigned char, 4> form{};
            ended = in.Read(pos, form.data(), form.size());
            pos += form.size();
            declared = size + 8;
            remaining = size;
            chunksEnd = std::max(chunksEnd, pos);
        } else if (id == "fmt ") {
            std::array<unsigned char, 16> body{};
            ended = in.Read(pos, body.data(), body.size());
            pos += body.size();
            Rate = static_cast<std::int32_t>(Le32(body.data() + 4));
            const auto bits = static_cast<std::int16_t>(Le16(body.data() + 14));
            Bytes = static_cast<int>(RoundHalfEven(bits, 8));
            remaining -= size + 8;
            chunksEnd = std::max(chunksEnd, pos - 16 + size);
            if (!ended && size > 16) {
                const std::int64_t next = pos + (size - 16);
                ended = next > in.Length();
                pos = next;
            }
        } else if (id == "bext") {
            remaining -= size + 8;
            chunksEnd = std::max(chunksEnd, pos + size);
            bext = true;
            break;
        } else {
            if (id == "data")
                audio = true;
            else
                notices.Notice("Unknown chunk \"" + id + "\" in file " + std::string(DiskName()));
            const std::int64_t next = pos + size;
            ended = next > in.Length();
            pos = next;
            if (++unknown == UnknownChunkLimit && !ended) {
                stopNotice(" after " + std::to_string(UnknownChunkLimit) + " unknown chunks.");
                break;
            }
        }
    }
    if (audio && !bext)
        notices.Notice(std::string(DiskName()) + " has no broadcast-wave (bext) chunk");

    // The file's true size is what a copy takes: a header that was never
    // finalised declares less than the file holds, and its samples are
    // counted from the file's length.
    const std::int64_t length = in.Length();
    fileSize = std::max(declared, length);
    if (declared > 0)
        remaining += fileSize - declared;
    // Fewer than 8 bits per sample (or a nonsensical negative count) leaves no
    // whole bytes per sample: the file then has no countable samples.
    samples = Bytes > 0 ? RoundHalfEven(std::max<std::int64_t>(remaining, 0), Bytes) : 0;
    if (declared == 0) {
        failure = Failure::SizeZero;
        return true;
    }
    if (declared < length || declared < chunksEnd) {
        failure = Failure::HeaderShort;
        return true;
    }
    return false;
}

void orvoWave::CalcUsage(std::span<const orvoAudio* const> regions)
{
    // Sweeps the region boundaries in ascending order, one position per step.
    // All boundaries at one position count once, with the kind (start or end)
    // of the first of them in track and entry order, an entry's start before
    // its end; a start raises the depth, an end lowers it, and the stretches
    // where the depth is above 0 add up. Sorting the boundaries once gives the
    // same steps as searching all regions for the next boundary at every step.
    struct Boundary {
        std::int64_t position;
        std::int64_t order; // twice the entry's index, plus 1 for its end
    };
    std::vector<Boundary> boundaries;
    boundaries.reserve(2 * regions.size());
    std::int64_t entry = 0;
    for (const orvoAudio* audio : regions) {
        const std::int64_t start = audio->Offset;
        const std::int64_t end = start + audio->Length;
        if (start >= 0 && start < UsageLimit)
            boundaries.push_back({start, 2 * entry});
        if (end >= 0 && end < UsageLimit)
            boundaries.push_back({end, 2 * entry + 1});
        ++entry;
    }
    std::sort(boundaries.begin(), boundaries.end(), [](const Boundary& a, const Boundary& b) {
        return a.position != b.position ? a.position < b.position : a.order < b.order;
    });

    samplesUsed = 0;
    int depth = 0;
    std::int64_t stretchStart = 0;
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        if (i > 0 && boundaries[i].position == boundaries[i - 1].position)
            continue;
        const std::int64_t position = boundaries[i].position;
        const int previousDepth = depth;
        depth += boundaries[i].order % 2 == 0 ? 1 : -1;
        if (depth == 0 && previousDepth > 0)
            samplesUsed += position - stretchStart;
        if (depth > 0 && previousDepth == 0)
            stretchStart = position;
    }
}

} // namespace kelvark
