#include "Commands.h"

#include "Burn.h"
#include "Catalogue.h"
#include "DiscCheck.h"
#include "DiscImage.h"
#include "DiscLabel.h"
#include "DiscRead.h"
#include "Executor.h"
#include "FileHashes.h"
#include "FileOps.h"
#include "Journal.h"
#include "Manifest.h"
#include "Plans.h"
#include "Restore.h"
#include "TextCodec.h"
#include "idata_common.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace kelvark {

std::string NoSetReason(const orvoProjectList& list, const orvoProject& project)
{
    std::string reason = list.NoSetReason(project);
    reason.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(reason.front())));
    return reason;
}

std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list)
{
    std::vector<std::string> names;
    for (const auto& project : list.projects)
        if (project->BackupNum < 0)
            names.push_back(project->Name);
    return names;
}

std::string NoSetNotice(const std::vector<std::string>& names, const Medium& medium)
{
    return (names.size() == 1 ? "This project fits on no " : "These projects fit on no ") + medium.name + ": "
           + NamedList(names) + ".";
}

std::string NoProjectsText(const std::string& folder)
{
    return "No ORVEX projects in " + ShownFolder(folder) + ".";
}

std::string BackupSortQuestion(const Medium& medium)
{
    return "Move projects in to backup directories with a max size of " + medium.size + "?";
}

namespace {

// The length of a name as Windows counts it, in UTF-16 code units: one per
// character, two beyond U+FFFF; bytes that are not UTF-8 are read as
// Windows-1252, one character each.
std::size_t Utf16Length(std::string_view name)
{
    std::size_t units = 0;
    for (const unsigned char c : ShownText(name))
        units += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
    return units;
}

// Bytes in decimal megabytes with one decimal and grouped digits, rounded
// down as a medium's shortSize is: "4,512.3 MB". No set that fits its budget
// reads as larger than it.
std::string Megabytes(std::int64_t bytes, const Regional& regional)
{
    const std::int64_t tenths = bytes / 100000;
    return Grouped(tenths / 10, regional.groupSeparator) + regional.decimalSeparator + std::to_string(tenths % 10)
           + " MB";
}

} // namespace

std::string DiscNamesWarning(const orvoProjectList& list)
{
    constexpr std::size_t Kept = 64;
    std::vector<std::string> tooLong, badCharacters, large;
    std::unordered_set<std::string> seen, seenLarge;
    for (const auto& project : list.projects) {
        if (project->BackupNum < 0)
            continue;
        for (const std::string_view name : project->FilesOfAtLeast(LargeFileSize))
            if (seenLarge.emplace(name).second)
                large.push_back(ShownText(name));
        for (const std::string_view name : project->FilesToMove()) {
            // Only a name to be shown is kept, so that one shared by projects is shown once.
            const bool longName = Utf16Length(name) > Kept;
            const bool badName = name.find_first_of("*/:;?\\") != std::string::npos;
            if (!(longName || badName) || !seen.emplace(name).second)
                continue;
            if (longName)
                tooLong.push_back(ShownText(name));
            if (badName)
                badCharacters.push_back(ShownText(name));
        }
    }
    std::string text;
    if (!tooLong.empty())
        text = "These names are longer than a disc written for Windows keeps (64 characters): "
               + NamedList(tooLong, true) + ".";
    if (!badCharacters.empty())
        text += (text.empty() ? "" : std::string(LineEnd) + LineEnd)
                + "These names hold characters a disc written for Windows can't keep (* / : ; ? \\): "
                + NamedList(badCharacters, true) + ".";
    if (!large.empty())
        text += (text.empty() ? "" : std::string(LineEnd) + LineEnd) + "These files are "
                + ExactBytes(LargeFileSize, list.regional)
                + " or larger: a disc for them needs UDF or ISO 9660 level 3: " + NamedList(large, true) + ".";
    return text;
}

std::string SetTotalText(const orvoProjectList::SetTotal& set, const Medium& medium, const Regional& regional)
{
    return set.name + ": " + Megabytes(set.bytes, regional) + " of " + Megabytes(medium.budget, regional) + ", "
           + std::to_string(set.projects) + (set.projects == 1 ? " project" : " projects");
}

std::string ReadOnlySizeTip(const orvoProject& project, const Regional& regional)
{
    return "Counted in the plan: " + Megabytes(project.wavSize, regional);
}

std::string ExactBytes(std::int64_t bytes, const Regional& regional)
{
    return Grouped(bytes, regional.groupSeparator) + (bytes == 1 ? " byte" : " bytes");
}

