#include "Fixtures.h"
#include "FuzzTarget.h"
#include "idTagLine.h"

#include <algorithm>
#include <string>
#include <string_view>

using namespace kelvark;

// The tag-line reader on arbitrary bytes: ReadTagLine reads them as a project
// file, line by line, to the end. Each line must match SplitTagLine on the
// same bytes cut at the line feeds, the token array must follow its growth
// and terminator rules, the section readers' array of 11 slots must hold what
// the whole array holds there, and lines without quotes must give the tokens
// of a plain split at spaces and tabs (the first colon ending the first token).

namespace {

bool White(char c)
{
    return c == ' ' || c == '\t';
}

// The tokens of a line without quotes, worked out directly from the rules.
std::vector<std::string> PlainTokens(std::string_view line)
{
    std::vector<std::string> tokens;
    const auto split = [&](std::string_view rest) {
        std::size_t i = 0;
        while (i < rest.size()) {
            while (i < rest.size() && White(rest[i]))
                ++i;
            const std::size_t start = i;
            while (i < rest.size() && !White(rest[i]))
                ++i;
            if (i > start)
                tokens.emplace_back(rest.substr(start, i - start));
        }
    };
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        split(line);
    } else {
        std::size_t first = 0;
        while (White(line[first]))
            ++first;
        tokens.emplace_back(line.substr(first, colon + 1 - first));
        split(line.substr(colon + 1));
    }
    return tokens;
}

void CheckLine(const TagList& dlist, int count, std::size_t sizeBefore, std::string_view line)
{
    FUZZ_CHECK(count >= 0);
    // Slots 0 to 10 at first, then ten more whenever a token needs them; never fewer.
    const std::size_t base = std::max<std::size_t>(sizeBefore, 11);
    const std::size_t tokens = static_cast<std::size_t>(count);
    const std::size_t expected = tokens <= base ? base : base + (tokens - base + 9) / 10 * 10;
    FUZZ_CHECK(dlist.size() == expected);
    if (tokens < dlist.size())
        FUZZ_CHECK(dlist[tokens].empty());

    if (line.find_first_of("\"'") == std::string_view::npos) {
        const auto plain = PlainTokens(line);
        FUZZ_CHECK(plain.size() == tokens);
        for (std::size_t i = 0; i < tokens; ++i)
            FUZZ_CHECK(dlist[i] == plain[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fixtures::TempDir dir;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto path = dir.path() / "input.cue";
    fixtures::WriteFile(path, std::string(bytes));

    TagFile fi(path);
    TagList read;
    TagList split;
    TagList kept;
    std::size_t at = 0;
    for (;;) {
        const std::size_t sizeBefore = read.size();
        const int count = ReadTagLine(read, fi);
        if (count < 0)
            break;
        FUZZ_CHECK(at < size); // a line is read only while bytes are left
        const std::size_t end = std::min(bytes.find('\n', at), size);
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        FUZZ_CHECK(SplitTagLine(split, line, true) == count);
        FUZZ_CHECK(split == read); // stale slots of earlier lines included
        FUZZ_CHECK(SplitTagLine(kept, line, true, ReaderSlots) == count);
        FUZZ_CHECK(kept.size() == ReaderSlots && std::equal(kept.begin(), kept.end(), read.begin()));
        CheckLine(read, count, sizeBefore, line);
    }
    FUZZ_CHECK(at >= size); // every byte was read
    FUZZ_CHECK(!fi.IsOpen());
    FUZZ_CHECK(ReadTagLine(read, fi) == -1);

    // Lines longer than the file's limit are tokenized as they are read: the
    // same tokens, each cut to the token limit.
    TagFile small(path);
    small.longLine = 5;
    small.longToken = 3;
    TagList streamed;
    at = 0;
    for (;;) {
        const int count = ReadTagLine(streamed, small);
        if (count < 0)
            break;
        const std::size_t end = std::min(bytes.find('\n', at), size);
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        TagList whole;
        FUZZ_CHECK(SplitTagLine(whole, line, true) == count);
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
            FUZZ_CHECK(streamed[i] == (line.size() > small.longLine ? whole[i].substr(0, 3) : whole[i]));
    }
    FUZZ_CHECK(at >= size);

    // Without the key rule a colon is an ordinary character.
    TagList plain;
    const std::string_view firstLine = bytes.substr(0, std::min(bytes.find('\n'), size));
    const int count = SplitTagLine(plain, firstLine, false);
    if (firstLine.find_first_of("\"'") == std::string_view::npos) {
        std::string noColon(firstLine);
        for (char& c : noColon)
            if (c == ':')
                c = '_';
        TagList renamed;
        FUZZ_CHECK(SplitTagLine(renamed, noColon, true) == count);
    }
    return 0;
}
