#include "ProjectGrid.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace kelvark {

namespace {

// Shows a cell's tooltip: the one the model gives, else the whole text of a
// cell that cuts it.
class CellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString ToolTip(const QStyleOptionViewItem& cell, const QModelIndex& index) const
    {
        if (const QString tip = index.data(Qt::ToolTipRole).toString(); !tip.isEmpty())
            return tip;
        QStyleOptionViewItem option = cell;
        initStyleOption(&option, index);
        // The style draws the text in its rect less a margin at either side.
        const QWidget* view = option.widget;
        const QRect text = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        return option.fontMetrics.horizontalAdvance(option.text) > text.width() - 2 * margin ? option.text : QString();
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString tip = ToolTip(option, index);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), tip, view->viewport(), view->visualRect(index));
        return true;
    }
};

// The widest texts of the figure columns: sizes up to 99999.9 MB and then in
// GB, counts up to the largest 16-bit one, three set letters, a full share.
constexpr const char* Widest[ProjectModel::Columns][2] = {
    {"", ""}, {"99999.9", "999.9 GB"}, {"32767", ""}, {"32767", ""}, {"WWW", ""}, {"100%", "ERR"},
};

} // namespace

ProjectGrid::ProjectGrid(QWidget* parent) : QTreeView(parent)
{
    setModel(&sorted);
    setItemDelegate(new CellDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTextElideMode(Qt::ElideMiddle);

    // Unsorted at first; a third click on a header goes back to list order.
    QHeaderView* columns = header();
    columns->setSortIndicatorClearable(true);
    columns->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    columns->setStretchLastSection(false);
    columns->setSectionsMovable(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    // Each figure column as wide as its header or its widest text.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
    for (int column = ProjectModel::Size; column < ProjectModel::Columns; ++column) {
        int width = columns->sectionSizeHint(column);
        for (const char* text : Widest[column])
            width = std::max(width, fontMetrics().horizontalAdvance(QString::fromUtf8(text)) + margin);
        columns->resizeSection(column, width);
    }
    connect(columns, &QHeaderView::sectionResized, this, [this](int column) {
        if (column == ProjectModel::Project && !fittingNames)
            namesSized = true;
    });
    FitNames();
}

void ProjectGrid::ShowRows(const std::vector<GridRow>& rows)
{
    projects.SetRows(rows, shownRows >= 0 ? static_cast<std::size_t>(shownRows) : rows.size());
}

void ProjectGrid::ShowFirst(int count)
{
    shownRows = count;
    projects.KeepFirst(count);
}

std::vector<int> ProjectGrid::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& row : selectionModel()->selectedRows())
        rows.push_back(sorted.mapToSource(row).row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QModelIndex ProjectGrid::Index(int row, int column) const
{
    return sorted.mapFromSource(projects.index(row, column));
}

void ProjectGrid::SetSelected(int row, bool selected)
{
    selectionModel()->select(Index(row, 0), (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                                | QItemSelectionModel::Rows);
}

void ProjectGrid::SetRowName(int row, const std::string& name)
{
    projects.SetName(row, name);
}

void ProjectGrid::SetToolTip(int row, int column, const QString& tip)
{
    projects.SetToolTip(row, column, tip);
}

QString ProjectGrid::Text(int row, int column) const
{
    return projects.index(row, column).data().toString();
}

QString ProjectGrid::ToolTip(int row, int column) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, columnWidth(column), fontMetrics().height());
    return static_cast<const CellDelegate*>(itemDelegate())->ToolTip(option, Index(row, column));
}

// Until the user sizes it, the Project column takes the width the others
// leave, but no more than MaxNameChars characters: in a wide window the
// figures stay near their names.
void ProjectGrid::FitNames()
{
    if (namesSized)
        return;
    int others = 0;
    for (int column = ProjectModel::Size; column < ProjectModel::Columns; ++column)
        others += columnWidth(column);
    const int chars = fontMetrics().averageCharWidth();
    fittingNames = true;
    setColumnWidth(ProjectModel::Project, std::clamp(viewport()->width() - others, 8 * chars, MaxNameChars * chars));
    fittingNames = false;
}

void ProjectGrid::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    FitNames();
}

void ProjectGrid::mousePressEvent(QMouseEvent* event)
{
    // A right click on the empty area below the rows leaves the selection as it is.
    if (event->button() == Qt::RightButton && !indexAt(event->position().toPoint()).isValid())
        return;
    QTreeView::mousePressEvent(event);
}

void ProjectGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeView::mouseReleaseEvent(event);
    if (indexAt(event->position().toPoint()).isValid())
        emit MouseUp(event->button(), event->globalPosition().toPoint());
}

void ProjectGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        AskRowMenu();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ProjectGrid::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard)
        AskRowMenu();
    else
        QTreeView::contextMenuEvent(event);
}

// The menu opens at the current row's lower left, as the mouse would open it there.
void ProjectGrid::AskRowMenu()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    scrollTo(current);
    const QRect row = visualRect(current.siblingAtColumn(0));
    emit RowMenuKey(viewport()->mapToGlobal(QPoint(row.left() + row.height(), row.bottom())));
}

} // namespace kelvark
