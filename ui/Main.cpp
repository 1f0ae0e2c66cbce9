#include "Main.h"

#include "Commands.h"
#include "FolderListing.h"
#include "SetView.h"
#include "Shown.h"
#include "TextCodec.h"
#include "frmFindOnDiscs.h"
#include "frmVerify.h"
#include "frmWriteDiscs.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>

namespace kelvark {

namespace {

QSettings Settings()
{
    return QSettings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark"));
}

// A folder is stored as text when it is UTF-8, and as its bytes when it is
// not, so that it comes back exactly as it was chosen.
std::string ReadSetting(const QString& key, const std::string& fallback)
{
    const QVariant value = Settings().value(QStringLiteral("Prefs/") + key);
    if (!value.isValid())
        return fallback;
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray().toStdString() : value.toString().toStdString();
}

void WriteSetting(const QString& key, const std::string& value)
{
    Settings().setValue(QStringLiteral("Prefs/") + key, IsValidUtf8(value)
                                                            ? QVariant(QString::fromStdString(value))
                                                            : QVariant(QByteArray::fromStdString(value)));
}

std::string Bytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The folder a first start offers: the user's music folder, else the home folder.
std::string FirstFolder()
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return WithSeparator(Bytes(QFileInfo(music).isDir() ? music : QDir::homePath()));
}

// A medium as the combo box lists it: "BD-R (24.2 GB)".
QString MediumText(const Medium& medium)
{
    return QString::fromStdString(medium.name + " (" + medium.shortSize + ")");
}

// The one local folder a drag carries, else empty.
QString DroppedFolder(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return {};
    const QString path = data->urls().front().toLocalFile();
    return QFileInfo(path).isDir() ? path : QString();
}

} // namespace

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
    : messages(messages), question(question), input(input), windowThread(messages, answers, noticeBox), progress(this),
      notices(windowThread, windowThread), projectList(UserInterface{notices, progress})
{
    CreateControls();
    CreateMenus();
    Form_Load(readFolder);
}

