#include "Checksums.h"

#include "Commands.h"
#include "DiscCheck.h"

#include <cstdio>
#include <unistd.h>

namespace kelvark {

namespace {

// A line of standard output, its names escaped as every command shows them.
void PrintLine(const std::string& line)
{
    const std::string text = Escaped(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

} // namespace

int VerifyCommand(const std::vector<std::string>& paths, const std::vector<std::string>& drives, bool all,
                  const std::string& catalogue)
{
    TerminalProgress progress(isatty(STDERR_FILENO) != 0);
    TerminalMessages messages(progress, all);
    VerifyResult result;
    const Result verified = VerifyCommand(paths, all, progress, result, drives, catalogue);
    // The refusals, which come without a report, or what the catalogue could not record.
    for (const auto& line : VerifyLines(result))
        PrintLine(line);
    for (const auto& message : verified.Lines())
        messages.Show(message);
    return verified.Ended() == Result::Status::Refused ? 2 : verified.Failed() ? 1 : 0;
}

} // namespace kelvark
