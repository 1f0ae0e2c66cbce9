#include "HeadRing.h"

#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#if KELVARK_IO_URING
#include <liburing.h>
#include <linux/openat2.h>
#endif

namespace kelvark {

#if KELVARK_IO_URING

struct HeadRing::Ring {
    Ring() = default;
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    ~Ring()
    {
        if (queued)
            io_uring_queue_exit(&ring);
    }

    // Submits the steps queued and waits for all of them, each completion's
    // result going to its file's step (user data: the file's index times
    // Steps plus the step). False when not all were submitted or a wait
    // failed; the ring must then go, as steps left in its queue would name
    // files of this call later on.
    bool Run(unsigned steps, std::array<File, Files>& files)
    {
        int submitted = 0;
        do
            submitted = io_uring_submit(&ring);
        while (submitted == -EINTR);
        for (int done = 0; done < submitted; ++done) {
            io_uring_cqe* completion = nullptr;
            int waited = 0;
            do
                waited = io_uring_wait_cqe(&ring, &completion);
            while (waited == -EINTR);
            if (waited < 0) {
                lost = true;
                return false;
            }
            files[completion->user_data / Steps].got[completion->user_data % Steps] = completion->res;
            io_uring_cqe_seen(&ring, completion);
        }
        return submitted == static_cast<int>(steps);
    }

    io_uring ring{};
    bool queued = false; // the ring was set up with the kernel
    bool lost = false; // a wait failed: which steps ran cannot be told
    std::array<struct statx, Files> stats{};
};

void HeadRing::SetUp()
{
    ring = std::make_unique<Ring>();
    // Every step is submitted even when one before it is refused, so none is
    // left in the queue for a later Read.
    ring->queued = io_uring_queue_init(Files * Steps, &ring->ring, IORING_SETUP_SUBMIT_ALL) == 0;
    way = ring->queued ? Way::Ring : Way::Plain;
    if (!ring->queued)
        ring.reset();
}

bool HeadRing::ReadRing(int folder, std::span<const char* const> names)
{
    // RESOLVE_CACHED: the open fails with EAGAIN rather than look a name up
    // on the disk or the network; RWF_NOWAIT does the same for the read. A
    // link is not followed, and a FIFO or a device opens without waiting.
    open_how how{};
    how.flags = static_cast<std::uint64_t>(ReadFlags() | O_NOFOLLOW | O_NONBLOCK);
    how.resolve = RESOLVE_CACHED;
    io_uring& uring = ring->ring;
    unsigned steps = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i])
            continue;
        io_uring_sqe* step = io_uring_get_sqe(&uring);
        io_uring_prep_openat2(step, folder, names[i], &how);
        step->user_data = i * Steps + Open;
        ++steps;
    }
    // Where the ring fails, each file opened whose close did not run is
    // closed here, once every step submitted has completed; after a failed
    // wait which ran cannot be told, and the files stay open.
    const auto abandon = [&] {
        for (std::size_t i = 0; i < names.size() && !ring->lost; ++i)
            if (names[i] && files[i].got[Open] >= 0 && files[i].got[Close] == -ECANCELED)
                ::close(files[i].got[Open]);
        return false;
    };
    if (!ring->Run(steps, files))
        return abandon();

    // The length is asked of the file opened, whose head was read, and the
    // close comes whatever the read and the length gave.
    steps = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int file = files[i].got[Open];
        if (!names[i] || file < 0)
            continue;
        io_uring_sqe* step = io_uring_get_sqe(&uring);
        io_uring_prep_read(step, file, blocks[i].data(), HeadBytes, 0);
        step->rw_flags = RWF_NOWAIT;
        step->flags |= IOSQE_IO_HARDLINK;
        step->user_data = i * Steps + ReadHead;
        step = io_uring_get_sqe(&uring);
        io_uring_prep_statx(step, file, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE, &ring->stats[i]);
        step->flags |= IOSQE_IO_HARDLINK;
        step->user_data = i * Steps + Stat;
        step = io_uring_get_sqe(&uring);
        io_uring_prep_close(step, file);
        step->user_data = i * Steps + Close;
        steps += 3;
    }
    if (!ring->Run(steps, files))
        return abandon();
    for (std::size_t i = 0; i < names.size(); ++i) {
        File& file = files[i];
        file.stated = file.got[Stat] == 0;
        file.regular = file.stated && S_ISREG(ring->stats[i].stx_mode);
        file.length = static_cast<std::int64_t>(ring->stats[i].stx_size);
    }
    return true;
}

