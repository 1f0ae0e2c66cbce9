#include "FileOps.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvark;

namespace {

using namespace fixtures;

TEST(MoveNoReplace, MovesAndNeverReplaces)
{
    TempDir dir;
    WriteFile(dir.path() / "a", "first");
    WriteFile(dir.path() / "b", "second");

    EXPECT_EQ(MoveNoReplace(dir.path() / "a", dir.path() / "b"), std::errc::file_exists);
    EXPECT_EQ(ReadFile(dir.path() / "a"), "first");
    EXPECT_EQ(ReadFile(dir.path() / "b"), "second");

    EXPECT_FALSE(MoveNoReplace(dir.path() / "a", dir.path() / "c"));
    EXPECT_FALSE(fs::exists(dir.path() / "a"));
    EXPECT_EQ(ReadFile(dir.path() / "c"), "first");

    EXPECT_EQ(MoveNoReplace(dir.path() / "gone", dir.path() / "d"), std::errc::no_such_file_or_directory);
}

TEST(CopyNoReplace, KeepsContentPermissionsAndTimes)
{
    TempDir dir;
    const std::string content(3 << 20, 'x'); // more than one buffer
    WriteFile(dir.path() / "a", content);
    const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(dir.path() / "a", stamp);
    MakeReadOnly(dir.path() / "a");

    EXPECT_FALSE(CopyNoReplace(dir.path() / "a", dir.path() / "b"));
    EXPECT_EQ(ReadFile(dir.path() / "b"), content);
    EXPECT_EQ(fs::status(dir.path() / "b").permissions(), fs::status(dir.path() / "a").permissions());
    EXPECT_EQ(fs::last_write_time(dir.path() / "b"), stamp);
    EXPECT_TRUE(IsReadOnly(dir.path() / "b"));
}

TEST(CopyNoReplace, NeverReplacesAndRemovesAPartialCopy)
{
    TempDir dir;
    WriteFile(dir.path() / "a", std::string(1000, 'a'));
    WriteFile(dir.path() / "b", "kept");
    EXPECT_EQ(CopyNoReplace(dir.path() / "a", dir.path() / "b"), std::errc::file_exists);
    EXPECT_EQ(ReadFile(dir.path() / "b"), "kept");

    // A copy that cannot be written to its end, as on a full disk.
    std::error_code error;
    {
        const FileSizeLimit limit(100);
        error = CopyNoReplace(dir.path() / "a", dir.path() / "c");
    }

    EXPECT_EQ(error, std::errc::file_too_large);
    EXPECT_EQ(EntryNames(dir.path()), (std::vector<std::string>{"a", "b"})); // no copy, whole or partial
    EXPECT_EQ(ReadFile(dir.path() / "a"), std::string(1000, 'a'));
}

// Only the file itself found under another spelling, with no other name, is
// the entry of the old name.
TEST(SameEntryOtherSpelling, TellsTheFileItselfFromASecondName)
{
    TempDir dir;
    WriteFile(dir.path() / "Song.cue", "project");
    WriteFile(dir.path() / "Other.cue", "another");
    const auto status = [&](const std::string& name) {
        struct stat found {};
        ::lstat((dir.path() / name).c_str(), &found);
        return found;
    };
    const struct stat song = status("Song.cue");
    EXPECT_TRUE(SameEntryOtherSpelling("Song.cue", "song.cue", song, song)); // as a folding file system finds it
    EXPECT_FALSE(SameEntryOtherSpelling("Song.cue", "Song.cue", song, song));
    EXPECT_FALSE(SameEntryOtherSpelling("Song.cue", "other.cue", song, status("Other.cue")));
    fs::create_hard_link(dir.path() / "Song.cue", dir.path() / "song.cue");
    EXPECT_FALSE(SameEntryOtherSpelling("Song.cue", "song.cue", status("Song.cue"), status("song.cue")));
}

// Only a file's owner may open it without marking it read: another owner's
// file is opened plainly, and the next file is tried without access times
// again. Run as nobody, for whom root's file refuses it.
TEST(OpenRead, LeavesTheAccessTimeOfEveryFileItsOwnerOpens)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file another owner and to act as that owner";
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    WriteFile(dir.path() / "root's", "a");
    WriteFile(dir.path() / "nobody's", "b");
    ASSERT_EQ(::chown((dir.path() / "nobody's").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::seteuid(65534), 0);
    const FileDescriptor other = OpenRead(AT_FDCWD, (dir.path() / "root's").c_str());
    const FileDescriptor own = OpenRead(AT_FDCWD, (dir.path() / "nobody's").c_str());
    if (::seteuid(0) != 0)
        std::abort(); // every later test would run as nobody
    const auto noAccessTime = [](const FileDescriptor& file) {
        return (::fcntl(file.Get(), F_GETFL) & O_NOATIME) != 0;
    };
    ASSERT_GE(other.Get(), 0);
    ASSERT_GE(own.Get(), 0);
    EXPECT_FALSE(noAccessTime(other));
    EXPECT_TRUE(noAccessTime(own));
}

} // namespace
