#include "FilePlan.h"

#include "FileOps.h"
#include "TextCodec.h"
#include "idata_common.h"
#include "orvoProjectList.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kelvark {

void FilePlan::AddProject(orvoProject& project, const std::string& destDir, const FolderOwners& owners,
                          const std::function<Destination(const orvoProject&)>& whereTo)
{
    const std::string verb = project.ReadOnly ? "copy" : "move";
    // Every file that can't go is named: the message that shows the refusals
    // bounds what it shows at once.
    const auto refuse = [&](std::string_view file, const std::string& reason) {
        refusals.push_back(FileFailure(project.Name, verb, std::string(file), "", reason));
    };
    // A wave the scan did not find is not an ordinary file of the folder
    // (missing, a folder, a link, hidden): it is never touched.
    for (int i = 0; i < project.WaveCount(); ++i) {
        if (project.WaveName(i).empty() || project.WavePosition(i) != FolderListing::npos)
            continue;
        const std::string wave(project.WaveName(i));
        if (leavesMissingWaves && WaveMissing(project, wave))
            movedWithout[&project].push_back(wave);
        else
            refusals.push_back(WaveFailure(project, wave));
    }

    const bool listed = present && project.ReadDir == root;
    std::size_t unit = units.size();
    const std::vector<std::string_view> files = project.FilesToMove();
    // A path of a folder and a name, made at its full length at once.
    const auto pathOf = [](const std::string& folder, std::string_view name) {
        std::string path;
        path.reserve(folder.size() + name.size());
        return path.append(folder).append(name);
    };
    std::vector<FileStep> steps;
    steps.reserve(files.size()); // a sort plans tens of thousands of steps: no growing by halves
    // The steps of files that other projects may take too: only those are
    // looked up among the destinations planned, and added to them.
    std::vector<std::size_t> shared;
    for (const std::string_view name : files) {
        // The listing holds ordinary files only; a file it lacks is looked up, for the reason why.
        if (const std::string reason =
                listed && present->Contains(name) ? std::string() : NotOrdinary(project.ReadDir, std::string(name));
            !reason.empty()) {
            refuse(name, reason);
            continue;
        }
        // A file of this project alone goes where the project goes; one that
        // other projects use too goes only where they all go.
        const std::optional<FolderOwners::Entry> entry = owners.Find(name);
        const auto isThis = [&](const orvoProject* user) { return user == &project; };
        const bool alone = entry && std::all_of(entry->players.begin(), entry->players.end(), isThis)
                           && (!entry->owner || isThis(entry->owner));
        StepKind kind = project.ReadOnly ? StepKind::Copy : StepKind::Move;
        if (entry && !alone) {
            std::vector<const orvoProject*> users(entry->players.begin(), entry->players.end());
            if (entry->owner && std::find(users.begin(), users.end(), entry->owner) == users.end())
                users.insert(users.begin(), entry->owner);
            std::vector<Destination> where;
            where.reserve(users.size());
            for (const orvoProject* user : users)
                where.push_back(whereTo(*user));
            const auto mover = std::find_if(where.begin(), where.end(), [](const Destination& d) { return d.moves; });
            const bool splits =
                mover != where.end() && std::any_of(where.begin(), where.end(), [&](const Destination& d) {
                    return d.moves ? d.label != mover->label : d.set.empty() || d.set != mover->set;
                });
            if (std::any_of(where.begin(), where.end(), [](const Destination& d) { return !d.moves; }))
                kind = StepKind::Copy;
            if (splits) {
                if (refused.emplace(name).second) {
                    std::string text = "Can't " + verb + " \"" + std::string(name) + "\": it is used by ";
                    for (std::size_t i = 0; i < users.size(); ++i)
                        text += (i ? ", " : "") + users[i]->Name + " (" + where[i].label + ")";
                    refusals.push_back(text);
                }
                continue;
            }
        }
        std::string to = pathOf(destDir, name);
        const auto taken = alone ? planned.end() : planned.find(to);
        if (taken == planned.end()) {
            if (!alone)
                shared.push_back(steps.size());
            steps.push_back({pathOf(project.ReadDir, name), std::move(to), kind});
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
            into.names.insert(into.names.end(), from.names.begin(), from.names.end());
            into.steps.insert(into.steps.end(), from.steps.begin(), from.steps.end());
            for (const auto& step : from.steps)
                if (const auto moved = planned.find(step.to); moved != planned.end())
                    moved->second = std::min(unit, other);
            from = FileUnit();
            unit = std::min(unit, other);
        }
    }
    if (unit == units.size())
        units.emplace_back();
    FileUnit& into = units[unit];
    into.projects.push_back(&project);
    into.names.push_back(project.Name);
    for (const std::size_t i : shared)
        planned[steps[i].to] = unit;
    if (into.steps.empty()) {
        into.steps = std::move(steps);
    } else {
        into.steps.reserve(into.steps.size() + steps.size());
        std::move(steps.begin(), steps.end(), std::back_inserter(into.steps));
    }
}

