#include "Commands.h"
#include "FileOps.h"
#include "Fixtures.h"
#include "Journal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvark;

// A file system like FAT, exFAT or some network shares, as this program meets
// it: no no-replace rename, no hard links, no POSIX permissions or settable
// times. The calls are answered here, in place of the C library's, while
// fatSemantics is on; every other call goes through.

namespace {

bool fatSemantics = false;

template <typename Function> Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned int flags)
{
    if (fatSemantics && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    static const auto next = Next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return next(olddirfd, oldpath, newdirfd, newpath, flags);
}

extern "C" int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags)
{
    if (fatSemantics) {
        errno = EPERM;
        return -1;
    }
    static const auto next = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
    return next(olddirfd, oldpath, newdirfd, newpath, flags);
}

extern "C" int fchmod(int fd, mode_t mode)
{
    if (fatSemantics) {
        errno = EPERM;
        return -1;
    }
    static const auto next = Next<int (*)(int, mode_t)>("fchmod");
    return next(fd, mode);
}

extern "C" int futimens(int fd, const struct timespec times[2])
{
    if (fatSemantics) {
        errno = ENOSYS;
        return -1;
    }
    static const auto next = Next<int (*)(int, const struct timespec*)>("futimens");
    return next(fd, times);
}

namespace {

using namespace fixtures;

struct FatSemantics {
    FatSemantics() { fatSemantics = true; }
    ~FatSemantics() { fatSemantics = false; }
};

// Sorts, copies and refuses to replace files there as everywhere.
TEST(NoLinkFileSystem, SortsCopiesAndNeverReplaces)
{
    const FatSemantics fat;
    Studio s;
    WriteProject(s.root.path(), "One", {{"one.wav", 400000000}});
    WriteProject(s.root.path(), "Two", {{"two.wav", 400000000}});
    WriteProject(s.root.path(), "Frozen", {{"frozen.wav", 1000}});
    MakeReadOnly(s.root.path() / "Frozen.cue");
    s.Read(true);
    auto before = Snapshot(s.root.path());
    before.erase("Frozen.cue"); // copied: there twice
    before.erase("frozen.wav");

    EXPECT_FALSE(s.Sort());
    EXPECT_TRUE(s.ui.messages.shown.empty());
    ExpectNothingLost(before, s.root.path());
    for (const char* sorted : {"CD-A/One.cue", "CD-A/one.wav", "CD-B/Two.cue", "CD-B/two.wav"})
        EXPECT_TRUE(fs::exists(s.root.path() / sorted)) << sorted;
    const std::string frozenSet = "CD-" + std::string(1, 'A' + s.Project(0).BackupNum);
    EXPECT_EQ(ReadFile(s.root.path() / frozenSet / "frozen.wav"), ReadFile(s.root.path() / "frozen.wav"));
    EXPECT_EQ(Journal().LookAndTidy(s.root.str()), Journal::State::None);

    // The look-up before the rename refuses a taken name.
    WriteFile(s.root.path() / "taken", "mine");
    WriteFile(s.root.path() / "other", "other");
    ASSERT_NE(::linkat(AT_FDCWD, (s.root.path() / "other").c_str(), AT_FDCWD, (s.root.path() / "linked").c_str(), 0),
              0); // the double answers
    EXPECT_EQ(MoveNoReplace(s.root.path() / "other", s.root.path() / "taken"), std::errc::file_exists);
    EXPECT_EQ(ReadFile(s.root.path() / "taken"), "mine");
    EXPECT_EQ(ReadFile(s.root.path() / "other"), "other");
}

} // namespace