// The window's size and place, and the grid's columns and order, are there
// again at the next start.
Main::~Main()
{
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("Window/Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("Window/Grid"), grdOut->header()->saveState());
}

void Main::CreateControls()
{
    auto* client = new QWidget(this);
    setCentralWidget(client);
    setAcceptDrops(true);

    Frame1 = new QGroupBox(QStringLiteral("Project Folder"), client);
    txtFolder = new QLineEdit(Frame1);
    txtFolder->setToolTip(QStringLiteral("Type a folder and press Enter to read it, or drop one on the window."));
    auto* folders = new QFileSystemModel(txtFolder);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    folders->setRootPath(QString());
    auto* completer = new QCompleter(folders, txtFolder);
    txtFolder->setCompleter(completer);
    cmdChooseFolder = new QPushButton(QStringLiteral("C&hoose"), Frame1);
    chkRegular = new QCheckBox(QStringLiteral("Include &regular projects"), Frame1);
    chkMix = new QCheckBox(QStringLiteral("Include &mix projects"), Frame1);
    optCD = new QRadioButton(QStringLiteral("649MB - &CD Backup"), Frame1);
    optDVD = new QRadioButton(QStringLiteral("4.6GB - &DVD Backup"), Frame1);
    for (auto [option, medium] : {std::pair{optCD, CDMedium()}, std::pair{optDVD, DVDMedium()}})
        option->setToolTip(QStringLiteral("One %1 holds %2.")
                               .arg(QString::fromStdString(medium.name), QString::fromStdString(medium.shortSize)));
    optOther = new QRadioButton(QStringLiteral("&Other:"), Frame1);
    cboMedium = new QComboBox(Frame1);
    for (const Medium& medium : Media())
        if (medium != CDMedium() && medium != DVDMedium())
            cboMedium->addItem(MediumText(medium), QString::fromStdString(medium.key));
    cboMedium->addItem(QStringLiteral("Custom size…"));
    cmdReadFolder = new QPushButton(QStringLiteral("R&ead folder"), Frame1);

    // The Parts' arrangement: the folder and its buttons on the right, the
    // ticks below the folder, the media beside them.
    auto* frame = new QGridLayout(Frame1);
    frame->addWidget(txtFolder, 0, 0, 1, 3);
    frame->addWidget(cmdChooseFolder, 0, 3);
    frame->addWidget(chkRegular, 1, 0);
    frame->addWidget(optCD, 1, 1, 1, 2);
    frame->addWidget(cmdReadFolder, 1, 3);
    frame->addWidget(chkMix, 2, 0);
    frame->addWidget(optDVD, 2, 1, 1, 2);
    frame->addWidget(optOther, 3, 1);
    frame->addWidget(cboMedium, 3, 2, 1, 2);
    frame->setColumnStretch(0, 1);
    frame->setColumnStretch(2, 1);

    lblProjCount = new QLabel(client);
    lblProjCount->setTextFormat(Qt::PlainText);
    lblProjCount->setWordWrap(true);
    grdOut = new ProjectGrid(client);
    setView = new SetView(client);
    tabs = new QTabWidget(client);
    tabs->addTab(grdOut, QStringLiteral("&Projects"));
    tabs->addTab(setView, QStringLiteral("Se&ts"));
    cmdRearrange[0] = new QPushButton(QStringLiteral("Backup &Sort"), client);
    cmdRearrange[1] = new QPushButton(QStringLiteral("Report O&nly"), client);
    cmdMove = new QPushButton(QStringLiteral("Mo&ve"), client);
    cmdErrors = new QPushButton(QStringLiteral("Sho&w Errors"), client);
    cmdErrors->setEnabled(false);
    cmdQuit = new QPushButton(QStringLiteral("E&xit"), client);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdRearrange[0]);
    buttons->addWidget(cmdRearrange[1]);
    buttons->addSpacing(cmdMove->sizeHint().height() / 2);
    buttons->addWidget(cmdMove);
    buttons->addStretch(1);
    buttons->addWidget(cmdErrors);
    buttons->addSpacing(cmdQuit->sizeHint().height() / 2);
    buttons->addWidget(cmdQuit);
    auto* grid = new QGridLayout;
    grid->addWidget(lblProjCount, 0, 0);
    grid->addWidget(tabs, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->setRowStretch(1, 1);
    auto* layout = new QVBoxLayout(client);
    layout->addWidget(Frame1);
    layout->addLayout(grid, 1);

    lblErrors = new QLabel(this);
    lblErrors->setTextFormat(Qt::RichText);
    lblErrors->hide();
    connect(lblErrors, &QLabel::linkActivated, this, [this] { Run([this] { cmdErrors_Click(); }); });
    lblPlan = new QLabel(this);
    statusBar()->addWidget(lblErrors);
    statusBar()->addPermanentWidget(lblPlan);

    // Top to bottom, left to right, Exit last.
    QWidget* const tabOrder[] = {txtFolder,       cmdChooseFolder, chkRegular,    chkMix,    optCD,  optDVD,
                                 optOther,        cboMedium,       cmdReadFolder, tabs,      grdOut, setView,
                                 cmdRearrange[0], cmdRearrange[1], cmdMove,       cmdErrors, cmdQuit};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(txtFolder, &QLineEdit::returnPressed, this, [this] {
        // The field shows a folder that is not UTF-8 decoded: as shown, it is the folder's own bytes.
        const QString typed = txtFolder->text().trimmed();
        ReadChosenFolder(typed == Shown(RootFolder) ? RootFolder : Bytes(QDir::cleanPath(typed)));
    });
    connect(cmdChooseFolder, &QPushButton::clicked, this, [this] { Run([this] { cmdChooseFolder_Click(); }); });
    connect(cmdReadFolder, &QPushButton::clicked, this, [this] { Run([this] { cmdReadFolder_Click(); }); });
    connect(cmdRearrange[0], &QPushButton::clicked, this, [this] { Run([this] { cmdRearrange_Click(0); }); });
    connect(cmdRearrange[1], &QPushButton::clicked, this, [this] { Run([this] { cmdRearrange_Click(1); }); });
    connect(cmdMove, &QPushButton::clicked, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(cmdErrors, &QPushButton::clicked, this, [this] { Run([this] { cmdErrors_Click(); }); });
    connect(cmdQuit, &QPushButton::clicked, this, &Main::close);
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
    // The grid shows the projects the ticks take: a change reads the folder again.
    for (QCheckBox* tick : {chkRegular, chkMix})
        connect(tick, &QCheckBox::toggled, this, [this] {
            if (!listFolder.empty())
                Run([this] { ReadFolder(ReadBy::Command); });
        });
}

void Main::CreateMenus()
{
    menuFile = menuBar()->addMenu(QStringLiteral("&File"));
    menuFileChooseread = menuFile->addAction(QStringLiteral("Choose and &read folder…"));
    menuFileChooseread->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    menuFileChoose = menuFile->addAction(QStringLiteral("&Choose folder only…"));
    menuFileChoose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    menuFileReadfolder = menuFile->addAction(QStringLiteral("R&ead folder"));
    menuFileReadfolder->setShortcut(QKeySequence(Qt::Key_F5));
    menuFile->addSeparator();
    menuFileMove = menuFile->addAction(QStringLiteral("&Move selected projects…"));
    menuFileMove->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    menuFileRename = menuFile->addAction(QStringLiteral("Re&name selected projects…"));
    menuFileRename->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    menuFileUnsort = menuFile->addAction(QStringLiteral("&Undo backup sort…"));
    menuFile->addSeparator();
    menuFileChecksums = menuFile->addAction(QStringLiteral("&Write checksums…"));
    menuFileVerify = menuFile->addAction(QStringLiteral("&Verify discs…"));
    menuFileWriteDiscs = menuFile->addAction(QStringLiteral("Write &discs…"));
    menuFileWriteDiscs->setEnabled(false);
    menuFileFind = menuFile->addAction(QStringLiteral("F&ind on discs…"));
    menuFile->addSeparator();
    menuFileClose = menuFile->addAction(QStringLiteral("C&lose"));
    // Ctrl+Q, the desktop's quit key, and Ctrl+X where no text field takes it
    // as Cut: a field with the focus overrides the shortcut.
    menuFileClose->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_X)});
    menuAbout = menuBar()->addAction(QStringLiteral("&About"));

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
    menuPopupMove = menuPopup->addAction(QStringLiteral("&Move…"));
    menuHiddenRename = menuPopup->addAction(QStringLiteral("&Rename…"));

    connect(menuFileChooseread, &QAction::triggered, this, [this] { Run([this] { menuFileChooseread_Click(); }); });
    connect(menuFileChoose, &QAction::triggered, this, [this] { Run([this] { cmdChooseFolder_Click(); }); });
    connect(menuFileReadfolder, &QAction::triggered, this, [this] { Run([this] { cmdReadFolder_Click(); }); });
    connect(menuFileMove, &QAction::triggered, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(menuFileRename, &QAction::triggered, this, [this] { Run([this] { menuFileRename_Click(); }); });
    connect(menuFileUnsort, &QAction::triggered, this, [this] { Run([this] { menuFileUnsort_Click(); }); });
    connect(menuFileChecksums, &QAction::triggered, this, [this] { Run([this] { WriteChecksums(false); }); });
    connect(menuFileVerify, &QAction::triggered, this, [this] { Run([this] { VerifyDiscs(); }); });
    connect(menuFileWriteDiscs, &QAction::triggered, this, [this] { Run([this] { WriteDiscs(); }); });
    connect(menuFileFind, &QAction::triggered, this, [this] { Run([this] { FindOnDiscs(); }); });
    connect(menuFileClose, &QAction::triggered, this, &Main::close);
    connect(menuAbout, &QAction::triggered, this, [this] { Run([this] { menuAbout_Click(); }); });
    connect(menuPopupMove, &QAction::triggered, this, [this] { Run([this] { cmdMove_Click(); }); });
    connect(menuHiddenRename, &QAction::triggered, this, [this] { Run([this] { menuFileRename_Click(); }); });
}

