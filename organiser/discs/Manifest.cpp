#include "Manifest.h"

#include "FileOps.h"
#include "idata_common.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace kelvark {

namespace {

constexpr std::string_view HexDigits = "0123456789abcdef";
constexpr std::size_t Digits = 2 * std::tuple_size_v<Digest>;
// A longer line holds no name a file system allows: it is not read whole.
constexpr std::size_t LongestLine = std::size_t{64} * 1024;

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

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The digest of exactly 64 hex digits; false for anything else.
bool ParseDigest(std::string_view hex, Digest& digest)
{
    if (hex.size() != Digits)
        return false;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
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

enum class LineKind { Entry, NotChecksum, Outside };

// The path inside the folder that name gives, without "." components and
// doubled "/"; Outside for an absolute path or one with a ".." component, and
// no file's path when it ends with "/".
LineKind InsidePath(std::string_view name, std::string& path)
{
    if (name.starts_with('/'))
        return LineKind::Outside;
    if (name.ends_with('/'))
        return LineKind::NotChecksum;
    path.clear();
    while (!name.empty()) {
        const std::size_t slash = name.find('/');
        const std::string_view part = name.substr(0, slash);
        name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
        if (part == "..")
            return LineKind::Outside;
        if (part.empty() || part == ".")
            continue;
        path += (path.empty() ? "" : "/") + std::string(part);
    }
    return path.empty() ? LineKind::NotChecksum : LineKind::Entry;
}

// Reads the lines of a SHA256SUMS as its bytes come, keeping no more than a
// line of LongestLine at a time.
class ManifestReader final {
public:
    explicit ManifestReader(std::size_t shown) : shown(shown) {}

    void Add(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const std::size_t end = bytes.find('\n');
            const std::string_view part = bytes.substr(0, end);
            if (!overlong && line.size() + part.size() > LongestLine) {
                overlong = true;
                remark = (line.empty() ? part : std::string_view(line)).starts_with('#');
                line.clear();
            }
            if (!overlong)
                line += part;
            if (end == std::string_view::npos)
                return;
            bytes.remove_prefix(end + 1);
            EndLine();
        }
    }

    Manifest Finish()
    {
        if (!line.empty() || overlong)
            EndLine();
        return std::move(manifest);
    }

private:
    void EndLine()
    {
        ++number;
        if (!overlong)
            Take(line);
        else if (!remark)
            Malformed(" is longer than 65,536 bytes.");
        line.clear();
        overlong = false;
    }

    void Malformed(const std::string& why)
    {
        if (manifest.malformedCount++ < shown)
            manifest.malformed.push_back("Line " + std::to_string(number) + " of " + ManifestName + why);
    }

    void Take(std::string_view text)
    {
        if (text.starts_with('#'))
            return;
        if (text.ends_with('\r'))
            text.remove_suffix(1);
        if (text.empty())
            return;
        ManifestEntry entry;
        std::string name;
        switch (Parse(text, entry.digest, name) ? InsidePath(name, entry.name) : LineKind::NotChecksum) {
        case LineKind::NotChecksum: return Malformed(" is not a checksum line.");
        case LineKind::Outside: return Malformed(" names a file outside its folder: \"" + name + "\".");
        case LineKind::Entry: break;
        }
        const auto [at, fresh] = listed.emplace(entry.name, manifest.entries.size());
        if (fresh)
            manifest.entries.push_back(std::move(entry));
        else if (manifest.entries[at->second].digest != entry.digest)
            Malformed(" lists \"" + entry.name + "\" a second time.");
    }

    // One line: its digest and its name as given; false when it is not a checksum line.
    bool Parse(std::string_view s, Digest& digest, std::string& name)
    {
        std::size_t i = s.find_first_not_of(" \t\n\v\f\r");
        if (i == std::string_view::npos)
            return false;
        const bool escaped = s[i] == '\\';
        i += escaped ? 1 : 0;
        std::string_view raw;
        if (s.substr(i).starts_with("SHA256")) {
            // SHA256 (NAME) = HASH, the name up to the last ")".
            i += 6;
            i += i < s.size() && s[i] == ' ' ? 1 : 0;
            if (i >= s.size() || s[i] != '(')
                return false;
            const std::string_view rest = s.substr(i + 1);
            const std::size_t close = rest.rfind(')');
            if (close == std::string_view::npos)
                return false;
            raw = rest.substr(0, close);
            std::size_t j = close + 1;
            while (j < rest.size() && IsBlank(rest[j]))
                ++j;
            if (j == rest.size() || rest[j] != '=')
                return false;
            for (++j; j < rest.size() && IsBlank(rest[j]);)
                ++j;
            if (!ParseDigest(rest.substr(j), digest))
                return false;
        } else {
            if (s.size() - i < Digits + 2 || !ParseDigest(s.substr(i, Digits), digest) || !IsBlank(s[i + Digits]))
                return false;
            i += Digits + 1;
            // "HASH NAME" with one blank is read only in a file whose first
            // checksum line has that shape, never mixed with the others.
            if (s.size() - i == 1 || (s[i] != ' ' && s[i] != '*')) {
                if (oneBlank == 0)
                    return false;
                oneBlank = 1;
            } else if (oneBlank != 1) {
                oneBlank = 0;
                ++i;
            }
            raw = s.substr(i);
        }
        if (escaped)
            return Unescape(raw, name) && name.find('\0') == std::string::npos;
        name = raw;
        return !name.empty() && name.find('\0') == std::string::npos;
    }

    std::size_t shown;
    Manifest manifest;
    std::unordered_map<std::string, std::size_t> listed; // names, with their place in entries
    std::string line;
    bool overlong = false; // the line went past LongestLine
    bool remark = false; // and it starts with "#"
    std::size_t number = 0;
    int oneBlank = -1; // unknown until the first checksum line
};

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

Manifest ParseManifest(std::string_view text, std::size_t shown)
{
    ManifestReader reader(shown);
    reader.Add(text);
    return reader.Finish();
}

std::error_code ReadManifest(int folder, Manifest& manifest, std::size_t shown)
{
    const FileDescriptor file = OpenRead(folder, ManifestName.c_str(), O_NOFOLLOW | O_NONBLOCK);
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0)
        return LastErrno();
    if (!S_ISREG(status.st_mode))
        return std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    ManifestReader reader(shown);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0 && errno != EINTR)
            return LastErrno();
        if (got > 0)
            reader.Add(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
    manifest = reader.Finish();
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

} // namespace kelvark
