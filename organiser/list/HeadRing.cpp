#include "HeadRing.h"

#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <liburing.h>
#include <linux/openat2.h>
#include <sys/stat.h>

namespace kelvark {

namespace {

// The steps of one file, in their order; a completion's user data is the
// file's index times four plus its step.
enum Step : unsigned { Open, ReadHead, Stat, Close, Steps };

} // namespace

struct HeadRing::Ring {
    Ring() = default;
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    ~Ring()
    {
        if (queued)
            io_uring_queue_exit(&ring);
    }

    io_uring ring{};
    bool queued = false; // the ring was set up with the kernel
    std::array<std::array<unsigned char, HeadBytes>, Files> blocks{};
    std::array<struct statx, Files> stats{};
    std::array<std::array<int, Steps>, Files> results{};
};

HeadRing::HeadRing() = default;

void HeadRing::SetUp()
{
    setUp = true;
    ring = std::make_unique<Ring>();
    // Every step is submitted even when one before it is refused, so none is
    // left in the queue for a later Read; the files are opened into slots of
    // the ring, which the read and the close then name.
    ring->queued = io_uring_queue_init(Files * Steps, &ring->ring, IORING_SETUP_SUBMIT_ALL) == 0;
    if (!ring->queued || io_uring_register_files_sparse(&ring->ring, Files) < 0)
        ring.reset();
}

HeadRing::~HeadRing() = default;

std::span<const std::optional<WaveHead>> HeadRing::Read(int folder, std::span<const char* const> names)
{
    const std::size_t count = std::min(names.size(), Files);
    for (std::size_t i = 0; i < count; ++i)
        heads[i].reset();
    const std::span<const std::optional<WaveHead>> result(heads.data(), count);
    if (!setUp && std::any_of(names.begin(), names.end(), [](const char* name) { return name; }))
        SetUp();
    if (!ring)
        return result;

    // RESOLVE_CACHED: the open fails with EAGAIN rather than look a name up
    // on the disk or the network; RWF_NOWAIT does the same for the read. The
    // length and the close come whatever the read gave (a read short of a
    // small file's end would cut a plain link); a failed open cancels all three.
    // A link is not followed, and a FIFO or a device opens without waiting;
    // a head is taken only from what the length's step finds a regular file.
    open_how how{};
    how.flags = static_cast<std::uint64_t>((ReadFlags() & ~O_CLOEXEC) // a direct descriptor has no exec flag
                                           | O_NOFOLLOW | O_NONBLOCK);
    how.resolve = RESOLVE_CACHED;
    io_uring& uring = ring->ring;
    unsigned steps = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!names[i])
            continue;
        const auto slot = static_cast<unsigned>(i);
        io_uring_sqe* step = io_uring_get_sqe(&uring);
        io_uring_prep_openat2_direct(step, folder, names[i], &how, slot);
        step->flags |= IOSQE_IO_LINK;
        step->user_data = i * Steps + Open;
        step = io_uring_get_sqe(&uring);
        io_uring_prep_read(step, static_cast<int>(slot), ring->blocks[i].data(), HeadBytes, 0);
        step->rw_flags = RWF_NOWAIT;
        step->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        step->user_data = i * Steps + ReadHead;
        step = io_uring_get_sqe(&uring);
        io_uring_prep_statx(step, folder, names[i], AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_SIZE, &ring->stats[i]);
        step->flags |= IOSQE_IO_HARDLINK;
        step->user_data = i * Steps + Stat;
        step = io_uring_get_sqe(&uring);
        io_uring_prep_close_direct(step, slot);
        step->user_data = i * Steps + Close;
        steps += Steps;
    }
    if (steps == 0)
        return result;

    int submitted = 0;
    do
        submitted = io_uring_submit(&uring);
    while (submitted == -EINTR);
    if (submitted != static_cast<int>(steps)) {
        // Steps left in the queue would name files of this call later on.
        ring.reset();
        return result;
    }
    for (unsigned done = 0; done < steps; ++done) {
        io_uring_cqe* completion = nullptr;
        int waited = 0;
        do
            waited = io_uring_wait_cqe(&uring, &completion);
        while (waited == -EINTR);
        if (waited < 0) { // the steps under way cannot be told apart from later ones
            ring.reset();
            return result;
        }
        ring->results[completion->user_data / Steps][completion->user_data % Steps] = completion->res;
        io_uring_cqe_seen(&uring, completion);
    }
    bool refused = false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto& got = ring->results[i];
        if (!names[i])
            continue;
        const bool stated = got[Stat] == 0;
        const bool regular = stated && S_ISREG(ring->stats[i].stx_mode);
        // An old kernel that does not know a step, or a file system that
        // cannot tell whether a read would wait: no later call does better.
        // What is not a regular file (a FIFO) answers for itself only.
        const bool refusal =
            std::any_of(got.begin(), got.end(), [](int res) { return res == -EINVAL || res == -EOPNOTSUPP; });
        refused = refused || (refusal && (regular || !stated));
        if (regular && got[Open] >= 0 && got[ReadHead] >= 0)
            heads[i] = WaveHead{{ring->blocks[i].data(), static_cast<std::size_t>(got[ReadHead])},
                                HeadBytes,
                                static_cast<std::int64_t>(ring->stats[i].stx_size)};
    }
    if (refused) { // no file gets a head: the heads read lie in the ring, which goes
        for (std::size_t i = 0; i < count; ++i)
            heads[i].reset();
        ring.reset();
    }
    return result;
}

} // namespace kelvark