void FilePlan::AddStep(orvoProject& project, FileStep step)
{
    if (units.empty() || units.back().projects != std::vector<orvoProject*>{&project})
        units.push_back({{&project}, {project.Name}, {}, {}, false, {}, {}});
    units.back().steps.push_back(std::move(step));
}

PlacedFile PlacedFile::Of(const struct stat& status)
{
    constexpr std::int64_t Billion = 1000000000;
    return {static_cast<std::uint64_t>(status.st_ino), static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * Billion + status.st_mtim.tv_nsec,
            static_cast<std::int64_t>(status.st_ctim.tv_sec) * Billion + status.st_ctim.tv_nsec};
}

FilePlan FilePlan::Inverse() const
{
    FilePlan inverse;
    inverse.kind = kind;
    inverse.root = root;
    inverse.dest = dest;
    inverse.folders = folders;
    inverse.makesFolders = !makesFolders;
    inverse.readBack = readBack;
    inverse.undoing = !undoing;
    inverse.reports = reports;
    for (auto unit = units.rbegin(); unit != units.rend(); ++unit) {
        FileUnit back{unit->projects, unit->names, {}, {}, false, {}, {}};
        for (auto step = unit->steps.rbegin(); step != unit->steps.rend(); ++step) {
            switch (step->kind) {
            case StepKind::Move: back.steps.push_back({step->to, step->from, StepKind::Move}); break;
            case StepKind::Copy: back.steps.push_back({step->to, step->from, StepKind::Uncopy}); break;
            case StepKind::Uncopy: back.steps.push_back({step->to, step->from, StepKind::Copy}); break;
            }
        }
        back.stamps.assign(unit->stamps.rbegin(), unit->stamps.rend());
        back.sums.assign(unit->sums.rbegin(), unit->sums.rend());
        back.placed.assign(unit->placed.rbegin(), unit->placed.rend());
        inverse.units.push_back(std::move(back));
    }
    return inverse;
}

std::string FilePlan::RefusalText() const
{
    std::string text;
    for (const auto& line : refusals)
        text += (text.empty() ? "" : LineEnd) + line;
    return text;
}

bool FilePlan::RenamesReports(std::size_t k) const
{
    // A sort's other steps take files into its set folders (an undo out of them).
    const FileUnit& unit = units[k];
    const auto inRoot = [&](const std::string& path) {
        return fs::path(path).parent_path() == fs::path(root).parent_path();
    };
    return (kind == Operation::Sort || kind == Operation::Report) && !unit.steps.empty()
           && inRoot(unit.steps.front().from) && inRoot(unit.steps.front().to);
}

std::string FilePlan::UnitLabel(std::size_t k) const
{
    const FileUnit& unit = units[k];
    if (kind == Operation::Unsort)
        return "Folder " + Joined(unit.names);
    if (RenamesReports(k))
        return "Reports " + Joined(unit.names);
    return (unit.names.size() == 1 ? "Project " : "Projects ") + Joined(unit.names);
}

std::string FilePlan::Shown(const std::string& path) const
{
    return path.starts_with(root) ? path.substr(root.size()) : path;
}

} // namespace kelvark
