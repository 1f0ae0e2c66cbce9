#include "idTagLine.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kelvark {

namespace {

// Bytes asked of the system at once: a usual project file in one read.
constexpr std::size_t BlockBytes = std::size_t{64} * 1024;

// Stores the tokens of line in dlist. Positions are 1-based in the line as
// tokenized: with the key rule (Space), a space follows the colon at position
// p and ends the token that runs up to the colon. That space is not written
// into a copy of the line: positions past it read the line one byte earlier.
// p is the pending colon's position, 0 once the tokens have passed it.
template <bool Space> int Tokens(TagList& dlist, std::string_view line, std::size_t p, std::size_t slots)
{
    const std::size_t space = Space ? p + 1 : 0;
    const std::size_t length = line.size() + (Space ? 1 : 0);
    auto at = [&](std::size_t pos) {
        if (!Space || pos < space)
            return line[pos - 1];
        return pos == space ? ' ' : line[pos - 2];
    };
    auto white = [&](std::size_t pos) {
        const char c = at(pos);
        return c == ' ' || c == '\t';
    };
    // The token at positions start to end - 1 into slot; only a quoted token can hold the space.
    auto store = [&](std::string& slot, std::size_t start, std::size_t end) {
        if (!Space || end <= space) {
            slot.assign(line.data() + start - 1, end - start);
        } else if (start > space) {
            slot.assign(line.data() + start - 2, end - start);
        } else {
            slot.assign(line.data() + start - 1, space - start);
            slot += ' ';
            slot.append(line.data() + space - 1, end - space - 1);
        }
    };

    int count = 0;
    std::size_t pos = 1;
    while (pos <= length) {
        while (pos <= length && white(pos))
            ++pos;
        if (pos > length)
            break;
        // A colon inside a leading quoted token is passed over by that token.
        if (Space && p != 0 && pos > p)
            p = 0;

        std::size_t start = pos;
        std::size_t end = 0;
        if (at(pos) == '"' || at(pos) == '\'') {
            // Up to the same quote character; an unclosed quote takes the rest of the line.
            const char quote = at(pos);
            start = ++pos;
            while (pos <= length && at(pos) != quote)
                ++pos;
            end = pos;
        } else if (Space && p != 0) {
            pos = end = p + 1;
            p = 0;
        } else {
            while (pos <= length && !white(pos))
                ++pos;
            end = pos;
        }

        if (static_cast<std::size_t>(count) < slots) {
            if (static_cast<std::size_t>(count) >= dlist.size())
                dlist.resize(dlist.size() + 10);
            // Into the slot's own buffer: a long token costs no allocation once the slot has held one.
            store(dlist[static_cast<std::size_t>(count)], start, end);
        }
        ++count;
        ++pos;
    }
    if (static_cast<std::size_t>(count) < dlist.size())
        dlist[static_cast<std::size_t>(count)].clear();
    return count;
}

} // namespace

void TagFile::Open(const std::filesystem::path& path)
{
    Open(FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC)));
}

void TagFile::Open(FileDescriptor opened)
{
    file = std::move(opened);
    next = filled = 0;
    offset = 0;
    longLineAhead = false;
}

void TagFile::Close()
{
    // The buffer stays for the next file opened with this object: a scan reads every project file with one.
    file = FileDescriptor();
    next = filled = 0;
    longLineAhead = false;
}

bool TagFile::ReadBlock()
{
    // What was handed out is dropped first, so the buffer holds one line and a block at most.
    if (next > 0)
        std::memmove(buffer.get(), buffer.get() + next, filled - next);
    filled -= next;
    next = 0;
    if (size < filled + BlockBytes) {
        // Room for a block more; the bytes are not cleared first, the read writes them.
        const std::size_t grown = std::max(2 * size, filled + BlockBytes);
        auto larger = std::make_unique_for_overwrite<char[]>(grown);
        if (filled > 0)
            std::memcpy(larger.get(), buffer.get(), filled);
        buffer = std::move(larger);
        size = grown;
    }
    ssize_t got = 0;
    do
        got = ::read(file.Get(), buffer.get() + filled, BlockBytes);
    while (got < 0 && errno == EINTR);
    // A file that cannot be read further ends where its reading stopped.
    if (got <= 0)
        return false;
    filled += static_cast<std::size_t>(got);
    offset += got;
    return true;
}

bool TagFile::ReadLine(std::string_view& line)
{
    if (!IsOpen())
        return false;
    for (std::size_t searched = next;;) {
        const void* feed = searched < filled ? std::memchr(buffer.get() + searched, '\n', filled - searched) : nullptr;
        if (feed) {
            const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(feed) - buffer.get());
            // A long line is long wherever the blocks happened to end.
            if (end - next > longLine) {
                longLineAhead = true;
                return false;
            }
            line = std::string_view(buffer.get() + next, end - next);
            next = end + 1;
            return true;
        }
        searched = filled - next; // the part without a line feed, once it moves to the front
        if (searched > longLine) {
            longLineAhead = true;
            return false;
        }
        if (!ReadBlock())
            break;
    }
    if (filled - next > longLine) {
        longLineAhead = true;
        return false;
    }
    if (next < filled) { // a last line without a line feed
        line = std::string_view(buffer.get() + next, filled - next);
        next = filled;
        return true;
    }
    Close();
    return false;
}

