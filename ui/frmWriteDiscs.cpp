#include "frmWriteDiscs.h"

#include "DiscCheck.h"
#include "Drives.h"
#include "FileOps.h"
#include "Shown.h"
#include "frmVerify.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvark {

namespace {

// The columns of the list of sets.
enum SetColumn { SetName, SetSize, SetState };

// The set's folder name as its bytes, kept with its row.
constexpr int SetRole = Qt::UserRole;

} // namespace

frmWriteDiscs::frmWriteDiscs(const std::string& root, const DialogHost& host, QWidget* owner)
    : QDialog(owner), root(WithSeparator(root)), images(WithSeparator(root)), host(host)
{
    setWindowTitle(QString::fromStdString(BurnTitle));

    lstSets = new QTreeWidget(this);
    lstSets->setHeaderLabels({QStringLiteral("Set"), QStringLiteral("Size"), QStringLiteral("State")});
    lstSets->setRootIsDecorated(false);
    lstSets->setUniformRowHeights(true);
    auto* lblSets = new QLabel(QStringLiteral("&Sets:"), this);
    lblSets->setBuddy(lstSets);

    cboTarget = new QComboBox(this);
    cboTarget->addItem(QStringLiteral("Image files in a folder…"));
    auto* lblTarget = new QLabel(QStringLiteral("Write &to:"), this);
    lblTarget->setBuddy(cboTarget);
    txtFolder = new QLineEdit(Shown(images), this);
    txtFolder->setReadOnly(true);
    cmdFolder = new QPushButton(QStringLiteral("C&hoose…"), this);
    auto* lblFolder = new QLabel(QStringLiteral("&Folder:"), this);
    lblFolder->setBuddy(cmdFolder);
    lblHint = new QLabel(QStringLiteral("No optical drive was found: each disc is written as an image file "
                                        "(CD-A.iso, …) into the folder."),
                         this);
    lblHint->setWordWrap(true);

    lstChecks = NewFindingList(this);
    auto* lblChecks = new QLabel(QStringLiteral("&Read back:"), this);
    lblChecks->setBuddy(lstChecks);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdWrite = buttons->addButton(QStringLiteral("&Write"), QDialogButtonBox::AcceptRole);
    cmdClose = buttons->button(QDialogButtonBox::Close);
    cmdWrite->setDefault(true);

    auto* target = new QGridLayout;
    target->addWidget(lblTarget, 0, 0);
    target->addWidget(cboTarget, 0, 1, 1, 2);
    target->addWidget(lblFolder, 1, 0);
    target->addWidget(txtFolder, 1, 1);
    target->addWidget(cmdFolder, 1, 2);
    target->addWidget(lblHint, 2, 1, 1, 2);
    target->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSets);
    layout->addWidget(lstSets, 1);
    layout->addLayout(target);
    layout->addWidget(lblChecks);
    layout->addWidget(lstChecks, 3);
    layout->addWidget(buttons);
    resize(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 100, fontMetrics().height() * 40);

    connect(cmdFolder, &QPushButton::clicked, this, [this] { this->host.run([this] { ChooseImageFolder(); }); });
    // The image files ask for their folder, as the entry's "…" says.
    connect(cboTarget, &QComboBox::activated, this, [this](int index) {
        this->host.run([this, index] {
            if (index == cboTarget->count() - 1)
                ChooseImageFolder();
            else
                Measure();
        });
    });
    connect(cmdWrite, &QPushButton::clicked, this, [this] { this->host.run([this] { WriteChosen(); }); });
    connect(buttons, &QDialogButtonBox::rejected, this, &frmWriteDiscs::reject);
}

// Lists the optical drives before the image files, the first one chosen, and
// measures the sets for it. The hint says when there is none.
void frmWriteDiscs::Start()
{
    std::vector<Drive> drives;
    // Where xorriso can't run, the measuring says so for every set.
    host.await(QStringLiteral("Looking for optical drives"),
               [&] { static_cast<void>(ListDrives(drives, host.ui.progress)); });
    for (const Drive& drive : drives)
        cboTarget->insertItem(cboTarget->count() - 1, Shown(drive.device + ": " + drive.vendor + " " + drive.model),
                              QByteArray::fromStdString(drive.device));
    cboTarget->setCurrentIndex(0);
    lblHint->setVisible(drives.empty());
    Measure();
}

// The folder's set folders, each measured for the target: the sectors its
// disc needs against its medium's, checked when it can be written, else
// disabled and saying why.
void frmWriteDiscs::Measure()
{
    const DiscTarget target = Target();
    std::vector<DiscOffer> offers;
    Result listed;
    host.await(QStringLiteral("Measuring the discs"),
               [&] { listed = DiscOffersCommand(root, target, host.ui.progress, offers); });
    lstSets->clear();
    for (const DiscOffer& offer : offers) {
        const bool ready = offer.refusal.empty();
        auto* row = new QTreeWidgetItem(
            lstSets, {Shown(offer.set), Shown(offer.size), ready ? QStringLiteral("Ready") : Shown(offer.refusal)});
        row->setData(SetName, SetRole, QByteArray::fromStdString(offer.set));
        row->setToolTip(SetState, row->text(SetState));
        if (ready) {
            row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
            row->setCheckState(SetName, Qt::Checked);
        } else
            row->setFlags(row->flags() & ~Qt::ItemIsEnabled);
    }
    for (int c = 0; c < lstSets->columnCount(); ++c)
        lstSets->resizeColumnToContents(c);
    EnableControls(true);
    if (listed.Failed() && offers.empty())
        host.ui.messages.Warning(listed.Message());
}

