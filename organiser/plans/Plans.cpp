#include "Plans.h"

#include "DiscLabel.h"
#include "FileOps.h"
#include "Manifest.h"
#include "SetLetters.h"
#include "TextCodec.h"
#include "idata_common.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

// The first wave name that would leave the folder; none when every one stays in it.
std::optional<std::string> FirstInvalidWave(const orvoProject& project)
{
    for (int i = 0; i < project.WaveCount(); ++i)
        if (!orvoWave::IsValidName(project.WaveName(i)))
            return std::string(project.WaveName(i));
    return std::nullopt;
}

// Why an entry that is not a folder refuses the sort when it has the name of
// a set folder the sort makes.
std::string FolderTaken(const std::string& name, const FolderOwners& owners)
{
    const std::optional<FolderOwners::Entry> entry = owners.Find(name);
    if (entry && entry->owner)
        return "\"" + name + "\" is a file of project " + entry->owner->Name
               + " and has the name of a backup folder the sort makes. Rename the project to sort the folder.";
    return "\"" + name + "\" has the name of a backup folder the sort makes. Rename or move it to sort the folder.";
}

// Why each wave of project that the read did not find can't go; none when it found every one.
std::vector<std::string> WaveFailures(const orvoProject& project)
{
    std::vector<std::string> failures;
    for (int i = 0; i < project.WaveCount(); ++i)
        if (!project.WaveName(i).empty() && project.WavePosition(i) == FolderListing::npos)
            failures.push_back(WaveFailure(project, std::string(project.WaveName(i))));
    return failures;
}

// Why the reports must not be written into RootFolder: ListRefusal, a
// project that was not read (a sort, given notSorted, refuses those itself),
// or a report that would replace a file a project owns or plays (after a
// sort: a project whose files stay in the folder).
Result ReportRefusal(const orvoProjectList& list, const std::string& RootFolder,
                     const std::unordered_set<const orvoProject*>* notSorted);

// A set folder's own files, which a sort writes and an unsort leaves in it.
bool IsSetFolderOwn(const std::string& name)
{
    return name == ManifestName || name == DiscLabelName;
}

// The whole text of the file at path, or none when it can't be read.
std::optional<std::string> TextOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return file.good() || file.eof() ? std::optional<std::string>(text.str()) : std::nullopt;
}

// The lines of the set folder folder's own file name (at path) when it is
// as the sort wrote it, so that an unsort that moves back backs (the names
// of the folder's files it moves back or whose copies it removes) gives the
// folder back without it: a label that names the folder's set and the
// projects whose project files go back, in the very text the sort makes of
// it; checksums in the very text the sort writes, of files that go back only.
// None for any other file.
std::optional<std::vector<std::string>> SortWritten(const std::string& folder, const std::string& name,
                                                    const std::vector<std::string>& backs, const std::string& path)
{
    const std::optional<std::string> text = TextOf(path);
    if (!text)
        return std::nullopt;
    const auto back = [&](const std::string& file) {
        return std::find(backs.begin(), backs.end(), file) != backs.end();
    };
    std::string written;
    std::vector<std::string> lines;
    if (name == ManifestName) {
        const Manifest manifest = ParseManifest(*text);
        for (const ManifestEntry& entry : manifest.entries) {
            written += ManifestLine(entry);
            lines.push_back(ManifestLine(entry));
            lines.back().pop_back();
        }
        if (written != *text
            || !std::all_of(manifest.entries.begin(), manifest.entries.end(),
                            [&](const ManifestEntry& entry) { return back(entry.name); }))
            return std::nullopt;
        return lines;
    }
    const std::optional<DiscLabel> label = ParseDiscLabel(*text);
    if (!label || label->set != folder)
        return std::nullopt;
    lines = DiscLabelLines(*label);
    for (const std::string& line : lines)
        written += line + "\r\n";
    std::vector<std::string> projects;
    for (const std::string& file : backs)
        if (HasProjectExtension(file))
            projects.push_back(file.substr(0, file.size() - 4));
    std::vector<std::string> named = label->projects;
    std::sort(projects.begin(), projects.end());
    std::sort(named.begin(), named.end());
    if (written != *text || named != projects)
        return std::nullopt;
    return lines;
}