#else

struct HeadRing::Ring {}; // built without liburing: every step is a system call of its own

#endif

HeadRing::HeadRing() = default;

HeadRing::~HeadRing() = default;

void HeadRing::ReadPlain(int folder, std::span<const char* const> names)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i])
            continue;
        File& file = files[i];
        const FileDescriptor opened = OpenRead(folder, names[i], O_NOFOLLOW | O_NONBLOCK);
        file.got[Open] = opened.Get() < 0 ? -errno : 0;
        if (opened.Get() < 0)
            continue;
        struct stat status {};
        file.got[Stat] = ::fstat(opened.Get(), &status) == 0 ? 0 : -errno;
        file.stated = file.got[Stat] == 0;
        file.regular = file.stated && S_ISREG(status.st_mode);
        file.length = status.st_size;
        if (!file.regular) // a FIFO's bytes are another reader's
            continue;
        iovec into{blocks[i].data(), HeadBytes};
        ssize_t got = 0;
        do
            got = ::preadv2(opened.Get(), &into, 1, 0, RWF_NOWAIT);
        while (got < 0 && errno == EINTR);
        file.got[ReadHead] = got < 0 ? -errno : static_cast<int>(got);
    }
}

bool HeadRing::Take(std::span<const char* const> names)
{
    bool refusedAll = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const File& file = files[i];
        if (!names[i])
            continue;
        // An old kernel that does not know a step, or a file system that
        // cannot tell whether a read would wait: no later call does better.
        // What is not a regular file (a FIFO) answers for itself only.
        const bool refusal =
            std::any_of(file.got.begin(), file.got.end(), [](int res) { return res == -EINVAL || res == -EOPNOTSUPP; });
        refusedAll = refusedAll || (refusal && (file.regular || !file.stated));
        // A read that must not wait may stop short of the file's end (a page
        // not in memory, a signal): the head is then not the file's.
        const std::int64_t whole = std::min(static_cast<std::int64_t>(HeadBytes), file.length);
        if (file.regular && file.got[Open] >= 0 && file.got[ReadHead] == whole)
            heads[i] = WaveHead{{blocks[i].data(), static_cast<std::size_t>(whole)}, HeadBytes, file.length};
    }
    if (refusedAll)
        for (std::size_t i = 0; i < names.size(); ++i)
            heads[i].reset();
    return !refusedAll;
}

std::span<const std::optional<WaveHead>> HeadRing::Read(int folder, std::span<const char* const> names)
{
    names = names.first(std::min(names.size(), Files));
    const auto clear = [&] {
        for (std::size_t i = 0; i < names.size(); ++i) {
            heads[i].reset();
            files[i] = File{};
            files[i].got.fill(-ECANCELED);
        }
    };
    clear();
    const std::span<const std::optional<WaveHead>> result(heads.data(), names.size());
    if (way == Way::None || std::none_of(names.begin(), names.end(), [](const char* name) { return name; }))
        return result;
#if KELVARK_IO_URING
    if (way == Way::Untried)
        SetUp();
    if (way == Way::Ring) {
        if (ReadRing(folder, names) && Take(names))
            return result;
        // A kernel that refuses a step of the ring may still allow it as a
        // system call of its own: the files are read again that way.
        ring.reset();
        way = Way::Plain;
        clear();
    }
#endif
    ReadPlain(folder, names);
    if (!Take(names))
        way = Way::None;
    return result;
}

} // namespace kelvark
