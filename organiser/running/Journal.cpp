#include "Journal.h"

#include "DiscLabel.h"
#include "Executor.h"
#include "FileOps.h"
#include "Manifest.h"
#include "Medium.h"
#include "TextCodec.h"
#include "idata_common.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvark {

namespace {

constexpr const char* Version = "kelvark-journal 2";

std::uint32_t Checksum(std::string_view text)
{
    std::uint32_t sum = 2166136261u; // FNV-1a
    for (const unsigned char c : text)
        sum = (sum ^ c) * 16777619u;
    return sum;
}

// A line's checksum as the journal writes it after the line: eight hex digits.
std::string SumText(std::string_view line)
{
    std::string digits(8, '0');
    for (std::uint32_t sum = Checksum(line), i = 8; i > 0; sum >>= 4)
        digits[--i] = "0123456789abcdef"[sum & 0xF];
    return digits;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back() += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The fields as one line: escaped, separated by tabs, then the line's checksum.
template <typename Fields> std::string Line(const Fields& fields)
{
    std::string line;
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first)
            line += '\t';
        first = false;
        for (const char c : field) {
            if (c == '\\' || c == '\n' || c == '\r' || c == '\t') {
                line += '\\';
                line += c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : '\\';
            } else {
                line += c;
            }
        }
    }
    line += '\t' + SumText(line) + '\n';
    return line;
}

std::string Line(std::initializer_list<std::string_view> fields)
{
    return Line<std::initializer_list<std::string_view>>(fields);
}

// The line of unit k's "across" record: each step's size and time.
std::string AcrossLine(std::size_t k, const std::vector<FileStamp>& stamps)
{
    std::vector<std::string> fields{"across", std::to_string(k)};
    for (const auto& stamp : stamps) {
        fields.push_back(std::to_string(stamp.size));
        fields.push_back(std::to_string(stamp.mtime));
    }
    return Line(fields);
}

// A whole number written by the journal; false for anything else.
bool Number(const std::string& text, std::size_t& n)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size();
}

// The whole file, read from its start into text; the error of a read that
// failed before its end.
std::error_code ReadAll(int fd, std::string& text)
{
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return LastErrno();
        if (got == 0)
            return {};
        text.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
}

const char* const KindWords[] = {"sort", "move", "rename", "unsort", "report", "checksum", "restore", "disc"};

// A name of one file in a folder, as the journal may hold it.
bool IsFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
           && name.find('\0') == std::string::npos && !name.starts_with(".kelvark-");
}

std::string Time(std::time_t since)
{
    std::tm then{}, now{};
    const std::time_t today = std::time(nullptr);
    ::localtime_r(&since, &then);
    ::localtime_r(&today, &now);
    char text[32];
    std::strftime(text, sizeof text,
                  then.tm_year == now.tm_year && then.tm_yday == now.tm_yday ? "%H:%M" : "%Y-%m-%d %H:%M", &then);
    return text;
}

} // namespace

Journal::~Journal()
{
    if (writing)
        End();
    else
        Close();
}

std::string Journal::Path() const
{
    return root + FileName;
}

void Journal::Close()
{
    lock.Release();
    writing = false;
}

Journal::State Journal::Take(bool create)
{
    Close();
    read = FilePlan();
    problem.clear();
    openError.clear();
    since = 0;
    switch (lock.Take(root, create)) {
    case FolderLock::Taken::Absent: return state = State::None;
    case FolderLock::Taken::Failed: openError = lock.Problem(); return state = State::None;
    case FolderLock::Taken::NotAFile: problem = lock.Problem(); return state = State::NotAFile;
    case FolderLock::Taken::Busy:
        if (std::string text; !ReadAll(lock.Fd(), text))
            Parse(text); // for what runs and since when
        Close();
        return state = State::Running;
    case FolderLock::Taken::Held: break;
    }
    // A journal read only in part is never taken for one cut short, which
    // would be removed.
    std::string text;
    if (const std::error_code error = ReadAll(lock.Fd(), text)) {
        problem = ErrorText(error);
        return state = State::Unreadable;
    }
    return state = text.empty() ? State::None : Parse(text);
}

