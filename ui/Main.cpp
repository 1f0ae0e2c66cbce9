#include "Main.h"

#include "Commands.h"
#include "DiscChecks.h"
#include "FolderListing.h"
#include "TextCodec.h"
#include "Twips.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFile>
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
#include <QSignalBlocker>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace kelvark {

namespace {

// The window's outer width when it opens, below which a resize goes back to
// it, and the height below which the bottom buttons would cover the Move button.
constexpr int OuterWidth = 6720;
constexpr int SmallestHeight = 5550;

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
    settings.setValue(QStringLiteral("Prefs/") + key, IsValidUtf8(value) ? QVariant(QString::fromStdString(value))
                                                                         : QVariant(QByteArray::fromStdString(value)));
}

// A medium as the combo box lists it: "BD-R (24.2 GB)".
QString MediumText(const Medium& medium)
{
    return QString::fromStdString(medium.name + " (" + medium.shortSize + ")");
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
    regional.groupSeparator = locale.groupSeparator().toStdString();
    // The separator is the first mark between the fields of the short date.
    for (const QChar c : locale.dateFormat(QLocale::ShortFormat)) {
        if (!c.isLetter() && !c.isSpace() && c != u'\'') {
            regional.dateSeparator = QString(c).toStdString();
            break;
        }
    }
    return regional;
}

Main::Main(Messages& messages, Question& question, InputBox& input, NoticeBox& noticeBox, const std::string& readFolder)
    : progress(this), notices(messages, noticeBox), projectList(UserInterface{notices, progress}), messages(messages),
      question(question), input(input)
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
    Frame1->setGeometry(TwipsRect(150, 75, 6390, 1650));
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
    optCD = new QRadioButton(QStringLiteral("649MB - CD Backup"), Frame1);
    optCD->setGeometry(TwipsRect(2700, 675, 1965, 240));
    // The caption's MB are binary; the grid's are decimal.
    optCD->setToolTip(QStringLiteral("649 MiB = 680.5 MB"));
    optDVD = new QRadioButton(QStringLiteral("4.6GB - DVD Backup"), Frame1);
    optDVD->setGeometry(TwipsRect(2700, 975, 1965, 240));
    // The other media below them, the combo box as wide as the room under Read folder allows.
    optOther = new QRadioButton(QStringLiteral("Other:"), Frame1);
    optOther->setGeometry(TwipsRect(2700, 1275, 810, 240));
    cboMedium = new QComboBox(Frame1);
    cboMedium->setGeometry(TwipsRect(3570, 1245, 2670, 315));
    for (const Medium& medium : Media())
        if (medium != CDMedium() && medium != DVDMedium())
            cboMedium->addItem(MediumText(medium), QString::fromStdString(medium.key));
    cboMedium->addItem(QStringLiteral("Custom size…"));
    cmdReadFolder = new QPushButton(QStringLiteral("Read folder"), Frame1);
    cmdReadFolder->setGeometry(TwipsRect(5100, 750, 1140, 390));

    lblProjCount = new QLabel(client);
    lblProjCount->setGeometry(TwipsRect(300, 1860, 3990, 195));
    grdOut = new ProjectGrid(client);
    grdOut->setGeometry(TwipsRect(225, 2085, 4890, 4215));
    cmdRearrange[0] = new QPushButton(QStringLiteral("Backup Sort"), client);
    cmdRearrange[0]->setGeometry(TwipsRect(5250, 2085, 1140, 390));
    cmdRearrange[1] = new QPushButton(QStringLiteral("Report Only"), client);
    cmdRearrange[1]->setGeometry(TwipsRect(5250, 2535, 1140, 390));
    cmdMove = new QPushButton(QStringLiteral("Move"), client);
    cmdMove->setGeometry(TwipsRect(5250, 3360, 1140, 390));
    cmdErrors = new QPushButton(QStringLiteral("Show Errors"), client);
    cmdErrors->setGeometry(TwipsRect(5250, 5025, 1140, 390));
    cmdErrors->setEnabled(false);
    cmdQuit = new QPushButton(QStringLiteral("Exit"), client);
    cmdQuit->setGeometry(TwipsRect(5250, 5550, 1140, 390));

    // Top to bottom, left to right, Exit last.
    QWidget* const tabOrder[] = {txtFolder,       cmdChooseFolder, chkRegular, chkMix,        optCD,
                                 optDVD,          optOther,        cboMedium,  cmdReadFolder, grdOut,
                                 cmdRearrange[0], cmdRearrange[1], cmdMove,    cmdErrors,     cmdQuit};
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
    connect(grdOut, &ProjectGrid::RowMenuKey, this,
            [this](const QPoint& globalPos) { Run([&] { grdOut_MouseUp(globalPos); }); });
    // Each option button chooses when it is checked; the one unchecked says nothing.
    for (QRadioButton* option : {optCD, optDVD, optOther})
        connect(option, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                MediumChosen();
        });
    connect(cboMedium, &QComboBox::activated, this, &Main::cboMedium_Activated);
}

