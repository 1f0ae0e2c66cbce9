#include "Main.h"

#include "Commands.h"
#include "DiscChecks.h"
#include "Journal.h"
#include "TextCodec.h"
#include "Twips.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QSettings>
#include <QToolTip>

namespace {

// The window's outer width, which every resize restores, and the height
// below which the bottom buttons would cover the Move button.
constexpr int OuterWidth = 6720;
constexpr int SmallestHeight = 5190;

// A folder is stored as text when it is UTF-8, and as its bytes when it is
// not, so that it comes back exactly as it was chosen.
std::string ReadSetting(const QString& key)
{
    QSettings settings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark"));
    const QVariant value = settings.value(QStringLiteral("Prefs/") + key, QStringLiteral("/"));
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray().toStdString() : value.toString().toStdString();
}

void WriteSetting(const QString& key, const std::string& value)
{
    QSettings settings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark"));
    settings.setValue(QStringLiteral("Prefs/") + key, IsValidUtf8(value)
                                                          ? QVariant(QString::fromStdString(value))
                                                          : QVariant(QByteArray::fromStdString(value)));
}

// Adds a line to a folder's error listing, which opens with its heading.
void AddToFolderErrors(std::string& listing, const std::string& line)
{
    listing += listing.empty() ? "Errors for this folder: \r\n\r\n  " : "\r\n  ";
    listing += line;
}

// The busy cursor over a window while a long operation runs in it. The
// dialogs the operation shows are windows of their own and keep the arrow.
class BusyCursor final {
public:
    explicit BusyCursor(QWidget& window) : window(window) { window.setCursor(Qt::BusyCursor); }
    ~BusyCursor() { window.unsetCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    QWidget& window;
};

} // namespace

QFont WindowFont()
{
    // The windows' positions and sizes are drawn for an 8-point sans serif of
    // Helvetica's widths; a wider font would cut captions and sizes short.
    // The system's own family stays as the last choice.
    QFont font = QGuiApplication::font();
    font.setFamilies({QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), QStringLiteral("Helvetica"), font.family()});
    font.setPointSize(8);
    return font;
}

Regional RegionalFromLocale(const QLocale& locale)
{
    Regional regional;
    regional.decimalSeparator = locale.decimalPoint().toStdString();
    // The separator is the first mark between the fields of the short date.
    for (const QChar c : locale.dateFormat(QLocale::ShortFormat)) {
        if (!c.isLetter() && !c.isSpace() && c != u'\'') {
            regional.dateSeparator = QString(c).toStdString();
            break;
        }
    }
    return regional;
}

Main::Main(Messages& messages, Question& question, InputBox& input, NoticeBox& noticeBox,
           const std::string& readFolder)
    : progress(this)
    , notices(messages, noticeBox)
    , projectList(UserInterface{notices, progress})
    , messages(messages)
    , question(question)
    , input(input)
{
    CreateControls();
    CreateMenus();
    Form_Load(readFolder);
}

