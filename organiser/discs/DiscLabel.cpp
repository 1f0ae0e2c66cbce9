#include "DiscLabel.h"

#include "FileOps.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvark {

namespace {

const std::string Heading = "Kelvark backup disc";
const std::string PlacePrefix = "This is disc ";
const std::string MediumPrefix = "Medium: ";
const std::string RootPrefix = "Backed up from: ";
const std::string IdPrefix = "Disc id: ";
constexpr std::size_t IdDigits = 16;
const std::string DiscsPrefix = "Discs of this backup: ";
const std::string ProjectsPrefix = "Projects on this disc: ";
constexpr std::size_t LargestLabel = 1 << 20;

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// The number at the start of text, taken off it; false when there is none.
bool TakeNumber(std::string_view& text, int& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || number < 1)
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool TakeWord(std::string_view& text, std::string_view word)
{
    if (!StartsWith(text, word))
        return false;
    text.remove_prefix(word.size());
    return true;
}

bool Digits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "2 of 4 of the backup sort of 2026-12-10 13:05, DVD-B.", without the time
// on older labels.
bool ReadPlace(std::string_view text, DiscLabel& label)
{
    if (!TakeNumber(text, label.number) || !TakeWord(text, " of ") || !TakeNumber(text, label.count)
        || label.number > label.count || !TakeWord(text, " of the backup sort of ") || text.size() < 10)
        return false;
    label.date = std::string(text.substr(0, 10));
    text.remove_prefix(10);
    if (text.size() > 6 && text[0] == ' ' && text[3] == ':' && Digits(text.substr(1, 2)) && Digits(text.substr(4, 2))) {
        label.time = std::string(text.substr(1, 5));
        text.remove_prefix(6);
    }
    if (!TakeWord(text, ", ") || text.size() < 2 || text.back() != '.')
        return false;
    label.set = std::string(text.substr(0, text.size() - 1));
    return true;
}

} // namespace

std::string NewDiscId()
{
    std::uint64_t drawn = 0;
    if (::getrandom(&drawn, sizeof drawn, 0) != static_cast<ssize_t>(sizeof drawn)) {
        // A system without the call (or interrupted): the clock and the
        // process, mixed, still tell discs apart.
        drawn = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count())
                ^ (static_cast<std::uint64_t>(::getpid()) << 40);
        drawn *= 0x9E3779B97F4A7C15u;
    }
    char digits[IdDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(drawn));
    return digits;
}

std::string DiscRoot(const std::string& given)
{
    // Absolute whatever folder the command ran in; links are kept as the user named them.
    std::error_code error;
    std::string folder = std::filesystem::absolute(given, error).lexically_normal().string();
    if (error)
        folder = given;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::vector<std::string> DiscLabelLines(const DiscLabel& label)
{
    std::vector<std::string> lines{
        Heading,
        "This is " + DiscPlace(label) + ".",
        MediumPrefix + label.mediumName + " (" + label.medium + ")",
    };
    if (!label.root.empty())
        lines.push_back(RootPrefix + label.root);
    if (!label.id.empty())
        lines.push_back(IdPrefix + label.id);
    lines.push_back(DiscsPrefix + label.first + (label.count > 1 ? " to " + label.last : ""));
    lines.push_back(ProjectsPrefix + std::to_string(label.projects.size()));
    lines.insert(lines.end(), label.projects.begin(), label.projects.end());
    return lines;
}

std::string BackupPlace(const DiscLabel& label)
{
    return "disc " + std::to_string(label.number) + " of " + std::to_string(label.count) + " of the backup sort of "
           + label.date + (label.time.empty() ? "" : " " + label.time);
}

std::string DiscPlace(const DiscLabel& label)
{
    return BackupPlace(label) + ", " + label.set;
}

std::optional<DiscLabel> ParseDiscLabel(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    DiscLabel label;
    if (lines.size() < 2 || lines[0] != Heading || !StartsWith(lines[1], PlacePrefix)
        || !ReadPlace(lines[1].substr(PlacePrefix.size()), label))
        return std::nullopt;
    bool projects = false;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (projects) {
            label.projects.emplace_back(line);
        } else if (StartsWith(line, MediumPrefix)) {
            const std::string_view medium = line.substr(MediumPrefix.size());
            const std::size_t open = medium.rfind(" (");
            if (open != std::string_view::npos && medium.back() == ')') {
                label.mediumName = std::string(medium.substr(0, open));
                label.medium = std::string(medium.substr(open + 2, medium.size() - open - 3));
            }
        } else if (StartsWith(line, RootPrefix)) {
            label.root = std::string(line.substr(RootPrefix.size()));
        } else if (StartsWith(line, IdPrefix)) {
            // Only an id of the shape the sort writes: anything else names no disc.
            const std::string_view id = line.substr(IdPrefix.size());
            if (id.size() == IdDigits && std::all_of(id.begin(), id.end(), [](char c) {
                    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                }))
                label.id = std::string(id);
        } else if (StartsWith(line, DiscsPrefix)) {
            const std::string_view discs = line.substr(DiscsPrefix.size());
            const std::size_t to = discs.find(" to ");
            label.first = std::string(discs.substr(0, to));
            label.last = to == std::string_view::npos ? label.first : std::string(discs.substr(to + 4));
        } else if (StartsWith(line, ProjectsPrefix)) {
            projects = true;
        }
    }
    return label;
}

std::optional<DiscLabel> ReadDiscLabel(int folder)
{
    const FileDescriptor file = OpenRead(folder, DiscLabelName.c_str(), O_NOFOLLOW | O_NONBLOCK);
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)
        || static_cast<std::size_t>(status.st_size) > LargestLabel)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return ParseDiscLabel(text);
}

} // namespace kelvark
