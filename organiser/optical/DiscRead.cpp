#include "DiscRead.h"

#include "DiscLabel.h"
#include "FileOps.h"
#include "FolderListing.h"
#include "Manifest.h"
#include "Medium.h"
#include "TextCodec.h"
#include "Xorriso.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace kelvark {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t SectorBytes = 2048;
constexpr std::int64_t BlockSectors = 512; // 1 MiB read at once
constexpr std::int64_t MiB = 1 << 20;
constexpr std::int64_t DropEvery = 8 * MiB; // how much the reader leaves behind before it drops it
// The most of one file kept in memory to be read after the disc: a
// SHA256SUMS of some 200,000 files, a project file many times the largest
// one seen. A larger one is checked but not kept.
constexpr std::int64_t KeptAtMost = 64 * MiB;

// A word no disc can know beforehand, so that no name or volume id on it can
// pose as the line between two parts of xorriso's answer.
std::string Mark()
{
    std::random_device random;
    const std::string digits = "0123456789abcdef";
    std::string mark = "@kelvark-";
    for (int i = 0; i < 24; ++i)
        mark += digits[random() % 16];
    return mark;
}

// A disc's two directory trees: the primary one (ISO 9660 with Rock Ridge's
// names, what Linux and macOS read), and the Joliet one (what Windows reads),
// which on a disc of Kelvark's names the same files in the same sectors.
enum class Tree { Primary, Joliet };

// What xorriso is asked: the session (-toc), then each regular file's
// extents, the MD5s recorded, the folders and the other entries, each part
// after a line of its own. Names come quoted with their special bytes
// escaped (encode_output), so that each is one line and says its bytes.
// With md5, the MD5s the image recorded are loaded, without the check of the
// directory tree's own checksum: a damaged directory record is for the read
// to find, file by file. The tree listed is the one tree names: xorriso
// would take the Joliet tree for a primary tree it can't read, without a word.
std::vector<std::string> ListingArguments(const DiscSource& source, const std::string& mark, Tree tree, bool md5)
{
    std::vector<std::string> arguments{"-abort_on", "FAILURE", "-return_with", "SORRY", "32"};
    arguments.insert(arguments.end(), {"-read_fs", tree == Tree::Primary ? "nojoliet" : "norock"});
    arguments.insert(arguments.end(), {"-backslash_codes", "encode_output", "-md5", md5 ? "on" : "off"});
    arguments.insert(arguments.end(), {"-md5", "load_check_off"});
    arguments.insert(arguments.end(), {"-indev", source.drive ? source.path : "stdio:" + source.path, "-toc"});
    const auto part = [&](const std::string& word, const std::vector<std::string>& find) {
        arguments.insert(arguments.end(), {"-print", mark + " " + word, "-find", "/"});
        arguments.insert(arguments.end(), find.begin(), find.end());
        arguments.push_back("--");
    };
    part("files", {"-type", "f", "-exec", "report_sections"});
    part("md5", {"-type", "f", "-exec", "get_md5"});
    part("folders", {"-type", "d"});
    part("others", {"-not", "-type", "f", "-not", "-type", "d"});
    return arguments;
}

// The file Kelvark reads a disc from: the image, or the drive's device.
std::string Device(const DiscSource& source)
{
    return source.drive && source.path.starts_with("stdio:") ? source.path.substr(6) : source.path;
}

// Decodes xorriso's backslash codes (\\, \n and the other letters, \ooo,
// \xHH) in text; false when a code is not one of them.
bool Unescape(std::string_view text, std::string& bytes)
{
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        static constexpr std::string_view letters = "abefnrtv\\", codes = "\a\b\x1b\f\n\r\t\v\\";
        const char c = text[i];
        int base = 0, length = 0;
        if (const std::size_t letter = letters.find(c); letter != std::string_view::npos) {
            bytes += codes[letter];
        } else if (c >= '0' && c <= '7') {
            base = 8, length = 3;
        } else if (c == 'x') {
            base = 16, length = 2, ++i;
        } else {
            return false;
        }
        if (base == 0)
            continue;
        unsigned value = 0;
        const char* first = text.data() + i;
        if (i + length > text.size() || std::from_chars(first, first + length, value, base).ptr != first + length
            || value > 255)
            return false;
        bytes += static_cast<char>(value);
        i += length - 1;
    }
    return true;
}

// A path as xorriso quotes it, '/a b'"'"'s', into the path inside the disc
// ("a b's"); false when it is not of that shape or names no usable file (an
// empty, "." or ".." component, a NUL byte).
bool QuotedPath(std::string_view text, std::string& path)
{
    std::string joined;
    while (!text.empty()) {
        const char quote = text.front();
        const std::size_t end = text.find(quote, 1);
        if ((quote != '\'' && quote != '"') || end == std::string_view::npos)
            return false;
        joined += text.substr(1, end - 1);
        text.remove_prefix(end + 1);
    }
    if (!Unescape(joined, path) || !path.starts_with('/'))
        return false;
    path.erase(0, 1);
    if (path.find('\0') != std::string::npos)
        return false;
    for (std::size_t from = 0; from <= path.size();) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        const std::string_view part = std::string_view(path).substr(from, slash - from);
        if (part.empty() || part == "." || part == "..")
            return path.empty(); // the root alone
        from = slash + 1;
    }
    return true;
}

