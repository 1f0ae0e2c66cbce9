#include "orvoProjectList.h"

#include "BackupSet.h"
#include "Commands.h"
#include "FileOps.h"
#include "Journal.h"

#include <climits>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Row r shows project r - 1; a grid with fewer rows than projects selects none of the rest.
bool IsSelected(const Grid& g, int r)
{
    return r <= g.RowCount() && g.IsSelected(r);
}

const orvoWave* FirstInvalidWave(const orvoProject& project)
{
    for (const auto& wave : project.waves)
        if (!orvoWave::IsValidName(wave->FileName))
            return wave.get();
    return nullptr;
}

std::string NotRead(const orvoProject& project)
{
    return "Project " + project.Name + " was not read: " + project.ReadFailure;
}

std::string FolderExists(const std::string& folder)
{
    return "Backup folder \"" + folder + "\" already exists.  Empty and remove this folder to rearrange the files.";
}

} // namespace

std::string orvoProjectList::ReadElsewhere(const std::string& RootFolder) const
{
    for (const auto& project : projects)
        if (project->ReadDir != RootFolder)
            return ReadFolderFirst(RootFolder);
    return {};
}

bool orvoProjectList::Rearrange(const std::string& RootFolder, const std::string& prefix)
{
    const auto setFolder = [&](int n) { return RootFolder + prefix + "-" + SetLetters(n); };
    if (const std::string elsewhere = ReadElsewhere(RootFolder); !elsewhere.empty()) {
        ui.messages.Show(elsewhere);
        return true;
    }
    if (EntryExists(setFolder(0))) {
        ui.messages.Show(FolderExists(setFolder(0)));
        return true;
    }
    // Every project must be able to go before any folder is made.
    for (const auto& project : projects) {
        if (project->BackupNum < 0) {
            ui.messages.Show("No backup directory defined for project " + project->Name);
            return true;
        }
    }
    for (const auto& project : projects) {
        if (const orvoWave* wave = FirstInvalidWave(*project)) {
            ui.messages.Show("Invalid wave file name: " + wave->FileName);
            return true;
        }
    }

    FilePlan plan;
    for (int n = 0; n < numBackups; ++n) {
        plan.folders.push_back(setFolder(n));
        if (n > 0 && EntryExists(setFolder(n)))
            plan.refusals.push_back(FolderExists(setFolder(n)));
    }
    for (const auto& project : projects)
        if (!project->ReadFailure.empty())
            plan.refusals.push_back(NotRead(*project));
    // A file leaves the folder only with every project that uses it, into one set.
    const auto whereTo = [&](const orvoProject& user) -> FilePlan::Destination {
        if (user.BackupNum < 0)
            return {"not sorted", false};
        const std::string set = prefix + "-" + SetLetters(user.BackupNum);
        return user.ReadOnly ? FilePlan::Destination{"copied to " + set, false} : FilePlan::Destination{set, true};
    };
    for (const auto& project : projects)
        if (project->ReadFailure.empty())
            plan.AddProject(*project, setFolder(project->BackupNum) + "/", owners, whereTo);
    if (ReportTest(RootFolder, true))
        plan.refusals.push_back(LastError);
    if (!plan.refusals.empty()) {
        ui.messages.Show(plan.RefusalText());
        return true;
    }

    Journal journal;
    if (const std::string failure = journal.Begin(Journal::Kind::Sort, RootFolder, plan); !failure.empty()) {
        ui.messages.Show(failure);
        return true;
    }
    for (std::size_t n = 0; n < plan.folders.size(); ++n) {
        std::error_code error;
        if (!fs::create_directory(plan.folders[n], error) && !error)
            error = std::make_error_code(std::errc::file_exists); // an existing folder is not ours to fill
        if (error) {
            // The folders made so far are empty: they go, so that a new sort is not blocked.
            for (std::size_t made = n; made-- > 0;)
                fs::remove(plan.folders[made], error);
            ui.messages.Show("Can't make folder \"" + fs::path(plan.folders[n]).filename().string()
                             + "\": " + Describe(error));
            return true;
        }
    }

    ui.progress.Hide();
    ui.progress.Startup(projects.Count());
    int done = 0;
    for (std::size_t k = 0; k < plan.units.size(); ++k) {
        const FileUnit& unit = plan.units[k];
        if (unit.projects.empty())
            continue;
        // In the window a cancel only closes the dialog: the sort goes on to its
        // end. Where the sort stops on a cancel, the journal stays so that the
        // sort can be finished or undone.
        if (!ui.progress.OK(done, unit.projects.front()->Name) && sortStopsOnCancel) {
            journal.Keep();
            ui.messages.Show(journal.Describe());
            return true;
        }
        if (const std::string failure = plan.RunUnit(k, &journal); !failure.empty()) {
            // The projects before it are sorted: the journal stays, so that the
            // sort can be finished once the cause is mended, or undone.
            journal.Keep();
            ui.messages.Show(failure);
            return true;
        }
        ui.events.DoEvents();
        done += static_cast<int>(unit.projects.size());
    }
    return false;
}

