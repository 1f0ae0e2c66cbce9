#pragma once

#include "Terminal.h"

#include <string>
#include <vector>

namespace kelvark {

// `kelvark-cli checksum` and `kelvark-cli verify`: the core's disc checksums
// on a terminal. Each returns the exit status.

// Writes a SHA256SUMS into every set folder of root (or into root, a set
// folder itself); its sentences go to messages. 1 when it was refused, failed
// or stopped.
int ChecksumCommand(const std::string& root, bool replace, TerminalProgress& progress, TerminalMessages& messages);

// Verifies the set folders or discs of paths: one line per project and per
// fault on standard output, then one summary line per set.
int VerifyCommand(const std::vector<std::string>& paths, bool all);

} // namespace kelvark