// The next field of a line of comma-separated numbers, "  2097184 ,".
bool Number(std::string_view& text, std::int64_t& value, std::string_view end)
{
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return false;
    text.remove_prefix(start);
    const auto [at, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value < 0)
        return false;
    text.remove_prefix(static_cast<std::size_t>(at - text.data()));
    const std::size_t gap = text.find_first_not_of(' ');
    if (gap == std::string_view::npos || !text.substr(gap).starts_with(end))
        return false;
    text.remove_prefix(gap + end.size());
    return true;
}

// Reads xorriso's result lines of ListingArguments into listing; empty when
// they are of that shape, else why not. The disc is unchecked input: every
// number, name and extent is checked before it is taken.
std::string ParseListing(const std::vector<std::string>& lines, const std::string& mark, DiscListing& listing)
{
    enum class Part { Toc, Files, Md5, Folders, Others } part = Part::Toc;
    bool session = false;
    std::unordered_map<std::string, std::size_t> byName;
    const std::string odd = "xorriso's listing of the disc has a line Kelvark does not understand: ";
    for (const std::string& line : lines) {
        std::string_view text = line;
        if (text.starts_with(mark + " ")) {
            const std::string_view word = text.substr(mark.size() + 1);
            part = word == "files"     ? Part::Files
                   : word == "md5"     ? Part::Md5
                   : word == "folders" ? Part::Folders
                                       : Part::Others;
            continue;
        }
        std::string path;
        switch (part) {
        case Part::Toc: {
            // "ISO session  :   1 ,         0 ,       203s , VOLUME": the last one is the session read.
            constexpr std::string_view Session = "ISO session  :";
            std::int64_t index = 0, start = 0, sectors = 0;
            if (text == "Media status : is blank")
                return "the disc is blank";
            if (!text.starts_with(Session))
                break;
            text.remove_prefix(Session.size());
            if (!Number(text, index, ",") || !Number(text, start, ",") || !Number(text, sectors, "s ,")
                || start > INT32_MAX || sectors > INT32_MAX)
                return odd + line;
            listing.start = start;
            listing.sectors = sectors;
            const std::size_t from = text.find_first_not_of(' ');
            listing.volume = from == std::string_view::npos ? "" : std::string(text.substr(from));
            session = true;
            break;
        }
        case Part::Files: {
            // "File data lba:  1 ,  2097184 ,   100115 , 205034752 , '/big take.wav'"
            constexpr std::string_view Extent = "File data lba:";
            if (text.starts_with("Report layout:"))
                break;
            std::int64_t index = 0, sector = 0, blocks = 0, bytes = 0;
            if (!text.starts_with(Extent))
                return odd + line;
            text.remove_prefix(Extent.size());
            if (!Number(text, index, ",") || !Number(text, sector, ",") || !Number(text, blocks, ",")
                || !Number(text, bytes, ",") || !QuotedPath(text.substr(std::min(text.find('\''), text.size())), path)
                || path.empty() || sector > INT32_MAX || blocks > INT32_MAX || bytes > blocks * SectorBytes
                || blocks > (bytes + SectorBytes - 1) / SectorBytes)
                return odd + line;
            const bool next = !listing.files.empty() && listing.files.back().name == path;
            if (index != (next ? static_cast<std::int64_t>(listing.files.back().extents.size()) : 0)
                || (!next && byName.contains(path)))
                return odd + line;
            if (!next) {
                byName.emplace(path, listing.files.size());
                listing.files.push_back({path, {}, {}});
            }
            listing.files.back().extents.push_back({sector, bytes});
            break;
        }
        case Part::Md5: {
            // "24d3b42fac80053b55cb289615a856b4  /a\040b.wav"
            Md5 md5{};
            const auto found = text.size() > 34 && text.substr(32, 2) == "  " && Unescape(text.substr(34), path)
                                   ? byName.find(path.substr(std::min<std::size_t>(1, path.size())))
                                   : byName.end();
            for (std::size_t i = 0; found != byName.end() && i < md5.size(); ++i)
                if (std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, md5[i], 16).ptr
                    != text.data() + 2 * i + 2)
                    return odd + line;
            if (found == byName.end() || !path.starts_with('/'))
                return odd + line;
            listing.files[found->second].md5 = md5;
            break;
        }
        case Part::Folders:
        case Part::Others:
            if (!QuotedPath(text, path))
                return odd + line;
            if (!path.empty())
                (part == Part::Folders ? listing.folders : listing.others).push_back(path);
            break;
        }
    }
    if (!session || part != Part::Others)
        return "it holds no ISO 9660 session";
    return {};
}

// The sectors of a file, as one text: "33 5000,36 2" for two extents.
std::string SectorsOf(const DiscFile& file)
{
    std::string text;
    for (const DiscExtent& extent : file.extents)
        text += std::to_string(extent.sector) + " " + std::to_string(extent.bytes) + ",";
    return text;
}