void Main::CreateMenus()
{
    menuFile = menuBar()->addMenu(QStringLiteral("&File"));
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
    // Ctrl+Q, the desktop's quit key, beside the system's own Ctrl+X.
    menuFileClose->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_Q)});
    menuAbout = menuBar()->addAction(QStringLiteral("About"));

    // F10 opens the File menu, as Alt+F does.
    auto* openMenu = new QAction(this);
    openMenu->setShortcut(QKeySequence(Qt::Key_F10));
    addAction(openMenu);
    connect(openMenu, &QAction::triggered, this, [this] { menuBar()->setActiveAction(menuFile->menuAction()); });
    // While a command runs, Esc stops it wherever the focus is, as the
    // progress dialog's Cancel does. A dialog the command shows keeps its own
    // Esc: it blocks this window, and the key goes to the dialog.
    cancelRun = new QAction(this);
    cancelRun->setShortcut(QKeySequence(Qt::Key_Escape));
    cancelRun->setShortcutContext(Qt::ApplicationShortcut);
    cancelRun->setEnabled(false);
    addAction(cancelRun);
    connect(cancelRun, &QAction::triggered, &progress, &frmProgress::reject);

    menuPopup = new QMenu(QStringLiteral("Hidden"), this);
    menuPopupMove = menuPopup->addAction(QStringLiteral("Move"));
    menuHiddenRename = menuPopup->addAction(QStringLiteral("Rename"));

    connect(menuFileChooseread, &QAction::triggered, this, [this] { Run([this] { menuFileChooseread_Click(); }); });
    connect(menuFileChoose, &QAction::triggered, this, [this] { Run([this] { cmdChooseFolder_Click(); }); });
    connect(menuFileReadfolder, &QAction::triggered, this, [this] { Run([this] { cmdReadFolder_Click(); }); });
    connect(menuFileMove, &QAction::triggered, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(menuFileRename, &QAction::triggered, this, [this] { Run([this] { menuFileRename_Click(); }); });
    connect(menuFileUnsort, &QAction::triggered, this, [this] { Run([this] { menuFileUnsort_Click(); }); });
    connect(menuFileChecksums, &QAction::triggered, this, [this] { Run([this] { WriteChecksums(false); }); });
    connect(menuFileVerify, &QAction::triggered, this,
            [this] { Run([this] { VerifyDiscsCommand(*this, ChooseFolder(RootFolder), progress, messages); }); });
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
    // The medium chosen last; DVD when none is stored, or the stored one names none.
    Medium stored = DVDMedium();
    static_cast<void>(MediumNamed(ReadSetting(QStringLiteral("Medium")), stored));
    ShowMedium(stored);
    ShowProjectCount();

    // The Project column takes what the others leave: 1505 twips at the opening size.
    const std::pair<const char*, int> columns[] = {{"Project", 1505}, {"Size", 720}, {"Tracks", 690},
                                                   {"Wavs", 630},     {"BU", 495},   {"Used", 615}};
    for (const auto& [header, width] : columns)
        grdOut->AddColumn(QString::fromLatin1(header), Pixels(width));

    // The client area opens 6600 by 6435 twips, below the menu bar.
    resize(Pixels(6600), Pixels(6435) + menuBar()->sizeHint().height());
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
    {
        running = true;
        cancelRun->setEnabled(true);
        const auto done = qScopeGuard([this] {
            running = false;
            cancelRun->setEnabled(false);
        });
        command();
        // However the command ended, its progress dialog goes; and the plan
        // follows a medium selected while the command ran.
        progress.hide();
        PlanForMedium();
    }
    // The window was closed while the command ran, and the user agreed.
    if (std::exchange(quitWhenDone, false))
        close();
}

void Main::SayBusy()
{
    QToolTip::showText(QCursor::pos(), QStringLiteral("Busy: wait until the running command ends."), this);
}

