#include "Checksums.h"

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

int ChecksumCommand(const std::string& root, bool replace, TerminalProgress& progress, TerminalMessages& messages)
{
    const ChecksumPlan plan = PlanChecksums(root, replace);
    const ChecksumOutcome outcome = WriteChecksums(plan, progress);
    // A refusal for the files there already says how to go ahead.
    const bool holding = !plan.holding.empty();
    for (const auto& line : outcome.lines)
        messages.Show(line == plan.refusal && holding ? line + " Give --replace to write new ones." : line);
    return outcome.failed || outcome.stopped ? 1 : 0;
}

int VerifyCommand(const std::vector<std::string>& paths, bool all)
{
    TerminalProgress progress(isatty(STDERR_FILENO) != 0);
    TerminalMessages messages(progress, all);
    const VerifyResult result = Verify(paths, progress, all);
    for (const auto& refusal : result.refusals)
        messages.Show(refusal);
    for (const auto& folder : result.folders)
        for (const auto& line : FolderLines(folder))
            PrintLine(line);
    for (const auto& folder : result.folders)
        PrintLine(FolderSummary(folder));
    if (result.stopped)
        PrintLine(StopSummary(result));
    return result.ExitStatus();
}

} // namespace kelvark
