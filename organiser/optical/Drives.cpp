#include "Drives.h"

#include "Regional.h"
#include "Xorriso.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace kelvark {

namespace {

// The text between the quotes that start at line[at]; at moves past the
// closing one. Nothing when there is no pair of quotes there.
std::optional<std::string_view> Quoted(std::string_view line, std::size_t& at)
{
    const std::size_t open = line.find('\'', at);
    const std::size_t close = open == std::string_view::npos ? open : line.find('\'', open + 1);
    if (close == std::string_view::npos)
        return {};
    at = close + 1;
    return line.substr(open + 1, close - open - 1);
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The text after label and its colon, trimmed: "Media status : is blank"
// gives "is blank" for "Media status"; nothing for another line.
std::optional<std::string_view> Field(std::string_view line, std::string_view label)
{
    if (!line.starts_with(label))
        return {};
    line.remove_prefix(label.size());
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !Trimmed(line.substr(0, colon)).empty())
        return {};
    return Trimmed(line.substr(colon + 1));
}

} // namespace

std::vector<Drive> ParseDevices(const std::vector<std::string>& lines)
{
    std::vector<Drive> drives;
    for (const std::string_view line : lines) {
        // The drive's number, "-dev", its quoted address, its permissions,
        // ":", then its vendor (padded to 8 characters) and model, quoted.
        const std::size_t dev = line.find(" -dev '");
        std::size_t at = dev;
        const auto device = dev == std::string_view::npos ? std::nullopt : Quoted(line, at);
        const std::size_t colon = device ? line.find(" : ", at) : std::string_view::npos;
        if (colon == std::string_view::npos || device->empty()
            || line.substr(0, dev).find_first_not_of(" 0123456789") != std::string_view::npos)
            continue;
        at = colon;
        const auto vendor = Quoted(line, at);
        const auto model = vendor ? Quoted(line, at) : std::nullopt;
        drives.push_back({std::string(*device), std::string(Trimmed(vendor.value_or(""))),
                          std::string(Trimmed(model.value_or("")))});
    }
    return drives;
}

LoadedDisc ParseLoadedDisc(const std::vector<std::string>& lines)
{
    LoadedDisc disc;
    bool told = false;
    bool absent = false;
    for (const std::string_view line : lines) {
        if (const auto current = Field(line, "Media current")) {
            // "is not present": a state, not a kind of disc.
            told = true;
            disc.medium = current->starts_with("is ") ? "" : *current;
            absent = absent || *current == "is not present";
        } else if (const auto status = Field(line, "Media status")) {
            // "is written , is closed": each part without its "is".
            told = true;
            disc.state.clear();
            for (std::string_view rest = *status; !rest.empty();) {
                const std::size_t comma = std::min(rest.find(','), rest.size());
                std::string_view part = Trimmed(rest.substr(0, comma));
                if (part.starts_with("is "))
                    part.remove_prefix(3);
                if (!part.empty())
                    disc.state += (disc.state.empty() ? "" : ", ") + std::string(part);
                rest.remove_prefix(std::min(comma + 1, rest.size()));
            }
        } else if (const auto space = Field(line, "Media space")) {
            std::int64_t sectors = -1;
            const auto [end, error] = std::from_chars(space->data(), space->data() + space->size(), sectors);
            if (error == std::errc() && end + 1 == space->data() + space->size() && *end == 's' && sectors >= 0)
                disc.freeSectors = sectors;
        }
    }
    disc.present = told && !absent && disc.state != "not present";
    disc.blank = disc.present && disc.state == "blank";
    if (!disc.present)
        disc = {};
    return disc;
}

std::string LoadedDiscText(const LoadedDisc& disc)
{
    if (!disc.present)
        return "no disc";
    std::string text = disc.medium;
    if (!disc.state.empty())
        text += (text.empty() ? "" : ", ") + disc.state;
    if (disc.blank && disc.freeSectors >= 0)
        text += ", " + Grouped(disc.freeSectors, ",") + " sectors free";
    return text;
}

Result ListDrives(std::vector<Drive>& drives, const Progress& stop)
{
    // xorriso counts a scan that finds no drive as a problem: its exit
    // status says nothing more than the list does.
    const XorrisoRun run = RunXorriso({"-devices"}, stop);
    if (!run.EndedByItself())
        return Result(run.Problem());
    drives = ParseDevices(run.results);
    return {};
}

Result LookAtDisc(const std::string& device, LoadedDisc& disc, const Progress& stop)
{
    // Taking the drive as the output drive tells what its disc is; the
    // space left on it is what a write may fill.
    const XorrisoRun run = RunXorriso({"-abort_on", "FAILURE", "-outdev", device, "-tell_media_space"}, stop);
    std::vector<std::string> lines = run.infos;
    lines.insert(lines.end(), run.results.begin(), run.results.end());
    disc = ParseLoadedDisc(lines);
    const bool told = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("Media current") || line.starts_with("Media status");
    });
    if (!run.EndedByItself() || (!told && !run.Succeeded()))
        return Result("Can't look at the disc in " + device + ": " + run.Problem());
    return {};
}

} // namespace kelvark
