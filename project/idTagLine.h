#pragma once

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// The token array the section readers share. It grows and never shrinks:
// slots past a line's tokens keep the empty terminator or tokens of earlier lines.
using TagList = std::vector<std::string>;

// Every slot the tokens of a line need.
inline constexpr std::size_t AllSlots = static_cast<std::size_t>(-1);
// The project file's section readers look at slots 0 to 2 only. Their array
// keeps the 11 slots it starts with: those hold exactly what they hold in the
// growing array, and a hostile line of millions of tokens costs no memory.
inline constexpr std::size_t ReaderSlots = 11;

// Reads one line of the open file fi and tokenizes it with the key-colon rule.
// Returns the token count, or -1 when fi is closed or at its end (then fi is closed).
int ReadTagLine(TagList& dlist, std::ifstream& fi, std::size_t slots = AllSlots);

// Stores the tokens of line in dlist and returns their number. Tokens that
// would need more than slots slots are counted but not stored.
int SplitTagLine(TagList& dlist, std::string_view line, bool keyRule, std::size_t slots = AllSlots);

// True for an empty string, a space or a tab.
bool IsWhiteChar(std::string_view c);
