#include "Executor.h"

#include "DiscLabel.h"
#include "FileOps.h"
#include "Journal.h"
#include "Manifest.h"
#include "TextCodec.h"
#include "idata_common.h"
#include "orvoProjectList.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

std::string Verb(const FileStep& step)
{
    if (step.kind == StepKind::Copy)
        return "copy";
    if (step.kind == StepKind::Uncopy)
        return "remove";
    return fs::path(step.from).parent_path() == fs::path(step.to).parent_path() ? "rename" : "move";
}

// Where a step takes its file, as a failure names it: the new name of a
// rename, the name of a folder beside the source (a backup set), else the
// destination folder.
std::string ShownDestination(const FileStep& step)
{
    const fs::path from(step.from), to(step.to);
    if (from.parent_path() == to.parent_path())
        return to.filename().string();
    if (to.parent_path().parent_path() == from.parent_path())
        return to.parent_path().filename().string();
    return to.parent_path().string() + "/";
}

} // namespace

namespace {

// What the file system holds of one step of a plan read back, and what is
// left to do for it.
enum class Action : unsigned char {
    Run, // not done yet
    Skip, // done
    RemoveSource, // done but for the source's removal: the destination is a second name or a whole copy of it
    Refuse, // neither: it must not run
};

struct Verdict {
    Action action = Action::Run;
    std::string why; // for Refuse
};

struct Entry {
    bool there = false;
    struct stat status {};
};

Entry Look(const std::string& path)
{
    Entry entry;
    entry.there = ::lstat(path.c_str(), &entry.status) == 0;
    return entry;
}

bool SameFile(const Entry& a, const Entry& b)
{
    return a.status.st_dev == b.status.st_dev && a.status.st_ino == b.status.st_ino;
}

// A file found at one end of a step of a unit that moved across file systems
// must be the file recorded then: its size, and its time (kept by the copy,
// within the two seconds of a FAT time stamp). Its change time is no test
// here: a source that an undo stopped after copying it back is a new file of
// the same bytes; a source goes only while its twin holds its bytes.
bool Matches(const Entry& entry, const FileStamp* stamp)
{
    return !stamp || !entry.there
           || (entry.status.st_size == stamp->size && std::abs(entry.status.st_mtim.tv_sec - stamp->mtime) <= 2);
}

Verdict Classify(const FilePlan& plan, std::size_t k, std::size_t i)
{
    const FileUnit& unit = plan.units[k];
    const FileStep& step = unit.steps[i];
    const FileStamp* stamp = i < unit.stamps.size() ? &unit.stamps[i] : nullptr;
    const Entry from = Look(step.from), to = Look(step.to);
    const std::string label = plan.UnitLabel(k);
    const std::string verb = Verb(step);
    const auto refuse = [&](const std::string& reason, bool withDest = true) {
        return Verdict{Action::Refuse, label + ": can't " + verb + " \"" + plan.Shown(step.from) + "\""
                                           + (withDest ? " to \"" + plan.Shown(step.to) + "\"" : "") + ": " + reason};
    };
    if (!from.there && !to.there) {
        // A file that passes through a hidden name (a rename in letter case
        // only) is on its way when an earlier step of its unit brings it, or
        // past this step when a later one takes it on.
        const auto begin = unit.steps.begin(), at = begin + static_cast<std::ptrdiff_t>(i);
        if (std::any_of(begin, at, [&](const FileStep& earlier) { return earlier.to == step.from; }))
            return {};
        if (std::any_of(at + 1, unit.steps.end(), [&](const FileStep& later) { return later.from == step.to; }))
            return {Action::Skip, {}};
        // An undone restore wants the file out of the root folder only: gone
        // with its copy, it was undone before.
        if (plan.kind == Operation::Restore && plan.undoing)
            return {Action::Skip, {}};
        return refuse("neither file is there");
    }
    if (!Matches(from, stamp) || !Matches(to, stamp))
        return refuse("a file changed since the move began");
    switch (step.kind) {
    case StepKind::Move:
        if (!to.there)
            return {};
        if (!from.there)
            return {Action::Skip, {}};
        if (SameFile(from, to) || SameBytes(step.from, step.to))
            return {Action::RemoveSource, {}};
        return refuse("another file has that name");
    case StepKind::Copy:
        if (!to.there)
            return {};
        if (!from.there || SameBytes(step.from, step.to))
            return {Action::Skip, {}};
        return refuse("another file has that name");
    case StepKind::Uncopy:
        if (!from.there)
            return {Action::Skip, {}};
        if (!to.there)
            return refuse("it is the only copy: \"" + plan.Shown(step.to) + "\" is missing", false);
        if (SameBytes(step.from, step.to))
            return {};
        return refuse("it is not a copy of \"" + plan.Shown(step.to) + "\"", false);
    }
    return {};
}

// Removes a copy, or the source of a copy or a move, only while another file
// holds the same bytes: nothing is removed whose bytes exist nowhere else.
std::error_code RemoveDuplicate(const std::string& path, const std::string& twin)
{
    if (!SameBytes(path, twin))
        return std::make_error_code(std::errc::operation_canceled);
    return RemoveFile(path);
}

} // namespace

