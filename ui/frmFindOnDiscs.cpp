#include "frmFindOnDiscs.h"

#include "CatalogueModel.h"
#include "Drives.h"
#include "Shown.h"
#include "Twips.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace kelvark {

namespace {

// Room left on the screen for the frame around the dialog.
constexpr int FrameAllowance = 900;

QString FromBytes(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string Bytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QTableView* NewTable(QAbstractItemModel* model, QWidget* parent)
{
    auto* table = new QTableView(parent);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    // Rows as high as a line of text, as the grid's.
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(true);
    // The rows as they come until a header is clicked.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    return table;
}

// A count in words: "1 project", "2,400 projects".
QString Counted(std::size_t n, const QString& one, const QString& many)
{
    return QLocale().toString(static_cast<qulonglong>(n)) + u' ' + (n == 1 ? one : many);
}

} // namespace

// What one read of the catalogue answered.
struct frmFindOnDiscs::Answer {
    Result where; // not asked when no text was typed
    std::vector<WhereRow> rows;
    Result listed;
    std::vector<DiscRow> discs;
};

frmFindOnDiscs::frmFindOnDiscs(const DialogHost& host, QWidget* owner) : QDialog(owner), host(host)
{
    setWindowTitle(QStringLiteral("Find on discs"));

    found = new WhereModel(this);
    foundSort = new QSortFilterProxyModel(this);
    foundSort->setSourceModel(found);
    foundSort->setSortCaseSensitivity(Qt::CaseInsensitive);
    foundSort->setSortLocaleAware(true);
    discs = new DiscModel(this);
    auto* discSort = new QSortFilterProxyModel(this);
    discSort->setSourceModel(discs);

    tabs = new QTabWidget(this);
    auto* projectsPage = new QWidget(tabs);
    txtFind = new QLineEdit(projectsPage);
    txtFind->setPlaceholderText(QStringLiteral("Part of a project's name"));
    txtFind->setClearButtonEnabled(true);
    auto* lblFind = new QLabel(QStringLiteral("F&ind:"), projectsPage);
    lblFind->setBuddy(txtFind);
    lblFound = new QLabel(projectsPage);
    lblFound->setTextFormat(Qt::PlainText);
    lblFound->setWordWrap(true);
    tblFound = NewTable(foundSort, projectsPage);
    tblFound->setContextMenuPolicy(Qt::CustomContextMenu);
    cmdRestore = new QPushButton(QStringLiteral("&Restore…"), projectsPage);
    cmdRestore->setToolTip(QStringLiteral("Copies the selected projects from their disc into the folder read, "
                                          "each file checked against the disc's checksums."));
    cmdRestore->setEnabled(false);
    menuRestore = new QMenu(cmdRestore);
    cmdRestore->setMenu(menuRestore);
    auto* find = new QHBoxLayout;
    find->addWidget(lblFind);
    find->addWidget(txtFind, 1);
    auto* restore = new QHBoxLayout;
    restore->addWidget(lblFound, 1);
    restore->addWidget(cmdRestore);
    auto* projects = new QVBoxLayout(projectsPage);
    projects->addLayout(find);
    projects->addWidget(tblFound, 1);
    projects->addLayout(restore);
    tabs->addTab(projectsPage, QStringLiteral("&Projects"));

    auto* discsPage = new QWidget(tabs);
    lblDiscs = new QLabel(discsPage);
    lblDiscs->setTextFormat(Qt::PlainText);
    lblDiscs->setWordWrap(true);
    tblDiscs = NewTable(discSort, discsPage);
    auto* discList = new QVBoxLayout(discsPage);
    discList->addWidget(tblDiscs, 1);
    discList->addWidget(lblDiscs);
    tabs->addTab(discsPage, QStringLiteral("&Discs"));

    txtCatalogue = new QLineEdit(Shown(host.catalogue()), this);
    txtCatalogue->setReadOnly(true);
    auto* lblCatalogue = new QLabel(QStringLiteral("Catalogue:"), this);
    cmdCatalogue = new QPushButton(QStringLiteral("Catalogue &file…"), this);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    // Enter in the search field searches; it presses no button.
    for (QPushButton* button : {cmdRestore, cmdCatalogue, cmdClose})
        button->setAutoDefault(false);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblCatalogue);
    bottom->addWidget(txtCatalogue, 1);
    bottom->addWidget(cmdCatalogue);
    bottom->addSpacing(cmdClose->sizeHint().width() / 2);
    bottom->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(bottom);
    resize(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 120, fontMetrics().height() * 30);
    txtFind->setFocus();

