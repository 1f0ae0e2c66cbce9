// kelvark-cli: the window's commands for scripts and headless machines.
//
// Exit status: 0 success; 1 when `list` met read errors, or when `report`,
// `sort`, `move`, `rename`, `unsort`, `recover`, `checksum`, `image` or `restore` stopped or
// failed, when Ctrl-C stopped the folder read, when another run holds the
// folder or an operation stopped there, or when `verify` found a project that
// is not intact or an extra file, or when `burn` did not write every set or
// a disc it wrote is not intact; 2 for bad usage or a folder that cannot be
// read (or holds no SHA256SUMS to verify, or a disc that can't be listed).

#include "Checksums.h"
#include "Commands.h"
#include "FileOps.h"
#include "ProgramHeap.h"
#include "Terminal.h"
#include "Xorriso.h"
#include "orvoProjectList.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

constexpr std::string_view UsageLines =
    "usage: kelvark-cli list   [MEDIUM] [--no-mix] [--no-regular] [--threads N] [--sets] [--tsv] FOLDER\n"
    "       kelvark-cli report [MEDIUM] [--no-mix] [--no-regular] [--threads N] [--yes] FOLDER\n"
    "       kelvark-cli sort   [MEDIUM] [--no-mix] [--no-regular] [--threads N] [--skip-unsortable] [--yes] FOLDER\n"
    "       kelvark-cli move   [MEDIUM] [--no-mix] [--no-regular] [--threads N] FOLDER DEST PROJECT...\n"
    "       kelvark-cli rename [MEDIUM] [--no-mix] [--no-regular] [--threads N] FOLDER OLD NEW\n"
    "       kelvark-cli recover --finish|--undo|--forget [--yes] FOLDER\n"
    "       kelvark-cli unsort [MEDIUM] [--yes] FOLDER\n"
    "       kelvark-cli checksum [--replace] FOLDER\n"
    "       kelvark-cli verify [--drive DEV]... PATH...\n"
    "       kelvark-cli image [--into DIR] FOLDER [SET...]\n"
    "       kelvark-cli drives\n"
    "       kelvark-cli burn --drive DEV [--yes] FOLDER SET...\n"
    "       kelvark-cli restore --into ROOT [--drive DEV]... SOURCE... [[--] PROJECT...]\n"
    "       kelvark-cli catalogue --add [--drive DEV]... [PATH...]\n"
    "       kelvark-cli where TEXT\n"
    "       kelvark-cli discs\n"
    "       kelvark-cli --help | --version\n";

