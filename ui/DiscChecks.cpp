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

} // namespace

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