// Quotes the first few of names, "a.wav", "b.wav" and 3 more.
std::string QuotedFew(const std::vector<std::string>& names)
{
    constexpr std::size_t Shown = 5;
    std::string text;
    for (std::size_t i = 0; i < std::min(Shown, names.size()); ++i)
        text += (i ? ", \"" : "\"") + names[i] + "\"";
    if (names.size() > Shown)
        text += " and " + std::to_string(names.size() - Shown) + " more";
    return text;
}

// Where the Joliet tree differs from the primary one, in sentences: a Joliet
// file must lie in the sectors of the primary file of its path, or, when no
// primary file has its path (Joliet's names are shorter), in those of a
// primary file that no Joliet path names; each primary file must have its
// Joliet file.
std::vector<std::string> JolietDamage(const DiscListing& primary, const DiscListing& joliet)
{
    std::unordered_map<std::string, const DiscFile*> byName;
    for (const DiscFile& file : primary.files)
        byName.emplace(file.name, &file);
    std::unordered_set<std::string> named;
    std::vector<const DiscFile*> renamed;
    std::vector<std::string> elsewhere, missing;
    for (const DiscFile& file : joliet.files) {
        const auto found = byName.find(file.name);
        if (found == byName.end()) {
            renamed.push_back(&file);
            continue;
        }
        named.insert(file.name);
        if (SectorsOf(*found->second) != SectorsOf(file))
            elsewhere.push_back(file.name);
    }
    std::unordered_map<std::string, std::vector<std::string>> unnamed; // by sectors, their primary names
    for (const DiscFile& file : primary.files)
        if (!named.contains(file.name))
            unnamed[SectorsOf(file)].push_back(file.name);
    for (const DiscFile* file : renamed) {
        std::vector<std::string>& names = unnamed[SectorsOf(*file)];
        if (names.empty())
            elsewhere.push_back(file->name);
        else
            names.pop_back();
    }
    for (const auto& [sectors, names] : unnamed)
        missing.insert(missing.end(), names.begin(), names.end());
    std::sort(elsewhere.begin(), elsewhere.end());
    std::sort(missing.begin(), missing.end());
    std::vector<std::string> damage;
    if (!elsewhere.empty())
        damage.push_back("Joliet tree damaged (what Windows reads): not in the sectors of the Rock Ridge tree "
                         + QuotedFew(elsewhere));
    if (!missing.empty())
        damage.push_back("Joliet tree damaged (what Windows reads): missing " + QuotedFew(missing));
    return damage;
}

// What reading one file of a disc gave.
struct FileRead {
    std::unique_ptr<StreamDigests> digests; // while it is being read
    std::int64_t left = 0; // its bytes still to come
    Digest sha256{};
    Md5 md5{};
    bool read = false; // to its end
    std::string lost; // why a sector of it could not be read
    bool keep = false; // its bytes are kept: SHA256SUMS, the label, a project file
    std::string kept;
};

// A piece of a file to read: one of its extents.
struct Piece {
    std::int64_t sector = 0;
    std::int64_t bytes = 0;
    std::size_t file = 0;
};

// Reads one disc: its session's sectors once in order, then the files that
// could not be read so.
class DiscReader final {
public:
    DiscReader(int fd, const std::string& shown, const std::vector<DiscFile>& files, Progress& progress)
        : fd(fd), shown(shown), files(files), progress(progress), reads(files.size()),
          buffer(BlockSectors * SectorBytes)
    {
    }

    std::vector<FileRead>& Reads() { return reads; }

    // The sectors of the session that belong to no file and could not be
    // read (its descriptors, directories, path tables), in a sentence;
    // empty when there were none.
    std::string LostOutsideFiles() const
    {
        if (outside == 0)
            return {};
        return "directory sectors unreadable: the disc is failing (" + Counted(outside, "sector", "sectors")
               + " from sector " + std::to_string(firstOutside) + ")";
    }

