#pragma once

#include "Commands.h"
#include "DialogHost.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelvark {

// File ▸ "Write discs…": the set folders of the folder read, each with the
// sectors its disc needs against those of its medium, a check box and its
// state; the target (an optical drive, or image files in a folder); and the
// read-back of each disc written, a row per project as Verify shows it. Write
// writes the discs checked one after the other (a set unchecked while an
// earlier disc is written is left out), each read back at once; a disc
// that fails its check is marked, and the user is asked whether to write it
// again. Modeless, as the verify result is: the progress dialog's Cancel and
// Esc stop a write.
class frmWriteDiscs final : public QDialog {
    Q_OBJECT
public:
    // root: the folder read, whose set folders are offered; the images go there unless another folder is chosen.
    frmWriteDiscs(const std::string& root, const DialogHost& host, QWidget* owner);

    QTreeWidget* lstSets = nullptr; // columns Set, Size, State; a check box per set
    QComboBox* cboTarget = nullptr; // the drives, then the image files
    QLineEdit* txtFolder = nullptr; // the images' folder
    QPushButton* cmdFolder = nullptr;
    QLabel* lblHint = nullptr;
    QTreeWidget* lstChecks = nullptr; // the read-back of each disc written, a row per project
    QPushButton* cmdWrite = nullptr;
    QPushButton* cmdClose = nullptr;

    // Looks for the drives, then lists the set folders measured for the first.
    void Start();
    // Lists the set folders, measured for the target chosen.
    void Measure();

    void reject() override;

private:
    DiscTarget Target() const;
    void ChooseImageFolder();
    void WriteChosen();
    // Writes the set of row's disc until it passes its check or the user
    // lets it be; false when the write was stopped or failed.
    bool WriteDisc(QTreeWidgetItem& row);
    // The state of row's set; with faulty, marked as a verdict (MarkRow).
    void ShowState(QTreeWidgetItem& row, const QString& state, std::optional<bool> faulty);
    void EnableControls(bool enabled);

    std::string root;
    std::string images; // the images' folder, ending with the separator
    DialogHost host;
    bool writing = false;
};

} // namespace kelvark
