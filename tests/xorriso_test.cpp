// The xorriso Kelvark runs: which one the rule takes, and how a run that
// does not end is ended. A fake xorriso (a shell script that KELVARK_XORRISO
// names) plays each part; its first argument after -no_rc -pkt_output on
// says which.

#include "ChildProcess.h"
#include "Fixtures.h"
#include "Xorriso.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

using namespace kelvark;

namespace {

using namespace fixtures;
using namespace std::chrono_literals;

// A shell script at path that says it is version and then does what body says.
void WriteFake(const fs::path& path, const std::string& version, const std::string& body = {})
{
    WriteFile(path, "#!/bin/sh\n"
                    "if [ \"$4\" = -version ]; then echo 'R:1: xorriso "
                        + version + "'; exit 0; fi\n" + body);
    ::chmod(path.c_str(), 0755);
}

// The fake every run of this program takes: set before the first run finds it.
const TempDir& Fakes()
{
    static const TempDir folder;
    return folder;
}
const fs::path Fake = [] {
    const fs::path fake = Fakes().path() / "xorriso";
    WriteFake(fake, "1.5.6",
              "case \"$4\" in\n"
              "hang) exec sleep 30 ;;\n"
              "deaf) trap '' INT TERM; exec sleep 30 ;;\n"
              // The shell ignores INT and TERM; a program it started holds the output open.
              "forks) trap '' INT TERM; sleep 4 & exec sleep 30 ;;\n"
              "esac\n");
    ::setenv("KELVARK_XORRISO", fake.c_str(), 1);
    return fake;
}();

// KELVARK_XORRISO set to a value for a scope.
class NamedXorriso final {
public:
    explicit NamedXorriso(const std::string& value) { ::setenv("KELVARK_XORRISO", value.c_str(), 1); }
    ~NamedXorriso() { ::setenv("KELVARK_XORRISO", Fake.c_str(), 1); }
    NamedXorriso(const NamedXorriso&) = delete;
    NamedXorriso& operator=(const NamedXorriso&) = delete;
};

TEST(xorriso, OnlyAnXorrisoOf156OrNewerNamedByAbsolutePathIsTaken)
{
    const TempDir folder;
    const auto fake = [&](const std::string& name, const std::string& version) {
        WriteFake(folder.path() / name, version);
        return (folder.path() / name).string();
    };
    const std::string newer = fake("newer", "1.10.0"), older = fake("older", "1.5.4"),
                      patched = fake("patched", "1.5.6.pl01"), silent = fake("silent", "");
    const std::string missing = (folder.path() / "missing").string();
    const std::string needed = "xorriso 1.5.6 or newer is needed: ";
    const struct {
        std::string named;
        std::string version; // empty when none is taken
        std::string problem;
    } cases[] = {
        {Fake.string(), "1.5.6", ""},
        {newer, "1.10.0", ""},
        {patched, "1.5.6.pl01", ""},
        {older, "", needed + older + " is 1.5.4."},
        {silent, "", needed + silent + " does not say its version."},
        {missing, "", needed + missing + ": No such file or directory."},
        {"xorriso", "", needed + "xorriso is not an absolute path."},
    };
    for (const auto& c : cases) {
        const NamedXorriso named(c.named);
        const XorrisoProgram found = FindXorriso();
        EXPECT_EQ(found.path, c.version.empty() ? "" : c.named) << c.named;
        EXPECT_EQ(found.version, c.version) << c.named;
        EXPECT_EQ(found.problem, c.problem) << c.named;
    }
}

TEST(xorriso, ARunThatDoesNotEndIsEndedByItsStopOrItsTimeLimit)
{
    const struct {
        std::string part;
        bool stop; // stopped at once, or left to run into the time limit
    } cases[] = {
        {"hang", true}, {"deaf", true}, {"forks", true}, {"hang", false}, {"deaf", false}, {"forks", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part + (c.stop ? ", stopped" : ", time limit"));
        RecordingProgress progress;
        if (c.stop)
            progress.RequestStop();
        const auto start = std::chrono::steady_clock::now();
        const XorrisoRun run = RunXorriso({c.part}, progress, {}, 300ms, 300ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_FALSE(run.Succeeded());
        EXPECT_EQ(run.stopped, c.stop);
        EXPECT_EQ(run.Problem(),
                  c.stop ? "xorriso was stopped." : "xorriso did not end within its time limit of 1 s and was ended.");
    }
}

TEST(xorriso, WithoutAUsableXorrisoADriveCommandSaysWhatIsNeededAndVersionNamesTheOneTaken)
{
    const TempDir folder, output;
    WriteFake(folder.path() / "older", "1.5.4");
    const auto run = [&](const std::vector<std::string>& args) {
        ChildProcess child(KELVARK_CLI_PATH, args, output.path());
        const int status = child.Wait();
        return std::pair{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         ReadFile(output.path() / "out") + ReadFile(output.path() / "err")};
    };
    {
        const auto [status, said] = run({"--version"});
        EXPECT_EQ(status, 0);
        EXPECT_NE(said.find("xorriso 1.5.6: " + Fake.string() + "\n"), std::string::npos) << said;
    }
    const NamedXorriso named((folder.path() / "older").string());
    const auto [status, said] = run({"drives"});
    EXPECT_EQ(status, 1) << said;
    EXPECT_NE(said.find("xorriso 1.5.6 or newer is needed: " + (folder.path() / "older").string() + " is 1.5.4."),
              std::string::npos)
        << said;
}

} // namespace
