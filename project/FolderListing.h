#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace kelvark {

// A snapshot of the ordinary files of one folder: regular files that are not
// hidden (no leading ".") and not symbolic links. Names are kept in the order
// every listing of the system uses: ASCII letters folded to lower case, plain
// byte order as the tie-break. One listing serves a whole folder scan, so a scan
// lists the folder once however many projects and waves it holds.
class FolderListing final {
public:
    explicit FolderListing(const std::filesystem::path& folder);
    // The listing of a folder whose ordinary files have these names (each
    // without "/" or a zero byte, not hidden, all different), for tests that
    // need more names than they can make files quickly.
    explicit FolderListing(const std::vector<std::string>& names);

    // Orders two names as every listing does.
    static bool NameLess(std::string_view a, std::string_view b);
    // The rule of own files. A file is the own file of at most one project:
    // the one with the longest name N such that the file is named N, or N
    // followed by "." and anything (bytes compared as they are). A file that
    // projects play as a wave is the own file of none of them that does not
    // play it. Every part of the system that asks whose a file is asks here.
    //
    // The name, among those isProject holds for, whose own file a file named
    // file is; empty when there is none. played tells whether any project
    // plays the file, plays(N) whether the project named N is one of them.
    template <typename IsProject, typename Plays>
    static std::string_view OwnerOf(std::string_view file, IsProject isProject, bool played, Plays plays)
    {
        const std::string_view owner = NamedAfter(file, isProject);
        return owner.empty() || !played || plays(owner) ? owner : std::string_view();
    }
    // True when a file named name is named after projectName: the project's
    // own file unless a project of a longer name, or the file's players, claim it.
    static bool IsOwnFileOf(std::string_view name, std::string_view projectName)
    {
        return !NamedAfter(name, [&](std::string_view n) { return n == projectName; }).empty();
    }

    // The number of ordinary files, and the name at each position of the
    // listing order (a view into the listing, followed by a zero byte).
    std::size_t Count() const { return starts.size() - 1; }
    std::string_view Name(std::size_t position) const
    {
        return {text.data() + starts[position], starts[position + 1] - starts[position] - 1};
    }

    // The error of the listing itself (for instance a missing folder); the
    // listing is then empty.
    const std::error_code& Error() const { return error; }

    bool Contains(std::string_view name) const { return Position(name) != npos; }
    // The position of name; npos when the folder does not hold it.
    std::size_t Position(std::string_view name) const;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // The position of the ordinary file that a wave name from a
    // project file refers to: the name's own bytes; else, for bytes that are
    // not UTF-8, the name read as Windows-1252; else the one file equal to
    // either with ASCII letters compared without case. npos when none is, or
    // several differ from it in case only.
    std::size_t FindWave(std::string_view name) const;

    // Files whose extension is ".cue" in any letter case, in listing order.
    std::vector<std::string> ProjectFiles() const;

    // The positions of the files named after projectName (IsOwnFileOf), in
    // listing order: those that may be the project's own. Which of them are
    // (OwnerOf) is the folder owners' answer.
    std::vector<std::size_t> OwnFilePositions(std::string_view projectName) const;

    // The project file of projectName: projectName + ".cue" when it exists,
    // else the first own file whose extension is ".cue" in another letter case.
    std::optional<std::string> ProjectFile(std::string_view projectName) const;

private:
    // The longest of file and its parts before a "." that isProject holds for; empty when none does.
    template <typename IsProject> static std::string_view NamedAfter(std::string_view file, IsProject isProject)
    {
        for (std::size_t end = file.size(); end != 0 && end != std::string_view::npos; end = file.rfind('.', end - 1))
            if (isProject(file.substr(0, end)))
                return file.substr(0, end);
        return {};
    }
    // The first position whose name before() does not hold for, before()
    // holding for a first stretch of the listing only.
    template <typename Before> std::size_t FirstNotBefore(Before before) const;
    // Adds a name to the text, before the listing is ordered.
    void Add(std::string_view name);
    // Orders the names added.
    void Arrange();
    // The positions of the names equal to name with ASCII letters folded to lower case.
    std::pair<std::size_t, std::size_t> FoldedRange(std::string_view name) const;

    // Every name's bytes in listing order, each followed by a zero byte, held
    // once, and where each name starts among them, with the end of the text
    // last: a folder of many thousand files costs no string per name, and
    // four bytes per name for finding it.
    std::vector<char> text;
    std::vector<std::uint32_t> starts;
    std::error_code error;
};

// True when name ends in ".cue", letter case ignored.
bool HasProjectExtension(std::string_view name);

} // namespace kelvark
