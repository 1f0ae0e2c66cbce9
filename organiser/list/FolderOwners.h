#pragma once

#include "FolderListing.h"
#include "Result.h"
#include "orvoProject.h"

#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvark {

// Who each ordinary file of a root folder belongs to, worked out once per scan
// and kept up to date by every operation that moves or renames files, which
// all read it before they touch anything.
// Whose own file a file is, is FolderListing::OwnerOf's answer. Several
// projects may play one wave.
class FolderOwners final {
public:
    // The projects that play a file: their numbers, each looked up in the
    // folder's table of projects as it is read.
    class Players {
    public:
        class iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = const orvoProject*;
            using difference_type = std::ptrdiff_t;
            using pointer = void;
            using reference = const orvoProject*;

            iterator() = default;
            iterator(const std::uint32_t* at, const std::vector<const orvoProject*>* projects)
                : at(at), projects(projects)
            {
            }
            const orvoProject* operator*() const { return (*projects)[*at]; }
            iterator& operator++()
            {
                ++at;
                return *this;
            }
            iterator operator++(int)
            {
                const iterator before = *this;
                ++at;
                return before;
            }
            bool operator==(const iterator& other) const { return at == other.at; }

        private:
            const std::uint32_t* at = nullptr;
            const std::vector<const orvoProject*>* projects = nullptr;
        };

        Players() = default;
        Players(std::span<const std::uint32_t> numbers, const std::vector<const orvoProject*>* projects)
            : numbers(numbers), projects(projects)
        {
        }
        iterator begin() const { return {numbers.data(), projects}; }
        iterator end() const { return {numbers.data() + numbers.size(), projects}; }
        bool empty() const { return numbers.empty(); }

    private:
        std::span<const std::uint32_t> numbers;
        const std::vector<const orvoProject*>* projects = nullptr;
    };
    struct Entry {
        const orvoProject* owner = nullptr; // whose own file it is, if anyone's
        Players players; // who plays it as a wave
    };

    // Fills the map from the scan's listing (kept: the map names its files) and every project of the folder:
    // those of the list, then those the scan left out (kept here, so that what
    // they play stays theirs). Gives each project its own files. Refused, the
    // map left empty, for a folder of more projects or files than it can number.
    Result Build(std::shared_ptr<const FolderListing> scanned, const std::vector<orvoProject*>& listed,
                 std::vector<std::shared_ptr<orvoProject>> others);

    // The listing the map was built from: the folder as the scan found it.
    const std::shared_ptr<const FolderListing>& Scanned() const { return listing; }
    // True when the scan left projects out (those of the kind it did not
    // read): only then may a file of the listed projects be another's too.
    bool LeftOut() const { return !leftOut.empty(); }
    // The entry of an ordinary file; none for a name the folder does not hold.
    std::optional<Entry> Find(std::string_view name) const;
    // Every file that two projects or more play: its position in the scan's
    // listing and its players, in listing order.
    struct SharedFile {
        std::size_t position;
        Players players;
    };
    std::vector<SharedFile> SharedFiles() const;
    // The name of every ordinary file the folder holds.
    std::vector<std::string_view> Names() const;
    // The project of that exact name, listed or left out; nullptr when none.
    const orvoProject* Project(std::string_view name) const;

    // A project whose files left the folder, and which then goes: nothing
    // here refers to it any longer.
    void Forget(const orvoProject& project);
    // A project renamed from oldName, whose own file from is now to.
    void Renamed(const std::string& oldName, const orvoProject& project,
                 const std::vector<std::pair<std::string, std::string>>& files);

private:
    // A file's entry.
    struct Slot {
        const orvoProject* owner = nullptr;
        std::span<const std::uint32_t> players; // into runEntries or sharedPlayers, which stay as built
    };

    std::span<const std::uint32_t> PlayersAt(std::size_t position) const;
    Entry EntryOf(const Slot& slot) const;
    // The slot of the listing's file at position.
    Slot SlotAt(std::size_t position) const;
    // Takes a file out of the folder; its slot as it was, or none.
    std::optional<Slot> Remove(std::string_view name);

    // The number of the project named name; Free when none is.
    std::uint32_t NumberOf(std::string_view name) const;
    // Adds the project of number under its name, unless a project of that
    // name is there already (of two project files of one name, the first owns).
    void AddNumber(std::uint32_t number);
    // Takes out the project of number, added under name; none when it is not there.
    void RemoveNumber(std::string_view name, std::uint32_t number);
    // Puts number in the first free slot for its project's name.
    void Place(std::uint32_t number);
    // The first slot from name's own on that is free or that match holds for.
    template <typename Match> std::size_t SlotFor(std::string_view name, Match match) const;

    // The files of the scan's listing, each at the listing's position of its
    // name: a name is found by the listing's search, and the tables hold no
    // name of their own. The files that renames gave stand aside.
    std::shared_ptr<const FolderListing> listing;
    // The projects of the folder, listed then left out, each known by its
    // number here: a number takes half the room of a pointer, and a folder
    // has hundreds of thousands of plays. A project forgotten leaves nullptr.
    std::vector<const orvoProject*> numbered;
    // Per listing position, an entry: the number of the file's one player,
    // NoPlayer, or Shared with the index of the file's players in
    // sharedFirst. The entries are kept by runs of positions with one entry:
    // a project's waves mostly stand side by side in the listing. A bit per
    // position marks where a run starts, and the runs that start before each
    // word of those bits are counted, so that a position's entry is found at once.
    static constexpr std::uint32_t NoPlayer = UINT32_MAX;
    static constexpr std::uint32_t Shared = std::uint32_t{1} << 31; // never in a project's number: Build refuses more
    static constexpr std::uint32_t Stretch = 1 << 16; // positions whose entries Build holds at a time
    std::vector<std::uint64_t> runStarts;
    std::vector<std::uint32_t> runsBefore; // per word of runStarts
    std::vector<std::uint32_t> runEntries;
    std::vector<std::uint32_t> sharedFirst; // where each shared file's players start, and where the last end
    std::vector<std::uint32_t> sharedPlayers; // the numbers of the shared files' players, file after file
    // The files that are a project's own, by position, in listing order, with
    // their project's number: a few per project among all the waves.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> owners;
    std::vector<bool> gone; // files of the listing that left the folder or were renamed
    std::map<std::string, Slot, std::less<>> renamed;
    // The projects' numbers by name, each found through its project's name:
    // an open-addressed table (linear probing) of a power of two slots, at
    // most half of them used. A folder of thousands of projects keeps no
    // node and no copy of a name per project.
    static constexpr std::uint32_t Free = UINT32_MAX;
    static constexpr std::uint32_t Left = UINT32_MAX - 1; // a project taken out, passed over by a search
    std::vector<std::uint32_t> byName = std::vector<std::uint32_t>(2, Free); // never without a free slot
    std::size_t byNameUsed = 0; // the slots that are not Free
    std::vector<std::shared_ptr<orvoProject>> leftOut;
};

} // namespace kelvark
