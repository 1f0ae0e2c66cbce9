#include "DiscChecks.h"

#include "Commands.h"
#include "DiscCheck.h"
#include "frmVerify.h"

namespace kelvark {

void VerifyDiscsCommand(QWidget& owner, const std::string& folder, Progress& progress, Messages& messages)
{
    if (folder.empty())
        return;
    VerifyResult result;
    const Result verified = VerifyCommand({WithSeparator(folder)}, false, progress, result);
    progress.Hide();
    if (verified.Ended() == Result::Status::Refused) {
        messages.Show(verified.Message());
        return;
    }
    auto* dialog = new frmVerify(result, folder, &owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->activateWindow();
}

} // namespace kelvark

namespace kelvark {
void ShowVerified(QWidget& owner, const Result& verified, const VerifyResult& result, Messages& messages)
{
    if (verified.Ended() == Result::Status::Refused) {
        messages.Show(verified.Message());
        return;
    }
    auto* dialog = new frmVerify(result, &owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->activateWindow();
}
}