namespace {

const std::string BackupSortTitle = "Backup sort";

// "2 projects can't be sorted:" and a line of reason for each of the first ten.
std::string UnsortableText(const std::vector<orvoProjectList::Unsortable>& left)
{
    constexpr std::size_t Named = 10;
    std::string text =
        std::to_string(left.size()) + (left.size() == 1 ? " project can't" : " projects can't") + " be sorted:";
    for (std::size_t i = 0; i < left.size() && i < Named; ++i)
        text += LineEnd + left[i].reason;
    if (left.size() > Named)
        text += std::string(LineEnd) + "… and " + std::to_string(left.size() - Named) + " more";
    return text;
}

// The message of a sort or Report Only that wrote its reports.
std::string CsvDone(const std::string& RootFolder)
{
    return "Done.  CSV files are in folder " + RootFolder + ".";
}

// "Wrote Backup Report.txt, Backups.csv, BackupProjects.csv into /music/."
std::string ReportsWritten(const std::string& RootFolder)
{
    return "Wrote " + Joined(ReportNames) + " into " + RootFolder + ".";
}

// "Kept the earlier sort's reports as Backup Report 2026-12-10.txt, …." when
// plan renamed them; empty when it did not.
std::string EarlierReportsKept(const FilePlan& plan)
{
    for (std::size_t k = 0; k < plan.units.size(); ++k)
        if (plan.RenamesReports(k)) {
            std::vector<std::string> names;
            for (const FileStep& step : plan.units[k].steps)
                names.push_back(plan.Shown(step.to));
            return "Kept the earlier sort's reports as " + Joined(names) + ".";
        }
    return {};
}

// "Ember Tide is on DVD-A already, unchanged.": each project the sort left
// in the folder as a disc holds it, in list order.
std::vector<std::string> OnDiscLines(const orvoProjectList& list)
{
    std::vector<std::string> lines;
    for (const auto& project : list.projects)
        if (const auto disc = list.onDisc.find(project.get()); disc != list.onDisc.end())
            lines.push_back(project->Name + " is on " + disc->second + " already, unchanged.");
    return lines;
}

// What a sort that ended did, a line each: the set folders it made, the
// projects it moved and copied, those it left in the folder (left) and the
// reports it wrote.
std::vector<std::string> SortSummary(const FilePlan& plan, const std::vector<orvoProjectList::Unsortable>& left,
                                     const orvoProjectList& list)
{
    std::size_t moved = 0, copied = 0;
    for (const FileUnit& unit : plan.units)
        for (const orvoProject* project : unit.projects)
            ++(project->ReadOnly ? copied : moved);
    std::vector<std::string> lines{"Made " + Counted(plan.folders.size(), "set folder", "set folders") + ": "
                                   + NamedList(plan.folders) + "."};
    std::vector<std::string> how;
    if (moved > 0)
        how.push_back(Count(moved) + " moved");
    if (copied > 0)
        how.push_back(Count(copied) + " copied (read-only: "
                      + (copied == 1 ? "the original stays" : "the originals stay") + " in the folder)");
    lines.push_back("Sorted " + Counted(moved + copied, "project", "projects") + ": " + Joined(how) + ".");
    if (!left.empty()) {
        std::vector<std::string> names;
        names.reserve(left.size());
        for (const orvoProjectList::Unsortable& project : left)
            names.push_back(project.project->Name);
        lines.push_back("Left " + Counted(left.size(), "project", "projects") + " in the folder, as "
                        + (left.size() == 1 ? "it" : "they") + " can't be sorted: " + NamedList(names) + ".");
    }
    for (std::string& line : OnDiscLines(list))
        lines.push_back(std::move(line));
    if (std::string kept = EarlierReportsKept(plan); !kept.empty())
        lines.push_back(std::move(kept));
    lines.push_back(ReportsWritten(plan.root));
    return lines;
}

// Said before a move of read-only projects, which are copied: "Ember Tide is
// read-only: its files will be copied, and stay in /music/." Empty when none is.
std::string ReadOnlyMoveNotice(const std::vector<orvoProject*>& selected)
{
    std::vector<std::string> names;
    for (const orvoProject* project : selected)
        if (project->ReadOnly)
            names.push_back(project->Name);
    if (names.empty())
        return {};
    return Joined(names) + (names.size() == 1 ? " is read-only: its files" : " are read-only: their files")
           + " will be copied, and stay in " + selected.front()->ReadDir + ".";
}

// The Undo backup sort question: "Move the 12 files of CD-A, CD-B back into
// /music/ and remove those folders?"
std::string UnsortQuestion(const UnsortPlan& unsort, const std::string& RootFolder)
{
    return "Move the " + std::to_string(unsort.files) + (unsort.files == 1 ? " file" : " files") + " of "
           + Joined(unsort.plan.folders) + " back into " + RootFolder + " and remove "
           + (unsort.plan.folders.size() == 1 ? "that folder" : "those folders")
           + " with the labels and checksums the sort wrote?";
}

// The set folders an unsort that ended left, each with what keeps it:
// "CD-A stays: it still holds "Kelvark Disc.txt"." (a label changed since the sort).
std::vector<std::string> FoldersKept(const FilePlan& plan)
{
    std::vector<std::string> lines;
    for (const std::string& folder : plan.folders) {
        std::vector<std::string> names;
        std::error_code error;
        for (std::filesystem::directory_iterator it(plan.root + folder, error), end; !error && it != end;
             it.increment(error))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
        if (!names.empty())
            lines.push_back(folder + " stays: it still holds " + NamedList(names, true) + ".");
    }
    return lines;
}

// "Dust Choir was moved without "Dust Choir 07.wav", which was not found."
std::string MovedWithout(const orvoProject& project, const std::vector<std::string>& waves)
{
    return project.Name + (project.ReadOnly ? " was copied without " : " was moved without ") + NamedList(waves, true)
           + (waves.size() == 1 ? ", which was not found." : ", which were not found.");
}

// What a move did with some projects, verb "Moved" or "Copied": "Moved
// Alpha, Beta to /x/." when they are few, "Moved 12 projects to /x/." when
// they are many; empty for none.
std::string MovedText(const std::string& verb, const std::vector<std::string>& names, const std::string& dest)
{
    constexpr std::size_t Named = 3;
    if (names.empty())
        return {};
    return verb + " "
           + (names.size() <= Named ? Joined(names)
                                    : Grouped(static_cast<std::int64_t>(names.size()), ",") + " projects")
           + " to " + dest + ".";
}

// The set folder of root that folder lies in ("DVD-A"), else empty: what a
// set folder holds is what its disc holds, or will hold.
std::string SetFolderAround(const std::string& root, const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path base = std::filesystem::weakly_canonical(root, error);
    if (error)
        return {};
    const std::filesystem::path inside = std::filesystem::weakly_canonical(folder, error);
    if (error)
        return {};
    const std::filesystem::path relative = inside.lexically_relative(base);
    if (relative.empty())
        return {};
    const std::string first = relative.begin()->string();
    return IsAnySetFolder(first) ? first : std::string();
}

Result Declined(std::string message = {})
{
    return Result(std::move(message), Result::Status::Declined);
}

// What RootFolder's journal says before a command: refused, with what it
// describes and what may be done about it, while the folder holds one.
Result JournalGuard(const std::string& RootFolder)
{
    Journal journal;
    const Journal::State state = journal.LookAndTidy(RootFolder);
    if (state == Journal::State::None)
        return {};
    Result refusal(journal.Describe(), Result::Status::Refused);
    if (state == Journal::State::Stopped)
        refusal.offers = Result::Finish | Result::Undo | Result::Forget;
    else if (state == Journal::State::Unreadable)
        refusal.offers = Result::Forget;
    return refusal;
}

// result, and when RootFolder is left with the journal of an operation that
// did not end, what it describes as the last message, with the offers.
Result WithJournal(Result result, const std::string& RootFolder)
{
    if (Journal journal; journal.LookAndTidy(RootFolder) == Journal::State::Stopped) {
        result.Add(journal.Describe());
        result.offers = Result::Finish | Result::Undo | Result::Forget;
    }
    return result;
}

// Takes the lock of plan's root for an operation of plan's kind, lets
// planUnderLock (when given) make the plan under it, and runs the plan
// through the folder's journal: the one way an operation changes files.
Result Execute(FilePlan& plan, CommandUi ui, const std::function<void()>& planUnderLock = {})
{
    Journal journal;
    if (const Result refusal = journal.Lock(plan.root, plan.kind); refusal.Failed()) {
        // A folder that can't hold the lock's file can't hold the reports
        // either, and they say so themselves.
        if (plan.kind != Operation::Report || journal.Found() != Journal::State::None)
            return Result(refusal.Message(), Result::Status::Refused);
    }
    if (planUnderLock)
        planUnderLock();
    if (!plan.refusals.empty())
        return Result(plan.RefusalText(), Result::Status::Refused);
    if (plan.Journaled())
        if (Result failure = journal.Begin(plan); failure.Failed())
            return failure;
    return RunPlan(plan, journal, ui.progress, ui.messages);
}

// Said after the catalogue's own sentence when a command could not record
// into it: catalogue --add reads the checksums, which checksum writes.
const std::string AddLater =
    "kelvark-cli checksum, then kelvark-cli catalogue --add with the set folders adds them later.";
const std::string RecordLater = " Nothing was recorded in it; " + AddLater;

// Opens catalogue for use and records into it; a failure is told as
// result's last message and leaves result's ending as it is. Nothing when
// catalogue is empty.
void Record(Result& result, const std::string& catalogue, CatalogueUse use,
            const std::function<Result(Catalogue&)>& record)
{
    if (catalogue.empty())
        return;
    Catalogue opened;
    Result recorded = opened.Open(catalogue, use);
    if (!recorded.Failed())
        recorded = record(opened);
    if (recorded.Failed())
        result.Add(recorded.Message() + RecordLater);
}

// The disc label names: its set, the day of its sort and the folder sorted,
// which a label older than that line does not say: a set folder's is then
// the folder holding it (holder), a disc's is not known.
std::optional<DiscKey> KeyOf(const std::optional<DiscLabel>& label, const std::string& holder)
{
    if (!label || (label->root.empty() && holder.empty()))
        return std::nullopt;
    return DiscKey{label->root.empty() ? holder : label->root, label->date, label->set, label->time, label->id};
}

// The folder holding the set folder folder (ending with the separator).
std::string Holder(const std::string& folder)
{
    return DiscRoot(std::filesystem::path(DiscRoot(folder)).parent_path().string());
}

std::string Today()
{
    return IsoDate(Regional::LocalToday());
}

// A project's own files and waves as its disc keeps them, each name once.
CatalogueProject ProjectFiles(const orvoProject& project)
{
    CatalogueProject kept{project.Name, {}};
    std::unordered_set<std::string> named;
    const std::vector<std::string> own = project.OwnFiles();
    for (std::size_t i = 0; i < own.size(); ++i)
        if (named.insert(own[i]).second)
            kept.files.push_back({own[i], project.OwnFileSize(i), {}});
    for (int i = 0; i < project.WaveCount(); ++i)
        if (const std::string wave(project.WaveDiskName(i)); !wave.empty() && named.insert(wave).second)
            kept.files.push_back({wave, project.WaveSize(i), {}});
    return kept;
}

// The projects of list that a disc of RootFolder's backups in catalogue
// holds already, each with that disc's set name: a project of the same name
// whose files are the project's, the same names, sizes and SHA-256s. Only a
// project whose names and sizes all match a disc's is read. Without a
// catalogue, a catalogue that can't be read or a read stopped there are none:
// the sort takes every project as it would without them.
std::unordered_map<const orvoProject*, std::string> OnDisc(const orvoProjectList& list, const std::string& RootFolder,
                                                           const std::string& catalogue,
                                                           const std::vector<orvoProjectList::Unsortable>& left,
                                                           Progress& progress)
{
    std::vector<Catalogue::KnownProject> known;
    Catalogue opened;
    if (catalogue.empty() || opened.Open(catalogue, CatalogueUse::Read).Failed()
        || opened.ProjectsOf(DiscRoot(RootFolder), known).Failed() || known.empty())
        return {};
    const auto byName = [](const CatalogueFile& a, const CatalogueFile& b) { return a.name < b.name; };
    for (Catalogue::KnownProject& disc : known)
        std::sort(disc.project.files.begin(), disc.project.files.end(), byName);
    std::unordered_set<const orvoProject*> unsortable;
    for (const orvoProjectList::Unsortable& project : left)
        unsortable.insert(project.project);

    // Each project that may be on a disc, the discs it may be on, and where its files' jobs start.
    struct Candidate {
        const orvoProject* project;
        CatalogueProject files;
        std::vector<const Catalogue::KnownProject*> discs;
        std::size_t firstJob = 0;
    };
    std::vector<Candidate> candidates;
    std::vector<HashJob> jobs;
    const FileDescriptor folder = OpenFolder(RootFolder);
    for (const auto& project : list.projects) {
        if (!project->ReadFailure.empty() || project->BackupNum < 0 || unsortable.contains(project.get()))
            continue;
        Candidate candidate{project.get(), ProjectFiles(*project), {}, jobs.size()};
        std::sort(candidate.files.files.begin(), candidate.files.files.end(), byName);
        for (const Catalogue::KnownProject& disc : known)
            if (disc.project.name == project->Name
                && std::equal(candidate.files.files.begin(), candidate.files.files.end(), disc.project.files.begin(),
                              disc.project.files.end(), [](const CatalogueFile& here, const CatalogueFile& there) {
                                  return here.name == there.name && here.size == there.size && !there.sha256.empty();
                              }))
                candidate.discs.push_back(&disc);
        if (candidate.discs.empty())
            continue;
        for (const CatalogueFile& file : candidate.files.files)
            jobs.push_back({folder.Get(), file.name, file.name});
        candidates.push_back(std::move(candidate));
    }
    if (jobs.empty() || folder.Get() < 0)
        return {};
    bool stopped = false;
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, stopped);
    if (stopped)
        return {};
    std::unordered_map<const orvoProject*, std::string> found;
    for (const Candidate& candidate : candidates)
        for (const Catalogue::KnownProject* disc : candidate.discs) {
            bool same = true;
            for (std::size_t i = 0; same && i < disc->project.files.size(); ++i) {
                const FileHash& hash = hashes[candidate.firstJob + i];
                same = hash.read && !hash.error && DigestHex(hash.digest) == disc->project.files[i].sha256;
            }
            if (same) {
                found.emplace(candidate.project, disc->set);
                break;
            }
        }
    // A file leaves the folder only with every project that uses it: a
    // project sharing a file with one the sort takes goes with it, as before.
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (const Candidate& candidate : candidates)
            if (found.contains(candidate.project)
                && std::any_of(
                    candidate.files.files.begin(), candidate.files.files.end(), [&](const CatalogueFile& file) {
                        const std::optional<FolderOwners::Entry> entry = list.owners.Find(file.name);
                        return entry
                               && ((entry->owner != nullptr && !found.contains(entry->owner))
                                   || std::any_of(entry->players.begin(), entry->players.end(),
                                                  [&](const orvoProject* player) { return !found.contains(player); }));
                    })) {
                found.erase(candidate.project);
                dropped = true;
            }
    }
    return found;
}