void Main::CreateControls()
{
    setWindowTitle(QStringLiteral("Kelvark"));
    auto* client = new QWidget(this);
    setCentralWidget(client);

    Frame1 = new QGroupBox(QStringLiteral("Project Folder"), client);
    Frame1->setGeometry(TwipsRect(150, 75, 6390, 1290));
    txtFolder = new QLineEdit(Frame1);
    txtFolder->setGeometry(TwipsRect(150, 300, 4890, 315));
    // The program shows the read folder here and never reads the field back.
    txtFolder->setReadOnly(true);
    cmdChooseFolder = new QPushButton(QStringLiteral("Choose"), Frame1);
    cmdChooseFolder->setGeometry(TwipsRect(5100, 300, 1140, 390));
    chkRegular = new QCheckBox(QStringLiteral("Include regular projects"), Frame1);
    chkRegular->setGeometry(TwipsRect(150, 675, 2190, 240));
    chkMix = new QCheckBox(QStringLiteral("Include mix projects"), Frame1);
    chkMix->setGeometry(TwipsRect(150, 975, 2190, 240));
    optCD[0] = new QRadioButton(QStringLiteral("649MB - CD Backup"), Frame1);
    optCD[0]->setGeometry(TwipsRect(2700, 675, 1965, 240));
    optCD[1] = new QRadioButton(QStringLiteral("4.6GB - DVD Backup"), Frame1);
    optCD[1]->setGeometry(TwipsRect(2700, 975, 1965, 240));
    cmdReadFolder = new QPushButton(QStringLiteral("Read folder"), Frame1);
    cmdReadFolder->setGeometry(TwipsRect(5100, 750, 1140, 390));

    lblProjCount = new QLabel(client);
    lblProjCount->setGeometry(TwipsRect(300, 1500, 3990, 195));
    grdOut = new ProjectGrid(client);
    grdOut->setGeometry(TwipsRect(225, 1725, 4890, 4215));
    cmdRearrange[0] = new QPushButton(QStringLiteral("Backup Sort"), client);
    cmdRearrange[0]->setGeometry(TwipsRect(5250, 1725, 1140, 390));
    cmdRearrange[1] = new QPushButton(QStringLiteral("Report Only"), client);
    cmdRearrange[1]->setGeometry(TwipsRect(5250, 2175, 1140, 390));
    cmdMove = new QPushButton(QStringLiteral("Move"), client);
    cmdMove->setGeometry(TwipsRect(5250, 3000, 1140, 390));
    cmdErrors = new QPushButton(QStringLiteral("Show Errors"), client);
    cmdErrors->setGeometry(TwipsRect(5250, 5025, 1140, 390));
    cmdErrors->setEnabled(false);
    cmdQuit = new QPushButton(QStringLiteral("Exit"), client);
    cmdQuit->setGeometry(TwipsRect(5250, 5550, 1140, 390));

    QWidget* const tabOrder[] = {cmdChooseFolder, chkMix,   chkRegular,      txtFolder, cmdReadFolder,
                                 cmdQuit,         cmdRearrange[0], cmdMove, cmdRearrange[1], optCD[0],
                                 optCD[1],        cmdErrors, grdOut};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(cmdChooseFolder, &QPushButton::clicked, this, [this] { Run([this] { cmdChooseFolder_Click(); }); });
    connect(cmdReadFolder, &QPushButton::clicked, this, [this] { Run([this] { cmdReadFolder_Click(); }); });
    connect(cmdRearrange[0], &QPushButton::clicked, this, [this] { Run([this] { cmdRearrange_Click(0); }); });
    connect(cmdRearrange[1], &QPushButton::clicked, this, [this] { Run([this] { cmdRearrange_Click(1); }); });
    connect(cmdMove, &QPushButton::clicked, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(cmdErrors, &QPushButton::clicked, this, [this] { Run([this] { cmdErrors_Click(); }); });
    // Closing is refused by closeEvent while a command runs.
    connect(cmdQuit, &QPushButton::clicked, this, &Main::close);
    // Only the right button has a command: a left click during a run selects
    // rows and is no command to refuse.
    connect(grdOut, &ProjectGrid::MouseUp, this, [this](Qt::MouseButton button, const QPoint& globalPos) {
        if (button == Qt::RightButton)
            Run([&] { grdOut_MouseUp(globalPos); });
    });
    // The other option's toggle comes with this one. While a command runs,
    // Run plans when the command has ended.
    connect(optCD[0], &QRadioButton::toggled, this, [this] {
        if (!running)
            PlanForMedium();
    });
}

void Main::CreateMenus()
{
    menuFile = menuBar()->addMenu(QStringLiteral("File"));
    menuFileChooseread = menuFile->addAction(QStringLiteral("Choose and read folder"));
    menuFileChooseread->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    menuFileChoose = menuFile->addAction(QStringLiteral("Choose folder only"));
    menuFileChoose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    menuFileReadfolder = menuFile->addAction(QStringLiteral("Read folder"));
    menuFileReadfolder->setShortcut(QKeySequence(Qt::Key_F5));
    menuFile->addSeparator();
    menuFileMove = menuFile->addAction(QStringLiteral("Move selected projects"));
    menuFileMove->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    menuFileRename = menuFile->addAction(QStringLiteral("Rename selected projects"));
    menuFileRename->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    menuFileUnsort = menuFile->addAction(QStringLiteral("Undo backup sort"));
    menuFile->addSeparator();
    menuFileChecksums = menuFile->addAction(QStringLiteral("Write checksums…"));
    menuFileVerify = menuFile->addAction(QStringLiteral("Verify discs…"));
    menuFile->addSeparator();
    menuFileClose = menuFile->addAction(QStringLiteral("Close"));
    menuFileClose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    menuAbout = menuBar()->addAction(QStringLiteral("About"));

    menuPopup = new QMenu(QStringLiteral("Hidden"), this);
    menuPopupMove = menuPopup->addAction(QStringLiteral("Move"));
    menuHiddenRename = menuPopup->addAction(QStringLiteral("Rename"));

    connect(menuFileChooseread, &QAction::triggered, this, [this] { Run([this] { menuFileChooseread_Click(); }); });
    connect(menuFileChoose, &QAction::triggered, this, [this] { Run([this] { cmdChooseFolder_Click(); }); });
    connect(menuFileReadfolder, &QAction::triggered, this, [this] { Run([this] { cmdReadFolder_Click(); }); });
    connect(menuFileMove, &QAction::triggered, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(menuFileRename, &QAction::triggered, this, [this] { Run([this] { menuFileRename_Click(); }); });
    connect(menuFileUnsort, &QAction::triggered, this, [this] { Run([this] { menuFileUnsort_Click(); }); });
    connect(menuFileChecksums, &QAction::triggered, this,
            [this] { Run([this] { WriteChecksumsCommand(RootFolder, progress, messages, question); }); });
    connect(menuFileVerify, &QAction::triggered, this, [this] {
        Run([this] { VerifyDiscsCommand(*this, ChooseDiscs(*this, RootFolder), progress, messages); });
    });
    connect(menuFileClose, &QAction::triggered, this, &Main::close);
    connect(menuAbout, &QAction::triggered, this, [this] { Run([this] { menuAbout_Click(); }); });
    connect(menuPopupMove, &QAction::triggered, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(menuHiddenRename, &QAction::triggered, this, [this] { Run([this] { menuFileRename_Click(); }); });
}

void Main::Form_Load(const std::string& readFolder)
{
    projectList.regional = RegionalFromLocale(QLocale());
    RootFolder = readFolder.empty() ? ReadSetting(QStringLiteral("ReadFolder")) : readFolder;
    MoveFolder = ReadSetting(QStringLiteral("MoveFolder"));
    SetIncludeChecks();
    txtFolder->setText(QString::fromStdString(ShownText(RootFolder)));
    optCD[1]->setChecked(true);
    ShowProjectCount();

    const std::pair<const char*, int> columns[] = {{"Project", 1700}, {"Size", 525}, {"Tracks", 690},
                                                   {"Wavs", 630},     {"BU", 495},   {"Used", 615}};
    for (const auto& [header, width] : columns)
        grdOut->AddColumn(QString::fromLatin1(header), Pixels(width));

    chooseFolder = new frmChooseFolder(this);

    // The client area opens 6600 by 6075 twips, below the menu bar.
    resize(Pixels(6600), Pixels(6075) + menuBar()->sizeHint().height());
}

// A scan, a sort and a move let window events run while they work; a second
// command started from there would change the list under the running loop.
// So a command that arrives while another runs is refused, with a word to the
// user. The progress dialog's Cancel is no command of this window and stays live.
void Main::Run(const std::function<void()>& command)
{
    if (running) {
        SayBusy();
        return;
    }
    running = true;
    const auto done = qScopeGuard([this] { running = false; });
    command();
    // However the command ended, its progress dialog goes; and the plan
    // follows a medium selected while the command ran.
    progress.hide();
    PlanForMedium();
}

void Main::SayBusy()
{
    QToolTip::showText(QCursor::pos(), QStringLiteral("Busy: wait until the running command ends."), this);
}

void Main::closeEvent(QCloseEvent* event)
{
    if (running) {
        SayBusy();
        event->ignore();
        return;
    }
    // A run that stopped early leaves the progress dialog shown; it goes with
    // the window, so that the program ends when the window is closed.
    progress.hide();
    QMainWindow::closeEvent(event);
}

void Main::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FollowHeight();
}

// The window manager frames the window after its first resize; it moves the
// window then, and the rule runs again with the frame counted.
void Main::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FollowHeight();
}

void Main::FollowHeight()
{
    if (isMinimized())
        return;
    // The rule works on the outer size, frame, title bar and menu bar included.
    const QRect outer = frameGeometry();
    const int H = std::max(Twips(outer.height()), SmallestHeight);
    const int W = isMaximized() || isFullScreen() ? Twips(outer.width()) : OuterWidth;
    if (W != Twips(outer.width()) || H != Twips(outer.height()))
        resize(width() + Pixels(W) - outer.width(), height() + Pixels(H) - outer.height());

    grdOut->resize(grdOut->width(), Pixels(H - 1725 - 780));
    cmdQuit->move(cmdQuit->x(), Pixels(H - 1215));
    cmdErrors->move(cmdErrors->x(), Pixels(H - 1740));
}

void Main::SetIncludeChecks()
{
    const QString folder = QString::fromStdString(RootFolder);
    const bool isMix = folder.contains(QStringLiteral("Mix"), Qt::CaseInsensitive);
    const bool isProj = folder.contains(QStringLiteral("Proj"), Qt::CaseInsensitive);
    if (isMix != isProj) {
        chkMix->setChecked(isMix);
        chkRegular->setChecked(isProj);
    }
    if (!isMix && !isProj && !chkMix->isChecked() && !chkRegular->isChecked())
        chkRegular->setChecked(true);
}

std::string Main::ChooseFolder(const std::string& DrivePath)
{
    chooseFolder->SetExternal(DrivePath);
    chooseFolder->exec();
    return chooseFolder->ChosenFolder;
}

void Main::ChooseReadFolder()
{
    const std::string chosen = ChooseFolder(RootFolder);
    if (chosen.empty())
        return;
    RootFolder = WithSeparator(chosen);
    txtFolder->setText(QString::fromStdString(ShownText(RootFolder)));
    WriteSetting(QStringLiteral("ReadFolder"), RootFolder);
}

void Main::ShowProjectCount()
{
    const int n = projectList.projects.Count();
    lblProjCount->setText(QString::number(n) + (n == 1 ? QStringLiteral(" project") : QStringLiteral(" projects")));
    cmdMove->setEnabled(n >= 1);
}

void Main::cmdChooseFolder_Click()
{
    ChooseReadFolder();
    SetIncludeChecks();
}

// Plans the projects read for the medium selected now, unless they are
// planned for it already, and shows the new plan.
void Main::PlanForMedium()
{
    const bool forCD = optCD[0]->isChecked();
    if (forCD == planForCD)
        return;
    planForCD = forCD;
    projectList.CalcBackup(forCD);
    projectList.FillGrid(*grdOut);
    ShowNoSetReasons();
}

// The BU cell of a project in no set tells why as its tooltip.
void Main::ShowNoSetReasons()
{
    const QString reason = QString::fromStdString(NoSetReason(planForCD));
    for (int p = 0; p < projectList.projects.Count(); ++p)
        if (projectList.projects.Item(p)->BackupNum < 0)
            grdOut->topLevelItem(p)->setToolTip(4, reason);
}

// True, once the user was told, when the list does not hold the projects of
// the folder chosen now: the backup commands would write into a folder whose
// projects they do not know.
bool Main::ReadFirst()
{
    if (listFolder == RootFolder)
        return false;
    messages.Show(ReadFolderFirst(RootFolder));
    return true;
}

// A sort, move, rename or undo of a sort of the folder that stopped before its
// end (a crash, a kill, a power cut, Cancel) is finished or undone before
// anything else reads the folder; where neither can be done, or the journal
// can't be read, the user may forget it. False when it is still there: the
// user chose none, or it could not be done (the user was told why), or
// another run holds the folder.
bool Main::Recover()
{
    Journal journal;
    const Journal::State state = journal.Look(RootFolder);
    if (state == Journal::State::None)
        return true;
    if (state == Journal::State::Running || state == Journal::State::NotAFile) {
        messages.Show(journal.Describe());
        return false;
    }
    if (state == Journal::State::Unreadable)
        return Forget(journal.Describe());

    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelvark"),
                    QString::fromStdString(ShownText(journal.Describe()))
                        + QStringLiteral("\n\nFinish it, or undo it and put every file back where it was?"),
                    QMessageBox::Cancel, this);
    QPushButton* finish = box.addButton(QStringLiteral("Finish"), QMessageBox::AcceptRole);
    QPushButton* undo = box.addButton(QStringLiteral("Undo"), QMessageBox::DestructiveRole);
    box.setDefaultButton(finish);
    box.exec();
    if (box.clickedButton() != finish && box.clickedButton() != undo)
        return false;
    if (const std::string refusal = journal.TakeStopped(RootFolder); !refusal.empty()) {
        messages.Show(refusal);
        return false;
    }
    FilePlan plan = box.clickedButton() == finish ? journal.plan() : journal.plan().Inverse();
    if (const std::vector<std::string> refusals = CheckPlan(plan); !refusals.empty()) {
        journal.Keep();
        std::string text = std::string(plan.undoing ? "Can't undo" : "Can't finish") + ": nothing was changed.";
        for (const auto& line : refusals)
            text += LineEnd + line;
        return Forget(text);
    }
    Outcome outcome = Outcome::Failed;
    {
        const BusyCursor busy(*this);
        outcome = RunPlan(plan, journal, progress, messages);
    }
    return outcome == Outcome::Done;
}

