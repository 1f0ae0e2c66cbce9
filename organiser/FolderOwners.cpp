#include "FolderOwners.h"

#include <algorithm>
#include <cstdint>

namespace kelvark {

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
    owners.clear();
    gone.assign(listing->Count(), false);

    for (const orvoProject* project : all)
        projects.emplace(project->Name, project); // two project files of one name: the first owns

    // Who plays each file, in project order. A project plays the listing
    // positions its waves found, each once (two names may find one file).
    // The plays are counted per file, then placed in one array, each file's
    // players side by side.
    std::size_t waves = 0;
    for (const orvoProject* project : all)
        waves += static_cast<std::size_t>(project->WaveCount());
    std::vector<std::uint32_t> played; // the positions each project plays, project after project
    std::vector<std::size_t> playedBy{0};
    played.reserve(waves);
    playedBy.reserve(all.size() + 1);
    for (const orvoProject* project : all) {
        const auto from = static_cast<std::ptrdiff_t>(played.size());
        // The scan's projects found their waves in this very listing.
        const bool sameListing = project->folder == listing;
        for (int i = 0; i < project->WaveCount(); ++i)
            if (const std::size_t position =
                    sameListing ? project->WavePosition(i) : listing->Position(project->WaveDiskName(i));
                position != FolderListing::npos)
                played.push_back(static_cast<std::uint32_t>(position));
        std::sort(played.begin() + from, played.end());
        played.erase(std::unique(played.begin() + from, played.end()), played.end());
        playedBy.push_back(played.size());
    }
    // Each file's count becomes where its players end; placing them from the
    // last project back moves it to where they start.
    firstPlayers.assign(listing->Count() + 1, 0);
    for (const std::uint32_t position : played)
        ++firstPlayers[position];
    for (std::size_t i = 1; i <= listing->Count(); ++i)
        firstPlayers[i] += firstPlayers[i - 1];
    players.assign(played.size(), nullptr);
    for (std::size_t p = all.size(); p-- > 0;)
        for (std::size_t k = playedBy[p]; k < playedBy[p + 1]; ++k)
            players[--firstPlayers[played[k]]] = all[p];

    std::unordered_map<const orvoProject*, std::vector<std::string>> ownFiles;
    for (std::size_t i = 0; i < listing->Count(); ++i) {
        const std::string_view name = listing->Name(i);
        const std::string_view ownerName = OwnerName(name);
        if (ownerName.empty())
            continue;
        const orvoProject* owner = projects.find(ownerName)->second;
        const Entry entry = EntryOf(SlotAt(i));
        if (!entry.players.empty()
            && std::find(entry.players.begin(), entry.players.end(), owner) == entry.players.end())
            continue; // another project's wave
        owners.emplace_back(static_cast<std::uint32_t>(i), owner);
        ownFiles[owner].emplace_back(name);
    }
    // A project that could not be read has no files of its own to size; what
    // it owns is still kept from every other project.
    for (orvoProject* project : all)
        if (project->ReadFailure.empty())
            project->SetOwnFiles(std::move(ownFiles[project]));
}

FolderOwners::Slot FolderOwners::SlotAt(std::size_t position) const
{
    const auto owned =
        std::lower_bound(owners.begin(), owners.end(), std::pair(static_cast<std::uint32_t>(position), nullptr),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    return {owned != owners.end() && owned->first == position ? owned->second : nullptr, firstPlayers[position],
            firstPlayers[position + 1] - firstPlayers[position]};
}

FolderOwners::Entry FolderOwners::EntryOf(const Slot& slot) const
{
    return {slot.owner, std::span<const orvoProject* const>(players.data() + slot.first, slot.count)};
}

std::optional<FolderOwners::Entry> FolderOwners::Find(std::string_view name) const
{
    if (const auto found = renamed.find(name); found != renamed.end())
        return EntryOf(found->second);
    const std::size_t position = listing ? listing->Position(name) : FolderListing::npos;
    if (position == FolderListing::npos || gone[position])
        return std::nullopt;
    return EntryOf(SlotAt(position));
}

std::vector<std::string_view> FolderOwners::Names() const
{
    std::vector<std::string_view> held;
    if (listing)
        for (std::size_t i = 0; i < gone.size(); ++i)
            if (!gone[i])
                held.push_back(listing->Name(i));
    for (const auto& [name, slot] : renamed)
        held.push_back(name);
    return held;
}

std::optional<FolderOwners::Slot> FolderOwners::Remove(std::string_view name)
{
    if (const auto found = renamed.find(name); found != renamed.end()) {
        const Slot slot = found->second;
        renamed.erase(found);
        return slot;
    }
    const std::size_t position = listing ? listing->Position(name) : FolderListing::npos;
    if (position == FolderListing::npos || gone[position])
        return std::nullopt;
    gone[position] = true;
    return SlotAt(position);
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
        if (const std::optional<Slot> slot = Remove(from))
            renamed.insert_or_assign(to, *slot);
    if (const auto named = projects.find(std::string_view(oldName));
        named != projects.end() && named->second == &project)
        projects.erase(named);
    projects.emplace(project.Name, &project);
}

} // namespace kelvark
