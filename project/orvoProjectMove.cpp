#include "BackupSet.h"
#include "FileOps.h"
#include "orvoProject.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// One file operation that a later failure of the same project takes back.
struct Step {
    fs::path from;
    fs::path to;
    bool undone = false;
};

// Takes the steps back, newest first: moves the files back, or removes the
// copies. A step that cannot be taken back is left as it is; the returned
// lines name each one.
std::string Undo(std::vector<Step>& steps, bool copied)
{
    std::string failures;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        const std::error_code error = copied ? RemoveFile(step->to) : MoveNoReplace(step->to, step->from);
        step->undone = !error;
        if (error && copied)
            failures += "\r\nCould not remove the copy " + step->to.string() + ": " + Describe(error);
        else if (error)
            failures += "\r\nCould not move " + step->to.string() + " back to " + step->from.string() + ": "
                        + Describe(error);
    }
    return failures;
}

bool IsWaveOf(const orvoProject& project, const std::string& name)
{
    return std::any_of(project.waves.begin(), project.waves.end(),
                       [&](const auto& wave) { return wave->FileName == name; });
}

// The files a move or a conflict test handles: the project's own files, then
// the wave files it plays. A wave without a name names no file, an invalid name
// is never touched, and a wave that is also an own file is handled once.
std::vector<std::string> FilesOf(const orvoProject& project)
{
    std::vector<std::string> files = project.OwnFiles();
    // The names taken so far, looked up without walking the list: a project
    // file may name tens of thousands of waves.
    std::unordered_set<std::string> taken(files.begin(), files.end());
    for (const auto& wave : project.waves) {
        const std::string& name = wave->FileName;
        if (!name.empty() && orvoWave::IsValidName(name) && taken.insert(name).second)
            files.push_back(name);
    }
    return files;
}

// An entry of any kind (file, folder, link) blocks a move, so the test looks for all of them.
bool EntryExists(const fs::path& path)
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

} // namespace

bool orvoProject::MoveProject(const std::string& destDir)
{
    for (const auto& wave : waves) {
        if (!orvoWave::IsValidName(wave->FileName)) {
            LastError = "Invalid wave file name: " + wave->FileName;
            return true;
        }
    }
    std::vector<Step> steps;
    for (const auto& name : FilesOf(*this)) {
        Step step{ReadDir + name, destDir + name};
        const std::error_code error = ReadOnly ? CopyNoReplace(step.from, step.to) : MoveNoReplace(step.from, step.to);
        if (error) {
            // The project goes back whole to where it was.
            LastError = Describe(error) + Undo(steps, ReadOnly);
            return true;
        }
        steps.push_back(std::move(step));
    }
    return false;
}

bool orvoProject::MoveTest(const std::string& destDir)
{
    LastError.clear();
    bool found = false;
    for (const auto& name : FilesOf(*this)) {
        if (EntryExists(destDir + name)) {
            AddError(name);
            found = true;
        }
    }
    return found;
}

bool orvoProject::MoveToBackup(const std::string& prefix)
{
    if (BackupNum < 0) {
        LastError = "No backup directory defined for project " + Name;
        return true;
    }
    return MoveProject(ReadDir + prefix + "-" + SetLetters(BackupNum) + "/");
}

bool orvoProject::Rename(const std::string& newName)
{
    const std::string failure = "Error in project.Rename: ";
    // Names that would leave the folder, name a folder, or that no file name can hold.
    if (newName.empty() || newName == "." || newName == ".." || newName.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        messages.Show(failure + Describe(std::make_error_code(std::errc::invalid_argument)));
        return true;
    }
    if (!FolderListing(ReadDir).OwnFiles(newName).empty()) {
        messages.Show("Project name " + newName + " already exists.  Can't rename.");
        return true;
    }

    // The wave files keep their names, even one that is named like the project.
    const std::size_t k = Name.size();
    std::vector<std::size_t> renamed;
    for (std::size_t i = 0; i < fileList.size(); ++i)
        if (!IsWaveOf(*this, fileList[i]))
            renamed.push_back(i);
    for (const std::size_t i : renamed) {
        if (newName.size() + fileList[i].size() - k > NAME_MAX) {
            messages.Show(failure + Describe(std::make_error_code(std::errc::filename_too_long)));
            return true;
        }
    }

    std::vector<Step> steps;
    for (const std::size_t i : renamed) {
        Step step{ReadDir + fileList[i], ReadDir + newName + fileList[i].substr(k)};
        if (const std::error_code error = MoveNoReplace(step.from, step.to)) {
            // The project keeps its old name whole; a file that cannot go back is named.
            std::string failures = Undo(steps, false);
            for (std::size_t j = 0; j < steps.size(); ++j)
                if (!steps[j].undone)
                    fileList[renamed[j]] = steps[j].to.filename().string();
            messages.Show(failure + Describe(error) + failures);
            return true;
        }
        steps.push_back(std::move(step));
    }
    for (std::size_t j = 0; j < steps.size(); ++j)
        fileList[renamed[j]] = steps[j].to.filename().string();
    Name = newName;
    return false;
}
