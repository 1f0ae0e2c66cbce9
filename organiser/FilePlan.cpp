#include "FilePlan.h"

#include "FileOps.h"
#include "Journal.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string Verb(const FileStep& step)
{
    if (step.copy)
        return "copy";
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

std::string Names(const std::vector<orvoProject*>& projects)
{
    std::string names;
    for (const orvoProject* project : projects)
        names += (names.empty() ? "" : ", ") + project->Name;
    return names;
}

} // namespace

std::string NotRegular(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return Describe({errno, std::generic_category()});
    if (S_ISLNK(status.st_mode))
        return "it is a symbolic link";
    if (S_ISDIR(status.st_mode))
        return "it is a folder";
    return S_ISREG(status.st_mode) ? std::string() : "it is not a regular file";
}

std::string NotOrdinary(const std::string& folder, const std::string& name)
{
    if (std::string reason = NotRegular(folder + name); !reason.empty())
        return reason;
    return !name.empty() && name[0] == '.' ? "it is a hidden file" : std::string();
}

std::string FileFailure(const std::string& project, const std::string& verb, const std::string& file,
                        const std::string& dest, const std::string& reason)
{
    return (project.empty() ? "Can't " : "Project " + project + ": can't ") + verb + " \"" + file + "\"" + (dest.empty() ? "" : " to \"" + dest + "\"")
           + ": " + reason;
}

void FilePlan::AddProject(orvoProject& project, const std::string& destDir, const FolderOwners& owners,
                          const std::function<Destination(const orvoProject&)>& whereTo)
{
    const std::string verb = project.ReadOnly ? "copy" : "move";
    // A project of thousands of missing files is named with its first few.
    constexpr std::size_t shown = 10;
    const std::size_t first = refusals.size();
    std::size_t more = 0;
    const auto refuse = [&](const std::string& file, const std::string& reason) {
        if (refusals.size() - first < shown)
            refusals.push_back(FileFailure(project.Name, verb, file, "", reason));
        else
            ++more;
    };
    // A wave the scan did not find is not an ordinary file of the folder
    // (missing, a folder, a link, hidden): it is never touched.
    for (const auto& wave : project.waves)
        if (!wave->FileName.empty() && wave->DiskName().empty()) {
            const std::string reason = NotOrdinary(project.ReadDir, wave->FileName);
            refuse(wave->FileName, reason.empty() ? "it was not found when the folder was read" : reason);
        }

    std::size_t unit = units.size();
    std::vector<FileStep> steps;
    for (const auto& name : project.FilesToMove()) {
        if (const std::string reason = NotOrdinary(project.ReadDir, name); !reason.empty()) {
            refuse(name, reason);
            continue;
        }
        if (const std::optional<FolderOwners::Entry> entry = owners.Find(name)) {
            std::vector<const orvoProject*> users(entry->players.begin(), entry->players.end());
            if (entry->owner && std::find(users.begin(), users.end(), entry->owner) == users.end())
                users.insert(users.begin(), entry->owner);
            std::vector<Destination> where;
            for (const orvoProject* user : users)
                where.push_back(whereTo(*user));
            const auto mover = std::find_if(where.begin(), where.end(), [](const Destination& d) { return d.moves; });
            const bool splits = mover != where.end() && std::any_of(where.begin(), where.end(), [&](const Destination& d) {
                return !d.moves || d.label != mover->label;
            });
            if (splits) {
                if (refused.insert(name).second) {
                    std::string text = "Can't " + verb + " \"" + name + "\": it is used by ";
                    for (std::size_t i = 0; i < users.size(); ++i)
                        text += (i ? ", " : "") + users[i]->Name + " (" + where[i].label + ")";
                    refusals.push_back(text);
                }
                continue;
            }
        }
        const std::string to = destDir + name;
        const auto taken = planned.find(to);
        if (taken == planned.end()) {
            steps.push_back({project.ReadDir + name, to, project.ReadOnly});
            continue;
        }
        // A file the plan already takes there: this project goes with the project that takes it.
        std::size_t other = taken->second;
        if (unit == units.size()) {
            unit = other;
        } else if (other != unit) {
            FileUnit& from = units[std::max(unit, other)];
            FileUnit& into = units[std::min(unit, other)];
            into.projects.insert(into.projects.end(), from.projects.begin(), from.projects.end());
            into.steps.insert(into.steps.end(), from.steps.begin(), from.steps.end());
            for (const auto& step : from.steps)
                planned[step.to] = std::min(unit, other);
            from = FileUnit();
            unit = std::min(unit, other);
        }
    }
    if (more > 0)
        refusals.push_back("Project " + project.Name + ": can't " + verb + " " + std::to_string(more) + " more files");
    if (unit == units.size())
        units.emplace_back();
    units[unit].projects.push_back(&project);
    for (auto& step : steps) {
        planned[step.to] = unit;
        units[unit].steps.push_back(std::move(step));
    }
}

