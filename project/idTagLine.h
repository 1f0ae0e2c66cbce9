#pragma once

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// The token array the section readers share. It grows and never shrinks:
// slots past a line's tokens keep the empty terminator or tokens of earlier lines.
using TagList = std::vector<std::string>;

// Reads one line of the open file fi and tokenizes it with the key-colon rule.
// Returns the token count, or -1 when fi is closed or at its end (then fi is closed).
int ReadTagLine(TagList& dlist, std::ifstream& fi);

// Stores the tokens of line in dlist and returns their number.
int SplitTagLine(TagList& dlist, std::string_view line, bool keyRule);

// True for an empty string, a space or a tab.
bool IsWhiteChar(std::string_view c);
