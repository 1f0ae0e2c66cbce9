#include "Manifest.h"

#include "FileOps.h"
#include "idata_common.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_set>

namespace kelvark {

namespace {

constexpr std::string_view HexDigits = "0123456789abcdef";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The name of an escaped line: \\, \n and \r stand for their characters, and
// any other backslash makes the line malformed (false).
bool Unescape(std::string_view escaped, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            name += escaped[i];
            continue;
        }
        if (++i == escaped.size())
            return false;
        switch (escaped[i]) {
        case '\\': name += '\\'; break;
        case 'n': name += '\n'; break;
        case 'r': name += '\r'; break;
        default: return false;
        }
    }
    return true;
}

// One line without its line feed: the entry, or false when it is not a checksum line.
bool ParseLine(std::string_view line, ManifestEntry& entry)
{
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped)
        line.remove_prefix(1);
    constexpr std::size_t Digits = 2 * std::tuple_size_v<Digest>;
    if (line.size() < Digits + 3 || line[Digits] != ' ' || (line[Digits + 1] != ' ' && line[Digits + 1] != '*'))
        return false;
    for (std::size_t i = 0; i < entry.digest.size(); ++i) {
        const int high = HexValue(line[2 * i]), low = HexValue(line[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        entry.digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    const std::string_view name = line.substr(Digits + 2);
    if (!escaped) {
        entry.name = name;
        return true;
    }
    return Unescape(name, entry.name);
}

} // namespace

std::string DigestHex(const Digest& digest)
{
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const unsigned char byte : digest) {
        hex += HexDigits[byte >> 4];
        hex += HexDigits[byte & 0xF];
    }
    return hex;
}

std::string ManifestLine(const ManifestEntry& entry)
{
    const bool escape = entry.name.find_first_of("\\\n\r") != std::string::npos;
    std::string line = escape ? "\\" : "";
    line += DigestHex(entry.digest) + "  ";
    for (const char c : entry.name) {
        if (escape && c == '\\')
            line += "\\\\";
        else if (escape && c == '\n')
            line += "\\n";
        else if (escape && c == '\r')
            line += "\\r";
        else
            line += c;
    }
    return line + '\n';
}

Manifest ParseManifest(std::string_view text)
{
    Manifest manifest;
    std::unordered_set<std::string> names;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (line.starts_with('#'))
            continue;
        ManifestEntry entry;
        if (!ParseLine(line, entry))
            manifest.malformed.push_back("Line " + std::to_string(number) + " of " + ManifestName
                                         + " is not a checksum line.");
        else if (!names.insert(entry.name).second)
            manifest.malformed.push_back("Line " + std::to_string(number) + " of " + ManifestName + " lists \""
                                         + entry.name + "\" a second time.");
        else
            manifest.entries.push_back(std::move(entry));
    }
    return manifest;
}

std::error_code ReadManifest(const std::string& folder, Manifest& manifest)
{
    const FileDescriptor file = OpenRead(AT_FDCWD, (folder + ManifestName).c_str());
    if (file.Get() < 0)
        return LastErrno();
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0 && errno != EINTR)
            return LastErrno();
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
    }
    manifest = ParseManifest(text);
    return {};
}

std::error_code WriteManifest(const std::string& folder, const std::vector<ManifestEntry>& entries, bool replace)
{
    ReportFile file;
    if (const std::error_code error = file.Open(folder + ManifestName))
        return error;
    for (const auto& entry : entries)
        file.Write(ManifestLine(entry));
    return file.Commit(replace);
}

std::vector<std::string> Unlisted(const Manifest& manifest, const std::vector<std::string_view>& names)
{
    std::unordered_set<std::string_view> listed;
    for (const auto& entry : manifest.entries)
        listed.insert(entry.name);
    std::vector<std::string> extra;
    for (const std::string_view name : names)
        if (name != ManifestName && !listed.contains(name))
            extra.emplace_back(name);
    return extra;
}

} // namespace kelvark
