// Runs the real kelvark-cli and kelvark-sample programs on folders the tests
// write, and checks what scripts rely on: standard output, the messages on
// standard error, the exit status and the files left on disk.

#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvark;

extern char** environ;

namespace {

using namespace fixtures;

struct Result {
    int status = -1;
    std::string out;
    std::string err; // with a terminal: everything the terminal showed
};

// How standard input and standard error are connected.
struct Terminal {
    bool on = false; // a pseudo-terminal instead of /dev/null and a file
    std::string typed; // typed once the program asks its [y/N] question
};

// Who runs the program, when not the test: its whole environment, and the
// user it runs as when not root.
struct Caller {
    std::vector<std::string> env;
    uid_t user = 0;
};

// Runs program with args in the C locale; stdout always goes to a file.
Result Run(const std::string& program, const std::vector<std::string>& args, const Terminal& terminal = {},
           const Caller* caller = nullptr)
{
    TempDir capture;
    const std::string outPath = (capture.path() / "out").string();
    const std::string errPath = (capture.path() / "err").string();

    std::vector<std::string> env{"LC_ALL=C"};
    if (caller != nullptr)
        env.insert(env.end(), caller->env.begin(), caller->env.end());
    else
        for (char** e = environ; *e != nullptr; ++e)
            if (std::string_view(*e).find("LC_ALL=") != 0)
                env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int master = -1;
    std::string slaveName;
    if (terminal.on) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slaveName = ptsname(master);
    }

    const pid_t child = fork();
    if (child == 0) {
        if (master >= 0)
            close(master);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = -1;
        int err = -1;
        if (terminal.on) {
            setsid();
            in = err = open(slaveName.c_str(), O_RDWR);
        } else {
            in = open("/dev/null", O_RDONLY);
            err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (caller != nullptr && caller->user != 0 && (setgid(caller->user) != 0 || setuid(caller->user) != 0))
            _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }

    Result result;
    if (terminal.on) {
        // Read the terminal until the program closes it (EIO), typing the
        // answer once the question is on screen.
        bool typed = false;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR))
                break;
            if (n > 0)
                result.err.append(buffer, static_cast<std::size_t>(n));
            if (!typed && result.err.find("[y/N] ") != std::string::npos) {
                typed = write(master, terminal.typed.data(), terminal.typed.size()) >= 0;
            }
        }
        close(master);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outPath);
    if (!terminal.on)
        result.err = ReadFile(errPath);
    return result;
}

// Whether this machine can give the program a pseudo-terminal.
bool HaveTerminal()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return false;
    close(master);
    return true;
}

Result Cli(const std::vector<std::string>& args, const Terminal& terminal = {})
{
    return Run(KELVARK_CLI_PATH, args, terminal);
}

Result CliAs(const std::vector<std::string>& args, const Caller& caller)
{
    return Run(KELVARK_CLI_PATH, args, {}, &caller);
}

Result Sample(const std::vector<std::string>& args)
{
    return Run(KELVARK_SAMPLE_PATH, args);
}

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// A 16-bit wave whose RIFF header declares `bytes` in all; its samples are
// (bytes - 654 + 12) / 2 rounded to even.
std::string Wave(std::uint32_t bytes)
{
    return WaveHeader(bytes - 654);
}

// A root folder "Studio" and a destination "Dest" side by side in one
// temporary folder, so that a snapshot of the temporary folder sees every file
// wherever a command put it.
//   Big       450 MB, half used            Song Mix   400 MB, a mix, all used
//   Locked    read-only, three waves       Take       512,345 bytes, 75% used, two tracks on one wave
// A DVD plan puts all four into set A; a CD plan puts Song Mix into set B.
// The sample tool's tests use the temporary folder only.
class cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(studio);
        fs::create_directory(dest);
        Project("Big", {{{"Big 1.wav", 0, 112499840}}});
        WriteFile(studio / "Big 1.wav", Wave(450000000));
        Project("Song Mix", {{{"Song Mix L.wav", 0, 199999679}}});
        WriteFile(studio / "Song Mix L.wav", Wave(400000000));
        Project("Take", {{{"Take 1.wav", 0, 191889}}, {{"Take 1.wav", 1000, 100}}});
        WriteFile(studio / "Take 1.wav", Wave(512345));
        WriteFile(studio / "Take.bak", "an earlier save");
        Project("Locked", {{{"Locked 1.wav", 0, 10}}, {{"Locked 2.wav", 0, 10}}, {{"Locked 3.wav", 0, 10}}});
        for (const char* name : {"Locked 1.wav", "Locked 2.wav", "Locked 3.wav"})
            WriteFile(studio / name, Wave(100000));
        MakeReadOnly(studio / "Locked.cue");
    }

    void Project(const std::string& name, const std::vector<std::vector<Region>>& tracks)
    {
        WriteFile(studio / (name + ".cue"), CueText(tracks));
    }

    // Adds a project whose only wave is missing.
    void AddGap() { Project("Gap", {{{"Gap 1.wav", 0, 10}}}); }

    std::string Studio() const { return studio.string(); }
    std::string Dest() const { return dest.string(); }

    TempDir temp;
    fs::path studio = temp.path() / "Studio";
    fs::path dest = temp.path() / "Dest";
};

const std::string Header = "Project\tSize\tTracks\tWavs\tBU\tUsed\n";
const std::string BigRow = "Big\t450.0\t1\t1\tA\t50%\n";
const std::string LockedRow = "Locked\t-\t3\t3\tA\t-\n";
const std::string SongMixRow = "Song Mix\t400.0\t1\t1\tA\t100%\n";
const std::string TakeRow = "Take\t.5\t2\t1\tA\t75%\n";

TEST_F(cli, VersionAndHelpGoToStandardOutput)
{
    const Result version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kelvark-cli 1.0.10\nxorriso ", 0), 0u) << version.out;
    EXPECT_EQ(version.err, "");

    for (const auto& args : {std::vector<std::string>{"--help"}, {"list", "--help"}}) {
        const Result help = Cli(args);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: kelvark-cli list", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("Exit status"), std::string::npos);
        EXPECT_EQ(help.err, "");
    }
}

