#pragma once

#include "UserInterface.h"

#include <string>

class QWidget;

namespace kelvark {

// The window's disc checksums: File ▸ "Write checksums…", the offer after a
// Backup Sort and File ▸ "Verify discs…". They run the core's checksum writing
// and verify with the window's progress dialog and say what the command line
// says.

// Asked before the SHA256SUMS that set folders hold already are replaced.
inline const std::string ChecksumsTitle = "Write checksums";

// Writes a SHA256SUMS into every set folder of RootFolder. When a set folder
// holds one already, the user is asked whether to replace them; without any
// set folder the user is told so.
void WriteChecksumsCommand(const std::string& RootFolder, Progress& progress, Messages& messages, Question& question);

// After a Backup Sort of RootFolder ended: offers to write the checksums of its
// set folders, with how much there is to read and how long that takes.
void OfferChecksums(const std::string& RootFolder, Progress& progress, Messages& messages, Question& question);

// Verifies folder (a set folder, a disc, or a root folder meaning its set
// folders) and shows the result list over owner; a folder that cannot be
// verified is named in a message instead. Nothing when folder is empty.
void VerifyDiscsCommand(QWidget& owner, const std::string& folder, Progress& progress, Messages& messages);

} // namespace kelvark