// Offers to forget the folder's journal, after text says why it can't be
// used; true once it is gone.
bool Main::Forget(const std::string& text)
{
    Journal journal;
    std::string shown = text;
    if (journal.Look(RootFolder) == Journal::State::Stopped) {
        const std::vector<std::string> split = SplitProjects(journal.plan());
        std::string names;
        for (const auto& name : split)
            names += (names.empty() ? "" : ", ") + name;
        shown += std::string(LineEnd) + LineEnd
                 + (split.empty() ? "No project is split." : "These projects are split: " + names + ".");
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelvark"),
                    QString::fromStdString(ShownText(shown))
                        + QStringLiteral("\n\nForget the journal and leave every file where it is now?"),
                    QMessageBox::Cancel, this);
    QPushButton* forget = box.addButton(QStringLiteral("Forget"), QMessageBox::DestructiveRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(box.button(QMessageBox::Cancel)));
    box.exec();
    if (box.clickedButton() != forget)
        return false;
    if (const std::string failure = journal.Forget(RootFolder); !failure.empty()) {
        messages.Show(failure);
        return false;
    }
    return true;
}

void Main::cmdReadFolder_Click()
{
    if (!Recover())
        return;
    const bool forCD = optCD[0]->isChecked();
    notices.StartRead();
    bool hadErrors = false;
    {
        const BusyCursor busy(*this);
        hadErrors = ReadFolderCommand(projectList, RootFolder, chkMix->isChecked(), chkRegular->isChecked(), forCD,
                                      *grdOut);
    }
    listFolder = RootFolder;
    planForCD = forCD;
    if (const std::string unshown = notices.Unshown(); !unshown.empty()) {
        AddToFolderErrors(projectList.LastError, unshown);
        hadErrors = true;
    }
    grdOut->scrollToTop();
    ShowNoSetReasons();
    ShowProjectCount();
    cmdErrors->setEnabled(hadErrors);
    if (hadErrors)
        messages.Show(projectList.LastError);
}