void Main::closeEvent(QCloseEvent* event)
{
    // A command runs (or waits for the answer to its question): closing now
    // would leave it half done. The user may stop it; the window closes when
    // it has ended.
    if (running) {
        event->ignore();
        if (!quitWhenDone && question.AskYesNo("A command is running. Stop it and quit?", "Close")) {
            quitWhenDone = true;
            progress.reject();
        }
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
    FollowSize();
}

// The window manager frames the window after its first resize; it moves the
// window then, and the rule runs again with the frame counted.
void Main::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FollowSize();
}

void Main::FollowSize()
{
    if (isMinimized())
        return;
    // The rule works on the outer size, frame, title bar and menu bar included.
    const QRect outer = frameGeometry();
    const int H = std::max(Twips(outer.height()), SmallestHeight);
    const int W = std::max(Twips(outer.width()), OuterWidth);
    if (W != Twips(outer.width()) || H != Twips(outer.height()))
        resize(width() + Pixels(W) - outer.width(), height() + Pixels(H) - outer.height());

    // The width beyond the opening one goes to the folder field, the status
    // line and the grid; the buttons at their right keep to the window's edge.
    // At the opening size every control stands where its twips put it.
    const int wider = Pixels(W) - Pixels(OuterWidth);
    Frame1->resize(Pixels(6390) + wider, Frame1->height());
    txtFolder->resize(Pixels(4890) + wider, txtFolder->height());
    cboMedium->resize(Pixels(2670) + wider, cboMedium->height());
    lblProjCount->resize(Pixels(3990) + wider, lblProjCount->height());
    for (QPushButton* button : {cmdChooseFolder, cmdReadFolder})
        button->move(Pixels(5100) + wider, button->y());
    for (QPushButton* button : {cmdRearrange[0], cmdRearrange[1], cmdMove, cmdErrors, cmdQuit})
        button->move(Pixels(5250) + wider, button->y());
    grdOut->resize(Pixels(4890) + wider, Pixels(H - 2085 - 780));
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

// The desktop's folder dialog, titled with the window's caption and opened on
// DrivePath: a path can be typed or pasted, recent folders and bookmarks are
// there, and OK takes the folder highlighted. The chosen folder's bytes, empty
// after Cancel.
std::string Main::ChooseFolder(const std::string& DrivePath)
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, windowTitle(), QFile::decodeName(QByteArray::fromStdString(DrivePath)),
                                          folderDialogOptions | QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}

// False, with nothing changed, when the user cancelled.
bool Main::ChooseReadFolder()
{
    const std::string chosen = ChooseFolder(RootFolder);
    if (chosen.empty())
        return false;
    RootFolder = WithSeparator(chosen);
    txtFolder->setText(QString::fromStdString(ShownText(RootFolder)));
    WriteSetting(QStringLiteral("ReadFolder"), RootFolder);
    return true;
}

// The status line: the projects shown, and how many the include ticks left
// out; after a cancelled read, how far it came.
void Main::ShowProjectCount()
{
    const int n = grdOut->RowCount();
    const QLocale locale;
    QString text;
    if (readCancelled) {
        text = QString::fromStdString(ReadCancelled());
    } else {
        text = locale.toString(n) + (n == 1 ? QStringLiteral(" project") : QStringLiteral(" projects"));
        if (leftOut > 0)
            text += QStringLiteral(", ") + locale.toString(leftOut) + QStringLiteral(" left out by the include ticks");
    }
    lblProjCount->setText(text);
    cmdMove->setEnabled(n >= 1);
}

// "Read cancelled after 1,200 of 7,200 projects.": the rows shown are the projects read.
std::string Main::ReadCancelled() const
{
    const QLocale locale;
    return (QStringLiteral("Read cancelled after ") + locale.toString(grdOut->RowCount()) + QStringLiteral(" of ")
            + locale.toString(projectList.projects.Count()) + QStringLiteral(" projects."))
        .toStdString();
}

// The project files of the folder read that the include ticks kept out of the list.
int Main::LeftOutByTicks(bool mix, bool regular) const
{
    if (mix && regular)
        return 0;
    const int listed = projectList.projects.Count();
    const std::size_t files = listed > 0 ? projectList.projects.Item(0)->folder->ProjectFiles().size()
                                         : FolderListing(RootFolder).ProjectFiles().size();
    return static_cast<int>(files) - listed;
}

