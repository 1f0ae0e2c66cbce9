#include "HeadBatch.h"

#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>

namespace kelvark {

std::span<const std::optional<WaveHead>> HeadBatch::Read(int folder, std::span<const char* const> names)
{
    names = names.first(std::min(names.size(), Files));
    for (std::size_t i = 0; i < names.size(); ++i)
        heads[i].reset();
    const std::span<const std::optional<WaveHead>> result(heads.data(), names.size());
    for (std::size_t i = 0; i < names.size() && !refused; ++i) {
        if (!names[i])
            continue;
        // A link is not followed, and a FIFO or a device opens without waiting.
        const FileDescriptor file = OpenRead(folder, names[i], O_NOFOLLOW | O_NONBLOCK);
        struct stat status {};
        if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
            continue; // a FIFO's bytes are another reader's
        iovec into{blocks[i].data(), HeadBytes};
        ssize_t got = 0;
        do
            got = ::preadv2(file.Get(), &into, 1, 0, RWF_NOWAIT);
        while (got < 0 && errno == EINTR);
        if (got < 0 && (errno == EOPNOTSUPP || errno == EINVAL)) {
            // An old kernel, or a file system that cannot tell whether a
            // read would wait: no later call does better.
            refused = true;
            break;
        }
        // A read that must not wait may stop short of the file's end (a page
        // not in memory, a signal): the head is then not the file's.
        const std::int64_t whole = std::min(static_cast<std::int64_t>(HeadBytes), std::int64_t{status.st_size});
        if (got == whole)
            heads[i] = WaveHead{{blocks[i].data(), static_cast<std::size_t>(whole)}, HeadBytes, status.st_size};
    }
    return result;
}

} // namespace kelvark