void FilePlan::AddStep(orvoProject& project, FileStep step)
{
    if (units.empty() || units.back().projects != std::vector<orvoProject*>{&project})
        units.push_back({{&project}, {}});
    units.back().steps.push_back(std::move(step));
}

std::string FilePlan::RunUnit(std::size_t k, Journal* journal) const
{
    const FileUnit& unit = units[k];
    for (std::size_t i = 0; i < unit.steps.size(); ++i) {
        const FileStep& step = unit.steps[i];
        const std::error_code error = step.copy ? CopyNoReplace(step.from, step.to) : MoveNoReplace(step.from, step.to);
        if (!error)
            continue;
        std::string text;
        if (error == std::errc::cross_device_link && i == 0) {
            if (journal)
                journal->Across(k);
            text = CopyUnitAcross(k);
            if (text.empty())
                break;
            // Copies left behind (a source that could not be removed): the
            // journal stays, so that recover removes the rest or the copies.
            if (journal && std::any_of(unit.steps.begin(), unit.steps.end(),
                                       [](const FileStep& done) { return EntryExists(done.to); }))
                journal->Keep();
        } else {
            text = FileFailure(Names(unit.projects), Verb(step), fs::path(step.from).filename().string(),
                               ShownDestination(step), Describe(error));
        }
        // The projects go back whole to where they were, newest step first; a
        // step that cannot be taken back is named.
        bool whole = true;
        for (std::size_t j = i; j-- > 0;) {
            const FileStep& done = unit.steps[j];
            const std::error_code undo = done.copy ? RemoveFile(done.to) : MoveNoReplace(done.to, done.from);
            whole = whole && !undo;
            if (undo && done.copy)
                text += "\r\nCould not remove the copy " + done.to + ": " + Describe(undo);
            else if (undo)
                text += "\r\nCould not move " + done.to + " back to " + done.from + ": " + Describe(undo);
        }
        if (journal && !whole)
            journal->Keep();
        return text;
    }
    if (journal)
        journal->Done(k);
    return {};
}

// The unit's destination is on another file system: every file is copied and
// its size checked, and only then are the sources of its moves removed. On
// failure the copies made are removed.
std::string FilePlan::CopyUnitAcross(std::size_t k) const
{
    const FileUnit& unit = units[k];
    for (std::size_t i = 0; i < unit.steps.size(); ++i) {
        const FileStep& step = unit.steps[i];
        std::error_code error = CopyNoReplace(step.from, step.to);
        if (!error && FileLength(step.from) != FileLength(step.to)) {
            RemoveFile(step.to);
            error = std::make_error_code(std::errc::io_error);
        }
        if (!error)
            continue;
        std::string text = FileFailure(Names(unit.projects), "copy", fs::path(step.from).filename().string(),
                                       ShownDestination(step), Describe(error));
        for (std::size_t j = i; j-- > 0;)
            if (const std::error_code undo = RemoveFile(unit.steps[j].to))
                text += "\r\nCould not remove the copy " + unit.steps[j].to + ": " + Describe(undo);
        return text;
    }
    for (const auto& step : unit.steps)
        if (!step.copy)
            if (const std::error_code error = RemoveFile(step.from))
                return FileFailure(Names(unit.projects), "remove", fs::path(step.from).filename().string(), "",
                                   Describe(error));
    return {};
}

std::string FilePlan::RefusalText() const
{
    std::string text;
    for (const auto& line : refusals)
        text += (text.empty() ? "" : "\r\n") + line;
    return text;
}
