#pragma once

#include <string>
#include <string_view>

namespace kelvark {

// The letters of backup set n: A to Z for sets 0 to 25, then AA, AB, ..., AZ,
// BA, ... (and three letters after ZZ). Folder names, the grid and the text
// report use upper case, the CSV files lower case. The names never hold a path
// separator and never collide on a file system that ignores letter case.
std::string SetLetters(int n, bool lowerCase = false);
// The set n whose letters (upper case) are letters; -1 when they are none's.
int SetNumber(std::string_view letters);

} // namespace kelvark
