#pragma once

#include "UserInterface.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The small modeless dialog a long loop over projects opens, advances once per
// project and polls for Cancel. It is hidden, never destroyed, between uses.
// A tool window of its owner, it stays above
// the owner while the user clicks there.
class frmProgress final : public QDialog, public Progress {
    Q_OBJECT
public:
    explicit frmProgress(QWidget* owner);

    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Hide() override;
    void Startup(int amountToDo) override;
    bool OK(int amountDone, const std::string& text) override;

    // The stop request: the Cancel button, the Esc key and the title bar's
    // close button all end here.
    void reject() override;

private:
    bool keepGoing = false;
};