std::function<void()> AfterCopiesAcross;

void RemoveLeftoverTemps(const FilePlan& plan)
{
    RemoveOrphanTemps(plan.root);
    for (const auto& folder : plan.folders)
        RemoveOrphanTemps(plan.root + folder);
    if (!plan.dest.empty())
        RemoveOrphanTemps(plan.dest);
}

Result CheckPlan(const FilePlan& plan)
{
    std::vector<std::string> refusals;
    if (plan.kind == Operation::Move) {
        struct stat status {};
        if (::stat(plan.dest.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            refusals.push_back("The destination " + plan.dest + " is not a folder now.");
    }
    for (std::size_t k = 0; k < plan.units.size(); ++k)
        for (std::size_t i = 0; i < plan.units[k].steps.size(); ++i)
            if (Verdict verdict = Classify(plan, k, i); verdict.action == Action::Refuse)
                refusals.push_back(std::move(verdict.why));
    if (refusals.empty())
        return {};
    std::string text = std::string(plan.undoing ? "Can't undo" : "Can't finish") + ": nothing was changed.";
    for (const auto& line : refusals)
        text += LineEnd + line;
    return Result(text, Result::Status::Refused);
}

bool UnitDone(const FilePlan& plan, std::size_t k)
{
    const std::vector<FileStep>& steps = plan.units[k].steps;
    return !steps.empty() && std::all_of(steps.begin(), steps.end(), [&](const FileStep& step) {
        return Classify(plan, k, static_cast<std::size_t>(&step - steps.data())).action == Action::Skip;
    });
}

std::string SplitProjects(const FilePlan& plan)
{
    // A step's file is where the step takes it, or still where it was; a
    // step that must not run is judged by the files there, and a file that
    // is in neither place splits nothing.
    std::vector<std::string> names;
    for (std::size_t k = 0; k < plan.units.size(); ++k) {
        bool done = false, left = false;
        for (std::size_t i = 0; i < plan.units[k].steps.size(); ++i) {
            const FileStep& step = plan.units[k].steps[i];
            const Action action = Classify(plan, k, i).action;
            if (action == Action::Run || (action == Action::Refuse && Look(step.from).there))
                left = true;
            else if (action != Action::Refuse || Look(step.to).there)
                done = true;
        }
        if (done && left)
            names.insert(names.end(), plan.units[k].names.begin(), plan.units[k].names.end());
    }
    return names.empty() ? "No project is split." : "These projects are split: " + Joined(names) + ".";
}

namespace {

// The folder of the steps under way, opened once for as long as they keep to
// it: each file is then renamed by its name in the open folder, without the
// kernel walking the folder's path again for every file.
class OpenFolderOf final {
public:
    // The open folder of path's file and the file's name in it; the working
    // folder and the whole path when the folder can't be opened, so that the
    // call fails as one on the path would.
    std::pair<int, const char*> Place(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return {AT_FDCWD, path.c_str()};
        if (folder.size() != slash + 1 || path.compare(0, slash + 1, folder) != 0) {
            folder.assign(path, 0, slash + 1);
            fd = OpenFolder(folder);
        }
        return fd.Get() < 0 ? std::pair<int, const char*>{AT_FDCWD, path.c_str()}
                            : std::pair<int, const char*>{fd.Get(), path.c_str() + slash + 1};
    }

private:
    std::string folder;
    FileDescriptor fd;
};

// The open folders of the files that steps move, and of the names they take.
struct OpenFolders {
    OpenFolderOf from;
    OpenFolderOf to;
};

// A source of a unit that moves across file systems, held open from the
// start of its copy until it is removed.
struct HeldSource {
    FileDescriptor file; // none: not copied or removed by this run
    struct stat opened {}; // the source as its copy began
    struct stat copy {}; // the copy as it was made
};

std::string ChangedWhileCopied(const std::string& path)
{
    return fs::path(path).filename().string() + " changed while it was copied; nothing was removed. Move it again.";
}

// Runs the steps of unit k. On failure the steps this run did are taken back,
// newest first, and the failure says what failed and what could not be taken
// back (the journal then stays for recover). A unit whose first move meets
// another file system records its sources' stamps in the journal, copies
// every file of the unit, then removes the sources, each only while it is
// the file that was copied: a source written to meanwhile fails the unit.
Result RunUnit(FilePlan& plan, std::size_t k, Journal& journal, OpenFolders& folders)
{
    FileUnit& unit = plan.units[k];
    const std::string names = plan.kind == Operation::Unsort ? std::string() : Joined(unit.names);
    std::vector<std::size_t> done; // steps this run did and can take back, in order
    bool across = false;
    std::vector<HeldSource> held; // by step, once the unit moves across file systems
    std::string text;
    for (std::size_t i = 0; i < unit.steps.size(); ++i) {
        const FileStep& step = unit.steps[i];
        const Action action = plan.readBack ? Classify(plan, k, i).action : Action::Run;
        std::error_code error;
        if (action == Action::Skip)
            continue;
        if (action == Action::RemoveSource) {
            // Across, the sources go once every copy is made: this one as it is now.
            if (across && !(error = OpenRegular(AT_FDCWD, step.from.c_str(), held[i].file, held[i].opened)))
                continue;
            if (!error && !(error = RemoveFile(step.from)))
                continue;
            text = FileFailure(names, "remove", fs::path(step.from).filename().string(), "", ErrorText(error));
            break;
        }
        if (action == Action::Refuse)
            error = std::make_error_code(std::errc::file_exists);
        else if (step.kind == StepKind::Uncopy)
            error = RemoveDuplicate(step.from, step.to);
        else if (step.kind == StepKind::Move && !across) {
            const auto [fromFolder, from] = folders.from.Place(step.from);
            const auto [toFolder, to] = folders.to.Place(step.to);
            error = MoveNoReplace(fromFolder, from, toFolder, to);
            if (error == std::errc::cross_device_link && std::none_of(done.begin(), done.end(), [&](std::size_t j) {
                    return unit.steps[j].kind == StepKind::Move;
                })) {
                // Another file system: the unit's sources are recorded, then
                // copied, and removed only once every copy is whole.
                across = true;
                held.resize(unit.steps.size());
                error.clear();
                if (!plan.undoing) {
                    unit.stamps.clear();
                    for (const auto& each : unit.steps) {
                        const Entry entry = Look(each.from);
                        unit.stamps.push_back({entry.status.st_size, entry.status.st_mtim.tv_sec});
                    }
                    // A unit whose record is not written does not run.
                    if (const std::error_code failed = journal.Across(k, unit.stamps)) {
                        text = FileFailure(names, "copy", fs::path(step.from).filename().string(),
                                           ShownDestination(step), JournalFailure(failed));
                        break;
                    }
                }
            }
        }
        if (!error && action == Action::Run && across && step.kind == StepKind::Move) {
            // The source stays open until it is removed; the one the journal
            // recorded is the one copied.
            HeldSource& source = held[i];
            const FileStamp* stamp = plan.undoing ? nullptr : &unit.stamps[i];
            error = OpenRegular(AT_FDCWD, step.from.c_str(), source.file, source.opened);
            if (!error && !Matches({true, source.opened}, stamp)) {
                text = ChangedWhileCopied(step.from);
                break;
            }
            if (!error)
                error = CopyNoReplace(source.file, source.opened, step.to);
            if (!error
                && (::lstat(step.to.c_str(), &source.copy) != 0 || source.copy.st_size != source.opened.st_size)) {
                RemoveFile(step.to);
                text = ChangedWhileCopied(step.from);
                break;
            }
        } else if (!error && action == Action::Run && (step.kind == StepKind::Copy || across)) {
            error = CopyNoReplace(step.from, step.to);
            std::int64_t fromLength = 0, toLength = 0;
            if (!error
                && (FileLength(step.from, fromLength) || FileLength(step.to, toLength) || fromLength != toLength)) {
                RemoveFile(step.to);
                error = std::make_error_code(std::errc::io_error);
            }
        }
        if (error) {
            text = FileFailure(names, across ? "copy" : Verb(step), fs::path(step.from).filename().string(),
                               ShownDestination(step), ErrorText(error));
            break;
        }
        done.push_back(i);
    }
    if (text.empty() && across) {
        if (AfterCopiesAcross)
            AfterCopiesAcross();
        // Every source is looked at before the first goes: one written to,
        // or replaced, since its copy began fails the unit, and all stay.
        for (std::size_t i = 0; i < held.size() && text.empty(); ++i)
            if (held[i].file.Get() >= 0 && !StillAsOpened(held[i].file, held[i].opened, unit.steps[i].from))
                text = ChangedWhileCopied(unit.steps[i].from);
    }
    if (text.empty() && across) {
        for (std::size_t i = 0; i < held.size(); ++i) {
            if (held[i].file.Get() < 0)
                continue;
            // Looked at again as it goes; the copies are whole and some
            // sources may be gone, so the journal stays for recover.
            const std::string& from = unit.steps[i].from;
            if (const std::error_code error = StillAsOpened(held[i].file, held[i].opened, from)
                                                  ? RemoveFile(from)
                                                  : std::make_error_code(std::errc::operation_canceled)) {
                journal.Keep();
                return Result(FileFailure(names, "remove", fs::path(from).filename().string(), "",
                                          error == std::errc::operation_canceled ? "it changed while it was copied"
                                                                                 : ErrorText(error)));
            }
        }
    }
    if (text.empty()) {
        unit.done = true;
        return {};
    }
    // The projects go back whole to where they were, newest step first; a
    // step that cannot be taken back is named.
    bool whole = true;
    for (auto j = done.rbegin(); j != done.rend(); ++j) {
        const FileStep& step = unit.steps[*j];
        std::error_code undo;
        // A copy of a source that changed while it was copied holds other
        // bytes than the source: it goes while it is as it was made, and its
        // source is there.
        struct stat copy {};
        const bool made = across && held[*j].file.Get() >= 0 && EntryExists(step.from)
                          && ::lstat(step.to.c_str(), &copy) == 0 && SameState(copy, held[*j].copy);
        if (step.kind == StepKind::Uncopy)
            undo = CopyNoReplace(step.to, step.from);
        else if (made)
            undo = RemoveFile(step.to);
        else if (step.kind == StepKind::Copy || across)
            undo = RemoveDuplicate(step.to, step.from);
        else
            undo = MoveNoReplace(step.to, step.from);
        whole = whole && !undo;
        if (undo && step.kind == StepKind::Uncopy)
            text +=
                std::string(LineEnd) + "Could not copy " + step.to + " back to " + step.from + ": " + ErrorText(undo);
        else if (undo && (step.kind == StepKind::Copy || across))
            text += std::string(LineEnd) + "Could not remove the copy " + step.to + ": " + ErrorText(undo);
        else if (undo)
            text +=
                std::string(LineEnd) + "Could not move " + step.to + " back to " + step.from + ": " + ErrorText(undo);
    }
    if (!whole)
        journal.Keep();
    return Result(text);
}

// Removes the reports in root that a stopped run of plan wrote: those that
// hold its reports' lines byte for byte. The earlier reports it renamed are
// then where its steps left them: an undo gives them their names back, and
// a finish writes the reports again once every unit is done.
void RemoveWrittenReports(const FilePlan& plan)
{
    for (const auto& [name, lines] : plan.reports) {
        const std::string path = plan.root + name;
        if (!IsReportName(name) || !NotRegular(path).empty())
            continue; // a label goes with its set folder
        std::string written;
        for (const std::string& line : lines)
            written.append(line).append("\r\n");
        std::ifstream file(path, std::ios::binary);
        std::string found(written.size() + 1, '\0');
        file.read(found.data(), static_cast<std::streamsize>(found.size()));
        found.resize(static_cast<std::size_t>(file.gcount()));
        if (found == written)
            RemoveFile(path);
    }
}

// True while the file of Kelvark's own that the plan removes is as the plan saw it.
bool AsPlanned(const OwnFile& planned)
{
    OwnFile now;
    return LookOwnFile(planned.path, now) && now.size == planned.size && now.mtime == planned.mtime
           && now.inode == planned.inode;
}

// True for an unsort's removal of a set folder's own file (its label or
// checksums), which goes once every file is back.
bool InSetFolder(const FilePlan& plan, const OwnFile& planned)
{
    return plan.kind == Operation::Unsort && planned.path.find('/', plan.root.size()) != std::string::npos;
}

// Writes again each label and checksums that an unsort of plan's set folders
// removed and that is missing, as the journal holds them.
void WriteBackOwnFiles(const FilePlan& plan, Messages& messages)
{
    for (const auto& [name, lines] : plan.reports) {
        const std::string path = plan.root + name;
        if (EntryExists(path))
            continue;
        const std::string folder = fs::path(path).parent_path().string() + "/";
        if (!name.ends_with(ManifestName)) {
            WriteReportFile(folder, DiscLabelName, lines, messages);
            continue;
        }
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        if (const std::error_code error = WriteManifest(folder, ParseManifest(text).entries, false))
            messages.Show("Could not write " + plan.Shown(path) + ": " + ErrorText(error));
    }
}

// Records unit k done, a restore's with each file as its move left it in
// the root folder: an undo takes out no other. The error of a line's write.
std::error_code RecordDone(const FilePlan& plan, std::size_t k, Journal& journal)
{
    const FileUnit& unit = plan.units[k];
    if (plan.kind == Operation::Restore) {
        std::vector<PlacedFile> placed;
        for (const FileStep& step : unit.steps)
            placed.push_back(PlacedFile::Of(Look(step.to).status));
        if (const std::error_code error = journal.Placed(k, placed))
            return error;
    }
    return journal.Done(k);
}

} // namespace

Result RunPlan(FilePlan& plan, Journal& journal, Progress& progress, Messages& messages)
{
    if (plan.readBack) {
        // Under the folder's lock: the temporaries of the stopped run are no one's now.
        RemoveLeftoverTemps(plan);
        RemoveWrittenReports(plan);
        if (Result refusal = CheckPlan(plan); refusal.Failed()) {
            journal.Keep();
            return refusal;
        }
    }
    if (!plan.undoing) {
        for (const OwnFile& planned : plan.removes) {
            // Only the file the plan saw goes; once another file has its
            // name (a stopped unsort moved the project's file there), it
            // stays. An unsort's set folders give theirs back last.
            if (!AsPlanned(planned) || InSetFolder(plan, planned))
                continue;
            if (const std::error_code error = RemoveFile(planned.path)) {
                messages.Show(FileFailure("", "remove", plan.Shown(planned.path), "", ErrorText(error)));
                plan.readBack ? journal.Keep() : journal.End();
                return Result({}, Result::Status::Failed);
            }
        }
    }
    if (plan.makesFolders) {
        for (std::size_t n = 0; n < plan.folders.size(); ++n) {
            std::error_code error;
            // An existing folder is not ours to fill, unless a stopped run
            // made it or the plan emptied it of its checksums.
            const std::string folder = plan.root + plan.folders[n] + "/";
            const bool emptied = std::any_of(plan.removes.begin(), plan.removes.end(),
                                             [&](const OwnFile& file) { return file.path.starts_with(folder); });
            if (!fs::create_directory(plan.root + plan.folders[n], error) && !error && !plan.readBack && !emptied)
                error = std::make_error_code(std::errc::file_exists);
            if (error) {
                // The folders made so far are empty: they go, so that a new sort is not blocked.
                for (std::size_t made = n; made-- > 0;)
                    fs::remove(plan.root + plan.folders[made], error);
                messages.Show("Can't make folder \"" + plan.folders[n] + "\": " + ErrorText(error));
                plan.readBack ? journal.Keep() : journal.End();
                return Result({}, Result::Status::Failed);
            }
        }
    }

    int all = 0;
    for (const auto& unit : plan.units)
        all += static_cast<int>(unit.names.size());
    progress.Hide();
    progress.Startup(all);
    int done = 0;
    OpenFolders folders;
    for (std::size_t k = 0; k < plan.units.size(); ++k) {
        const FileUnit& unit = plan.units[k];
        if (unit.names.empty())
            continue; // merged into an earlier unit
        if (!progress.OK(done, unit.names.front())) {
            journal.Keep();
            return Result({}, Result::Status::Stopped);
        }
        if (const Result failure = RunUnit(plan, k, journal, folders); failure.Failed()) {
            // A sort or an unsort that failed halfway keeps its journal, so
            // that it can be finished once the cause is mended, or undone; a
            // move or a rename has no project split and ends.
            messages.Show(failure.Message());
            if (plan.readBack || plan.kind == Operation::Sort || plan.kind == Operation::Unsort)
                journal.Keep();
            else
                journal.End();
            return Result({}, Result::Status::Failed);
        }
        // No step runs past a record that could not be written.
        if (const std::error_code error = plan.undoing ? std::error_code() : RecordDone(plan, k, journal)) {
            messages.Show("Stopped: " + JournalFailure(error) + ".");
            journal.Keep();
            return Result({}, Result::Status::Stopped);
        }
        done += static_cast<int>(unit.names.size());
    }
    // An undone unsort gives its set folders back the labels and checksums
    // it removed; the others write their reports.
    if (plan.kind == Operation::Unsort && plan.undoing)
        WriteBackOwnFiles(plan, messages);
    else if (!plan.undoing && plan.kind != Operation::Unsort)
        for (const auto& [name, lines] : plan.reports)
            if (WriteReportFile(plan.root, name, lines, messages)) {
                // Finishing the sort writes them again; Report Only has nothing to finish.
                plan.kind == Operation::Report ? journal.End() : journal.Keep();
                return Result({}, Result::Status::Failed);
            }
    if (!plan.makesFolders)
        for (const auto& folder : plan.folders) {
            std::error_code error;
            // An undone sort takes back the labels it wrote with its reports;
            // an unsort the labels and checksums its sort wrote, as it saw them.
            if (plan.kind == Operation::Sort && plan.undoing)
                fs::remove(plan.root + folder + "/" + DiscLabelName, error);
            for (const OwnFile& planned : plan.removes)
                if (!plan.undoing && InSetFolder(plan, planned) && planned.path.starts_with(plan.root + folder + "/")
                    && AsPlanned(planned))
                    RemoveFile(planned.path);
            fs::remove(plan.root + folder, error); // only an emptied folder goes
        }
    // An undone restore's files are back among its copies of the discs'
    // files, which go while its journal still says so.
    if (plan.kind == Operation::Restore && plan.undoing) {
        std::error_code error;
        fs::remove_all(plan.root + RestoreStaging, error);
    }
    journal.End();
    return {};
}

} // namespace kelvark
