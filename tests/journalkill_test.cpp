#include "ChildProcess.h"
#include "Fixtures.h"
#include "Journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

using namespace kelvark;

// Sorts, moves and renames killed with SIGKILL at random moments, then
// recovered: every other run is finished, the others undone. Each run must end
// with the tree of an uninterrupted run (finished, or killed after its end) or
// the tree before it (undone, or killed before its first file moved): every
// file exactly once with its content, no project split, no folder left behind.

namespace {

using namespace fixtures;

// Every file with its content and every folder, below each of the folders,
// but the hidden file of a report that a kill cut short.
std::map<std::string, std::string> Tree(const std::vector<fs::path>& folders)
{
    std::map<std::string, std::string> tree;
    for (std::size_t i = 0; i < folders.size(); ++i)
        for (const auto& entry : fs::recursive_directory_iterator(folders[i])) {
            const std::string name = std::to_string(i) + "/" + fs::relative(entry.path(), folders[i]).string();
            const std::string file = entry.path().filename().string();
            if (entry.path().parent_path() == folders[i] && file.starts_with(".kelvark-") && file.ends_with(".tmp"))
                continue;
            tree[name] = entry.is_directory() ? "<folder>" : AnySorts(entry.path(), ReadFile(entry.path()));
        }
    return tree;
}

struct Case {
    const char* name;
    std::vector<std::string> args; // after the command, with ROOT (and paths in it, ROOT/DVD-A) and DEST
    int runs;
    std::vector<std::vector<std::string>> setup = {}; // run on the fresh folder first
};

std::vector<std::string> Arguments(const std::vector<std::string>& args, const fs::path& root, const fs::path& dest)
{
    std::vector<std::string> full;
    for (const auto& arg : args)
        full.push_back(arg.starts_with("ROOT") ? root.string() + arg.substr(4) : arg == "DEST" ? dest.string() : arg);
    return full;
}

// A generated folder, laid anew before each run, with the trees before and
// after an uninterrupted run of the case, and how long that run took and how
// long its journal held its whole plan (a restore first copies the discs'
// files under it): the stops fall anywhere in those times, however fast this
// build is (a sanitizer build starts and ends slowly).
struct Runs {
    const Case& c;
    TempDir base;
    TempDir destFolder;
    fs::path sample = base.path() / "sample";
    fs::path root = base.path() / "root";
    fs::path dest = destFolder.path() / "dest";
    std::map<std::string, std::string> before, after;
    int microseconds = 0; // the whole run
    int operation = 0; // while the journal held its whole plan

    Runs(const Case& c, const fs::path& destBase) : c(c), destFolder(destBase)
    {
        ChildProcess make(KELVARK_SAMPLE_PATH, {sample.string(), "--projects", "24", "--waves", "4", "--seed", "3"},
                          base.path());
        EXPECT_EQ(make.Wait(), 0);
        Fresh();
        before = Tree({root, dest});
        const auto since = [](auto start) {
            return static_cast<int>(
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                    .count());
        };
        const auto start = std::chrono::steady_clock::now();
        ChildProcess child(KELVARK_CLI_PATH, Arguments(c.args, root, dest), base.path());
        WaitForJournal(child, true);
        const auto journalSeen = std::chrono::steady_clock::now();
        WaitForJournal(child, false);
        operation = since(journalSeen);
        EXPECT_EQ(child.Wait(), 0) << ReadFile(base.path() / "err");
        microseconds = since(start);
        after = Tree({root, dest});
        EXPECT_NE(before, after);
    }
    int Run(const std::vector<std::string>& args)
    {
        ChildProcess child(KELVARK_CLI_PATH, Arguments(args, root, dest), base.path());
        return child.Wait();
    }
    // The sample again, and a catalogue without the sorts of earlier runs,
    // whose discs the next sort would letter its sets after.
    void Fresh()
    {
        fs::remove_all(fs::path(std::getenv("XDG_DATA_HOME")) / "kelvark");
        fs::remove_all(root);
        fs::remove_all(dest);
        fs::copy(sample, root, fs::copy_options::recursive);
        fs::create_directory(dest);
        for (const auto& args : c.setup)
            EXPECT_EQ(Run(args), 0);
    }
    // Waits until the journal holds its whole plan (or is gone), or the child ended.
    void WaitForJournal(ChildProcess& child, bool there) const
    {
        while (!child.Ended()
               && (there ? ReadFile(root / Journal::FileName).find("\nend\t") == std::string::npos
                         : fs::exists(root / Journal::FileName)))
            std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    // Stops a fresh run with signal at a random moment of the whole run, or of
    // the part after its journal holds its whole plan; true when it left a journal.
    bool Stop(int signal, std::mt19937& random, bool afterJournal)
    {
        Fresh();
        ChildProcess child(KELVARK_CLI_PATH, Arguments(c.args, root, dest), base.path());
        if (afterJournal)
            WaitForJournal(child, true);
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<int>(0, afterJournal ? operation : microseconds)(random)));
        child.Kill(signal);
        child.Wait();
        Journal journal;
        return journal.LookAndTidy(root.string() + "/") == Journal::State::Stopped;
    }
};