Medium Main::SelectedMedium() const
{
    if (optCD->isChecked())
        return CDMedium();
    if (optOther->isChecked()) {
        Medium medium;
        if (!MediumNamed(cboMedium->currentData().toString().toStdString(), medium).Failed())
            return medium;
    }
    return DVDMedium();
}

// Checks the option button of medium, and for another medium shows it in the
// combo box: a custom size becomes the entry before the last, in place of the
// one given before. Nothing is chosen by it: the buttons keep quiet.
void Main::ShowMedium(const Medium& medium)
{
    const QSignalBlocker cd(optCD), dvd(optDVD), other(optOther);
    if (medium == CDMedium()) {
        optCD->setChecked(true);
        return;
    }
    if (medium == DVDMedium()) {
        optDVD->setChecked(true);
        return;
    }
    const QString key = QString::fromStdString(medium.key);
    int at = cboMedium->findData(key);
    if (at < 0) {
        at = static_cast<int>(Media().size()) - 2; // after the other named media
        if (cboMedium->count() == at + 1) {
            cboMedium->insertItem(at, MediumText(medium), key);
        } else {
            cboMedium->setItemText(at, MediumText(medium));
            cboMedium->setItemData(at, key);
        }
    }
    cboMedium->setCurrentIndex(at);
    otherIndex = at;
    optOther->setChecked(true);
}

// The user chose the medium shown: it is remembered for the next start, and
// the projects read are planned for it (while a command runs, Run plans when
// it has ended).
void Main::MediumChosen()
{
    WriteSetting(QStringLiteral("Medium"), SelectedMedium().key);
    if (!running)
        PlanForMedium();
}

// An entry of the combo box chooses its medium and checks Other; the last one
// asks for a size first.
void Main::cboMedium_Activated(int index)
{
    if (index == cboMedium->count() - 1) {
        // Until a size is given, the choice stays as it was.
        cboMedium->setCurrentIndex(otherIndex);
        Run([this] { ChooseCustomSize(); });
        return;
    }
    otherIndex = index;
    if (optOther->isChecked())
        MediumChosen();
    else
        optOther->setChecked(true);
}

// Asks for the size of one disk until a good one is given, which is chosen,
// or the user cancels. A bad size is said and offered again to be corrected.
void Main::ChooseCustomSize()
{
    std::string answer;
    for (;;) {
        answer = input.Ask("Size of one disk, such as 700 MB, 16 GB or 25 GiB:", "Custom size", answer);
        if (answer.empty())
            return;
        Medium medium;
        const Result named = CustomSize(answer, medium);
        if (!named.Failed()) {
            ShowMedium(medium);
            MediumChosen();
            return;
        }
        messages.Show(named.Message());
    }
}

void Main::cmdChooseFolder_Click()
{
    if (ChooseReadFolder())
        SetIncludeChecks();
}

// Plans the projects read for the medium selected now, unless they are
// planned for it already, and shows the new plan.
void Main::PlanForMedium()
{
    const Medium medium = SelectedMedium();
    if (medium == projectList.medium)
        return;
    PlanCommand(projectList, medium);
    grdOut->ShowRows(projectList.FillGrid());
    ShowSetTips();
}

// The BU cell's tooltip gives the totals of the project's set, or why it is in
// no set; the Size cell of a read-only project, which shows "-", gives what the
// plan counted for it. Each set's text is made once, however many rows it has.
void Main::ShowSetTips()
{
    const Regional& regional = projectList.regional;
    QStringList setTips;
    for (const orvoProjectList::SetTotal& set : projectList.SetTotals())
        setTips.append(QString::fromStdString(SetTotalText(set, projectList.medium, regional)));
    for (int p = 0; p < grdOut->RowCount(); ++p) {
        const orvoProject& project = *projectList.projects.Item(p);
        QTreeWidgetItem* row = grdOut->topLevelItem(p);
        if (project.BackupNum < 0)
            row->setToolTip(4, QString::fromStdString(NoSetReason(projectList, project)));
        else if (project.BackupNum < setTips.size())
            row->setToolTip(4, setTips[project.BackupNum]);
        if (project.ReadOnly)
            row->setToolTip(1, QString::fromStdString(ReadOnlySizeTip(project, regional)));
    }
}

bool Main::Answers::Confirm(const Asking& asking)
{
    if (asking.what != Asked::Forget)
        return window.question.Confirm(asking);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelvark"),
                    QString::fromStdString(ShownText(asking.finding)) + QStringLiteral("\n\n")
                        + QString::fromStdString(asking.question),
                    QMessageBox::Cancel, &window);
    QPushButton* forget = box.addButton(QStringLiteral("Forget"), QMessageBox::DestructiveRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(box.button(QMessageBox::Cancel)));
    box.exec();
    return box.clickedButton() == forget;
}