DiscTarget frmWriteDiscs::Target() const
{
    return {images, cboTarget->currentData().toByteArray().toStdString()};
}

// Asks for the images' folder, starting at the one chosen last; the sets are
// measured again, for the folder chosen or, after Cancel, the one there was.
void frmWriteDiscs::ChooseImageFolder()
{
    if (const std::string chosen = host.chooseFolder(QStringLiteral("Write the images into"), images);
        !chosen.empty()) {
        images = WithSeparator(chosen);
        txtFolder->setText(Shown(images));
    }
    Measure();
}

// Writes the discs of the sets checked, in set order, until one can't be
// written or the user stops.
void frmWriteDiscs::WriteChosen()
{
    writing = true;
    lstSets->setFocus();
    EnableControls(false);
    lstChecks->clear();
    for (int r = 0; r < lstSets->topLevelItemCount(); ++r) {
        QTreeWidgetItem& row = *lstSets->topLevelItem(r);
        if ((row.flags() & Qt::ItemIsUserCheckable) != 0 && row.checkState(SetName) == Qt::Checked && !WriteDisc(row))
            break;
    }
    writing = false;
    EnableControls(true);
}

bool frmWriteDiscs::WriteDisc(QTreeWidgetItem& row)
{
    const std::string set = row.data(SetName, SetRole).toByteArray().toStdString();
    const DiscTarget target = Target(); // the combo box is read here, not on the worker thread
    const std::string catalogue = host.catalogue();
    for (;;) {
        ShowState(row, QStringLiteral("Writing…"), std::nullopt);
        Result written;
        VerifyResult check;
        host.await(QStringLiteral("Writing and checking ") + Shown(set),
                   [&] { written = WriteDiscCommand(root, set, target, host.ui, check, catalogue); });
        for (const FolderCheck& checked : check.folders)
            AddFindingRows(*lstChecks, checked);
        for (int c = 0; c < lstChecks->columnCount(); ++c)
            lstChecks->resizeColumnToContents(c);
        lstChecks->scrollToBottom();
        const Result::Status ended = written.Ended();
        if (ended == Result::Status::Done) {
            ShowState(row, QStringLiteral("Intact"), false);
            row.setToolTip(SetState, Shown(written.Message()));
            // Written and checked: not written again by the next Write.
            row.setCheckState(SetName, Qt::Unchecked);
            return true;
        }
        if (ended == Result::Status::Stopped) {
            ShowState(row, QStringLiteral("Stopped"), true);
            row.setToolTip(SetState, Shown(written.Message()));
            return false;
        }
        if (ended != Result::Status::Failed || check.folders.empty()) {
            ShowState(row, QStringLiteral("Not written"), true);
            host.ui.messages.Warning(written.Message());
            return false;
        }
        ShowState(row, QStringLiteral("Failed its check"), true);
        row.setToolTip(SetState, Shown(written.Message()));
        // A drive takes a new blank disc for it.
        const std::string& drive = target.drive;
        if (!host.ui.question.AskYesNo(FolderSummary(check.folders.front()) + "." + LineEnd + LineEnd + set
                                           + " failed its check. Write it again"
                                           + (drive.empty() ? "" : " onto a new blank disc in " + drive) + "?",
                                       BurnTitle))
            return true;
    }
}

void frmWriteDiscs::ShowState(QTreeWidgetItem& row, const QString& state, std::optional<bool> faulty)
{
    row.setText(SetState, state);
    row.setToolTip(SetState, state);
    if (faulty)
        MarkRow(row, SetState, *faulty);
    else {
        row.setIcon(SetState, {});
        for (int c = 0; c < lstSets->columnCount(); ++c)
            row.setBackground(c, {});
    }
}

void frmWriteDiscs::EnableControls(bool enabled)
{
    bool any = false;
    for (int r = 0; r < lstSets->topLevelItemCount(); ++r)
        any = any || (lstSets->topLevelItem(r)->flags() & Qt::ItemIsUserCheckable) != 0;
    cboTarget->setEnabled(enabled);
    txtFolder->setEnabled(Target().drive.empty());
    cmdFolder->setEnabled(enabled && Target().drive.empty());
    cmdWrite->setEnabled(enabled && any);
    cmdClose->setEnabled(enabled);
}

// While discs are written, the progress dialog's Cancel or Esc stops the
// write; the dialog stays to show how it ended.
void frmWriteDiscs::reject()
{
    if (!writing)
        QDialog::reject();
}

} // namespace kelvark