    // Reads the session, start to end, then each file apart; false when stopped.
    bool Read(std::int64_t start, std::int64_t sectors, bool drive)
    {
        ending = drive ? "the disc ends at sector " : "the image ends at sector ";
        if (struct stat status{}; !drive && ::fstat(fd, &status) == 0)
            end = status.st_size / SectorBytes;
        std::vector<Piece> inOrder;
        std::vector<std::size_t> apart;
        Arrange(start, sectors, inOrder, apart);
        total = sectors * SectorBytes;
        for (const std::size_t f : apart)
            for (const auto& extent : files[f].extents)
                total += (extent.bytes + SectorBytes - 1) / SectorBytes * SectorBytes;
        units = static_cast<int>(std::max<std::int64_t>(1, (total + MiB - 1) / MiB));
        progress.Hide();
        progress.Startup(units);
        began = std::chrono::steady_clock::now();
        if (!Tick(shown, true))
            return false;

        // The session, block by block, each file fed the bytes of its pieces.
        // An image or disc whose first block was not in memory is read once:
        // its blocks are dropped behind the reader, so that a disc's worth
        // of data does not push out of memory what the machine was using.
        iovec first{buffer.data(), static_cast<std::size_t>(std::min(BlockSectors, sectors) * SectorBytes)};
        const bool cached =
            ::preadv2(fd, &first, 1, start * SectorBytes, RWF_NOWAIT) == static_cast<ssize_t>(first.iov_len);
        std::int64_t dropped = start;
        std::size_t next = 0;
        for (std::int64_t sector = start; sector < start + sectors; sector += BlockSectors) {
            const std::int64_t count = std::min(BlockSectors, start + sectors - sector);
            const std::vector<std::string> lost = ReadBlock(sector, count);
            while (next < inOrder.size() && End(inOrder[next]) <= sector)
                ++next;
            for (std::size_t p = next; p < inOrder.size() && inOrder[p].sector < sector + count; ++p)
                Feed(inOrder[p], sector, count, lost);
            done += count * SectorBytes;
            if (!cached && (sector + count - dropped) * SectorBytes >= DropEvery) {
                ::posix_fadvise(fd, dropped * SectorBytes, (sector + count - dropped) * SectorBytes,
                                POSIX_FADV_DONTNEED);
                dropped = sector + count;
            }
            const std::size_t current = std::min(next, inOrder.size() - (inOrder.empty() ? 0 : 1));
            if (!Tick(inOrder.empty() ? shown : shown + "/" + files[inOrder[current].file].name))
                return false;
        }
        // The files that could not be read in order, each on its own, up to
        // its first sector lost.
        for (const std::size_t f : apart)
            for (const auto& extent : files[f].extents) {
                const Piece piece{extent.sector, extent.bytes, f};
                for (std::int64_t sector = extent.sector; sector < End(piece) && reads[f].lost.empty();
                     sector += BlockSectors) {
                    const std::int64_t count = std::min(BlockSectors, End(piece) - sector);
                    Feed(piece, sector, count, ReadBlock(sector, count));
                    done += count * SectorBytes;
                    if (!Tick(shown + "/" + files[f].name))
                        return false;
                }
            }
        return true;
    }

private:
    static std::int64_t End(const Piece& piece) { return piece.sector + (piece.bytes + SectorBytes - 1) / SectorBytes; }

