// The machine's environment is input: a TMPDIR naming no folder, or an
// xorriso whose numbers are out of any range, ends a command with a message
// and exit status 1 or 2, with nothing changed and nothing left behind.

#include "ChildProcess.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// A root folder of one project, sorted into DVD-A, checksummed and written as
// base/DVD-A.iso; the catalogue in base/data/kelvark.
class environment : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(root);
        fs::create_directory(into);
        WriteProject(root, "Alder", {{"Alder 1.wav", 1000}});
        for (const std::vector<std::string>& args : {std::vector<std::string>{"sort", "--yes", Root()},
                                                     {"checksum", Root()},
                                                     {"image", "--into", base.str(), Root()}}) {
            const Output ran = Cli({}, args);
            ASSERT_EQ(ran.status, 0) << args.front() << ": " << ran.err;
        }
    }

    // The program with the environment's settings given, the catalogue never the user's.
    Output Cli(std::vector<std::string> settings, const std::vector<std::string>& args) const
    {
        settings.insert(settings.begin(), "XDG_DATA_HOME=" + (base.path() / "data").string());
        settings.push_back(KELVARK_CLI_PATH);
        settings.insert(settings.end(), args.begin(), args.end());
        return fixtures::Run("/usr/bin/env", settings);
    }

    std::string Root() const { return root.string() + "/"; }

    TempDir base;
    fs::path root = base.path() / "root";
    fs::path into = base.path() / "into";
    fs::path image = base.path() / "DVD-A.iso";
};

// Every entry below folder, hidden ones included, with the size and a hash
// of the bytes of each file.
std::map<std::string, std::string> Everything(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string bytes = entry.is_regular_file() ? ReadFile(entry.path()) : "";
        entries[fs::relative(entry.path(), folder).string()] =
            entry.is_regular_file()
                ? std::to_string(bytes.size()) + " bytes, " + std::to_string(std::hash<std::string>{}(bytes))
                : "folder";
    }
    return entries;
}

TEST_F(environment, ATemporaryFolderThatIsNoFolderRefusesEveryDiscReadBeforeAnythingChanges)
{
    const fs::path missing = base.path() / "no such folder";
    const fs::path file = base.path() / "a file";
    WriteFile(file, "not a folder");
    const std::string drive = "stdio:" + (base.path() / "disc").string();
    struct Row {
        std::string what;
        std::vector<std::string> args;
    };
    const std::vector<Row> rows = {
        {"verify of an image", {"verify", image.string()}},
        {"restore from an image", {"restore", "--into", into.string(), image.string()}},
        {"burn, which reads each disc back", {"burn", "--drive", drive, Root(), "DVD-A"}},
    };
    for (const fs::path& tmpdir : {missing, file})
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what + " with TMPDIR " + tmpdir.string());
            const std::map<std::string, std::string> before = Everything(base.path());
            const Output ran = Cli({"TMPDIR=" + tmpdir.string()}, row.args);
            EXPECT_TRUE(ran.status == 1 || ran.status == 2) << ran.status << ": " << ran.err;
            EXPECT_NE(ran.err.find("No disc can be checked: the temporary folder " + tmpdir.string()
                                   + " (TMPDIR) can't be used: "),
                      std::string::npos)
                << ran.err;
            EXPECT_EQ(ran.err.find("terminate"), std::string::npos) << ran.err;
            EXPECT_EQ(Everything(base.path()), before);
        }
}

// Stands in for xorriso 1.5.6: its measure of an image gives size; it does
// nothing else.
fs::path FakeXorriso(const fs::path& folder, const std::string& size)
{
    const fs::path program = folder / "xorriso";
    const std::string measure = "    -print_size) echo \"${tag}Image size   : " + size + "\"; exit 0 ;;\n";
    WriteFile(program, "#!/bin/sh\n"
                       "tag=\nfor word; do\n"
                       "  case $word in\n"
                       "    -pkt_output) tag='R:1: ' ;;\n"
                       "    -version) echo \"${tag}xorriso 1.5.6 : RockRidge filesystem manipulator\"; exit 0 ;;\n"
                           + measure + "  esac\ndone\nexit 1\n");
    fs::permissions(program, fs::perms::owner_all);
    return program;
}

TEST_F(environment, AnImageSizeFromXorrisoThatNoDiscCanHoldRefusesTheImage)
{
    for (const std::string size : {"99999999999999999999s", "9223372036854775807s", "4294967296s"}) {
        SCOPED_TRACE(size);
        TempDir fake, target;
        const fs::path xorriso = FakeXorriso(fake.path(), size);
        const std::map<std::string, std::string> before = Everything(base.path());
        // Found first on PATH, or named as the xorriso to run.
        const Output ran =
            Cli({"PATH=" + fake.path().string() + ":" + std::getenv("PATH"), "KELVARK_XORRISO=" + xorriso.string()},
                {"image", "--into", target.str(), Root()});
        EXPECT_TRUE(ran.status == 1 || ran.status == 2) << ran.status << ": " << ran.err;
        EXPECT_NE(ran.err.find("Can't measure the image of DVD-A: xorriso gave no size a disc can hold."),
                  std::string::npos)
            << ran.err;
        EXPECT_TRUE(EntryNames(target.path()).empty());
        EXPECT_EQ(Everything(base.path()), before);
    }
}

} // namespace
