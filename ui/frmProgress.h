#pragma once

#include "UserInterface.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kelvark {

// The small modeless dialog a long loop over projects opens, advances once per
// project and polls for Cancel. It is hidden, never destroyed, between uses.
// A tool window of its owner, it stays above
// the owner while the user clicks there.
// The window runs its commands on the thread of its events: Show lets pending
// events run, the window's own choice, so that it repaints and a Cancel
// pressed meanwhile stops the loop.
class frmProgress final : public QDialog, public Progress {
    Q_OBJECT
public:
    explicit frmProgress(QWidget* owner);

    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Hide() override;
    void Startup(int amountToDo) override;
    void Show(int amountDone, const std::string& text) override;

    // The stop request: the Cancel button, the Esc key and the title bar's
    // close button all end here.
    void reject() override;

    // The item before which the last loop was cancelled (the stop was
    // requested when it was shown); -1 when it was not.
    int Stopped() const { return stopped; }

private:
    int stopped = -1;
    // Since the dialog last showed its progress and let events run.
    QElapsedTimer shown;
};

} // namespace kelvark
