#include "Medium.h"

#include <algorithm>
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
// "733 megabytes" and "733 MB", or "8.5 gigabytes" and "8.5 GB"; rounded down,
// or with roundUp rounded up.
std::pair<std::string, std::string> SizeTexts(std::int64_t budget, bool roundUp = false)
{
    const auto rounded = [&](double value) { return roundUp ? std::ceil(value) : std::floor(value); };
    char number[32];
    if (budget < 1'000'000'000) {
        std::snprintf(number, sizeof number, "%.0f", rounded(static_cast<double>(budget) / 1e6));
        return {std::string(number) + " megabytes", std::string(number) + " MB"};
    }
    if (budget < 1000LL * 1000 * 1000 * 1000) {
        std::snprintf(number, sizeof number, "%.1f", rounded(static_cast<double>(budget) / 1e8) / 10);
        return {std::string(number) + " gigabytes", std::string(number) + " GB"};
    }
    std::snprintf(number, sizeof number, "%.1f", rounded(static_cast<double>(budget) / 1e11) / 10);
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
        {"cd", "CD", "CD", "649 megabytes", "649 MB", 333000, 680525824},
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

std::optional<Medium> MediumNamed(std::string_view word, std::string& error)
{
    for (const Medium& medium : Media())
        if (word == medium.key)
            return medium;
    std::size_t digits = 0;
    while (digits < word.size() && word[digits] >= '0' && word[digits] <= '9')
        ++digits;
    static const std::pair<std::string_view, std::int64_t> units[] = {
        {"", 1},
        {"k", 1000},
        {"M", 1000 * 1000},
        {"G", 1000 * 1000 * 1000},
        {"T", 1000LL * 1000 * 1000 * 1000},
        {"KiB", 1024},
        {"MiB", MiB},
        {"GiB", 1024 * MiB},
        {"TiB", std::int64_t{1024} * 1024 * MiB},
    };
    const std::string_view unit = word.substr(digits);
    std::int64_t factor = 0;
    for (const auto& [text, value] : units)
        if (unit == text)
            factor = value;
    if (digits == 0 || factor == 0 || digits > 16) {
        error = "unknown medium \"" + std::string(word)
                + "\": give cd, cd80, dvd, dvd-dl, bd, bd-dl, bdxl, or a size such as 16G or 700MiB";
        return std::nullopt;
    }
    const std::int64_t count = std::stoll(std::string(word.substr(0, digits)));
    const std::int64_t bytes = count > LargestCustom / factor ? LargestCustom + 1 : count * factor;
    std::optional<Medium> medium = CustomMedium(bytes);
    if (!medium)
        error = "a custom size must be at least 8 MiB and at most 1024 TiB: \"" + std::string(word) + "\"";
    return medium;
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
