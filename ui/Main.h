#pragma once

#include "InputBox.h"
#include "Notices.h"
#include "ProjectGrid.h"
#include "frmProgress.h"
#include "Commands.h"
#include "orvoProjectList.h"

#include <QFileDialog>
#include <QMainWindow>

#include <array>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLocale;
class QMenu;
class QPushButton;
class QRadioButton;

namespace kelvark {

// The user's decimal and group separators and the separator of the short date format.
Regional RegionalFromLocale(const QLocale& locale);

// The font the windows are drawn for: an 8-point sans serif of Helvetica's
// widths, in which the grid's columns hold their widest texts.
QFont WindowFont();

// The program's window. It reads a root folder into the grid, plans backups
// for a CD, a DVD or another medium, sorts the projects into backup folders, writes the
// reports, and moves or renames the selected projects. The message boxes, the
// notice box and the input box it shows are handed in, so that tests can
// answer them.
class Main final : public QMainWindow {
    Q_OBJECT
public:
    // readFolder, when not empty, is read instead of the stored read folder
    // for this run (the setting is left as it is). It ends with "/".
    Main(Messages& messages, Question& question, InputBox& input, NoticeBox& noticeBox,
         const std::string& readFolder = {});

    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdChooseFolder = nullptr;
    QPushButton* cmdReadFolder = nullptr;
    QCheckBox* chkRegular = nullptr;
    QCheckBox* chkMix = nullptr;
    QRadioButton* optCD = nullptr; // the CD medium
    QRadioButton* optDVD = nullptr; // the DVD medium
    QRadioButton* optOther = nullptr; // the medium of cboMedium
    // The other named media, a custom size once one was given, and last the
    // entry that asks for one. Each entry but the last keeps its medium's key
    // as its data.
    QComboBox* cboMedium = nullptr;
    QLabel* lblProjCount = nullptr;
    ProjectGrid* grdOut = nullptr;
    std::array<QPushButton*, 2> cmdRearrange{}; // 0: Backup Sort, 1: Report Only
    QPushButton* cmdMove = nullptr;
    QPushButton* cmdErrors = nullptr;
    QPushButton* cmdQuit = nullptr;

    QMenu* menuFile = nullptr;
    QAction* menuFileChooseread = nullptr;
    QAction* menuFileChoose = nullptr;
    QAction* menuFileReadfolder = nullptr;
    QAction* menuFileMove = nullptr;
    QAction* menuFileRename = nullptr;
    QAction* menuFileUnsort = nullptr;
    QAction* menuFileChecksums = nullptr;
    QAction* menuFileVerify = nullptr;
    QAction* menuFileClose = nullptr;
    QAction* menuAbout = nullptr;
    QMenu* menuPopup = nullptr; // the grid's popup menu, never in the menu bar
    QAction* menuPopupMove = nullptr;
    QAction* menuHiddenRename = nullptr;

    std::string RootFolder;
    std::string MoveFolder;

    // How the folder dialog opens: the desktop's own where the platform has
    // one (tests add QFileDialog::DontUseNativeDialog to answer it).
    QFileDialog::Options folderDialogOptions = QFileDialog::ShowDirsOnly;

    // Declared in this order so that the window, when it goes, releases the
    // list first, then the progress dialog.
    frmProgress progress;
    ReadNotices notices;
    orvoProjectList projectList;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void Form_Load(const std::string& readFolder);

    void Run(const std::function<void()>& command);
    void SayBusy();
    void FollowSize();

    void SetIncludeChecks();
    bool ChooseReadFolder();
    void ShowProjectCount();
    std::string ReadCancelled() const;
    int LeftOutByTicks(bool mix, bool regular) const;
    std::string ChooseFolder(const std::string& DrivePath);
    void PlanForMedium();
    void ShowSetTips();
    // The medium the option buttons (and with Other, the combo box) choose.
    Medium SelectedMedium() const;
    void ShowMedium(const Medium& medium);
    void MediumChosen();
    void ChooseCustomSize();
    // The commands' questions: forgetting a journal in the window's own box,
    // Forget or Cancel; every other one asked through question.
    class Answers final : public Question {
    public:
        explicit Answers(Main& window) : window(window) {}
        bool Confirm(const Asking& asking) override;
        bool AskYesNo(const std::string& text, const std::string& title) override
        {
            return window.question.AskYesNo(text, title);
        }

    private:
        Main& window;
    };
    CommandUi Ui() { return {messages, progress, answers}; }
    void ShowResult(const Result& result);
    bool Recover(const Result& result);
    bool Forget(const std::string& why);
    void OfferRecover(const Result& result);
    void WriteChecksums(bool offer);
    // The projects of the selected rows, in list order.
    std::vector<orvoProject*> SelectedProjects() const;
    bool RenameFiles();

    void cmdChooseFolder_Click();
    void cmdReadFolder_Click();
    void menuFileChooseread_Click();
    void cmdErrors_Click();
    void menuAbout_Click();
    void cboMedium_Activated(int index);
    void cmdRearrange_Click(int Index);
    void cmdMove_Click();
    void menuFileRename_Click();
    void menuFileUnsort_Click();
    void grdOut_MouseUp(const QPoint& globalPos);

    Messages& messages;
    Question& question;
    InputBox& input;
    Answers answers{*this};
    bool running = false;
    // The window was closed during a command, and closes when it ends.
    bool quitWhenDone = false;
    QAction* cancelRun = nullptr; // Esc while a command runs
    // The folder whose projects the list holds (empty before the first read)
    // and the medium they are planned for.
    std::string listFolder;
    // The entry of cboMedium that Other chooses; it stays while the last entry asks for a size.
    int otherIndex = 0;
    // The last read: cancelled before its end (the grid shows the projects it
    // read), the projects its include ticks left out, and its error listing.
    bool readCancelled = false;
    int leftOut = 0;
    std::string readErrors;
};

} // namespace kelvark