TEST_F(cli, UsageMistakesNameTheProblemAndChangeNothing)
{
    const auto before = Snapshot(temp.path());
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "missing command"},
        {{"frobnicate", Studio()}, "unknown command frobnicate"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"list"}, "missing FOLDER"},
        {{"list", ""}, "FOLDER is empty"},
        {{"list", "--bogus", Studio()}, "unknown option --bogus"},
        {{"list", Studio(), "extra"}, "unexpected argument extra"},
        {{"list", "--cd", "--dvd", Studio()}, "--cd, --dvd and --medium name one medium only"},
        {{"list", "--medium", "dvd", "--medium=bd", Studio()}, "--cd, --dvd and --medium name one medium only"},
        {{"list", "--medium", "floppy", Studio()},
         "--medium: unknown medium \"floppy\": give cd, cd80, dvd, dvd-dl, bd, bd-dl, bdxl, or a size such as 700MB, "
         "16GB or 25GiB"},
        {{"list", "--medium=4M", Studio()}, "--medium: a custom size must be from 8.4 MB to 1125.8 TB: \"4M\""},
        {{"list", "--medium"}, "--medium needs a medium"},
        {{"list", "--threads", "0", Studio()}, "--threads takes a whole number from 1 to 256: \"0\""},
        {{"sort", "--threads=257", "--yes", Studio()}, "--threads takes a whole number from 1 to 256: \"257\""},
        {{"list", "--threads", "8x", Studio()}, "--threads takes a whole number from 1 to 256: \"8x\""},
        {{"list", "--threads"}, "--threads needs a number"},
        {{"unsort", "--threads", "4", Studio()}, "--threads applies to list, report, sort, move and rename only"},
        {{"report", "--sets", Studio()}, "--sets applies to list only"},
        {{"list", "--skip-unsortable", Studio()}, "--skip-unsortable applies to sort only"},
        {{"report", "--tsv", Studio()}, "--tsv applies to list only"},
        {{"list", "--yes", Studio()}, "--yes applies to sort, unsort, report, recover and burn only"},
        {{"sort", Studio()}, "sort asks before it moves anything: give --yes when standard input is not a terminal"},
        {{"unsort", Studio()},
         "unsort asks before it moves anything: give --yes when standard input is not a terminal"},
        {{"move", Studio(), Dest()}, "missing PROJECT"},
        {{"move", Studio(), Dest(), "Take", "Nope"}, "no project named Nope in " + Studio() + "/"},
        {{"rename", Studio(), "Take"}, "missing NEW"},
        {{"rename", Studio(), "Take", ""}, "NEW is empty"},
        {{"rename", Studio(), "Nope", "Final"}, "no project named Nope in " + Studio() + "/"},
        {{"rename", Studio(), "Take", "Final", "More"}, "unexpected argument More"},
        {{"checksum"}, "missing FOLDER"},
        {{"checksum", Studio(), Dest()}, "unexpected argument " + Dest()},
        {{"verify"}, "missing PATH"},
        {{"verify", "--replace", Studio()}, "--replace applies to checksum only"},
        {{"burn", Studio(), "DVD-A"}, "burn needs --drive DEV"},
        {{"burn", "--drive", "stdio:/dev/null", Studio()}, "missing SET"},
        {{"list", "--drive", "/dev/sr0", Studio()}, "--drive applies to verify, burn, restore and catalogue only"},
        {{"restore", Studio()}, "restore needs --into ROOT"},
        {{"restore", "--into", Dest(), "Nope"}, "missing SOURCE: no file or folder is named Nope"},
        {{"restore", "--into", Dest(), "--", Studio()}, "missing SOURCE"},
        {{"catalogue", Studio()}, "catalogue needs --add"},
        {{"where"}, "missing TEXT"},
    };
    for (const auto& [args, problem] : cases) {
        const Result result = Cli(args);
        EXPECT_EQ(result.status, 2) << problem;
        EXPECT_EQ(result.out, "") << problem;
        // The problem, the usage, and for the late ones only the read's notices before them.
        const auto at = result.err.find("kelvark-cli: " + problem + "\nusage: kelvark-cli list");
        EXPECT_NE(at, std::string::npos) << result.err;
    }
    EXPECT_EQ(Snapshot(temp.path()), before);
}

TEST_F(cli, UnreadableFoldersExitWith2)
{
    const Result list = Cli({"list", (temp.path() / "missing").string()});
    EXPECT_EQ(list.status, 2);
    EXPECT_EQ(FirstLine(list.err).rfind("kelvark-cli: cannot read folder " + (temp.path() / "missing").string(), 0), 0u)
        << list.err;

    const Result move = Cli({"move", Studio(), (temp.path() / "missing").string(), "Take"});
    EXPECT_EQ(move.status, 2);
    EXPECT_TRUE(fs::exists(studio / "Take.cue"));
}

TEST_F(cli, ListTsvHoldsTheGridTexts)
{
    const Result dvd = Cli({"list", "--tsv", Studio()});
    EXPECT_EQ(dvd.status, 0);
    EXPECT_EQ(dvd.out, Header + BigRow + LockedRow + SongMixRow + TakeRow);
    EXPECT_EQ(dvd.err, "");

    // The folder may carry its separator already; --dvd is the default.
    EXPECT_EQ(Cli({"list", "--dvd", "--tsv", Studio() + "/"}).out, dvd.out);

    // 450 + 400 MB do not fit one CD.
    const Result cd = Cli({"list", "--tsv", "--cd", Studio()});
    EXPECT_EQ(cd.out, Header + BigRow + LockedRow + "Song Mix\t400.0\t1\t1\tB\t100%\n" + TakeRow);

    EXPECT_EQ(Cli({"list", "--tsv", "--no-mix", Studio()}).out, Header + BigRow + LockedRow + TakeRow);
    EXPECT_EQ(Cli({"list", "--tsv", "--no-regular", Studio()}).out, Header + SongMixRow);
    const Result none = Cli({"list", "--tsv", "--no-regular", "--no-mix", Studio()});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, Header);
}

