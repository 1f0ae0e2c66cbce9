#include "frmVerify.h"

#include "DiscCheck.h"
#include "TextCodec.h"
#include "Twips.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kelvark {

namespace {

QString Shown(const std::string& bytes)
{
    return QString::fromStdString(ShownText(bytes));
}

// The summary shows this many lines at most, and scrolls beyond.
constexpr int SummaryLines = 6;
// Room left on the screen for the title bar and the frame around the dialog.
constexpr int FrameAllowance = 900;

} // namespace

frmVerify::frmVerify(const VerifyResult& result, QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Verify discs"));
    auto* layout = new QVBoxLayout(this);

    lstResult = new QTreeWidget(this);
    lstResult->setHeaderLabels(
        {QStringLiteral("Set"), QStringLiteral("Project"), QStringLiteral("Verdict"), QStringLiteral("Files")});
    lstResult->setRootIsDecorated(false);
    lstResult->setUniformRowHeights(true);
    lstResult->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Several faults of one project are told kind by kind, with the files of
    // each in the same order: "changed; missing" and ""a.wav"; "b.wav"".
    for (const FolderCheck& folder : result.folders)
        for (const Finding& finding : FolderFindings(folder)) {
            std::string kinds, files;
            for (const auto& fault : finding.faults) {
                kinds += (kinds.empty() ? "" : "; ") + fault.kind;
                if (!fault.files.empty())
                    files += (files.empty() ? "" : "; ") + fault.files;
            }
            auto* item =
                new QTreeWidgetItem(lstResult, {Shown(folder.name), Shown(finding.project),
                                                Shown(kinds.empty() ? FindingText(finding) : kinds), Shown(files)});
            item->setToolTip(3, item->text(3));
        }
    layout->addWidget(lstResult);

    txtSummary = new QPlainTextEdit(this);
    txtSummary->setReadOnly(true);
    txtSummary->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList summary;
    for (const FolderCheck& folder : result.folders)
        summary.append(Shown(FolderSummary(folder)));
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

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdClose = buttons->button(QDialogButtonBox::Close);
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

} // namespace kelvark
