#include "ProjectGrid.h"

#include <QHeaderView>
#include <QMouseEvent>

ProjectGrid::ProjectGrid(QWidget* parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setColumnCount(0);
    // Columns keep the widths they are given.
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void ProjectGrid::Clear()
{
    clear();
}

void ProjectGrid::AddRow(const GridRow& texts)
{
    QStringList columns;
    for (const std::string& text : texts)
        columns.append(QString::fromStdString(text));
    addTopLevelItem(new QTreeWidgetItem(columns));
}

int ProjectGrid::RowCount() const
{
    return topLevelItemCount();
}

bool ProjectGrid::IsSelected(int r) const
{
    return topLevelItem(r - 1)->isSelected();
}

void ProjectGrid::ClearSelection(int r)
{
    topLevelItem(r - 1)->setSelected(false);
}

void ProjectGrid::SetText(int r, const std::string& text)
{
    topLevelItem(r - 1)->setText(0, QString::fromStdString(text));
}

void ProjectGrid::RemoveRow(int r)
{
    delete takeTopLevelItem(r - 1);
}

void ProjectGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    emit MouseUp(event->button(), event->globalPosition().toPoint());
}