    // Sorts the files' extents into those read in the session's order, and
    // the files read apart: those with an extent outside the session, one
    // that overlaps another file's, or extents that run backwards. Files of
    // no bytes are read here and now.
    void Arrange(std::int64_t start, std::int64_t sectors, std::vector<Piece>& inOrder, std::vector<std::size_t>& apart)
    {
        std::vector<bool> alone(files.size(), false);
        std::vector<Piece> pieces;
        for (std::size_t f = 0; f < files.size(); ++f) {
            const std::string& name = files[f].name;
            reads[f].keep = name == ManifestName || name == DiscLabelName || HasProjectExtension(name);
            std::int64_t last = -1;
            for (const auto& extent : files[f].extents) {
                reads[f].left += extent.bytes;
                if (extent.bytes == 0)
                    continue;
                const Piece piece{extent.sector, extent.bytes, f};
                alone[f] = alone[f] || piece.sector < std::max(last, start) || End(piece) > start + sectors;
                last = End(piece);
                pieces.push_back(piece);
            }
            reads[f].keep = reads[f].keep && reads[f].left <= KeptAtMost;
            if (reads[f].left == 0)
                Finish(f);
        }
        std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.sector < b.sector; });
        std::int64_t reach = 0; // the end of the pieces so far, and whose piece reaches it
        std::size_t reacher = 0;
        for (const Piece& piece : pieces) {
            if (piece.sector < reach)
                alone[piece.file] = alone[reacher] = true;
            if (piece.sector > reach || fileSectors.empty())
                fileSectors.emplace_back(piece.sector, End(piece));
            fileSectors.back().second = std::max(fileSectors.back().second, End(piece));
            if (End(piece) > reach)
                reach = End(piece), reacher = piece.file;
        }
        for (const Piece& piece : pieces)
            if (!alone[piece.file])
                inOrder.push_back(piece);
        for (std::size_t f = 0; f < files.size(); ++f)
            if (alone[f])
                apart.push_back(f);
    }

    // Reads count sectors from sector into the buffer: why each sector that
    // could not be read was lost (none when all were read). After a read
    // error the block is read again sector by sector, so that only the
    // sectors lost are.
    std::vector<std::string> ReadBlock(std::int64_t sector, std::int64_t count)
    {
        const std::int64_t wanted = count * SectorBytes;
        std::int64_t got = 0;
        std::error_code error;
        while (got < wanted) {
            const ssize_t n =
                ::pread(fd, buffer.data() + got, static_cast<std::size_t>(wanted - got), sector * SectorBytes + got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? LastErrno() : std::error_code();
                break;
            }
            got += n;
        }
        if (got == wanted)
            return {};
        std::vector<std::string> lost(static_cast<std::size_t>(count));
        for (std::int64_t s = got / SectorBytes; s < count; ++s) {
            ssize_t n = 0;
            if (error) {
                do
                    n = ::pread(fd, buffer.data() + s * SectorBytes, SectorBytes, (sector + s) * SectorBytes);
                while (n < 0 && errno == EINTR);
            }
            if (n == SectorBytes)
                continue;
            if (n < 0) {
                lost[static_cast<std::size_t>(s)] = ErrorText(LastErrno()) + " at sector " + std::to_string(sector + s);
                CountIfOutsideFiles(sector + s);
                continue;
            }
            // The end of the image or disc: the rest is lost with it.
            if (end < 0)
                end = sector + s;
            std::fill(lost.begin() + s, lost.end(), ending + std::to_string(end));
            break;
        }
        return lost;
    }

    void CountIfOutsideFiles(std::int64_t sector)
    {
        const auto after = std::upper_bound(fileSectors.begin(), fileSectors.end(), sector,
                                            [](std::int64_t s, const auto& run) { return s < run.first; });
        if (after != fileSectors.begin() && sector < std::prev(after)->second)
            return;
        if (outside++ == 0)
            firstOutside = sector;
    }

    // Feeds the file of piece the part of it that lies in the block read.
    void Feed(const Piece& piece, std::int64_t sector, std::int64_t count, const std::vector<std::string>& lost)
    {
        FileRead& read = reads[piece.file];
        const std::int64_t from = std::max(piece.sector, sector) * SectorBytes;
        const std::int64_t to = std::min(piece.sector * SectorBytes + piece.bytes, (sector + count) * SectorBytes);
        if (from >= to || read.read || !read.lost.empty())
            return;
        for (std::int64_t s = from / SectorBytes; !lost.empty() && s * SectorBytes < to; ++s)
            if (const std::string& why = lost[static_cast<std::size_t>(s - sector)]; !why.empty()) {
                read.lost = why;
                read.digests.reset();
                read.kept.clear();
                return;
            }
        if (!read.digests)
            read.digests = std::make_unique<StreamDigests>();
        if (!read.digests->Ready()) {
            read.lost = ErrorText(std::error_code(ELIBACC, std::generic_category()));
            read.digests.reset();
            return;
        }
        const char* bytes = buffer.data() + (from - sector * SectorBytes);
        read.digests->Add(bytes, static_cast<std::size_t>(to - from));
        if (read.keep)
            read.kept.append(bytes, static_cast<std::size_t>(to - from));
        read.left -= to - from;
        if (read.left == 0)
            Finish(piece.file);
    }

    void Finish(std::size_t f)
    {
        FileRead& read = reads[f];
        if (!read.digests)
            read.digests = std::make_unique<StreamDigests>();
        if (!read.digests->Ready()) {
            read.lost = ErrorText(std::error_code(ELIBACC, std::generic_category()));
        } else {
            read.digests->Finish(read.sha256, read.md5);
            read.read = true;
        }
        read.digests.reset();
    }

    // Tells progress what was read, about ten times a second; false once it
    // asks to stop, which is looked at after every block.
    bool Tick(const std::string& what, bool now = false)
    {
        const auto time = std::chrono::steady_clock::now();
        if (!now && time - told < std::chrono::milliseconds(100))
            return !progress.StopRequested();
        told = time;
        const std::chrono::duration<double> seconds = time - began;
        const auto unit = static_cast<int>(std::min<std::int64_t>(done / MiB, units - 1));
        return progress.OK(unit, ReadingProgress(done, total, seconds.count(), what));
    }

    int fd;
    std::string shown;
    const std::vector<DiscFile>& files;
    Progress& progress;
    std::vector<FileRead> reads;
    std::vector<char> buffer;
    std::string ending; // how a short read is told
    std::int64_t end = -1; // the sector the image or disc ends at, once known
    std::int64_t done = 0, total = 0;
    int units = 1;
    std::vector<std::pair<std::int64_t, std::int64_t>> fileSectors; // the runs of sectors files lie in, in order
    std::size_t outside = 0; // the sectors outside them that could not be read
    std::int64_t firstOutside = 0;
    std::chrono::steady_clock::time_point began, told;
};

// The folder temporaries go into: TMPDIR's when it is set, else /tmp.
std::string TemporaryFolder()
{
    const char* tmpdir = std::getenv("TMPDIR");
    return tmpdir && *tmpdir ? tmpdir : "/tmp";
}

// A private folder holding an empty file for each of a disc's files, and the
// bytes of its project files: what the project list reads to say which
// project each file belongs to, as it would read the set folder. Removed
// with everything in it at the end.
class DiscFolder final {
public:
    DiscFolder() = default;
    DiscFolder(const DiscFolder&) = delete;
    DiscFolder& operator=(const DiscFolder&) = delete;
    ~DiscFolder()
    {
        if (!path.empty()) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    }

    // Makes it; empty when done, else why not.
    std::string Make(const std::vector<DiscFile>& files, const std::vector<FileRead>& reads)
    {
        std::string pattern = WithSeparator(TemporaryFolder()) + "kelvark-disc-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return "can't make a temporary folder in " + TemporaryFolder() + ": " + ErrorText(LastErrno());
        path = WithSeparator(pattern);
        for (std::size_t f = 0; f < files.size(); ++f) {
            // A project file that can't be read is gone, as from a folder:
            // its project still owns the files named after it.
            if (!reads[f].lost.empty() && HasProjectExtension(files[f].name))
                continue;
            const fs::path file = path + files[f].name;
            std::error_code error;
            fs::create_directories(file.parent_path(), error);
            const FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (error || fd.Get() < 0 || (error = WriteAll(fd.Get(), reads[f].kept.data(), reads[f].kept.size())))
                return "can't write into a temporary folder: " + ErrorText(error ? error : LastErrno());
        }
        return {};
    }