// The backup a sort of list made, as the catalogue keeps it: each set's
// disc, and on it each project the sort took with its own files and waves.
CatalogueBackup SortedBackup(const orvoProjectList& list, const std::string& RootFolder,
                             const std::vector<orvoProjectList::Unsortable>& left)
{
    CatalogueBackup backup{DiscRoot(RootFolder), IsoDate(list.regional.today()), list.medium.key, {}, {}, true};
    // Each disc's identity and the sort's time are those its label was written with.
    for (const orvoProjectList::SetTotal& set : list.SetTotals()) {
        const std::optional<DiscLabel> label = ReadDiscLabel(OpenFolder(WithSeparator(RootFolder) + set.name).Get());
        backup.discs.push_back({set.name, static_cast<int>(backup.discs.size()) + 1, list.numBackups,
                                list.medium.budget, set.bytes, {}, label ? label->id : std::string()});
        if (label && backup.time.empty())
            backup.time = label->time;
    }
    std::unordered_set<const orvoProject*> stayed;
    for (const orvoProjectList::Unsortable& project : left)
        stayed.insert(project.project);
    for (const auto& [project, set] : list.onDisc)
        stayed.insert(project);
    for (const auto& project : list.projects) {
        if (project->BackupNum < 0 || project->BackupNum >= list.numBackups || stayed.contains(project.get()))
            continue;
        backup.discs[static_cast<std::size_t>(project->BackupNum)].projects.push_back(ProjectFiles(*project));
    }
    // A set whose every project stayed in the folder is no disc; the others count alone.
    std::erase_if(backup.discs, [](const CatalogueDisc& disc) { return disc.projects.empty(); });
    for (std::size_t n = 0; n < backup.discs.size(); ++n) {
        backup.discs[n].number = static_cast<int>(n) + 1;
        backup.discs[n].count = static_cast<int>(backup.discs.size());
    }
    return backup;
}

// Records the disc of the set folder folder as written on the day: its
// volume id and where, an image's path or a drive. A set folder without a
// label (sorted by an older Kelvark) is no disc the catalogue can know.
Result RecordWrittenSet(Catalogue& catalogue, const std::string& folder, const std::string& volume,
                        const std::string& where)
{
    const FileDescriptor fd = OpenFolder(folder);
    const std::optional<DiscKey> key = KeyOf(ReadDiscLabel(fd.Get()), Holder(folder));
    return key ? catalogue.RecordWritten(*key, volume, Today(), where) : Result();
}

} // namespace