    QAction* fromFolder = menuRestore->addAction(QStringLiteral("From a set folder or mounted disc…"));
    QAction* fromImage = menuRestore->addAction(QStringLiteral("From a disc image…"));
    connect(fromFolder, &QAction::triggered, this, [this] { this->host.run([this] { Restore(Source::Folder); }); });
    connect(fromImage, &QAction::triggered, this, [this] { this->host.run([this] { Restore(Source::Image); }); });
    connect(tblFound, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        if (tblFound->indexAt(at).isValid())
            menuRestore->popup(tblFound->viewport()->mapToGlobal(at));
    });
    connect(tblFound, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        menuRestore->popup(tblFound->viewport()->mapToGlobal(tblFound->visualRect(index).center()));
    });
    connect(tblFound->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { cmdRestore->setEnabled(tblFound->selectionModel()->hasSelection()); });
    connect(txtFind, &QLineEdit::textChanged, this, &frmFindOnDiscs::Query);
    connect(txtFind, &QLineEdit::returnPressed, this, &frmFindOnDiscs::Query);
    connect(cmdCatalogue, &QPushButton::clicked, this, &frmFindOnDiscs::ChooseCatalogue);
    connect(cmdClose, &QPushButton::clicked, this, &frmFindOnDiscs::reject);
}

// A read that runs when the dialog goes is waited for: it holds the catalogue open.
frmFindOnDiscs::~frmFindOnDiscs()
{
    if (worker != nullptr)
        worker->wait();
}

void frmFindOnDiscs::Start()
{
    std::vector<Drive> drives;
    // Where xorriso can't run, no drive is offered.
    host.await(QStringLiteral("Looking for optical drives"),
               [&] { static_cast<void>(ListDrives(drives, host.ui.progress)); });
    if (drives.empty())
        menuRestore->addAction(QStringLiteral("No optical drive found"))->setEnabled(false);
    for (const Drive& drive : drives) {
        QAction* fromDrive = menuRestore->addAction(
            QStringLiteral("From the disc in ") + Shown(drive.device + " (" + drive.vendor + " " + drive.model + ")"));
        connect(fromDrive, &QAction::triggered, this,
                [this, device = drive.device] { host.run([this, device] { Restore(Source::Drive, device); }); });
    }
    Query();
}

void frmFindOnDiscs::Query()
{
    if (worker != nullptr) {
        again = true;
        return;
    }
    again = false;
    const QString text = txtFind->text().trimmed();
    auto answer = std::make_shared<Answer>();
    worker = QThread::create([answer, text = text.toStdString(), path = host.catalogue()] {
        if (!text.empty())
            answer->where = WhereCommand(text, path, answer->rows);
        answer->listed = DiscsCommand(path, answer->discs);
    });
    worker->setParent(this);
    connect(worker, &QThread::finished, this, [this, answer, text] {
        worker->deleteLater();
        worker = nullptr;
        ShowAnswer(*answer, text);
        if (again)
            Query();
        else
            emit Queried();
    });
    worker->start();
}

// The rows found and the discs, each list with a line that counts them or,
// when it is empty, gives the catalogue's own words: why it could not be
// read, or that it holds nothing.
void frmFindOnDiscs::ShowAnswer(const Answer& answer, const QString& text)
{
    found->SetRows(answer.rows);
    if (text.isEmpty())
        lblFound->setText(answer.listed.Failed()
                              ? Shown(answer.listed.Message())
                              : QStringLiteral("Type part of a project's name to find the discs that hold it."));
    else if (answer.rows.empty())
        lblFound->setText(Shown(answer.where.Message()));
    else
        lblFound->setText(Counted(answer.rows.size(), QStringLiteral("project"), QStringLiteral("projects")));
    tblFound->resizeColumnsToContents();

    discs->SetRows(answer.discs);
    const auto due = std::count_if(answer.discs.begin(), answer.discs.end(), [](const DiscRow& d) { return d.due; });
    if (answer.discs.empty())
        lblDiscs->setText(Shown(answer.listed.Message()));
    else
        lblDiscs->setText(Counted(answer.discs.size(), QStringLiteral("disc"), QStringLiteral("discs"))
                          + QStringLiteral(", oldest check first; ")
                          + (due == 0 ? QStringLiteral("none is due for its check.")
                                      : QLocale().toString(static_cast<qlonglong>(due))
                                            + (due == 1 ? QStringLiteral(" is") : QStringLiteral(" are"))
                                            + QStringLiteral(" due: not verified for three years or more.")));
    FitColumns();
    tabs->setTabText(1, due == 0 ? QStringLiteral("&Discs") : QStringLiteral("&Discs (%1 due)").arg(due));
    tblDiscs->resizeColumnsToContents();
}