FilePlan orvoProjectList::PlanMove(Grid& g, const std::string& destDir)
{
    std::unordered_set<const orvoProject*> selected;
    for (int r = 1; r <= projects.Count(); ++r)
        if (IsSelected(g, r))
            selected.insert(projects.Item(r - 1).get());
    // A file leaves the folder only with every project that uses it.
    const auto whereTo = [&](const orvoProject& user) -> FilePlan::Destination {
        if (!selected.count(&user))
            return {"stays", false};
        return user.ReadOnly ? FilePlan::Destination{"copied", false} : FilePlan::Destination{"moves", true};
    };
    FilePlan plan;
    for (int r = 1; r <= projects.Count(); ++r) {
        orvoProject& project = *projects.Item(r - 1);
        if (!IsSelected(g, r))
            continue;
        if (!project.ReadFailure.empty())
            plan.refusals.push_back(NotRead(project));
        else if (const orvoWave* wave = FirstInvalidWave(project))
            plan.refusals.push_back("Invalid wave file name: " + wave->FileName);
        else
            plan.AddProject(project, destDir, owners, whereTo);
    }
    return plan;
}

bool orvoProjectList::MoveTest(Grid& g, const std::string& destDir)
{
    LastError.clear();
    bool found = false;
    int r = 1;
    for (const auto& project : projects) {
        if (IsSelected(g, r++) && project->MoveTest(destDir)) {
            if (LastError.empty())
                LastError = "Already in destination directory:\r\n";
            LastError += "\r\n" + project->LastError;
            found = true;
        }
    }
    if (const FilePlan plan = PlanMove(g, destDir); !plan.refusals.empty()) {
        LastError += (LastError.empty() ? "" : "\r\n\r\n") + plan.RefusalText();
        found = true;
    }
    return found;
}

void orvoProjectList::MoveList(Grid& g, const std::string& destDir)
{
    const FilePlan plan = PlanMove(g, destDir);
    if (!plan.refusals.empty()) {
        ui.messages.Show(plan.RefusalText());
        return;
    }
    int selected = 0;
    for (const auto& unit : plan.units)
        selected += static_cast<int>(unit.projects.size());

    Journal journal;
    if (!plan.units.empty()) {
        const std::string root = plan.units.front().projects.front()->ReadDir;
        if (const std::string failure = journal.Begin(Journal::Kind::Move, root, plan); !failure.empty()) {
            ui.messages.Show(failure);
            return;
        }
    }
    ui.progress.Hide();
    ui.progress.Startup(selected);
    int handled = 0;
    for (std::size_t k = 0; k < plan.units.size(); ++k) {
        const FileUnit& unit = plan.units[k];
        if (unit.projects.empty())
            continue;
        if (!ui.progress.OK(handled, unit.projects.front()->Name))
            return;
        if (const std::string failure = plan.RunUnit(k, &journal); !failure.empty()) {
            ui.messages.Show(failure);
            return;
        }
        // A read-only project was copied: it is still here and keeps its row.
        for (orvoProject* project : unit.projects)
            if (!project->ReadOnly)
                Drop(*project, g);
        handled += static_cast<int>(unit.projects.size());
    }
}