Result ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix, bool chkRegular,
                         const Medium& medium, const std::string& catalogue)
{
    if (Result refusal = JournalGuard(RootFolder); refusal.Failed())
        return refusal;
    Result read = list.ReadFolder(RootFolder, chkMix, chkRegular) ? Result(list.LastError) : Result();
    list.knownSets.clear();
    list.catalogueFault.clear();
    list.onDisc.clear();
    if (!catalogue.empty()) {
        Catalogue opened;
        Result known = opened.Open(catalogue, CatalogueUse::Read);
        if (!known.Failed())
            known = opened.SetsOf(DiscRoot(RootFolder), list.knownSets);
        if (known.Failed()) {
            list.catalogueFault = known.Message();
            read.Add(known.Message());
        }
    }
    PlanCommand(list, medium);
    return read;
}

void PlanCommand(orvoProjectList& list, const Medium& medium)
{
    list.CalcBackup(medium);
    list.firstSet = list.readFrom.empty() ? 0 : FirstFreeSet(list.readFrom, medium, list.knownSets);
}

Result SortCommand(orvoProjectList& list, const std::string& RootFolder, CommandUi ui, const std::string& catalogue)
{
    if (Result refusal = ListRefusal(list, RootFolder); refusal.Failed())
        return refusal;
    const Medium& medium = list.medium;
    if (list.projects.Count() == 0)
        return Result(NoProjectsText(RootFolder), Result::Status::Refused);
    // A sort that can take no project refuses, saying why, before it asks anything.
    const std::vector<orvoProjectList::Unsortable> left = list.UnsortableProjects();
    const std::size_t projects = static_cast<std::size_t>(list.projects.Count());
    if (left.size() == projects)
        return Result(PlanSort(list, RootFolder, false).RefusalText(), Result::Status::Refused);
    if (!ui.question.Confirm({Asked::Sort, BackupSortTitle, "", BackupSortQuestion(medium), ""}))
        return Declined("Nothing was sorted.");
    // Names that a disc written for Windows can't keep.
    if (const std::string names = DiscNamesWarning(list);
        !names.empty() && !ui.question.Confirm({Asked::DiscNames, BackupSortTitle, names, "Sort anyway?", names}))
        return Declined("Nothing was sorted.");
    // The projects the sort can't take stay in the folder once the user
    // agrees; when the user does not agree, the sort refuses and says why.
    bool leaveUnsortable = false;
    if (!left.empty()) {
        const std::size_t others = projects - left.size();
        leaveUnsortable = ui.question.Confirm(
            {Asked::SortTheRest, BackupSortTitle, UnsortableText(left),
             "Sort the other " + std::to_string(others) + (others == 1 ? " project" : " projects") + " and leave "
                 + (left.size() == 1 ? "this one" : "these") + " in the folder?",
             UnsortableText(left) + LineEnd + (left.size() == 1 ? "It stays" : "They stay") + " in the folder."});
    }
    // A project a disc holds already, unchanged, is backed up: it stays in the folder.
    list.onDisc = list.catalogueFault.empty() ? OnDisc(list, RootFolder, catalogue, left, ui.progress)
                                              : std::unordered_map<const orvoProject*, std::string>();
    if (left.size() + list.onDisc.size() == projects) {
        Result nothing = Result::Done(std::string("Nothing was sorted: every project ")
                                      + (left.empty() ? "" : "that can be sorted ") + "is on a disc already.");
        for (std::string& line : OnDiscLines(list))
            nothing.Add(std::move(line));
        return nothing;
    }
    FilePlan plan;
    plan.kind = Operation::Sort;
    plan.root = RootFolder;
    Result result = Execute(plan, ui, [&] { plan = PlanSort(list, RootFolder, leaveUnsortable); });
    if (!result.Failed()) {
        result = Result::Done(CsvDone(RootFolder));
        for (std::string& line : SortSummary(plan, left, list))
            result.Add(std::move(line));
        // The read said why the catalogue can't be used; the sort says what that means.
        if (!list.catalogueFault.empty())
            result.Add("Nothing was recorded in the catalogue; " + AddLater);
        else
            Record(result, catalogue, CatalogueUse::Create, [&](Catalogue& opened) {
                return opened.RecordBackup(SortedBackup(list, RootFolder, left));
            });
    }
    return WithJournal(std::move(result), RootFolder);
}

Result ReportCommand(orvoProjectList& list, const std::string& RootFolder, CommandUi ui)
{
    if (Result refusal = ListRefusal(list, RootFolder); refusal.Failed())
        return refusal;
    if (list.projects.Count() == 0)
        return Result(NoProjectsText(RootFolder), Result::Status::Refused);
    // The reports can leave out the projects in no set once the user agrees;
    // without any project in a set they would report nothing.
    if (const std::vector<std::string> left = ProjectsInNoSet(list); !left.empty()) {
        const std::string notice = NoSetNotice(left, list.medium);
        if (left.size() == static_cast<std::size_t>(list.projects.Count()))
            return Result("Nothing was written: no project fits on one " + list.medium.name + "." + LineEnd + notice,
                          Result::Status::Refused);
        if (!ui.question.Confirm({Asked::ReportWithoutSome, "Report Only", notice,
                                  std::string("Write the reports without ") + (left.size() == 1 ? "it" : "them") + "?",
                                  notice}))
            return Declined();
    }
    // Names that a disc written for Windows can't keep: the reports are written all the same.
    if (const std::string names = DiscNamesWarning(list); !names.empty())
        ui.messages.Show(names);
    FilePlan plan = PlanReports(list, RootFolder);
    Result result = Execute(plan, ui);
    if (!result.Failed()) {
        result = Result::Done(CsvDone(RootFolder));
        if (std::string kept = EarlierReportsKept(plan); !kept.empty())
            result.Add(std::move(kept));
        result.Add(ReportsWritten(RootFolder));
    }
    return WithJournal(std::move(result), RootFolder);
}

Result MoveCommand(orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& MoveFolder,
                   CommandUi ui)
{
    if (!selected.empty())
        if (const std::string set = SetFolderAround(selected.front()->ReadDir, MoveFolder); !set.empty())
            return Result("Nothing was moved: " + MoveFolder + " is inside the set folder " + set
                              + ", which holds what its disc holds.",
                          Result::Status::Refused);
    if (const std::string notice = ReadOnlyMoveNotice(selected);
        !notice.empty()
        && !ui.question.Confirm({Asked::MoveReadOnly, "Move", notice, "Move the selected projects?", notice}))
        return Declined();
    if (const Result conflicts = MoveTest(list, selected, MoveFolder); conflicts.Failed())
        return Result("Nothing was moved." + std::string(LineEnd) + conflicts.Message(), Result::Status::Refused);
    FilePlan plan = PlanMove(list, selected, MoveFolder);
    if (plan.units.empty() && plan.refusals.empty())
        return {};
    Result result = Execute(plan, ui);
    // A read-only project was copied: it is still here.
    std::string without;
    std::vector<std::string> moved, copied;
    for (const auto& unit : plan.units)
        if (unit.done)
            for (orvoProject* project : unit.projects) {
                if (const auto left = plan.movedWithout.find(project); left != plan.movedWithout.end())
                    without += (without.empty() ? "" : LineEnd) + MovedWithout(*project, left->second);
                (project->ReadOnly ? copied : moved).push_back(project->Name);
                if (!project->ReadOnly)
                    list.Drop(*project);
            }
    if (!result.Failed()) {
        result = Result::Done(MovedText("Moved", moved, plan.dest));
        result.Add(MovedText("Copied", copied, plan.dest));
    }
    result.Add(without);
    return WithJournal(std::move(result), plan.root);
}