// Wide enough for the columns of both lists, as far as the screen allows,
// and kept over its owner inside the screen; it never narrows by itself.
void frmFindOnDiscs::FitColumns()
{
    int wanted = 0;
    for (QTableView* table : {tblFound, tblDiscs}) {
        int columns = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
        // The last column stretches: its contents, not its width, count.
        for (int c = 0; c < table->model()->columnCount(); ++c)
            columns += std::max(static_cast<QAbstractItemView*>(table)->sizeHintForColumn(c),
                                table->horizontalHeader()->sectionSizeHint(c));
        wanted = std::max(wanted, width() - table->width() + columns);
    }
    if (wanted <= width())
        return;
    const QRect screen = (parentWidget() ? parentWidget()->screen() : this->screen())->availableGeometry();
    const int fitted = std::min(wanted, screen.width() - Pixels(FrameAllowance));
    const int centre = parentWidget() ? parentWidget()->frameGeometry().center().x() : geometry().center().x();
    resize(fitted, height());
    move(std::clamp(centre - fitted / 2, screen.left(), screen.right() + 1 - fitted - Pixels(FrameAllowance) / 2), y());
}

std::vector<std::string> frmFindOnDiscs::SelectedProjects() const
{
    std::vector<std::string> names;
    for (const QModelIndex& index : tblFound->selectionModel()->selectedRows()) {
        const std::string& name = found->Row(foundSort->mapToSource(index).row()).project;
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

const DiscKey& frmFindOnDiscs::FirstSelectedDisc() const
{
    return found->Row(foundSort->mapToSource(tblFound->selectionModel()->selectedRows().front()).row()).disc;
}

// Asks the window to restore the selected projects from the disc given: a
// folder, whose chooser opens on the set folder where the backup left it
// (else on the backup's root), an image file, or the disc in device. Nothing
// is asked without a selection: no project named restores every one of the disc.
void frmFindOnDiscs::Restore(Source from, const std::string& device)
{
    const std::vector<std::string> projects = SelectedProjects();
    if (projects.empty())
        return;
    const DiscKey& disc = FirstSelectedDisc();
    if (from == Source::Drive) {
        emit RestoreAsked({}, {device}, projects);
    } else if (from == Source::Folder) {
        const std::string set = disc.root + "/" + disc.set;
        const std::string folder =
            host.chooseFolder(QStringLiteral("The set folder or mounted disc %1 to restore from").arg(Shown(disc.set)),
                              QFileInfo(FromBytes(set)).isDir() ? set : disc.root);
        if (!folder.empty())
            emit RestoreAsked({folder}, {}, projects);
    } else {
        const QString image = QFileDialog::getOpenFileName(
            this, QStringLiteral("The image of %1 to restore from").arg(Shown(disc.set)), FromBytes(disc.root),
            QStringLiteral("Disc images (*.iso);;All files (*)"), nullptr, host.fileDialogOptions);
        if (!image.isEmpty())
            emit RestoreAsked({Bytes(image)}, {}, projects);
    }
}

// Opens on the catalogue's folder. A file that does not exist yet is a new
// catalogue, made at its first recording.
void frmFindOnDiscs::ChooseCatalogue()
{
    QFileDialog chooser(this, QStringLiteral("Catalogue file"), QFileInfo(FromBytes(host.catalogue())).absolutePath(),
                        QStringLiteral("Catalogues (*.sqlite);;All files (*)"));
    chooser.setOptions(host.fileDialogOptions | QFileDialog::DontConfirmOverwrite);
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setDefaultSuffix(QStringLiteral("sqlite"));
    chooser.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    const std::string chosen = Bytes(chooser.selectedFiles().constFirst());
    emit CatalogueChosen(chosen);
    txtCatalogue->setText(Shown(host.catalogue()));
    Query();
}

} // namespace kelvark
