#include "Fixtures.h"
#include "idTagLine.h"

#include <gtest/gtest.h>

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

} // namespace
