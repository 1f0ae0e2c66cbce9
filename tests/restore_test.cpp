// Restoring projects from their discs: a folder sorted, checksummed and
// written as an image, its set folder then lost, comes back from the image or
// from a copy of the set folder byte for byte; a name taken by other bytes,
// or a file of the disc that differs from its SHA256SUMS, refuses the restore
// with nothing copied, and a project on none of the discs given is looked up
// in the catalogue.

#include "Catalogue.h"
#include "ChildProcess.h"
#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// A root folder of two projects, sorted into DVD-A, checksummed and written
// as base/DVD-A.iso; the set folder is kept as base/copy/DVD-A and then
// removed from the root, with its files in set:
//   Alder  Alder 1.wav, Alder 2.wav      Blue   Blue 1.wav
class restore : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteProject(root.path(), "Alder", {{"Alder 1.wav", 1000}, {"Alder 2.wav", 2000}});
        WriteProject(root.path(), "Blue", {{"Blue 1.wav", 3000}});
        for (const std::vector<std::string>& args : {std::vector<std::string>{"sort", "--yes", root.str()},
                                                     {"checksum", root.str()},
                                                     {"image", "--into", base.str(), root.str()}}) {
            const Output ran = Cli(args);
            ASSERT_EQ(ran.status, 0) << args.front() << ": " << ran.err;
        }
        fs::create_directory(base.path() / "copy");
        fs::copy(root.path() / "DVD-A", copy, fs::copy_options::recursive);
        fs::remove_all(root.path() / "DVD-A");
        for (const auto& entry : fs::directory_iterator(copy))
            if (const std::string name = entry.path().filename().string();
                name.ends_with(".wav") || name.ends_with(".cue"))
                set[name] = ReadFile(entry.path());
    }

    // The program, with the catalogue in base/data/kelvark, never the user's.
    Output Cli(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"XDG_DATA_HOME=" + data.string(), KELVARK_CLI_PATH});
        return fixtures::Run("/usr/bin/env", args);
    }

    Output Restore(const std::string& source, const std::vector<std::string>& projects = {})
    {
        std::vector<std::string> args{"restore", "--into", root.str(), source};
        args.insert(args.end(), projects.begin(), projects.end());
        return Cli(args);
    }

    TempDir base;
    TempDir root;
    fs::path data = base.path() / "data";
    fs::path image = base.path() / "DVD-A.iso";
    fs::path copy = base.path() / "copy" / "DVD-A";
    std::map<std::string, std::string> set; // the projects' files, by name
};

TEST_F(restore, BringsEveryFileBackFromAnImageOrASetFolder)
{
    const std::string into = root.str();
    for (const fs::path& source : {image, copy}) {
        fs::remove_all(root.path());
        fs::create_directory(root.path());
        const Output restored = Restore(source.string());
        EXPECT_EQ(restored.status, 0) << source << ": " << restored.err;
        EXPECT_EQ(restored.err, "Restored Alder, Blue into " + into + ": 5 files.\n") << source;
        std::map<std::string, std::string> files;
        for (const std::string& name : EntryNames(root.path()))
            files[name] = ReadFile(root.path() / name);
        EXPECT_EQ(files, set) << source;
        // Run again, every file is there already.
        const Output again = Restore(source.string(), {"Blue"});
        EXPECT_EQ(again.status, 0) << source;
        EXPECT_EQ(again.err, "Blue was in " + into + " already.\n") << source;
    }
}