constexpr std::string_view HelpText =
    "\n"
    "  list     read FOLDER, plan its backup sets and print the projects\n"
    "  report   write Backup Report.txt, Backups.csv and BackupProjects.csv into FOLDER\n"
    "  sort     move the projects into one folder per backup set, then write the reports\n"
    "  move     move the named projects from FOLDER to DEST\n"
    "  rename   rename the project OLD of FOLDER to NEW\n"
    "  recover  finish (--finish) or undo (--undo) a sort, move, rename or unsort of\n"
    "           FOLDER that stopped before its end, or forget it (--forget), leaving\n"
    "           every file where it is\n"
    "  unsort   move every file of FOLDER's backup folders of the medium (CD-A, …)\n"
    "           back into FOLDER and remove those folders (the reports stay)\n"
    "  checksum write SHA256SUMS into each backup set folder of FOLDER (or into\n"
    "           FOLDER, a set folder itself), for `sha256sum -c` or verify\n"
    "  verify   read every file of the set folders or discs PATH against their\n"
    "           SHA256SUMS and say which projects are intact (a root folder: each of\n"
    "           its set folders that holds one; a file: an ISO 9660 disc image, read\n"
    "           without mounting it, each file also checked against the MD5 the\n"
    "           image recorded)\n"
    "  image    write an ISO 9660 image of each set folder of FOLDER (or of each SET\n"
    "           named), DVD-A.iso and so on, into FOLDER or DIR (--into DIR), with\n"
    "           xorriso; a set whose image would not fit its disc, or whose image\n"
    "           is there already, is refused, and then no image is written\n"
    "  drives   list the optical drives, each with the disc it holds and the sectors\n"
    "           free on a blank one\n"
    "  burn     write each set folder SET of FOLDER onto a blank disc in the drive\n"
    "           DEV, asking for the next blank disc before each set but the first,\n"
    "           and read each disc back as verify does; a disc that is not blank or\n"
    "           too small is refused before anything is written onto it\n"
    "  restore  copy the projects PROJECT (every project of the sources when none\n"
    "           is named) from the set folders, mounted discs and disc images\n"
    "           SOURCE and the discs in the drives DEV into ROOT, each file checked\n"
    "           against its disc's SHA256SUMS as it is copied; the arguments after\n"
    "           \"--\" are PROJECTs, those before it SOURCEs; without \"--\", an\n"
    "           argument naming an existing file or folder is a SOURCE, any other a\n"
    "           PROJECT. A file never replaces another: a name that holds the same\n"
    "           bytes counts as restored, one that holds other bytes refuses the\n"
    "           restore, and then nothing is copied\n"
    "  catalogue --add  add discs to the catalogue, which sort, checksum, image,\n"
    "           burn and verify keep: a lost catalogue rebuilt, or discs written\n"
    "           elsewhere; of an image or a drive's disc only its label, SHA256SUMS\n"
    "           and project files are read\n"
    "  where    list the catalogue's projects whose name holds TEXT (ignoring the\n"
    "           case of ASCII letters): disc, folder sorted, day of the sort, when\n"
    "           the disc was written and last verified, and the project's verdict\n"
    "  discs    list the catalogue's discs, the one checked longest ago first,\n"
    "           marking \"due\" those not verified (or, never verified, written or\n"
    "           sorted) for three years or more\n"
    "\n"
    "  MEDIUM         --medium M plans the sets for discs of M: cd (680.5 MB), cd80,\n"
    "                 dvd (4.6 GB, the default), dvd-dl, bd, bd-dl, bdxl, or a size in\n"
    "                 bytes, alone or with kB, MB, GB, TB (or k, M, G, T: powers of\n"
    "                 1,000) or KiB, MiB, GiB, TiB (powers of 1,024), such as 700MB,\n"
    "                 \"16 GB\" or 25GiB; --cd and --dvd are --medium cd and\n"
    "                 --medium dvd. Set folders are named CD-A, DVD-A, DVDDL-A, BD-A,\n"
    "                 BDDL-A, BDXL-A (cd80: CD-A) and DISC-A for a size\n"
    "  --no-mix       leave out mix projects (\" Mix\" in the name)\n"
    "  --no-regular   leave out regular projects\n"
    "  --threads N    read FOLDER with up to N files under way at once, 1 to 256\n"
    "                 (default 32): on a network share each open and read waits\n"
    "                 for the network; 1 reads one file after the other\n"
    "  --sets         list: print each set (name, projects, files, bytes, budget)\n"
    "                 instead of the projects; bytes are what the files take on a\n"
    "                 disc, each rounded up to 2,048-byte sectors plus 1,024\n"
    "  --tsv          print tab-separated lines under a header line\n"
    "  --skip-unsortable  sort: leave the projects that can't be sorted (a wave not\n"
    "                 found, not read, in no set, or sharing a file with such a\n"
    "                 project) in FOLDER and sort the others\n"
    "  --yes          sort, unsort or forget a journal without asking, burn without\n"
    "                 waiting for Enter before each disc (report asks nothing and\n"
    "                 takes it for scripts)\n"
    "  --replace      checksum: replace a SHA256SUMS that a set folder holds already\n"
    "  --into DIR     image: write the images into DIR instead of FOLDER; restore:\n"
    "                 the root folder ROOT the projects are copied into\n"
    "  --drive DEV    verify: read the disc in the drive DEV (/dev/sr0, or stdio:FILE\n"
    "                 for a file written as a drive) as an image is read; burn:\n"
    "                 write onto the disc in DEV; restore: copy from the disc in DEV\n"
    "  --catalogue FILE  the catalogue of every disc that sort, checksum, image, burn\n"
    "                 and verify record into and catalogue, where, discs and restore read\n"
    "                 (default: $XDG_DATA_HOME/kelvark/catalogue.sqlite)\n"
    "  --add          catalogue: add the set folders, mounted discs and images PATH\n"
    "                 and the discs in the drives DEV, as their labels and\n"
    "                 SHA256SUMS describe them\n"
    "  --all          print every line of a long message and every notice; without\n"
    "                 it, a message shows its first 100 lines, a read its first 100\n"
    "                 notices, and then how many more there are\n"
    "  --             end of options: later arguments are names, even when they start with \"-\"\n"
    "\n"
    "Names are shown as UTF-8; bytes that are not UTF-8 are read as Windows-1252.\n"
    "In the table and in messages, control characters are written as C escapes:\n"
    "\\0, \\t, \\n, \\r, and \\xHH for the others (C0, DEL, and C1 as \\x80 to \\x9f).\n"
    "With --tsv each field writes backslash, tab, line feed and carriage return as\n"
    "\\\\, \\t, \\n and \\r and nothing else, so every project is one line of six fields.\n"
    "\n"
    "Ctrl-C, SIGTERM and SIGHUP stop a read, a sort, a move, a rename, an unsort or a\n"
    "recover after the current project, and an image at once, removing the part of\n"
    "it written; a second one ends the program at once. A restore stopped while it\n"
    "copies leaves nothing in ROOT, and stops after the current project while it\n"
    "moves the checked copies into ROOT. A sort, move, rename, unsort or restore\n"
    "keeps a journal, the hidden file .kelvark-journal in\n"
    "FOLDER, and holds its lock until it ends: a second run on FOLDER is refused\n"
    "meanwhile, and when it stopped early, every other command on FOLDER refuses\n"
    "until recover has finished, undone or forgotten it.\n"
    "Ctrl-C stops a burn as xorriso stops a write: a disc stopped midway is spoilt.\n"
    "At the question for the next blank disc, Ctrl-C or the end of the input ends a\n"
    "burn.\n"
    "\n"
    "Exit status: 0 success; 1 read errors (list), a command that stopped or failed,\n"
    "a verify that found a project not intact or an extra file, or a burn that did\n"
    "not write every set or read back a disc not intact; 2 bad usage, a\n"
    "folder that cannot be read, or a PATH or disc to verify without a SHA256SUMS or\n"
    "that xorriso cannot list.\n";