// True when the set folder holds nothing but its own files (what an undone
// sort leaves of it): the sort takes such a folder as empty.
bool HoldsOnlyChecksums(const std::string& folder)
{
    std::error_code error, typeError;
    fs::directory_iterator it(folder, error), end;
    if (error || it == end)
        return false;
    for (; !error && it != end; it.increment(error))
        if (!IsSetFolderOwn(it->path().filename().string()) || it->is_symlink(typeError)
            || !it->is_regular_file(typeError))
            return false;
    return !error;
}

// The labels of the sort's discs, as reports of the sort written into each
// set folder: the sort's day and time, each disc's place and new identity,
// its medium and its projects.
// A set whose projects bring a file of the label's name keeps that file.
// Only the sets made count: their places and the first and last of them.
ReportTexts DiscLabels(const orvoProjectList& list, const std::string& RootFolder,
                       const std::unordered_set<const orvoProject*>& notSorted, const std::vector<int>& made)
{
    const std::string date = IsoDate(list.regional.today());
    const std::string time = list.regional.timeOfDay();
    const auto name = [&](int n) { return list.medium.prefix + "-" + SetLetters(list.firstSet + n); };
    std::vector<DiscLabel> labels(static_cast<std::size_t>(std::max(list.numBackups, 0)));
    for (std::size_t m = 0; m < made.size(); ++m)
        labels[static_cast<std::size_t>(made[m])] = {name(made[m]),
                                                     static_cast<int>(m) + 1,
                                                     static_cast<int>(made.size()),
                                                     date,
                                                     list.medium.key,
                                                     list.medium.name,
                                                     name(made.front()),
                                                     name(made.back()),
                                                     {},
                                                     DiscRoot(RootFolder),
                                                     time,
                                                     NewDiscId()};
    std::vector<bool> taken(labels.size());
    const auto entry = list.owners.Find(DiscLabelName);
    for (const auto& project : list.projects) {
        if (project->BackupNum < 0 || project->BackupNum >= list.numBackups || notSorted.count(project.get()))
            continue;
        const auto n = static_cast<std::size_t>(project->BackupNum);
        labels[n].projects.push_back(project->Name);
        if (entry
            && (entry->owner == project.get()
                || std::find(entry->players.begin(), entry->players.end(), project.get()) != entry->players.end()))
            taken[n] = true;
    }
    ReportTexts texts;
    for (const int n : made)
        if (!taken[static_cast<std::size_t>(n)])
            texts.emplace_back(labels[static_cast<std::size_t>(n)].set + "/" + DiscLabelName,
                               DiscLabelLines(labels[static_cast<std::size_t>(n)]));
    return texts;
}

// The set folders of prefixes in RootFolder that hold a backup sort: every
// one that holds more than its checksum file, in set order.
std::vector<std::string> SortedSetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes)
{
    std::error_code error;
    std::vector<std::string> folders = SetFolders(RootFolder, prefixes, error);
    std::erase_if(folders, [&](const std::string& folder) { return HoldsOnlyChecksums(RootFolder + folder); });
    return folders;
}

// The first line of a refused sort, its conclusion: how many projects refuse
// it when some do, "Nothing was sorted: 3 projects can't be sorted.", and
// "… fit on no CD." when none of them is in a set.
std::string NotSorted(const std::vector<orvoProjectList::Unsortable>& refusing, const Medium& medium)
{
    if (refusing.empty())
        return "Nothing was sorted.";
    const std::size_t n = refusing.size();
    const bool noSet = std::all_of(refusing.begin(), refusing.end(), [](const orvoProjectList::Unsortable& left) {
        return left.project->ReadFailure.empty() && left.project->BackupNum < 0;
    });
    return "Nothing was sorted: " + Counted(n, "project", "projects")
           + (noSet ? (n == 1 ? " fits on no " : " fit on no ") + medium.name : std::string(" can't be sorted")) + ".";
}

// The day of a file's last change (nanoseconds since 1970) in the local calendar, "2026-12-10".
std::string DayOf(std::int64_t mtime)
{
    const auto seconds = static_cast<std::time_t>(mtime / 1000000000);
    std::tm day{};
    ::localtime_r(&seconds, &day);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    return text;
}

