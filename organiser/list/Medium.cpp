#include "Medium.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

constexpr std::int64_t MiB = std::int64_t{1024} * 1024;
// What a disc of a named medium other than CD and DVD, and a custom disk, keep
// free for the image's own records (volume descriptors, path tables, the
// folders' records).
constexpr std::int64_t Margin = 4 * MiB;
// A custom size below this would leave almost nothing after the margin.
constexpr std::int64_t SmallestCustom = 8 * MiB;
constexpr std::int64_t LargestCustom = std::int64_t{1024} * 1024 * 1024 * MiB; // 1,024 TiB

// The budget in decimal units, as a question and a notice give it:
// "733 megabytes" and "733.0 MB", or "8.5 gigabytes" and "8.5 GB"; rounded
// down, or with roundUp rounded up. Rounded down, no set that fits reads as
// larger than its budget; rounded up, no size beyond it reads as the budget.
std::pair<std::string, std::string> SizeTexts(std::int64_t budget, bool roundUp = false)
{
    // The size in units of unit, rounded to a whole number of them.
    const auto rounded = [&](double unit) {
        const double units = static_cast<double>(budget) / unit;
        return roundUp ? std::ceil(units) : std::floor(units);
    };
    char number[32], tenths[32];
    if (budget < 1'000'000'000) {
        std::snprintf(number, sizeof number, "%.0f", rounded(1e6));
        std::snprintf(tenths, sizeof tenths, "%.1f", rounded(1e5) / 10);
        return {std::string(number) + " megabytes", std::string(tenths) + " MB"};
    }
    if (budget < 1000LL * 1000 * 1000 * 1000) {
        std::snprintf(number, sizeof number, "%.1f", rounded(1e8) / 10);
        return {std::string(number) + " gigabytes", std::string(number) + " GB"};
    }
    std::snprintf(number, sizeof number, "%.1f", rounded(1e11) / 10);
    return {std::string(number) + " terabytes", std::string(number) + " TB"};
}

Medium Named(std::string key, std::string prefix, std::string name, std::int64_t sectors)
{
    const std::int64_t budget = sectors * SectorSize - Margin;
    auto [size, shortSize] = SizeTexts(budget);
    return {std::move(key), std::move(prefix), std::move(name), std::move(size), std::move(shortSize), sectors, budget};
}

} // namespace

std::string ShortSizeAbove(std::int64_t bytes)
{
    return SizeTexts(bytes, true).second;
}

const std::vector<Medium>& Media()
{
    // CD and DVD keep the budgets their sets always had: their margins to a
    // real disc (333,000 and 2,295,104 sectors) hold the image's records.
    static const std::vector<Medium> media{
        {"cd", "CD", "CD", "649 megabytes", "680.5 MB", 333000, 680525824},
        Named("cd80", "CD", "80-minute CD", 360000),
        {"dvd", "DVD", "DVD", "4.6 gigabytes", "4.6 GB", 2295104, 4600000000},
        Named("dvd-dl", "DVDDL", "dual-layer DVD", 4171712),
        Named("bd", "BD", "BD-R", 11826176),
        Named("bd-dl", "BDDL", "dual-layer BD-R", 23652352),
        Named("bdxl", "BDXL", "BDXL disc", 48878592),
    };
    return media;
}

const Medium& CDMedium()
{
    return Media()[0];
}

const Medium& DVDMedium()
{
    return Media()[2];
}

std::optional<Medium> CustomMedium(std::int64_t bytes)
{
    if (bytes < SmallestCustom || bytes > LargestCustom)
        return std::nullopt;
    Medium medium = Named(std::to_string(bytes), "DISC", "custom disk", bytes / SectorSize);
    return medium;
}

