#include "FolderOwners.h"

#include <algorithm>

void FolderOwners::Build(std::shared_ptr<const FolderListing> scanned, const std::vector<orvoProject*>& listed,
                         std::vector<std::shared_ptr<orvoProject>> others)
{
    entries.clear();
    projects.clear();
    newNames.clear();
    listing = std::move(scanned);
    leftOut = std::move(others);
    std::vector<orvoProject*> all = listed;
    for (const auto& project : leftOut)
        all.push_back(project.get());

    for (const orvoProject* project : all)
        projects.emplace(project->Name, project); // two project files of one name: the first owns
    entries.reserve(listing->Names().size());
    for (const auto& name : listing->Names())
        entries.emplace(name, Entry());
    for (const orvoProject* project : all)
        for (const auto& wave : project->waves) {
            const auto found = entries.find(std::string_view(wave->DiskName));
            if (found == entries.end())
                continue;
            auto& players = found->second.players;
            if (players.empty() || players.back() != project) // two names may find one file
                players.push_back(project);
        }

    std::unordered_map<const orvoProject*, std::vector<std::string>> ownFiles;
    for (const auto& name : listing->Names()) {
        const std::string_view ownerName = OwnerName(name);
        if (ownerName.empty())
            continue;
        const orvoProject* owner = projects.find(ownerName)->second;
        Entry& entry = entries.find(std::string_view(name))->second;
        if (!entry.players.empty() && std::find(entry.players.begin(), entry.players.end(), owner) == entry.players.end())
            continue; // another project's wave
        entry.owner = owner;
        ownFiles[owner].push_back(name);
    }
    // A project that could not be read has no files of its own to size; what
    // it owns is still kept from every other project.
    for (orvoProject* project : all)
        if (project->ReadFailure.empty())
            project->SetOwnFiles(std::move(ownFiles[project]));
}

const FolderOwners::Entry* FolderOwners::Find(const std::string& name) const
{
    const auto found = entries.find(std::string_view(name));
    return found == entries.end() ? nullptr : &found->second;
}

const orvoProject* FolderOwners::Project(const std::string& name) const
{
    const auto found = projects.find(std::string_view(name));
    return found == projects.end() ? nullptr : found->second;
}

std::string_view FolderOwners::OwnerName(std::string_view file, const std::string& oldName,
                                         const std::string& newName) const
{
    const auto isProject = [&](std::string_view name) {
        if (!newName.empty() && name == newName)
            return true;
        return (oldName.empty() || name != oldName) && projects.find(name) != projects.end();
    };
    // The candidates are the whole name and every part of it before a ".";
    // the longest that names a project wins.
    if (isProject(file))
        return file;
    for (std::size_t dot = file.rfind('.'); dot != std::string_view::npos && dot > 0; dot = file.rfind('.', dot - 1))
        if (isProject(file.substr(0, dot)))
            return file.substr(0, dot);
    return {};
}

void FolderOwners::Forget(const orvoProject& project)
{
    for (const auto& name : project.FilesToMove()) {
        const auto found = entries.find(std::string_view(name));
        if (found == entries.end())
            continue;
        // The file left the folder with this project (or with another project
        // that played it too, moved in the same run).
        entries.erase(found);
    }
    const auto named = projects.find(std::string_view(project.Name));
    if (named != projects.end() && named->second == &project)
        projects.erase(named);
}

void FolderOwners::Renamed(const std::string& oldName, const orvoProject& project,
                           const std::vector<std::pair<std::string, std::string>>& files)
{
    for (const auto& [from, to] : files) {
        const auto found = entries.find(std::string_view(from));
        if (found == entries.end())
            continue;
        const Entry entry = found->second;
        entries.erase(found);
        newNames.push_back(std::make_unique<std::string>(to));
        entries.emplace(*newNames.back(), entry);
    }
    if (const auto named = projects.find(std::string_view(oldName)); named != projects.end() && named->second == &project)
        projects.erase(named);
    projects.emplace(project.Name, &project);
}
