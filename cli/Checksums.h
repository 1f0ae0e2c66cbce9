#pragma once

#include "Terminal.h"

#include <string>
#include <vector>

namespace kelvark {

// `kelvark-cli checksum` and `kelvark-cli verify`: the core's disc checksums
// on a terminal. Each returns the exit status.

// Verifies the set folders or disc images of paths and the discs in drives:
// one line per project and per fault on standard output, then one summary
// line per set; the catalogue records each disc's check.
int VerifyCommand(const std::vector<std::string>& paths, const std::vector<std::string>& drives, bool all,
                  const std::string& catalogue);

} // namespace kelvark
