#include "Fixtures.h"
#include "idTagLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace kelvark;

namespace {

TagList Split(const std::string& line, int expectedCount)
{
    TagList dlist;
    EXPECT_EQ(SplitTagLine(dlist, line, true), expectedCount) << line;
    return dlist;
}

TEST(SplitTagLine, SeparatesTokensByRunsOfSpacesAndTabs)
{
    auto dlist = Split("  Track \t 1   ", 2);
    EXPECT_EQ(dlist[0], "Track");
    EXPECT_EQ(dlist[1], "1");
    EXPECT_EQ(dlist[2], "");
    EXPECT_EQ(dlist.size(), 11u);

    dlist = Split("   ", 0);
    EXPECT_EQ(dlist[0], "");
    Split("", 0);
    // A trailing tab is white space too, though only spaces are trimmed first.
    EXPECT_EQ(Split("a\t", 1)[0], "a");
}

TEST(SplitTagLine, QuotedTokensKeepSpacesAndTheOtherQuote)
{
    auto dlist = Split("File \"My Song 1.wav\"", 2);
    EXPECT_EQ(dlist[1], "My Song 1.wav");
    EXPECT_EQ(Split("x 'say \"hi\"'", 2)[1], "say \"hi\"");
    EXPECT_EQ(Split("x \"it's\"", 2)[1], "it's");
    dlist = Split("'ab'cd", 2);
    EXPECT_EQ(dlist[0], "ab");
    EXPECT_EQ(dlist[1], "cd");
    // A quote inside a plain token is an ordinary character.
    EXPECT_EQ(Split("a\"b c", 2)[0], "a\"b");
    EXPECT_EQ(Split("x \"\"", 2)[1], "");
}

TEST(SplitTagLine, UnclosedQuoteTakesTheRestOfTheLine)
{
    EXPECT_EQ(Split("File \"open ended", 2)[1], "open ended");
    auto dlist = Split("File \"", 2);
    EXPECT_EQ(dlist[1], "");
}

TEST(SplitTagLine, FirstColonEndsTheFirstToken)
{
    auto dlist = Split("Time: 25", 2);
    EXPECT_EQ(dlist[0], "Time:");
    EXPECT_EQ(dlist[1], "25");
    dlist = Split("a b:c", 2);
    EXPECT_EQ(dlist[0], "a b:");
    EXPECT_EQ(dlist[1], "c");
    EXPECT_EQ(Split(":", 1)[0], ":");
    dlist = Split("Track Name: x", 2);
    EXPECT_EQ(dlist[0], "Track Name:");
    dlist = Split("Name \"a:b\"", 2);
    EXPECT_EQ(dlist[0], "Name \"a:");
    EXPECT_EQ(dlist[1], "b\"");
    // Without the key rule the colon is an ordinary character.
    TagList plain;
    EXPECT_EQ(SplitTagLine(plain, "a b:c", false), 2);
    EXPECT_EQ(plain[1], "b:c");
}

TEST(SplitTagLine, ColonInsideALeadingQuotedToken)
{
    // The inserted space stays in the quoted token; the next token is plain.
    auto dlist = Split("\"a:b\" c d", 3);
    EXPECT_EQ(dlist[0], "a: b");
    EXPECT_EQ(dlist[1], "c");
    EXPECT_EQ(dlist[2], "d");
}

TEST(SplitTagLine, ArrayGrowsByTenAndKeepsStaleSlots)
{
    TagList dlist;
    EXPECT_EQ(SplitTagLine(dlist, "0 1 2 3 4 5 6 7 8 9 10", true), 11);
    EXPECT_EQ(dlist.size(), 11u); // filled exactly: no terminator
    EXPECT_EQ(SplitTagLine(dlist, "0 1 2 3 4 5 6 7 8 9 10 11", true), 12);
    EXPECT_EQ(dlist.size(), 21u);
    EXPECT_EQ(dlist[12], "");

    TagList stale;
    SplitTagLine(stale, "Track = 5", true);
    EXPECT_EQ(SplitTagLine(stale, "x", true), 1);
    EXPECT_EQ(stale[1], "");
    EXPECT_EQ(stale[2], "5");
}

TEST(SplitTagLine, CarriageReturnStaysInTheLastToken)
{
    auto dlist = Split("Track {\r", 2);
    EXPECT_EQ(dlist[1], "{\r");
}

TEST(SplitTagLine, LongLinesAndManyTokens)
{
    const std::string word(10'000'000, 'w');
    EXPECT_EQ(Split(word, 1)[0].size(), word.size());
    std::string many;
    for (int i = 0; i < 100'000; ++i)
        many += "t ";
    auto dlist = Split(many, 100'000);
    EXPECT_EQ(dlist[99'999], "t");
}

TEST(ReadTagLine, ReadsLinesToTheEndAndClosesTheFile)
{
    fixtures::TempDir dir;
    fixtures::WriteFile(dir.path() / "a.cue", "first line\r\n\nlast");
    TagFile fi(dir.path() / "a.cue");
    TagList dlist;
    EXPECT_EQ(ReadTagLine(dlist, fi), 2);
    EXPECT_EQ(dlist[1], "line\r");
    EXPECT_EQ(ReadTagLine(dlist, fi), 0);
    EXPECT_EQ(ReadTagLine(dlist, fi), 1);
    EXPECT_EQ(dlist[0], "last");
    EXPECT_TRUE(fi.IsOpen());
    EXPECT_EQ(ReadTagLine(dlist, fi), -1);
    EXPECT_FALSE(fi.IsOpen());
    EXPECT_EQ(ReadTagLine(dlist, fi), -1);

    // Lines that run across the blocks the file is read in, and one longer than a block.
    const std::string across = std::string(65'530, 'a') + " bc\nd:e\n" + std::string(200'000, 'f');
    fixtures::WriteFile(dir.path() / "b.cue", across);
    fi.Open(dir.path() / "b.cue");
    EXPECT_EQ(ReadTagLine(dlist, fi), 2);
    EXPECT_EQ(dlist[0].size(), 65'530u);
    EXPECT_EQ(dlist[1], "bc");
    EXPECT_EQ(ReadTagLine(dlist, fi), 2);
    EXPECT_EQ(dlist[0], "d:");
    EXPECT_EQ(ReadTagLine(dlist, fi), 1);
    EXPECT_EQ(dlist[0].size(), 200'000u);
    EXPECT_EQ(ReadTagLine(dlist, fi), -1);
}

// The tokens of one line as the rule reads: trailing spaces go, a space is
// inserted after the first colon, and the positions are walked one by one.
std::vector<std::string> PlainTokens(std::string line, bool keyRule)
{
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    const std::size_t colon = keyRule ? line.find(':') : std::string::npos;
    bool pending = colon != std::string::npos;
    if (pending)
        line.insert(colon + 1, " ");
    const auto white = [&](std::size_t i) { return line[i] == ' ' || line[i] == '\t'; };
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < line.size(); ++i) {
        while (i < line.size() && white(i))
            ++i;
        if (i == line.size())
            break;
        pending = pending && i <= colon;
        std::size_t start = i;
        if (line[i] == '"' || line[i] == '\'') {
            const char quote = line[i];
            start = ++i;
            while (i < line.size() && line[i] != quote)
                ++i;
        } else if (pending) {
            i = colon + 1;
            pending = false;
        } else {
            while (i < line.size() && !white(i))
                ++i;
        }
        tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

// What the token array holds after a line: its tokens up to slots, each cut to
// keep bytes, the empty terminator, earlier lines' tokens past it.
void PlainStore(TagList& dlist, const std::vector<std::string>& tokens, std::size_t slots, std::size_t keep)
{
    if (dlist.empty())
        dlist.resize(11);
    for (std::size_t i = 0; i < tokens.size() && i < slots; ++i) {
        if (i >= dlist.size())
            dlist.resize(dlist.size() + 10);
        dlist[i] = tokens[i].substr(0, keep);
    }
    if (tokens.size() < dlist.size())
        dlist[tokens.size()].clear();
}

// Random files of lines of every byte value, read with one TagFile, against
// the file split at its line feeds and each line tokenized plainly. Lines end
// around the 64 KiB blocks the file is read in and reach past longLine.
TEST(ReadTagLine, TokenizesAsThePlainRuleDoes)
{
    std::mt19937 random(4040);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    constexpr std::size_t Block = 64 * 1024;
    fixtures::TempDir dir;
    TagFile fi;
    for (int file = 0; file < 12; ++file) {
        fi.longLine = file % 3 == 0 ? std::size_t{16} << 20 : file % 3 == 1 ? 100'000 : 1 + below(2000);
        fi.longToken = file % 3 == 2 ? 1 + below(300) : std::size_t{4} << 20;
        const std::size_t slots = file % 4 == 0 ? ReaderSlots : AllSlots;
        std::vector<std::string> lines;
        std::string bytes;
        std::size_t origin = 0; // where the reading in blocks starts again: after a long line
        while (bytes.size() < 300'000) {
            const std::size_t kind = below(20);
            std::size_t length = kind < 12 ? below(40) : kind < 19 ? below(3000) : below(150'000);
            // Every few lines one ends a byte before, at or after a block's end.
            const std::size_t blockEnd = origin + (bytes.size() - origin) / Block * Block + Block;
            if (bytes.size() + length + 1 >= blockEnd && below(2) == 0)
                length = std::max(blockEnd + below(3), bytes.size() + 2) - 2 - bytes.size();
            std::string line;
            for (std::size_t i = 0; i < length; ++i) {
                const char c = static_cast<char>(below(3) == 0 ? below(256) : " \t\"':\rab"[below(8)]);
                line += c == '\n' ? ' ' : c;
            }
            bytes += line + '\n';
            lines.push_back(line);
            if (line.size() > fi.longLine)
                origin = bytes.size();
        }
        if (file % 2 == 1 && !lines.back().empty())
            bytes.pop_back(); // the last line without a line feed
        fixtures::WriteFile(dir.path() / "p.cue", bytes);
        fi.Open(dir.path() / "p.cue");
        TagList dlist, expected;
        for (std::size_t n = 0; n < lines.size(); ++n) {
            const std::vector<std::string> tokens = PlainTokens(lines[n], true);
            PlainStore(expected, tokens, slots, lines[n].size() > fi.longLine ? fi.longToken : std::string::npos);
            ASSERT_EQ(ReadTagLine(dlist, fi, slots), static_cast<int>(tokens.size()))
                << "file " << file << " line " << n;
            ASSERT_EQ(dlist, expected) << "file " << file << " line " << n;
            if (n % 7 == 0) { // the same line without the key rule
                const std::vector<std::string> plain = PlainTokens(lines[n], false);
                PlainStore(expected, plain, slots, std::string::npos);
                ASSERT_EQ(SplitTagLine(dlist, lines[n], false, slots), static_cast<int>(plain.size()));
                ASSERT_EQ(dlist, expected);
            }
        }
        EXPECT_EQ(ReadTagLine(dlist, fi, slots), -1) << "file " << file;
        EXPECT_FALSE(fi.IsOpen());
    }
}

} // namespace
