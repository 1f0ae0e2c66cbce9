#pragma once

#include "DialogHost.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;
class QThread;

namespace kelvark {

class DiscModel;
class WhereModel;

// File ▸ "Find on discs…": the catalogue of the user's backup discs. Its
// Projects tab finds, as a name is typed, every project whose name holds the
// text, with its disc, the backup's root folder and day, when the disc was
// written and last verified, and the verdict; Restore copies the selected
// projects back from their disc, which the user gives: a set folder or
// mounted disc, an image file or an optical drive. Its Discs tab lists every
// disc, oldest check first, those due marked. The catalogue is read on a
// thread of the dialog's own, so that typing never waits for it (another
// program may hold its file a while). Modeless, as the verify result is.
class frmFindOnDiscs final : public QDialog {
    Q_OBJECT
public:
    frmFindOnDiscs(const DialogHost& host, QWidget* owner);
    ~frmFindOnDiscs() override;

    QTabWidget* tabs = nullptr; // Projects, Discs
    QLineEdit* txtFind = nullptr;
    QLabel* lblFound = nullptr; // how many were found, or why none is shown
    QTableView* tblFound = nullptr; // over WhereModel, sortable
    QPushButton* cmdRestore = nullptr; // opens menuRestore
    QMenu* menuRestore = nullptr; // a folder, an image file, then each drive
    QLabel* lblDiscs = nullptr; // how many discs are due, or why none is shown
    QTableView* tblDiscs = nullptr; // over DiscModel, oldest check first
    QLineEdit* txtCatalogue = nullptr; // the catalogue's file
    QPushButton* cmdCatalogue = nullptr;
    QPushButton* cmdClose = nullptr;
    WhereModel* found = nullptr;
    DiscModel* discs = nullptr;

    // Lists the optical drives among the discs Restore may read, then reads the catalogue.
    void Start();
    // Reads the catalogue again: the projects that hold the text typed, and the
    // discs. While a read runs, the next one waits for it.
    void Query();

signals:
    // A read of the catalogue ended and its rows are shown.
    void Queried();
    // The user chose another catalogue file: the window keeps it, and this dialog reads it.
    void CatalogueChosen(const std::string& catalogue);
    // The user gave the disc to restore projects from: a folder or an
    // image file in sources, or a drive in drives.
    void RestoreAsked(const std::vector<std::string>& sources, const std::vector<std::string>& drives,
                      const std::vector<std::string>& projects);

private:
    struct Answer;
    void ShowAnswer(const Answer& answer, const QString& text);
    void FitColumns();
    // The projects of the selected rows, each once.
    std::vector<std::string> SelectedProjects() const;
    // The disc of the first selected row; there is one.
    const DiscKey& FirstSelectedDisc() const;
    enum class Source : unsigned char { Folder, Image, Drive };
    void Restore(Source from, const std::string& device = {});
    void ChooseCatalogue();

    DialogHost host;
    QSortFilterProxyModel* foundSort = nullptr;
    QThread* worker = nullptr; // the read of the catalogue running, if any
    bool again = false; // the text changed while it ran
};

} // namespace kelvark