// The first set the text report at path names ("DVD-A", its first heading);
// empty when it names none there or can't be read.
std::string FirstReportedSet(const std::string& path)
{
    constexpr std::size_t Heading = 4096;
    std::ifstream file(path, std::ios::binary);
    std::string text(Heading, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.pop_back();
        if (IsAnySetFolder(line))
            return line;
    }
    return {};
}

// The unit that renames the reports of RootFolder's earlier sort with that
// sort's date, before a new sort or Report Only writes its own: "Backup
// Report 2026-12-10.txt". They are a sort's while a set folder holds a sort,
// unless the text report's first set is a folder that holds none: Report
// Only's reports, which plan sets no sort made yet, are replaced as before.
// The date is the one of the label of the first set they name (else of the
// last set folder), else the day of the report's last change. A dated name
// is never taken from another file: the three take the first number whose
// names are all free ("… 2026-12-10 (2).txt"). None when there is nothing
// to rename; a file of a project with a report's name is not a report.
std::optional<FileUnit> EarlierReports(const std::string& RootFolder, const FolderOwners& owners)
{
    const std::vector<std::string> sorted = SortedSetFolders(RootFolder, SetPrefixes());
    std::vector<std::string> names;
    std::vector<OwnFile> reports;
    for (const std::string& name : ReportNames)
        if (const std::optional<FolderOwners::Entry> entry = owners.Find(name);
            entry && (entry->owner || !entry->players.empty()))
            continue;
        else if (OwnFile report; LookOwnFile(RootFolder + name, report)) {
            names.push_back(name);
            reports.push_back(report);
        }
    if (sorted.empty() || reports.empty())
        return std::nullopt;
    // Only a regular file is read: a pipe of the report's name would hold the read.
    const std::string first =
        names.front() == ReportNames.front() ? FirstReportedSet(RootFolder + ReportNames.front()) : std::string();
    if (!first.empty() && std::find(sorted.begin(), sorted.end(), first) == sorted.end())
        return std::nullopt;
    std::string date = DayOf(reports.front().mtime);
    if (const std::optional<DiscLabel> label =
            ReadDiscLabel(OpenFolder(RootFolder + (first.empty() ? sorted.back() : first)).Get());
        label && IsDay(label->date))
        date = label->date;
    int n = 1;
    while (std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return EntryExists(RootFolder + DatedReportName(name, date, n));
    }))
        ++n;
    FileUnit unit{{}, names, {}, {}, false, {}, {}};
    for (const std::string& name : names)
        unit.steps.push_back({RootFolder + name, RootFolder + DatedReportName(name, date, n), StepKind::Move});
    return unit;
}

} // namespace

Result ListRefusal(const orvoProjectList& list, const std::string& RootFolder)
{
    if (list.readFrom != RootFolder
        || std::any_of(list.projects.begin(), list.projects.end(),
                       [&](const auto& project) { return project->ReadDir != RootFolder; }))
        return Result(ReadFolderFirst(RootFolder), Result::Status::Refused);
    // The sets and the reports would leave out the projects the read did not reach.
    if (list.readStopped)
        return Result("Read the folder to the end first.", Result::Status::Refused);
    return {};
}

namespace {

Result ReportRefusal(const orvoProjectList& list, const std::string& RootFolder,
                     const std::unordered_set<const orvoProject*>* notSorted)
{
    if (Result refusal = ListRefusal(list, RootFolder); refusal.Failed())
        return refusal;
    const bool afterSort = notSorted != nullptr;
    std::vector<std::string> refusals;
    for (const auto& project : list.projects)
        if (!afterSort && !project->ReadFailure.empty()) // a sort refuses them itself
            refusals.push_back(NotReadText(*project));
    // After a sort, only what stays in the folder (copies' sources, projects
    // left out) is still beside the reports.
    const auto staysBeside = [&](const orvoProject* project) {
        return !afterSort || project->ReadOnly || project->BackupNum < 0 || notSorted->count(project);
    };
    for (const std::string& report : ReportNames) {
        const std::optional<FolderOwners::Entry> entry = list.owners.Find(report);
        if (!entry)
            continue;
        if (entry->owner && staysBeside(entry->owner))
            refusals.push_back("Can't write \"" + report + "\": it is a file of project " + entry->owner->Name);
        else
            for (const orvoProject* player : entry->players)
                if (staysBeside(player)) {
                    refusals.push_back("Can't write \"" + report + "\": it is played by project " + player->Name);
                    break;
                }
    }
    std::string text;
    for (const auto& line : refusals)
        text += (text.empty() ? "" : LineEnd) + line;
    return text.empty() ? Result() : Result(text, Result::Status::Refused);
}

} // namespace

