#include "TextCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelvark;

namespace {

TEST(Win1252ToUtf8, ReadsTheRowOf0x80To0x9FAndTheLatin1Half)
{
    // The five unassigned bytes become the code points of the same value.
    const std::vector<std::string> row = {
        "€",      "\u0081", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", "\u008D", "Ž", "\u008F",
        "\u0090", "‘",      "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", "\u009D", "ž", "Ÿ"};
    for (int byte = 0x80; byte < 0xA0; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(Win1252ToUtf8(one), row[static_cast<std::size_t>(byte - 0x80)]) << std::hex << byte;
        EXPECT_EQ(ShownText(one), row[static_cast<std::size_t>(byte - 0x80)]) << std::hex << byte;
    }
    EXPECT_EQ(Win1252ToUtf8("\xA0\xC9\xE9\xF1\xFC\xFF"), "\u00A0Ééñüÿ");
    EXPECT_EQ(Win1252ToUtf8("Caf\xE9 01.wav"), "Café 01.wav");
    // The whole name is read in the code page, also bytes that would be UTF-8 on their own.
    EXPECT_EQ(Win1252ToUtf8("\xC3\xA9\xE9"), "Ã©é");
}

TEST(ShownText, PassesUtf8AndReadsOnlyTheOtherBytesAsWindows1252)
{
    struct Case {
        std::string bytes;
        std::string shown; // empty: the bytes themselves
        bool utf8;
    };
    const std::vector<Case> cases = {
        {"Take 01.wav", "", true},
        {"Caf\xC3\xA9 / F\xC3\xBCr Elise / Canci\xC3\xB3n / Se\xC3\xB1or", "", true},
        {"\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xEF\xBF\xBD \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", "", true},
        {std::string("\0bex\t\x1b[31m", 10), "", true},
        {"Caf\xE9 Latin", "Café Latin", false},
        {"Caf\xC3\xA9 or Caf\xE9", "Café or Café", false},
        {"\xC3", "Ã", false}, // a sequence cut short
        {"\xC0\xAF", "À¯", false}, // an overlong "/"
        {"\xED\xA0\x80", "í\u00A0€", false}, // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", "ô\u0090€€", false}, // beyond U+10FFFF
        {"\xF5\xFF", "õÿ", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.bytes), c.utf8) << c.bytes;
        EXPECT_EQ(ShownText(c.bytes), c.shown.empty() ? c.bytes : c.shown) << c.bytes;
        EXPECT_TRUE(IsValidUtf8(ShownText(c.bytes))) << c.bytes;
    }
}

// Texts joined into one string come back as they went in, empty ones included.
TEST(ZeroEnded, GivesBackEveryText)
{
    const std::vector<std::vector<std::string>> cases = {
        {}, {""}, {"", ""}, {"Song.cue"}, {"Song.bak", "", "Song.cue", "Caf\xC3\xA9 01.wav"}};
    for (const auto& texts : cases) {
        const std::string joined = ZeroEnded(texts);
        const std::vector<std::string_view> back = ZeroEndedTexts(joined);
        EXPECT_EQ(std::vector<std::string>(back.begin(), back.end()), texts);
    }
}

} // namespace
