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
#include <functional>
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

// A word of eight bytes, each 1.
constexpr std::uint64_t Ones = 0x0101010101010101;

// Nonzero when a word of a name's bytes holds a zero byte: the high bit of
// each zero byte is set, exactly so for the first.
constexpr std::uint64_t ZeroBytes(std::uint64_t word)
{
    return (word - Ones) & ~word & (Ones << 7);
}

// NameLess for two names of the listing's text, each ending at its zero
// byte, with no length taken first: the sort of a listing compares each name
// many times. The shared start is passed over a word at a time while the
// words lie before end, the end of the text, then a byte at a time.
bool ZeroEndedLess(const char* a, const char* b, const char* end)
{
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const auto room = static_cast<std::size_t>(end - std::max(a, b));
        for (std::uint64_t wa = 0, wb = 0; i + sizeof wa <= room; i += sizeof wa) {
            std::memcpy(&wa, a + i, sizeof wa);
            std::memcpy(&wb, b + i, sizeof wb);
            // The lowest byte that differs or ends a.
            const std::uint64_t events = (wa ^ wb) | ZeroBytes(wa);
            if (events != 0) {
                i += static_cast<std::size_t>(std::countr_zero(events)) / 8;
                break;
            }
        }
    }
    while (a[i] == b[i] && a[i] != 0)
        ++i;
    // Where the bytes first differ; names equal once folded are in byte order.
    const bool rawLess = static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    for (;; ++i) {
        const int ca = AsciiLower(static_cast<unsigned char>(a[i]));
        const int cb = AsciiLower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
        if (ca == 0)
            return rawLess;
    }
}

// NameLess(entry, name) for a name of the listing's text, ending at its zero
// byte, with no length taken first: a search compares a name with many, most
// of them sharing a long start with it. That start is passed over a word at a
// time, as in ZeroEndedLess.
bool EntryLess(const char* entry, std::string_view name, const char* end)
{
    int raw = 0; // where the bytes first differ, for names equal once folded
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const std::size_t room = std::min(name.size(), static_cast<std::size_t>(end - entry));
        for (std::uint64_t we = 0, wn = 0; i + sizeof we <= room; i += sizeof we) {
            std::memcpy(&we, entry + i, sizeof we);
            std::memcpy(&wn, name.data() + i, sizeof wn);
            if (we != wn || ZeroBytes(we) != 0)
                break; // the bytes differ, or the entry ends, in this word
        }
    }
    for (; i < name.size(); ++i) {
        const auto e = static_cast<unsigned char>(entry[i]);
        if (e == 0) // the entry ends first
            return true;
        const auto n = static_cast<unsigned char>(name[i]);
        if (e == n)
            continue;
        const int fe = AsciiLower(e);
        const int fn = AsciiLower(n);
        if (fe != fn)
            return fe < fn;
        if (raw == 0)
            raw = e < n ? -1 : 1;
    }
    return entry[i] == 0 && raw < 0;
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
    if (error) {
        starts.clear();
        text.clear();
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
    starts.push_back(text.size());
    text.insert(text.end(), name.begin(), name.end());
    text.push_back('\0');
}

void FolderListing::Arrange()
{
    // The positions are sorted where they are, with no sort key beside each:
    // keys would take more memory than the names themselves in a folder of
    // short names, for a sort that is a small part of the scan.
    std::sort(starts.begin(), starts.end(), [&, end = text.data() + text.size()](std::size_t a, std::size_t b) {
        return ZeroEndedLess(text.data() + a, text.data() + b, end);
    });

    // The names are then laid out again in that order, and only the start of
    // every Stride-th is kept (in place: the i-th is read before the i /
    // Stride-th is written).
    count = starts.size();
    std::vector<char> sorted;
    sorted.reserve(text.size());
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = text.data() + starts[i];
        if (i % Stride == 0)
            starts[i / Stride] = sorted.size();
        sorted.insert(sorted.end(), name, After(name));
    }
    text = std::move(sorted);
    starts.resize((count + Stride - 1) / Stride);
    starts.shrink_to_fit();
}

bool FolderListing::NameLess(std::string_view a, std::string_view b)
{
    const int folded = FoldedCompare(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

template <typename Before> FolderListing::Found FolderListing::FirstNotBefore(Before before) const
{
    // The first stride whose first name before() does not hold for.
    std::size_t stride = 0;
    for (std::size_t n = starts.size(); n > 0;) {
        const std::size_t half = n / 2;
        if (before(text.data() + starts[stride + half])) {
            stride += half + 1;
            n -= half + 1;
        } else {
            n = half;
        }
    }
    if (stride == 0)
        return {0, text.data()};
    // The position is after the first name of the stride before, and at most
    // the next stride's first.
    std::size_t position = (stride - 1) * Stride;
    const char* name = text.data() + starts[stride - 1];
    const std::size_t last = std::min(position + Stride, count);
    do {
        name = After(name);
        ++position;
    } while (position < last && before(name));
    return {position, name};
}

std::size_t FolderListing::Position(std::string_view name) const
{
    // A name this listing gave out (a view into its text, as Name gives) is
    // found by where it lies, with no name compared: the operations look up
    // the files of projects, which are such views. A view of part of a name
    // is looked up as any other name.
    const char* const first = text.data();
    if (!starts.empty() && std::less_equal<>()(first, name.data()) && std::less<>()(name.data(), first + text.size())) {
        const auto offset = static_cast<std::size_t>(name.data() - first);
        const auto stride = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), offset)
                                                     - starts.begin()); // at least 1: the first starts at 0
        std::size_t position = (stride - 1) * Stride;
        const char* at = first + starts[stride - 1];
        for (; position < count && at < name.data(); ++position)
            at = After(at);
        if (position < count && at == name.data() && After(at) == at + name.size() + 1)
            return position;
    }
    const Found found = FirstNotBefore([&](const char* entry) { return EntryLess(entry, name, first + text.size()); });
    return found.position < count && found.name == name ? found.position : npos;
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
    const char* name = text.data();
    for (std::size_t i = 0; i < count; ++i, name = After(name))
        if (HasProjectExtension(name))
            found.emplace_back(name);
    return found;
}

std::pair<std::size_t, std::size_t> FolderListing::FoldedRange(std::string_view name) const
{
    // The listing's order puts the names equal once letters are folded together.
    return {FirstNotBefore([&](const char* entry) { return FoldedCompare(entry, name) < 0; }).position,
            FirstNotBefore([&](const char* entry) { return FoldedCompare(entry, name) <= 0; }).position};
}

std::vector<std::size_t> FolderListing::OwnFilePositions(std::string_view projectName) const
{
    // Every own file's name starts with projectName once letters are folded, and
    // such names stand together in the listing's order.
    std::vector<std::size_t> found;
    auto [i, name] = FirstNotBefore([&](const char* entry) { return FoldedCompare(entry, projectName) < 0; });
    for (; i < count && FoldedCompare(std::string_view(name).substr(0, projectName.size()), projectName) == 0;
         ++i, name = After(name))
        if (IsOwnFileOf(name, projectName))
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