int FirstFreeSet(const std::string& RootFolder, const Medium& medium, const std::vector<std::string>& taken)
{
    std::vector<std::string> sets = SortedSetFolders(RootFolder, {medium.prefix});
    sets.insert(sets.end(), taken.begin(), taken.end());
    int first = 0;
    for (const std::string& set : sets)
        if (IsSetFolder(set, medium.prefix))
            first = std::max(first, SetNumber(std::string_view(set).substr(medium.prefix.size() + 1)) + 1);
    return first;
}

std::string ReadFolderFirst(const std::string& RootFolder)
{
    return "Read the folder first: the grid does not show the projects of " + RootFolder + ".";
}

UnsortPlan PlanUnsort(const std::string& RootFolder, const Medium& medium)
{
    const std::string& prefix = medium.prefix;
    UnsortPlan unsort;
    FilePlan& plan = unsort.plan;
    plan.kind = Operation::Unsort;
    plan.root = RootFolder;
    plan.makesFolders = false;
    std::error_code error;
    plan.folders = SetFolders(RootFolder, {prefix}, error);
    if (error) {
        plan.refusals.push_back("Can't read folder " + RootFolder + ": " + ErrorText(error));
        return unsort;
    }
    if (plan.folders.empty()) {
        plan.refusals.push_back("There is no " + prefix + " backup folder in " + RootFolder + ".");
        return unsort;
    }
    // The latest sort's set folders only: those from the first disc that the
    // label of the last set folder holding a sort names. Without labels, all.
    const std::vector<std::string> sorted = SortedSetFolders(RootFolder, {prefix});
    const auto number = [&](const std::string& set) {
        return SetNumber(std::string_view(set).substr(prefix.size() + 1));
    };
    for (auto set = sorted.rbegin(); set != sorted.rend(); ++set)
        if (const std::optional<DiscLabel> label = ReadDiscLabel(OpenFolder(RootFolder + *set).Get());
            label && IsSetFolder(label->first, prefix)) {
            const int first = std::min(number(label->first), number(*set));
            std::erase_if(plan.folders, [&](const std::string& folder) { return number(folder) < first; });
            break;
        }

    // A name goes back once, to a place that is free.
    const auto refuse = [&](const std::string& text) { plan.refusals.push_back(text); };
    std::unordered_map<std::string, std::string> from; // file name -> the folder it comes back from
    for (const auto& folder : plan.folders) {
        plan.units.push_back({{}, {folder}, {}, {}, false, {}, {}});
        std::vector<std::string> names;
        for (fs::directory_iterator it(RootFolder + folder, error), end; !error && it != end; it.increment(error))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end(), FolderListing::NameLess);
        std::vector<std::string> backs, own;
        for (const auto& name : names) {
            // The checksums and the label describe the set folder: they go last, with it.
            if (IsSetFolderOwn(name)) {
                own.push_back(name);
                continue;
            }
            const std::string path = RootFolder + folder + "/" + name;
            const std::string shownName = "\"" + folder + "/" + name + "\"";
            if (const std::string reason = NotRegular(path); !reason.empty()) {
                refuse("Can't move " + shownName + " back: " + reason);
                continue;
            }
            struct stat status {};
            OwnFile report;
            if (::lstat((RootFolder + name).c_str(), &status) == 0) {
                // A read-only project's file was copied: the copy goes, once
                // the journal holds it, and only while it is the same byte
                // for byte as the file in the root folder.
                if (S_ISREG(status.st_mode) && SameBytes(path, RootFolder + name)) {
                    plan.units.back().steps.push_back({path, RootFolder + name, StepKind::Uncopy});
                    backs.push_back(name);
                    ++unsort.files;
                    continue;
                }
                // The sort's report describes the sort being undone: it gives
                // way to the project's file of its name.
                if (!IsReportName(name) || !LookOwnFile(RootFolder + name, report)) {
                    refuse("Can't move " + shownName + " back: \"" + name + "\" already exists");
                    continue;
                }
                plan.removes.push_back(report);
            }
            if (const auto [taken, fresh] = from.emplace(name, folder); !fresh) {
                refuse("Can't move " + shownName + " back: \"" + taken->second + "/" + name + "\" has the same name");
                continue;
            }
            plan.units.back().steps.push_back({path, RootFolder + name, StepKind::Move});
            backs.push_back(name);
            ++unsort.files;
        }
        if (error)
            refuse("Can't read folder " + RootFolder + folder + ": " + ErrorText(error));
        // The label and checksums the sort wrote go once every file is back,
        // while they are as the plan saw them; any other file keeps the
        // folder. The label is looked at first: the checksums list it too.
        // Their lines stay in the journal, for an undo to write them again.
        std::stable_partition(own.begin(), own.end(), [](const std::string& name) { return name == DiscLabelName; });
        for (const std::string& name : own) {
            const std::string path = RootFolder + folder + "/" + name;
            OwnFile file;
            if (!LookOwnFile(path, file))
                continue;
            if (std::optional<std::vector<std::string>> lines = SortWritten(folder, name, backs, path)) {
                plan.removes.push_back(file);
                plan.reports.emplace_back(folder + "/" + name, std::move(*lines));
                backs.push_back(name);
            }
        }
    }
    if (!plan.refusals.empty())
        plan.refusals.insert(plan.refusals.begin(), "Nothing was moved back.");
    return unsort;
}

