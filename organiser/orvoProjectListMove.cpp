#include "orvoProjectList.h"

#include "Commands.h"
#include "FileOps.h"
#include "Journal.h"
#include "Manifest.h"
#include "SetLetters.h"
#include "TextCodec.h"

#include <climits>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
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

// "Dust Choir was moved without "Dust Choir 07.wav", which was not found."
std::string MovedWithout(const orvoProject& project, const std::vector<std::string>& waves)
{
    return project.Name + (project.ReadOnly ? " was copied without " : " was moved without ") + NamedList(waves, true)
           + (waves.size() == 1 ? ", which was not found." : ", which were not found.");
}

// Why the sort can't make the set folder name in RootFolder, taken by an
// entry that is not an empty set folder: the advice fits what has the name.
std::string FolderTaken(const std::string& RootFolder, const std::string& name, const FolderOwners& owners)
{
    struct stat status {};
    if (::lstat((RootFolder + name).c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
        const std::optional<FolderOwners::Entry> entry = owners.Find(name);
        if (entry && entry->owner)
            return "\"" + name + "\" is a file of project " + entry->owner->Name
                   + " and has the name of a backup folder the sort makes. Rename the project to sort the folder.";
        return "\"" + name + "\" has the name of a backup folder the sort makes. Rename or move it to sort the folder.";
    }
    return "Backup folder \"" + RootFolder + name
           + "\" already exists.  Empty and remove this folder to rearrange the files.";
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

} // namespace

std::string orvoProjectList::ReadElsewhere(const std::string& RootFolder) const
{
    for (const auto& project : projects)
        if (project->ReadDir != RootFolder)
            return ReadFolderFirst(RootFolder);
    return {};
}

std::vector<orvoProjectList::Unsortable> orvoProjectList::UnsortableProjects() const
{
    std::unordered_map<const orvoProject*, std::string> why;
    std::vector<const orvoProject*> queue;
    const auto mark = [&](const orvoProject* project, std::string reason) {
        if (why.emplace(project, std::move(reason)).second)
            queue.push_back(project);
    };
    std::unordered_set<const orvoProject*> listed;
    for (const auto& project : projects)
        listed.insert(project.get());
    for (const auto& project : projects) {
        if (!project->ReadFailure.empty()) {
            mark(project.get(), NotReadText(*project));
        } else if (project->BackupNum < 0) {
            mark(project.get(), "Project " + project->Name + ": " + NoSetReason(*project));
        } else if (const auto wave = FirstInvalidWave(*project)) {
            mark(project.get(), "Project " + project->Name + ": invalid wave file name: " + *wave);
        } else {
            for (int i = 0; i < project->WaveCount(); ++i)
                if (!project->WaveName(i).empty() && project->WavePosition(i) == FolderListing::npos) {
                    mark(project.get(), WaveFailure(*project, std::string(project->WaveName(i))));
                    break;
                }
        }
    }
    // A file leaves the folder only with every project that uses it: the
    // projects that share a file with one that stays (or with one the read
    // left out) stay too.
    const auto forEachUser = [&](std::string_view file, const auto& visit) {
        if (const std::optional<FolderOwners::Entry> entry = owners.Find(file)) {
            for (const orvoProject* player : entry->players)
                visit(player);
            if (entry->owner)
                visit(entry->owner);
        }
    };
    if (owners.LeftOut())
        for (const auto& project : projects)
            if (!why.count(project.get()))
                for (const std::string_view file : project->FilesToMove())
                    forEachUser(file, [&](const orvoProject* user) {
                        if (!listed.count(user))
                            mark(project.get(), "Project " + project->Name + ": it shares \"" + std::string(file)
                                                    + "\" with " + user->Name + ", which the read left out");
                    });
    for (std::size_t next = 0; next < queue.size(); ++next) {
        const orvoProject* stays = queue[next];
        for (const std::string_view file : stays->FilesToMove())
            forEachUser(file, [&](const orvoProject* user) {
                if (listed.count(user))
                    mark(user, "Project " + user->Name + ": it shares \"" + std::string(file) + "\" with " + stays->Name
                                   + ", which can't be sorted");
            });
    }
    std::vector<Unsortable> found;
    for (const auto& project : projects)
        if (const auto reason = why.find(project.get()); reason != why.end())
            found.push_back({project.get(), reason->second});
    return found;
}

bool orvoProjectList::Rearrange(const std::string& RootFolder, const std::string& prefix, bool leaveUnsortable)
{
    const auto setFolder = [&](int n) { return RootFolder + prefix + "-" + SetLetters(n); };
    if (const std::string elsewhere = ReadElsewhere(RootFolder); !elsewhere.empty()) {
        ui.messages.Show(elsewhere);
        return true;
    }
    Journal journal;
    if (!Locked(journal, RootFolder, Operation::Sort))
        return true;

    // The sort takes nearly every file of the folder: one listing tells which
    // are ordinary files. It is made while the projects are checked and their
    // files planned, on a thread of its own where one can be had, else when
    // it is needed.
    std::future<std::shared_ptr<const FolderListing>> present = std::async(
        std::launch::async | std::launch::deferred, [&] { return std::make_shared<const FolderListing>(RootFolder); });

    // A set folder that holds nothing but its checksums (an undone sort leaves
    // them) is empty: the sort removes them as the first step of its plan.
    // Any other entry with a set folder's name refuses the sort.
    std::vector<std::string> folders, checksumsOnly, refusals;
    for (int n = 0; n < numBackups; ++n) {
        folders.push_back(prefix + "-" + SetLetters(n));
        if (HoldsOnlyChecksums(setFolder(n)))
            checksumsOnly.push_back(folders.back());
        else if (EntryExists(setFolder(n)))
            refusals.push_back(FolderTaken(RootFolder, folders.back(), owners));
    }
    if (!refusals.empty()) {
        std::string text;
        for (const std::string& line : refusals)
            text += line + LineEnd;
        ui.messages.Show(text + "Nothing was moved.");
        return true;
    }

    // The projects the sort can't take stay in the folder, or refuse it, each
    // named with its reason (a project that misses waves, with each of them).
    notSorted.clear();
    const std::vector<Unsortable> unsortable = UnsortableProjects();
    // Leaving every project in the folder would sort nothing: the sort says why instead.
    if (unsortable.size() == static_cast<std::size_t>(projects.Count()))
        leaveUnsortable = false;
    for (const Unsortable& left : unsortable) {
        notSorted.insert(left.project);
        if (leaveUnsortable)
            continue;
        std::vector<std::string> waves;
        if (left.project->ReadFailure.empty() && left.project->BackupNum >= 0 && !FirstInvalidWave(*left.project))
            waves = WaveFailures(*left.project);
        if (waves.empty())
            refusals.push_back(left.reason);
        else
            refusals.insert(refusals.end(), waves.begin(), waves.end());
    }
    // A file leaves the folder only with every project that uses it, into one set.
    const auto sorted = [&](const orvoProject& project) {
        return project.ReadFailure.empty() && project.BackupNum >= 0 && !notSorted.count(&project);
    };

    const auto whereTo = [&](const orvoProject& user) -> FilePlan::Destination {
        if (!sorted(user))
            return {"not sorted", false};
        const std::string set = prefix + "-" + SetLetters(user.BackupNum);
        return user.ReadOnly ? FilePlan::Destination{"copied to " + set, false, set}
                             : FilePlan::Destination{set, true, set};
    };
    const auto planFiles = [&](std::shared_ptr<const FolderListing> listing) {
        FilePlan plan;
        plan.kind = Operation::Sort;
        plan.root = RootFolder;
        plan.folders = folders;
        plan.refusals = refusals;
        plan.present = std::move(listing);
        for (const std::string& folder : checksumsOnly) {
            OwnFile checksums;
            if (LookOwnFile(RootFolder + folder + "/" + ManifestName, checksums))
                plan.removes.push_back(checksums);
        }
        for (const auto& project : projects)
            if (sorted(*project))
                plan.AddProject(*project, setFolder(project->BackupNum) + "/", owners, whereTo);
        return plan;
    };
    // The files are planned from the folder as the scan found it while the
    // new listing is made; when that listing differs, they are planned again
    // from it.
    const std::shared_ptr<const FolderListing> scanned = owners.Scanned();
    FilePlan plan = scanned ? planFiles(scanned) : FilePlan();
    if (const auto listing = present.get(); !scanned || !listing->SameNames(*scanned))
        plan = planFiles(listing);
    if (ReportTest(RootFolder, true))
        plan.refusals.push_back(LastError);
    if (!plan.refusals.empty()) {
        notSorted.clear();
        plan.refusals.push_back("Nothing was moved.");
    }
    // The reports are part of the plan: a sort finished after a stop writes them as this one would.
    plan.reports = Reports(prefix);
    const bool stopped = Execute(journal, plan) != Outcome::Done;
    notSorted.clear();
    return stopped;
}

Outcome orvoProjectList::Execute(Journal& journal, FilePlan& plan)
{
    if (!plan.refusals.empty()) {
        ui.messages.Show(plan.RefusalText());
        return Outcome::Failed;
    }
    if (const Result failure = journal.Begin(plan); failure.Failed()) {
        ui.messages.Show(failure.Message());
        return Outcome::Failed;
    }
    return RunPlan(plan, journal, ui.progress, ui.messages);
}

bool orvoProjectList::Locked(Journal& journal, const std::string& folder, Operation kind)
{
    const Result refusal = journal.Lock(folder, kind);
    if (refusal.Failed())
        ui.messages.Show(refusal.Message());
    return !refusal.Failed();
}

FilePlan orvoProjectList::PlanMove(const std::vector<orvoProject*>& selected, const std::string& destDir)
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
    for (const auto& listed : projects) {
        orvoProject& project = *listed;
        if (!chosen.count(&project))
            continue;
        plan.root = project.ReadDir;
        if (!project.ReadFailure.empty())
            plan.refusals.push_back(NotReadText(project));
        else if (const auto wave = FirstInvalidWave(project))
            plan.refusals.push_back("Invalid wave file name: " + *wave);
        else
            plan.AddProject(project, destDir, owners, whereTo);
    }
    return plan;
}

