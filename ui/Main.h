#pragma once

#include "Commands.h"
#include "DialogHost.h"
#include "InputBox.h"
#include "Notices.h"
#include "ProjectGrid.h"
#include "WindowThread.h"
#include "frmProgress.h"
#include "orvoProjectList.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLocale;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace kelvark {

class SetView;
class frmFindOnDiscs;

// The user's decimal and group separators and the separator of the short date format.
Regional RegionalFromLocale(const QLocale& locale);

// The program's window. It reads a root folder into the grid, plans backups
// for a CD, a DVD or another medium, sorts the projects into backup folders, writes the
// reports, and moves or renames the selected projects. Each command runs on a
// worker thread while the window waits for it, painting and answering its
// questions. The message boxes, the notice box and the input box it shows
// are handed in, so that tests can answer them.
class Main final : public QMainWindow {
    Q_OBJECT
public:
    // readFolder, when not empty, is read at start instead of the stored read
    // folder (the setting is left as it is). It ends with "/".
    Main(Messages& messages, Question& question, InputBox& input, NoticeBox& noticeBox,
         const std::string& readFolder = {});
    ~Main() override;

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
    QTabWidget* tabs = nullptr; // the grid, and the plan by set
    ProjectGrid* grdOut = nullptr;
    SetView* setView = nullptr;
    std::array<QPushButton*, 2> cmdRearrange{}; // 0: Backup Sort, 1: Report Only
    QPushButton* cmdMove = nullptr;
    QPushButton* cmdErrors = nullptr;
    QPushButton* cmdQuit = nullptr;
    QLabel* lblErrors = nullptr; // in the status bar: the last read met errors
    QLabel* lblPlan = nullptr; // in the status bar: the discs the plan needs

    QMenu* menuFile = nullptr;
    QAction* menuFileChooseread = nullptr;
    QAction* menuFileChoose = nullptr;
    QAction* menuFileReadfolder = nullptr;
    QAction* menuFileMove = nullptr;
    QAction* menuFileRename = nullptr;
    QAction* menuFileUnsort = nullptr;
    QAction* menuFileChecksums = nullptr;
    QAction* menuFileVerify = nullptr;
    QAction* menuFileWriteDiscs = nullptr; // enabled once a folder was read
    QAction* menuFileFind = nullptr;
    QAction* menuFileClose = nullptr;
    QAction* menuAbout = nullptr;
    QMenu* menuPopup = nullptr; // the grid's popup menu, never in the menu bar
    QAction* menuPopupMove = nullptr;
    QAction* menuHiddenRename = nullptr;

    std::string RootFolder;
    std::string MoveFolder;
    // The catalogue's file, where the commands record the discs and Find on
    // discs looks: the setting "Catalogue", by default DefaultCataloguePath().
    std::string catalogue;

    // How the folder dialog opens: the desktop's own where the platform has
    // one (tests add QFileDialog::DontUseNativeDialog to answer it).
    QFileDialog::Options folderDialogOptions = QFileDialog::ShowDirsOnly;

    // Called once a read of a folder ended, before its rows are shown: what
    // the program does with its heap then (kelvark gives the freed pages
    // back to the system); nothing when empty.
    std::function<void()> readDone;

    // Reads folder (a drop on the window, the folder typed into the field) as
    // the user's own Read folder: the folder is chosen and stored first.
    void ReadChosenFolder(const std::string& folder);

private:
    Messages& messages;
    Question& question;
    InputBox& input;
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
    Answers answers{*this};
    // What the commands show and ask, from whichever thread they run on.
    WindowThread windowThread;

public:
    // Declared in this order so that the window, when it goes, releases the
    // list first, then the progress dialog.
    frmProgress progress;
    ReadNotices notices;
    orvoProjectList projectList;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Which read: the user's own shows its errors at once; one that follows a
    // command or a change of the ticks says in the status bar that there are some.
    enum class ReadBy : unsigned char { User, Command };

    void CreateControls();
    void CreateMenus();
    void Form_Load(const std::string& readFolder);

    void Run(const std::function<void()>& command);
    void Await(const QString& verb, const QString& items, const std::function<void()>& work);
    void EnableCommands(bool enabled);
    void ShowTitle();

    void SetIncludeChecks();
    bool ChooseReadFolder();
    void ShowProjectCount();
    std::string ReadCancelled() const;
    int LeftOutByTicks(bool mix, bool regular) const;
    std::string ChooseFolder(const QString& title, const std::string& DrivePath);
    void PlanForMedium();
    void ShowPlan();
    // Empties the grid that can't show the folder as it is, saying why.
    void ShowNotRead(const std::string& why);
    // The medium the option buttons (and with Other, the combo box) choose.
    Medium SelectedMedium() const;
    void ShowMedium(const Medium& medium);
    void MediumChosen();
    void ChooseCustomSize();
    CommandUi Ui() { return {windowThread, progress, windowThread}; }
    void ShowResult(const Result& result);
    bool Recover(const Result& result);
    bool Forget(const std::string& why);
    void OfferRecover(const Result& result);
    void WriteChecksums(bool offer);
    void VerifyDiscs();
    void WriteDiscs();
    void FindOnDiscs();
    // Copies projects from the disc in sources or drives into the root
    // folder, then reads the folder again.
    void Restore(const std::vector<std::string>& sources, const std::vector<std::string>& drives,
                 const std::vector<std::string>& projects);
    DialogHost Host();
    // The projects of the selected rows, in list order.
    std::vector<orvoProject*> SelectedProjects() const;
    bool RenameFiles();
    void ReadFolder(ReadBy by);

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

    bool running = false;
    // The window was closed during a command, and closes when it ends.
    bool quitWhenDone = false;
    QAction* cancelRun = nullptr; // Esc while a command runs
    QPointer<frmFindOnDiscs> findOnDiscs; // while it is open
    // The folder whose projects the list holds (empty when it holds none
    // that the grid may show).
    std::string listFolder;
    // The entry of cboMedium that Other chooses; it stays while the last entry asks for a size.
    int otherIndex = 0;
    // The last read: cancelled before its end (the grid shows the projects it
    // read), the projects its include ticks left out, and its error listing.
    bool readCancelled = false;
    int leftOut = 0;
    std::string readErrors;
    // Why the grid is empty when it can't show the folder, else empty.
    std::string notRead;
};

} // namespace kelvark