Result Journal::Lock(const std::string& folder, Operation operation)
{
    root = folder;
    const State found = Take(true);
    if (found != State::None) {
        Close();
        return Result(Describe());
    }
    if (lock.Fd() < 0)
        return Result("Can't write the journal \"" + Path() + "\": " + openError);
    // Empty, or the plan of a run cut short before it touched any file.
    kind = operation;
    since = std::time(nullptr);
    const std::string header =
        Line({Version}) + Line({"kind", KindWords[static_cast<int>(kind)]}) + Line({"since", std::to_string(since)});
    std::error_code error;
    if (::ftruncate(lock.Fd(), 0) != 0)
        error = LastErrno();
    else
        error = WriteAll(lock.Fd(), header.data(), header.size());
    if (error) {
        End(); // nothing ran under it
        return Result("Can't write the journal \"" + Path() + "\": " + ErrorText(error));
    }
    writing = true;
    return {};
}

Result Journal::Begin(const FilePlan& plan)
{
    // The lines go to the file a block at a time: a plan of tens of
    // thousands of steps is neither held twice over nor written a line a call.
    constexpr std::size_t Block = std::size_t{256} * 1024;
    std::string text;
    std::error_code error = lock.Fd() < 0 ? std::make_error_code(std::errc::bad_file_descriptor) : std::error_code();
    const auto flush = [&] {
        if (!error)
            error = WriteAll(lock.Fd(), text.data(), text.size());
        text.clear();
    };
    const auto write = [&](const std::string& line) {
        text += line;
        if (text.size() >= Block)
            flush();
    };
    if (plan.kind == Operation::Move)
        write(Line({"dest", plan.dest}));
    for (const auto& folder : plan.folders)
        write(Line({"folder", folder}));
    const std::string_view fromRoot = plan.root;
    const std::string_view toRoot = plan.kind == Operation::Move ? plan.dest : plan.root;
    for (const auto& unit : plan.units) {
        std::vector<std::string_view> fields{"unit"};
        fields.insert(fields.end(), unit.names.begin(), unit.names.end());
        write(Line(fields));
        for (const auto& step : unit.steps)
            write(Line({step.kind == StepKind::Move   ? "move"
                        : step.kind == StepKind::Copy ? "copy"
                                                      : "uncopy",
                        std::string_view(step.from).substr(fromRoot.size()),
                        std::string_view(step.to).substr(toRoot.size())}));
    }
    for (const OwnFile& file : plan.removes)
        write(Line({"remove", std::string_view(file.path).substr(fromRoot.size()), std::to_string(file.size),
                    std::to_string(file.mtime), std::to_string(file.inode)}));
    for (const auto& [name, lines] : plan.reports) {
        std::vector<std::string_view> fields{"report", name};
        fields.insert(fields.end(), lines.begin(), lines.end());
        write(Line(fields));
    }
    write(Line({"end"}));
    // A restore's units carry each checked copy's size and time, and its
    // disc's SHA-256, from the start.
    for (std::size_t k = 0; k < plan.units.size(); ++k) {
        if (!plan.units[k].stamps.empty())
            write(AcrossLine(k, plan.units[k].stamps));
        if (!plan.units[k].sums.empty()) {
            std::vector<std::string> fields{"sha256", std::to_string(k)};
            fields.insert(fields.end(), plan.units[k].sums.begin(), plan.units[k].sums.end());
            write(Line(fields));
        }
    }
    flush();
    if (!error && ::fsync(lock.Fd()) != 0)
        error = LastErrno();
    if (error) {
        End();
        return Result("Can't write the journal \"" + Path() + "\": " + ErrorText(error));
    }
    SyncFolder(root);
    return {};
}

std::error_code Journal::Append(const std::string& line, bool flush)
{
    // Recover adds nothing to the journal it took: it reads the state of every step from the file system.
    if (!writing)
        return {};
    std::error_code error = WriteAll(lock.Fd(), line.data(), line.size());
    if (!error && flush && ::fsync(lock.Fd()) != 0)
        error = LastErrno();
    return error;
}

std::error_code Journal::Done(std::size_t k)
{
    // Not flushed: recover reads the state of every step from the file system,
    // and a "done" line lost in a power cut only lowers the count it reports.
    // The line reaches the file at once, so a killed program loses none.
    return Append(Line({"done", std::to_string(k)}), false);
}

std::error_code Journal::Across(std::size_t k, const std::vector<FileStamp>& stamps)
{
    return Append(AcrossLine(k, stamps), true);
}

std::error_code Journal::Placed(std::size_t k, const std::vector<PlacedFile>& placed)
{
    std::vector<std::string> fields{"placed", std::to_string(k)};
    for (const PlacedFile& file : placed)
        for (const std::int64_t n : {static_cast<std::int64_t>(file.inode), file.size, file.mtime, file.ctime})
            fields.push_back(std::to_string(n));
    // Not flushed, as "done": a record lost in a power cut leaves an undo the
    // file's bytes to tell it by.
    return Append(Line(fields), false);
}