Result RenameCommand(orvoProjectList& list, orvoProject& project, const std::string& newName, CommandUi ui)
{
    RenamePlan rename = PlanRename(list, project, newName);
    if (!rename.plan.refusals.empty())
        return Result(rename.plan.RefusalText(), Result::Status::Refused);
    if (!rename.plan.units.empty())
        if (Result result = Execute(rename.plan, ui); result.Failed())
            return WithJournal(std::move(result), rename.plan.root);
    if (newName == project.Name)
        return {};
    const std::string done = "Renamed \"" + project.Name + "\" to \"" + newName
                             + "\": " + std::to_string(rename.renames.size())
                             + (rename.renames.size() == 1 ? " file." : " files.");
    list.Renamed(project, newName, rename.renames);
    return Result::Done(done);
}

Result UnsortCommand(const std::string& RootFolder, const Medium& medium, CommandUi ui, const std::string& catalogue)
{
    if (Result refusal = JournalGuard(RootFolder); refusal.Failed())
        return refusal;
    UnsortPlan unsort = PlanUnsort(RootFolder, medium);
    if (!unsort.plan.refusals.empty())
        return Result(unsort.plan.RefusalText(), Result::Status::Refused);
    if (!ui.question.Confirm({Asked::Unsort, "Undo backup sort", "", UnsortQuestion(unsort, RootFolder), ""}))
        return Declined("Nothing was moved.");
    std::vector<DiscKey> undone;
    for (const std::string& set : unsort.plan.folders)
        if (const auto key = KeyOf(ReadDiscLabel(OpenFolder(RootFolder + set).Get()), DiscRoot(RootFolder)))
            undone.push_back(*key);
    Result result = Execute(unsort.plan, ui);
    if (!result.Failed()) {
        result = Result::Done("Done.  The files are back in folder " + RootFolder + ".");
        for (std::string& line : FoldersKept(unsort.plan))
            result.Add(std::move(line));
        Record(result, catalogue, CatalogueUse::Change, [&](Catalogue& opened) {
            for (const DiscKey& key : undone)
                if (Result forgotten = opened.ForgetUnwritten(key); forgotten.Failed())
                    return forgotten;
            return Result();
        });
    }
    return WithJournal(std::move(result), RootFolder);
}

Result RecoverCommand(const std::string& RootFolder, bool undo, CommandUi ui)
{
    Journal journal;
    if (const Result refusal = journal.TakeStopped(RootFolder); refusal.Failed())
        return Result(refusal.Message(), Result::Status::Refused);
    FilePlan plan = undo ? journal.plan().Inverse() : journal.plan();
    // An undone restore takes out of the folder only the files it put there.
    std::vector<std::string> kept;
    if (undo && plan.kind == Operation::Restore) {
        bool stopped = false;
        kept = KeepChangedRestores(plan, ui.progress, stopped);
        if (stopped)
            return WithJournal(Result("Stopped: nothing was undone.", Result::Status::Stopped), RootFolder);
    }
    const std::string recovered = journal.Recovered(undo, !kept.empty());
    Result result = RunPlan(plan, journal, ui.progress, ui.messages);
    if (!result.Failed()) {
        result = Result::Done(recovered);
        for (std::string& line : kept)
            result.Add(std::move(line));
    }
    return WithJournal(std::move(result), RootFolder);
}

Result ForgetCommand(const std::string& RootFolder, const std::string& why, CommandUi ui)
{
    Journal journal;
    const Journal::State state = journal.LookAndTidy(RootFolder);
    if (state == Journal::State::None)
        return Result("Nothing to recover: no operation of " + RootFolder + " stopped before its end.",
                      Result::Status::Refused);
    if (state == Journal::State::Running || state == Journal::State::NotAFile)
        return Result(journal.Describe(), Result::Status::Refused);
    const std::string split = state == Journal::State::Stopped ? SplitProjects(journal.plan()) : "";
    const std::string described = journal.Describe() + (split.empty() ? "" : LineEnd + split);
    const std::string finding =
        (why.empty() ? journal.Describe() : why) + (split.empty() ? "" : std::string(LineEnd) + LineEnd + split);
    if (!ui.question.Confirm(
            {Asked::Forget, "Recover", finding, "Forget the journal and leave every file where it is now?", described}))
        return WithJournal(Declined("Nothing was changed."), RootFolder);
    if (const Result failure = journal.Forget(RootFolder); failure.Failed())
        return WithJournal(Result(failure.Message()), RootFolder);
    return {};
}

Result RestoreCommand(const std::string& RootFolder, const std::vector<std::string>& sources,
                      const std::vector<std::string>& drives, const std::vector<std::string>& projects, CommandUi ui,
                      const std::string& catalogue)
{
    const std::string root = WithSeparator(RootFolder);
    if (Result refusal = JournalGuard(root); refusal.Failed())
        return refusal;
    FilePlan plan;
    plan.kind = Operation::Restore;
    plan.root = root;
    Result staged;
    RestoreStaged what;
    Result result = Execute(plan, ui, [&] {
        staged = StageRestore({root, sources, drives, projects, catalogue}, ui.progress, plan, what);
        // Nothing was staged: the plan must not run.
        if (staged.Failed())
            plan.refusals.push_back(staged.Message());
    });
    if (staged.Failed())
        return staged;
    if (!result.Failed())
        result = RestoredText(what, root);
    // The copies that a failed move left in the staging folder are copies of
    // the discs' files; a stopped restore needs them to be finished.
    if (Journal journal; journal.LookAndTidy(root) != Journal::State::Stopped)
        RemoveStaging(root);
    return WithJournal(std::move(result), root);
}

Result ChecksumCommand(const std::string& folder, bool offer, CommandUi ui, const std::string& catalogue)
{
    if (Result refusal = JournalGuard(WithSeparator(folder)); refusal.Failed())
        return refusal;
    ChecksumPlan plan = PlanChecksums(folder, HeldSums::Refuse);
    // Dead runs' temporaries go before anything is asked: a declined run
    // would leave one to be written onto the disc.
    for (const std::string& set : plan.folders)
        RemoveOrphanTemps(set);
    if (offer
        && (plan.folders.empty()
            || !ui.question.Confirm({Asked::OfferChecksums, ChecksumsTitle, "", ChecksumOffer(plan), ""})))
        return Declined();
    // Only the sets that hold checksums are asked about: No keeps theirs and
    // still writes those of the sets without.
    bool kept = false;
    if (!plan.holding.empty()) {
        const bool others = plan.holding.size() < plan.folders.size();
        const std::string why = plan.refusal + (others ? " The other set folders get theirs either way." : "");
        kept = !ui.question.Confirm({Asked::ReplaceChecksums, ChecksumsTitle, why,
                                     plan.holding.size() == 1 ? "Replace it?" : "Replace them?", ""});
        if (kept && !others)
            return Declined(plan.refusal);
        plan = PlanChecksums(folder, kept ? HeldSums::Keep : HeldSums::Replace);
    }
    if (!plan.refusal.empty())
        return Result(plan.refusal);
    // The checksums are written under the folder's lock, each file whole or
    // not at all: there is nothing for recover to finish.
    FilePlan locked;
    locked.kind = Operation::Checksum;
    locked.root = plan.root;
    Result written;
    if (Result refusal = Execute(locked, ui, [&] { written = WriteChecksums(plan, ui.progress); }); refusal.Failed())
        return refusal;
    Record(written, catalogue, CatalogueUse::Change, [&](Catalogue& opened) {
        for (const std::string& set : plan.folders) {
            const FileDescriptor fd = OpenFolder(set);
            Manifest manifest;
            // A set folder the writing left without one has nothing to record,
            // nor one without a label, which the catalogue can't know.
            const std::optional<DiscKey> key = KeyOf(ReadDiscLabel(fd.Get()), Holder(set));
            if (!key || ReadManifest(fd.Get(), manifest))
                continue;
            std::vector<std::pair<std::string, std::string>> sums;
            for (const ManifestEntry& entry : manifest.entries)
                sums.emplace_back(entry.name, DigestHex(entry.digest));
            if (Result recorded = opened.RecordChecksums(*key, sums); recorded.Failed())
                return recorded;
        }
        return Result();
    });
    if (kept)
        written.Add(Joined(plan.holding) + (plan.holding.size() == 1 ? " keeps its " : " keep their ") + ManifestName
                    + ".");
    return written;
}

