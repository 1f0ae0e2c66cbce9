#include "FolderListing.h"

#include "FileOps.h"
#include "TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

// How a compares with b with ASCII letters folded to lower case.
std::strong_ordering FoldedCompare(std::string_view a, std::string_view b)
{
    return std::lexicographical_compare_three_way(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char ca, unsigned char cb) { return AsciiLower(ca) <=> AsciiLower(cb); });
}

} // namespace

FolderListing::FolderListing(const fs::path& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        error = LastErrno();
    while (dir) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                error = LastErrno();
            break;
        }
        // Hidden names, the folder itself and its parent included, are never ordinary files.
        if (entry->d_name[0] == '.')
            continue;
        // The entry's type comes from the listing itself, or, where the file
        // system does not give it there, from the entry without following it:
        // a symbolic link is never an ordinary file.
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            regular = ::fstatat(::dirfd(dir.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
                      && S_ISREG(status.st_mode);
        }
        if (regular)
            Add(entry->d_name);
    }
    Arrange();
}

FolderListing::FolderListing(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        Add(name);
    Arrange();
}

void FolderListing::Add(std::string_view name)
{
    starts.push_back(static_cast<std::uint32_t>(text.size()));
    text.insert(text.end(), name.begin(), name.end());
    text.push_back('\0');
}

void FolderListing::Arrange()
{
    // Where a name starts is kept in 32 bits.
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        error = std::make_error_code(std::errc::value_too_large);
    if (error) {
        starts.clear();
        text.clear();
    }
    // The names are sorted where they are, then laid out again in that order.
    const auto nameAt = [&](std::uint32_t start) { return std::string_view(text.data() + start); };
    std::sort(starts.begin(), starts.end(),
              [&](std::uint32_t a, std::uint32_t b) { return NameLess(nameAt(a), nameAt(b)); });
    std::vector<char> sorted;
    sorted.reserve(text.size());
    for (std::uint32_t& start : starts) {
        const std::string_view name = nameAt(start);
        start = static_cast<std::uint32_t>(sorted.size());
        sorted.insert(sorted.end(), name.data(), name.data() + name.size() + 1);
    }
    starts.push_back(static_cast<std::uint32_t>(sorted.size()));
    starts.shrink_to_fit();
    text = std::move(sorted);
}

bool FolderListing::NameLess(std::string_view a, std::string_view b)
{
    const auto folded = FoldedCompare(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

template <typename Before> std::size_t FolderListing::FirstNotBefore(Before before) const
{
    // A binary search: the names before low are before, those from high on are not.
    std::size_t low = 0;
    std::size_t high = Count();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (before(Name(middle)))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

std::size_t FolderListing::Position(std::string_view name) const
{
    const std::size_t position = FirstNotBefore([&](std::string_view entry) { return NameLess(entry, name); });
    return position < Count() && Name(position) == name ? position : npos;
}

std::size_t FolderListing::FindWave(std::string_view name) const
{
    if (const std::size_t position = Position(name); position != npos)
        return position;
    // A name that is not UTF-8 was written on Windows, in its code page.
    std::vector<std::string> forms{std::string(name)};
    if (!IsValidUtf8(name)) {
        forms.push_back(Win1252ToUtf8(name));
        if (const std::size_t position = Position(forms.back()); position != npos)
            return position;
    }
    // Windows opens a file whatever the letter case of its name, so a name
    // that differs in case only finds the file, provided no other one does.
    std::size_t found = npos;
    int matches = 0;
    for (const auto& form : forms) {
        const auto [first, last] = FoldedRange(form);
        for (std::size_t i = first; i != last; ++i, ++matches)
            found = i;
    }
    return matches == 1 ? found : npos;
}

std::vector<std::string> FolderListing::ProjectFiles() const
{
    std::vector<std::string> found;
    for (std::size_t i = 0; i < Count(); ++i)
        if (HasProjectExtension(Name(i)))
            found.emplace_back(Name(i));
    return found;
}

std::pair<std::size_t, std::size_t> FolderListing::FoldedRange(std::string_view name) const
{
    // The listing's order puts the names equal once letters are folded together.
    return {FirstNotBefore([&](std::string_view entry) { return FoldedCompare(entry, name) < 0; }),
            FirstNotBefore([&](std::string_view entry) { return FoldedCompare(entry, name) <= 0; })};
}

std::vector<std::size_t> FolderListing::OwnFilePositions(std::string_view projectName) const
{
    // Every own file's name starts with projectName once letters are folded, and
    // such names stand together in the listing's order.
    std::vector<std::size_t> found;
    for (std::size_t i = FirstNotBefore([&](std::string_view entry) { return FoldedCompare(entry, projectName) < 0; });
         i < Count() && FoldedCompare(Name(i).substr(0, projectName.size()), projectName) == 0; ++i)
        if (IsOwnFileOf(Name(i), projectName))
            found.push_back(i);
    return found;
}

std::optional<std::string> FolderListing::ProjectFile(std::string_view projectName) const
{
    std::string exact = std::string(projectName) + ".cue";
    if (Contains(exact))
        return exact;
    for (const std::size_t position : OwnFilePositions(projectName))
        if (const std::string_view name = Name(position); name.size() == exact.size() && HasProjectExtension(name))
            return std::string(name);
    return std::nullopt;
}

bool HasProjectExtension(std::string_view name)
{
    return name.size() >= 4 && FoldedCompare(name.substr(name.size() - 4), ".cue") == 0;
}

} // namespace kelvark