    std::string path;
};

// a/b before a b/c: folders before what follows them, each level in the
// order of a folder's listing.
bool PathLess(std::string_view a, std::string_view b)
{
    while (!a.empty() && !b.empty()) {
        const std::string_view partA = a.substr(0, a.find('/')), partB = b.substr(0, b.find('/'));
        if (partA != partB)
            return FolderListing::NameLess(partA, partB);
        a.remove_prefix(std::min(a.size(), partA.size() + 1));
        b.remove_prefix(std::min(b.size(), partB.size() + 1));
    }
    return a.size() < b.size();
}

// The entries of the disc that neither SHA256SUMS nor a project names, as
// Verify finds them in a folder: a folder that no listed file lies in is one
// entry, "name/", and what it holds is not looked into.
std::vector<std::string> ExtraEntries(const FolderCheck& check, const DiscListing& listing)
{
    std::unordered_set<std::string> known{ManifestName}, passed{""};
    for (const auto& file : check.files) {
        known.insert(file.name);
        for (std::size_t slash = file.name.find('/'); slash != std::string::npos;
             slash = file.name.find('/', slash + 1))
            passed.insert(file.name.substr(0, slash));
    }
    const auto parent = [](const std::string& path) { return path.substr(0, std::min(path.rfind('/'), path.size())); };
    const auto seen = [&](const std::string& path) {
        return passed.contains(path.find('/') == std::string::npos ? "" : parent(path));
    };
    std::vector<std::string> extra;
    for (const auto& file : listing.files)
        if (!known.contains(file.name) && seen(file.name))
            extra.push_back(file.name);
    for (const auto& other : listing.others)
        if (!known.contains(other) && seen(other))
            extra.push_back(other);
    for (const auto& folder : listing.folders)
        if (!passed.contains(folder) && seen(folder))
            extra.push_back(folder + "/");
    std::sort(extra.begin(), extra.end(), PathLess);
    return extra;
}

// What the project list talks through once the user stopped the read: the
// projects of the files read are still told, from the disc's project files
// kept in memory.
struct AfterStop final : Progress {
    void Hide() override {}
    void Startup(int) override {}
    void Show(int, const std::string&) override {}
};

// A disc's name until its label tells its set: the image's file name, or the
// volume id of the disc in a drive.
std::string DiscName(const ListedDisc& disc)
{
    return disc.source.drive ? (disc.listing.volume.empty() ? disc.source.path : disc.listing.volume)
                             : fs::path(disc.source.path).filename().string();
}

// True when manifest lists the label and bytes, the label's, are what it lists.
bool LabelIntact(const Manifest& manifest, const std::string& bytes)
{
    StreamDigests digests;
    Digest sha256{};
    Md5 md5{};
    if (!digests.Ready())
        return false;
    digests.Add(bytes.data(), bytes.size());
    digests.Finish(sha256, md5);
    return LabelListedAs(manifest, sha256);
}

// Names check by the set and the place that the disc's label (its text) tells.
void NameByLabel(FolderCheck& check, const std::string& text)
{
    if (const std::optional<DiscLabel> read = ParseDiscLabel(text); read && IsAnySetFolder(read->set)) {
        check.name = read->set;
        check.place = BackupPlace(*read);
        check.label = read;
    }
}

// The check of a disc read, per project; a refusal when its SHA256SUMS could
// not be read. A read that was stopped leaves the files it did not reach
// unchecked, and no check when it did not reach SHA256SUMS. Besides its
// files' faults, the disc's damage: the listing's, and lostOutsideFiles.
void Check(const ListedDisc& disc, std::vector<FileRead>& reads, const std::string& lostOutsideFiles,
           Progress& progress, bool all, VerifyResult& result)
{
    const DiscListing& listing = disc.listing;
    std::unordered_map<std::string, std::size_t> byName;
    for (std::size_t f = 0; f < listing.files.size(); ++f)
        byName.emplace(listing.files[f].name, f);
    const std::size_t sums = byName.at(ManifestName);
    FolderCheck check;
    check.path = disc.source.path;
    check.name = DiscName(disc);
    if (!reads[sums].read && result.stopped)
        return;
    if (!reads[sums].read) {
        result.refusals.push_back("Can't read " + ManifestName + " of " + check.name + ": " + reads[sums].lost);
        return;
    }
    if (const auto label = byName.find(DiscLabelName); label != byName.end() && reads[label->second].read)
        NameByLabel(check, reads[label->second].kept);
    if (!reads[sums].keep) {
        result.refusals.push_back("Can't read " + ManifestName + " of " + check.name + ": it is larger than "
                                  + std::to_string(KeptAtMost / MiB) + " MiB");
        return;
    }
    Manifest manifest = ParseManifest(reads[sums].kept, all ? SIZE_MAX : MalformedShown);
    check.malformed = std::move(manifest.malformed);
    check.malformedCount = manifest.malformedCount;
    for (const auto& entry : manifest.entries)
        check.files.push_back({entry.name, FileState::Unchecked, {}});
    check.listed = check.files.size();

    DiscFolder folder;
    if (const std::string failure = folder.Make(listing.files, reads); !failure.empty()) {
        result.refusals.push_back("Can't check " + check.name + ": " + failure);
        return;
    }
    AfterStop quiet;
    if (AttributeFiles(check, folder.path, result.stopped ? quiet : progress).Failed()) {
        result.stopped = true;
        return;
    }
    for (std::size_t i = 0; i < check.listed; ++i) {
        CheckedFile& file = check.files[i];
        const auto found = byName.find(file.name);
        if (found == byName.end()) {
            file.state = FileState::Missing;
            continue;
        }
        const FileRead& read = reads[found->second];
        const std::optional<Md5>& md5 = listing.files[found->second].md5;
        if (!read.lost.empty()) {
            file.state = FileState::Unreadable;
            file.error = read.lost;
        } else if (read.read) {
            file.state = read.sha256 == manifest.entries[i].digest && (!md5 || *md5 == read.md5) ? FileState::Intact
                                                                                                 : FileState::Changed;
        }
    }
    check.extra = ExtraEntries(check, listing);
    // SHA256SUMS lists no checksum of its own: the MD5 the image recorded is its check.
    if (const std::optional<Md5>& md5 = listing.files[sums].md5; md5 && *md5 != reads[sums].md5) {
        check.loose.push_back(check.files.size());
        check.files.push_back({ManifestName, FileState::Changed, {}});
    }
    ForgetLabelUnlessIntact(check, DiscName(disc));
    check.damage = listing.damage;
    if (!lostOutsideFiles.empty())
        check.damage.push_back(lostOutsideFiles);
    result.folders.push_back(std::move(check));
}

