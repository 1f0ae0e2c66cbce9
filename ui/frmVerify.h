#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace kelvark {

struct VerifyResult;

// The result of a verify: one row per project of each set folder or disc
// (its set, its name, its verdict and the files concerned), rows for the files
// of no project, for each extra file and for each malformed line of a
// SHA256SUMS, then the summary line of each set, and after a stop what was
// checked. The words are the command line's; names are shown as UTF-8
// (ShownText). It is never taller than the screen: the list scrolls.
class frmVerify final : public QDialog {
    Q_OBJECT
public:
    frmVerify(const VerifyResult& result, QWidget* owner);

    QTreeWidget* lstResult = nullptr; // columns Set, Project, Verdict, Files
    QPlainTextEdit* txtSummary = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void FitScreen();
};

} // namespace kelvark