// A mistake in the command line: reported as one line and the usage, status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A folder named on the command line that cannot be listed: status 2.
struct FolderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Command {
    List,
    Report,
    Sort,
    Move,
    Rename,
    Recover,
    Unsort,
    Checksum,
    Verify,
    Image,
    Drives,
    Burn,
    Restore,
    Catalogue,
    Where,
    Discs
};

struct Options {
    Command command = Command::List;
    Medium medium = DVDMedium();
    bool mediumGiven = false;
    bool sets = false;
    bool all = false;
    bool skipUnsortable = false;
    bool mix = true;
    bool regular = true;
    std::optional<int> threads; // the project list's own number when not given
    bool tsv = false;
    bool yes = false;
    bool finish = false;
    bool undo = false;
    bool forget = false;
    bool replace = false;
    std::string into; // image: the folder of the images, FOLDER when empty; restore: the root folder
    std::vector<std::string> drives; // verify --drive, burn --drive, restore --drive, catalogue --drive
    std::string catalogue = DefaultCataloguePath();
    bool add = false; // catalogue --add
    std::vector<std::string> operands;
    std::size_t namesFrom = std::string::npos; // the first operand after "--"
};

Command ParseCommand(std::string_view word)
{
    constexpr std::pair<std::string_view, Command> words[] = {
        {"list", Command::List},       {"report", Command::Report},       {"sort", Command::Sort},
        {"move", Command::Move},       {"rename", Command::Rename},       {"recover", Command::Recover},
        {"unsort", Command::Unsort},   {"checksum", Command::Checksum},   {"verify", Command::Verify},
        {"image", Command::Image},     {"drives", Command::Drives},       {"burn", Command::Burn},
        {"restore", Command::Restore}, {"catalogue", Command::Catalogue}, {"where", Command::Where},
        {"discs", Command::Discs},
    };
    for (const auto& [name, command] : words)
        if (word == name)
            return command;
    throw UsageError("unknown command " + std::string(word));
}

