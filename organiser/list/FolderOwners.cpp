#include "FolderOwners.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>

namespace kelvark {

Result FolderOwners::Build(std::shared_ptr<const FolderListing> scanned, const std::vector<orvoProject*>& listed,
                           std::vector<std::shared_ptr<orvoProject>> others)
{
    // A project's number is below Shared, a listing position fits 32 bits.
    if (listed.size() + others.size() > Shared || scanned->Count() >= NoPlayer) {
        *this = FolderOwners();
        return Result("it holds " + std::to_string(listed.size() + others.size()) + " projects and "
                          + std::to_string(scanned->Count()) + " files, more than can be read at once",
                      Result::Status::Refused);
    }
    renamed.clear();
    listing = std::move(scanned);
    leftOut = std::move(others);
    numbered.assign(listed.begin(), listed.end());
    for (const auto& project : leftOut)
        numbered.push_back(project.get());
    owners.clear();
    gone.assign(listing->Count(), false);

    byName.assign(std::bit_ceil(2 * numbered.size() + 2), Free);
    byNameUsed = 0;
    for (std::uint32_t number = 0; number < numbered.size(); ++number)
        AddNumber(number);

    // Who plays each file, in project order. A project plays the listing
    // positions its waves found, each once (two names may find one file).
    // The plays are counted per file in a first pass over the projects, then
    // placed in a second, each file's players side by side: no list of every
    // play is kept apart from the players themselves. Both passes go over
    // one stretch of the listing at a time, with an entry per file of the
    // stretch only, and pass over the projects that play nothing in it.
    std::vector<std::uint32_t> played; // the positions one project plays
    const auto playedBy = [&](const orvoProject& project) -> const std::vector<std::uint32_t>& {
        played.clear();
        // The scan's projects found their waves in this very listing.
        const bool sameListing = project.folder == listing;
        for (int i = 0; i < project.WaveCount(); ++i)
            if (const std::size_t position =
                    sameListing ? project.WavePosition(i) : listing->Position(project.WaveDiskName(i));
                position != FolderListing::npos)
                played.push_back(static_cast<std::uint32_t>(position));
        std::sort(played.begin(), played.end());
        played.erase(std::unique(played.begin(), played.end()), played.end());
        return played;
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans; // the first and last position each project plays
    spans.reserve(numbered.size());
    for (const orvoProject* project : numbered) {
        const std::vector<std::uint32_t>& positions = playedBy(*project);
        spans.emplace_back(positions.empty() ? UINT32_MAX : positions.front(),
                           positions.empty() ? 0 : positions.back());
    }
    // The plays of a project within [from, to).
    const auto playedWithin = [&](std::uint32_t number, std::uint32_t from, std::uint32_t to) {
        const std::vector<std::uint32_t>& positions = playedBy(*numbered[number]);
        return std::span(std::lower_bound(positions.begin(), positions.end(), from),
                         std::lower_bound(positions.begin(), positions.end(), to));
    };
    // Most files have one player at most, kept as the file's entry; the
    // players of a file played twice or more are placed side by side, their
    // count first becoming where they end, and placing them from the last
    // project back moving it to where they start. The entries go into runs.
    const auto count = static_cast<std::uint32_t>(listing->Count());
    runStarts.assign(count / 64 + 1, 0);
    runEntries.clear();
    sharedFirst.clear();
    std::uint32_t sharedCount = 0;
    std::vector<std::uint32_t> entries;
    for (std::uint32_t from = 0; from < count; from += Stretch) {
        const std::uint32_t to = std::min(count - from, Stretch) + from;
        const auto plays = [&](std::uint32_t number) {
            return spans[number].first < to && spans[number].second >= from;
        };
        entries.assign(to - from, 0);
        for (std::uint32_t number = 0; number < numbered.size(); ++number)
            if (plays(number))
                for (const std::uint32_t position : playedWithin(number, from, to))
                    ++entries[position - from];
        for (std::uint32_t& entry : entries) {
            if (entry == 0) {
                entry = NoPlayer;
            } else if (entry > 1) {
                sharedCount += entry;
                entry = Shared | static_cast<std::uint32_t>(sharedFirst.size());
                sharedFirst.push_back(sharedCount);
            }
        }
        sharedPlayers.resize(sharedCount);
        for (auto number = static_cast<std::uint32_t>(numbered.size()); number-- > 0;) {
            if (!plays(number))
                continue;
            for (const std::uint32_t position : playedWithin(number, from, to)) {
                std::uint32_t& entry = entries[position - from];
                if ((entry & Shared) != 0)
                    sharedPlayers[--sharedFirst[entry & ~Shared]] = number;
                else
                    entry = number;
            }
        }
        for (std::uint32_t position = from; position < to; ++position) {
            const std::uint32_t entry = entries[position - from];
            if (runEntries.empty() || entry != runEntries.back()) {
                runStarts[position / 64] |= std::uint64_t{1} << (position % 64);
                runEntries.push_back(entry);
            }
        }
    }
    sharedFirst.push_back(sharedCount);
    std::vector<std::uint32_t>().swap(entries);
    runEntries.shrink_to_fit();
    sharedFirst.shrink_to_fit();
    sharedPlayers.shrink_to_fit();
    runsBefore.resize(runStarts.size());
    for (std::uint32_t word = 0, runs = 0; word < runStarts.size(); runs += std::popcount(runStarts[word++]))
        runsBefore[word] = runs;

    const auto isProject = [&](std::string_view name) { return NumberOf(name) != Free; };
    for (std::size_t i = 0; i < listing->Count(); ++i) {
        const std::span<const std::uint32_t> playedHere = PlayersAt(i);
        const auto plays = [&](std::string_view name) {
            return std::find(playedHere.begin(), playedHere.end(), NumberOf(name)) != playedHere.end();
        };
        const std::string_view ownerName =
            FolderListing::OwnerOf(listing->Name(i), isProject, !playedHere.empty(), plays);
        if (!ownerName.empty())
            owners.emplace_back(static_cast<std::uint32_t>(i), NumberOf(ownerName));
    }
    // Each project's own files in listing order: the owned files counted per
    // project, then their places in owners gathered project after project.
    std::vector<std::uint32_t> ownedFrom(numbered.size() + 1, 0);
    for (const auto& [position, owner] : owners)
        ++ownedFrom[owner + 1];
    for (std::size_t p = 1; p <= numbered.size(); ++p)
        ownedFrom[p] += ownedFrom[p - 1];
    std::vector<std::uint32_t> byOwner(owners.size());
    {
        std::vector<std::uint32_t> next(ownedFrom.begin(), ownedFrom.end() - 1);
        for (std::uint32_t k = 0; k < owners.size(); ++k)
            byOwner[next[owners[k].second]++] = k;
    }
    // A project that could not be read has no files of its own to size; what
    // it owns is still kept from every other project.
    for (std::size_t p = 0; p < numbered.size(); ++p) {
        orvoProject& project = p < listed.size() ? *listed[p] : *leftOut[p - listed.size()];
        if (!project.ReadFailure.empty())
            continue;
        std::vector<std::string> files;
        files.reserve(ownedFrom[p + 1] - ownedFrom[p]);
        for (std::uint32_t k = ownedFrom[p]; k < ownedFrom[p + 1]; ++k)
            files.emplace_back(listing->Name(owners[byOwner[k]].first));
        project.SetOwnFiles(files);
    }
    return {};
}

std::span<const std::uint32_t> FolderOwners::PlayersAt(std::size_t position) const
{
    // The entry of the last run that starts at or before position.
    const std::uint64_t startsUpTo = runStarts[position / 64] & (~std::uint64_t{0} >> (63 - position % 64));
    const std::uint32_t& entry = runEntries[runsBefore[position / 64] + std::popcount(startsUpTo) - 1];
    if (entry == NoPlayer)
        return {};
    if ((entry & Shared) == 0)
        return {&entry, 1};
    const std::uint32_t shared = entry & ~Shared;
    return std::span(sharedPlayers).subspan(sharedFirst[shared], sharedFirst[shared + 1] - sharedFirst[shared]);
}

FolderOwners::Slot FolderOwners::SlotAt(std::size_t position) const
{
    const auto owned = std::lower_bound(owners.begin(), owners.end(), static_cast<std::uint32_t>(position),
                                        [](const auto& entry, std::uint32_t at) { return entry.first < at; });
    return {owned != owners.end() && owned->first == position ? numbered[owned->second] : nullptr, PlayersAt(position)};
}

FolderOwners::Entry FolderOwners::EntryOf(const Slot& slot) const
{
    return {slot.owner, Players(slot.players, &numbered)};
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

std::vector<FolderOwners::SharedFile> FolderOwners::SharedFiles() const
{
    std::vector<SharedFile> shared;
    // A file played twice or more has an entry of its own: a run of one
    // position. Only the runs are walked, not every file of the folder. A
    // renamed file is an own file that no project plays.
    for (std::size_t word = 0, run = 0; word < runStarts.size(); ++word)
        for (std::uint64_t starts = runStarts[word]; starts != 0; starts &= starts - 1, ++run) {
            const std::uint32_t entry = runEntries[run];
            const std::size_t position = word * 64 + static_cast<std::size_t>(std::countr_zero(starts));
            if (entry != NoPlayer && (entry & Shared) != 0 && !gone[position])
                shared.push_back({position, Players(PlayersAt(position), &numbered)});
        }
    return shared;
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

const orvoProject* FolderOwners::Project(std::string_view name) const
{
    const std::uint32_t number = NumberOf(name);
    return number == Free ? nullptr : numbered[number];
}

void FolderOwners::Forget(const orvoProject& project)
{
    // The files left the folder with this project (or with another project
    // that played them too, moved in the same run).
    for (const std::string_view name : project.FilesToMove())
        Remove(name);
    // Its number, found by its name unless another project holds that name.
    std::uint32_t number = NumberOf(project.Name);
    if (number == Free || numbered[number] != &project)
        number = static_cast<std::uint32_t>(std::find(numbered.begin(), numbered.end(), &project) - numbered.begin());
    if (number == numbered.size())
        return;
    RemoveNumber(project.Name, number);
    numbered[number] = nullptr;
}

void FolderOwners::Renamed(const std::string& oldName, const orvoProject& project,
                           const std::vector<std::pair<std::string, std::string>>& files)
{
    for (const auto& [from, to] : files)
        if (const std::optional<Slot> slot = Remove(from))
            renamed.insert_or_assign(to, *slot);
    const auto number =
        static_cast<std::uint32_t>(std::find(numbered.begin(), numbered.end(), &project) - numbered.begin());
    if (number == numbered.size())
        numbered.push_back(&project);
    else
        RemoveNumber(oldName, number);
    AddNumber(number);
}

template <typename Match> std::size_t FolderOwners::SlotFor(std::string_view name, Match match) const
{
    const std::size_t mask = byName.size() - 1;
    std::size_t i = std::hash<std::string_view>()(name) & mask;
    while (byName[i] != Free && !match(byName[i]))
        i = (i + 1) & mask;
    return i;
}

std::uint32_t FolderOwners::NumberOf(std::string_view name) const
{
    return byName[SlotFor(name, [&](std::uint32_t n) { return n != Left && numbered[n]->Name == name; })];
}

void FolderOwners::AddNumber(std::uint32_t number)
{
    if (NumberOf(numbered[number]->Name) != Free)
        return;
    if (2 * (byNameUsed + 1) > byName.size()) {
        // Made anew, twice as large as its projects need, without the slots left.
        std::vector<std::uint32_t> kept;
        std::copy_if(byName.begin(), byName.end(), std::back_inserter(kept),
                     [](std::uint32_t n) { return n != Free && n != Left; });
        byName.assign(std::bit_ceil(4 * kept.size() + 4), Free);
        byNameUsed = 0;
        for (const std::uint32_t n : kept)
            Place(n);
    }
    Place(number);
}

void FolderOwners::Place(std::uint32_t number)
{
    byName[SlotFor(numbered[number]->Name, [](std::uint32_t) { return false; })] = number;
    ++byNameUsed;
}

void FolderOwners::RemoveNumber(std::string_view name, std::uint32_t number)
{
    if (std::uint32_t& slot = byName[SlotFor(name, [&](std::uint32_t n) { return n == number; })]; slot == number)
        slot = Left;
}

} // namespace kelvark