// The arguments after "--" are projects, those before it sources: a project
// named like a folder of the working folder can be given.
TEST_F(restore, TakesTheArgumentsAfterTwoDashesForProjects)
{
    const fs::path here = base.path() / "here";
    fs::create_directories(here / "Blue");
    struct Row {
        std::vector<std::string> operands;
        int status;
        std::string err;
    };
    const std::vector<Row> rows = {
        {{image.string(), "--", "Blue"}, 0, "Restored Blue into " + root.str() + ": 2 files.\n"},
        {{"--", image.string(), "Blue"}, 2, "kelvark-cli: missing SOURCE\n"},
        {{image.string(), "Blue"}, 1, "Nothing was restored.\nCan't read Blue/SHA256SUMS: "},
    };
    for (const Row& row : rows) {
        for (const std::string& name : EntryNames(root.path()))
            if (name.starts_with("Blue"))
                fs::remove(root.path() / name);
        std::vector<std::string> args{
            "-C", here.string(), "XDG_DATA_HOME=" + data.string(), KELVARK_CLI_PATH, "restore", "--into", root.str()};
        args.insert(args.end(), row.operands.begin(), row.operands.end());
        const Output restored = fixtures::Run("/usr/bin/env", args);
        EXPECT_EQ(restored.status, row.status) << row.operands.front() << ": " << restored.err;
        EXPECT_TRUE(restored.err.starts_with(row.err)) << restored.err;
        EXPECT_EQ(fs::exists(root.path() / "Blue 1.wav"), row.status == 0) << row.operands.front();
    }
}

TEST_F(restore, RefusesATakenNameADamagedFileOrAProjectNotGivenWithNothingCopied)
{
    const std::string into = root.str();
    const std::string whole = ReadFile(image);
    struct Row {
        const char* what;
        std::function<void()> apply;
        fs::path source;
        std::string err;
        std::vector<std::string> projects = {};
    };
    const auto flip = [](const fs::path& file, const std::string& within) {
        std::string bytes = ReadFile(file);
        bytes[bytes.find(within) + 20] ^= 1;
        WriteFile(file, bytes);
    };
    const std::vector<Row> rows = {
        {"a name taken by other bytes", [&] { WriteFile(root.path() / "Blue 1.wav", "newer take"); }, image,
         "Nothing was restored.\n" + into + "Blue 1.wav holds other bytes than \"Blue 1.wav\" of Blue on DVD-A.\n"},
        {"a byte flipped in the image", [&] { flip(image, set.at("Alder 2.wav")); }, image,
         "\"Alder 2.wav\" of Alder on DVD-A does not match its SHA256SUMS line. Nothing was restored.\n"},
        {"a byte flipped in the set folder", [&] { flip(copy / "Blue 1.wav", set.at("Blue 1.wav")); }, copy,
         "\"Blue 1.wav\" of Blue on DVD-A does not match its SHA256SUMS line. Nothing was restored.\n"},
        {"a project on another disc, and one the catalogue does not know",
         [&] {
             Catalogue catalogue;
             ASSERT_FALSE(catalogue.Open((data / "kelvark" / "catalogue.sqlite").string()).Failed());
             ASSERT_FALSE(
                 catalogue.RecordBackup({"/music", "2026-12-10", "dvd", {{"DVD-C", 3, 3, 0, 0, {{"Cedar", {}}}}}})
                     .Failed());
         },
         image,
         "Nothing was restored.\nCedar is on DVD-C of the backup of /music of 2026-12-10: give that disc\n"
         "Dune is on none of the discs given, and the catalogue does not know it.\n",
         {"Blue", "Cedar", "Dune"}},
    };
    for (const Row& row : rows) {
        fs::remove_all(root.path());
        fs::create_directory(root.path());
        WriteFile(image, whole);
        WriteFile(copy / "Blue 1.wav", set.at("Blue 1.wav"));
        row.apply();
        const std::vector<std::string> before = EntryNames(root.path());
        const Output restored = Restore(row.source.string(), row.projects);
        EXPECT_EQ(restored.status, 1) << row.what;
        EXPECT_EQ(restored.err, row.err) << row.what;
        EXPECT_EQ(EntryNames(root.path()), before) << row.what;
    }
}

// Stops a restore before it moves the copies of project, once its copies
// were made (their progress tells megabytes; the read of a source names
// projects too).
struct StopBefore final : Progress {
    std::string project;
    bool copied = false;
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string& text) override
    {
        copied = copied || text.find(" MB") != std::string::npos;
        if (copied && text == project)
            RequestStop();
    }
};

