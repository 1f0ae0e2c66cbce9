#include "FolderOwners.h"

#include <algorithm>
#include <cstdint>

void FolderOwners::Build(std::shared_ptr<const FolderListing> scanned, const std::vector<orvoProject*>& listed,
                         std::vector<std::shared_ptr<orvoProject>> others)
{
    projects.clear();
    renamed.clear();
    listing = std::move(scanned);
    leftOut = std::move(others);
    std::vector<orvoProject*> all = listed;
    for (const auto& project : leftOut)
        all.push_back(project.get());
    const std::vector<std::string_view>& names = listing->Names();
    entries.assign(names.size(), Entry());
    gone.assign(names.size(), false);

    for (const orvoProject* project : all)
        projects.emplace(project->Name, project); // two project files of one name: the first owns

    // Who plays each file, in project order: the plays are counted per file,
    // then placed in one array, each file's players side by side.
    constexpr std::uint32_t None = UINT32_MAX;
    std::vector<std::uint32_t> played; // each wave's position in the listing, in project and wave order
    std::vector<std::uint32_t> first(names.size() + 1, 0);
    for (const orvoProject* project : all)
        for (const auto& wave : project->waves) {
            const std::size_t position = listing->Position(wave->DiskName());
            played.push_back(position == FolderListing::npos ? None : static_cast<std::uint32_t>(position));
            if (played.back() != None)
                ++first[position + 1];
        }
    for (std::size_t i = 0; i < names.size(); ++i)
        first[i + 1] += first[i];
    players.assign(first.back(), nullptr);
    std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
    auto position = played.begin();
    for (const orvoProject* project : all)
        for (int i = 0; i < project->waves.Count(); ++i, ++position) {
            if (*position == None)
                continue;
            std::uint32_t& end = next[*position];
            if (end == first[*position] || players[end - 1] != project) // two names may find one file
                players[end++] = project;
        }
    for (std::size_t i = 0; i < names.size(); ++i)
        entries[i].players = std::span<const orvoProject* const>(players.data() + first[i], next[i] - first[i]);

    std::unordered_map<const orvoProject*, std::vector<std::string>> ownFiles;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view ownerName = OwnerName(names[i]);
        if (ownerName.empty())
            continue;
        const orvoProject* owner = projects.find(ownerName)->second;
        Entry& entry = entries[i];
        if (!entry.players.empty() && std::find(entry.players.begin(), entry.players.end(), owner) == entry.players.end())
            continue; // another project's wave
        entry.owner = owner;
        ownFiles[owner].emplace_back(names[i]);
    }
    // A project that could not be read has no files of its own to size; what
    // it owns is still kept from every other project.
    for (orvoProject* project : all)
        if (project->ReadFailure.empty())
            project->SetOwnFiles(std::move(ownFiles[project]));
}

const FolderOwners::Entry* FolderOwners::Find(std::string_view name) const
{
    if (const auto found = renamed.find(name); found != renamed.end())
        return &found->second;
    const std::size_t position = listing ? listing->Position(name) : FolderListing::npos;
    return position == FolderListing::npos || gone[position] ? nullptr : &entries[position];
}

std::vector<std::string_view> FolderOwners::Names() const
{
    std::vector<std::string_view> held;
    if (listing)
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (!gone[i])
                held.push_back(listing->Names()[i]);
    for (const auto& [name, entry] : renamed)
        held.push_back(name);
    return held;
}

std::optional<FolderOwners::Entry> FolderOwners::Remove(std::string_view name)
{
    if (const auto found = renamed.find(name); found != renamed.end()) {
        const Entry entry = found->second;
        renamed.erase(found);
        return entry;
    }
    const std::size_t position = listing ? listing->Position(name) : FolderListing::npos;
    if (position == FolderListing::npos || gone[position])
        return std::nullopt;
    gone[position] = true;
    return entries[position];
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
    // The files left the folder with this project (or with another project
    // that played them too, moved in the same run).
    for (const auto& name : project.FilesToMove())
        Remove(name);
    const auto named = projects.find(std::string_view(project.Name));
    if (named != projects.end() && named->second == &project)
        projects.erase(named);
}

void FolderOwners::Renamed(const std::string& oldName, const orvoProject& project,
                           const std::vector<std::pair<std::string, std::string>>& files)
{
    for (const auto& [from, to] : files)
        if (const std::optional<Entry> entry = Remove(from))
            renamed.insert_or_assign(to, *entry);
    if (const auto named = projects.find(std::string_view(oldName)); named != projects.end() && named->second == &project)
        projects.erase(named);
    projects.emplace(project.Name, &project);
}