Result VerifyCommand(const std::vector<std::string>& paths, bool all, Progress& progress, VerifyResult& checks,
                     const std::vector<std::string>& drives, const std::string& catalogue)
{
    // The discs are listed first: a disc that can't be refuses before any file is read.
    std::vector<std::string> folders;
    std::vector<DiscSource> discs;
    for (const std::string& path : paths) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            discs.push_back({path, false});
        else
            folders.push_back(path);
    }
    for (const std::string& drive : drives)
        discs.push_back({drive, true});
    checks = {};
    const std::vector<ListedDisc> listed = ListDiscs(discs, progress, checks);
    if (checks.refusals.empty() && !checks.stopped && !folders.empty())
        checks = Verify(folders, progress, all);
    if (checks.refusals.empty() && !checks.stopped)
        ReadDiscs(listed, progress, all, checks);
    if (!checks.refusals.empty()) {
        checks.folders.clear();
        Result refused({}, Result::Status::Refused);
        for (const std::string& refusal : checks.refusals)
            refused.Add(refusal);
        return refused;
    }
    if (checks.stopped)
        return Result({}, Result::Status::Stopped);
    Result verified;
    for (const FolderCheck& folder : checks.folders)
        if (!Whole(folder))
            verified = Result({}, Result::Status::Failed);
    Record(verified, catalogue, CatalogueUse::Change, [&](Catalogue& opened) {
        for (const FolderCheck& folder : checks.folders) {
            // Only a read of the disc or its image checks the disc: a set
            // folder on the hard disk may be whole while its disc is failing.
            // A disc without a label is none the catalogue can know.
            const std::optional<DiscKey> key = KeyOf(folder.label, {});
            if (folder.path.ends_with('/') || !key)
                continue;
            if (Result recorded = opened.RecordVerified(*key, Today(), folder); recorded.Failed())
                return recorded;
        }
        return Result();
    });
    return verified;
}

namespace {

// Why the discs of plan may not be written, what (an "image" or a "disc")
// named: a stop while it was made, or its refusals under "No image was
// written."; done when they may.
Result PlanRefusal(const ImagePlan& plan, const std::string& what)
{
    if (plan.stopped)
        return Result("Stopped before any " + what + " was written.", Result::Status::Stopped);
    Result refused;
    if (!plan.refusals.empty()) {
        refused = Result("No " + what + " was written.", Result::Status::Refused);
        for (const std::string& refusal : plan.refusals)
            refused.Add(refusal);
    }
    return refused;
}

// Runs work under the lock of root, held for its whole run: no sort,
// unsort or other operation of root starts while its discs are written.
// Refused, saying why, while another run holds it or an operation stopped
// there. A root where the lock's file can't be made (a folder the user can't
// write, where none of those can run either) is written from unguarded.
Result UnderDiscLock(const std::string& root, const std::function<Result()>& work)
{
    Journal journal;
    if (const Result refusal = journal.Lock(root, Operation::Disc);
        refusal.Failed() && journal.Found() != Journal::State::None)
        return Result(refusal.Message(), Result::Status::Refused);
    return work();
}

} // namespace

Result ImageCommand(const std::string& RootFolder, const std::string& into, const std::vector<std::string>& sets,
                    CommandUi ui, const std::string& catalogue)
{
    const std::string root = WithSeparator(RootFolder);
    if (Result refusal = JournalGuard(root); refusal.Failed())
        return refusal;
    return UnderDiscLock(root, [&] {
        const ImagePlan plan = PlanImages(root, WithSeparator(into), sets, ui.progress);
        if (Result refused = PlanRefusal(plan, "image"); refused.Failed())
            return refused;
        VerifyResult checks;
        Result written = WriteImages(plan, ui.progress, checks);
        // The images a failure or a stop left written, each read back whole, are recorded too.
        Record(written, catalogue, CatalogueUse::Change, [&](Catalogue& opened) {
            for (const SetDisc& set : plan.sets)
                if (EntryExists(set.image))
                    if (Result recorded = RecordWrittenSet(opened, set.folder, set.volumeId, DiscRoot(set.image));
                        recorded.Failed())
                        return recorded;
            return Result();
        });
        return written;
    });
}

Result DiscOffersCommand(const std::string& RootFolder, const DiscTarget& target, Progress& progress,
                         std::vector<DiscOffer>& offers)
{
    offers.clear();
    const std::string root = WithSeparator(RootFolder);
    // A disc for a drive is measured as its image, which goes nowhere.
    const std::string into = target.drive.empty() ? WithSeparator(target.images) : std::string();
    std::error_code error;
    const std::vector<std::string> sets = SetFolders(root, SetPrefixes(), error);
    if (error || sets.empty()) {
        // The plan of all sets says why there is none.
        const ImagePlan plan = PlanImages(root, into, {}, progress);
        Result refused({}, Result::Status::Refused);
        for (const std::string& refusal : plan.refusals)
            refused.Add(refusal);
        return refused;
    }
    for (const std::string& set : sets) {
        const ImagePlan plan = PlanImages(root, into, {set}, progress);
        if (plan.stopped)
            return Result("Stopped before every set was measured.", Result::Status::Stopped);
        DiscOffer& offer = offers.emplace_back();
        offer.set = set;
        if (!plan.sets.empty()) {
            const SetDisc& disc = plan.sets.front();
            offer.size = Grouped(disc.sectors, ",") + " of " + Grouped(disc.medium.sectors, ",") + " sectors";
        }
        if (!plan.refusals.empty())
            offer.refusal = plan.refusals.front();
    }
    return {};
}

Result WriteDiscCommand(const std::string& RootFolder, const std::string& set, const DiscTarget& target, CommandUi ui,
                        VerifyResult& check, const std::string& catalogue)
{
    // The window writes one disc at a time: each asks for its blank disc.
    if (!target.drive.empty())
        return BurnCommand(RootFolder, {set}, target.drive, ui, check, true, catalogue);
    check = {};
    const std::string root = WithSeparator(RootFolder);
    if (Result refusal = JournalGuard(root); refusal.Failed())
        return refusal;
    return UnderDiscLock(root, [&] {
        const ImagePlan plan = PlanImages(root, WithSeparator(target.images), {set}, ui.progress);
        if (Result refused = PlanRefusal(plan, "image"); refused.Failed())
            return refused;
        // An image that failed its read-back is not left: the disc may be
        // written again under its name.
        Result written = WriteImages(plan, ui.progress, check);
        if (!written.Failed()) {
            const SetDisc& disc = plan.sets.front();
            Record(written, catalogue, CatalogueUse::Change, [&](Catalogue& opened) {
                return RecordWrittenSet(opened, disc.folder, disc.volumeId, DiscRoot(disc.image));
            });
        }
        return written;
    });
}

