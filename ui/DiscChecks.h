#pragma once

#include "UserInterface.h"

#include <string>

class QWidget;

namespace kelvark {

// File ▸ "Verify discs…": the core's verify with the window's progress dialog,
// its result in a list of its own.

// Verifies folder (a set folder, a disc, or a root folder meaning its set
// folders) and shows the result list over owner; a folder that cannot be
// verified is named in a message instead. Nothing when folder is empty.
void VerifyDiscsCommand(QWidget& owner, const std::string& folder, Progress& progress, Messages& messages);

} // namespace kelvark