void Main::menuFileChooseread_Click()
{
    ChooseReadFolder();
    cmdReadFolder_Click();
}

void Main::cmdErrors_Click()
{
    messages.Show(projectList.LastError);
}

void Main::menuAbout_Click()
{
    messages.Show("Kelvark - Version " KELVARK_VERSION "\r\n\r\n"
                  "Reads the ORVEX projects of a folder, plans their backups onto CDs or DVDs "
                  "and sorts, moves or renames them.");
}

void Main::cmdRearrange_Click(int Index)
{
    if (ReadFirst())
        return;
    // The plan is the one for the medium selected now.
    const bool forCD = optCD[0]->isChecked();
    if (const std::vector<std::string> left = ProjectsInNoSet(projectList); !left.empty()) {
        // The sort must place every project; the reports can leave them out
        // once the user agrees.
        const std::string notice = NoSetNotice(left, forCD);
        if (Index == 0) {
            messages.Show(notice);
            return;
        }
        if (!question.AskYesNo(notice + "\r\n\r\nWrite the reports without " + (left.size() == 1 ? "it" : "them") + "?",
                               "Report Only"))
            return;
    }
    if (Index == 0 && !question.AskYesNo(BackupSortQuestion(forCD), BackupSortTitle))
        return;
    if (const auto sorted = SortedSetFolders(RootFolder);
        Index == 1 && !sorted.empty() && !question.AskYesNo(ReplaceReportsQuestion(sorted), "Report Only"))
        return;
    bool stopped = false;
    {
        const BusyCursor busy(*this);
        stopped = BackupCommand(projectList, RootFolder, forCD, Index == 0, messages);
    }
    if (Index == 0 && !stopped)
        OfferChecksums(RootFolder, progress, messages, question);
    // A sort stopped by Cancel, or by a file that failed to move, is finished or undone at once.
    if (Index == 0)
        OfferRecover();
}