// Lists tree of source into listing: empty when done, else why not.
std::string ListTree(const DiscSource& source, const std::string& mark, Tree tree, Progress& progress,
                     DiscListing& listing)
{
    XorrisoRun run = RunXorriso(ListingArguments(source, mark, tree, true), progress);
    // The recorded MD5s lie behind the files: an image cut short, or a
    // disc whose last sectors are lost, is listed without them.
    if (!run.stopped && !run.Succeeded())
        run = RunXorriso(ListingArguments(source, mark, tree, false), progress);
    return run.Succeeded() ? ParseListing(run.results, mark, listing) : run.Problem();
}

} // namespace

std::string DiscFolderRefusal()
{
    const std::string folder = TemporaryFolder();
    struct stat status {};
    std::error_code error;
    if (::stat(folder.c_str(), &status) != 0)
        error = LastErrno();
    else if (!S_ISDIR(status.st_mode))
        error = std::make_error_code(std::errc::not_a_directory);
    else if (::access(folder.c_str(), W_OK | X_OK) != 0)
        error = LastErrno();
    if (!error)
        return {};
    const char* tmpdir = std::getenv("TMPDIR");
    return "No disc can be checked: the temporary folder " + folder + (tmpdir && *tmpdir ? " (TMPDIR)" : "")
           + " can't be used: " + ErrorText(error) + ".";
}

std::vector<ListedDisc> ListDiscs(const std::vector<DiscSource>& discs, Progress& progress, VerifyResult& result)
{
    std::vector<ListedDisc> listed;
    if (discs.empty())
        return listed;
    if (std::string refusal = DiscFolderRefusal(); !refusal.empty()) {
        result.refusals.push_back(std::move(refusal));
        return listed;
    }
    progress.Hide();
    progress.Startup(static_cast<int>(discs.size()));
    for (std::size_t d = 0; d < discs.size(); ++d) {
        const DiscSource& source = discs[d];
        if (!progress.OK(static_cast<int>(d), "Listing " + source.path)) {
            result.stopped = true;
            break;
        }
        const std::string cant = "Can't read " + std::string(source.drive ? "the disc in " : "") + source.path + ": ";
        // xorriso takes a file that is not there for a blank disc.
        if (struct stat status{}; ::stat(Device(source).c_str(), &status) != 0) {
            result.refusals.push_back(cant + ErrorText(LastErrno()));
            continue;
        }
        ListedDisc disc{source, {}};
        DiscListing joliet;
        const std::string mark = Mark();
        const std::string failure = ListTree(source, mark, Tree::Primary, progress, disc.listing);
        const std::string jolietFailure =
            progress.StopRequested() ? std::string() : ListTree(source, mark, Tree::Joliet, progress, joliet);
        if (progress.StopRequested()) {
            result.stopped = true;
            break;
        }
        if (!failure.empty() && !jolietFailure.empty()) {
            result.refusals.push_back(cant + failure);
            continue;
        }
        if (!failure.empty()) {
            disc.listing = std::move(joliet);
            disc.listing.damage.push_back("read from its Joliet tree: the primary tree is damaged");
        } else if (!jolietFailure.empty()) {
            disc.listing.damage.push_back("Joliet tree damaged (what Windows reads): it can't be read");
        } else {
            disc.listing.damage = JolietDamage(disc.listing, joliet);
        }
        if (std::none_of(disc.listing.files.begin(), disc.listing.files.end(),
                         [](const DiscFile& file) { return file.name == ManifestName; }))
            result.refusals.push_back(source.path + " holds no " + ManifestName + ".");
        else
            listed.push_back(std::move(disc));
    }
    progress.Hide();
    return listed;
}