Result DrivesCommand(const Progress& stop)
{
    std::vector<Drive> drives;
    if (Result failed = ListDrives(drives, stop); failed.Failed())
        return failed;
    if (drives.empty())
        return Result::Done("No optical drive found.");
    Result listed;
    for (const Drive& drive : drives) {
        LoadedDisc disc;
        const Result looked = LookAtDisc(drive.device, disc, stop);
        std::string name = drive.vendor;
        name += (name.empty() || drive.model.empty() ? "" : " ") + drive.model;
        listed.Add(drive.device + "  " + name + "  "
                   + (looked.Failed() ? "its disc can't be looked at" : LoadedDiscText(disc)));
    }
    return listed;
}

Result BurnCommand(const std::string& RootFolder, const std::vector<std::string>& sets, const std::string& drive,
                   CommandUi ui, VerifyResult& checks, bool askFirst, const std::string& catalogue)
{
    checks = {};
    const std::string root = WithSeparator(RootFolder);
    if (Result refusal = JournalGuard(root); refusal.Failed())
        return refusal;
    return UnderDiscLock(root, [&] {
        const ImagePlan plan = PlanImages(root, {}, sets, ui.progress);
        if (Result refused = PlanRefusal(plan, "disc"); refused.Failed())
            return refused;
        // Each disc is read back once written: a disc that could not be is not written.
        if (std::string refusal = DiscFolderRefusal(); !refusal.empty()) {
            Result refused("No disc was written.", Result::Status::Refused);
            refused.Add(std::move(refusal));
            return refused;
        }

        std::vector<std::string> lines;
        std::vector<const SetDisc*> burnt; // the discs written, which the catalogue records
        // The lines so far and why, with the sets from k on, which were not written.
        const auto ended = [&](std::size_t k, const std::string& why, Result::Status status) {
            Result result({}, status);
            for (const std::string& line : lines)
                result.Add(line);
            result.Add(why);
            std::vector<std::string> rest;
            for (std::size_t j = k; j < plan.sets.size(); ++j)
                rest.push_back(plan.sets[j].name);
            if (!rest.empty())
                result.Add(Joined(rest) + (rest.size() == 1 ? " was" : " were") + " not written.");
            Record(result, catalogue, CatalogueUse::Change, [&](Catalogue& opened) {
                for (const SetDisc* set : burnt)
                    if (Result recorded = RecordWrittenSet(opened, set->folder, set->volumeId, drive);
                        recorded.Failed())
                        return recorded;
                return Result();
            });
            return result;
        };
        bool whole = true;
        std::string finding; // what the read-back of the last disc found
        for (std::size_t k = 0; k < plan.sets.size(); ++k) {
            const SetDisc& set = plan.sets[k];
            // A file taken as a drive is looked at before xorriso is: one that
            // holds data is never a blank disc, whatever its first bytes.
            LoadedDisc disc;
            Result looked;
            if (k == 0 && !askFirst) {
                if (const std::string refusal = StdioRefusal(drive); !refusal.empty())
                    return ended(k, refusal, Result::Status::Refused);
                looked = LookAtDisc(drive, disc, ui.progress);
            }
            // A drive without a disc may say so by failing the look.
            if (k > 0 || askFirst || looked.Failed() || !disc.present) {
                const std::string insert =
                    "Insert a blank " + set.medium.name + " for " + set.name + " into " + drive + ", then press Enter";
                if (!ui.question.Confirm({Asked::InsertBlank, BurnTitle, finding, insert,
                                          "Writing " + set.name + " onto the disc in " + drive + "."}))
                    return k == 0
                               ? Result("No disc was written.", Result::Status::Declined)
                               : ended(k + 1, "Stopped before " + set.name + " was written.", Result::Status::Stopped);
                if (const std::string refusal = StdioRefusal(drive); !refusal.empty())
                    return ended(k, refusal, Result::Status::Refused);
                looked = LookAtDisc(drive, disc, ui.progress);
            }
            if (looked.Failed())
                return ended(k + 1, set.name + " was not written: " + looked.Message(), Result::Status::Failed);
            if (const std::string refusal = DiscRefusal(set, drive, disc); !refusal.empty())
                return ended(k + 1, refusal, Result::Status::Refused);
            const Result wrote = BurnDisc(set, drive, ui.progress);
            if (wrote.Failed())
                return ended(k + 1, wrote.Message(), wrote.Ended());
            lines.push_back(wrote.Message());
            burnt.push_back(&set);

            // The check of the disc just written is the set's result.
            VerifyResult read = ReadBack(drive, ui.progress);
            if (read.stopped)
                return ended(k + 1, "Stopped while " + set.name + " was read back: it was written but not checked.",
                             Result::Status::Stopped);
            if (!read.refusals.empty()) {
                whole = false;
                finding = set.name + " was written but can't be read back: " + read.refusals.front();
                lines.push_back(finding);
                continue;
            }
            for (FolderCheck& folder : read.folders) {
                for (std::string& line : FolderLines(folder))
                    lines.push_back(std::move(line));
                finding = FolderSummary(folder);
                lines.push_back(finding);
                whole = whole && Whole(folder);
                checks.folders.push_back(std::move(folder));
            }
        }
        return ended(plan.sets.size(), {}, whole ? Result::Status::Done : Result::Status::Failed);
    });
}

namespace {

// The disc of a check whose label names it, as the catalogue keeps it: its
// projects with their files, sizes (size of the file listed i) and
// checksums (SHA256SUMS's digests, in its order; none when not at hand).
CatalogueBackup AddedBackup(const FolderCheck& check, const DiscKey& key, const std::vector<ManifestEntry>& sums,
                            const std::function<std::int64_t(std::size_t)>& size)
{
    const DiscLabel& label = *check.label;
    Medium medium;
    const std::int64_t budget = MediumNamed(label.medium, medium).Failed() ? 0 : medium.budget;
    CatalogueDisc disc{key.set, label.number, label.count, budget, 0, {}, key.id};
    for (std::size_t i = 0; i < check.listed; ++i)
        disc.bytes += size(i);
    for (const ProjectCheck& project : check.projects) {
        CatalogueProject& kept = disc.projects.emplace_back(CatalogueProject{project.name, {}});
        for (const std::size_t i : project.files)
            if (i < check.listed)
                kept.files.push_back({check.files[i].name, size(i), sums.empty() ? "" : DigestHex(sums[i].digest)});
    }
    return {key.root, key.date, label.medium, {std::move(disc)}, key.time};
}

// The day of the disc's sort, with its time when its label gave it: "2026-12-10 13:05".
std::string SortDay(const DiscKey& key)
{
    return key.date + (key.time.empty() ? "" : " " + key.time);
}

// "DVD-C of the backup of /music of 2026-12-10 13:05"
std::string DiscText(const DiscKey& key)
{
    return key.set + " of the backup of " + key.root + " of " + SortDay(key);
}

// "written 2026-12-10  verified 2026-12-11: intact", or "not written", "never verified".
std::string HistoryText(const std::string& written, const std::string& verified, const std::string& verdict)
{
    return (written.empty() ? std::string("not written") : "written " + written) + "  "
           + (verified.empty() ? std::string("never verified")
                               : "verified " + verified + (verdict.empty() ? "" : ": " + verdict));
}

} // namespace