// An undo takes out of the root folder only the files the restore put there:
// as their moves left them (inode, size, times to the nanosecond, which the
// journal records), or else holding their disc's bytes. Any other stays,
// named, an edit that kept the file's time too; a journal without those
// records (an older one) proves no file the restore's.
TEST_F(restore, UndoTakesOutOnlyTheFilesAsTheyWereRestored)
{
    const fs::path take = root.path() / "Alder 1.wav";
    // Another byte in place, the file's times then set back as they were.
    const auto editKeepingTime = [&] {
        struct stat was {};
        ASSERT_EQ(::stat(take.c_str(), &was), 0);
        std::string bytes = ReadFile(take);
        bytes[10] ^= 1;
        std::ofstream(take, std::ios::binary | std::ios::in | std::ios::out).write(bytes.data(), 11);
        const timespec times[2] = {was.st_atim, was.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, take.c_str(), times, 0), 0);
    };
    // Drops the journal's lines of the records named.
    const auto dropRecords = [&](std::vector<std::string> words) {
        std::istringstream lines(ReadFile(root.path() / ".kelvark-journal"));
        std::string kept;
        for (std::string line; std::getline(lines, line);)
            if (std::none_of(words.begin(), words.end(),
                             [&](const std::string& w) { return line.starts_with(w + "\t"); }))
                kept += line + "\n";
        WriteFile(root.path() / ".kelvark-journal", kept);
    };
    const std::string changed = "\"Alder 1.wav\" was changed since it was restored; it stays.";
    struct Row {
        const char* what;
        std::function<void()> meanwhile;
        std::vector<std::string> stays; // named in this order
    };
    const std::vector<Row> rows = {
        {"nothing changed", [] {}, {}},
        {"a restored file grew", [&] { WriteFile(take, set.at("Alder 1.wav") + "more"); }, {changed}},
        {"a restored file edited, its time kept", editKeepingTime, {changed}},
        {"no record of the moves, nothing changed", [&] { dropRecords({"placed"}); }, {}},
        {"no record of the moves, a file edited, its time kept",
         [&] {
             dropRecords({"placed"});
             editKeepingTime();
         },
         {changed}},
        {"an older journal, without either record",
         [&] {
             dropRecords({"placed", "sha256"});
         },
         {"\"Alder 1.wav\" is not known to be as it was restored; it stays.",
          "\"Alder 2.wav\" is not known to be as it was restored; it stays.",
          "\"Alder.cue\" is not known to be as it was restored; it stays."}},
    };
    const std::vector<std::string> before = EntryNames(root.path());
    for (const Row& row : rows) {
        for (const std::string& name : EntryNames(root.path()))
            if (std::find(before.begin(), before.end(), name) == before.end())
                fs::remove(root.path() / name);
        RecordingMessages messages;
        ScriptedQuestion question;
        StopBefore progress;
        progress.project = "Blue";
        const Result stopped = RestoreCommand(root.str(), {copy.string()}, {}, {}, {messages, progress, question}, "");
        ASSERT_EQ(stopped.Ended(), Result::Status::Stopped) << row.what << ": " << stopped.Message();
        ASSERT_TRUE(fs::exists(take)) << row.what;
        const std::string edited = (row.meanwhile(), ReadFile(take));
        RecordingProgress quiet;
        const Result undo = RecoverCommand(root.str(), true, {messages, quiet, question});
        EXPECT_FALSE(undo.Failed()) << row.what << ": " << undo.Message();
        const std::string undid =
            "Undid the restore into " + root.str() + ", which had stopped after 1 of 2 projects: ";
        std::vector<std::string> lines{
            undid
            + (row.stays.empty() ? "none of the files it restored is left in " + root.str() + "."
                                 : "the files it restored left " + root.str() + " but for those named below.")};
        lines.insert(lines.end(), row.stays.begin(), row.stays.end());
        EXPECT_EQ(undo.Lines(), lines) << row.what;
        std::vector<std::string> left = before;
        for (const std::string& line : row.stays)
            left.push_back(line.substr(1, line.find('"', 1) - 1));
        std::sort(left.begin(), left.end());
        EXPECT_EQ(EntryNames(root.path()), left) << row.what;
        if (!row.stays.empty()) {
            EXPECT_EQ(ReadFile(take), edited) << row.what;
        }
    }
}

} // namespace
