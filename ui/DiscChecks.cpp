#include "DiscChecks.h"

#include "Commands.h"
#include "DiscCheck.h"
#include "frmVerify.h"

namespace kelvark {

namespace {

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += (text.empty() ? "" : LineEnd) + line;
    return text;
}

// Writes the checksums of plan; the SHA256SUMS there already are replaced
// once the user agrees.
void WriteChecksumsOf(ChecksumPlan plan, const std::string& RootFolder, Progress& progress, Messages& messages,
                      Question& question)
{
    if (!plan.holding.empty()) {
        const std::string replace = plan.holding.size() == 1 ? "Replace it?" : "Replace them?";
        if (!question.AskYesNo(plan.refusal + LineEnd + LineEnd + replace, ChecksumsTitle))
            return;
        plan = PlanChecksums(RootFolder, true);
    }
    const ChecksumOutcome outcome = WriteChecksums(plan, progress);
    progress.Hide();
    messages.Show(Lines(outcome.lines));
}

} // namespace

void WriteChecksumsCommand(const std::string& RootFolder, Progress& progress, Messages& messages, Question& question)
{
    WriteChecksumsOf(PlanChecksums(RootFolder, false), RootFolder, progress, messages, question);
}

void OfferChecksums(const std::string& RootFolder, Progress& progress, Messages& messages, Question& question)
{
    const ChecksumPlan plan = PlanChecksums(RootFolder, false);
    if (plan.folders.empty() || !question.AskYesNo(ChecksumOffer(plan), ChecksumsTitle))
        return;
    WriteChecksumsOf(plan, RootFolder, progress, messages, question);
}

void VerifyDiscsCommand(QWidget& owner, const std::string& folder, Progress& progress, Messages& messages)
{
    if (folder.empty())
        return;
    const VerifyResult result = Verify({WithSeparator(folder)}, progress);
    progress.Hide();
    if (!result.refusals.empty()) {
        messages.Show(Lines(result.refusals));
        return;
    }
    auto* dialog = new frmVerify(result, &owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->activateWindow();
}

} // namespace kelvark
