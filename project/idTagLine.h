#pragma once

#include "FileOps.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvark {

// The token array the section readers share. It grows and never shrinks:
// slots past a line's tokens keep the empty terminator or tokens of earlier lines.
using TagList = std::vector<std::string>;

// Every slot the tokens of a line need.
inline constexpr std::size_t AllSlots = static_cast<std::size_t>(-1);
// The project file's section readers look at slots 0 to 2 only. Their array
// keeps the 11 slots it starts with: those hold exactly what they hold in the
// growing array, and a hostile line of millions of tokens costs no memory.
inline constexpr std::size_t ReaderSlots = 11;

// A project file open for reading line by line. Its bytes are read in large
// blocks and each line is handed out as a view of the block that holds it, so
// reading a line copies nothing. A line longer than longLine bytes is never
// held whole: it is tokenized as it is read, twice (once to find its end and
// its first colon), so a file of one huge line costs no more memory than the
// tokens its reader keeps. One object can read several files in turn.
class TagFile final {
public:
    TagFile() = default;
    explicit TagFile(const std::filesystem::path& path) { Open(path); }

    void Open(const std::filesystem::path& path);
    // Reads the file already open.
    void Open(FileDescriptor opened);
    bool IsOpen() const { return file.Get() >= 0; }
    void Close();

    // The next line, without its line feed; a carriage return is an ordinary
    // character. The last line needs no line feed. False when the file is
    // closed, at its end (then it is closed), or at a line longer than
    // longLine (then LongLineAhead()). The view lasts until the next call.
    bool ReadLine(std::string_view& line);
    // True when ReadLine stopped at a line longer than longLine: SplitLongLine reads it.
    bool LongLineAhead() const { return longLineAhead; }
    // Tokenizes the long line ahead as SplitTagLine does with the key rule, a
    // stored token keeping its first longToken bytes; the token count.
    int SplitLongLine(TagList& dlist, std::size_t slots);

    // Lines up to this length are read whole; tokens of longer lines keep
    // their first longToken bytes. Smaller in tests.
    std::size_t longLine = 16 << 20;
    std::size_t longToken = 4 << 20;

private:
    // Appends the next block of the file to buffer; false at its end.
    bool ReadBlock();

    FileDescriptor file;
    std::unique_ptr<char[]> buffer; // bytes read up to filled; those not yet handed out start at next
    std::size_t size = 0;
    std::size_t next = 0;
    std::size_t filled = 0;
    std::int64_t offset = 0; // the file position of buffer[filled]
    bool longLineAhead = false;
};

// Reads one line of the open file fi and tokenizes it with the key-colon rule.
// Returns the token count, or -1 when fi is closed or at its end (then fi is closed).
int ReadTagLine(TagList& dlist, TagFile& fi, std::size_t slots = AllSlots);

// Stores the tokens of text in dlist and returns their number. Tokens that
// would need more than slots slots are counted but not stored.
int SplitTagLine(TagList& dlist, std::string_view text, bool keyRule, std::size_t slots = AllSlots);

} // namespace kelvark