void Main::Form_Load(const std::string& readFolder)
{
    projectList.regional = RegionalFromLocale(QLocale());
    RootFolder = readFolder.empty() ? ReadSetting(QStringLiteral("ReadFolder"), FirstFolder()) : readFolder;
    MoveFolder = ReadSetting(QStringLiteral("MoveFolder"), {});
    catalogue = ReadSetting(QStringLiteral("Catalogue"), DefaultCataloguePath());
    SetIncludeChecks();
    txtFolder->setText(Shown(RootFolder));
    // The medium chosen last; DVD when none is stored, or the stored one names none.
    Medium stored = DVDMedium();
    static_cast<void>(MediumNamed(ReadSetting(QStringLiteral("Medium"), {}), stored));
    ShowMedium(stored);
    ShowProjectCount();
    ShowTitle();

    const QSettings settings = Settings();
    if (!restoreGeometry(settings.value(QStringLiteral("Window/Geometry")).toByteArray()))
        resize(sizeHint().expandedTo(QSize(640, 480)));
    grdOut->header()->restoreState(settings.value(QStringLiteral("Window/Grid")).toByteArray());
    // A folder named at start is read as soon as the window shows; its
    // errors wait in the status bar.
    if (!readFolder.empty())
        QTimer::singleShot(0, this, [this] { Run([this] { ReadFolder(ReadBy::Command); }); });
}