bool orvoProjectList::MoveTest(const std::vector<orvoProject*>& selected, const std::string& destDir)
{
    LastError.clear();
    bool found = false;
    const std::unordered_set<const orvoProject*> chosen(selected.begin(), selected.end());
    for (const auto& project : projects) {
        if (chosen.count(project.get()) && project->MoveTest(destDir)) {
            if (LastError.empty())
                LastError = std::string("Already in destination directory:") + LineEnd;
            LastError += LineEnd + project->LastError;
            found = true;
        }
    }
    if (const FilePlan plan = PlanMove(selected, destDir); !plan.refusals.empty()) {
        LastError += (LastError.empty() ? "" : std::string(LineEnd) + LineEnd) + plan.RefusalText();
        found = true;
    }
    return found;
}

Outcome orvoProjectList::MoveList(const std::vector<orvoProject*>& selected, const std::string& destDir)
{
    FilePlan plan = PlanMove(selected, destDir);
    if (plan.units.empty() && plan.refusals.empty())
        return Outcome::Done;
    Journal journal;
    if (!Locked(journal, plan.root, Operation::Move))
        return Outcome::Failed;
    const Outcome outcome = Execute(journal, plan);
    // A read-only project was copied: it is still here.
    std::string without;
    for (const auto& unit : plan.units)
        if (unit.done)
            for (orvoProject* project : unit.projects) {
                if (const auto left = plan.movedWithout.find(project); left != plan.movedWithout.end())
                    without += (without.empty() ? "" : LineEnd) + MovedWithout(*project, left->second);
                if (!project->ReadOnly)
                    Drop(*project);
            }
    if (!without.empty())
        ui.messages.Show(without);
    return outcome;
}