// After an operation that stopped: the Finish / Undo question, then the folder read again.
void Main::OfferRecover()
{
    progress.Hide();
    if (Journal journal; journal.Look(RootFolder) == Journal::State::Stopped && Recover())
        cmdReadFolder_Click();
}

void Main::cmdMove_Click()
{
    if (grdOut->selectedItems().isEmpty()) {
        messages.Show("Select the projects to move first.");
        return;
    }
    const std::string previous = MoveFolder;
    const std::string chosen = ChooseFolder(MoveFolder);
    if (chosen.empty())
        return;
    MoveFolder = WithSeparator(chosen);
    if (MoveFolder != previous)
        WriteSetting(QStringLiteral("MoveFolder"), MoveFolder);
    bool failed = false;
    {
        const BusyCursor busy(*this);
        failed = MoveCommand(projectList, Selection(projectList, *grdOut), MoveFolder, messages, *grdOut);
    }
    cmdErrors->setEnabled(failed);
    ShowNoSetReasons();
    ShowProjectCount();
    if (failed)
        OfferRecover();
}

void Main::menuFileUnsort_Click()
{
    if (!Recover())
        return;
    UnsortPlan unsort = PlanUnsort(RootFolder, optCD[0]->isChecked());
    if (!unsort.plan.refusals.empty()) {
        messages.Show(unsort.plan.RefusalText());
        return;
    }
    if (!question.AskYesNo(UnsortQuestion(unsort, RootFolder), UnsortTitle))
        return;
    {
        const BusyCursor busy(*this);
        UnsortCommand(unsort, RootFolder, progress, messages);
        progress.Hide();
    }
    cmdReadFolder_Click();
}

void Main::menuFileRename_Click()
{
    if (projectList.projects.Count() != 0)
        RenameFiles();
}

// Asks a new name for each selected project in turn and renames it; an empty
// answer or a failed rename stops the walk, and the projects after it keep
// their selection. True when every selected project was visited.
bool Main::RenameFiles()
{
    const std::vector<orvoProject*> selected = Selection(projectList, *grdOut);
    for (orvoProject* project : selected) {
        const std::string newName = input.Ask("Enter new name", "Rename project", project->Name);
        if (newName.empty() || projectList.RenameProject(*project, newName))
            return false;
        for (int r = 1; r <= projectList.projects.Count(); ++r)
            if (projectList.projects.Item(r - 1).get() == project) {
                grdOut->SetText(r, project->Name);
                grdOut->ClearSelection(r);
            }
    }
    return true;
}

void Main::grdOut_MouseUp(const QPoint& globalPos)
{
    if (projectList.projects.Count() != 0)
        menuPopup->popup(globalPos);
}