// One command at a time: while one runs (its work on the worker thread, or a
// dialog of its own open), the window's other commands are disabled and the
// status bar says why. The progress dialog's Cancel, Esc and Exit stay live.
void Main::Run(const std::function<void()>& command)
{
    if (running)
        return;
    {
        running = true;
        cancelRun->setEnabled(true);
        EnableCommands(false);
        const auto done = qScopeGuard([this] {
            running = false;
            cancelRun->setEnabled(false);
            EnableCommands(true);
        });
        command();
        // However the command ended, its progress dialog goes; and the plan
        // follows a medium selected while the command ran.
        progress.hide();
        if (!quitWhenDone)
            PlanForMedium();
    }
    // The window was closed while the command ran: it closes now.
    if (quitWhenDone)
        close();
}

void Main::EnableCommands(bool enabled)
{
    Frame1->setEnabled(enabled);
    for (QPushButton* button : {cmdRearrange[0], cmdRearrange[1]})
        button->setEnabled(enabled);
    cmdMove->setEnabled(enabled && grdOut->RowCount() > 0);
    cmdErrors->setEnabled(enabled && !readErrors.empty());
    for (QAction* action : menuFile->actions())
        if (action != menuFileClose)
            action->setEnabled(enabled);
    menuFileWriteDiscs->setEnabled(enabled && !listFolder.empty());
    menuAbout->setEnabled(enabled);
    lblErrors->setEnabled(enabled);
}

// Runs work on a thread of its own and waits for it in a local event loop, as
// a modal dialog waits for its answer: the window repaints, resizes and
// scrolls, the progress dialog shows how far the work came, and Cancel and
// Esc stop it. The work's messages and questions open on this thread while it
// waits (WindowThread). Nothing starts once the window is closing.
void Main::Await(const QString& verb, const QString& items, const std::function<void()>& work)
{
    if (quitWhenDone)
        return;
    progress.Begin(verb, items);
    statusBar()->showMessage(verb + QStringLiteral("… The other commands wait until it ends."));
    QEventLoop loop;
    const std::unique_ptr<QThread> thread(QThread::create(work));
    connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
    progress.hide();
    statusBar()->clearMessage();
}

// "Music – DVD – Kelvark": the folder read and the medium planned for.
void Main::ShowTitle()
{
    setWindowTitle(QString::fromStdString(ShownFolder(RootFolder)) + QStringLiteral(" – ")
                   + QString::fromStdString(SelectedMedium().name) + QStringLiteral(" – Kelvark"));
}

void Main::closeEvent(QCloseEvent* event)
{
    // A command runs: it is stopped, its questions are answered No, and the
    // window closes when it has ended, without asking.
    if (running) {
        event->ignore();
        quitWhenDone = true;
        windowThread.closing = true;
        progress.reject();
        return;
    }
    // A run that stopped early leaves the progress dialog shown; it goes with
    // the window, so that the program ends when the window is closed.
    progress.hide();
    QMainWindow::closeEvent(event);
}