void orvoProjectList::Drop(const orvoProject& project)
{
    const int p = projects.ItemIndex(&project);
    if (p == acList<orvoProject>::Absent)
        return;
    owners.Forget(project);
    const auto keep = projects.Item(p); // the record outlives its removal from the list
    projects.Delete(p);
}

bool orvoProjectList::RenameProject(orvoProject& project, const std::string& newName)
{
    if (newName == project.Name)
        return false; // nothing to do
    // Names that would leave the folder, name a folder, or that no file name can hold.
    if (newName.find('/') != std::string::npos) {
        ui.messages.Show("A project name can't contain \"/\".");
        return true;
    }
    if (std::any_of(newName.begin(), newName.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        ui.messages.Show("A project name can't contain control characters.");
        return true;
    }
    if (newName.empty() || newName == "." || newName == "..") {
        ui.messages.Show("A project name can't be \"" + newName + "\".");
        return true;
    }
    // Any file named like the new project, and any other project file of that
    // name in another letter case, would mix two projects.
    const std::string exists = "Project name " + newName + " already exists.  Can't rename.";
    const std::string projectFile = newName + ".cue";
    for (const std::string_view name : owners.Names()) {
        if (FolderListing::IsOwnFileOf(name, newName)
            || (name.size() == projectFile.size() && !FolderListing::NameLess(name, projectFile)
                && !FolderListing::NameLess(projectFile, name) && HasProjectExtension(name))) {
            ui.messages.Show(exists);
            return true;
        }
    }

    // The wave files keep their names, whichever project plays them.
    const std::size_t k = project.Name.size();
    FilePlan plan;
    std::vector<std::string> kept;
    std::vector<std::pair<std::string, std::string>> renames;
    for (const auto& file : project.OwnFiles()) {
        const std::optional<FolderOwners::Entry> entry = owners.Find(file);
        if (entry && !entry->players.empty()) {
            kept.push_back(file);
            continue;
        }
        const std::string renamed = newName + file.substr(k);
        if (renamed.size() > NAME_MAX) {
            ui.messages.Show("Can't rename " + project.Name + ": "
                             + ErrorText(std::make_error_code(std::errc::filename_too_long)));
            return true;
        }
        // A file system that folds letter case finds the file itself under
        // its new spelling: that name is not taken.
        struct stat was {
        }, found{};
        if (::lstat((project.ReadDir + renamed).c_str(), &found) == 0
            && (::lstat((project.ReadDir + file).c_str(), &was) != 0
                || !SameEntryOtherSpelling(file, renamed, was, found))) {
            ui.messages.Show(exists);
            return true;
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
        renames.emplace_back(file, renamed);
    }
    if (newName[0] == '.')
        plan.refusals.insert(plan.refusals.begin(), "Project name " + newName + " would be hidden.  Can't rename.");
    if (!project.ReadFailure.empty())
        plan.refusals.insert(plan.refusals.begin(), NotReadText(project));
    if (!plan.refusals.empty()) {
        ui.messages.Show(plan.RefusalText());
        return true;
    }
    if (!plan.units.empty()) {
        plan.kind = Operation::Rename;
        plan.root = project.ReadDir;
        Journal journal;
        if (!Locked(journal, plan.root, Operation::Rename) || Execute(journal, plan) != Outcome::Done)
            return true;
    }

    std::vector<std::string> files = kept;
    for (const auto& [from, to] : renames)
        files.push_back(to);
    std::sort(files.begin(), files.end(), FolderListing::NameLess);
    const std::string oldName = project.Name;
    project.Name = newName;
    project.SetOwnFiles(files);
    owners.Renamed(oldName, project, renames);
    return false;
}

} // namespace kelvark
