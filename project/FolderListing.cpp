#include "FolderListing.h"

#include "FileOps.h"
#include "TextCodec.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

// Negative, zero or positive as a is before, equal to or after b with ASCII
// letters folded to lower case. Bytes that are equal are equal once folded: the
// shared start is passed over a word at a time, and folding begins at the
// first byte that differs.
int FoldedCompare(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (std::uint64_t wa = 0, wb = 0; i + sizeof wa <= n; i += sizeof wa) {
        std::memcpy(&wa, a.data() + i, sizeof wa);
        std::memcpy(&wb, b.data() + i, sizeof wb);
        if (wa != wb) {
            if constexpr (std::endian::native == std::endian::little) // the first differing byte
                i += static_cast<std::size_t>(std::countr_zero(wa ^ wb)) / 8;
            break;
        }
    }
    for (; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        const int ca = AsciiLower(static_cast<unsigned char>(a[i]));
        const int cb = AsciiLower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The first 16 bytes of a name with ASCII letters folded, as two numbers that
// order as those bytes do. A shorter name is padded with zero bytes, which no
// file name holds, so names whose keys differ are in the order of their keys
// and only names with equal keys need the full comparison.
struct SortKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::uint32_t start = 0; // where the name starts in the listing's text
};

SortKey KeyOf(std::string_view name, std::uint32_t start)
{
    SortKey key;
    key.start = start;
    for (std::size_t i = 0; i < std::min<std::size_t>(name.size(), 16); ++i) {
        const auto byte = static_cast<std::uint64_t>(AsciiLower(static_cast<unsigned char>(name[i])));
        (i < 8 ? key.high : key.low) |= byte << (56 - 8 * (i % 8));
    }
    return key;
}

} // namespace

bool FolderListing::IsOwnFileOf(std::string_view name, std::string_view projectName)
{
    return name.substr(0, projectName.size()) == projectName
           && (name.size() == projectName.size() || name[projectName.size()] == '.');
}

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
        if (regular) {
            const std::size_t length = std::strlen(entry->d_name);
            starts.push_back(static_cast<std::uint32_t>(text.size()));
            text.insert(text.end(), entry->d_name, entry->d_name + length + 1);
        }
    }
    if (error) {
        starts.clear();
        text.clear();
    }
    // The room kept for more names is never written, so it takes no memory.

    // Sorted by keys, which are compared as numbers, the names themselves only where the keys are equal.
    std::vector<SortKey> keys;
    keys.reserve(starts.size());
    for (const std::uint32_t start : starts)
        keys.push_back(KeyOf(text.data() + start, start));
    std::vector<std::uint32_t>().swap(starts);
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        return NameLess(text.data() + a.start, text.data() + b.start);
    });
    starts.reserve(keys.size());
    for (const SortKey& key : keys)
        starts.push_back(key.start);
}

bool FolderListing::NameLess(std::string_view a, std::string_view b)
{
    const int folded = FoldedCompare(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

template <typename Before> std::size_t FolderListing::FirstNotBefore(Before before) const
{
    std::size_t first = 0;
    for (std::size_t count = starts.size(); count > 0;) {
        const std::size_t half = count / 2;
        if (before(Name(first + half))) {
            first += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return first;
}

std::size_t FolderListing::Position(std::string_view name) const
{
    const std::size_t found = FirstNotBefore([&](std::string_view entry) { return NameLess(entry, name); });
    return found < starts.size() && Name(found) == name ? found : npos;
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
    for (std::size_t i = 0; i < starts.size(); ++i)
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
    for (std::size_t i = FoldedRange(projectName).first;
         i < starts.size() && FoldedCompare(Name(i).substr(0, projectName.size()), projectName) == 0; ++i)
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
