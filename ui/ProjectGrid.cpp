#include "ProjectGrid.h"

#include "TextCodec.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <iterator>
#include <tuple>

namespace kelvark {

namespace {

// How the cells of each column place their texts: names and set letters at
// the left or centred, numbers at the right so that they line up, with the
// pixels each keeps clear at its left and right. The widest sizes, "99999.9"
// and "999.9 GB", need nearly all of the Size column; the names before it keep
// three clear, and the counts after it stand at their column's right. Three
// set letters need the whole BU column.
struct ColumnLook {
    Qt::Alignment alignment;
    int left;
    int right;
};
constexpr ColumnLook Looks[] = {
    {Qt::AlignLeft, 3, 3}, // Project
    {Qt::AlignRight, 0, 1}, // Size
    {Qt::AlignRight, 3, 3}, // Tracks
    {Qt::AlignRight, 3, 3}, // Wavs
    {Qt::AlignHCenter, 0, 0}, // BU
    {Qt::AlignRight, 3, 3}, // Used
};

static_assert(std::size(Looks) == std::tuple_size_v<GridRow>, "one look per column of a row");

const ColumnLook& Look(int column)
{
    return Looks[static_cast<std::size_t>(column)];
}

// Draws the cells with the grid's margin and tooltips.
class CellDelegate final : public QStyledItemDelegate {
public:
    explicit CellDelegate(ProjectGrid* grid) : QStyledItemDelegate(grid), grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        // The style draws the background, the selection and the focus; the text follows.
        cell.text.clear();
        QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

        const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (cell.state & QStyle::State_Active) ? QPalette::Active
                                                                                 : QPalette::Inactive;
        const QPalette::ColorRole role =
            cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
        painter->save();
        painter->setFont(cell.font);
        painter->setPen(cell.palette.color(group, role));
        const ColumnLook& look = Look(index.column());
        painter->drawText(cell.rect.adjusted(look.left, 0, -look.right, 0),
                          look.alignment | Qt::AlignVCenter | Qt::TextSingleLine, grid->Shown(text, index.column()));
        painter->restore();
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString tip = grid->ToolTip(index.row(), index.column());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), tip, view->viewport(), view->visualRect(index));
        return true;
    }

private:
    ProjectGrid* grid;
};

} // namespace

ProjectGrid::ProjectGrid(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setColumnCount(0);
    setItemDelegate(new CellDelegate(this));
    // Columns keep the widths they are given, but for the names'.
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void ProjectGrid::ShowFirst(int count)
{
    shownRows = count;
    while (count >= 0 && topLevelItemCount() > count)
        delete takeTopLevelItem(topLevelItemCount() - 1);
}

namespace {

QString Decoded(const std::string& bytes)
{
    return QString::fromStdString(ShownText(bytes));
}

// The first column shows the project's name and keeps its bytes.
void SetName(QTreeWidgetItem& item, const std::string& bytes)
{
    item.setText(0, Decoded(bytes));
    item.setData(0, Qt::UserRole, QByteArray::fromStdString(bytes));
}

// A size of 100,000 MB or more, "123456.7", in GB with one decimal, "123.5 GB";
// else none. The text's own decimal separator stays.
QString InGigabytes(const QString& megabytes)
{
    qsizetype digits = 0;
    while (digits < megabytes.size() && megabytes[digits].isDigit())
        ++digits;
    if (digits < 6 || digits + 2 != megabytes.size())
        return {};
    const qlonglong tenths = megabytes.left(digits).toLongLong() * 10 + megabytes.back().digitValue();
    const qlonglong gbTenths = (tenths + 500) / 1000;
    return QString::number(gbTenths / 10) + megabytes[digits] + QString::number(gbTenths % 10) + QStringLiteral(" GB");
}

} // namespace

void ProjectGrid::ShowRows(const std::vector<GridRow>& rows)
{
    clear();
    const std::size_t shown = shownRows >= 0 ? std::min(rows.size(), static_cast<std::size_t>(shownRows)) : rows.size();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(shown));
    for (std::size_t r = 0; r < shown; ++r) {
        const GridRow& texts = rows[r];
        QStringList columns;
        for (const std::string& text : texts)
            columns.append(Decoded(text));
        auto* item = new QTreeWidgetItem(columns);
        SetName(*item, texts[0]);
        if (const QString gigabytes = InGigabytes(columns[1]); !gigabytes.isEmpty()) {
            item->setText(1, gigabytes);
            item->setToolTip(1, columns[1] + QStringLiteral(" MB"));
        }
        items.append(item);
    }
    addTopLevelItems(items);
}

std::vector<int> ProjectGrid::SelectedRows() const
{
    std::vector<int> rows;
    for (int r = 0; r < topLevelItemCount(); ++r)
        if (topLevelItem(r)->isSelected())
            rows.push_back(r);
    return rows;
}

void ProjectGrid::SetRowName(int row, const std::string& name)
{
    SetName(*topLevelItem(row), name);
}

void ProjectGrid::AddColumn(const QString& header, int width)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, header);
    headerItem()->setTextAlignment(column, Look(column).alignment | Qt::AlignVCenter);
    setColumnWidth(column, width);
    if (column == 0)
        QTreeWidget::header()->setSectionResizeMode(0, QHeaderView::Stretch);
}

QString ProjectGrid::Shown(const QString& text, int column) const
{
    const ColumnLook& look = Look(column);
    return fontMetrics().elidedText(text, Qt::ElideRight, columnWidth(column) - look.left - look.right);
}

QString ProjectGrid::ToolTip(int row, int column) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    if (!item->toolTip(column).isEmpty())
        return item->toolTip(column);
    const QString text = item->text(column);
    return Shown(text, column) == text ? QString() : text;
}

void ProjectGrid::mousePressEvent(QMouseEvent* event)
{
    // A right click on the empty area below the rows leaves the selection as it is.
    if (event->button() == Qt::RightButton && !itemAt(event->position().toPoint()))
        return;
    QTreeWidget::mousePressEvent(event);
}

void ProjectGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (itemAt(event->position().toPoint()))
        emit MouseUp(event->button(), event->globalPosition().toPoint());
}

void ProjectGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        AskRowMenu();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void ProjectGrid::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard)
        AskRowMenu();
    else
        QTreeWidget::contextMenuEvent(event);
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