// The operands each command takes, named as the usage names them.
void CheckOperands(const Options& options)
{
    static const std::vector<std::string> names[] = {{"FOLDER"},
                                                     {"FOLDER"},
                                                     {"FOLDER"},
                                                     {"FOLDER", "DEST", "PROJECT"},
                                                     {"FOLDER", "OLD", "NEW"},
                                                     {"FOLDER"},
                                                     {"FOLDER"},
                                                     {"FOLDER"},
                                                     {"PATH"},
                                                     {"FOLDER"},
                                                     {},
                                                     {"FOLDER", "SET"},
                                                     {"SOURCE"},
                                                     {"PATH"},
                                                     {"TEXT"},
                                                     {}};
    const auto& expected = names[static_cast<int>(options.command)];
    const auto& given = options.operands;
    const bool reads = options.command == Command::Verify || options.command == Command::Restore
                       || options.command == Command::Catalogue;
    if (given.size() < expected.size() && (!reads || options.drives.empty()))
        throw UsageError("missing " + expected[given.size()]);
    if (given.size() > expected.size() && options.command != Command::Move && !reads
        && options.command != Command::Image && options.command != Command::Burn)
        throw UsageError("unexpected argument " + given[expected.size()]);
    if (options.command == Command::Burn && options.drives.size() != 1)
        throw UsageError(options.drives.empty() ? "burn needs --drive DEV" : "burn writes onto one drive only");
    for (std::size_t i = 0; i < std::min(expected.size(), given.size()); ++i)
        if (given[i].empty())
            throw UsageError(expected[i] + " is empty");
    if (options.command == Command::Restore && options.into.empty())
        throw UsageError("restore needs --into ROOT");
    if (options.command == Command::Recover && options.finish + options.undo + options.forget != 1)
        throw UsageError("recover takes one of --finish, --undo and --forget");
    if (options.command == Command::Catalogue && !options.add)
        throw UsageError("catalogue needs --add");
}

// True for the commands that read the folder's projects first.
bool ReadsTheFolder(Command command)
{
    return command == Command::List || command == Command::Report || command == Command::Sort
           || command == Command::Move || command == Command::Rename;
}