void Main::dragEnterEvent(QDragEnterEvent* event)
{
    if (!running && !DroppedFolder(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Main::dropEvent(QDropEvent* event)
{
    const QString folder = DroppedFolder(event->mimeData());
    if (running || folder.isEmpty())
        return;
    event->acceptProposedAction();
    ReadChosenFolder(Bytes(folder));
}

void Main::ReadChosenFolder(const std::string& folder)
{
    Run([this, folder] {
        RootFolder = WithSeparator(folder);
        txtFolder->setText(Shown(RootFolder));
        WriteSetting(QStringLiteral("ReadFolder"), RootFolder);
        ShowTitle();
        ReadFolder(ReadBy::User);
    });
}

void Main::SetIncludeChecks()
{
    // Presetting the ticks reads nothing: the folder is not read yet.
    const QSignalBlocker regular(chkRegular), mix(chkMix);
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

// The desktop's folder dialog, with its own title, opened on DrivePath: a
// path can be typed or pasted, recent folders and bookmarks are there, and OK
// takes the folder highlighted. The chosen folder's bytes, empty after Cancel.
std::string Main::ChooseFolder(const QString& title, const std::string& DrivePath)
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, title, QFile::decodeName(QByteArray::fromStdString(DrivePath)),
                                          folderDialogOptions | QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? std::string() : Bytes(chosen);
}

// False, with nothing changed, when the user cancelled. A folder chosen and
// not read empties the grid, which showed another folder.
bool Main::ChooseReadFolder()
{
    const std::string chosen = ChooseFolder(QStringLiteral("Choose the folder to read"), RootFolder);
    if (chosen.empty())
        return false;
    RootFolder = WithSeparator(chosen);
    txtFolder->setText(Shown(RootFolder));
    WriteSetting(QStringLiteral("ReadFolder"), RootFolder);
    ShowTitle();
    if (listFolder != RootFolder)
        ShowNotRead("Not read yet: Read folder (F5) reads " + ShownFolder(RootFolder) + ".");
    return true;
}

// The line above the grid: the projects shown, and how many the include
// ticks left out; after a cancelled read, how far it came; for a folder
// without projects, that it has none; for an empty grid that can't show the
// folder, why.
void Main::ShowProjectCount()
{
    const int n = grdOut->RowCount();
    const QLocale locale;
    QString text;
    if (!notRead.empty()) {
        text = Shown(notRead);
    } else if (readCancelled) {
        text = QString::fromStdString(ReadCancelled());
    } else if (n == 0 && leftOut == 0 && !listFolder.empty()) {
        text = Shown(NoProjectsText(listFolder));
    } else {
        text = locale.toString(n) + (n == 1 ? QStringLiteral(" project") : QStringLiteral(" projects"));
        if (leftOut > 0)
            text += QStringLiteral(", ") + locale.toString(leftOut) + QStringLiteral(" left out by the include ticks");
    }
    lblProjCount->setText(text);
    cmdMove->setEnabled(n >= 1 && !running);
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
// the projects read are planned for it.
void Main::MediumChosen()
{
    WriteSetting(QStringLiteral("Medium"), SelectedMedium().key);
    ShowTitle();
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
        const Result sized = CustomSize(answer, medium);
        if (!sized.Failed()) {
            ShowMedium(medium);
            MediumChosen();
            return;
        }
        ShowResult(sized);
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
    ShowPlan();
}

// The plan in the grid's tooltips, the set view and the status bar. The BU
// cell's tooltip gives the totals of the project's set, or why it is in no
// set; the Size cell of a read-only project, which shows "-", gives what the
// plan counted for it. Each set's text is made once, however many rows it has.
void Main::ShowPlan()
{
    const Regional& regional = projectList.regional;
    QStringList setTips;
    for (const orvoProjectList::SetTotal& set : projectList.SetTotals())
        setTips.append(QString::fromStdString(SetTotalText(set, projectList.medium, regional)));
    for (int p = 0; p < grdOut->RowCount(); ++p) {
        const orvoProject& project = *projectList.projects.Item(p);
        if (project.BackupNum < 0)
            grdOut->SetToolTip(p, ProjectModel::BU, QString::fromStdString(NoSetReason(projectList, project)));
        else if (project.BackupNum < setTips.size())
            grdOut->SetToolTip(p, ProjectModel::BU, setTips[project.BackupNum]);
        grdOut->SetToolTip(p, ProjectModel::Size,
                           project.ReadOnly ? QString::fromStdString(ReadOnlySizeTip(project, regional))
                                            : QString::fromStdString(ExactBytes(project.wavSize, regional)));
    }
    const bool planned = !listFolder.empty() && projectList.projects.Count() > 0;
    setView->Show(projectList);
    lblPlan->setText(planned ? QString::fromStdString(PlanSummary(projectList)) : QString());
}

void Main::ShowNotRead(const std::string& why)
{
    projectList.projects.Clear();
    projectList.readFrom.clear();
    listFolder.clear();
    readCancelled = false;
    leftOut = 0;
    readErrors.clear();
    notRead = why;
    grdOut->ShowFirst(-1);
    grdOut->ShowRows({});
    ShowPlan();
    ShowProjectCount();
    cmdErrors->setEnabled(false);
    lblErrors->hide();
}

bool Main::Answers::Confirm(const Asking& asking)
{
    if (asking.what != Asked::Forget)
        return window.question.Confirm(asking);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelvark"),
                    Shown(asking.finding) + QStringLiteral("\n\n") + QString::fromStdString(asking.question),
                    QMessageBox::Cancel, &window);
    QPushButton* forget = box.addButton(QStringLiteral("&Forget"), QMessageBox::DestructiveRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(box.button(QMessageBox::Cancel)));
    box.exec();
    return box.clickedButton() == forget;
}

// Shows what a command said, in one message: nothing after the user answered
// No, and the journal it leaves is for Recover to offer.
void Main::ShowResult(const Result& result)
{
    if (const std::string text = result.Told(); text.empty())
        return;
    else if (result.Failed())
        windowThread.Warning(text);
    else
        windowThread.Show(text);
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
    if (quitWhenDone)
        return false;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kelvark"),
                    Shown(described)
                        + QStringLiteral("\n\nFinish it, or undo it and put every file back where it was?"),
                    QMessageBox::Cancel, this);
    QPushButton* finish = box.addButton(QStringLiteral("&Finish"), QMessageBox::AcceptRole);
    QPushButton* undo = box.addButton(QStringLiteral("&Undo"), QMessageBox::DestructiveRole);
    box.setDefaultButton(finish);
    box.exec();
    if (box.clickedButton() != finish && box.clickedButton() != undo)
        return false;
    const bool undoing = box.clickedButton() == undo;
    Result recovered;
    Await(undoing ? QStringLiteral("Undoing") : QStringLiteral("Finishing"), QStringLiteral("projects"),
          [&] { recovered = RecoverCommand(RootFolder, undoing, Ui()); });
    if (recovered.Ended() == Result::Status::Refused && (recovered.offers & Result::Forget) != 0)
        return Forget(recovered.Lines().front()); // the file system no longer allows it
    ShowResult(recovered);
    return !recovered.Failed();
}

// Offers to forget the folder's journal, after why says why it can't be
// used; true once it is gone.
bool Main::Forget(const std::string& why)
{
    Result forgotten;
    Await(QStringLiteral("Forgetting"), {}, [&] { forgotten = ForgetCommand(RootFolder, why, Ui()); });
    ShowResult(forgotten);
    return !forgotten.Failed();
}

void Main::cmdReadFolder_Click()
{
    ReadFolder(ReadBy::User);
}

// Reads the folder into the grid. A folder that holds an operation that did
// not end is finished or undone first; when the user lets it be, the grid
// stays empty and says why.
void Main::ReadFolder(ReadBy by)
{
    const Medium medium = SelectedMedium();
    const bool mix = chkMix->isChecked();
    const bool regular = chkRegular->isChecked();
    Result read;
    lblProjCount->setText(QStringLiteral("Reading ") + QString::fromStdString(ShownFolder(RootFolder))
                          + QStringLiteral("…"));
    for (;;) {
        notices.StartRead();
        Await(QStringLiteral("Reading"), QStringLiteral("projects"),
              [&] { read = ReadFolderCommand(projectList, RootFolder, mix, regular, medium, catalogue); });
        if (quitWhenDone)
            return;
        if (read.Ended() != Result::Status::Refused)
            break;
        if (!Recover(read)) {
            ShowNotRead("Not read: " + ShownFolder(RootFolder)
                        + " holds an operation that did not end. Read folder offers to finish or undo it.");
            return;
        }
    }
    if (readDone)
        readDone();
    bool hadErrors = read.Failed();
    listFolder = RootFolder;
    notRead.clear();
    // A cancelled read shows the projects it read, and no row for the rest.
    readCancelled = progress.Stopped() >= 0;
    grdOut->ShowFirst(readCancelled ? progress.Stopped() : -1);
    grdOut->ShowRows(projectList.FillGrid());
    leftOut = LeftOutByTicks(mix, regular);
    if (const std::string unshown = notices.Unshown(); !unshown.empty()) {
        AddFolderError(projectList.LastError, unshown);
        hadErrors = true;
    }
    readErrors = projectList.LastError;
    // After the read's own errors, the catalogue's sentence when it could not
    // tell the sets it knows of the folder.
    if (read.Lines().size() > (read.Failed() ? 1u : 0u)) {
        AddFolderError(readErrors, read.Lines().back());
        hadErrors = true;
    }
    if (readCancelled)
        AddFolderError(readErrors, ReadCancelled());
    grdOut->scrollToTop();
    ShowPlan();
    ShowProjectCount();
    cmdErrors->setEnabled(!readErrors.empty());
    lblErrors->setText(QStringLiteral("This read met errors: <a href=\"errors\">Show errors</a>"));
    lblErrors->setVisible(!readErrors.empty());
    if (hadErrors && by == ReadBy::User)
        windowThread.Warning(readErrors);
}

void Main::menuFileChooseread_Click()
{
    if (ChooseReadFolder())
        ReadFolder(ReadBy::User);
}

// The listing of the last read: what Report Only or a move found since is no part of it.
void Main::cmdErrors_Click()
{
    windowThread.Warning(readErrors);
}

void Main::menuAbout_Click()
{
    windowThread.Show("Kelvark - Version " KELVARK_VERSION "\r\n\r\n"
                      "Reads the ORVEX projects of a folder, plans their backups onto CDs, DVDs or other discs "
                      "and sorts, moves or renames them.");
}

void Main::cmdRearrange_Click(int Index)
{
    Result result;
    if (Index == 0)
        Await(QStringLiteral("Sorting"), QStringLiteral("projects"),
              [&] { result = SortCommand(projectList, RootFolder, Ui(), catalogue); });
    else
        Await(QStringLiteral("Writing the reports"), {},
              [&] { result = ReportCommand(projectList, RootFolder, Ui()); });
    ShowResult(result);
    const Result::Status ended = result.Ended();
    if (Index == 1 || ended == Result::Status::Declined || ended == Result::Status::Refused)
        return;
    if (ended == Result::Status::Done)
        WriteChecksums(true);
    // The sorted projects left the folder for their set folders: the grid
    // shows what is left. A sort stopped by Cancel, or by a file that failed
    // to move, is finished or undone first: the read asks.
    ReadFolder(ReadBy::Command);
}

// Writes the set folders' checksums; with offer (after a sort), once the user agrees.
void Main::WriteChecksums(bool offer)
{
    Result result;
    Await(QStringLiteral("Writing checksums"), {},
          [&] { result = ChecksumCommand(RootFolder, offer, Ui(), catalogue); });
    ShowResult(result);
}

// File ▸ "Verify discs…": reads a set folder, a disc, or a root folder's set
// folders against their SHA256SUMS and shows the result in a window of its
// own; a folder that can't be verified is named in a message instead.
void Main::VerifyDiscs()
{
    const std::string folder = ChooseFolder(QStringLiteral("Verify discs"), RootFolder);
    if (folder.empty())
        return;
    VerifyResult checks;
    Result verified;
    Await(QStringLiteral("Verifying"), {},
          [&] { verified = VerifyCommand({WithSeparator(folder)}, false, progress, checks, {}, catalogue); });
    if (quitWhenDone)
        return;
    if (verified.Ended() == Result::Status::Refused) {
        ShowResult(verified);
        return;
    }
    auto* dialog = new frmVerify(checks, folder, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->activateWindow();
}

// File ▸ "Write discs…": the set folders of the folder read, to be written
// as discs or disc images and read back, in a window of their own.
void Main::WriteDiscs()
{
    auto* dialog = new frmWriteDiscs(listFolder, Host(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->activateWindow();
    dialog->Start();
}

DialogHost Main::Host()
{
    return {[this](const std::function<void()>& command) { Run(command); },
            [this](const QString& verb, const std::function<void()>& work) { Await(verb, {}, work); },
            [this](const QString& title, const std::string& start) { return ChooseFolder(title, start); },
            folderDialogOptions & ~QFileDialog::ShowDirsOnly,
            [this] { return catalogue; },
            Ui()};
}

// File ▸ "Find on discs…": the catalogue's projects and discs, in a window
// of their own; one at a time, brought forward when it is open.
void Main::FindOnDiscs()
{
    if (findOnDiscs != nullptr) {
        findOnDiscs->raise();
        findOnDiscs->activateWindow();
        return;
    }
    findOnDiscs = new frmFindOnDiscs(Host(), this);
    findOnDiscs->setAttribute(Qt::WA_DeleteOnClose);
    connect(findOnDiscs, &frmFindOnDiscs::CatalogueChosen, this, [this](const std::string& chosen) {
        catalogue = chosen;
        WriteSetting(QStringLiteral("Catalogue"), catalogue);
    });
    connect(findOnDiscs, &frmFindOnDiscs::RestoreAsked, this, &Main::Restore);
    findOnDiscs->show();
    findOnDiscs->activateWindow();
    findOnDiscs->Start();
}

// The restore is an operation on the root folder as a sort is: the read
// that follows shows the projects brought back, and offers to finish or
// undo a restore that stopped.
void Main::Restore(const std::vector<std::string>& sources, const std::vector<std::string>& drives,
                   const std::vector<std::string>& projects)
{
    Result result;
    Await(QStringLiteral("Restoring"), {},
          [&] { result = RestoreCommand(RootFolder, sources, drives, projects, Ui(), catalogue); });
    ShowResult(result);
    if (result.Ended() != Result::Status::Declined && result.Ended() != Result::Status::Refused)
        ReadFolder(ReadBy::Command);
}

// After a move or a rename that stopped: the Finish / Undo question, then the
// folder read again; when the user lets it be, the grid can't show the folder.
void Main::OfferRecover(const Result& result)
{
    if (result.offers == 0)
        return;
    if (Recover(result))
        ReadFolder(ReadBy::Command);
    else
        ShowNotRead("Not shown: " + ShownFolder(RootFolder)
                    + " holds an operation that did not end. Read folder offers to finish or undo it.");
}

void Main::cmdMove_Click()
{
    const std::vector<orvoProject*> selected = SelectedProjects();
    if (selected.empty()) {
        windowThread.Show("Select the projects to move first.");
        return;
    }
    const std::string previous = MoveFolder;
    const std::string chosen =
        ChooseFolder(QStringLiteral("Move the selected projects to"), MoveFolder.empty() ? RootFolder : MoveFolder);
    if (chosen.empty())
        return;
    MoveFolder = WithSeparator(chosen);
    if (MoveFolder != previous)
        WriteSetting(QStringLiteral("MoveFolder"), MoveFolder);
    const int shown = grdOut->RowCount(), listed = projectList.projects.Count();
    Result result;
    Await(QStringLiteral("Moving"), QStringLiteral("projects"),
          [&] { result = MoveCommand(projectList, selected, MoveFolder, Ui()); });
    if (result.Ended() == Result::Status::Declined)
        return;
    grdOut->ShowRows(projectList.FillGrid());
    // After a cancelled read the grid shows the projects read: the moved ones leave it.
    if (readCancelled)
        grdOut->ShowFirst(shown - (listed - projectList.projects.Count()));
    ShowPlan();
    ShowProjectCount();
    ShowResult(result);
    OfferRecover(result);
}

void Main::menuFileUnsort_Click()
{
    Result result;
    for (;;) {
        Await(QStringLiteral("Moving the files back"), {},
              [&] { result = UnsortCommand(RootFolder, SelectedMedium(), Ui(), catalogue); });
        // A journal found first is finished or undone, and the folder unsorted then.
        if (result.Ended() != Result::Status::Refused || result.offers == 0 || result.Lines().size() != 1)
            break;
        if (!Recover(result))
            return;
    }
    ShowResult(result);
    if (result.Ended() != Result::Status::Declined && result.Ended() != Result::Status::Refused)
        ReadFolder(ReadBy::Command);
}

void Main::menuFileRename_Click()
{
    if (grdOut->SelectedRows().empty()) {
        windowThread.Show("Select the project to rename first.");
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
        Result result;
        Await(QStringLiteral("Renaming"), {}, [&] { result = RenameCommand(projectList, *project, newName, Ui()); });
        ShowResult(result);
        if (result.Failed()) {
            OfferRecover(result); // a rename stopped by Cancel
            return false;
        }
        for (int r = 0; r < std::min(grdOut->RowCount(), projectList.projects.Count()); ++r)
            if (projectList.projects.Item(r).get() == project) {
                grdOut->SetRowName(r, project->Name);
                grdOut->SetSelected(r, false);
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