// Shows what a command said, in one message: nothing after the user answered
// No, and the journal it leaves is for Recover to offer.
void Main::ShowResult(const Result& result)
{
    if (const std::string text = result.Told(); !text.empty())
        messages.Show(text);
}

// A sort, move, rename or undo of a sort of the folder that stopped before its
// end (a crash, a kill, a power cut, Cancel) is finished or undone before
// anything else reads the folder; where neither can be done, or the journal
// can't be read, the user may forget it. result says what the folder holds
// and offers what may be done. False when it is still there: the user chose
// none, or it could not be done (the user was told why), or another run holds
// the folder.
bool Main::Recover(const Result& result)
{
    if (result.offers == 0) {
        ShowResult(result);
        return false;
    }
    const std::string described = result.Lines().back();
    if ((result.offers & Result::Finish) == 0)
        return Forget(described);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelvark"),
                    QString::fromStdString(ShownText(described))
                        + QStringLiteral("\n\nFinish it, or undo it and put every file back where it was?"),
                    QMessageBox::Cancel, this);
    QPushButton* finish = box.addButton(QStringLiteral("Finish"), QMessageBox::AcceptRole);
    QPushButton* undo = box.addButton(QStringLiteral("Undo"), QMessageBox::DestructiveRole);
    box.setDefaultButton(finish);
    box.exec();
    if (box.clickedButton() != finish && box.clickedButton() != undo)
        return false;
    Result recovered;
    {
        const BusyCursor busy(*this);
        recovered = RecoverCommand(RootFolder, box.clickedButton() == undo, Ui());
    }
    if (recovered.Ended() == Result::Status::Refused) {
        // The file system no longer allows it: the user may forget it.
        if ((recovered.offers & Result::Forget) != 0)
            return Forget(recovered.Lines().front());
        ShowResult(recovered);
        return false;
    }
    ShowResult(recovered);
    return !recovered.Failed();
}

// Offers to forget the folder's journal, after why says why it can't be
// used; true once it is gone.
bool Main::Forget(const std::string& why)
{
    const Result forgotten = ForgetCommand(RootFolder, why, Ui());
    ShowResult(forgotten);
    return !forgotten.Failed();
}

void Main::cmdReadFolder_Click()
{
    const Medium medium = SelectedMedium();
    const bool mix = chkMix->isChecked();
    const bool regular = chkRegular->isChecked();
    Result read;
    for (;;) {
        notices.StartRead();
        {
            const BusyCursor busy(*this);
            read = ReadFolderCommand(projectList, RootFolder, mix, regular, medium);
        }
        if (read.Ended() != Result::Status::Refused)
            break;
        if (!Recover(read))
            return;
    }
    bool hadErrors = read.Failed();
    listFolder = RootFolder;
    // A cancelled read shows the projects it read, and no row for the rest.
    readCancelled = progress.Stopped() >= 0;
    grdOut->ShowFirst(readCancelled ? progress.Stopped() : -1);
    grdOut->ShowRows(projectList.FillGrid());
    grdOut->ShowRows(projectList.FillGrid());
    leftOut = LeftOutByTicks(mix, regular);
    if (const std::string unshown = notices.Unshown(); !unshown.empty()) {
        AddFolderError(projectList.LastError, unshown);
        hadErrors = true;
    }
    readErrors = projectList.LastError;
    if (readCancelled)
        AddFolderError(readErrors, ReadCancelled());
    grdOut->scrollToTop();
    ShowSetTips();
    ShowProjectCount();
    cmdErrors->setEnabled(!readErrors.empty());
    if (hadErrors)
        messages.Show(readErrors);
}

void Main::menuFileChooseread_Click()
{
    if (ChooseReadFolder())
        cmdReadFolder_Click();
}

// The listing of the last read: what Report Only or a move found since is no part of it.
void Main::cmdErrors_Click()
{
    messages.Show(readErrors);
}

void Main::menuAbout_Click()
{
    messages.Show("Kelvark - Version " KELVARK_VERSION "\r\n\r\n"
                  "Reads the ORVEX projects of a folder, plans their backups onto CDs, DVDs or other discs "
                  "and sorts, moves or renames them.");
}