TEST_F(cli, ListTableAlignsTheColumnsForPeople)
{
    const Result result = Cli({"list", Studio()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Project    Size  Tracks  Wavs  BU  Used\n"
                          "Big       450.0       1     1  A    50%\n"
                          "Locked        -       3     3  A      -\n"
                          "Song Mix  400.0       1     1  A   100%\n"
                          "Take         .5       2     1  A    75%\n"
                          "4 projects\n");
}

TEST_F(cli, ReadErrorsGiveStatus1ForListOnly)
{
    AddGap();
    const std::string listing = "Errors for this folder: \n\n  Project: Gap\n     File not found: Gap 1.wav\n";
    const Result list = Cli({"list", "--tsv", Studio()});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, Header + BigRow + "Gap\t.0\t1\t1\tA\tERR\n" + LockedRow + SongMixRow + TakeRow);
    EXPECT_EQ(list.err, listing);

    // The other commands print the listing and go on.
    const Result report = Cli({"report", Studio()});
    EXPECT_EQ(report.status, 0);
    EXPECT_TRUE(report.err.starts_with(listing + "Done.  CSV files are in folder " + Studio() + "/.\n")) << report.err;
}

TEST_F(cli, UnknownChunkIsANoticeWrittenWholeThatDoesNotStopTheRead)
{
    AddGap();
    const std::string listing = "Errors for this folder: \n\n  Project: Gap\n     File not found: Gap 1.wav\n";
    // A chunk identifier is four bytes of any value; a pad byte the reader does
    // not skip makes the next one start with \0.
    const std::vector<std::pair<std::string, std::string>> ids = {{"LIST", "LIST"},
                                                                  {std::string("\0bex", 4), "\\0bex"}};
    for (const auto& [id, shown] : ids) {
        const std::string header = Wave(512345);
        // The same wave with a chunk of 26 bytes between fmt and bext.
        WriteFile(studio / "Take 1.wav",
                  header.substr(0, 36) + ChunkHeader(id, 26) + std::string(26, 'x') + header.substr(36));
        const Result result = Cli({"list", "--tsv", "--no-mix", Studio()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "Unknown chunk \"" + shown + "\" in file Take 1.wav\n" + listing);
        EXPECT_EQ(result.out, Header + BigRow + "Gap\t.0\t1\t1\tA\tERR\n" + LockedRow + TakeRow);
    }
}

TEST_F(cli, LongListingsAndManyNoticesShowTheirFirstHundredLinesUnlessAll)
{
    // 150 missing waves, and two waves of 80 unknown chunks each.
    std::vector<Region> gaps;
    for (int i = 0; i < 150; ++i)
        gaps.push_back({"gap " + std::to_string(i) + ".wav", 0, 10});
    Project("Gaps", {gaps});
    std::string chunks;
    for (int i = 0; i < 80; ++i)
        chunks += ChunkHeader("junk", 0);
    const std::string header = Wave(512345);
    Project("Junk", {{{"junk 1.wav", 0, 10}, {"junk 2.wav", 0, 10}}});
    for (const char* wave : {"junk 1.wav", "junk 2.wav"})
        WriteFile(studio / wave, header.substr(0, 36) + chunks + header.substr(36));

    const Result bounded = Cli({"list", Studio()});
    const Result all = Cli({"list", "--all", Studio()});
    const auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(bounded.err, "Unknown chunk"), 100u);
    EXPECT_EQ(count(bounded.err, "File not found"), 97u); // the listing's first 100 lines hold its heading
    EXPECT_NE(bounded.err.find("\n… and 60 more notices (see --all)\n"), std::string::npos) << bounded.err;
    EXPECT_NE(bounded.err.find("\n… and 53 more (see --all)\n"), std::string::npos) << bounded.err;
    EXPECT_EQ(count(all.err, "Unknown chunk"), 160u);
    EXPECT_EQ(count(all.err, "File not found"), 150u);
    EXPECT_EQ(all.err.find("(see --all)"), std::string::npos);
    EXPECT_EQ(bounded.out, all.out);
}

TEST_F(cli, NamesFromWindowsAreFoundAndShownAsUtf8)
{
    // "Café" plays "Café 01.wav" as Windows writes it, the file on disk is
    // UTF-8; "Café Latin" is named in the Windows code page on disk and plays
    // "take 01.WAV", whose file on disk is "Take 01.wav".
    const fs::path folder = temp.path() / "Windows";
    fs::create_directory(folder);
    WriteFile(folder / "Caf\xC3\xA9.cue", CueText({{{"Caf\xE9 01.wav", 0, 191889}}}));
    WriteFile(folder / "Caf\xC3\xA9 01.wav", Wave(512345));
    WriteFile(folder / "Caf\xE9 Latin.cue", CueText({{{"take 01.WAV", 0, 191889}}}));
    WriteFile(folder / "Take 01.wav", Wave(512345));

    const Result tsv = Cli({"list", "--tsv", folder.string()});
    EXPECT_EQ(tsv.status, 0);
    EXPECT_EQ(tsv.err, "");
    EXPECT_EQ(tsv.out, Header + "Caf\xC3\xA9\t.5\t1\t1\tA\t75%\n" + "Caf\xC3\xA9 Latin\t.5\t1\t1\tA\t75%\n");
    EXPECT_EQ(Cli({"list", folder.string()}).out, "Project     Size  Tracks  Wavs  BU  Used\n"
                                                  "Caf\xC3\xA9          .5       1     1  A    75%\n"
                                                  "Caf\xC3\xA9 Latin    .5       1     1  A    75%\n"
                                                  "2 projects\n");
}

