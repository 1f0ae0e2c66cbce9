#pragma once

#include <string>

namespace kelvark {

// The letters of backup set n: A to Z for sets 0 to 25, then AA, AB, ..., AZ,
// BA, ... (and three letters after ZZ). Folder names, the grid and the text
// report use upper case, the CSV files lower case. The names never hold a path
// separator and never collide on a file system that ignores letter case.
std::string SetLetters(int n, bool lowerCase = false);

} // namespace kelvark