void orvoProjectList::Drop(const orvoProject& project, Grid& g)
{
    for (int p = 0; p < projects.Count(); ++p) {
        if (projects.Item(p).get() != &project)
            continue;
        owners.Forget(project);
        const auto keep = projects.Item(p); // the record outlives its removal from the list
        projects.Delete(p);
        g.RemoveRow(p + 1);
        return;
    }
}

bool orvoProjectList::RenameFiles(Grid& g)
{
    int r = 1;
    for (const auto& project : projects) {
        if (IsSelected(g, r)) {
            const std::string newName = ui.input.Ask("Enter new name", "Rename project", project->Name);
            if (newName.empty() || RenameProject(*project, newName))
                return false;
            g.SetText(r, newName);
            g.ClearSelection(r);
        }
        ++r;
    }
    return true;
}

bool orvoProjectList::RenameProject(orvoProject& project, const std::string& newName)
{
    const std::string failure = "Error in project.Rename: ";
    // Names that would leave the folder, name a folder, or that no file name can hold.
    if (newName.empty() || newName == "." || newName == ".."
        || newName.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        ui.messages.Show(failure + Describe(std::make_error_code(std::errc::invalid_argument)));
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
    for (const auto& file : project.OwnFiles()) {
        const std::optional<FolderOwners::Entry> entry = owners.Find(file);
        if (entry && !entry->players.empty()) {
            kept.push_back(file);
            continue;
        }
        const std::string renamed = newName + file.substr(k);
        if (renamed.size() > NAME_MAX) {
            ui.messages.Show(failure + Describe(std::make_error_code(std::errc::filename_too_long)));
            return true;
        }
        if (EntryExists(project.ReadDir + renamed)) {
            ui.messages.Show(exists);
            return true;
        }
        if (const std::string reason = NotOrdinary(project.ReadDir, file); !reason.empty())
            plan.refusals.push_back(FileFailure(project.Name, "rename", file, "", reason));
        plan.AddStep(project, {project.ReadDir + file, project.ReadDir + renamed, false});
    }
    if (newName[0] == '.')
        plan.refusals.insert(plan.refusals.begin(), "Project name " + newName + " would be hidden.  Can't rename.");
    if (!project.ReadFailure.empty())
        plan.refusals.insert(plan.refusals.begin(), NotRead(project));
    if (!plan.refusals.empty()) {
        ui.messages.Show(plan.RefusalText());
        return true;
    }
    if (!plan.units.empty()) {
        Journal journal;
        if (const std::string text = journal.Begin(Journal::Kind::Rename, project.ReadDir, plan); !text.empty()) {
            ui.messages.Show(text);
            return true;
        }
        if (const std::string text = plan.RunUnit(0, &journal); !text.empty()) {
            ui.messages.Show(text);
            return true;
        }
    }

    std::vector<std::pair<std::string, std::string>> renames;
    std::vector<std::string> files = kept;
    for (const auto& unit : plan.units)
        for (const auto& step : unit.steps) {
            renames.emplace_back(fs::path(step.from).filename().string(), fs::path(step.to).filename().string());
            files.push_back(renames.back().second);
        }
    std::sort(files.begin(), files.end(), FolderListing::NameLess);
    const std::string oldName = project.Name;
    project.Name = newName;
    project.SetOwnFiles(std::move(files));
    owners.Renamed(oldName, project, renames);
    return false;
}