// Returns false when --help or --version has been answered.
bool Parse(int argc, char** argv, Options& options)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty())
        throw UsageError("missing command");
    bool namesOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (namesOnly || arg == "-" || !arg.starts_with("-")) {
            if (i == 0)
                options.command = ParseCommand(arg);
            else
                options.operands.emplace_back(arg);
        } else if (arg == "--help") {
            std::cout << UsageLines << HelpText;
            return false;
        } else if (arg == "--version") {
            std::cout << "kelvark-cli " KELVARK_VERSION "\n";
            const XorrisoProgram& xorriso = Xorriso();
            std::cout << (xorriso.path.empty() ? xorriso.problem : "xorriso " + xorriso.version + ": " + xorriso.path)
                      << "\n";
            return false;
        } else if (i == 0) {
            throw UsageError("unknown option " + std::string(arg));
        } else if (arg == "--") {
            namesOnly = true;
            options.namesFrom = options.operands.size();
        } else if (arg == "--cd" || arg == "--dvd" || arg == "--medium" || arg.starts_with("--medium=")) {
            std::string_view word = arg == "--cd"    ? "cd"
                                    : arg == "--dvd" ? "dvd"
                                                     : arg.substr(std::min<std::size_t>(arg.size(), 9));
            if (arg == "--medium") {
                if (i + 1 == args.size())
                    throw UsageError("--medium needs a medium");
                word = args[++i];
            }
            Medium medium;
            if (const Result named = MediumNamed(word, medium); named.Failed())
                throw UsageError("--medium: " + named.Message());
            if (options.mediumGiven && !(options.medium == medium))
                throw UsageError("--cd, --dvd and --medium name one medium only");
            options.medium = medium;
            options.mediumGiven = true;
        } else if ((arg == "--threads" || arg.starts_with("--threads=")) && ReadsTheFolder(options.command)) {
            std::string_view word = arg.substr(std::min<std::size_t>(arg.size(), 10));
            if (arg == "--threads") {
                if (i + 1 == args.size())
                    throw UsageError("--threads needs a number");
                word = args[++i];
            }
            int threads = 0;
            const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), threads);
            if (error != std::errc() || end != word.data() + word.size() || threads < 1
                || threads > orvoProjectList::MaxRequestsInFlight)
                throw UsageError("--threads takes a whole number from 1 to "
                                 + std::to_string(orvoProjectList::MaxRequestsInFlight) + ": \"" + std::string(word)
                                 + "\"");
            options.threads = threads;
        } else if (arg == "--sets" && options.command == Command::List) {
            options.sets = true;
        } else if (arg == "--skip-unsortable" && options.command == Command::Sort) {
            options.skipUnsortable = true;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--no-mix") {
            options.mix = false;
        } else if (arg == "--no-regular") {
            options.regular = false;
        } else if (arg == "--tsv" && options.command == Command::List) {
            options.tsv = true;
        } else if (arg == "--yes"
                   && (options.command == Command::Sort || options.command == Command::Unsort
                       || options.command == Command::Report || options.command == Command::Recover
                       || options.command == Command::Burn)) {
            options.yes = true;
        } else if (arg == "--catalogue" || arg.starts_with("--catalogue=")) {
            if (arg == "--catalogue" && i + 1 == args.size())
                throw UsageError("--catalogue needs a file");
            options.catalogue = arg == "--catalogue" ? std::string(args[++i]) : std::string(arg.substr(12));
            if (options.catalogue.empty())
                throw UsageError("--catalogue needs a file");
        } else if (arg == "--add" && options.command == Command::Catalogue) {
            options.add = true;
        } else if ((arg == "--drive" || arg.starts_with("--drive="))
                   && (options.command == Command::Verify || options.command == Command::Burn
                       || options.command == Command::Restore || options.command == Command::Catalogue)) {
            std::string_view device = arg.substr(std::min<std::size_t>(arg.size(), 8));
            if (arg == "--drive") {
                if (i + 1 == args.size())
                    throw UsageError("--drive needs a device");
                device = args[++i];
            }
            if (device.empty())
                throw UsageError("--drive needs a device");
            options.drives.emplace_back(device);
        } else if (arg == "--replace" && options.command == Command::Checksum) {
            options.replace = true;
        } else if ((arg == "--into" || arg.starts_with("--into="))
                   && (options.command == Command::Image || options.command == Command::Restore)) {
            if (arg == "--into" && i + 1 == args.size())
                throw UsageError("--into needs a folder");
            options.into = arg == "--into" ? std::string(args[++i]) : std::string(arg.substr(7));
            if (options.into.empty())
                throw UsageError("--into needs a folder");
        } else if ((arg == "--finish" || arg == "--undo" || arg == "--forget") && options.command == Command::Recover) {
            (arg == "--finish" ? options.finish : arg == "--undo" ? options.undo : options.forget) = true;
        } else if (arg == "--replace") {
            throw UsageError("--replace applies to checksum only");
        } else if (arg == "--into" || arg.starts_with("--into=")) {
            throw UsageError("--into applies to image and restore only");
        } else if (arg == "--drive" || arg.starts_with("--drive=")) {
            throw UsageError("--drive applies to verify, burn, restore and catalogue only");
        } else if (arg == "--add") {
            throw UsageError("--add applies to catalogue only");
        } else if (arg == "--threads" || arg.starts_with("--threads=")) {
            throw UsageError("--threads applies to list, report, sort, move and rename only");
        } else if (arg == "--tsv" || arg == "--sets" || arg == "--skip-unsortable" || arg == "--yes") {
            throw UsageError(std::string(arg) + " applies to "
                             + (arg == "--yes"               ? "sort, unsort, report, recover and burn only"
                                : arg == "--skip-unsortable" ? "sort only"
                                                             : "list only"));
        } else {
            throw UsageError("unknown option " + std::string(arg));
        }
    }
    CheckOperands(options);
    return true;
}