FilePlan PlanSort(const orvoProjectList& list, const std::string& RootFolder, bool leaveUnsortable)
{
    const std::string& prefix = list.medium.prefix;
    const auto setName = [&](int n) { return prefix + "-" + SetLetters(list.firstSet + n); };
    const auto setFolder = [&](int n) { return RootFolder + setName(n); };

    // The projects the sort can't take stay in the folder, or refuse it.
    std::unordered_set<const orvoProject*> notSorted;
    const std::vector<orvoProjectList::Unsortable> unsortable = list.UnsortableProjects();
    for (const orvoProjectList::Unsortable& left : unsortable)
        notSorted.insert(left.project);
    // So do those a disc of the folder's backups holds already, unchanged.
    for (const auto& [project, set] : list.onDisc)
        notSorted.insert(project);
    const auto sorted = [&](const orvoProject& project) {
        return project.ReadFailure.empty() && project.BackupNum >= 0 && !notSorted.count(&project);
    };
    // The sets made: those that keep a project once the others stay.
    std::vector<int> made;
    for (const auto& project : list.projects)
        if (sorted(*project) && project->BackupNum < list.numBackups)
            made.push_back(project->BackupNum);
    std::sort(made.begin(), made.end());
    made.erase(std::unique(made.begin(), made.end()), made.end());

    // The sets follow those of earlier sorts, whose folders are not touched.
    // A set folder that holds nothing but its checksums and label (an undone
    // sort leaves them) is empty: the sort removes them as the first step of its plan.
    // Anything else with a set folder's name refuses the sort.
    std::vector<std::string> folders, checksumsOnly, refusals;
    for (const int n : made) {
        folders.push_back(setName(n));
        if (HoldsOnlyChecksums(setFolder(n)))
            checksumsOnly.push_back(folders.back());
        else if (EntryExists(setFolder(n)))
            refusals.push_back(FolderTaken(folders.back(), list.owners));
    }
    if (!refusals.empty()) {
        FilePlan refused;
        refused.kind = Operation::Sort;
        refused.refusals = std::move(refusals);
        refused.refusals.insert(refused.refusals.begin(), NotSorted({}, list.medium));
        return refused;
    }

    // Each project the sort can't take is named with every reason it has:
    // the first the list found, then each wave it misses (a project in no
    // set may miss waves too). Leaving every project in the folder would sort
    // nothing: the sort says why instead.
    if (unsortable.size() == static_cast<std::size_t>(list.projects.Count()))
        leaveUnsortable = false;
    for (const orvoProjectList::Unsortable& left : unsortable) {
        if (leaveUnsortable)
            continue;
        refusals.push_back(left.reason);
        if (left.project->ReadFailure.empty() && !FirstInvalidWave(*left.project))
            for (std::string& wave : WaveFailures(*left.project))
                if (wave != left.reason)
                    refusals.push_back(std::move(wave));
    }
    // A file leaves the folder only with every project that uses it, into one set.

    const auto whereTo = [&](const orvoProject& user) -> FilePlan::Destination {
        if (!sorted(user))
            return {"not sorted", false};
        const std::string set = setName(user.BackupNum);
        return user.ReadOnly ? FilePlan::Destination{"copied to " + set, false, set}
                             : FilePlan::Destination{set, true, set};
    };
    // The sort takes nearly every file of the folder: one listing, made now,
    // tells which are ordinary files.
    FilePlan plan;
    plan.kind = Operation::Sort;
    plan.root = RootFolder;
    plan.folders = std::move(folders);
    plan.refusals = std::move(refusals);
    plan.present = std::make_shared<const FolderListing>(RootFolder);
    for (const std::string& folder : checksumsOnly)
        for (const std::string& name : {ManifestName, DiscLabelName}) {
            OwnFile own;
            if (LookOwnFile(RootFolder + folder + "/" + name, own))
                plan.removes.push_back(own);
        }
    for (const auto& project : list.projects)
        if (sorted(*project))
            plan.AddProject(*project, setFolder(project->BackupNum) + "/", list.owners, whereTo);
    if (const Result refusal = ReportRefusal(list, RootFolder, &notSorted); refusal.Failed())
        plan.refusals.push_back(refusal.Message());
    if (!plan.refusals.empty()) {
        plan.refusals.insert(
            plan.refusals.begin(),
            NotSorted(leaveUnsortable ? std::vector<orvoProjectList::Unsortable>() : unsortable, list.medium));
        return plan;
    }
    if (std::optional<FileUnit> earlier = EarlierReports(RootFolder, list.owners))
        plan.units.insert(plan.units.begin(), std::move(*earlier));
    // The reports are part of the plan: a sort finished after a stop writes them as this one would.
    plan.reports = list.Reports(prefix, notSorted);
    const ReportTexts labels = DiscLabels(list, RootFolder, notSorted, made);
    plan.reports.insert(plan.reports.end(), labels.begin(), labels.end());
    return plan;
}