void KillAndRecover(const Case& c, const fs::path& destBase)
{
    Runs r(c, destBase);
    std::mt19937 random(7);
    int stopped = 0;
    // A short operation may end before every kill of its runs: more runs
    // follow until one falls inside it.
    for (int run = 0; run < c.runs || (stopped == 0 && run < 10 * c.runs); ++run) {
        const bool finish = run % 2 == 0;
        if (r.Stop(SIGKILL, random, run % 4 >= 2)) {
            ++stopped;
            const std::vector<std::string> recover{"recover", finish ? "--finish" : "--undo", "ROOT"};
            // Every third recover is itself killed at a random moment first.
            if (stopped % 3 == 0) {
                ChildProcess child(KELVARK_CLI_PATH, Arguments(recover, r.root, r.dest), r.base.path());
                std::this_thread::sleep_for(
                    std::chrono::microseconds(std::uniform_int_distribution<int>(0, r.operation)(random)));
                child.Kill(SIGKILL);
                child.Wait();
            }
            if (Journal journal; journal.LookAndTidy(r.root.string() + "/") == Journal::State::Stopped) {
                ASSERT_EQ(r.Run(recover), 0) << ReadFile(r.base.path() / "err");
            }
            ASSERT_FALSE(fs::exists(r.root / Journal::FileName));
            const auto tree = Tree({r.root, r.dest});
            ASSERT_TRUE(tree == (finish ? r.after : r.before))
                << c.name << " run " << run << (finish ? " finished" : " undone");
        } else {
            auto tree = Tree({r.root, r.dest});
            // An unsort removes the copies of read-only projects, and a
            // restore copies the discs' files into its staging folder, before
            // its journal begins: killed there, it is run again.
            if (tree != r.before && tree != r.after && !c.setup.empty()) {
                ASSERT_EQ(r.Run(c.args), 0) << ReadFile(r.base.path() / "err");
                tree = Tree({r.root, r.dest});
            }
            ASSERT_TRUE(tree == r.before || tree == r.after) << c.name << " run " << run << " killed without a journal";
        }
    }
    EXPECT_GT(stopped, 0) << "no kill fell while " << c.name << " ran";
}