void Journal::End()
{
    if (lock.Fd() >= 0) {
        lock.Remove();
        SyncFolder(root);
    }
    Close();
}

void Journal::Keep()
{
    Close();
}

Journal::State Journal::LookAndTidy(const std::string& folder)
{
    root = folder;
    const State found = Take(false);
    // A journal cut short before its plan was whole, by a run that is gone:
    // nothing ran under it.
    if (found == State::None && lock.Fd() >= 0)
        lock.Remove();
    Close();
    return found;
}

Result Journal::TakeStopped(const std::string& folder)
{
    root = folder;
    if (Take(false) == State::Stopped)
        return {};
    std::string text =
        state == State::None ? "Nothing to recover: no operation of " + root + " stopped before its end." : Describe();
    Close();
    return Result(text);
}

Result Journal::Forget(const std::string& folder)
{
    root = folder;
    const State found = Take(false);
    if (found != State::Stopped && found != State::Unreadable) {
        std::string text = found == State::None ? "Nothing to forget: " + root + " holds no journal." : Describe();
        Close();
        return Result(text);
    }
    // The temporaries of the stopped run are no one's now: they go with its journal.
    if (found == State::Stopped)
        RemoveLeftoverTemps(read);
    else
        RemoveOrphanTemps(root);
    End();
    return {};
}

std::string Journal::Describe() const
{
    const std::string path = "\"" + Path() + "\"";
    switch (state) {
    case State::None: return {};
    case State::Running: {
        static const char* const doing[] = {"sorting",
                                            "moving projects out of",
                                            "renaming a project of",
                                            "undoing the backup sort of",
                                            "writing the reports of",
                                            "writing the checksums of",
                                            "restoring projects into",
                                            "writing discs of"};
        return std::string("Kelvark is already ") + doing[static_cast<int>(kind)] + " this folder"
               + (since > 0 ? " (since " + Time(since) + ")" : "") + ". Wait for it to end.";
    }
    case State::Stopped: {
        const auto [what, howFar] = Stopped();
        return "The " + what + " " + howFar + ".";
    }
    case State::Unreadable:
        return "The journal " + path + " of a stopped operation can't be read: " + problem + ". Nothing was changed.";
    case State::NotAFile:
        return path + " is " + problem
               + ", not a journal: Kelvark won't read or write through it. Remove or rename it, then try again.";
    }
    return {};
}

std::pair<std::string, std::string> Journal::Stopped() const
{
    static const char* const names[] = {"backup sort", "move",      "rename", "undo of the backup sort",
                                        "report",      "checksums", "restore", "writing of discs"};
    // An undo of a sort goes folder by folder; the others project by project.
    // Units run in order: the first one not recorded done may be done all the
    // same, when the run stopped because its record could not be written.
    std::size_t done = 0, all = 0;
    bool looked = false;
    for (std::size_t k = 0; k < read.units.size(); ++k) {
        const FileUnit& unit = read.units[k];
        // A sort's renames of the earlier reports count with none of its projects.
        if (kind == Operation::Sort && read.RenamesReports(k))
            continue;
        all += unit.names.size();
        const bool moved = unit.done || (!looked && UnitDone(read, k));
        looked = looked || !unit.done;
        if (moved)
            done += unit.names.size();
    }
    std::string what = std::string(names[static_cast<int>(kind)]) + (kind == Operation::Restore ? " into " : " of ")
                       + root + (kind == Operation::Move ? " into " + read.dest : "");
    const std::string units = kind == Operation::Unsort   ? " folders"
                              : kind == Operation::Report ? " reports"
                                                          : " projects";
    if (done < all || all == 0)
        return {std::move(what), "stopped after " + Count(done) + " of " + Count(all) + units};
    // Every unit is done: what is left is what the run does after its last unit.
    const std::string every = all == 1 ? "its one" + units.substr(0, units.size() - 1) : "all " + Count(all) + units;
    switch (kind) {
    case Operation::Sort: return {std::move(what), "moved " + every + " but stopped before writing its reports"};
    case Operation::Unsort:
        return {std::move(what), "moved every file of " + every + " back but stopped before removing "
                                     + (all == 1 ? "that folder" : "those folders")};
    case Operation::Rename:
        return {std::move(what), "renamed its project's files but stopped before removing its journal"};
    case Operation::Report:
        return {std::move(what), "renamed the earlier sort's reports but stopped before writing its own"};
    default: return {std::move(what), "moved " + every + " but stopped before removing its journal"};
    }
}