FilePlan PlanReports(const orvoProjectList& list, const std::string& RootFolder)
{
    FilePlan plan;
    plan.kind = Operation::Report;
    plan.root = RootFolder;
    if (const Result refusal = ReportRefusal(list, RootFolder, nullptr); refusal.Failed()) {
        plan.refusals.push_back(refusal.Message());
        return plan;
    }
    // The reports of an earlier sort say what went onto which disc: they are kept under their dated names.
    if (std::optional<FileUnit> earlier = EarlierReports(RootFolder, list.owners))
        plan.units.push_back(std::move(*earlier));
    plan.reports = list.Reports(list.medium.prefix, {});
    return plan;
}

FilePlan PlanMove(const orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& destDir)
{
    const std::unordered_set<const orvoProject*> chosen(selected.begin(), selected.end());
    // A file leaves the folder only with every project that uses it.
    const auto whereTo = [&](const orvoProject& user) -> FilePlan::Destination {
        if (!chosen.count(&user))
            return {"stays", false};
        return user.ReadOnly ? FilePlan::Destination{"copied", false} : FilePlan::Destination{"moves", true};
    };
    FilePlan plan;
    plan.kind = Operation::Move;
    plan.dest = destDir;
    plan.leavesMissingWaves = true;
    for (const auto& listed : list.projects) {
        orvoProject& project = *listed;
        if (!chosen.count(&project))
            continue;
        plan.root = project.ReadDir;
        if (!project.ReadFailure.empty())
            plan.refusals.push_back(NotReadText(project));
        else if (const auto wave = FirstInvalidWave(project))
            plan.refusals.push_back("Invalid wave file name: " + *wave);
        else
            plan.AddProject(project, destDir, list.owners, whereTo);
    }
    return plan;
}