// A folder argument as the core keeps folders, once it is known to be readable.
std::string ReadableFolder(const std::string& argument)
{
    std::error_code error;
    fs::directory_iterator listing(argument, error);
    if (error)
        throw FolderError("cannot read folder " + argument + ": " + error.message());
    return WithSeparator(argument);
}

// The named projects, in the order named; a name the folder does not hold
// refuses them, with the usage error that says so.
Result ProjectsNamed(const orvoProjectList& list, const std::vector<std::string>& names, const std::string& folder,
                     std::vector<orvoProject*>& named)
{
    for (const std::string& name : names) {
        const auto before = named.size();
        for (const auto& project : list.projects)
            if (project->Name == name)
                named.push_back(project.get());
        if (named.size() == before)
            return Result("no project named " + name + " in " + folder, Result::Status::Refused);
    }
    return {};
}

// list --sets: a line per set of the plan.
std::string SetsText(const orvoProjectList& list, bool tsv)
{
    TextRows rows{{"Set", "Projects", "Files", "Bytes", "Budget"}};
    for (const auto& set : list.SetTotals())
        rows.push_back({set.name, std::to_string(set.projects), std::to_string(set.files), std::to_string(set.bytes),
                        std::to_string(list.medium.budget)});
    return tsv ? TsvText(rows) : TableText(rows, {false, true, true, true, true});
}

// The ways out of a stopped operation of folder.
std::string RecoverCommands(const std::string& folder)
{
    return "Finish it with: kelvark-cli recover --finish " + folder + LineEnd
           + "or undo it with: kelvark-cli recover --undo " + folder + LineEnd
           + "or leave every file where it is now with: kelvark-cli recover --forget " + folder;
}

// Shows result's messages, the last with the commands that do what it
// offers; the exit status: 0 when it was done, else 1.
int Shown(const Result& result, const std::string& folder, const OptionAnswers& answers, Messages& messages)
{
    const std::vector<std::string>& lines = result.Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string text = lines[i];
        if (i + 1 == lines.size()) {
            if (result.offers & Result::Finish)
                text += LineEnd + RecoverCommands(folder);
            else if (result.offers & Result::Forget)
                text += std::string(LineEnd) + "See what it holds and remove it with: kelvark-cli recover --forget "
                        + folder;
            else if (answers.declinedReplace)
                text += " Give --replace to write new ones.";
        }
        messages.Show(text);
    }
    return result.Failed() ? 1 : 0;
}

