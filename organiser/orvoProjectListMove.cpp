#include "orvoProjectList.h"

#include "BackupSet.h"
#include "FileOps.h"

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

} // namespace

bool orvoProjectList::Rearrange(const std::string& RootFolder, const std::string& prefix)
{
    const std::string firstFolder = RootFolder + prefix + "-" + SetLetters(0);
    std::error_code ignored;
    if (fs::exists(fs::symlink_status(firstFolder, ignored))) {
        ui.messages.Show("Backup folder \"" + firstFolder
                         + "\" already exists.  Empty and remove this folder to rearrange the files.");
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

    for (int n = 0; n < numBackups; ++n) {
        const fs::path folder = RootFolder + prefix + "-" + SetLetters(n);
        std::error_code error;
        if (!fs::create_directory(folder, error) && !error)
            error = std::make_error_code(std::errc::file_exists); // an existing folder is not ours to fill
        if (error) {
            ui.messages.Show(Describe(error));
            return true;
        }
    }

    ui.progress.Hide();
    ui.progress.Startup(projects.Count());
    int done = 0;
    for (const auto& project : projects) {
        // A cancel only closes the dialog: a sort that stopped halfway would
        // leave the sets incomplete.
        ui.progress.OK(done, project->Name);
        if (project->MoveToBackup(prefix)) {
            ui.messages.Show(project->LastError);
            return true;
        }
        ui.events.DoEvents();
        ++done;
    }
    return false;
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
    return found;
}

void orvoProjectList::MoveList(Grid& g, const std::string& destDir)
{
    int selected = 0;
    for (int r = 1; r <= projects.Count(); ++r)
        selected += IsSelected(g, r) ? 1 : 0;

    ui.progress.Hide();
    ui.progress.Startup(selected);
    int handled = 0;
    for (int p = 0; p < projects.Count(); ++p) {
        if (!IsSelected(g, p + 1))
            continue;
        const auto project = projects.Item(p);
        if (!ui.progress.OK(handled, project->Name))
            return;
        if (project->MoveProject(destDir)) {
            ui.messages.Show(project->LastError);
            return;
        }
        // A read-only project was copied: it is still here and keeps its row.
        if (!project->ReadOnly) {
            projects.Delete(p);
            g.RemoveRow(p + 1);
            --p;
        }
        ++handled;
    }
}

bool orvoProjectList::RenameFiles(Grid& g)
{
    int r = 1;
    for (const auto& project : projects) {
        if (IsSelected(g, r)) {
            const std::string newName = ui.input.Ask("Enter new name", "Rename project", project->Name);
            if (newName.empty() || project->Rename(newName))
                return false;
            g.SetText(r, newName);
            g.ClearSelection(r);
        }
        ++r;
    }
    return true;
}