namespace {

// The bytes a typed size gives: digits, perhaps a fraction (".5"), then
// perhaps spaces and a unit in any case of letters: B, kB, MB, GB, TB or k, M,
// G, T (powers of 1,000), KiB, MiB, GiB, TiB (powers of 1,024). Spaces around
// it are left out; a fraction of a byte is dropped. -1 when the text is no
// size; beyond the largest custom size, one byte more than it.
std::int64_t TypedBytes(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    const auto digitsAt = [&](std::size_t at) {
        std::size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        return end - at;
    };
    const std::size_t whole = digitsAt(0);
    std::size_t at = whole;
    std::size_t fraction = 0;
    if (at < text.size() && text[at] == '.') {
        fraction = digitsAt(at + 1);
        if (fraction == 0)
            return -1;
        at += 1 + fraction;
    }
    if (whole == 0 || whole > 16 || fraction > 6)
        return -1;
    while (at < text.size() && isSpace(text[at]))
        ++at;
    std::string unit(text.substr(at));
    std::transform(unit.begin(), unit.end(), unit.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::pair<std::string_view, std::int64_t> units[] = {
        {"", 1},
        {"b", 1},
        {"k", 1000},
        {"kb", 1000},
        {"m", 1000 * 1000},
        {"mb", 1000 * 1000},
        {"g", 1000 * 1000 * 1000},
        {"gb", 1000 * 1000 * 1000},
        {"t", 1000LL * 1000 * 1000 * 1000},
        {"tb", 1000LL * 1000 * 1000 * 1000},
        {"kib", 1024},
        {"mib", MiB},
        {"gib", 1024 * MiB},
        {"tib", std::int64_t{1024} * 1024 * MiB},
    };
    const auto found = std::find_if(std::begin(units), std::end(units), [&](const auto& u) { return u.first == unit; });
    if (found == std::end(units))
        return -1;
    const std::int64_t factor = found->second;
    // At most 16 and 6 digits, as checked above: both fit.
    std::int64_t count = 0, part = 0;
    std::from_chars(text.data(), text.data() + whole, count);
    if (count > LargestCustom / factor)
        return LargestCustom + 1;
    if (fraction > 0)
        std::from_chars(text.data() + whole + 1, text.data() + whole + 1 + fraction, part);
    std::int64_t scale = 1;
    for (std::size_t i = 0; i < fraction; ++i)
        scale *= 10;
    return count * factor + part * factor / scale;
}

// The limits of a custom size, as a refusal gives them: "from 8.4 MB to 1125.8 TB".
std::string CustomLimits()
{
    return "from " + ShortSizeAbove(SmallestCustom) + " to " + SizeTexts(LargestCustom).second;
}

} // namespace

Result CustomSize(const std::string& typed, Medium& medium)
{
    const std::string hint = "Enter a size such as 700 MB, 16 GB or 25 GiB.";
    const std::int64_t bytes = TypedBytes(typed);
    if (bytes < 0)
        return Result(hint);
    const std::optional<Medium> custom = CustomMedium(bytes);
    if (!custom)
        return Result(hint + " One disk's size is " + CustomLimits() + ".");
    medium = *custom;
    return {};
}

Result MediumNamed(std::string_view word, Medium& medium)
{
    for (const Medium& named : Media())
        if (word == named.key) {
            medium = named;
            return {};
        }
    const std::int64_t bytes = TypedBytes(word);
    if (bytes < 0)
        return Result("unknown medium \"" + std::string(word)
                      + "\": give cd, cd80, dvd, dvd-dl, bd, bd-dl, bdxl, or a size such as 700MB, 16GB or 25GiB");
    const std::optional<Medium> custom = CustomMedium(bytes);
    if (!custom)
        return Result("a custom size must be " + CustomLimits() + ": \"" + std::string(word) + "\"");
    medium = *custom;
    return {};
}

const std::vector<std::string>& SetPrefixes()
{
    static const std::vector<std::string> prefixes{"CD", "DVD", "DVDDL", "BD", "BDDL", "BDXL", "DISC"};
    return prefixes;
}

bool IsSetFolder(const std::string& name, const std::string& prefix)
{
    return name.size() > prefix.size() + 1 && name.starts_with(prefix + "-")
           && std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()) + 1, name.end(),
                          [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool IsAnySetFolder(const std::string& name)
{
    return std::any_of(SetPrefixes().begin(), SetPrefixes().end(),
                       [&](const std::string& prefix) { return IsSetFolder(name, prefix); });
}

std::vector<std::string> SetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes,
                                    std::error_code& error)
{
    std::vector<std::string> folders;
    for (fs::directory_iterator it(RootFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (!it->is_symlink(typeError) && it->is_directory(typeError)
            && std::any_of(prefixes.begin(), prefixes.end(),
                           [&](const auto& prefix) { return IsSetFolder(name, prefix); }))
            folders.push_back(name);
    }
    // Set order: by prefix, then A to Z, AA, AB and so on.
    std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        const auto a1 = a.find('-'), b1 = b.find('-');
        if (a.compare(0, a1, b, 0, b1) != 0)
            return a.compare(0, a1, b, 0, b1) < 0;
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return folders;
}

} // namespace kelvark
