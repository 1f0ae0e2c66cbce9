#pragma once

#include <QDialog>

#include <string>

class QComboBox;
class QPushButton;
class QTreeWidget;

// The modal dialog in which the user picks a folder: a drive list (the mounted
// volumes, "/" first) above a folder list that shows the current folder with
// its parent folders above it and its subfolders below it. The caller sets the
// start with SetExternal, shows the dialog and then reads ChosenFolder.
// Folders are byte paths: a name that is not UTF-8 is shown read as
// Windows-1252 (ShownText), and each item keeps its path's own bytes as its
// Qt::UserRole data, so such a folder can still be opened and chosen.
class frmChooseFolder final : public QDialog {
    Q_OBJECT
public:
    explicit frmChooseFolder(QWidget* owner);

    // The folder opened in the list when OK was pressed, without a trailing
    // separator unless it is "/"; empty after Cancel.
    std::string ChosenFolder;

    QComboBox* Drive1 = nullptr;
    QTreeWidget* Dir1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    // Selects the drive that holds DrivePath ("/" when none does) and opens
    // DrivePath, or that drive's root when DrivePath cannot be opened.
    void SetExternal(const std::string& DrivePath);

    // The folder opened in the list (not the one merely highlighted).
    const std::string& Path() const { return path; }
    // Opens folder in the list, as a double-click on it does. False, with the
    // list unchanged, when the folder cannot be listed.
    bool OpenFolder(const std::string& folder);

    // Cancel, the Esc key and the title bar's close button.
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FollowSize();
    void FillDrives();
    void Drive1_Change();
    void cmdOK_Click();
    std::string DriveRoot(int index) const;

    std::string path;
};