void Main::cmdRearrange_Click(int Index)
{
    Result result;
    {
        const BusyCursor busy(*this);
        result = Index == 0 ? SortCommand(projectList, RootFolder, Ui()) : ReportCommand(projectList, RootFolder, Ui());
    }
    ShowResult(result);
    const Result::Status ended = result.Ended();
    if (Index == 1 || ended == Result::Status::Declined || ended == Result::Status::Refused)
        return;
    if (ended == Result::Status::Done)
        WriteChecksums(true);
    // The sorted projects left the folder for their set folders: the grid
    // shows what is left. A sort stopped by Cancel, or by a file that failed
    // to move, is finished or undone first: the read asks.
    progress.Hide();
    cmdReadFolder_Click();
}

// Writes the set folders' checksums; with offer (after a sort), once the user agrees.
void Main::WriteChecksums(bool offer)
{
    const Result result = ChecksumCommand(RootFolder, offer, Ui());
    progress.Hide();
    ShowResult(result);
}

// After a move or a rename that stopped: the Finish / Undo question, then the folder read again.
void Main::OfferRecover(const Result& result)
{
    if (result.offers == 0)
        return;
    progress.Hide();
    if (Recover(result))
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
    const int shown = grdOut->RowCount(), listed = projectList.projects.Count();
    Result result;
    {
        const BusyCursor busy(*this);
        result = MoveCommand(projectList, SelectedProjects(), MoveFolder, Ui());
    }
    if (result.Ended() == Result::Status::Declined)
        return;
    grdOut->ShowRows(projectList.FillGrid());
    // After a cancelled read the grid shows the projects read: the moved ones leave it.
    if (readCancelled)
        grdOut->ShowFirst(shown - (listed - projectList.projects.Count()));
    ShowSetTips();
    ShowProjectCount();
    ShowResult(result);
    OfferRecover(result);
}

void Main::menuFileUnsort_Click()
{
    Result result;
    for (;;) {
        {
            const BusyCursor busy(*this);
            result = UnsortCommand(RootFolder, SelectedMedium(), Ui());
            progress.Hide();
        }
        // A journal found first is finished or undone, and the folder unsorted then.
        if (result.Ended() != Result::Status::Refused || result.offers == 0 || result.Lines().size() != 1)
            break;
        if (!Recover(result))
            return;
    }
    ShowResult(result);
    if (result.Ended() != Result::Status::Declined && result.Ended() != Result::Status::Refused)
        cmdReadFolder_Click();
}

void Main::menuFileRename_Click()
{
    if (grdOut->selectedItems().isEmpty()) {
        messages.Show("Select the project to rename first.");
        return;
    }
    RenameFiles();
}

std::vector<orvoProject*> Main::SelectedProjects() const
{
    // Row r shows project r; after a cancelled read no row shows the rest.
    std::vector<orvoProject*> selected;
    for (const int r : grdOut->SelectedRows())
        if (r < projectList.projects.Count())
            selected.push_back(projectList.projects.Item(r).get());
    return selected;
}

// Asks a new name for each selected project in turn and renames it; an empty
// answer or a failed rename stops the walk, and the projects after it keep
// their selection. True when every selected project was visited.
bool Main::RenameFiles()
{
    const std::vector<orvoProject*> selected = SelectedProjects();
    for (std::size_t i = 0; i < selected.size(); ++i) {
        orvoProject* project = selected[i];
        const std::string newName = input.Ask("Enter new name", "Rename project", project->Name);
        // A cancel among several names asks whether the rest are to be renamed.
        const std::size_t rest = selected.size() - i - 1;
        if (newName.empty() && rest > 0
            && !question.AskYesNo("Stop renaming? " + std::to_string(rest)
                                      + (rest == 1 ? " more project is" : " more projects are") + " selected.",
                                  "Rename project"))
            continue;
        if (newName.empty())
            return false;
        if (const Result result = RenameCommand(projectList, *project, newName, Ui()); result.Failed()) {
            ShowResult(result);
            OfferRecover(result); // a rename stopped by Cancel
            return false;
        }
        for (int r = 0; r < std::min(grdOut->RowCount(), projectList.projects.Count()); ++r)
            if (projectList.projects.Item(r).get() == project) {
                grdOut->SetRowName(r, project->Name);
                grdOut->topLevelItem(r)->setSelected(false);
            }
    }
    return true;
}

void Main::grdOut_MouseUp(const QPoint& globalPos)
{
    if (projectList.projects.Count() != 0)
        menuPopup->popup(globalPos);
}

} // namespace kelvark
