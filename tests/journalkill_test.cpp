#include "ChildProcess.h"
#include "Fixtures.h"
#include "Journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

// Sorts, moves and renames killed with SIGKILL at random moments, then
// recovered: every other run is finished, the others undone. Each run must end
// with the tree of an uninterrupted run (finished, or killed after its end) or
// the tree before it (undone, or killed before its first file moved): every
// file exactly once with its content, no project split, no folder left behind.

namespace {

using namespace fixtures;

// Every file with its content and every folder, below each of the folders;
// the reports are left out (a finished sort does not write them), and so is
// the hidden file of a report that a kill cut short.
std::map<std::string, std::string> Tree(const std::vector<fs::path>& folders)
{
    std::map<std::string, std::string> tree;
    for (std::size_t i = 0; i < folders.size(); ++i)
        for (const auto& entry : fs::recursive_directory_iterator(folders[i])) {
            const std::string name = std::to_string(i) + "/" + fs::relative(entry.path(), folders[i]).string();
            const std::string file = entry.path().filename().string();
            if (file == "Backup Report.txt" || file == "Backups.csv" || file == "BackupProjects.csv"
                || (entry.path().parent_path() == folders[i] && file.starts_with(".kelvark-") && file.ends_with(".tmp")))
                continue;
            tree[name] = entry.is_directory() ? "<folder>" : ReadFile(entry.path());
        }
    return tree;
}

struct Case {
    const char* name;
    std::vector<std::string> args; // after the command, with ROOT and DEST
    int runs;
    int maxMicroseconds; // the kills fall between 0 and this after the start
};

std::vector<std::string> Arguments(const Case& c, const fs::path& root, const fs::path& dest)
{
    std::vector<std::string> args;
    for (const auto& arg : c.args)
        args.push_back(arg == "ROOT" ? root.string() : arg == "DEST" ? dest.string() : arg);
    return args;
}

void KillAndRecover(const Case& c, const fs::path& destBase)
{
    TempDir base;
    TempDir destFolder(destBase);
    const fs::path sample = base.path() / "sample";
    {
        ChildProcess make(KELVARK_SAMPLE_PATH, {sample.string(), "--projects", "24", "--waves", "4", "--seed", "3"},
                          base.path());
        ASSERT_EQ(make.Wait(), 0);
    }
    const fs::path root = base.path() / "root";
    const fs::path dest = destFolder.path() / "dest";
    const auto fresh = [&] {
        fs::remove_all(root);
        fs::remove_all(dest);
        fs::copy(sample, root, fs::copy_options::recursive);
        fs::create_directory(dest);
    };
    fresh();
    const auto before = Tree({root, dest});
    {
        ChildProcess whole(KELVARK_CLI_PATH, Arguments(c, root, dest), base.path());
        ASSERT_EQ(whole.Wait(), 0) << ReadFile(base.path() / "err");
    }
    const auto after = Tree({root, dest});
    ASSERT_NE(before, after);

    std::mt19937 random(7);
    int stopped = 0;
    for (int run = 0; run < c.runs; ++run) {
        fresh();
        ChildProcess child(KELVARK_CLI_PATH, Arguments(c, root, dest), base.path());
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, c.maxMicroseconds)(random)));
        child.Kill(SIGKILL);
        child.Wait();
        const bool finish = run % 2 == 0;
        if (Journal journal; journal.Read(root.string() + "/")) {
            ++stopped;
            ChildProcess recover(KELVARK_CLI_PATH, {"recover", finish ? "--finish" : "--undo", root.string()},
                                 base.path());
            ASSERT_EQ(recover.Wait(), 0) << ReadFile(base.path() / "err");
            ASSERT_FALSE(fs::exists(root / Journal::FileName));
            const auto tree = Tree({root, dest});
            ASSERT_TRUE(tree == (finish ? after : before)) << c.name << " run " << run << (finish ? " finished" : " undone");
        } else {
            const auto tree = Tree({root, dest});
            ASSERT_TRUE(tree == before || tree == after) << c.name << " run " << run << " killed without a journal";
        }
    }
    EXPECT_GT(stopped, 0) << "no kill fell while " << c.name << " ran";
}

TEST(KilledOperation, IsFinishedOrUndoneWhole)
{
    const std::vector<Case> cases{
        {"sort", {"sort", "--yes", "ROOT"}, 40, 15000},
        {"move", {"move", "ROOT", "DEST", "0003 Session", "0010 Session Mix", "0011 Session", "0017 Session",
                  "0020 Session Mix", "0023 Session"}, 30, 10000},
        {"rename", {"rename", "ROOT", "0010 Session Mix", "Renamed"}, 30, 8000},
    };
    for (const auto& c : cases)
        KillAndRecover(c, fs::temp_directory_path());
}

// A move to another file system copies, then removes the sources; killed at
// any moment it is recovered whole too.
TEST(KilledOperation, MoveToAnotherFileSystemIsRecoveredWhole)
{
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    KillAndRecover({"move across", {"move", "ROOT", "DEST", "0003 Session", "0020 Session Mix", "0023 Session"}, 20, 10000},
                   "/dev/shm");
}

} // namespace