void ReadDiscs(const std::vector<ListedDisc>& discs, Progress& progress, bool all, VerifyResult& result)
{
    for (const ListedDisc& disc : discs) {
        const FileDescriptor fd = OpenDisc(disc.source);
        if (fd.Get() < 0) {
            result.refusals.push_back("Can't read " + disc.source.path + ": " + ErrorText(LastErrno()));
            return;
        }
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        DiscReader reader(fd.Get(), fs::path(disc.source.path).filename().string(), disc.listing.files, progress);
        result.stopped = !reader.Read(disc.listing.start, disc.listing.sectors, disc.source.drive);
        progress.Hide();
        Check(disc, reader.Reads(), reader.LostOutsideFiles(), progress, all, result);
        if (result.stopped || !result.refusals.empty())
            return;
    }
}

FileDescriptor OpenDisc(const DiscSource& source)
{
    return FileDescriptor(::open(Device(source).c_str(), O_RDONLY | O_CLOEXEC | (source.drive ? O_NONBLOCK : 0)));
}

std::string ReadDiscFile(int fd, bool drive, const DiscFile& file,
                         const std::function<bool(const char*, std::size_t)>& take)
{
    std::vector<char> buffer(BlockSectors * SectorBytes);
    for (const DiscExtent& extent : file.extents)
        for (std::int64_t at = 0; at < extent.bytes;) {
            const std::int64_t sector = extent.sector + at / SectorBytes;
            const auto wanted =
                static_cast<std::size_t>(std::min<std::int64_t>(BlockSectors * SectorBytes, extent.bytes - at));
            const ssize_t n = ::pread(fd, buffer.data(), wanted, sector * SectorBytes);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return ErrorText(LastErrno()) + " at sector " + std::to_string(sector);
            // Whole sectors are taken, the last of the extent as it ends: a
            // read that ends within another sector met the end of the image.
            const auto got = static_cast<std::size_t>(n) == wanted
                                 ? wanted
                                 : static_cast<std::size_t>(n) / SectorBytes * SectorBytes;
            if (got == 0)
                return (drive ? "the disc ends at sector " : "the image ends at sector ") + std::to_string(sector);
            if (!take(buffer.data(), got))
                return {};
            at += static_cast<std::int64_t>(got);
        }
    return {};
}

Result ReadDiscProjects(const ListedDisc& disc, Progress& progress, FolderCheck& check, Manifest& manifest)
{
    const std::vector<DiscFile>& files = disc.listing.files;
    check = FolderCheck();
    check.path = disc.source.path;
    check.name = DiscName(disc);
    const FileDescriptor fd = OpenDisc(disc.source);
    if (fd.Get() < 0)
        return Result("Can't read " + disc.source.path + ": " + ErrorText(LastErrno()), Result::Status::Refused);
    // Only SHA256SUMS, the label and the project files are read, as the read
    // of the whole disc keeps them.
    std::vector<FileRead> reads(files.size());
    std::size_t sums = files.size(), label = files.size();
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::string& name = files[f].name;
        if (name == ManifestName)
            sums = f;
        else if (name == DiscLabelName)
            label = f;
        else if (!HasProjectExtension(name))
            continue;
        FileRead& read = reads[f];
        std::int64_t bytes = 0;
        for (const DiscExtent& extent : files[f].extents)
            bytes += extent.bytes;
        if (bytes > KeptAtMost) {
            read.lost = "it is larger than " + std::to_string(KeptAtMost / MiB) + " MiB";
            continue;
        }
        read.lost = ReadDiscFile(fd.Get(), disc.source.drive, files[f], [&](const char* data, std::size_t size) {
            read.kept.append(data, size);
            return true;
        });
        read.read = read.lost.empty();
    }
    if (sums == files.size() || !reads[sums].read)
        return Result("Can't read " + ManifestName + " of " + check.name + ": "
                          + (sums == files.size() ? "the disc holds none" : reads[sums].lost),
                      Result::Status::Refused);
    manifest = ParseManifest(reads[sums].kept);
    if (label < files.size() && reads[label].read) {
        NameByLabel(check, reads[label].kept);
        if (check.label && !LabelIntact(manifest, reads[label].kept))
            return Result(DiscName(disc) + ": its " + DiscLabelName + " is not the one " + ManifestName + " lists.",
                          Result::Status::Refused);
    }
    for (const auto& entry : manifest.entries)
        check.files.push_back({entry.name, FileState::Unchecked, {}});
    check.listed = check.files.size();
    DiscFolder folder;
    if (const std::string failure = folder.Make(files, reads); !failure.empty())
        return Result("Can't read the projects of " + check.name + ": " + failure, Result::Status::Refused);
    return AttributeFiles(check, folder.path, progress);
}

VerifyResult ReadBack(const std::string& device, Progress& progress)
{
    VerifyResult result;
    const std::vector<ListedDisc> discs = ListDiscs({{device, true}}, progress, result);
    if (result.refusals.empty() && !result.stopped)
        ReadDiscs(discs, progress, false, result);
    return result;
}

} // namespace kelvark