namespace {

// The bytes of one long line, from its start to the end given, read from the
// file in blocks as they are asked for, one after the other.
class LineBytes final {
public:
    LineBytes(int file, std::int64_t start, std::int64_t end, char* block, std::size_t blockSize)
        : file(file), at(start), end(end), block(block), blockSize(blockSize)
    {
    }
    // The next byte; false at the end (or when the file can't be read further).
    bool Next(char& c)
    {
        if (used == got) {
            if (at >= end)
                return false;
            const auto want =
                static_cast<std::size_t>(std::min<std::int64_t>(end - at, static_cast<std::int64_t>(blockSize)));
            ssize_t read = 0;
            do
                read = ::pread(file, block, want, at);
            while (read < 0 && errno == EINTR);
            if (read <= 0)
                return false;
            got = static_cast<std::size_t>(read);
            used = 0;
            at += read;
        }
        c = block[used++];
        return true;
    }

private:
    int file;
    std::int64_t at;
    std::int64_t end;
    char* block;
    std::size_t blockSize;
    std::size_t got = 0;
    std::size_t used = 0;
};

} // namespace

int TagFile::SplitLongLine(TagList& dlist, std::size_t slots)
{
    longLineAhead = false;
    const std::int64_t start = offset - static_cast<std::int64_t>(filled - next);
    // The first pass finds the line's end, its first colon and its last byte
    // other than a space (trailing spaces are not part of a line's tokens).
    // Its blocks go through the front of the buffer, which holds at least one.
    std::int64_t lineEnd = start, trimmedEnd = start, colon = -1;
    bool feed = false;
    {
        LineBytes bytes(file.Get(), start, INT64_MAX, buffer.get(), BlockBytes);
        for (char c; !feed && bytes.Next(c); ++lineEnd) {
            if (c == '\n')
                feed = true;
            else if (c != ' ')
                trimmedEnd = lineEnd + 1;
            if (c == ':' && colon < 0)
                colon = lineEnd;
        }
    }
    if (feed)
        --lineEnd; // the loop counted the line feed
    if (colon >= trimmedEnd)
        colon = -1;

    // The second pass tokenizes by the same rules as SplitTagLine: with a
    // colon, a space follows it, and the first token runs up to it unless it
    // starts with a quote.
    if (dlist.empty())
        dlist.resize(11);
    int count = 0;
    std::string* token = nullptr;
    enum class Mode { Between, Plain, Quoted, ToColon } mode = Mode::Between;
    char quote = 0;
    const auto begin = [&] {
        token = nullptr;
        if (static_cast<std::size_t>(count) < slots) {
            if (static_cast<std::size_t>(count) >= dlist.size())
                dlist.resize(dlist.size() + 10);
            token = &dlist[static_cast<std::size_t>(count)];
            token->clear();
        }
        ++count;
    };
    const auto add = [&](char c) {
        if (token && token->size() < longToken)
            *token += c;
    };
    bool colonPending = colon >= 0;
    const auto step = [&](char c, std::int64_t pos, bool virtualSpace) {
        const bool white = c == ' ' || c == '\t';
        switch (mode) {
        case Mode::Between:
            if (white)
                return;
            // A colon inside a leading quoted token is passed over by that token.
            if (colonPending && !virtualSpace && pos > colon)
                colonPending = false;
            begin();
            if (c == '"' || c == '\'') {
                quote = c;
                mode = Mode::Quoted;
                return;
            }
            mode = colonPending ? Mode::ToColon : Mode::Plain;
            add(c);
            if (mode == Mode::ToColon && pos == colon) {
                colonPending = false;
                mode = Mode::Between;
            }
            return;
        case Mode::Plain:
            if (white)
                mode = Mode::Between;
            else
                add(c);
            return;
        case Mode::Quoted:
            if (c == quote)
                mode = Mode::Between;
            else
                add(c);
            return;
        case Mode::ToColon:
            add(c);
            if (pos == colon) {
                colonPending = false;
                mode = Mode::Between;
            }
            return;
        }
    };
    {
        LineBytes bytes(file.Get(), start, trimmedEnd, buffer.get(), BlockBytes);
        std::int64_t pos = start;
        for (char c; bytes.Next(c); ++pos) {
            step(c, pos, false);
            if (pos == colon)
                step(' ', pos, true); // the space that follows the colon
        }
    }
    if (static_cast<std::size_t>(count) < dlist.size())
        dlist[static_cast<std::size_t>(count)].clear();

    // The next line starts after the line feed.
    next = filled = 0;
    offset = lineEnd + (feed ? 1 : 0);
    if (::lseek(file.Get(), offset, SEEK_SET) < 0 || !feed)
        Close();
    return count;
}

int ReadTagLine(TagList& dlist, TagFile& fi, std::size_t slots)
{
    std::string_view line;
    if (fi.ReadLine(line))
        return SplitTagLine(dlist, line, true, slots);
    return fi.LongLineAhead() ? fi.SplitLongLine(dlist, slots) : -1;
}

int SplitTagLine(TagList& dlist, std::string_view text, bool keyRule, std::size_t slots)
{
    std::string_view line = text;
    while (!line.empty() && line.back() == ' ')
        line.remove_suffix(1);
    if (dlist.empty())
        dlist.resize(11);
    if (keyRule) {
        if (const std::size_t colon = line.find(':'); colon != std::string_view::npos)
            return Tokens<true>(dlist, line, colon + 1, slots);
    }
    return Tokens<false>(dlist, line, 0, slots);
}

} // namespace kelvark