std::string Journal::Recovered(bool undo, bool kept) const
{
    const auto [what, howFar] = Stopped();
    const std::string undone = kind != Operation::Restore ? ": every file it moved is back where it was."
                               : kept ? ": the files it restored left " + root + " but for those named below."
                                      : ": none of the files it restored is left in " + root + ".";
    return (undo ? "Undid the " : "Finished the ") + what + ", which had " + howFar + (undo ? undone : ".");
}

std::string JournalFailure(const std::error_code& error)
{
    return "the journal could not be written: " + ErrorText(error);
}

Journal::State Journal::Parse(const std::string& text)
{
    read = FilePlan();
    read.readBack = true;
    read.root = root;
    std::size_t number = 0;
    bool whole = false, kindSeen = false;
    const auto unreadable = [&](const std::string& why) {
        problem = why;
        return State::Unreadable;
    };
    const auto shape = [&] { return unreadable("its line " + Count(number) + " is not of a shape Kelvark writes"); };
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        ++number;
        if (end == std::string::npos)
            break; // a last line without its line feed is torn
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const bool last = start == text.size();
        const auto tab = line.rfind('\t');
        const std::string sum = SumText(std::string_view(line).substr(0, tab));
        if (tab == std::string::npos || line.compare(tab + 1, std::string::npos, sum) != 0) {
            if (last)
                break; // torn by a stop while it was written
            return unreadable("its line " + Count(number) + " is damaged");
        }
        line.resize(tab);
        if (number == 1) {
            if (line != Version)
                return unreadable(line.starts_with("kelvark-journal ") ? "it was written by another version of Kelvark"
                                                                       : "it is not a journal of Kelvark");
            continue;
        }
        const std::vector<std::string> f = Fields(line);
        const std::string& word = f[0];
        std::size_t n = 0;
        if (number == 2 || number == 3) {
            const auto kindWord = std::find(std::begin(KindWords), std::end(KindWords), f.size() == 2 ? f[1] : "");
            if (number == 2 && word == "kind" && kindWord != std::end(KindWords)) {
                kind = static_cast<Operation>(kindWord - std::begin(KindWords));
                kindSeen = true;
            } else if (number == 3 && word == "since" && f.size() == 2 && Number(f[1], n)) {
                since = static_cast<std::time_t>(n);
            } else {
                return shape();
            }
            continue;
        }
        if (!ParseRecord(f, whole))
            return shape();
    }
    if (!whole || !kindSeen)
        return State::None; // cut short before any file was touched
    read.kind = kind;
    read.makesFolders = kind != Operation::Unsort && kind != Operation::Restore;
    return State::Stopped;
}

