#include "ChildProcess.h"
#include "Fixtures.h"
#include "SetLetters.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

using namespace kelvark;

// A backup sort killed in the middle: kelvark-cli sort --yes on a large
// generated folder gets SIGKILL while it moves the files. Every file of the
// folder must then exist exactly once, whole, in the root folder or in the
// folder of its project's set; a read-only project, which is copied, keeps its
// files in the root folder and has only whole copies in its set's folder.

namespace {

using namespace fixtures;

TEST(KilledSort, LeavesEveryFileWholeInTheRootOrInItsSetsFolder)
{
    TempDir base;
    const fs::path root = base.path() / "root";
    {
        ChildProcess sample(KELVARK_SAMPLE_PATH, {root.string(), "--projects", "100", "--waves", "10", "--seed", "6"},
                            base.path());
        ASSERT_EQ(sample.Wait(), 0) << ReadFile(base.path() / "err");
    }
    // Read-only projects are copied. One in the middle of the list has a large
    // file of its own: the kill comes while the sort copies it, after the
    // projects before it have moved.
    const std::string large = "0041 Session.take";
    WriteFile(root / large, "");
    fs::resize_file(root / large, 8 << 20);
    for (const char* name : {"0041 Session", "0051 Session", "0077 Session"})
        MakeReadOnly(root / (std::string(name) + ".cue"));

    // The plan the command follows: the same core on the same folder.
    FakeUi ui;
    orvoProjectList list{ui.services()};
    ASSERT_FALSE(list.ReadFolder(root.string() + "/", true, true));
    list.CalcBackup(DVDMedium());
    std::map<std::string, std::string> setFolder; // file name -> its project's set folder
    std::set<std::string> copied; // the files of read-only projects
    for (const auto& project : list.projects) {
        ASSERT_GE(project->BackupNum, 0) << project->Name;
        std::vector<std::string> files = project->OwnFiles();
        for (int i = 0; i < project->WaveCount(); ++i)
            files.emplace_back(project->WaveName(i));
        for (const auto& file : files) {
            setFolder[file] = "DVD-" + SetLetters(project->BackupNum);
            if (project->ReadOnly)
                copied.insert(file);
        }
    }
    ASSERT_GT(list.numBackups, 1);
    const auto before = Snapshot(root);
    ASSERT_EQ(before.size(), setFolder.size());

    TempDir output;
    ChildProcess sort(KELVARK_CLI_PATH, {"sort", "--yes", root.string()}, output.path());
    // Killed once the copy of the large file has begun in its set's folder
    // (under a hidden name, or already under its own).
    const auto copying = [set = root / setFolder.at(large), &large] {
        std::error_code error;
        for (fs::directory_iterator it(set, error), end; !error && it != end; it.increment(error))
            if (const std::string name = it->path().filename().string(); name.starts_with(".") || name == large)
                return true;
        return false;
    };
    while (!sort.Ended() && !copying())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    sort.Kill(SIGKILL);
    const int status = sort.Wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << "the sort ended before it was killed: " << ReadFile(output.path() / "err");

    const auto after = Snapshot(root);
    std::map<std::string, std::string> moved; // the files of the projects that move
    int inSets = 0;
    for (const auto& [file, content] : before) {
        const std::string inSet = setFolder.at(file) + "/" + file;
        if (copied.contains(file)) {
            EXPECT_TRUE(after.contains(file) && after.at(file) == content) << file << " changed in the root folder";
            if (after.contains(inSet)) {
                EXPECT_TRUE(after.at(inSet) == content)
                    << inSet << " holds " << after.at(inSet).size() << " of the " << content.size() << " bytes";
            }
            continue;
        }
        moved[file] = content;
        EXPECT_EQ(after.contains(file) + after.contains(inSet), 1)
            << file << " is neither in the root nor in " << inSet;
        inSets += after.contains(inSet);
    }
    ExpectNothingLost(moved, root);
    EXPECT_GT(inSets, 0);
    EXPECT_LT(inSets, static_cast<int>(moved.size())) << "the sort was not killed in the middle";
    // Nothing else appeared but the files' places in the sets, and hidden
    // files there (a copy cut short before it got its name).
    for (const auto& [path, content] : after) {
        const std::string file = fs::path(path).filename().string();
        if (file.starts_with(".") && fs::path(path).parent_path().string().starts_with("DVD-"))
            continue;
        if (path == ".kelvark-journal") // what recover finishes or undoes
            continue;
        EXPECT_TRUE(before.contains(file) && (path == file || path == setFolder.at(file) + "/" + file)) << path;
    }
}

} // namespace