Result CatalogueAddCommand(const std::vector<std::string>& paths, const std::vector<std::string>& drives,
                           const std::string& catalogue, Progress& progress)
{
    std::vector<CatalogueBackup> discs;
    Result refused({}, Result::Status::Refused);
    // A set folder or a mounted disc: its label, SHA256SUMS and project files.
    std::vector<DiscSource> sources;
    for (const std::string& path : paths) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            sources.push_back({path, false});
            continue;
        }
        const std::string folder = WithSeparator(path);
        const FileDescriptor fd = OpenFolder(folder);
        if (fd.Get() < 0) {
            refused.Add("Can't read folder " + folder + ": " + ErrorText(LastErrno()));
            continue;
        }
        FolderCheck check;
        check.path = folder;
        check.label = ReadDiscLabel(fd.Get());
        Manifest manifest;
        if (!check.label || !IsAnySetFolder(check.label->set)) {
            refused.Add(folder + " holds no " + DiscLabelName + ": it is no disc of a backup sort.");
            continue;
        }
        if (const std::error_code error = ReadManifest(fd.Get(), manifest)) {
            refused.Add("Can't read " + folder + ManifestName + ": " + ErrorText(error));
            continue;
        }
        bool stopped = false;
        const FileHash label = HashFiles({{fd.Get(), DiscLabelName, folder + DiscLabelName}}, progress, stopped).at(0);
        if (stopped)
            return Result("Stopped before anything was added.", Result::Status::Stopped);
        if (!label.read || !LabelListedAs(manifest, label.digest)) {
            refused.Add(folder + ": its " + DiscLabelName + " is not the one " + ManifestName + " lists.");
            continue;
        }
        const std::optional<DiscKey> key = KeyOf(check.label, Holder(folder));
        for (const ManifestEntry& entry : manifest.entries)
            check.files.push_back({entry.name, FileState::Unchecked, {}});
        check.listed = check.files.size();
        if (AttributeFiles(check, folder, progress).Failed())
            return Result("Stopped before anything was added.", Result::Status::Stopped);
        discs.push_back(AddedBackup(check, *key, manifest.entries, [&](std::size_t i) {
            struct stat file {};
            return ::fstatat(fd.Get(), check.files[i].name.c_str(), &file, AT_SYMLINK_NOFOLLOW) == 0
                       ? static_cast<std::int64_t>(file.st_size)
                       : std::int64_t{0};
        }));
    }
    // An image or a drive's disc: its label, SHA256SUMS and project files
    // only, read through their extents.
    for (const std::string& drive : drives)
        sources.push_back({drive, true});
    VerifyResult listing;
    const std::vector<ListedDisc> listed = ListDiscs(sources, progress, listing);
    for (const std::string& refusal : listing.refusals)
        refused.Add(refusal);
    for (const ListedDisc& disc : listed) {
        if (listing.stopped || !refused.Lines().empty())
            break;
        FolderCheck check;
        Manifest manifest;
        const Result read = ReadDiscProjects(disc, progress, check, manifest);
        if (read.Ended() == Result::Status::Stopped || progress.StopRequested())
            return Result("Stopped before anything was added.", Result::Status::Stopped);
        if (read.Failed()) {
            refused.Add(read.Message());
            continue;
        }
        const std::optional<DiscKey> key = KeyOf(check.label, {});
        if (!key) {
            refused.Add(disc.source.path + " has no disc label naming the folder it was sorted from.");
            continue;
        }
        std::unordered_map<std::string, std::int64_t> sizes;
        for (const DiscFile& file : disc.listing.files)
            for (const DiscExtent& extent : file.extents)
                sizes[file.name] += extent.bytes;
        discs.push_back(AddedBackup(check, *key, manifest.entries, [&](std::size_t i) {
            const auto found = sizes.find(check.files[i].name);
            return found == sizes.end() ? std::int64_t{0} : found->second;
        }));
    }
    if (listing.stopped)
        return Result("Stopped before anything was added.", Result::Status::Stopped);
    if (!refused.Lines().empty())
        return refused;
    Catalogue opened;
    if (Result failed = opened.Open(catalogue, CatalogueUse::Create); failed.Failed())
        return failed;
    Result added;
    for (const CatalogueBackup& backup : discs) {
        if (Result failed = opened.RecordBackup(backup); failed.Failed()) {
            added.Add(failed.Message());
            return Result(added.Message());
        }
        const CatalogueDisc& disc = backup.discs.front();
        added.Add("Added " + DiscText({backup.root, backup.date, disc.set, backup.time}) + ": "
                  + Counted(disc.projects.size(), "project", "projects") + ".");
    }
    return added;
}

Result WhereCommand(const std::string& text, const std::string& catalogue, std::vector<WhereRow>& rows)
{
    rows.clear();
    // A catalogue not made yet holds nothing, and reading it does not make it.
    Catalogue opened;
    if (Result failed = opened.Open(catalogue, CatalogueUse::Read); failed.Failed())
        return failed;
    if (Result failed = opened.Where(text, rows); failed.Failed())
        return failed;
    if (rows.empty())
        return Result::Done("No project on the catalogue's discs has \"" + text + "\" in its name.");
    Result found;
    for (const WhereRow& row : rows)
        found.Add(row.project + "  " + row.disc.set + "  " + row.disc.root + "  sorted " + SortDay(row.disc) + "  "
                  + HistoryText(row.written, row.verified, row.verdict));
    return found;
}

Result DiscsCommand(const std::string& catalogue, std::vector<DiscRow>& rows)
{
    rows.clear();
    // A catalogue not made yet holds nothing, and reading it does not make it.
    Catalogue opened;
    if (Result failed = opened.Open(catalogue, CatalogueUse::Read); failed.Failed())
        return failed;
    if (Result failed = opened.Discs(Today(), rows); failed.Failed())
        return failed;
    if (rows.empty())
        return Result::Done("The catalogue holds no disc.");
    Result listed;
    for (const DiscRow& row : rows)
        listed.Add(row.disc.set + "  " + row.disc.root + "  sorted " + SortDay(row.disc) + "  "
                   + Counted(static_cast<std::size_t>(row.projects), "project", "projects") + "  "
                   + HistoryText(row.written, row.verified, row.verdict) + (row.due ? "  due" : ""));
    return listed;
}

std::string PlanSummary(const orvoProjectList& list)
{
    const std::vector<orvoProjectList::SetTotal> sets = list.SetTotals();
    std::int64_t bytes = 0;
    for (const orvoProjectList::SetTotal& set : sets)
        bytes += set.bytes;
    const std::size_t inNoSet = ProjectsInNoSet(list).size();
    std::string summary;
    if (!sets.empty()) {
        // From 1 GB on in gigabytes with one decimal: "63.2 GB".
        constexpr std::int64_t TenthGB = 100000000;
        const std::int64_t tenths = (bytes + TenthGB / 2) / TenthGB;
        summary = std::to_string(sets.size()) + " " + list.medium.name + (sets.size() == 1 ? ", " : "s, ")
                  + (bytes < 10 * TenthGB ? Megabytes(bytes, list.regional)
                                          : Grouped(tenths / 10, list.regional.groupSeparator)
                                                + list.regional.decimalSeparator + std::to_string(tenths % 10) + " GB");
    }
    if (inNoSet > 0)
        summary += (summary.empty() ? "" : "; ") + std::to_string(inNoSet)
                   + (inNoSet == 1 ? " project fits on no " : " projects fit on no ") + list.medium.name;
    return summary.empty() ? "No disc needed" : summary;
}

} // namespace kelvark