// The commands that read the folder first.
int RunCommand(const Options& options, const std::string& root, const std::string& dest, orvoProjectList& list,
               TerminalMessages& messages, CommandUi ui, const OptionAnswers& answers)
{
    const std::string& folder = options.operands[0];
    const Result read = ReadFolderCommand(list, root, options.mix, options.regular, options.medium, options.catalogue);
    ReturnFreedHeap();
    if (read.Ended() == Result::Status::Refused)
        return Shown(read, folder, answers, messages);
    messages.EndNotices();
    if (!read.Lines().empty())
        messages.Show(read.Message());
    if (TerminalProgress::Cancelled()) {
        messages.Show("Cancelled: the folder was not read to its end, nothing was done.");
        return 1;
    }

    switch (options.command) {
    case Command::List: {
        if (list.projects.Count() == 0)
            messages.Show(NoProjectsText(root));
        if (options.tsv && !options.sets) {
            WriteGridTsv(list.FillGrid(), stdout);
        } else {
            const std::string text = options.sets ? SetsText(list, options.tsv) : GridTable(list.FillGrid());
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        return read.Failed() ? 1 : 0;
    }
    case Command::Report: return Shown(ReportCommand(list, root, ui), folder, answers, messages);
    case Command::Sort: return Shown(SortCommand(list, root, ui, options.catalogue), folder, answers, messages);
    case Command::Move:
    case Command::Rename: {
        const bool move = options.command == Command::Move;
        const std::vector<std::string> names =
            move ? std::vector<std::string>(options.operands.begin() + 2, options.operands.end())
                 : std::vector<std::string>{options.operands[1]};
        std::vector<orvoProject*> named;
        if (const Result unknown = ProjectsNamed(list, names, root, named); unknown.Failed()) {
            std::cerr << "kelvark-cli: " << Escaped(unknown.Message()) << "\n" << UsageLines;
            return 2;
        }
        const Result result =
            move ? MoveCommand(list, named, dest, ui) : RenameCommand(list, *named.front(), options.operands[2], ui);
        return Shown(result, folder, answers, messages);
    }
    case Command::Recover:
    case Command::Unsort:
    case Command::Checksum:
    case Command::Verify:
    case Command::Image:
    case Command::Drives:
    case Command::Burn:
    case Command::Restore:
    case Command::Catalogue:
    case Command::Where:
    case Command::Discs: break;
    }
    return 1;
}

// restore: the operands after "--" are projects' names, those before it
// sources; without "--", an operand that names an existing file or folder
// is a source, any other a project's name.
int Restore(const Options& options)
{
    const std::string root = ReadableFolder(options.into);
    std::vector<std::string> sources, projects;
    for (std::size_t i = 0; i < options.operands.size(); ++i) {
        const std::string& operand = options.operands[i];
        const bool project = options.namesFrom == std::string::npos ? !EntryExists(operand) : i >= options.namesFrom;
        (project ? projects : sources).push_back(operand);
    }
    if (sources.empty() && options.drives.empty())
        throw UsageError(options.namesFrom != std::string::npos || projects.empty()
                             ? "missing SOURCE"
                             : "missing SOURCE: no file or folder is named " + projects.front());
    TerminalProgress progress(isatty(STDERR_FILENO) != 0);
    TerminalMessages messages(progress, options.all);
    OptionAnswers answers({options.yes, options.skipUnsortable, options.replace}, messages);
    const CommandUi ui{messages, progress, answers};
    return Shown(RestoreCommand(root, sources, options.drives, projects, ui, options.catalogue), options.into, answers,
                 messages);
}

// Without HOME and XDG_DATA_HOME there is no catalogue: the commands that
// keep one go on without it, saying so once; those that only show or fill
// it can't run. False when the command can't run.
bool CatalogueNotice(const Options& options)
{
    if (!options.catalogue.empty() || options.command == Command::Recover || options.command == Command::Drives)
        return true;
    if (options.command == Command::Catalogue || options.command == Command::Where
        || options.command == Command::Discs) {
        std::cerr << "kelvark-cli: " << NoCatalogueText << " Give --catalogue FILE.\n";
        return false;
    }
    std::cerr << NoCatalogueText << "\n";
    return true;
}

int Run(const Options& options)
{
    TerminalProgress::CatchInterrupt();
    if (!CatalogueNotice(options))
        return 2;
    if (options.command == Command::Verify)
        return VerifyCommand(options.operands, options.drives, options.all, options.catalogue);
    if (options.command == Command::Catalogue || options.command == Command::Where
        || options.command == Command::Discs) {
        TerminalProgress progress(isatty(STDERR_FILENO) != 0);
        TerminalMessages messages(progress, options.all);
        std::vector<WhereRow> found;
        std::vector<DiscRow> discs;
        const Result result = options.command == Command::Catalogue
                                  ? CatalogueAddCommand(options.operands, options.drives, options.catalogue, progress)
                              : options.command == Command::Where
                                  ? WhereCommand(options.operands[0], options.catalogue, found)
                                  : DiscsCommand(options.catalogue, discs);
        // The rows found are what where and discs produce: standard output.
        if (options.command != Command::Catalogue && !result.Failed())
            for (const std::string& line : result.Lines())
                std::cout << Escaped(line) << "\n";
        else
            for (const std::string& line : result.Lines())
                messages.Show(line);
        return result.Ended() == Result::Status::Refused ? 2 : result.Failed() ? 1 : 0;
    }
    if (options.command == Command::Drives) {
        // The drives are what the command produces: standard output.
        const TerminalProgress progress(isatty(STDERR_FILENO) != 0);
        const Result drives = DrivesCommand(progress);
        for (const std::string& line : drives.Lines())
            std::cout << Escaped(line) << "\n";
        return drives.Failed() ? 1 : 0;
    }
    if (options.command == Command::Restore)
        return Restore(options);
    const std::string root = ReadableFolder(options.operands[0]);
    const std::string dest = options.command == Command::Move ? ReadableFolder(options.operands[1]) : "";
    const bool asks = options.command == Command::Sort || options.command == Command::Unsort
                      || (options.command == Command::Recover && options.forget);
    if (asks && !options.yes && !isatty(STDIN_FILENO))
        throw UsageError((options.command == Command::Sort     ? "sort"
                          : options.command == Command::Unsort ? "unsort"
                                                               : "recover --forget")
                         + std::string(" asks before it ")
                         + (options.command == Command::Recover ? "removes the journal" : "moves anything")
                         + ": give --yes when standard input is not a terminal");

    TerminalProgress progress(isatty(STDERR_FILENO) != 0);
    TerminalMessages messages(progress, options.all);
    OptionAnswers answers({options.yes, options.skipUnsortable, options.replace}, messages);
    const CommandUi ui{messages, progress, answers};
    const std::string& folder = options.operands[0];
    switch (options.command) {
    case Command::Recover:
        return Shown(options.forget ? ForgetCommand(root, "", ui) : RecoverCommand(root, options.undo, ui), folder,
                     answers, messages);
    case Command::Unsort:
        return Shown(UnsortCommand(root, options.medium, ui, options.catalogue), folder, answers, messages);
    case Command::Checksum:
        return Shown(ChecksumCommand(root, false, ui, options.catalogue), folder, answers, messages);
    case Command::Image: {
        const std::string into = options.into.empty() ? root : ReadableFolder(options.into);
        const std::vector<std::string> sets(options.operands.begin() + 1, options.operands.end());
        return Shown(ImageCommand(root, into, sets, ui, options.catalogue), folder, answers, messages);
    }
    case Command::Burn: {
        VerifyResult checks;
        const std::vector<std::string> sets(options.operands.begin() + 1, options.operands.end());
        return Shown(BurnCommand(root, sets, options.drives.front(), ui, checks, false, options.catalogue), folder,
                     answers, messages);
    }
    default: break;
    }
    orvoProjectList list({messages, progress});
    list.regional = LocaleRegional();
    if (options.threads)
        list.requestsInFlight = *options.threads;
    return RunCommand(options, root, dest, list, messages, ui, answers);
}

} // namespace

} // namespace kelvark

using namespace kelvark;

int main(int argc, char** argv)
{
    AllowManyOpenFiles();
    SetHeapForReading();
    try {
        Options options;
        if (!Parse(argc, argv, options))
            return 0;
        return Run(options);
    } catch (const UsageError& error) {
        std::cerr << "kelvark-cli: " << Escaped(error.what()) << "\n" << UsageLines;
        return 2;
    } catch (const FolderError& error) {
        std::cerr << "kelvark-cli: " << Escaped(error.what()) << "\n";
        return 2;
    }
}