Result MoveTest(const orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& destDir)
{
    std::string text;
    const std::unordered_set<const orvoProject*> chosen(selected.begin(), selected.end());
    for (const auto& project : list.projects) {
        if (chosen.count(project.get()) && project->MoveTest(destDir)) {
            if (text.empty())
                text = std::string("Already in destination directory:") + LineEnd;
            text += LineEnd + project->LastError;
        }
    }
    if (const FilePlan plan = PlanMove(list, selected, destDir); !plan.refusals.empty())
        text += (text.empty() ? "" : std::string(LineEnd) + LineEnd) + plan.RefusalText();
    return text.empty() ? Result() : Result(text, Result::Status::Refused);
}

RenamePlan PlanRename(const orvoProjectList& list, orvoProject& project, const std::string& newName)
{
    RenamePlan rename;
    FilePlan& plan = rename.plan;
    plan.kind = Operation::Rename;
    plan.root = project.ReadDir;
    const auto refuse = [&](std::string text) {
        plan.refusals.push_back(std::move(text));
        return std::move(rename);
    };
    if (newName == project.Name)
        return rename; // nothing to do
    // Names that would leave the folder, name a folder, or that no file name can hold.
    if (newName.find('/') != std::string::npos) {
        return refuse("A project name can't contain \"/\".");
    }
    if (std::any_of(newName.begin(), newName.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        return refuse("A project name can't contain control characters.");
    }
    if (newName.empty() || newName == "." || newName == "..") {
        return refuse("A project name can't be \"" + newName + "\".");
    }
    // Any file named like the new project would mix two projects; so would
    // another project's file of that name in another letter case, which the
    // scan takes for one project with it and reads neither.
    const std::string exists = "Project name " + newName + " already exists.  Can't rename.";
    const std::string folded = AsciiFolded(newName);
    for (const std::string_view name : list.owners.Names()) {
        const std::string_view stem = name.substr(0, name.size() - std::min<std::size_t>(name.size(), 4));
        if (FolderListing::IsOwnFileOf(name, newName)
            || (HasProjectExtension(name) && stem != project.Name && AsciiFolded(stem) == folded))
            return refuse(exists);
    }

    // The wave files keep their names, whichever project plays them.
    const std::size_t k = project.Name.size();
    for (const auto& file : project.OwnFiles()) {
        const std::optional<FolderOwners::Entry> entry = list.owners.Find(file);
        if (entry && !entry->players.empty())
            continue;
        const std::string renamed = newName + file.substr(k);
        if (renamed.size() > NAME_MAX) {
            return refuse("Can't rename " + project.Name + ": "
                          + ErrorText(std::make_error_code(std::errc::filename_too_long)));
        }
        // A file system that folds letter case finds the file itself under
        // its new spelling: that name is not taken.
        struct stat was {
        }, found{};
        if (::lstat((project.ReadDir + renamed).c_str(), &found) == 0
            && (::lstat((project.ReadDir + file).c_str(), &was) != 0
                || !SameEntryOtherSpelling(file, renamed, was, found))) {
            return refuse(exists);
        }
        if (const std::string reason = NotOrdinary(project.ReadDir, file); !reason.empty())
            plan.refusals.push_back(FileFailure(project.Name, "rename", file, "", reason));
        // A name that changes in letter case only goes through a hidden name:
        // a file system that folds case takes the new name for the old one.
        if (AsciiFolded(file) == AsciiFolded(renamed)) {
            const std::string hidden = "." + renamed + ".kelvark";
            plan.AddStep(project, {project.ReadDir + file, project.ReadDir + hidden, StepKind::Move});
            plan.AddStep(project, {project.ReadDir + hidden, project.ReadDir + renamed, StepKind::Move});
        } else {
            plan.AddStep(project, {project.ReadDir + file, project.ReadDir + renamed, StepKind::Move});
        }
        rename.renames.emplace_back(file, renamed);
    }
    if (newName[0] == '.')
        plan.refusals.insert(plan.refusals.begin(), "Project name " + newName + " would be hidden.  Can't rename.");
    if (!project.ReadFailure.empty())
        plan.refusals.insert(plan.refusals.begin(), NotReadText(project));
    return rename;
}

} // namespace kelvark
