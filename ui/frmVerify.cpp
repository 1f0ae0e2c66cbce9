#include "frmVerify.h"

#include "DiscCheck.h"
#include "MessageBoxes.h"
#include "Shown.h"
#include "TextCodec.h"
#include "Twips.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kelvark {

namespace {

// The summary shows this many lines at most, and scrolls beyond.
constexpr int SummaryLines = 6;
// Room left on the screen for the title bar and the frame around the dialog.
constexpr int FrameAllowance = 900;

} // namespace

QColor Tinted(const QColor& base)
{
    constexpr float amber = 0.3f;
    const auto mix = [](float from, float to) { return from + (to - from) * amber; };
    return QColor::fromRgbF(mix(base.redF(), 1.0f), mix(base.greenF(), 0.65f), mix(base.blueF(), 0.0f));
}

QTreeWidget* NewFindingList(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setHeaderLabels(
        {QStringLiteral("Set"), QStringLiteral("Project"), QStringLiteral("Verdict"), QStringLiteral("Files")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

void MarkRow(QTreeWidgetItem& item, int column, bool faulty)
{
    const QTreeWidget& list = *item.treeWidget();
    item.setIcon(column,
                 list.style()->standardIcon(faulty ? QStyle::SP_MessageBoxWarning : QStyle::SP_DialogApplyButton));
    const QBrush tint = faulty ? QBrush(Tinted(list.palette().color(QPalette::Base))) : QBrush();
    for (int c = 0; c < list.columnCount(); ++c)
        item.setBackground(c, tint);
}

// Several faults of one project are told kind by kind, with the files of
// each in the same order: "changed; missing" and ""a.wav"; "b.wav"".
void AddFindingRows(QTreeWidget& list, const FolderCheck& checked)
{
    for (const Finding& finding : FolderFindings(checked)) {
        std::string kinds, files;
        for (const auto& fault : finding.faults) {
            kinds += (kinds.empty() ? "" : "; ") + fault.kind;
            if (!fault.files.empty())
                files += (files.empty() ? "" : "; ") + fault.files;
        }
        auto* item = new QTreeWidgetItem(&list, {Shown(checked.name), Shown(finding.project),
                                                 Shown(kinds.empty() ? FindingText(finding) : kinds), Shown(files)});
        item->setToolTip(3, item->text(3));
        if (!checked.place.empty())
            item->setToolTip(0, Shown(checked.name + ": " + checked.place));
        MarkRow(*item, 2, !finding.faults.empty());
    }
}

frmVerify::frmVerify(const VerifyResult& result, const std::string& folder, QWidget* owner)
    : QDialog(owner), folder(QFile::decodeName(QByteArray::fromStdString(folder)))
{
    setWindowTitle(QStringLiteral("Verify discs"));
    auto* layout = new QVBoxLayout(this);

    lstResult = NewFindingList(this);
    for (const FolderCheck& checked : result.folders)
        AddFindingRows(*lstResult, checked);
    layout->addWidget(lstResult);

    txtSummary = new QPlainTextEdit(this);
    txtSummary->setReadOnly(true);
    txtSummary->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList summary;
    for (const FolderCheck& checked : result.folders)
        summary.append(Shown(FolderSummary(checked)));
    if (result.stopped)
        summary.append(Shown(StopSummary(result)));
    txtSummary->setPlainText(summary.join(u'\n'));
    // As high as its lines, up to SummaryLines; only more lines than that scroll.
    const int lines = std::clamp(static_cast<int>(summary.size()), 1, SummaryLines);
    if (summary.size() <= SummaryLines)
        txtSummary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtSummary->setFixedHeight(txtSummary->fontMetrics().lineSpacing() * lines
                               + 2 * static_cast<int>(txtSummary->document()->documentMargin())
                               + 2 * txtSummary->frameWidth() + 2);
    layout->addWidget(txtSummary);

    QStringList report;
    for (const std::string& line : VerifyLines(result))
        report.append(Shown(line));
    text = report.join(u'\n');

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdCopy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    cmdSave = buttons->addButton(QStringLiteral("&Save…"), QDialogButtonBox::ActionRole);
    cmdClose = buttons->button(QDialogButtonBox::Close);
    cmdClose->setDefault(true);
    connect(cmdCopy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(text); });
    connect(cmdSave, &QPushButton::clicked, this, &frmVerify::Save);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmVerify::reject);
    layout->addWidget(buttons);

    FitScreen();
}

// As wide as the columns and as high as the rows, as far as the screen allows;
// the list scrolls for the rest. Placed over its owner, inside the screen.
void frmVerify::FitScreen()
{
    const QRect screen = (parentWidget() ? parentWidget()->screen() : this->screen())->availableGeometry();
    for (int c = 0; c < lstResult->columnCount(); ++c)
        lstResult->resizeColumnToContents(c);
    int listWidth = 2 * lstResult->frameWidth() + lstResult->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < lstResult->columnCount(); ++c)
        listWidth += lstResult->columnWidth(c);
    const int rows = lstResult->topLevelItemCount();
    const int listHeight = 2 * lstResult->frameWidth() + lstResult->header()->sizeHint().height()
                           + rows * (rows > 0 ? lstResult->sizeHintForRow(0) : 0)
                           + lstResult->horizontalScrollBar()->sizeHint().height();

    const QSize others = layout()->sizeHint() - lstResult->sizeHint();
    const int tallest = screen.height() - Pixels(FrameAllowance);
    setMaximumSize(screen.width(), tallest);
    const int width = std::clamp(others.width() + listWidth, Pixels(6000), screen.width() - Pixels(FrameAllowance));
    const int height = std::clamp(others.height() + listHeight, Pixels(3000), tallest);
    resize(width, height);
    if (parentWidget()) {
        const QPoint centre = parentWidget()->frameGeometry().center();
        const int x = std::max(screen.left(), std::min(centre.x() - width / 2, screen.right() + 1 - width));
        const int y = std::max(
            screen.top(), std::min(centre.y() - height / 2, screen.bottom() + 1 - height - Pixels(FrameAllowance)));
        move(x, y);
    }
}

// Saves the result as a text file, its last line ended as the command line
// ends it; a file that cannot be written is named in a message.
void frmVerify::Save()
{
    QFileDialog chooser(this, QStringLiteral("Save verify result"), folder, QStringLiteral("Text files (*.txt)"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setDefaultSuffix(QStringLiteral("txt"));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    const QString path = chooser.selectedFiles().constFirst();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write((text + u'\n').toUtf8()) >= 0 && file.commit())
        return;
    MessageBoxes boxes;
    boxes.owner = this;
    boxes.Show("The verify result was not saved: " + QDir::toNativeSeparators(path).toStdString() + ": "
                   + file.errorString().toStdString() + ".",
               QMessageBox::Warning);
}

} // namespace kelvark
