#include "Fixtures.h"
#include "HeadBatch.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

using namespace kelvark;
using namespace fixtures;

// This program's preadv2: every third read that gets bytes reports half of
// them, as a read that must not wait does when part of what it asks is not
// in memory; else the C library's.
extern "C" ssize_t preadv2(int fd, const iovec* parts, int count, off_t offset, int flags)
{
    static const auto next =
        reinterpret_cast<ssize_t (*)(int, const iovec*, int, off_t, int)>(::dlsym(RTLD_NEXT, "preadv2"));
    static int reads = 0;
    const ssize_t got = next(fd, parts, count, offset, flags);
    return got > 0 && ++reads % 3 == 0 ? got / 2 : got;
}

namespace {

// The head and length of a regular file as a plain read finds them: not
// following a link, reading until HeadBytes or the end.
std::optional<std::pair<std::string, std::int64_t>> PlainHead(int folder, const char* name)
{
    const FileDescriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::string head(HeadBatch::HeadBytes, '\0');
    std::size_t have = 0;
    while (have < head.size()) {
        const ssize_t got = ::read(file.Get(), head.data() + have, head.size() - have);
        if (got <= 0)
            break;
        have += static_cast<std::size_t>(got);
    }
    head.resize(have);
    return std::pair{head, static_cast<std::int64_t>(status.st_size)};
}

} // namespace

// Random batches of files of every length around HeadBytes, links, a folder,
// a FIFO and missing names: every head given is the file's own first bytes
// and length, and only regular files get one.
TEST(HeadBatch, GivesTheHeadsAPlainReadFinds)
{
    TempDir dir;
    std::mt19937 random(40);
    constexpr std::size_t head = HeadBatch::HeadBytes;
    const std::array<std::size_t, 6> edges{0, 1, head - 1, head, head + 1, 3 * head};
    std::vector<std::string> names;
    for (std::size_t i = 0; i < 300; ++i) {
        std::string bytes(i < edges.size() ? edges[i] : random() % (3 * head + 1), '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        names.push_back("f" + std::to_string(i));
        WriteFile(dir.path() / names.back(), bytes);
    }
    for (int i = 0; i < 20; ++i) {
        fs::create_symlink(names[random() % 300], dir.path() / ("l" + std::to_string(i)));
        fs::create_symlink("gone", dir.path() / ("d" + std::to_string(i)));
        names.insert(names.end(), {"l" + std::to_string(i), "d" + std::to_string(i)});
    }
    fs::create_directory(dir.path() / "sub");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    names.insert(names.end(), {"sub", "fifo", "gone"});

    const FileDescriptor folder = OpenFolder(dir.str());
    HeadBatch reader;
    int regular = 0;
    int given = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<const char*> batch(random() % (HeadBatch::Files + 1));
        for (const char*& name : batch)
            name = random() % 6 == 0 ? nullptr : names[random() % names.size()].c_str();
        const auto heads = reader.Read(folder.Get(), batch);
        ASSERT_EQ(heads.size(), batch.size());
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const auto plain = batch[i] ? PlainHead(folder.Get(), batch[i]) : std::nullopt;
            regular += plain ? 1 : 0;
            if (!heads[i])
                continue;
            ++given;
            ASSERT_TRUE(plain) << batch[i];
            EXPECT_EQ(std::string(heads[i]->block.begin(), heads[i]->block.end()), plain->first) << batch[i];
            EXPECT_EQ(heads[i]->length, plain->second) << batch[i];
            EXPECT_EQ(heads[i]->asked, head);
        }
    }
    // Everything is in memory: most of the regular files' heads come.
    EXPECT_GT(2 * given, regular);
}