bool Journal::ParseRecord(const std::vector<std::string>& f, bool& whole)
{
    const std::string& word = f[0];
    std::size_t k = 0;
    if (whole) {
        if (f.size() < 2 || !Number(f[1], k) || k >= read.units.size())
            return false;
        FileUnit& unit = read.units[k];
        if (word == "done" && f.size() == 2) {
            unit.done = true;
            return true;
        }
        const bool restore = kind == Operation::Restore;
        if (restore && word == "sha256" && f.size() == 2 + unit.steps.size()) {
            unit.sums.assign(f.begin() + 2, f.end());
            return std::all_of(unit.sums.begin(), unit.sums.end(), [](const std::string& hex) {
                return hex.size() == 64 && hex.find_first_not_of("0123456789abcdef") == std::string::npos;
            });
        }
        if (restore && word == "placed" && f.size() == 2 + 4 * unit.steps.size()) {
            unit.placed.clear();
            for (std::size_t i = 2; i < f.size(); i += 4) {
                std::size_t n[4] = {};
                for (std::size_t j = 0; j < 4; ++j)
                    if (!Number(f[i + j], n[j]))
                        return false;
                unit.placed.push_back({std::uint64_t{n[0]}, static_cast<std::int64_t>(n[1]),
                                       static_cast<std::int64_t>(n[2]), static_cast<std::int64_t>(n[3])});
            }
            return true;
        }
        if (word != "across" || f.size() != 2 + 2 * unit.steps.size())
            return false;
        unit.stamps.clear();
        for (std::size_t i = 2; i < f.size(); i += 2) {
            std::size_t size = 0, mtime = 0;
            if (!Number(f[i], size) || !Number(f[i + 1], mtime))
                return false;
            unit.stamps.push_back({static_cast<std::int64_t>(size), static_cast<std::int64_t>(mtime)});
        }
        return true;
    }
    const auto isFolder = [&](const std::string& name) {
        return std::find(read.folders.begin(), read.folders.end(), name) != read.folders.end();
    };
    // A file of the root folder, or of one of the plan's set folders: the folder (empty for the root) and the name.
    const auto split = [&](const std::string& path, std::string& folder, std::string& name) {
        const auto slash = path.find('/');
        folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
        name = slash == std::string::npos ? path : path.substr(slash + 1);
        return IsFileName(name) && (folder.empty() || isFolder(folder));
    };
    if (word == "dest" && f.size() == 2 && kind == Operation::Move && read.dest.empty() && read.units.empty()) {
        read.dest = f[1].ends_with('/') ? f[1] : f[1] + "/";
        return f[1].starts_with('/') && f[1].find("/../") == std::string::npos && !f[1].ends_with("/..");
    }
    if (word == "folder" && f.size() == 2 && read.units.empty() && !isFolder(f[1])
        && ((kind == Operation::Sort || kind == Operation::Unsort)
                ? IsAnySetFolder(f[1])
                : kind == Operation::Restore && f[1] == RestoreStaging)) {
        read.folders.push_back(f[1]);
        return true;
    }
    if (word == "unit" && f.size() >= 2) {
        read.units.push_back({{}, std::vector<std::string>(f.begin() + 1, f.end()), {}, {}, false, {}, {}});
        return true;
    }
    if (word == "remove" && f.size() == 5) {
        // A sort removes a set folder's checksums and label, an unsort a
        // report of the root folder, then those its sort wrote.
        std::string folder, name;
        std::size_t size = 0, mtime = 0, inode = 0;
        if (!split(f[1], folder, name) || !Number(f[2], size) || !Number(f[3], mtime) || !Number(f[4], inode)
            || !(kind == Operation::Sort
                     ? !folder.empty() && (name == ManifestName || name == DiscLabelName)
                     : kind == Operation::Unsort
                           && (folder.empty() ? IsReportName(name) : name == ManifestName || name == DiscLabelName)))
            return false;
        read.removes.push_back(
            {root + f[1], static_cast<std::int64_t>(size), static_cast<std::int64_t>(mtime), std::uint64_t{inode}});
        return true;
    }
    // The sort's reports in the root folder, and its discs' labels in the set
    // folders; the labels and checksums an unsort removes.
    std::string folder, name;
    if (word == "report" && f.size() >= 2
        && (IsReportName(f[1])
                ? kind == Operation::Sort || kind == Operation::Report
                : split(f[1], folder, name) && !folder.empty()
                      && (kind == Operation::Sort
                              ? name == DiscLabelName
                              : kind == Operation::Unsort && (name == DiscLabelName || name == ManifestName)))) {
        read.reports.emplace_back(f[1], std::vector<std::string>(f.begin() + 2, f.end()));
        return true;
    }
    if (word == "end" && f.size() == 1 && (kind != Operation::Move || !read.dest.empty())) {
        whole = true;
        return true;
    }
    if (f.size() != 3 || read.units.empty() || (word != "move" && word != "copy" && word != "uncopy"))
        return false;
    const StepKind step = word == "move" ? StepKind::Move : word == "copy" ? StepKind::Copy : StepKind::Uncopy;
    std::string fromFolder, fromName, toFolder, toName;
    const bool named = split(f[1], fromFolder, fromName) && split(f[2], toFolder, toName);
    // Each kind of operation moves files in one shape only; a sort and Report
    // Only may rename an earlier sort's reports with its date first.
    const bool datesReport =
        step == StepKind::Move && fromFolder.empty() && toFolder.empty() && IsDatedReportName(fromName, toName);
    bool fits = false;
    switch (kind) {
    case Operation::Sort:
        fits =
            (step != StepKind::Uncopy && fromFolder.empty() && !toFolder.empty() && fromName == toName) || datesReport;
        break;
    case Operation::Move:
        fits = step != StepKind::Uncopy && fromFolder.empty() && toFolder.empty() && fromName == toName;
        break;
    case Operation::Rename:
        fits = step == StepKind::Move && fromFolder.empty() && toFolder.empty() && fromName != toName;
        break;
    case Operation::Unsort:
        fits = step != StepKind::Copy && !fromFolder.empty() && toFolder.empty() && fromName == toName;
        break;
    case Operation::Restore:
        // From the hidden folder of its checked copies into the root folder.
        fits = step == StepKind::Move && fromFolder == RestoreStaging && toFolder.empty() && fromName == toName;
        break;
    case Operation::Report: fits = datesReport; break;
    case Operation::Checksum:
    case Operation::Disc: break;
    }
    if (!named || !fits)
        return false;
    read.units.back().steps.push_back({root + f[1], (kind == Operation::Move ? read.dest : root) + f[2], step});
    return true;
}

} // namespace kelvark