TEST_F(cli, ControlCharactersInNamesNeverReachTheTerminal)
{
    const fs::path folder = temp.path() / "Controls";
    fs::create_directory(folder);
    WriteFile(folder / "Back\\slash.cue", CueText({{{"Back 01.wav", 0, 191889}}}));
    WriteFile(folder / "Back 01.wav", Wave(512345));
    WriteFile(folder / "Red\x1b[31m.cue", CueText({{{"Gap\x1b[31m.wav", 0, 10}}}));
    WriteFile(folder / "Tab\tName.cue", CueText({{{"Tab\t01.wav", 0, 10}}}));

    const std::string listing = "Errors for this folder: \n\n"
                                "  Project: Red\\x1b[31m\n     File not found: Gap\\x1b[31m.wav\n"
                                "  Project: Tab\\tName\n     File not found: Tab\\t01.wav\n";
    const Result tsv = Cli({"list", "--tsv", folder.string()});
    EXPECT_EQ(tsv.status, 1);
    EXPECT_EQ(tsv.err, listing);
    // Fields escape backslash, tab, line feed and carriage return, and nothing else.
    EXPECT_EQ(tsv.out, Header + "Back\\\\slash\t.5\t1\t1\tA\t75%\n" + "Red\x1b[31m\t.0\t1\t1\tA\tERR\n"
                           + "Tab\\tName\t.0\t1\t1\tA\tERR\n");

    const Result table = Cli({"list", folder.string()});
    EXPECT_EQ(table.err, listing);
    EXPECT_EQ(table.out, "Project      Size  Tracks  Wavs  BU  Used\n"
                         "Back\\slash     .5       1     1  A    75%\n"
                         "Red\\x1b[31m    .0       1     1  A    ERR\n"
                         "Tab\\tName      .0       1     1  A    ERR\n"
                         "3 projects\n");

    if (!HaveTerminal())
        GTEST_SKIP() << "no pseudo-terminal";
    // The progress bar names each project too.
    const Result shown = Cli({"list", "--tsv", folder.string()}, {true, ""});
    EXPECT_NE(shown.err.find("] 2/3 Red\\x1b[31m"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.err.find("\x1b[31m"), std::string::npos);
}

TEST_F(cli, ProgressBarOnlyWhenStandardErrorIsATerminal)
{
    EXPECT_EQ(Cli({"list", "--tsv", Studio()}).err.find('\r'), std::string::npos);
    if (!HaveTerminal())
        GTEST_SKIP() << "no pseudo-terminal";

    const Result shown = Cli({"list", "--tsv", Studio()}, {true, ""});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.err.find("] 1/4 Big"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("] 4/4 Take"), std::string::npos) << shown.err;
    // The bar is wiped when the last project is announced, before the grid is printed.
    EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\033[K");
    EXPECT_EQ(shown.out, Header + BigRow + LockedRow + SongMixRow + TakeRow);
}

TEST_F(cli, ReportWritesTheThreeFilesAndMovesNothing)
{
    const Result result = Cli({"report", "--cd", Studio()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Done.  CSV files are in folder " + Studio()
                              + "/.\nWrote Backup Report.txt, Backups.csv, BackupProjects.csv into " + Studio()
                              + "/.\n");
    EXPECT_EQ(ReadFile(studio / "Backup Report.txt"),
              "ORVEX Project Backup Organizer\r\n\r\nCD-A\r\n----\r\nBig\r\nLocked\r\nTake\r\n"
              "\r\nCD-B\r\n----\r\nSong Mix\r\n");
    const std::string backups = ReadFile(studio / "Backups.csv");
    EXPECT_EQ(backups.rfind("BackupID, TheDate, NumCDs\r\n", 0), 0u);
    EXPECT_EQ(std::count(backups.begin(), backups.end(), '\n'), 3);
    const std::string projects = ReadFile(studio / "BackupProjects.csv");
    EXPECT_EQ(std::count(projects.begin(), projects.end(), '\n'), 5);
    EXPECT_NE(projects.find("a, Big, TRUE\r\n"), std::string::npos) << projects;
    EXPECT_NE(projects.find("b, Son, FALSE\r\n"), std::string::npos) << projects;
    EXPECT_TRUE(fs::exists(studio / "Take.cue"));
    EXPECT_FALSE(fs::exists(studio / "CD-A"));
}

TEST_F(cli, ProjectsOnNoDiscAreNamedByReportAndRefusedBySort)
{
    Project("Huge", {{{"Huge 1.wav", 0, 10}}});
    WriteFile(studio / "Huge 1.wav", Wave(700000000));

    const Result report = Cli({"report", "--cd", Studio()});
    EXPECT_EQ(report.status, 0);
    EXPECT_TRUE(report.err.starts_with("This project fits on no CD: Huge.\nDone.  CSV files are in folder " + Studio()
                                       + "/.\n"))
        << report.err;
    EXPECT_EQ(ReadFile(studio / "Backup Report.txt").find("Huge"), std::string::npos);

    const Result sort = Cli({"sort", "--cd", "--yes", Studio()});
    EXPECT_EQ(sort.status, 1);
    EXPECT_EQ(sort.err, "Nothing was sorted: 1 project fits on no CD.\nProject Huge: larger than one CD (680.5 MB)\n");
    EXPECT_TRUE(fs::exists(studio / "Huge.cue"));
    EXPECT_FALSE(fs::exists(studio / "CD-A"));
    // Told to leave the projects it can't sort, it sorts the others.
    const Result rest = Cli({"sort", "--cd", "--yes", "--skip-unsortable", Studio()});
    EXPECT_EQ(rest.status, 0) << rest.err;
    EXPECT_EQ(
        rest.err.rfind(
            "1 project can't be sorted:\nProject Huge: larger than one CD (680.5 MB)\nIt stays in the folder.\n", 0),
        0u)
        << rest.err;
    EXPECT_TRUE(fs::exists(studio / "Huge.cue"));
    EXPECT_TRUE(fs::exists(studio / "CD-A"));
    EXPECT_NE(ReadFile(studio / "Backup Report.txt").find("\r\nNot sorted\r\n----\r\nHuge\r\n"), std::string::npos);

    // A larger medium takes it.
    const Result bd = Cli({"list", "--medium", "bd", "--sets", "--tsv", Studio()});
    EXPECT_EQ(bd.status, 0);
    EXPECT_TRUE(bd.out.starts_with("Set\tProjects\tFiles\tBytes\tBudget\nBD-A\t")) << bd.out;
    EXPECT_TRUE(bd.out.ends_with("\t24215814144\n")) << bd.out;
}

TEST_F(cli, ReportThatCannotBeWrittenGivesStatus1)
{
    fs::create_directory(studio / "Backup Report.txt");
    const Result result = Cli({"report", Studio()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Could not write the log report.\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Done."), std::string::npos);
}

// A folder without projects: list says so beside its empty table; report and
// sort refuse and write nothing.
TEST_F(cli, AFolderWithoutProjectsIsSaidAndWrittenNothingInto)
{
    const fs::path empty = temp.path() / "Empty";
    fs::create_directory(empty);
    const Result list = Cli({"list", "--tsv", empty.string()});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, Header);
    EXPECT_EQ(list.err, "No ORVEX projects in " + empty.string() + ".\n");
    for (const char* command : {"report", "sort"}) {
        const Result refused = Cli({command, "--yes", empty.string() + "/"});
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_EQ(refused.err, list.err) << command;
        EXPECT_TRUE(fs::is_empty(empty)) << command;
    }
}

TEST_F(cli, SortWithYesMovesEveryProjectIntoItsSet)
{
    const auto before = Snapshot(temp.path());
    const Result result = Cli({"sort", "--cd", "--yes", Studio()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "Done.  CSV files are in folder " + Studio()
                              + "/.\nMade 2 set folders: CD-A, CD-B.\n"
                                "Sorted 4 projects: 3 moved, 1 copied (read-only: the original stays in the folder).\n"
                                "Wrote Backup Report.txt, Backups.csv, BackupProjects.csv into "
                              + Studio() + "/.\n");
    for (const char* name : {"Big.cue", "Big 1.wav", "Take.cue", "Take.bak", "Take 1.wav", "Locked.cue"})
        EXPECT_TRUE(fs::exists(studio / "CD-A" / name)) << name;
    for (const char* name : {"Song Mix.cue", "Song Mix L.wav"})
        EXPECT_TRUE(fs::exists(studio / "CD-B" / name)) << name;
    // The read-only project is copied, so it stays as well; everything else left the root.
    for (const char* name : {"Big.cue", "Take.cue", "Song Mix.cue"})
        EXPECT_FALSE(fs::exists(studio / name)) << name;
    EXPECT_EQ(ReadFile(studio / "Locked.cue"), before.at("Studio/Locked.cue"));
    EXPECT_EQ(ReadFile(studio / "CD-A" / "Locked 2.wav"), before.at("Studio/Locked 2.wav"));
    EXPECT_TRUE(fs::exists(studio / "Backup Report.txt"));
}

TEST_F(cli, SortAsksOnTheTerminal)
{
    if (!HaveTerminal())
        GTEST_SKIP() << "no pseudo-terminal";
    const auto before = Snapshot(temp.path());
    const Result no = Cli({"sort", Studio()}, {true, "n\n"});
    EXPECT_EQ(no.status, 1);
    EXPECT_NE(no.err.find("Move projects in to backup directories with a max size of 4.6 gigabytes? [y/N] "),
              std::string::npos)
        << no.err;
    EXPECT_NE(no.err.find("Nothing was sorted."), std::string::npos);
    EXPECT_EQ(Snapshot(temp.path()), before);

    const Result yes = Cli({"sort", "--cd", Studio()}, {true, "y\n"});
    EXPECT_EQ(yes.status, 0);
    EXPECT_NE(yes.err.find("max size of 649 megabytes? [y/N] "), std::string::npos) << yes.err;
    EXPECT_TRUE(fs::exists(studio / "CD-B" / "Song Mix.cue"));
}

// A set folder's name taken by a file refuses the sort with advice that fits
// what has the name.
TEST_F(cli, SortStopsWhenTheFirstSetFolderIsTaken)
{
    const std::string projectFile =
        "Nothing was sorted.\n\"DVD-A\" is a file of project DVD-A and has the name of a backup folder the "
        "sort makes. Rename the project to sort the folder.";
    const std::string otherFile =
        "Nothing was sorted.\n\"DVD-A\" has the name of a backup folder the sort makes. Rename or move it to sort the "
        "folder.";
    for (const auto& [make, text] : std::vector<std::pair<std::function<void()>, std::string>>{
             {[&] {
                  WriteProject(studio, "DVD-A", {});
                  WriteFile(studio / "DVD-A", "notes");
              },
              projectFile},
             {[&] { fs::create_symlink("Take.cue", studio / "DVD-A"); }, otherFile},
         }) {
        make();
        const auto before = Snapshot(temp.path());
        const Result result = Cli({"sort", "--yes", Studio()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, text + "\n");
        EXPECT_EQ(Snapshot(temp.path()), before);
        EXPECT_FALSE(fs::exists(studio / "Backup Report.txt"));
        for (const char* name : {"DVD-A", "DVD-A.cue"})
            fs::remove(studio / name);
    }
}

// A sort stopped (here by Cancel) leaves a journal: every other command says
// so in lines of their own, with the ways out, and changes nothing; recover
// --forget asks, and without a terminal needs --yes.
TEST_F(cli, StoppedSortIsNamedWithTheWaysOutAndForgottenOnlyOnTheUsersWord)
{
    {
        RecordingMessages messages;
        RecordingProgress progress;
        ScriptedQuestion question;
        orvoProjectList list{UserInterface{messages, progress}};
        ASSERT_FALSE(ReadFolderCommand(list, Studio() + "/", true, true, CDMedium()).Failed());
        progress.okCalls = 0;
        progress.cancelAtCall = 1;
        ASSERT_EQ(SortCommand(list, Studio() + "/", {messages, progress, question}).Ended(),
                  kelvark::Result::Status::Stopped);
    }
    const auto before = Snapshot(temp.path());
    const std::string ways = "Finish it with: kelvark-cli recover --finish " + Studio() + "\n"
                             + "or undo it with: kelvark-cli recover --undo " + Studio() + "\n"
                             + "or leave every file where it is now with: kelvark-cli recover --forget " + Studio()
                             + "\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", Studio()}, {"report", Studio()}, {"rename", Studio(), "Take", "Final"}}) {
        const Result result = Cli(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "The backup sort of " + Studio() + "/ stopped after 1 of 4 projects.\n" + ways);
    }
    EXPECT_EQ(Cli({"recover", "--forget", Studio()}).status, 2);
    EXPECT_EQ(Snapshot(temp.path()), before);

    const Result forgot = Cli({"recover", "--forget", "--yes", Studio()});
    EXPECT_EQ(forgot.status, 0);
    EXPECT_EQ(forgot.err,
              "The backup sort of " + Studio() + "/ stopped after 1 of 4 projects.\nNo project is split.\n");
    EXPECT_FALSE(fs::exists(studio / ".kelvark-journal"));
}

// On a terminal the next blank disc is asked for; the end of the input
// answers it as Ctrl-C does: the run ends with what it wrote.
TEST_F(cli, BurnEndsAtTheEndOfTheInputWhenItAsksForTheNextBlankDisc)
{
    ASSERT_EQ(Cli({"sort", "--cd", "--yes", Studio()}).status, 0);
    ASSERT_EQ(Cli({"checksum", Studio()}).status, 0);
    const std::string drive = "stdio:" + (temp.path() / "disc").string();
    const Result burnt = Cli({"burn", "--drive", drive, Studio(), "CD-A", "CD-B"});
    EXPECT_EQ(burnt.status, 1);
    EXPECT_EQ(FirstLine(burnt.err), "CD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files");
    EXPECT_NE(burnt.err.find("\nInsert a blank CD for CD-B into " + drive
                             + ", then press Enter \nWrote CD-A onto the disc in " + drive + ".\n"),
              std::string::npos)
        << burnt.err;
    EXPECT_NE(burnt.err.find("\nStopped before CD-B was written.\n"), std::string::npos) << burnt.err;
}

// Once a sort is undone (its checksums left in the set folders, and a
// project's own file named like its report brought back in the report's
// place), the folder sorts again into the same set folders.
TEST_F(cli, TheUndoneSortCanBeSortedAgain)
{
    WriteProject(studio, "Backup Report", {{"Backup Report 1.wav"}});
    WriteFile(studio / "Backup Report.txt", "the project's own notes");
    ASSERT_EQ(Cli({"sort", "--cd", "--yes", Studio()}).status, 0);
    const auto sorted = Snapshot(temp.path());

    ASSERT_EQ(Cli({"checksum", Studio()}).status, 0);
    const Result unsorted = Cli({"unsort", "--cd", "--yes", Studio()});
    EXPECT_EQ(unsorted.status, 0) << unsorted.err;
    EXPECT_EQ(ReadFile(studio / "Backup Report.txt"), "the project's own notes");
    // The labels and checksums the sort wrote went with their folders.
    EXPECT_FALSE(fs::exists(studio / "CD-A"));
    EXPECT_FALSE(fs::exists(studio / "CD-B"));
    const Result again = Cli({"sort", "--cd", "--yes", Studio()});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_FALSE(fs::exists(studio / "CD-A" / "SHA256SUMS"));
    EXPECT_FALSE(fs::exists(studio / "CD-B" / "SHA256SUMS"));
    // The same folder again, its discs new ones (their labels' identities left out).
    EXPECT_EQ(Snapshot(temp.path()), sorted);
}

TEST_F(cli, MoveTakesTheNamedProjectsOnly)
{
    const auto before = Snapshot(temp.path());
    const Result result = Cli({"move", Studio(), Dest(), "Take", "Locked", "Song Mix"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "Locked is read-only: its files will be copied, and stay in " + Studio()
                              + "/.\nMoved Song Mix, Take to " + Dest() + "/.\nCopied Locked to " + Dest() + "/.\n");
    for (const char* name : {"Take.cue", "Take.bak", "Take 1.wav", "Song Mix.cue", "Song Mix L.wav"}) {
        EXPECT_TRUE(fs::exists(dest / name)) << name;
        EXPECT_FALSE(fs::exists(studio / name)) << name;
    }
    // Copied, not moved: the read-only project is in both folders.
    EXPECT_EQ(ReadFile(dest / "Locked 3.wav"), ReadFile(studio / "Locked 3.wav"));
    EXPECT_TRUE(fs::exists(studio / "Big.cue"));
    EXPECT_EQ(Cli({"list", "--tsv", Studio()}).out, Header + BigRow + LockedRow);
    EXPECT_EQ(Snapshot(temp.path()).size(), before.size() + 4);
}

TEST_F(cli, MoveConflictMovesNothing)
{
    WriteFile(dest / "Take 1.wav", "already here");
    const auto before = Snapshot(temp.path());
    const Result result = Cli({"move", Studio(), Dest(), "Big", "Take"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Nothing was moved.\nAlready in destination directory:\n\nProject: Take\n     Take 1.wav\n");
    EXPECT_EQ(Snapshot(temp.path()), before);
}

TEST_F(cli, MoveToAnotherFileSystemCopiesThenRemovesTheProject)
{
    struct stat shm {
    }, tmp{};
    if (stat("/dev/shm", &shm) != 0 || stat(temp.path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system than the temporary folder";
    TempDir other("/dev/shm");
    const auto before = Snapshot(studio);
    const Result result = Cli({"move", Studio(), other.str(), "Take"});
    EXPECT_EQ(result.status, 0) << result.err;
    for (const char* file : {"Take.cue", "Take.bak", "Take 1.wav"}) {
        EXPECT_EQ(ReadFile(other.path() / file), before.at(file)) << file;
        EXPECT_FALSE(fs::exists(studio / file)) << file;
    }
    EXPECT_FALSE(fs::exists(studio / ".kelvark-journal"));

    // Every source of a project stays open until its copies are whole: a
    // project of more files than the usual limit of open files moves too.
    std::vector<FixtureWave> waves;
    for (int i = 0; i < 1100; ++i)
        waves.push_back({"Many " + std::to_string(i) + ".wav", 10});
    WriteProject(studio, "Many", waves);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit usual = saved;
    usual.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &usual), 0);
    const Result many = Cli({"move", Studio(), other.str(), "Many"});
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_TRUE(fs::exists(other.path() / "Many 1099.wav"));
    EXPECT_FALSE(fs::exists(studio / "Many 0.wav"));
}

TEST_F(cli, RenameRenamesTheOwnFilesOnly)
{
    const Result result = Cli({"rename", Studio(), "Take", "Final"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "Renamed \"Take\" to \"Final\": 2 files.\n");
    EXPECT_TRUE(fs::exists(studio / "Final.cue"));
    EXPECT_EQ(ReadFile(studio / "Final.bak"), "an earlier save");
    EXPECT_FALSE(fs::exists(studio / "Take.cue"));
    EXPECT_TRUE(fs::exists(studio / "Take 1.wav"));
    EXPECT_EQ(Cli({"list", "--tsv", "--no-mix", Studio()}).out,
              Header + BigRow + "Final\t.5\t2\t1\tA\t75%\n" + LockedRow);

    // After "--" a name may start with "-".
    EXPECT_EQ(Cli({"rename", "--", Studio(), "Final", "-Final"}).status, 0);
    EXPECT_TRUE(fs::exists(studio / "-Final.bak"));
}

TEST_F(cli, RefusedRenameGivesStatus1)
{
    const auto before = Snapshot(temp.path());
    const Result taken = Cli({"rename", Studio(), "Take", "Big"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err, "Project name Big already exists.  Can't rename.\n");
    const Result separator = Cli({"rename", Studio(), "Take", "sub/Final"});
    EXPECT_EQ(separator.status, 1);
    EXPECT_EQ(separator.err, "A project name can't contain \"/\".\n");
    EXPECT_EQ(Snapshot(temp.path()), before);
}

TEST_F(cli, SampleDefaultShowsEveryCase)
{
    const std::string folder = (temp.path() / "sample").string();
    ASSERT_EQ(Sample({folder}).status, 0);

    const Result list = Cli({"list", "--tsv", folder});
    EXPECT_EQ(list.status, 1); // one project misses a wave
    // Read one file at a time, the folder shows the same.
    const Result oneAtATime = Cli({"list", "--threads", "1", "--tsv", folder});
    EXPECT_EQ(oneAtATime.out, list.out);
    EXPECT_EQ(oneAtATime.err, list.err);
    EXPECT_EQ(oneAtATime.status, list.status);
    EXPECT_NE(list.err.find("File not found: "), std::string::npos) << list.err;
    std::set<std::string> sets, usages;
    int mixes = 0, readOnly = 0, rows = 0;
    std::istringstream lines(list.out.substr(Header.size()));
    for (std::string line; std::getline(lines, line); ++rows) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        ASSERT_EQ(cells.size(), 6u) << line;
        mixes += cells[0].ends_with(" Mix");
        readOnly += cells[1] == "-";
        sets.insert(cells[4]);
        usages.insert(cells[5]);
    }
    EXPECT_GE(rows, 6);
    EXPECT_GE(mixes, 2);
    EXPECT_LT(mixes, rows);
    EXPECT_EQ(readOnly, 1);
    EXPECT_GE(sets.size(), 2u) << "a DVD plan of more than one set";
    EXPECT_GE(usages.size(), 5u) << "varied usage";
}

TEST_F(cli, SampleGeneratedFolderDependsOnlyOnTheSeed)
{
    const auto generate = [this](const std::string& name, const std::string& seed) {
        const std::string folder = (temp.path() / name).string();
        EXPECT_EQ(Sample({folder, "--projects", "12", "--waves", "3", "--seed", seed}).status, 0);
        return Snapshot(folder);
    };
    const auto first = generate("a", "7");
    EXPECT_EQ(first.size(), 12u * 5u); // a project file, an earlier save and three waves each
    EXPECT_EQ(generate("b", "7"), first);
    EXPECT_NE(generate("c", "8"), first);

    const Result list = Cli({"list", "--tsv", (temp.path() / "a").string()});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 13);
    EXPECT_NE(list.out.find("0010 Session Mix\t"), std::string::npos);
}

TEST_F(cli, SampleRefusesAFolderThatIsNotEmptyAndBadOptions)
{
    const auto before = Snapshot(temp.path());
    const Result full = Sample({Studio()});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("is not empty"), std::string::npos);
    EXPECT_EQ(Snapshot(temp.path()), before);

    EXPECT_EQ(Sample({}).status, 2);
    EXPECT_EQ(Sample({(temp.path() / "x").string(), "--projects", "0"}).status, 2);
    EXPECT_EQ(Sample({(temp.path() / "x").string(), "--waves"}).status, 2);
    EXPECT_FALSE(fs::exists(temp.path() / "x"));
}

// The folder of --shared sorts to its end, with and without --skip-unsortable:
// each project and its v2 land in one set folder, and the read-only project
// that plays a take of the first stays, its take copied.
TEST_F(cli, SampleSharedTakesSortIntoOneSetFolderEach)
{
    for (const bool skip : {false, true}) {
        const std::string folder = (temp.path() / (skip ? "skip" : "all")).string();
        ASSERT_EQ(Sample({folder, "--projects", "12", "--waves", "3", "--shared", "3"}).status, 0);
        const Result sort =
            skip ? Cli({"sort", "--cd", "--yes", "--skip-unsortable", folder}) : Cli({"sort", "--cd", "--yes", folder});
        EXPECT_EQ(sort.status, 0) << sort.err;
        EXPECT_TRUE(sort.err.starts_with("Done.  CSV files are in folder " + folder + "/.\n")) << sort.err;
        for (const char* project : {"0001 Session", "0002 Session", "0003 Session"}) {
            int sets = 0;
            for (const auto& set : fs::directory_iterator(folder))
                if (set.is_directory() && fs::exists(set.path() / (project + std::string(".cue"))))
                    sets += fs::exists(set.path() / (project + std::string(" v2.cue"))) ? 1 : 10;
            EXPECT_EQ(sets, 1) << project;
        }
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left,
                  (std::vector<std::string>{"0001 Session 01.wav", "0001 Session Rough.bak", "0001 Session Rough.cue",
                                            "Backup Report.txt", "BackupProjects.csv", "Backups.csv"}));
    }
}

// How often part is in text.
std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// Without HOME and XDG_DATA_HOME (a service, env -i) there is no catalogue:
// the commands that keep one work without it and say so once, where and
// discs can't run; an empty or relative folder counts as not set. Nothing
// is made from an empty folder's name ("/kelvark/…").
TEST_F(cli, NoHomeMeansNoCatalogueSaidOnce)
{
    const std::string home = (temp.path() / "home").string();
    const std::string made = home + "/.local/share/kelvark/catalogue.sqlite";
    const struct {
        std::vector<std::string> env;
        std::vector<std::string> args; // FOLDER, when given, is a new folder of one project
        int status;
        std::string told; // what standard error starts with
        bool catalogue; // whether the sort made the catalogue in home
    } cases[] = {
        {{}, {"sort", "--yes", "FOLDER"}, 0, NoCatalogueText, false},
        {{"HOME=", "XDG_DATA_HOME=data"}, {"sort", "--yes", "FOLDER"}, 0, NoCatalogueText, false},
        {{"HOME=" + home, "XDG_DATA_HOME=data"}, {"sort", "--yes", "FOLDER"}, 0, "Done.", true},
        {{"HOME=" + home, "XDG_DATA_HOME="}, {"list", "FOLDER"}, 0, "", false},
        {{}, {"where", "Alder"}, 2, "kelvark-cli: " + NoCatalogueText + " Give --catalogue FILE.", false},
        {{}, {"discs"}, 2, "kelvark-cli: " + NoCatalogueText + " Give --catalogue FILE.", false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path folder = temp.path() / std::to_string(++n);
        fs::create_directory(folder);
        WriteProject(folder, "Alder Road", {{"Alder Road 1.wav", 1000}});
        std::vector<std::string> args = c.args;
        std::replace(args.begin(), args.end(), std::string("FOLDER"), folder.string());
        const Caller caller{c.env};
        const Result result = CliAs(args, caller);
        const std::string what = args.front() + " " + std::to_string(n);
        EXPECT_EQ(result.status, c.status) << what << result.err;
        EXPECT_TRUE(result.err.starts_with(c.told)) << what << result.err;
        EXPECT_EQ(Count(result.err, "No catalogue"), c.told.find("No catalogue") != std::string::npos ? 1u : 0u)
            << what;
        EXPECT_EQ(fs::exists(made), c.catalogue) << what;
        EXPECT_FALSE(fs::exists("/kelvark")) << what;
        if (args.front() == "list") {
            EXPECT_FALSE(fs::exists(home + "/.local")) << what;
        }
        fs::remove_all(home);
    }
}

// A catalogue that can't be opened (a folder its user can't search, a link
// that loops, a name too long): list, move, sort and unsort do their job
// and say it once; where and discs say it and exit 1. Never an abort.
TEST_F(cli, ACatalogueThatCantBeOpenedIsSaidOnceAndTheJobDone)
{
    fs::permissions(temp.path(), fs::perms::all);
    fs::create_symlink("loop", temp.path() / "loop");
    fs::create_directories(temp.path() / "private" / "kelvark");
    fs::permissions(temp.path() / "private", fs::perms::owner_all);
    const struct {
        const char* what;
        std::vector<std::string> env;
        std::vector<std::string> option;
        std::string file;
        uid_t user;
    } kinds[] = {
        {"a link that loops", {}, {"--catalogue", (temp.path() / "loop/catalogue.sqlite").string()},
         (temp.path() / "loop/catalogue.sqlite").string(), 0},
        {"a name of 300 bytes", {}, {"--catalogue", temp.path().string() + "/" + std::string(300, 'k') + "/c.sqlite"},
         temp.path().string() + "/" + std::string(300, 'k') + "/c.sqlite", 0},
        {"a folder nobody may search", {"XDG_DATA_HOME=" + (temp.path() / "private").string()}, {},
         (temp.path() / "private/kelvark/catalogue.sqlite").string(), 65534},
    };
    const struct {
        std::vector<std::string> args;
        int status;
    } commands[] = {
        {{"list", Studio()}, 0},
        {{"move", Studio(), Dest(), "Take"}, 0},
        {{"sort", "--cd", "--yes", Studio()}, 0},
        {{"unsort", "--cd", "--yes", Studio()}, 0},
        {{"where", "Big"}, 1},
        {{"discs"}, 1},
    };
    for (const auto& kind : kinds) {
        if (kind.user != 0 && ::geteuid() != 0)
            continue; // only root can run it as another user, and only another user can be kept out
        // A new studio, which nobody may change as well.
        fs::remove_all(studio);
        fs::remove_all(dest);
        SetUp();
        for (const fs::path& folder : {studio, dest})
            fs::permissions(folder, fs::perms::all);
        for (const auto& command : commands) {
            std::vector<std::string> args = command.args;
            args.insert(args.begin() + 1, kind.option.begin(), kind.option.end());
            const Caller caller{kind.env, kind.user};
            const Result result = CliAs(args, caller);
            const std::string what = std::string(kind.what) + ": " + args.front();
            EXPECT_EQ(result.status, command.status) << what << "\n" << result.err;
            EXPECT_EQ(Count(result.err, "The catalogue " + kind.file + " can't be opened: "), 1u)
                << what << "\n" << result.err;
            EXPECT_EQ(result.err.find("terminate"), std::string::npos) << what;
        }
        EXPECT_TRUE(fs::exists(Dest() + "/Take.cue")) << kind.what;
        // The sort and the unsort both ran: every project is back.
        EXPECT_TRUE(fs::exists(studio / "Big.cue")) << kind.what;
        EXPECT_FALSE(fs::exists(studio / "CD-A" / "Big.cue")) << kind.what;
    }
}

} // namespace