TEST(KilledOperation, IsFinishedOrUndoneWhole)
{
    // A sort, then projects that came after it: a second sort's sets follow
    // the first's, and it and Report Only rename the first's reports with its date.
    const std::vector<std::vector<std::string>> afterASort{
        {"move", "ROOT", "DEST", "0003 Session", "0011 Session", "0017 Session", "0023 Session"},
        {"sort", "--yes", "ROOT"},
        {"move", "DEST", "ROOT", "0003 Session", "0011 Session", "0017 Session", "0023 Session"}};
    const std::vector<Case> cases{
        {"sort", {"sort", "--yes", "ROOT"}, 40},
        {"move",
         {"move", "ROOT", "DEST", "0003 Session", "0010 Session Mix", "0011 Session", "0017 Session",
          "0020 Session Mix", "0023 Session"},
         30},
        {"rename", {"rename", "ROOT", "0010 Session Mix", "Renamed"}, 30},
        {"unsort", {"unsort", "--yes", "ROOT"}, 20, {{"sort", "--yes", "ROOT"}}},
        {"second sort", {"sort", "--yes", "ROOT"}, 30, afterASort},
        {"report after a sort", {"report", "--yes", "ROOT"}, 10, afterASort},
        {"restore", {"restore", "--into", "ROOT", "ROOT/DVD-A"}, 20, {{"sort", "--yes", "ROOT"}, {"checksum", "ROOT"}}},
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
    KillAndRecover({"move across", {"move", "ROOT", "DEST", "0003 Session", "0020 Session Mix", "0023 Session"}, 20},
                   "/dev/shm");
}

// A second run on a folder while a sort holds it (stopped here by SIGSTOP
// once its plan is written) is refused at once, whatever it is; killed, the
// sort leaves a journal that recovers.
TEST(RunningOperation, RefusesASecondRunAndRecoversAfterAKill)
{
    const Case sort{"sort", {"sort", "--yes", "ROOT"}, 1};
    Runs r(sort, fs::temp_directory_path());
    bool held = false;
    for (int attempt = 0; attempt < 20 && !held; ++attempt) {
        r.Fresh();
        ChildProcess child(KELVARK_CLI_PATH, Arguments(sort.args, r.root, r.dest), r.base.path());
        while (!child.Ended() && ReadFile(r.root / Journal::FileName).find("\nend\t") == std::string::npos) {}
        child.Kill(SIGSTOP);
        if (child.Ended() || !fs::exists(r.root / Journal::FileName))
            continue;
        held = true;
        for (const std::vector<std::string>& second : {sort.args,
                                                       {"move", "ROOT", "DEST", "0003 Session"},
                                                       {"recover", "--finish", "ROOT"},
                                                       {"unsort", "--yes", "ROOT"},
                                                       {"list", "ROOT"}}) {
            EXPECT_EQ(r.Run(second), 1 << 8) << second.front();
            EXPECT_TRUE(ReadFile(r.base.path() / "err").starts_with("Kelvark is already sorting this folder (since "))
                << second.front() << ": " << ReadFile(r.base.path() / "err");
        }
        child.Kill(SIGKILL);
        child.Wait();
        ASSERT_EQ(r.Run({"recover", "--finish", "ROOT"}), 0) << ReadFile(r.base.path() / "err");
        EXPECT_TRUE(Tree({r.root, r.dest}) == r.after);
    }
    EXPECT_TRUE(held) << "every sort ended before it could be held";
}

// SIGTERM (a shutdown) and SIGHUP (a closed terminal) stop a sort between two
// projects: each project's files are together in one folder, without recover.
TEST(StoppedOperation, ASignalStopsASortBetweenProjects)
{
    const Case sort{"sort", {"sort", "--yes", "ROOT"}, 20};
    Runs r(sort, fs::temp_directory_path());
    std::mt19937 random(11);
    for (const int signal : {SIGTERM, SIGHUP})
        for (int run = 0; run < sort.runs / 2; ++run) {
            r.Stop(signal, random, run % 2 == 0);
            // Every file of a generated project starts with its number.
            std::map<std::string, std::set<std::string>> folders;
            for (const auto& [path, content] : Tree({r.root}))
                if (content != "<folder>")
                    folders[fs::path(path).filename().string().substr(0, 4)].insert(
                        fs::path(path).parent_path().string());
            for (const auto& [project, where] : folders)
                EXPECT_EQ(where.size(), 1u) << "project " << project << " split, signal " << signal << " run " << run;
        }
}

} // namespace
