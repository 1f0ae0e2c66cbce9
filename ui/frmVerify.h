#pragma once

#include <QDialog>

#include <string>

class QColor;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelvark {

struct FolderCheck;
struct VerifyResult;

// The background of a row with a fault: the list's own base colour tinted
// towards amber, light in a light theme and dark in a dark one, so the text
// colour of either stays readable on it.
QColor Tinted(const QColor& base);
// A list of a verify's findings, with the columns Set, Project, Verdict and Files.
QTreeWidget* NewFindingList(QWidget* parent);
// Adds a row to list for each finding of checked: its set, its project, its
// verdict and the files concerned.
void AddFindingRows(QTreeWidget& list, const FolderCheck& checked);
// Marks item as the verdict of a check: a fault with the style's warning
// icon in column, on a background tinted towards amber; intact with a check mark.
void MarkRow(QTreeWidgetItem& item, int column, bool faulty);

// The result of a verify: one row per project of each set folder or disc
// (its set, its name, its verdict and the files concerned), rows for the files
// of no project, for each extra file and for each malformed line of a
// SHA256SUMS, then the summary line of each set, and after a stop what was
// checked. The words are the command line's; names are shown as UTF-8
// (ShownText). A row with a fault has the style's warning icon on a tinted
// background, an intact one a check mark. Copy and Save give the whole
// result as the command line prints it (VerifyLines). It is never taller
// than the screen: the list scrolls.
class frmVerify final : public QDialog {
    Q_OBJECT
public:
    // folder: the folder verified, where Save starts.
    frmVerify(const VerifyResult& result, const std::string& folder, QWidget* owner);

    QTreeWidget* lstResult = nullptr; // columns Set, Project, Verdict, Files
    QPlainTextEdit* txtSummary = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void FitScreen();
    void Save();

    QString text; // the result's lines, joined by line feeds
    QString folder;
};

} // namespace kelvark
